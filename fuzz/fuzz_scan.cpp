// Eye-scan replies: any bytes through the level raster (every shading), the
// sample raster and the CSV saved beside a picture. The first byte picks the
// gain and the views; the rest is the reply.
#include "eye/eyelevels.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray reply(reinterpret_cast<const char *>(data + 1), int(size - 1));
    eye::Shading shading;
    shading.gain = data[0] % 100 + 1;
    shading.derivative = data[0] & 0x80;
    shading.blackWhite = data[0] & 0x40;
    shading.invert = data[0] & 0x20;
    eye::levels(reply, shading);
    const eye::Samples samples = eye::samples(reply);
    for (qint16 s : samples) {
        if (s < -1 || s > 255)
            __builtin_trap();
    }
    const QString text = QString::fromLatin1(reply.left(40));
    eye::verticalLine(text, text);
    eye::horizontalLine(data[0] * 100.0, text);
    eye::scanCsv(reply, {data[0] * 100.0, text, text, QDateTime(QDate(2026, 12, 6), QTime(9, 0))});
    return 0;
}
