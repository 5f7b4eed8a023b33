// Per-model configuration tables: rate lists, the multi-range tables, pattern
// letters behind the slider positions, and the custom-field settings.
#pragma once
#include <QString>
#include <array>

namespace bert {

// Standard rates in kbit/s, numbered from 1 (entry 0 is never used).
struct RateTable {
    static constexpr int Capacity = 30;
    std::array<qint32, Capacity + 1> entry{};
    int count = 0; // number of the last valid entry

    qint32 first() const { return entry[1]; }
    qint32 last() const { return entry[count]; }
    void load(const qint32 *rates, int n);
};

enum class PatternList { Nano, NanoTera, Span, T };

// One letter per slider position 0..8 (position 8 is the top of the slider).
using PatternLetters = std::array<char, 9>;

struct ModelConfig {
    int code;
    PatternList list;
    int sliderMax;
    int replyLength;
    const qint32 *rates; // single-range models; null for the multi-range ones
    int rateCount;
    const char *letters; // top (position sliderMax) down to position 0
    const char *rxUnits;
    // Custom field; null mask means "unchanged, field hidden".
    const char *customMask;
    const char *customText;
    const char *customToolTip;
    bool transceiverControls; // wavelength, temperature and utilities shown
};

// Configuration of a recognised model, or null for 0 and unknown codes.
const ModelConfig *modelConfig(int code);

// Writes the model's letters into the positions it defines (positions above its
// slider maximum are left as they were).
void applyLetters(const ModelConfig &config, PatternLetters &letters);

// The rate ranges of the multi-range models.
inline constexpr int RangeCountNanoTa = 4;
inline constexpr int RangeCountNanoTb = 5;
const char *rangeItemText(int index);
// Loads range index into the table; false (table untouched) for other indices.
bool loadRange(int index, RateTable &table);
// The range whose span holds a rate in bit/s (each bound inclusive).
int rangeForRate(qint64 rateBps);

// The rate field's step: 1 Mbit/s, or 0.1 for a table that tops out at 200000 kbit/s or less.
double rateFieldStep(const RateTable &table);

} // namespace bert
