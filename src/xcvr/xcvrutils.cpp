#include "xcvr/xcvrutils.h"

#include "app/mainwindow.h"
#include "link/diagnostics.h"
#include "link/link.h"
#include "link/protocol.h"
#include "ui_xcvrutils.h"

#include <QHideEvent>
#include <QSettings>
#include <QTextCursor>
#include <QTimer>

namespace {
// Delays of the step chains, in milliseconds.
constexpr int DumpFirstStepMs = 200;  // dump and loop-back test
constexpr int ShortFirstStepMs = 100; // single read, clear, console
constexpr int DumpStepMs = 20;
constexpr int TestStepMs = 200;
constexpr int ReadReplyMs = 100;
constexpr int ConsoleReplyMs = 200;
constexpr int ClearStepMs = 20;
constexpr int LastDataStep = 100; // dump and test read their reply at this step

// A reply as lines of the results box: CR LF become line breaks, and the line
// end that closes the reply adds no empty line.
QString asLines(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text;
}
// Appends text as plain paragraphs: what the instrument sends is never taken
// for markup.
void appendPlain(QTextEdit *box, const QString &text)
{
    QTextCursor c(box->document());
    c.movePosition(QTextCursor::End);
    if (!box->document()->isEmpty())
        c.insertBlock(QTextBlockFormat(), QTextCharFormat());
    c.insertText(asLines(text), QTextCharFormat());
    box->setTextCursor(c);
    box->ensureCursorVisible();
}
} // namespace

XCVRUtils::XCVRUtils(QWidget *parent)
    : QDialog(parent), ui(new Ui::XCVRUtils), MainWin(qobject_cast<MainWindow *>(parent))
{
    ui->setupUi(this);
    setFixedSize(size());
    ui->RegTypeBx->addItem(tr("Diag"));

    XcvrType = MainWin ? bert::modelRow(MainWin->unitType()).transceiver : xcvr::Kind::None;
    if (XcvrType == xcvr::Kind::Sfp) {
        ui->RegTypeBx->addItem(tr("Info"));
        using Widgets = std::initializer_list<QWidget *>;
        for (QWidget *w : Widgets{ui->label_3, ui->EEPw7B, ui->EEPw7C, ui->EEPw7D, ui->EEPw7E})
            w->hide();
        ui->ClrPage->setText(QStringLiteral("A2"));
        ui->ClrPage->setToolTip(tr("Register Page to Clear, (A0=Serial ID, A2=Diagnostics)"));
        ui->ClrEndAddr->setText(QStringLiteral("F7"));
    } else if (XcvrType == xcvr::Kind::None) {
        ui->XCVRResutsBox->setPlainText(
            tr("No transceiver port is available on this instrument (or no instrument was "
               "connected when this window opened), so these utilities send nothing.\n"
               "Connect an instrument with an SFP or XFP cage and open the utilities again."));
    }
    if (MainWin)
        connect(link(), &Link::exchangeEnded, this, &XCVRUtils::onExchangeEnded);
    // A side B chosen in an earlier session is offered, not selected.
    if (MainWin && link()->side() == 'A' &&
        QSettings().value(QStringLiteral("link/lastSide")).toString() == QLatin1String("B"))
        ui->XCVRResutsBox->setToolTip(
            tr("Side B was selected last time: type Side=B here and press the settings button "
               "to select it again."));
}

XCVRUtils::~XCVRUtils()
{
    // The link hands the line back by itself when a window that holds it goes.
    delete ui;
}

Link *XCVRUtils::link() const
{
    return MainWin->link();
}

// --- Shared conventions -----------------------------------------------------------

QString XCVRUtils::blocker() const
{
    if (!MainWin || XcvrType == xcvr::Kind::None)
        return tr("No transceiver port is available on this instrument");
    if (!link()->connected())
        return tr("No instrument is connected");
    if (link()->busy())
        return link()->holds(this)
                   ? tr("Busy: %1 is still running").arg(link()->exchangeName())
                   : tr("Busy: %1 holds the instrument").arg(link()->exchangeName());
    return QString();
}

bool XCVRUtils::startOperation(const QString &what)
{
    QString why = blocker();
    if (why.isEmpty())
        link()->beginExchange(this, what, &why);
    if (!why.isEmpty()) {
        report(tr("%1. Nothing was sent.").arg(why));
        return false;
    }
    m_operation = what;
    ++m_chain;
    return true;
}

void XCVRUtils::schedule(int ms, Step step)
{
    const unsigned chain = m_chain;
    QTimer::singleShot(ms, this, [this, step, chain] {
        if (chain == m_chain)
            (this->*step)();
    });
}

void XCVRUtils::endOperation()
{
    ++m_chain;
    m_operation.clear();
    link()->endExchange(this); // polling resumes 100 ms later
}

