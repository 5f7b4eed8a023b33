#include "link/unitmodels.h"

namespace unit {
namespace {
const char *const Names[ModelRows] = {
    " ",
    "Corvane NanoTa",
    "Corvane NanoTb",
    "Corvane Nano Span",
    "Corvane Tera",
    "Corvane Nano Tera",
    "Corvane Nano",
};
const int Codes[ModelRows] = {None, NanoTa, NanoTb, Span, Tera, Tera, Nano};
} // namespace

int codeOfRow(int row)
{
    return row >= 0 && row < ModelRows ? Codes[row] : None;
}

int matchRow(const QByteArray &text)
{
    for (int row = 1; row < ModelRows; ++row) {
        if (text.contains(Names[row]))
            return row;
    }
    return 0;
}

QString textUpToNul(const QByteArray &bytes)
{
    const int nul = bytes.indexOf('\0');
    return QString::fromUtf8(nul < 0 ? bytes : bytes.left(nul));
}

QString itemTextFromReply(const QByteArray &reply, const QByteArray &portName)
{
    const int cr = reply.indexOf('\r', 1);
    QByteArray fields = cr < 0 ? QByteArray() : reply.left(cr);
    fields.replace(":", "\r\n");
    return textUpToNul(portName + ": " + fields);
}

} // namespace unit
