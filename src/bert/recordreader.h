// What the measurement cycle makes of the bytes that arrived since its last
// run: a record, nothing, or a broken reply. The rest of a broken reply (one
// of the wrong length) may still arrive and, joined with the head of the next
// reply, add up to a record's length; so after a broken reply nothing is taken
// as a record until a run finds the line quiet. A record that cannot be true
// (see plausible()) is as broken as a short one. Pure: any bytes, any chunks.
#pragma once
#include "bert/measurementrecord.h"
#include "bert/models.h"

#include <QByteArray>

namespace bert {

class RecordReader
{
public:
    enum class Outcome {
        Record,  // *m holds a valid record
        Nothing, // nothing arrived, or the reader waits for a quiet line
        Broken,  // a reply of the wrong length, or one that cannot be true
    };
    Outcome take(const QByteArray &arrived, const Model &model, Measurement *m);
    // True while the reader waits for a quiet line: the cycle asks for no
    // record meanwhile.
    bool resyncing() const { return m_resyncing; }
    void reset() { m_resyncing = false; }

private:
    bool m_resyncing = false;
};

} // namespace bert
