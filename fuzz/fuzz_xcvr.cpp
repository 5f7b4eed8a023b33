// Transceiver replies: register read-backs, the single-read rule and the
// verify decision, for any bytes and both transceiver kinds.
#include "xcvr/xcvrlogic.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const QString text = xcvr::replyText(bytes);
    xcvr::lastSix(text);
    xcvr::hexValue(text);
    xcvr::isHexByte(text);
    for (xcvr::Kind kind : {xcvr::Kind::Sfp, xcvr::Kind::Xfp, xcvr::Kind::None}) {
        xcvr::ReadBack readBack;
        xcvr::parseReadBack(kind, bytes, &readBack);
        xcvr::ClearPlan plan;
        plan.kind = kind;
        plan.pageText = QStringLiteral("A2");
        plan.data = size > 1 ? QString::fromLatin1(reinterpret_cast<const char *>(data), 2)
                             : QStringLiteral("00");
        QString line;
        const int reg = size ? data[0] : 0x80;
        for (int retries : {0, 11, 12})
            xcvr::verify(plan, bytes, reg, retries, retries, &line);
        xcvr::clearStep(plan, int(size), reg);
    }
    return 0;
}
