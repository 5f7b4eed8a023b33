#include "device/testlogfile.h"

#include "bert/diagnostics.h"
#include "bert/testlog.h"

#include <QFileInfo>
#include <QDateTime>
#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <unistd.h>
#endif

namespace device {

TestLogFile::TestLogFile(QObject *parent) : QObject(parent) {}

TestLogFile::~TestLogFile()
{
    stop();
}

TestLogFile::Format TestLogFile::formatOf(const QString &path)
{
    return path.endsWith(QLatin1String(".jsonl"), Qt::CaseInsensitive) ? Format::JsonLines
                                                                       : Format::Csv;
}

bool TestLogFile::start(const QString &path, const bert::Model &model, QString *error)
{
    stop();
    m_failure.clear();
    m_rows = 0;
    m_yellow = false;
    m_format = formatOf(path);
    const bool existed = QFileInfo::exists(path);
    m_file.setFileName(path);
    // Unbuffered: every write reaches the system at once, so a full disk or a
    // vanished medium is seen by the write that meets it.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        *error = tr("Cannot write the log file %1: %2").arg(path, m_file.errorString());
        qCWarning(lcLog).noquote() << *error;
        return false;
    }
    if (m_format == Format::Csv) {
        // The header: a failure here is the start's, reported once by the caller.
        const QByteArray header = bert::logHeader(model, today(), model.rxUnits).toLocal8Bit();
        if (m_file.write(header) != header.size()) {
            *error = tr("Cannot write the log file %1: %2").arg(path, m_file.errorString());
            qCWarning(lcLog).noquote() << *error;
            m_file.close();
            if (!existed)
                QFile::remove(path);
            return false;
        }
    }
    m_running = true;
    qCInfo(lcLog).noquote() << tr("Test log started: %1").arg(path);
    emit started();
    return true;
}

void TestLogFile::stop()
{
    if (!m_running)
        return;
    m_running = false;
    QString why;
    if (!syncAndClose(&why)) {
        m_failure = tr("The log file %1 may be incomplete: %2").arg(m_file.fileName(), why);
        qCWarning(lcLog).noquote() << m_failure;
        emit stopped(m_failure);
        return;
    }
    qCInfo(lcLog).noquote() << tr("Test log stopped: %1 (%2 rows)").arg(m_file.fileName()).arg(m_rows);
    emit stopped(QString());
}

bool TestLogFile::syncAndClose(QString *why)
{
    bool ok = true;
#ifdef Q_OS_UNIX
    // What a row counted as written must survive a crash or a pulled plug;
    // a full disk may only show here, when the system writes it out.
    if (m_file.handle() >= 0 && ::fsync(m_file.handle()) != 0 && errno != EINVAL &&
        errno != EROFS) {
        *why = QString::fromLocal8Bit(std::strerror(errno));
        ok = false;
    }
#endif
    m_file.close();
    return ok;
}

bool TestLogFile::write(const QByteArray &bytes)
{
    if (m_file.write(bytes) == bytes.size())
        return true;
    fail(m_file.errorString());
    return false;
}

void TestLogFile::fail(const QString &why)
{
    m_running = false;
    QString ignored;
    syncAndClose(&ignored);
    m_failure = tr("The log file %1 could not be written: %2").arg(m_file.fileName(), why);
    qCWarning(lcLog).noquote() << m_failure;
    emit stopped(m_failure);
}

void TestLogFile::record(const bert::Model &model, const bert::Measurement &m)
{
    if (!m_running)
        return;
    const QTime now = timeOfDay();
    const bert::RowDecision decision = bert::decideRow(m_lastRow, now);
    m_yellow = decision.yellow;
    if (!decision.writeRow)
        return;
    m_lastRow = now;
    const bert::Readouts r = bert::readouts(model, m);
    QByteArray row;
    if (m_format == Format::Csv) {
        row = bert::logRow(now, {m.rateBps, m.pattern, r.temperature, r.rx, r.count, r.errors,
                                 r.ber})
                  .toLocal8Bit();
    } else {
        row = bert::jsonRow(QDateTime(today(), now), model, m) + '\n';
    }
    if (write(row)) {
        ++m_rows;
        emit rowWritten();
    }
}

} // namespace device
