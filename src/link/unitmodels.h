// The unit-model table: model names searched in identification replies, and
// the unit type code each one stands for.
#pragma once
#include <QByteArray>
#include <QString>

namespace unit {

// Unit type codes. 0 means no model recognised.
enum Code : int {
    None = 0,
    Nano = 500110,     // 125 Mbit/s to 4.25 Gbit/s, SFP
    Tera = 500120,     // around 10 Gbit/s, XFP
    Span = 500130,     // low rates, no transceiver controls
    NanoTa = 50077041, // four rate ranges, SFP
    NanoTb = 50077063, // five rate ranges, SFP
};

inline constexpr int ModelRows = 7; // row 0 is a placeholder, never searched

// Unit type code of a row (row 0 gives 0).
int codeOfRow(int row);

// First row 1..6 whose model name occurs in the text (byte-wise, case-sensitive);
// 0 when none does. The longer names stand before "Corvane Nano", so the first
// match is the most specific one.
int matchRow(const QByteArray &text);

// Turns an identification reply into the text of a port list entry: the port
// name, ": ", then the reply up to its first CR at or after index 1 with every
// ':' replaced by CR LF (nothing of the reply when there is no such CR).
QString itemTextFromReply(const QByteArray &reply, const QByteArray &portName);

// The text of a byte array up to its first NUL, decoded as UTF-8.
QString textUpToNul(const QByteArray &bytes);

} // namespace unit
