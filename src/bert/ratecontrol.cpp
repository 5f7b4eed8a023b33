#include "bert/ratecontrol.h"

#include "link/protocol.h"

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

QString setRateCommand(int code, double mbps)
{
    const double scale = modelRow(code).setRateScale;
    if (scale == 0)
        return QString();
    return QString::asprintf(proto::SetRate, mbps * scale);
}

QString pulseWidthToolTip(double mbps, int decimals)
{
    return QString::asprintf(
        decimals == 1 ? "Pulse Width= # * %0.1fnS" : "Pulse Width= # * %0.3fnS", 1000.0 / mbps);
}

} // namespace bert
