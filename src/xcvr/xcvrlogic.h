// The transceiver utilities without widgets: register command texts, the
// clear procedure's step plan and progress, and the read-back rule. Every
// function here is a pure function of its arguments (bytes and texts of any
// length), so the window code only reads widgets, calls these and writes the
// results back.
#pragma once
#include "bert/models.h"

#include <QByteArray>
#include <QString>

namespace xcvr {

using Kind = bert::Transceiver;

// The two register pages of an SFP module and the letter that names them in
// commands: diagnostics (A2, "D") and serial ID (A0, "I").
enum class SfpPage { Diag, Info };

// The register-type box: index 1 is "Info", everything else "Diag".
SfpPage pageOfIndex(int index);
// "A0"/"a0" is the serial ID page, "A2"/"a2" the diagnostics page; any other
// text is no SFP page (false, *page untouched).
bool sfpPageOf(const QString &text, SfpPage *page);

// A reply as text: the bytes up to the first zero byte, decoded as UTF-8.
QString replyText(const QByteArray &bytes);
// A hexadecimal text as a number; a text that does not convert counts as 0.
int hexValue(const QString &text);
// Exactly two hexadecimal digits, either case.
bool isHexByte(const QString &text);
// A register address as the clear procedure writes it: lower-case hexadecimal
// without leading zeros (0x80 is "80", 0x0A is "a").
QString addressText(int reg);

// --- Commands (empty for a unit without a transceiver port) --------------------
QString dumpCommand(Kind kind);
QString readCommand(Kind kind, SfpPage page, const QString &address);
QString writeCommand(Kind kind, SfpPage page, const QString &address, const QString &value);

// What a single-register read puts into the value box: the last six characters
// of the reply text (the box's "HH" mask keeps the first two hex digits).
QString lastSix(const QString &reply);

// --- The clear procedure ---------------------------------------------------------
// Everything a run needs that is settled when it starts.
struct ClearPlan {
    Kind kind = Kind::None;
    SfpPage page = SfpPage::Diag; // SFP: the page validated at the start
    QString pageText;             // the page as typed: XFP page number; shown in result lines
    QString data;                 // the value written to every register
    QString password[4];          // XFP registers 7B..7E
};

// Steps 0..5 start the run (XFP: password and page select at 1..5); from step
// 6 on, each register takes a write, a read and a verify step.
enum class StepKind { Start, Write, Read, Verify };
struct ClearStep {
    StepKind kind;
    QString command; // sent through the command sender; empty: nothing is sent
};
ClearStep clearStep(const ClearPlan &plan, int step, int reg);

// Progress in percent at a step: step x 100 / (3 x registers + 5), within 0..100.
int clearProgress(int step, int start, int end);

// A register fails after this many read-backs that did not show the value
// (and, equally, after this many read-backs that found no complete reply).
inline constexpr int ReadBackLimit = 12;

// The register report of a read-back reply: SFP replies skip three bytes
// ("A2 "), then seven bytes are the report ("7f = 0a") with the value at its
// positions 5 and 6. False when fewer bytes than a report needs arrived.
struct ReadBack {
    QString report;
    QString value;
};
int readBackLength(Kind kind); // bytes a complete read-back needs: SFP 10, XFP 7
bool parseReadBack(Kind kind, const QByteArray &reply, ReadBack *out);

// The verify step's decision for one read-back.
enum class Verdict {
    Pass,     // the value matches: next register
    Mismatch, // read the register again
    Fail,     // the last allowed read-back mismatched: next register
    NoReply,  // short or missing reply: read again
    Silent,   // the last allowed read-back found no reply: next register
};
// retries: mismatching read-backs so far; silences: read-backs without a
// complete reply so far (both for this register). *line gets the result line
// to show (empty when the register is read again).
Verdict verify(const ClearPlan &plan, const QByteArray &reply, int reg, int retries, int silences,
               QString *line);

} // namespace xcvr
