#include "eye/eyelevels.h"

#include <QtGlobal>

namespace eye {

namespace {

bool isLineEnd(char b)
{
    return b == '\r' || b == '\n';
}

// Walks the reply as the drawing reads it: every run of CR and LF is skipped
// wherever it stands, one sample per cell, column by column from the bottom
// row up; cells past the end of the reply have no sample. For each cell,
// f(column, row, p) runs with p the read position of its sample (at or past
// the end of the reply when it has none).
template <class F> void walk(const QByteArray &reply, F f)
{
    const char *b = reply.constData();
    const int n = reply.size();
    int p = 0;
    for (int c = 0; c < Size; ++c) {
        for (int j = 0; j < Size; ++j) {
            while (p < n && isLineEnd(b[p]))
                ++p;
            f(c, j, p);
            ++p;
        }
    }
}

int clampLevel(qint64 level)
{
    return level >= 256 ? 255 : level < 0 ? 0 : int(level);
}

} // namespace

Levels levels(const QByteArray &reply, const Shading &shading)
{
    const auto *b = reinterpret_cast<const uchar *>(reply.constData());
    const int n = reply.size();
    const qint64 g = shading.gain;
    Levels out;
    walk(reply, [&](int c, int j, int p) {
        const bool has = p < n;
        qint64 level;
        if (!shading.derivative) {
            const qint64 s = has ? b[p] : 0; // a missing cell counts as 255 - s = 255
            level = (255 - s) * g / 50;
        } else if (j == 0) {
            const qint64 s = has ? b[p] : 0;
            level = s * g / 5;
        } else {
            // t is the byte just before the sample: the sample of the cell
            // below, or a line end that was skipped. j > 0 means p >= 1.
            const qint64 s = has ? b[p] : 0;
            const qint64 t = p - 1 < n ? b[p - 1] : 0;
            level = qAbs(s - t) * g / 5;
        }
        int l = clampLevel(level);
        if (shading.invert)
            l = 255 - l;
        if (shading.blackWhite)
            l = l >= 129 ? 255 : 0;
        out[cellIndex(c, j)] = quint8(l);
    });
    return out;
}

Samples samples(const QByteArray &reply)
{
    const auto *b = reinterpret_cast<const uchar *>(reply.constData());
    const int n = reply.size();
    Samples out;
    walk(reply, [&](int c, int j, int p) { out[cellIndex(c, j)] = p < n ? qint16(b[p]) : -1; });
    return out;
}

QString verticalLine(const QString &scale, const QString &opening)
{
    return QStringLiteral("Vert: ") + scale + QStringLiteral(" (") + opening.mid(10, 6) +
           QLatin1Char(')');
}

QString horizontalLine(double rateMbps, const QString &opening)
{
    // At a rate of 0 half a unit interval lasts forever: dashes, not "inf".
    const QString head =
        rateMbps > 0 ? QString::asprintf("Horz: 0.5UI, %0.6fGbps, %0.1fpS (", rateMbps / 1000,
                                         (1000000 / rateMbps) * 0.5)
                     : QString::asprintf("Horz: 0.5UI, %0.6fGbps, ----pS (", rateMbps / 1000);
    return head + opening.mid(0, 7) + QLatin1Char(')');
}

QString makerLine(const QDateTime &now)
{
    return QLatin1String(MakerAddress) + QStringLiteral("     ") + now.toString(Qt::TextDate);
}

QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QByteArray scanCsv(const QByteArray &reply, const ScanFacts &facts)
{
    const QStringList header{
        QStringLiteral("Corvane eye scan"),
        QStringLiteral("rate %1 Mbps").arg(QString::number(facts.rateMbps, 'g', 12)),
        QStringLiteral("scale %1").arg(facts.scale),
        QStringLiteral("eye opening %1").arg(facts.opening),
        QStringLiteral("date %1").arg(facts.when.date().toString(Qt::ISODate)),
        QStringLiteral("time %1").arg(facts.when.time().toString(QStringLiteral("hh:mm:ss")))};
    QStringList fields;
    for (const QString &h : header)
        fields << csvField(h);
    QByteArray out = fields.join(QLatin1Char(',')).toUtf8() + "\r\n";

    const Samples s = samples(reply);
    out.reserve(out.size() + Cells * 4 + Size * 2);
    for (int row = 0; row < Size; ++row) {
        for (int col = 0; col < Size; ++col) {
            if (col > 0)
                out += ',';
            const qint16 v = s[row * Size + col];
            if (v >= 0)
                out += QByteArray::number(v);
        }
        out += "\r\n";
    }
    return out;
}

} // namespace eye
