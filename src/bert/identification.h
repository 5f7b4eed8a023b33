// An instrument's answer to the identification query "?": which model it is,
// and the text the port list, the window title and the About box show.
#pragma once
#include "bert/models.h"

#include <QByteArray>
#include <QString>

namespace bert {

// The text of a byte array up to its first NUL, decoded as UTF-8.
QString textUpToNul(const QByteArray &bytes);

struct Identification {
    const Model *model = nullptr; // null when no model name was found
    int row = 0;                  // the name's row in the search order (0: none)
    // The identification line: from the model name to the first CR or LF after
    // it (or the end of the reply), printable ASCII only. Bytes that came
    // before the name (left over from an earlier exchange) are not part of it.
    QByteArray line;

    bool recognised() const { return model != nullptr; }
    // The port list entry: "pts/3: Corvane NanoTb\r\nSN 1\r\nFW 2.61\r\n" (each
    // field on a line of its own).
    QString entryText(const QString &portName) const;
    // The entry on one line, without the trailing line end: "pts/3: Corvane NanoTb SN 1 FW 2.61".
    QString title(const QString &portName) const;
    QString serialNumber() const; // "4711" from the field "SN 4711"; empty if none
    QString firmware() const;     // "2.61" from the field "FW 2.61"; empty if none
};

Identification identify(const QByteArray &reply);

// The window title of a port list entry: the entry without its last two
// characters, each line break shown as one space.
QString titleOfEntry(const QString &entryText);

} // namespace bert
