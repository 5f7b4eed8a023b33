#include "xcvr/xcvrutils.h"

#include "bert/diagnostics.h"
#include "bert/protocol.h"
#include "device/instrument.h"
#include "ui_xcvrutils.h"
#include "widgets/title.h"
#include "widgets/focusmark.h"

#include <QHideEvent>
#include <QSettings>
#include <QTextCursor>

namespace {
// Delays of the operations, in milliseconds.
constexpr int DumpFirstStepMs = 200;  // dump and loop-back test
constexpr int ShortFirstStepMs = 100; // single read, clear, console
constexpr int DumpLookMs = 20;        // the dump's progress steps; its reply is read at the 100th
constexpr int TestLookMs = 200;       // the same for the loop-back test
constexpr int DataLooks = 100;
constexpr int ReadReplyMs = 100;
constexpr int ConsoleReplyMs = 200;
constexpr int ClearStepMs = 20;

// A reply as lines of the results box: CR LF become line breaks, and the line
// end that closes the reply adds no empty line.
QString asLines(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text;
}
} // namespace

XCVRUtils::XCVRUtils(device::Instrument *instrument, QWidget *parent)
    : QDialog(parent), ui(new Ui::XCVRUtils), m_instrument(instrument)
{
    setAttribute(Qt::WA_DeleteOnClose);
    ui->setupUi(this);
    setFixedSize(size());
    if (instrument && instrument->isConnected())
        widgets::nameAfterInstrument(this, instrument->serialNumber());
    // Nothing has run yet.
    ui->progressBar->setValue(0);
    ui->RegTypeBx->addItem(tr("Diag"));

    m_kind = instrument ? instrument->model().transceiver : xcvr::Kind::None;
    if (m_kind == xcvr::Kind::Sfp) {
        ui->RegTypeBx->addItem(tr("Info"));
        using Widgets = std::initializer_list<QWidget *>;
        for (QWidget *w : Widgets{ui->label_3, ui->EEPw7B, ui->EEPw7C, ui->EEPw7D, ui->EEPw7E})
            w->hide();
        ui->ClrPage->setText(QStringLiteral("A2"));
        ui->ClrPage->setToolTip(tr("Register Page to Clear, (A0=Serial ID, A2=Diagnostics)"));
        ui->ClrEndAddr->setText(QStringLiteral("F7"));
    } else if (m_kind == xcvr::Kind::None) {
        ui->XCVRResutsBox->setPlainText(
            tr("No transceiver port is available on this instrument (or no instrument was "
               "connected when this window opened), so these utilities send nothing.\n"
               "Connect an instrument with an SFP or XFP cage and open the utilities again."));
    }
    // What the box holds now is the program's, not a command typed by the user.
    for (const QString &line : ui->XCVRResutsBox->toPlainText().split(QLatin1Char('\n')))
        m_programLines.insert(line);
    // A side B chosen in an earlier session with this instrument is offered, not selected.
    const QString group = instrument ? instrument->settingsGroup() : QString();
    if (instrument && instrument->side() == 'A' && !group.isEmpty() &&
        QSettings().value(group + QStringLiteral("/link/lastSide")).toString() ==
            QLatin1String("B"))
        ui->XCVRResutsBox->setToolTip(
            tr("Side B was selected last time: type Side=B here and press the settings button "
               "to select it again."));
    widgets::markKeyboardFocus(this);
}

XCVRUtils::~XCVRUtils()
{
    // The instrument hands the line back by itself when the owner of a request goes.
    delete ui;
}

// --- Shared conventions -------------------------------------------------------------

QString XCVRUtils::blocker() const
{
    if (!m_instrument || m_kind == xcvr::Kind::None)
        return tr("No transceiver port is available on this instrument");
    if (!m_instrument->isConnected())
        return tr("No instrument is connected");
    if (m_instrument->isBusy())
        return m_instrument->holdsLine(this)
                   ? tr("Busy: %1 is still running").arg(m_instrument->busyWith())
                   : tr("Busy: %1 holds the instrument").arg(m_instrument->busyWith());
    return QString();
}

bool XCVRUtils::start(device::Request request)
{
    QString why = blocker();
    if (why.isEmpty()) {
        const QString what = request.name;
        request.finished = [this, what](const QString &reason) { onFinished(what, reason); };
        m_instrument->request(this, std::move(request), &why);
    }
    if (!why.isEmpty()) {
        report(tr("%1. Nothing was sent.").arg(why));
        return false;
    }
    return true;
}

void XCVRUtils::onFinished(const QString &what, const QString &reason)
{
    if (reason.isEmpty())
        return;
    // The instrument took the line back (lost, or disconnected).
    QString name = what;
    name[0] = name.at(0).toUpper();
    ui->progressBar->setValue(0);
    report(tr("%1 stopped: %2").arg(name, reason));
}

