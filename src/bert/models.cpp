#include "bert/models.h"

#include "bert/protocol.h"

#include <algorithm>

namespace bert {
namespace {

// The rate ranges of the multi-range models (kbit/s). The second range tops
// out at 3625000 although its item reads 3.325G; a reported rate picks it up
// to 3325000000 bit/s.
QVector<RateRange> multiRanges(int count)
{
    const QVector<RateRange> all = {
        {QStringLiteral("1.244 - 1.813G"), {1244160, 1250000, 1485000, 1813000}, 1813000000LL},
        {QStringLiteral("2.488 - 3.325G"),
         {2488320, 2500000, 2666057, 2970000, 3125000, 3625000},
         3325000000LL},
        {QStringLiteral("4.975 - 7.250G"),
         {4975000, 5000000, 5940000, 6250000, 7250000},
         7250000000LL},
        {QStringLiteral("9.950 - 14.50G"),
         {9953280,  10000000, 10079800, 10312500, 10443590, 10446490, 10518750,
          10664228, 10692000, 10709200, 10754600, 11049000, 11095700, 11145840,
          11270000, 11317600, 11880000, 12000000, 14025000, 14062500, 14500000},
         14500000000LL},
        {QStringLiteral("19.90 - 29.00G"),
         {19900000, 20000000, 24000000, 24883200, 25781252, 27952490, 28050000, 29000000},
         0},
    };
    return all.mid(0, count);
}

Model none()
{
    // No model recognised yet: the window keeps the form's settings; the
    // letters are those of the pattern list shown, so no NUL letter is sent.
    Model m;
    m.code = 0;
    m.names = {" "}; // never searched
    m.letters = "327KJRSLC";
    return m;
}

Model nanoT(int code, const QByteArray &name, int ranges)
{
    Model m;
    m.code = code;
    m.names = {name};
    m.configures = true;
    m.list = PatternList::T;
    m.letters = "68325197L";
    m.replyLength = proto::RecordLengthLong;
    m.ranges = multiRanges(ranges);
    m.firstRange = 3; // the 10 Gbit/s range
    m.recordRateFactor = 10;
    m.recordHasEye = true;
    m.setRateScale = 1000.0; // kbit/s
    m.logWords = QStringLiteral("Corvane NanoT Log file ");
    m.transceiver = Transceiver::Sfp;
    m.tunable = true;
    return m;
}

Model span()
{
    Model m;
    m.code = 500130;
    m.names = {"Corvane Nano Span"};
    m.configures = true;
    m.list = PatternList::Span;
    m.letters = "32517KDLC";
    m.replyLength = proto::RecordLengthShort;
    m.rates = {6312,  8000,  8448,  10000, 12500, 16000, 32064, 34368,  43000,
               44736, 48960, 50112, 51840, 52000, 53000, 97728, 100000, 125000};
    m.rxUnits = QStringLiteral("Mbps");
    m.rxPointSize = 22;
    m.customMask = QStringLiteral("00");
    m.customText = QStringLiteral("01");
    m.customToolTip = QStringLiteral("Duty Cycle (%)");
    m.transceiverControls = false;
    m.txSource = TxSource::Flag;
    m.rxShowsRate = true;
    m.setRateScale = 1000000.0; // bit/s
    m.customIsDutyCycle = true;
    m.pulseWidthHint = true;
    return m;
}

Model tera()
{
    Model m;
    m.code = 500120;
    m.names = {"Corvane Tera", "Corvane Nano Tera"};
    m.configures = true;
    m.list = PatternList::NanoTera;
    m.letters = "37DLC";
    m.replyLength = proto::RecordLengthShort;
    m.rates = {9953280, 10312500, 10518800, 10709200, 11049000, 11095700, 11270000, 11317600};
    m.customMask = QStringLiteral("HHHHHHHHHHHHHHHH");
    m.customText = QStringLiteral("AAAAAAAAAAAAAAAA");
    m.customToolTip = QStringLiteral("Custom pattern (16 hex characters)");
    m.recordRateFactor = 10;
    m.setRateScale = 100000.0; // tens of bit/s
    m.logWords = QStringLiteral("Corvane Nano Tera Log file ");
    m.transceiver = Transceiver::Xfp;
    m.tunable = true;
    return m;
}

Model nano()
{
    Model m;
    m.code = 500110;
    m.names = {"Corvane Nano"};
    m.configures = true;
    m.list = PatternList::Nano;
    m.letters = "327KJRSLC";
    m.replyLength = proto::RecordLengthShort;
    m.rates = {125000,  155520,  200000,  622080,  1062500, 1250000,
               2125000, 2488320, 2500000, 2666080, 4250000};
    m.customMask = QStringLiteral("HHHHHHHHHH");
    m.customText = QStringLiteral("AAAAAAAAAA");
    m.customToolTip = QStringLiteral("Custom pattern (10 hex characters)");
    m.setRateScale = 1000000.0; // bit/s
    m.logWords = QStringLiteral("Corvane Nano Log file ");
    m.transceiver = Transceiver::Sfp;
    m.tunable = true;
    return m;
}

} // namespace

void RateTable::load(const QVector<qint32> &rates)
{
    const int n = std::min(int(rates.size()), Capacity);
    for (int i = 0; i < n; ++i)
        entry[size_t(i) + 1] = rates[i];
    count = n;
}

const QVector<Model> &models()
{
    // The order is the search order of the names (see the header).
    static const QVector<Model> rows = {
        none(),
        nanoT(50077041, "Corvane NanoTa", 4),
        nanoT(50077063, "Corvane NanoTb", 5),
        span(),
        tera(),
        nano(),
    };
    return rows;
}

const Model &noModel()
{
    return models().first();
}

const Model &modelByCode(int code)
{
    for (const Model &m : models()) {
        if (m.code == code)
            return m;
    }
    return noModel();
}

NameMatch matchName(const QByteArray &text)
{
    NameMatch match;
    int row = 0;
    for (const Model &m : models()) {
        if (&m == &noModel())
            continue;
        for (const QByteArray &name : m.names) {
            ++row;
            const int at = text.indexOf(name);
            if (at >= 0)
                return {&m, row, at, name};
        }
    }
    return match;
}

void applyLetters(const Model &model, PatternLetters &letters)
{
    // The letters are listed from the top of the slider down to position 0.
    for (int i = 0, pos = model.sliderMax(); pos >= 0; ++i, --pos)
        letters[size_t(pos)] = model.letters[i];
}

bool loadRange(const Model &model, int index, RateTable &table)
{
    if (index < 0 || index >= model.ranges.size())
        return false;
    table.load(model.ranges[index].rates);
    return true;
}

int rangeForRate(const Model &model, qint64 rateBps)
{
    const int n = model.ranges.size();
    for (int i = 0; i + 1 < n; ++i) {
        if (rateBps <= model.ranges[i].topBps)
            return i;
    }
    return std::max(0, n - 1);
}

double rateFieldStep(const RateTable &table)
{
    return table.last() > 200000 ? 1.0 : 0.1;
}

QVector<QPair<qint32, qint32>> rateSpans(const Model &model)
{
    QVector<QPair<qint32, qint32>> spans;
    if (!model.rates.isEmpty())
        spans.append({model.rates.first(), model.rates.last()});
    for (const RateRange &r : model.ranges)
        spans.append({r.rates.first(), r.rates.last()});
    return spans;
}

qint64 topRateBps(const Model &model)
{
    qint64 top = 0;
    for (const auto &span : rateSpans(model))
        top = std::max(top, qint64(span.second) * 1000);
    return top;
}

} // namespace bert
