// The simulated instrument's command parser: any bytes, fed in pieces at
// increasing times, must give replies and never crash or grow without bound.
#include "simengine.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QList<QByteArray> models = sim::Engine::modelNames();
    if (size < 1)
        return 0;
    sim::Engine engine(models[data[0] % models.size()], 7);
    qint64 now = 0;
    size_t at = 1;
    while (at < size) {
        // The first byte of each piece says how long it is.
        const size_t n = qMin<size_t>(size - at, data[at] % 64 + 1);
        const QByteArray piece(reinterpret_cast<const char *>(data + at), int(n));
        now += data[at] % 50;
        for (const sim::Reply &r : engine.receive(piece, now)) {
            if (r.dueMs < now)
                __builtin_trap();
        }
        at += n;
    }
    return 0;
}
