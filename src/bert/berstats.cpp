#include "bert/berstats.h"

#include <cmath>
#include <limits>

namespace stats {

namespace {

constexpr int MaxIterations = 100000;
constexpr double Epsilon = 1e-15;
constexpr double Tiny = 1e-300;
// Above this shape the gamma function is taken from the Wilson-Hilferty
// approximation (error far below 1e-6 there); below it, from its series or
// continued fraction, which need about sqrt(a) steps near x = a.
constexpr double ExactUpTo = 1e5;

// log(x^a e^-x / Gamma(a)): the common factor of the series and the fraction.
double logFactor(double a, double x)
{
    return a * std::log(x) - x - std::lgamma(a);
}

// Regularized lower incomplete gamma function P(a, x) for a >= 1, x >= 0.
double gammaP(double a, double x)
{
    if (x <= 0)
        return 0.0;
    if (std::isinf(x))
        return 1.0;
    if (a == 1.0)
        return -std::expm1(-x);
    if (a > ExactUpTo) {
        const double z = (std::cbrt(x / a) - 1.0 + 1.0 / (9.0 * a)) * 3.0 * std::sqrt(a);
        return 0.5 * std::erfc(-z / std::sqrt(2.0));
    }
    if (x < a + 1.0) {
        // Series: P = x^a e^-x / Gamma(a) * sum x^n / (a (a+1) ... (a+n)).
        double term = 1.0 / a;
        double sum = term;
        for (int n = 1; n < MaxIterations; ++n) {
            term *= x / (a + n);
            sum += term;
            if (term < sum * Epsilon)
                break;
        }
        return std::min(1.0, sum * std::exp(logFactor(a, x)));
    }
    // Continued fraction for Q = 1 - P (modified Lentz).
    double b = x + 1.0 - a;
    double c = 1.0 / Tiny;
    double d = 1.0 / b;
    double h = d;
    for (int i = 1; i < MaxIterations; ++i) {
        const double an = -i * (i - a);
        b += 2.0;
        d = an * d + b;
        if (std::fabs(d) < Tiny)
            d = Tiny;
        c = b + an / c;
        if (std::fabs(c) < Tiny)
            c = Tiny;
        d = 1.0 / d;
        const double step = d * c;
        h *= step;
        if (std::fabs(step - 1.0) < Epsilon)
            break;
    }
    return std::max(0.0, 1.0 - std::exp(logFactor(a, x)) * h);
}

// The x with P(a, x) = p: a Newton step where it stays inside the bracket,
// otherwise bisection.
double gammaPInverse(double a, double p)
{
    if (a == 1.0)
        return -std::log1p(-p);
    double lo = 0.0;
    double hi = a + 10.0 * std::sqrt(a) + 10.0;
    while (gammaP(a, hi) < p && hi < 1e300)
        hi *= 2.0;
    double x = a;
    for (int i = 0; i < 200; ++i) {
        const double f = gammaP(a, x) - p;
        if (f < 0)
            lo = x;
        else
            hi = x;
        const double slope = std::exp((a - 1.0) * std::log(x) - x - std::lgamma(a));
        double next = x - f / slope;
        if (!(next > lo && next < hi))
            next = 0.5 * (lo + hi);
        if (std::fabs(next - x) <= 1e-13 * x)
            return next;
        x = next;
    }
    return x;
}

double errorsShape(double errors)
{
    return std::floor(std::max(0.0, errors)) + 1.0;
}

} // namespace

double confidenceLevel(double bits, double errors, double targetBer)
{
    if (!(bits > 0) || !(targetBer > 0))
        return 0.0;
    return gammaP(errorsShape(errors), bits * targetBer);
}

double bitsForConfidence(double errors, double targetBer, double confidence)
{
    if (!(targetBer > 0) || !(confidence > 0))
        return 0.0;
    confidence = std::min(confidence, 1.0 - 1e-15);
    return gammaPInverse(errorsShape(errors), confidence) / targetBer;
}

double berBound(double bits, double errors, double confidence)
{
    if (!(bits > 0))
        return std::numeric_limits<double>::infinity();
    return bitsForConfidence(errors, 1.0, confidence) / bits;
}

QString durationText(double seconds)
{
    if (!(seconds > 0))
        seconds = 0;
    const double whole = std::floor(seconds);
    const double days = std::floor(whole / 86400.0);
    const int rest = int(whole - days * 86400.0);
    return QString::asprintf("%.0fd %02d:%02d:%02d", days, rest / 3600, rest / 60 % 60, rest % 60);
}

QString berChoiceText(double ber)
{
    const double decade = std::round(std::log10(ber));
    if (ber > 0 && std::fabs(ber / std::pow(10.0, decade) - 1.0) < 1e-9)
        return QString::asprintf("1e%d", int(decade));
    return QString::asprintf("%.0e", ber);
}

QString confidenceText(double confidence)
{
    // Truncated, so that "95.00 %" is never shown while 95 % is not yet reached.
    if (confidence > 0.9999)
        return QStringLiteral("> 99.99 %");
    const double hundredths = std::floor(confidence * 10000.0);
    return QString::asprintf("%.2f %%", std::max(0.0, hundredths) / 100.0);
}

// ---------------------------------------------------------------------------

BerHistory::BerHistory(int capacity, qint64 firstWidthMs)
    : m_capacity(qMax(2, capacity)), m_firstWidth(qMax<qint64>(1, firstWidthMs)),
      m_width(m_firstWidth)
{
    m_buckets.reserve(size_t(m_capacity) + 1);
}

void BerHistory::clear()
{
    m_buckets.clear();
    m_width = m_firstWidth;
    m_first = m_last = m_errorChange = Record();
}

bool BerHistory::append(qint64 tMs, double bits, double errors)
{
    bool restarted = false;
    if (!isEmpty()) {
        if (bits < m_last.bits || errors < m_last.errors) {
            clear();
            restarted = true;
        } else {
            tMs = qMax(tMs, m_last.tMs);
        }
    }
    const Record r{tMs, bits, errors};
    if (isEmpty()) {
        m_first = m_errorChange = r;
    } else if (errors != m_last.errors) {
        m_errorChange = r;
    }
    m_last = r;

    const qint64 index = (tMs - m_first.tMs) / m_width;
    if (!isEmpty() && m_buckets.back().index == index) {
        Bucket &b = m_buckets.back();
        // Ties: the lowest keeps the latest record, the highest the earliest,
        // so an error-free bucket spans its whole time.
        const double ber = r.ber();
        if (ber <= b.low.ber())
            b.low = r;
        if (ber > b.high.ber())
            b.high = r;
        return restarted;
    }
    m_buckets.push_back(Bucket{index, r, r});
    if (int(m_buckets.size()) > m_capacity)
        coarsen();
    return restarted;
}

void BerHistory::coarsen()
{
    while (int(m_buckets.size()) > m_capacity) {
        m_width *= 2;
        size_t out = 0;
        for (size_t i = 0; i < m_buckets.size(); ++i) {
            Bucket b = m_buckets[i];
            b.index /= 2;
            if (out > 0 && m_buckets[out - 1].index == b.index) {
                Bucket &into = m_buckets[out - 1];
                if (b.low.ber() <= into.low.ber())
                    into.low = b.low;
                if (b.high.ber() > into.high.ber())
                    into.high = b.high;
            } else {
                m_buckets[out++] = b;
            }
        }
        m_buckets.resize(out);
    }
}

namespace {
bool same(const Record &a, const Record &b)
{
    return a.tMs == b.tMs && a.bits == b.bits && a.errors == b.errors;
}
} // namespace

QVector<Record> BerHistory::points() const
{
    QVector<Record> out;
    out.reserve(int(m_buckets.size()) * 2 + 1);
    for (const Bucket &b : m_buckets) {
        const bool lowFirst = b.low.tMs <= b.high.tMs;
        const Record &a = lowFirst ? b.low : b.high;
        const Record &c = lowFirst ? b.high : b.low;
        out.append(a);
        if (!same(a, c))
            out.append(c);
    }
    if (!isEmpty() && !same(out.last(), m_last))
        out.append(m_last);
    return out;
}

QByteArray historyCsv(const BerHistory &history)
{
    QByteArray csv("Time (s),Bits,Errors,BER\r\n");
    const QVector<Record> points = history.points();
    csv.reserve(csv.size() + points.size() * 48);
    for (const Record &r : points)
        csv += QString::asprintf("%.1f,%.0f,%.0f,%.3e\r\n",
                                 double(r.tMs - history.first().tMs) / 1000.0, r.bits, r.errors,
                                 r.ber())
                   .toLatin1();
    return csv;
}

} // namespace stats
