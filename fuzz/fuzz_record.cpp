// Measurement records as they come off the line: any bytes, for every model,
// through decoding and every read-out text.
#include "bert/measurementrecord.h"
#include "bert/models.h"
#include "bert/testlog.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    for (int code : {0, 500110, 500120, 500130, 50077041, 50077063}) {
        const bert::ModelRow &row = bert::modelRow(code);
        for (int length : {row.replyLength, 24, 27, int(size)}) {
            bert::Measurement m;
            if (!bert::decodeRecord(bytes, code, length, &m))
                continue;
            bert::rxPowerText(m.rxDbm);
            bert::txPowerText(m.txDbm);
            bert::wavelengthText(m.wavelengthNm);
            bert::temperatureText(m.temperatureC);
            bert::countText(m.bits);
            bert::elapsedText(m.bits, double(m.rateBps) / 1e6);
            bert::berText(bert::bitErrorRate(m.errors, m.bits));
            bert::eyeText(m.eyeWidth, m.eyeHeight);
            bert::prbsTitle(m.prbsInfo);
            bert::PatternLetters letters{};
            bert::applyLetters(row, letters);
            bert::patternPosition(letters, m.pattern, row.sliderMax);
            bert::rangeForRate(m.rateBps);
            bert::logRow(QTime(12, 0), {m.rateBps, m.pattern, {}, {}, {}, {}, {}});
        }
    }
    return 0;
}
