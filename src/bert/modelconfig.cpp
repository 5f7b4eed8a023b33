#include "bert/modelconfig.h"

#include "link/protocol.h"
#include "link/unitmodels.h"

#include <algorithm>

namespace bert {
namespace {
const qint32 ListA[] = {125000,  155520,  200000,  622080,  1062500, 1250000,
                        2125000, 2488320, 2500000, 2666080, 4250000};
const qint32 ListB[] = {9953280,  10312500, 10518800, 10709200,
                        11049000, 11095700, 11270000, 11317600};
const qint32 ListC[] = {6312,  8000,  8448,  10000, 12500, 16000, 32064, 34368,  43000,
                        44736, 48960, 50112, 51840, 52000, 53000, 97728, 100000, 125000};

const qint32 Range0[] = {1244160, 1250000, 1485000, 1813000};
const qint32 Range1[] = {2488320, 2500000, 2666057, 2970000, 3125000, 3625000};
const qint32 Range2[] = {4975000, 5000000, 5940000, 6250000, 7250000};
const qint32 Range3[] = {9953280,  10000000, 10079800, 10312500, 10443590, 10446490, 10518750,
                         10664228, 10692000, 10709200, 10754600, 11049000, 11095700, 11145840,
                         11270000, 11317600, 11880000, 12000000, 14025000, 14062500, 14500000};
const qint32 Range4[] = {19900000, 20000000, 24000000, 24883200,
                         25781252, 27952490, 28050000, 29000000};

struct Range {
    const char *text;
    const qint32 *rates;
    int count;
    qint64 topBps; // inclusive upper bound used to pick the range from a rate
};
const Range Ranges[MaxRanges] = {
    {"1.244 - 1.813G", Range0, 4, 1813000000LL},
    {"2.488 - 3.325G", Range1, 6, 3325000000LL},
    {"4.975 - 7.250G", Range2, 5, 7250000000LL},
    {"9.950 - 14.50G", Range3, 21, 14500000000LL},
    {"19.90 - 29.00G", Range4, 8, 0},
};

constexpr int Short = proto::RecordLengthShort;
constexpr int Long = proto::RecordLengthLong;

// clang-format off
const ModelRow Rows[] = {
    // No model recognised yet: the window keeps the form's settings; the letters
    // are those of the pattern list shown (so no NUL letter can be sent).
    {0, false, PatternList::Nano, 8, 0, nullptr, 0, 0, "327KJRSLC", "dBm", 32,
     nullptr, nullptr, nullptr, true,
     1, false, TxSource::Power, false,
     0, false, false,
     "",
     Transceiver::None, false},
    {unit::Nano, true, PatternList::Nano, 8, Short, ListA, 11, 0, "327KJRSLC", "dBm", 32,
     "HHHHHHHHHH", "AAAAAAAAAA", "Custom pattern (10 hex characters)", true,
     1, false, TxSource::Power, false,
     1000000.0, false, false,
     "Corvane Nano Log file ",
     Transceiver::Sfp, true},
    {unit::Tera, true, PatternList::NanoTera, 4, Short, ListB, 8, 0, "37DLC", "dBm", 32,
     "HHHHHHHHHHHHHHHH", "AAAAAAAAAAAAAAAA", "Custom pattern (16 hex characters)", true,
     10, false, TxSource::Power, false,
     100000.0, false, false,
     "Corvane Nano Tera Log file ",
     Transceiver::Xfp, true},
    {unit::Span, true, PatternList::Span, 8, Short, ListC, 18, 0, "32517KDLC", "Mbps", 22,
     "00", "01", "Duty Cycle (%)", false,
     1, false, TxSource::Flag, true,
     1000000.0, true, true,
     "",
     Transceiver::None, false},
    {unit::NanoTa, true, PatternList::T, 8, Long, nullptr, 0, 4, "68325197L", "dBm", 32,
     nullptr, nullptr, nullptr, true,
     10, true, TxSource::Power, false,
     1000.0, false, false,
     "Corvane NanoT Log file ",
     Transceiver::Sfp, true},
    {unit::NanoTb, true, PatternList::T, 8, Long, nullptr, 0, 5, "68325197L", "dBm", 32,
     nullptr, nullptr, nullptr, true,
     10, true, TxSource::Power, false,
     1000.0, false, false,
     "Corvane NanoT Log file ",
     Transceiver::Sfp, true},
};
// clang-format on
} // namespace

void RateTable::load(const qint32 *rates, int n)
{
    n = std::min(n, Capacity);
    for (int i = 0; i < n; ++i)
        entry[i + 1] = rates[i];
    count = n;
}

const ModelRow &modelRow(int code)
{
    for (const ModelRow &row : Rows) {
        if (row.code == code)
            return row;
    }
    return Rows[0];
}

void applyLetters(const ModelRow &row, PatternLetters &letters)
{
    // The letters are listed from the top of the slider down to position 0.
    for (int i = 0, pos = row.sliderMax; pos >= 0; ++i, --pos)
        letters[size_t(pos)] = row.letters[i];
}

const char *rangeItemText(int index)
{
    return index >= 0 && index < MaxRanges ? Ranges[index].text : "";
}

bool loadRange(int index, RateTable &table)
{
    if (index < 0 || index >= MaxRanges)
        return false;
    table.load(Ranges[index].rates, Ranges[index].count);
    return true;
}

int rangeForRate(qint64 rateBps)
{
    for (int i = 0; i < MaxRanges - 1; ++i) {
        if (rateBps <= Ranges[i].topBps)
            return i;
    }
    return MaxRanges - 1;
}

double rateFieldStep(const RateTable &table)
{
    return table.last() > 200000 ? 1.0 : 0.1;
}

} // namespace bert
