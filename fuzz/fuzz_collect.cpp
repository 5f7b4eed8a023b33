// A request's reply as it arrives in chunks, for any step: the collector must
// take it when its count or terminator is reached (at once, or one look later
// for a step that looks at intervals), or at its time-out, and never hold
// more than what arrived.
#include "device/replycollector.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 4)
        return 0;
    device::Step step;
    step.count = data[0] % 8 == 0 ? 0 : int(data[0]) * 17;
    step.terminator = data[1] % 3 == 0 ? QByteArray() : QByteArray(1, char(data[1]));
    step.lookEveryMs = data[2] % 2 ? 0 : 1 + data[2] % 50;
    step.timeoutMs = int(data[3]) * 20;
    device::ReplyCollector c;
    c.start(step);
    int total = 0;
    bool taken = false;
    bool completeAtLastLook = false;
    for (size_t at = 4; at < size && !taken;) {
        const size_t n = std::min<size_t>(size - at, 1 + data[at] % 64);
        c.add(QByteArray(reinterpret_cast<const char *>(data + at), int(n)));
        total += int(n);
        at += n;
        if (c.bytes().size() != total)
            __builtin_trap();
        if (step.lookEveryMs > 0) {
            taken = c.look();
            // Seen complete at the last look: taken at this one.
            if (completeAtLastLook && !taken)
                __builtin_trap();
            completeAtLastLook = c.complete();
        } else {
            taken = c.complete();
        }
    }
    if (taken && c.how() == device::Ended::TimedOut && c.complete())
        __builtin_trap();
    return 0;
}
