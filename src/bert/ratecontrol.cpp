#include "bert/ratecontrol.h"

#include "bert/protocol.h"

#include <QStringList>

namespace bert {

int snapToStandardRate(int v, const RateTable &table)
{
    for (int b = 1; b < table.count; ++b) {
        const qint32 lo = table.entry[b];
        const qint32 hi = table.entry[b + 1];
        if (lo < v && v < hi) {
            const qint32 mid = lo + (hi - lo) / 2;
            v = v <= mid ? lo : hi;
        }
    }
    return v;
}

QString setRateCommand(const Model &model, double mbps)
{
    const double scale = model.setRateScale;
    if (scale == 0)
        return QString();
    return QString::asprintf(proto::SetRate, mbps * scale);
}

bool rateWithinModel(const Model &model, double mbps, QString *why)
{
    const double kbps = mbps * 1000.0;
    QStringList spans;
    for (const auto &span : rateSpans(model)) {
        // A hair of tolerance for the decimal fractions of Mbit/s.
        if (kbps >= span.first - 1e-6 && kbps <= span.second + 1e-6)
            return true;
        spans << QString::number(span.first / 1000.0, 'g', 10) + QStringLiteral("-") +
                     QString::number(span.second / 1000.0, 'g', 10);
    }
    if (why)
        *why = QStringLiteral("%1 Mbps is outside the rates of the %2 (%3 Mbps)")
                   .arg(QString::number(mbps, 'g', 12), model.name(),
                        spans.join(QStringLiteral(", ")));
    return false;
}

QString pulseWidthToolTip(double mbps, int decimals)
{
    return QString::asprintf(
        decimals == 1 ? "Pulse Width= # * %0.1fnS" : "Pulse Width= # * %0.3fnS", 1000.0 / mbps);
}

} // namespace bert
