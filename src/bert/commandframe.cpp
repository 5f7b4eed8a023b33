#include "bert/commandframe.h"

#include "bert/protocol.h"

void frameCommand(QString &buffer, char side)
{
    if (side == 'B') {
        int at = buffer.indexOf(QLatin1Char(' '));
        if (at < 0)
            at = buffer.size();
        buffer.insert(at, QLatin1String(proto::SideBLetter));
    }
    buffer.append(QLatin1String(proto::LineEnd));
}