void XCVRUtils::hideEvent(QHideEvent *event)
{
    // Closing the window (not minimising it) ends its operation and hands the
    // line back, so that the measurement cycle resumes.
    if (!event->spontaneous() && m_instrument && m_instrument->holdsLine(this)) {
        qCInfo(lcXcvr).noquote() << m_instrument->busyWith() + QStringLiteral(" stopped: the window was closed");
        m_instrument->cancelRequests(this);
    }
    QDialog::hideEvent(event);
}

void XCVRUtils::append(const QString &text)
{
    // Plain paragraphs: what the instrument sends is never taken for markup.
    // Every line the program writes is remembered, so that the console never
    // sends it back to the instrument.
    QTextEdit *box = ui->XCVRResutsBox;
    const QString lines = asLines(text);
    for (const QString &line : lines.split(QLatin1Char('\n')))
        m_programLines.insert(line);
    QTextCursor c(box->document());
    c.movePosition(QTextCursor::End);
    if (!box->document()->isEmpty())
        c.insertBlock(QTextBlockFormat(), QTextCharFormat());
    c.insertText(lines, QTextCharFormat());
    box->setTextCursor(c);
    box->ensureCursorVisible();
}

void XCVRUtils::report(const QString &line)
{
    append(line);
    qCWarning(lcXcvr).noquote() << line;
}

// --- Register dump and loop-back test --------------------------------------------------

void XCVRUtils::on_ReadXCVRBtn_clicked()
{
    startDataOperation(tr("the register dump"), xcvr::dumpCommand(m_kind), DumpLookMs);
}

void XCVRUtils::on_TestXCVRBtn_clicked()
{
    startDataOperation(tr("the loop-back test"), QString::fromLatin1(proto::LoopbackTest),
                       TestLookMs);
}

void XCVRUtils::startDataOperation(const QString &name, const QString &command, int lookMs)
{
    // The command DumpFirstStepMs after the click, the reply read at the
    // hundredth look (the progress bar counts the looks) and shown as it came.
    device::Step step;
    step.delayMs = DumpFirstStepMs;
    step.drain = true;
    step.command = command;
    step.lookEveryMs = lookMs;
    step.timeoutMs = lookMs * DataLooks;
    device::Request r = device::Request::single(name, step, [this](const device::Reply &reply) {
        const QString text = xcvr::replyText(reply.bytes);
        append(text);
        if (text.isEmpty())
            report(tr("No reply from the instrument."));
    });
    r.progress = [this](int look) {
        if (look == 0)
            ui->XCVRResutsBox->clear(); // the command is out: the box shows its reply
        ui->progressBar->setValue(look);
    };
    start(std::move(r));
}

// --- Single register --------------------------------------------------------------------

void XCVRUtils::on_ReadByteBtn_clicked()
{
    // Written straight to the port: no side letter.
    device::Step step;
    step.delayMs = ShortFirstStepMs;
    step.drain = true;
    step.raw = true;
    step.command = xcvr::readCommand(m_kind, xcvr::pageOfIndex(ui->RegTypeBx->currentIndex()),
                                     ui->AddressBx->text());
    step.timeoutMs = ReadReplyMs;
    start(device::Request::single(tr("the register read"), step,
                                  [this](const device::Reply &reply) {
                                      const QString text = xcvr::replyText(reply.bytes);
                                      ui->RegValueBx->setText(xcvr::lastSix(text));
                                      if (text.isEmpty())
                                          report(tr("No reply to the register read."));
                                  }));
}

void XCVRUtils::on_TestXCVRBtn_3_clicked()
{
    // The write expects no reply and does not pause the measurement cycle, but
    // it must not land between the commands of an operation in progress.
    const QString why = blocker();
    if (!why.isEmpty()) {
        report(tr("%1. The register was not written.").arg(why));
        return;
    }
    m_instrument->sendCommand(xcvr::writeCommand(
        m_kind, xcvr::pageOfIndex(ui->RegTypeBx->currentIndex()), ui->AddressBx->text(),
        ui->RegValueBx->text()));
}

// --- Register clear ------------------------------------------------------------------------

void XCVRUtils::on_ClearXcvrBtn_clicked()
{
    xcvr::ClearPlan plan;
    plan.kind = m_kind;
    plan.pageText = ui->ClrPage->text();
    plan.data = ui->ClrWrData->text();
    const QLineEdit *password[4] = {ui->EEPw7B, ui->EEPw7C, ui->EEPw7D, ui->EEPw7E};
    for (int i = 0; i < 4; ++i)
        plan.password[i] = password[i]->text();
    // The page is checked first, as the dialog always has.
    if (m_kind == xcvr::Kind::Sfp && !xcvr::sfpPageOf(plan.pageText, &plan.page)) {
        ui->XCVRResutsBox->clear();
        report(tr("Invalid SFP Page. Choose A0 or A2"));
        return;
    }
    const QString why = blocker();
    if (!why.isEmpty()) {
        report(tr("%1. Nothing was sent.").arg(why));
        return;
    }
    // A value of fewer than two digits would be written, but its read-back
    // ("0a") could never match it.
    if (!xcvr::isHexByte(plan.data)) {
        report(tr("Enter the data to write as two hexadecimal digits. Nothing was sent."));
        return;
    }
    m_plan = plan;
    m_stepCnt = 0;
    m_clrReg = xcvr::hexValue(ui->ClrStartAddr->text());
    m_retryCnt = 0;
    m_silences = 0;
    device::Request r;
    r.name = tr("the register clear");
    r.first = clearStepAt(ShortFirstStepMs);
    r.next = [this](const device::Reply &reply) { return afterClearStep(reply); };
    // Each step shows its number as progress when it runs; a read-back shows
    // the next number when its reply is verified.
    r.progress = [this](int look) {
        ui->progressBar->setValue(xcvr::clearProgress(m_stepCnt + look,
                                                      xcvr::hexValue(ui->ClrStartAddr->text()),
                                                      xcvr::hexValue(ui->ClrEndAddr->text())));
    };
    if (!start(std::move(r)))
        return;
    ui->XCVRResutsBox->clear();
    append(tr("Clearing Transceiver Registers with ") + plan.data);
}

