// Identification replies, as a port search or a re-identification reads them:
// the model search and the port list entry, for any bytes. No byte that is not
// printable may reach the entry (a window shows it).
#include "bert/identification.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const bert::Identification id = bert::identify(bytes);
    if (id.recognised() != (id.model != nullptr) || (id.recognised() && id.row < 1))
        __builtin_trap();
    for (char c : id.line)
        if (c < 0x20 || c == 0x7f)
            __builtin_trap();
    const QString entry = id.entryText(QStringLiteral("pts/3"));
    if (!entry.startsWith(QLatin1String("pts/3: ")))
        __builtin_trap();
    bert::titleOfEntry(entry);
    id.serialNumber();
    id.firmware();
    bert::textUpToNul(bytes);
    return 0;
}