void XCVRUtils::stopOperation(const QString &why)
{
    if (m_operation.isEmpty())
        return;
    qCInfo(lcXcvr).noquote() << m_operation + QStringLiteral(" stopped: ") + why;
    endOperation();
}

void XCVRUtils::onExchangeEnded(QObject *owner, const QString &reason)
{
    if (owner != this || reason.isEmpty() || m_operation.isEmpty())
        return;
    // The link already took the line back (instrument lost or disconnected).
    QString what = m_operation;
    what[0] = what.at(0).toUpper();
    ++m_chain;
    m_operation.clear();
    report(tr("%1 stopped: %2").arg(what, reason));
}

void XCVRUtils::hideEvent(QHideEvent *event)
{
    // Closing the window (not minimising it) ends its operation and hands the
    // line back, so that the measurement cycle resumes.
    if (!event->spontaneous())
        stopOperation(tr("the window was closed"));
    QDialog::hideEvent(event);
}

void XCVRUtils::report(const QString &line)
{
    appendPlain(ui->XCVRResutsBox, line);
    qCWarning(lcXcvr).noquote() << line;
}

// --- Register dump and loop-back test ------------------------------------------------

void XCVRUtils::on_ReadXCVRBtn_clicked()
{
    if (!startOperation(tr("the register dump")))
        return;
    OpMode = 'R';
    schedule(DumpFirstStepMs, &XCVRUtils::ReceiveData);
    StepCnt = 0;
}

void XCVRUtils::on_TestXCVRBtn_clicked()
{
    if (!startOperation(tr("the loop-back test")))
        return;
    OpMode = 'T';
    schedule(DumpFirstStepMs, &XCVRUtils::ReceiveData);
    StepCnt = 0;
}

void XCVRUtils::ReceiveData()
{
    if (StepCnt == 0) {
        link()->readAll();
        ui->XCVRResutsBox->clear();
        link()->send(OpMode == 'R' ? xcvr::dumpCommand(XcvrType)
                                   : QString::fromLatin1(proto::LoopbackTest));
    } else if (StepCnt == LastDataStep) {
        const QString reply = xcvr::replyText(link()->readAll());
        endOperation();
        appendPlain(ui->XCVRResutsBox, reply);
        if (reply.isEmpty())
            report(tr("No reply from the instrument."));
    }
    if (StepCnt < LastDataStep)
        schedule(OpMode == 'R' ? DumpStepMs : TestStepMs, &XCVRUtils::ReceiveData);
    ui->progressBar->setValue(StepCnt);
    ++StepCnt;
}

// --- Single register ------------------------------------------------------------------

void XCVRUtils::on_ReadByteBtn_clicked()
{
    if (!startOperation(tr("the register read")))
        return;
    StepCnt = 0;
    schedule(ShortFirstStepMs, &XCVRUtils::ReceiveByte);
}

void XCVRUtils::ReceiveByte()
{
    const QString reply = xcvr::replyText(link()->readAll());
    if (StepCnt == 0) {
        // Straight to the port: no side letter.
        link()->writeRaw(xcvr::readCommand(
            XcvrType, xcvr::pageOfIndex(ui->RegTypeBx->currentIndex()), ui->AddressBx->text()));
        schedule(ReadReplyMs, &XCVRUtils::ReceiveByte);
    } else {
        endOperation();
        ui->RegValueBx->setText(xcvr::lastSix(reply));
        if (reply.isEmpty())
            report(tr("No reply to the register read."));
    }
    ++StepCnt;
}

void XCVRUtils::on_TestXCVRBtn_3_clicked()
{
    // The write expects no reply and does not pause the measurement cycle, but
    // it must not land between the commands of an exchange in progress.
    const QString why = blocker();
    if (!why.isEmpty()) {
        report(tr("%1. The register was not written.").arg(why));
        return;
    }
    link()->send(xcvr::writeCommand(XcvrType, xcvr::pageOfIndex(ui->RegTypeBx->currentIndex()),
                                    ui->AddressBx->text(), ui->RegValueBx->text()));
}

// --- Register clear ---------------------------------------------------------------------

