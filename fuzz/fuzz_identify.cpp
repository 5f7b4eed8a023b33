// Identification replies: the model search and the port list entry made from
// them, for any bytes.
#include "link/unitmodels.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const int row = unit::matchRow(bytes);
    if (row < 0 || row >= unit::ModelRows)
        __builtin_trap();
    unit::codeOfRow(row);
    unit::textUpToNul(bytes);
    const QString item = unit::itemTextFromReply(bytes, "pts/3");
    if (!item.startsWith(QLatin1String("pts/3: ")))
        __builtin_trap();
    return 0;
}
