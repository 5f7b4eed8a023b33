#include "xcvr/xcvrlogic.h"

#include "bert/protocol.h"

#include <QRegularExpression>

namespace xcvr {

SfpPage pageOfIndex(int index)
{
    return index == 1 ? SfpPage::Info : SfpPage::Diag;
}

bool sfpPageOf(const QString &text, SfpPage *page)
{
    if (text == QLatin1String("A0") || text == QLatin1String("a0")) {
        *page = SfpPage::Info;
        return true;
    }
    if (text == QLatin1String("A2") || text == QLatin1String("a2")) {
        *page = SfpPage::Diag;
        return true;
    }
    return false;
}

QString replyText(const QByteArray &bytes)
{
    const int nul = bytes.indexOf('\0');
    return QString::fromUtf8(nul < 0 ? bytes : bytes.left(nul));
}

int hexValue(const QString &text)
{
    bool ok = false;
    const int v = text.toInt(&ok, 16);
    return ok ? v : 0;
}

bool isHexByte(const QString &text)
{
    static const QRegularExpression twoDigits(QStringLiteral("\\A[0-9A-Fa-f]{2}\\z"));
    return twoDigits.match(text).hasMatch();
}

QString addressText(int reg)
{
    return QString::number(reg, 16);
}

QString dumpCommand(Kind kind)
{
    switch (kind) {
    case Kind::Sfp: return QLatin1String(proto::DumpSfp);
    case Kind::Xfp: return QLatin1String(proto::DumpXfp);
    case Kind::None: break;
    }
    return QString();
}

QString readCommand(Kind kind, SfpPage page, const QString &address)
{
    switch (kind) {
    case Kind::Sfp:
        return QLatin1String(page == SfpPage::Info ? proto::ReadSfpInfo : proto::ReadSfpDiag) +
               address;
    case Kind::Xfp: return QLatin1String(proto::ReadXfp) + address;
    case Kind::None: break;
    }
    return QString();
}

QString writeCommand(Kind kind, SfpPage page, const QString &address, const QString &value)
{
    const char *format = nullptr;
    switch (kind) {
    case Kind::Sfp:
        format = page == SfpPage::Info ? proto::WriteSfpInfo : proto::WriteSfpDiag;
        break;
    case Kind::Xfp: format = proto::WriteXfp; break;
    case Kind::None: return QString();
    }
    // One pass over the format, so that an address holding "%2" stays as typed.
    return QString(QLatin1String(format)).arg(address, value);
}

QString lastSix(const QString &reply)
{
    return reply.right(6);
}

// --- The clear procedure -----------------------------------------------------------

namespace {
constexpr int FirstRegisterStep = 6;
constexpr int PreambleSteps = 5;
const char *const PasswordRegisters[4] = {"7B", "7C", "7D", "7E"};
const char PageSelectRegister[] = "7F";
} // namespace

ClearStep clearStep(const ClearPlan &plan, int step, int reg)
{
    if (step < FirstRegisterStep) {
        if (plan.kind != Kind::Xfp || step < 1)
            return {StepKind::Start, QString()};
        const QString value = step <= 4 ? plan.password[step - 1] : plan.pageText;
        const char *reg = step <= 4 ? PasswordRegisters[step - 1] : PageSelectRegister;
        return {StepKind::Start, writeCommand(Kind::Xfp, plan.page, QLatin1String(reg), value)};
    }
    const QString address = addressText(reg);
    switch (step % 3) {
    case 0: return {StepKind::Write, writeCommand(plan.kind, plan.page, address, plan.data)};
    case 1: return {StepKind::Read, readCommand(plan.kind, plan.page, address)};
    default: return {StepKind::Verify, QString()};
    }
}

int clearProgress(int step, int start, int end)
{
    const int total = 3 * (end - start + 1) + PreambleSteps;
    if (total <= 0)
        return 0;
    return qBound(0, int(qint64(step) * 100 / total), 100);
}

int readBackLength(Kind kind)
{
    return kind == Kind::Sfp ? 10 : 7;
}

bool parseReadBack(Kind kind, const QByteArray &reply, ReadBack *out)
{
    if (reply.size() < readBackLength(kind))
        return false;
    const QByteArray report = reply.mid(kind == Kind::Sfp ? 3 : 0, 7);
    out->report = replyText(report);
    out->value = replyText(report.mid(5, 2));
    return true;
}

Verdict verify(const ClearPlan &plan, const QByteArray &reply, int reg, int retries, int silences,
               QString *line)
{
    const QString head = QStringLiteral("Page ") + plan.pageText + QStringLiteral(", Reg ");
    line->clear();
    ReadBack rb;
    if (!parseReadBack(plan.kind, reply, &rb)) {
        if (silences + 1 < ReadBackLimit)
            return Verdict::NoReply;
        *line = head + addressText(reg) + QStringLiteral(" ***FAIL*** (no reply)");
        return Verdict::Silent;
    }
    if (rb.value == plan.data.toLower()) {
        *line = head + rb.report + QStringLiteral(" pass") + QStringLiteral("(%1)").arg(retries);
        return Verdict::Pass;
    }
    if (retries + 1 < ReadBackLimit)
        return Verdict::Mismatch;
    *line = head + rb.report + QStringLiteral(" ***FAIL***");
    return Verdict::Fail;
}

} // namespace xcvr