device::Step XCVRUtils::clearStepAt(int delayMs) const
{
    const xcvr::ClearStep s = xcvr::clearStep(m_plan, m_stepCnt, m_clrReg);
    device::Step step;
    step.delayMs = delayMs;
    step.command = s.command;
    step.lookEveryMs = ClearStepMs; // one look at once (progress); the read-back a step later
    if (s.kind == xcvr::StepKind::Read) {
        step.drain = true; // the write's answer and anything late
        step.timeoutMs = ClearStepMs;
    }
    return step;
}

std::optional<device::Step> XCVRUtils::afterClearStep(const device::Reply &reply)
{
    const xcvr::ClearStep done = xcvr::clearStep(m_plan, m_stepCnt, m_clrReg);
    ++m_stepCnt;
    if (done.kind == xcvr::StepKind::Read) {
        // The verify step: the reply counts only when complete.
        const QByteArray readBack =
            reply.bytes.size() >= xcvr::readBackLength(m_kind) ? reply.bytes : QByteArray();
        QString line;
        switch (xcvr::verify(m_plan, readBack, m_clrReg, m_retryCnt, m_silences, &line)) {
        case xcvr::Verdict::Mismatch:
            ++m_retryCnt;
            --m_stepCnt; // read the same register back again
            break;
        case xcvr::Verdict::NoReply:
            ++m_silences;
            --m_stepCnt;
            break;
        case xcvr::Verdict::Pass:
            append(line);
            m_retryCnt = 0;
            m_silences = 0;
            ++m_clrReg;
            ++m_stepCnt;
            break;
        case xcvr::Verdict::Fail:
        case xcvr::Verdict::Silent:
            append(line);
            qCWarning(lcXcvr).noquote() << line;
            m_retryCnt = 0;
            m_silences = 0;
            ++m_clrReg;
            ++m_stepCnt;
            break;
        }
    }
    if (xcvr::hexValue(ui->ClrEndAddr->text()) < m_clrReg)
        return std::nullopt; // the procedure ends; polling resumes a moment later
    return clearStepAt(ClearStepMs);
}

// --- Side selection and console ----------------------------------------------------------

QString XCVRUtils::typedLine() const
{
    const QStringList lines =
        ui->XCVRResutsBox->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        if (!m_programLines.contains(*it))
            return *it;
    }
    return QString();
}

void XCVRUtils::on_FactoryBtn_clicked()
{
    const QString text = ui->XCVRResutsBox->toPlainText();
    if (text.contains(QLatin1String("Side=A"))) {
        append(tr("SideA Selected"));
        selectSide('A');
    } else if (text.contains(QLatin1String("Side=B"))) {
        append(tr("SideB Selected"));
        selectSide('B');
    } else {
        const QString line = typedLine();
        if (line.isEmpty()) {
            report(tr("Type a command (or Side=A, Side=B) as the last line of this box, then "
                      "press the settings button. Nothing was sent."));
        } else {
            // As typed, straight to the port: no side letter.
            device::Step step;
            step.delayMs = ShortFirstStepMs;
            step.drain = true;
            step.raw = true;
            step.command = line;
            step.timeoutMs = ConsoleReplyMs;
            start(device::Request::single(tr("the console command"), step,
                                          [this](const device::Reply &reply) {
                                              const QString text = xcvr::replyText(reply.bytes);
                                              append(text);
                                              if (text.isEmpty())
                                                  report(tr("No reply to the console command."));
                                          }));
        }
    }
    ui->XCVRResutsBox->setFocus(Qt::OtherFocusReason);
}

void XCVRUtils::selectSide(char side)
{
    if (!m_instrument)
        return;
    m_instrument->setSide(side);
    // Remembered for the next session with this instrument, which starts on
    // side A all the same (nothing remembered changes what is sent); the
    // utilities then offer it.
    const QString group = m_instrument->settingsGroup();
    if (!group.isEmpty())
        QSettings().setValue(group + QStringLiteral("/link/lastSide"), QString(QLatin1Char(side)));
}
