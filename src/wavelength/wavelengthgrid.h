// The 50 GHz grid of the wavelength dialog: channels, wavelengths and the
// dial ranges, as plain arithmetic on the dials' integer values.
//
// A channel is a frequency in steps of 0.05 THz (channel 3868 is 193.40 THz);
// a wavelength-dial value is a wavelength in hundredths of a nanometre
// (155012 is 1550.12 nm). "Rounded" below means to the nearest integer with
// halves up, "truncated" means the fraction is dropped; every value here is
// positive.
#pragma once
#include <QString>

namespace wavelength {

// Speed of light in nanometres per second: THz = c / (nm x 10^12).
inline constexpr double LightSpeedNmPerS = 2.99792458e17;

// Read-outs outside this span (or not numbers) open the dialog at FallbackNm.
inline constexpr double LowestNm = 1300.0;
inline constexpr double HighestNm = 1650.0;
inline constexpr double FallbackNm = 1550.0;
// The dials reach this far either side of the wavelength the dialog opened at.
inline constexpr double SpanNm = 100.0;

// The wavelength a dialog opens at, from the main window's read-out
// ("1550.12 nm"): the text without its last three characters (the unit),
// read as a number in the C locale; FallbackNm when that is not a finite
// number from LowestNm to HighestNm. Pure: any text gives a wavelength.
double openingWavelength(const QString &readout);

// "193.40THz, 1550.12nm": the frequency rounded to 0.01 THz and the wavelength.
QString currentSettingsText(double nm);

struct DialRanges {
    int wavelengthMin; // hundredths of a nm
    int wavelengthMax;
    int channelMin;
    int channelMax;
};
// The dials' ranges: +/- SpanNm around nm.
DialRanges dialRanges(double nm);

// The wavelength dial's value for a wavelength: hundredths of a nm, truncated.
int hundredths(double nm);

// The grid channel at or below the frequency of a wavelength-dial value
// (frequency rounded to 0.01 THz first).
int channelOf(int hundredthsNm);
// A channel's wavelength in hundredths of a nm, rounded.
int wavelengthOf(int channel);

QString frequencyText(int channel);                  // "193.40" (THz)
QString wavelengthText(int hundredthsNm);            // "1550.12" (nm)

} // namespace wavelength
