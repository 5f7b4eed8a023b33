// Measurement records as they come off the line: any bytes, in any chunks,
// for every model, through the cycle's reader (decoding, the resynchronisation
// after a broken reply, the plausibility rules) and every read-out text.
#include "bert/measurementrecord.h"
#include "bert/models.h"
#include "bert/recordreader.h"
#include "bert/testlog.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte picks the model; the rest is cut into chunks, each
    // chunk's length taken from the byte that starts it.
    const bert::Model &model = bert::models()[int(data[0] % bert::models().size())];
    bert::RecordReader reader;
    size_t at = 1;
    while (at < size) {
        const size_t n = std::min<size_t>(size - at - 1 + 1, size_t(data[at] % 40));
        const QByteArray chunk(reinterpret_cast<const char *>(data + at + 1),
                               int(std::min(n, size - at - 1)));
        at += 1 + size_t(chunk.size());
        const bool wasResyncing = reader.resyncing();
        bert::Measurement m;
        if (reader.take(chunk, model, &m) != bert::RecordReader::Outcome::Record)
            continue;
        // A record only from a quiet line, of the model's length, that can be true.
        if (wasResyncing || chunk.size() != model.replyLength || m.errors > m.bits)
            __builtin_trap();
        bert::readouts(model, m);
        bert::elapsedText(m.bits, double(m.rateBps) / 1e6);
        bert::eyeText(m.eyeWidth, m.eyeHeight);
        bert::prbsTitle(m.prbsInfo);
        bert::PatternLetters letters{};
        bert::applyLetters(model, letters);
        const int position = bert::patternPosition(letters, m.pattern, model.sliderMax());
        if (position < 0 || position > model.sliderMax())
            __builtin_trap();
        if (model.multiRange())
            bert::rangeForRate(model, m.rateBps);
        bert::logRow(QTime(12, 0), {m.rateBps, m.pattern, {}, {}, {}, {}, {}});
        bert::jsonRow(QDateTime(), model, m);
    }
    return 0;
}
