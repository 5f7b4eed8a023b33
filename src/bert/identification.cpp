#include "bert/identification.h"

namespace bert {

QString textUpToNul(const QByteArray &bytes)
{
    const int nul = bytes.indexOf('\0');
    return QString::fromUtf8(nul < 0 ? bytes : bytes.left(nul));
}

Identification identify(const QByteArray &reply)
{
    // The reply is cut into lines at CR and LF. The identification is the
    // first complete line (one a line end closed) that names a model, from
    // the last place the name stands in it: bytes left over from an earlier
    // exchange, or a shortened reply run into the next one, stand before it.
    // A reply without any line end is taken as one line.
    Identification id;
    QList<QByteArray> lines;
    int start = 0;
    for (int i = 0; i < reply.size(); ++i) {
        if (reply[i] == '\r' || reply[i] == '\n') {
            if (i > start)
                lines.append(reply.mid(start, i - start));
            start = i + 1;
        }
    }
    if (lines.isEmpty())
        lines.append(reply);
    for (const QByteArray &line : qAsConst(lines)) {
        const NameMatch match = matchName(line);
        if (!match.model)
            continue;
        id.model = match.model;
        id.row = match.row;
        for (int i = line.lastIndexOf(match.name); i < line.size(); ++i) {
            const char c = line[i];
            if (c >= 0x20 && c < 0x7f)
                id.line += c;
        }
        return id;
    }
    return id;
}

QString Identification::entryText(const QString &portName) const
{
    QByteArray fields = line;
    fields.replace(":", "\r\n");
    return portName + QStringLiteral(": ") + QString::fromLatin1(fields);
}

QString Identification::title(const QString &portName) const
{
    return titleOfEntry(entryText(portName));
}

QString titleOfEntry(const QString &entryText)
{
    QString title = entryText.left(entryText.size() - 2);
    title.replace(QLatin1String("\r\n"), QLatin1String(" "));
    title.replace(QLatin1Char('\r'), QLatin1Char(' '));
    title.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return title;
}

namespace {
QString field(const QByteArray &line, const char *prefix)
{
    for (const QByteArray &f : line.split(':')) {
        const QByteArray t = f.trimmed();
        if (t.startsWith(prefix))
            return QString::fromLatin1(t.mid(int(qstrlen(prefix)))).trimmed();
    }
    return QString();
}
} // namespace

QString Identification::serialNumber() const
{
    return field(line, "SN ");
}

QString Identification::firmware() const
{
    return field(line, "FW ");
}

} // namespace bert
