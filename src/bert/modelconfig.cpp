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
const Range Ranges[] = {
    {"1.244 - 1.813G", Range0, 4, 1813000000LL},
    {"2.488 - 3.325G", Range1, 6, 3325000000LL},
    {"4.975 - 7.250G", Range2, 5, 7250000000LL},
    {"9.950 - 14.50G", Range3, 21, 14500000000LL},
    {"19.90 - 29.00G", Range4, 8, 0},
};

const ModelConfig Configs[] = {
    {unit::Nano, PatternList::Nano, 8, proto::RecordLengthShort, ListA, 11, "327KJRSLC", "dBm",
     "HHHHHHHHHH", "AAAAAAAAAA", "Custom pattern (10 hex characters)", true},
    {unit::Tera, PatternList::NanoTera, 4, proto::RecordLengthShort, ListB, 8, "37DLC", "dBm",
     "HHHHHHHHHHHHHHHH", "AAAAAAAAAAAAAAAA", "Custom pattern (16 hex characters)", true},
    {unit::Span, PatternList::Span, 8, proto::RecordLengthShort, ListC, 18, "32517KDLC", "Mbps",
     "00", "01", "Duty Cycle (%)", false},
    {unit::NanoTa, PatternList::T, 8, proto::RecordLengthLong, nullptr, 0, "68325197L", "dBm",
     nullptr, nullptr, nullptr, true},
    {unit::NanoTb, PatternList::T, 8, proto::RecordLengthLong, nullptr, 0, "68325197L", "dBm",
     nullptr, nullptr, nullptr, true},
};
} // namespace

void RateTable::load(const qint32 *rates, int n)
{
    n = std::min(n, Capacity);
    for (int i = 0; i < n; ++i)
        entry[i + 1] = rates[i];
    count = n;
}

const ModelConfig *modelConfig(int code)
{
    for (const ModelConfig &c : Configs) {
        if (c.code == code)
            return &c;
    }
    return nullptr;
}

void applyLetters(const ModelConfig &config, PatternLetters &letters)
{
    // The letters are listed from the top of the slider down to position 0.
    for (int i = 0, pos = config.sliderMax; pos >= 0; ++i, --pos)
        letters[pos] = config.letters[i];
}

const char *rangeItemText(int index)
{
    return index >= 0 && index < RangeCountNanoTb ? Ranges[index].text : "";
}

bool loadRange(int index, RateTable &table)
{
    if (index < 0 || index >= RangeCountNanoTb)
        return false;
    table.load(Ranges[index].rates, Ranges[index].count);
    return true;
}

int rangeForRate(qint64 rateBps)
{
    for (int i = 0; i < RangeCountNanoTb - 1; ++i) {
        if (rateBps <= Ranges[i].topBps)
            return i;
    }
    return RangeCountNanoTb - 1;
}

double rateFieldStep(const RateTable &table)
{
    return table.last() > 200000 ? 1.0 : 0.1;
}

} // namespace bert
