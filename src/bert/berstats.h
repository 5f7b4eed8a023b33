// Statistics of a bit-error-rate measurement: how confident one can be that
// the true BER lies below a target, how many more bits that takes, and a
// history of the instrument's counters that stays small however long the run.
//
// Errors are taken to arrive as a Poisson process: after N bits with E errors
// the confidence that the BER is below a target p is
//     CL = 1 - sum_{k=0..E} (N p)^k e^(-N p) / k!
// which is the regularized lower incomplete gamma function P(E + 1, N p).
#pragma once
#include <QString>
#include <QVector>
#include <QtGlobal>
#include <vector>

namespace stats {

// Confidence (0..1) that the true BER is below targetBer after `bits` bits
// with `errors` errors. 0 without bits; finite for any counts (N = 1e16 and
// E = 1e6 included). Fractional error counts are rounded down.
double confidenceLevel(double bits, double errors, double targetBer);

// Bits needed for `confidence` (0..1) that the BER is below targetBer with
// `errors` errors: the N that solves confidenceLevel(N, errors, targetBer) =
// confidence. With 0, 1 and 2 errors and 95 %: 2.996, 4.744 and 6.296 / targetBer.
double bitsForConfidence(double errors, double targetBer, double confidence);

// The highest BER that the counts leave at `confidence`: the BER below which
// the true one lies with that confidence (infinity without bits).
double berBound(double bits, double errors, double confidence);

// "0d 00:04:51" for a duration in seconds (rounded down to whole seconds).
QString durationText(double seconds);
// "1e-12" for a power of ten, else printf's "%.0e".
QString berChoiceText(double ber);
// "63.21 %", truncated (never more than reached), or "> 99.99 %".
QString confidenceText(double confidence);

// One record of the instrument's counters and the moment it arrived.
struct Record {
    qint64 tMs = 0;
    double bits = 0;
    double errors = 0;
    double ber() const { return bits > 0 ? errors / bits : 0.0; }
};

// The counters of a run over time, in bounded memory. Records fall into time
// buckets (at first one per firstWidthMs); each bucket keeps just two of its
// records: the one with the lowest and the one with the highest BER, so a
// burst of errors stays visible however coarse the buckets become. When more
// than `capacity` buckets are in use the bucket width doubles and neighbours
// merge. An append costs O(1) (the merges, O(capacity), come each time the run
// doubles in length).
class BerHistory
{
public:
    explicit BerHistory(int capacity = 1024, qint64 firstWidthMs = 100);

    // Adds a record that arrived at tMs (any clock in milliseconds; a time
    // before the last one counts as the last one). Counters below the last
    // record's mean the instrument counts afresh: the history starts again
    // with this record, and true is returned.
    bool append(qint64 tMs, double bits, double errors);
    void clear();

    bool isEmpty() const { return m_buckets.empty(); }
    const Record &first() const { return m_first; }
    const Record &last() const { return m_last; }
    // The record at which the error count last changed (the first record when
    // it never did): the start of the error-free stretch that runs until last().
    const Record &lastErrorChange() const { return m_errorChange; }

    qint64 bucketWidthMs() const { return m_width; }
    int bucketsInUse() const { return int(m_buckets.size()); }
    int capacity() const { return m_capacity; }

    // The kept records in time order, ending with the last record.
    QVector<Record> points() const;

private:
    struct Bucket {
        qint64 index; // (tMs - first().tMs) / bucket width
        Record low, high;
    };
    void coarsen();

    int m_capacity;
    qint64 m_firstWidth;
    qint64 m_width;
    std::vector<Bucket> m_buckets;
    Record m_first, m_last, m_errorChange;
};

// The history as a CSV text: a header line, then "seconds since the first
// record, bits, errors, BER" per kept record, lines ended by CR LF.
QByteArray historyCsv(const BerHistory &history);

} // namespace stats
