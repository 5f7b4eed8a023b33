// The test log: a file the user chose, a header, then at most one row a
// second from the instrument's records (CSV as the main window's log has
// always been written; JSON Lines for scripts). Every write is checked: a
// failure stops the log and says why, and a file the log could not even start
// is not left behind empty.
#pragma once
#include "bert/measurementrecord.h"
#include "bert/models.h"

#include <QDate>
#include <QFile>
#include <QObject>
#include <QTime>
#include <functional>

namespace device {

class TestLogFile : public QObject
{
    Q_OBJECT

public:
    enum class Format { Csv, JsonLines };

    explicit TestLogFile(QObject *parent = nullptr);
    ~TestLogFile() override;

    // Format by the name's suffix: ".jsonl" gives JSON Lines, anything else CSV.
    static Format formatOf(const QString &path);

    // Creates (or empties) the file and writes the header. False with the
    // reason when the file cannot be opened or written; nothing is left behind
    // then (a file this call created is removed again).
    bool start(const QString &path, const bert::Model &model, QString *error);
    // Closes the file after making sure everything written is on disk.
    void stop();
    bool isRunning() const { return m_running; }
    QString path() const { return m_file.fileName(); }
    // Why the log stopped by itself (a failed write); empty otherwise.
    QString failure() const { return m_failure; }
    int rows() const { return m_rows; }

    // A valid record while the log runs: the once-a-second row rule decides
    // whether a row is written (and whether the lamp shows yellow).
    void record(const bert::Model &model, const bert::Measurement &m);
    bool yellow() const { return m_yellow; }

    // The clocks of the rows (time of day) and the header (date); replaceable in tests.
    std::function<QTime()> timeOfDay = [] { return QTime::currentTime(); };
    std::function<QDate()> today = [] { return QDate::currentDate(); };

signals:
    void started();
    // The log has stopped: an empty reason when it was asked to, else why it failed.
    void stopped(const QString &reason);
    void rowWritten();

private:
    bool write(const QByteArray &bytes);
    void fail(const QString &why);
    bool syncAndClose(QString *why);

    QFile m_file;
    Format m_format = Format::Csv;
    bool m_running = false;
    bool m_yellow = false;
    int m_rows = 0;
    QTime m_lastRow; // kept from one log to the next, as the row rule wants
    QString m_failure;
};

} // namespace device