void XCVRUtils::on_ClearXcvrBtn_clicked()
{
    const QString why = blocker();
    if (!why.isEmpty()) {
        report(tr("%1. Nothing was sent.").arg(why));
        return;
    }
    xcvr::ClearPlan plan;
    plan.kind = XcvrType;
    plan.pageText = ui->ClrPage->text();
    plan.data = ui->ClrWrData->text();
    const QLineEdit *password[4] = {ui->EEPw7B, ui->EEPw7C, ui->EEPw7D, ui->EEPw7E};
    for (int i = 0; i < 4; ++i)
        plan.password[i] = password[i]->text();
    if (XcvrType == xcvr::Kind::Sfp && !xcvr::sfpPageOf(plan.pageText, &plan.page)) {
        ui->XCVRResutsBox->clear();
        report(tr("Invalid SFP Page. Choose A0 or A2"));
        return;
    }
    // A value of fewer than two digits would be written, but its read-back
    // ("0a") could never match it.
    if (!xcvr::isHexByte(plan.data)) {
        report(tr("Enter the data to write as two hexadecimal digits. Nothing was sent."));
        return;
    }
    if (!startOperation(tr("the register clear")))
        return;
    m_plan = plan;
    OpMode = 'R';
    ui->XCVRResutsBox->clear();
    appendPlain(ui->XCVRResutsBox, tr("Clearing Transceiver Registers with ") + plan.data);
    schedule(ShortFirstStepMs, &XCVRUtils::ClrProcedure);
    StepCnt = 0;
    ClrReg = xcvr::hexValue(ui->ClrStartAddr->text());
    RetryCnt = 0;
    m_silences = 0;
}

void XCVRUtils::ClrProcedure()
{
    ui->progressBar->setValue(xcvr::clearProgress(StepCnt, xcvr::hexValue(ui->ClrStartAddr->text()),
                                                  xcvr::hexValue(ui->ClrEndAddr->text())));
    const xcvr::ClearStep step = xcvr::clearStep(m_plan, StepCnt, ClrReg);
    switch (step.kind) {
    case xcvr::StepKind::Start:
    case xcvr::StepKind::Write:
        if (!step.command.isEmpty())
            link()->send(step.command);
        ++StepCnt;
        break;
    case xcvr::StepKind::Read:
        link()->readAll(); // the write's answer and anything late
        link()->send(step.command);
        ++StepCnt;
        break;
    case xcvr::StepKind::Verify: {
        const QByteArray reply = link()->bytesAvailable() >= xcvr::readBackLength(XcvrType)
                                     ? link()->readAll()
                                     : QByteArray();
        QString line;
        switch (xcvr::verify(m_plan, reply, ClrReg, RetryCnt, m_silences, &line)) {
        case xcvr::Verdict::Mismatch:
            ++RetryCnt;
            --StepCnt; // read the same register back again
            break;
        case xcvr::Verdict::NoReply:
            ++m_silences;
            --StepCnt;
            break;
        case xcvr::Verdict::Pass:
            appendPlain(ui->XCVRResutsBox, line);
            RetryCnt = 0;
            m_silences = 0;
            ++ClrReg;
            ++StepCnt;
            break;
        case xcvr::Verdict::Fail:
        case xcvr::Verdict::Silent:
            appendPlain(ui->XCVRResutsBox, line);
            qCWarning(lcXcvr).noquote() << line;
            RetryCnt = 0;
            m_silences = 0;
            ++ClrReg;
            ++StepCnt;
            break;
        }
        break;
    }
    }
    if (xcvr::hexValue(ui->ClrEndAddr->text()) < ClrReg)
        endOperation();
    else
        schedule(ClearStepMs, &XCVRUtils::ClrProcedure);
}

// --- Side selection and console -------------------------------------------------------------

void XCVRUtils::on_FactoryBtn_clicked()
{
    const QString text = ui->XCVRResutsBox->toPlainText();
    if (text.contains(QLatin1String("Side=A"))) {
        appendPlain(ui->XCVRResutsBox, tr("SideA Selected"));
        selectSide('A');
    } else if (text.contains(QLatin1String("Side=B"))) {
        appendPlain(ui->XCVRResutsBox, tr("SideB Selected"));
        selectSide('B');
    } else if (startOperation(tr("the console command"))) {
        StepCnt = 0;
        schedule(ShortFirstStepMs, &XCVRUtils::ReceiveCmdResponse);
    }
    ui->XCVRResutsBox->setFocus(Qt::OtherFocusReason);
}

void XCVRUtils::ReceiveCmdResponse()
{
    const QString reply = xcvr::replyText(link()->readAll());
    if (StepCnt == 0) {
        const QStringList lines =
            ui->XCVRResutsBox->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        if (lines.isEmpty()) {
            qCInfo(lcXcvr, "console: no command line to send");
            endOperation();
        } else {
            link()->writeRaw(lines.last()); // as typed: no side letter
            schedule(ConsoleReplyMs, &XCVRUtils::ReceiveCmdResponse);
        }
    } else {
        endOperation();
        appendPlain(ui->XCVRResutsBox, reply);
        if (reply.isEmpty())
            report(tr("No reply to the console command."));
    }
    ++StepCnt;
}

void XCVRUtils::selectSide(char side)
{
    if (MainWin)
        link()->setSide(side);
    // Remembered for the next session, which starts on side A all the same
    // (nothing changes what is sent at start-up); the utilities then offer it.
    QSettings().setValue(QStringLiteral("link/lastSide"), QString(QLatin1Char(side)));
}
