#include "wavelength/wavelengthgrid.h"

#include "bert/protocol.h"

#include <cmath>

namespace wavelength {
namespace {
constexpr double TeraHz = 1e12;

// Halves up: the values here are all positive, so away from zero is up.
double rounded(double x)
{
    return std::round(x);
}
} // namespace

double openingWavelength(const QString &readout)
{
    const QString w = readout.left(qMax(0, int(readout.size()) - 3));
    bool ok = false;
    const double nm = w.toDouble(&ok);
    // The negated test also turns away NaN, which compares false both ways.
    if (!ok || !(nm >= LowestNm && nm <= HighestNm))
        return FallbackNm;
    return nm;
}

QString currentSettingsText(double nm)
{
    const double thz = rounded(LightSpeedNmPerS / (nm * TeraHz) * 100) / 100;
    return QString::asprintf("%0.2fTHz, %0.2fnm", thz, nm);
}

int hundredths(double nm)
{
    // A read-out such as 1300.09 is 1300.0899999... in binary, and x 100 falls
    // just short of 130009; truncating that would open the dial a hundredth
    // low (and sometimes a channel off). The tolerance is far below the
    // read-out's precision, so real extra digits are still dropped.
    return int(std::floor(nm * 100 + 1e-6));
}

DialRanges dialRanges(double nm)
{
    DialRanges r;
    r.wavelengthMin = hundredths(nm - SpanNm);
    r.wavelengthMax = hundredths(nm + SpanNm);
    r.channelMin = int(LightSpeedNmPerS / ((nm + SpanNm) * TeraHz) * 20);
    r.channelMax = int(LightSpeedNmPerS / ((nm - SpanNm) * TeraHz) * 20);
    return r;
}

int channelOf(int hundredthsNm)
{
    // Frequency in hundredths of a THz, then down to the 0.05 THz step.
    const double n = rounded(LightSpeedNmPerS / (hundredthsNm * TeraHz / 100) * 100);
    return int(n / 5);
}

int wavelengthOf(int channel)
{
    return int(rounded(LightSpeedNmPerS / (channel * TeraHz / 20) * 100));
}

QString frequencyText(int channel)
{
    return QString::asprintf("%0.2f", channel / 20.0);
}

QString wavelengthText(int hundredthsNm)
{
    return QString::asprintf("%0.2f", hundredthsNm / 100.0);
}


} // namespace wavelength
