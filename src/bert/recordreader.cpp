#include "bert/recordreader.h"

namespace bert {

RecordReader::Outcome RecordReader::take(const QByteArray &arrived, const Model &model,
                                         Measurement *m)
{
    const int length = model.replyLength;
    const int available = arrived.size();
    const bool wasResyncing = m_resyncing;
    m_resyncing = wasResyncing ? available > 0 : available > 0 && available != length && length > 0;
    if (wasResyncing || available == 0)
        return Outcome::Nothing;
    if (available != length || !decodeRecord(arrived, model, m))
        return m_resyncing ? Outcome::Broken : Outcome::Nothing;
    if (!plausible(model, *m)) {
        m_resyncing = true;
        return Outcome::Broken;
    }
    return Outcome::Record;
}

} // namespace bert
