#include "simengine.h"

#include <QString>

#include <cctype>
#include <cmath>
#include <cstring>

namespace sim {

namespace {

const ModelInfo kModels[] = {
    // name, unit code, record length, rate divisor, setrate unit, transceiver, tunable, default
    // rate
    {"Corvane NanoTa", 50077041, 27, 10, 1000, Transceiver::Sfp, true, Q_INT64_C(10312500000)},
    {"Corvane NanoTb", 50077063, 27, 10, 1000, Transceiver::Sfp, true, Q_INT64_C(10312500000)},
    {"Corvane Nano Span", 500130, 24, 1, 1, Transceiver::None, false, Q_INT64_C(44736000)},
    {"Corvane Tera", 500120, 24, 10, 10, Transceiver::Xfp, true, Q_INT64_C(10312500000)},
    {"Corvane Nano Tera", 500120, 24, 10, 10, Transceiver::Xfp, true, Q_INT64_C(10312500000)},
    {"Corvane Nano", 500110, 24, 1, 1, Transceiver::Sfp, true, Q_INT64_C(2488320000)},
};

const char *const kCommands[] = {"?",     "r",     "setrate", "setpat", "tx",
                                 "reset", "Scan",  "SFP",     "XFP",    "RdSFP",
                                 "WrSFP", "RdXFP", "WrXFP",   "test",   "SetWL"};

// Pattern letters the instrument accepts after "setpat".
const char kPatternLetters[] = "71523698CDJKLRS";
constexpr double kPi = 3.14159265358979323846;

bool isCommand(const QByteArray &word)
{
    for (const char *c : kCommands)
        if (word == c)
            return true;
    return false;
}

// One or two hexadecimal digits, 00..FF.
bool parseHexByte(const QByteArray &t, int *value)
{
    if (t.isEmpty() || t.size() > 2)
        return false;
    for (char ch : t)
        if (!std::isxdigit(static_cast<unsigned char>(ch)))
            return false;
    *value = t.toInt(nullptr, 16);
    return true;
}

QByteArray hex2(int v)
{
    return QByteArray::number(v & 0xFF, 16).rightJustified(2, '0');
}

QList<QByteArray> words(const QByteArray &text)
{
    QList<QByteArray> out;
    for (const QByteArray &w : text.split(' '))
        if (!w.isEmpty())
            out.append(w);
    return out;
}

void putText(QByteArray &b, int at, int width, const QByteArray &text)
{
    for (int i = 0; i < width; ++i)
        b[at + i] = i < text.size() ? text.at(i) : ' ';
}

void putChecksum(QByteArray &b, int from, int to, int at)
{
    int sum = 0;
    for (int i = from; i <= to; ++i)
        sum += static_cast<quint8>(b.at(i));
    b[at] = char(sum & 0xFF);
}

// Transceiver monitor words: power in units of 0.1 microwatt.
quint32 powerWord(double dBm)
{
    const double uW10 = std::pow(10.0, dBm / 10.0) * 10000.0;
    return quint32(qBound(0.0, std::round(uW10), 65535.0));
}

const char *patternName(char code)
{
    switch (code) {
    case '7': return "PRBS 2^7-1";
    case '9': return "PRBS 2^9-1";
    case '1': return "PRBS 2^11-1";
    case '5': return "PRBS 2^15-1";
    case '2': return "PRBS 2^23-1";
    case '3': return "PRBS 2^31-1";
    case '8': return "PRBS 2^58-1";
    case '6': return "PRBS 2^63-1";
    case 'C': return "Custom";
    case 'D': return "DCD";
    case 'J': return "CJTPAT";
    case 'K': return "K28.5";
    case 'L': return "Repeat";
    case 'R': return "CRPAT";
    case 'S': return "CSPAT";
    default: return "Unknown";
    }
}

} // namespace

// ---------------------------------------------------------------------------
namespace codec {

quint16 centiRaw(double value)
{
    const double raw = std::round(32768.0 - value * 100.0);
    return quint16(qBound(0.0, raw, 65535.0));
}

void countFields(double count, quint32 *mantissa, quint8 *exponent)
{
    if (!(count > 0.0)) {
        *mantissa = 0;
        *exponent = 0;
        return;
    }
    int e = 0;
    const double f = std::frexp(count, &e); // count = f * 2^e, 0.5 <= f < 1
    if (e < 0) {
        *mantissa = 0;
        *exponent = 0;
    } else if (e > 255) {
        *mantissa = 0xFFFFFF;
        *exponent = 255;
    } else {
        *mantissa = qMin<quint32>(quint32(f * 16777216.0), 0xFFFFFF);
        *exponent = quint8(e);
    }
}

QByteArray encodeCount(double count)
{
    quint32 m;
    quint8 e;
    countFields(count, &m, &e);
    QByteArray b(4, '\0');
    put24(b, 0, m);
    b[3] = char(e);
    return b;
}

double decodeCount(const QByteArray &b)
{
    if (b.size() < 4)
        return 0.0;
    const quint32 m = (quint32(quint8(b[0])) << 16) | (quint32(quint8(b[1])) << 8) | quint8(b[2]);
    return std::ldexp(double(m), int(quint8(b[3])) - 24);
}

void put16(QByteArray &b, int at, quint32 v)
{
    b[at] = char((v >> 8) & 0xFF);
    b[at + 1] = char(v & 0xFF);
}

void put24(QByteArray &b, int at, quint32 v)
{
    b[at] = char((v >> 16) & 0xFF);
    put16(b, at + 1, v);
}

void put32(QByteArray &b, int at, quint32 v)
{
    b[at] = char((v >> 24) & 0xFF);
    put24(b, at + 1, v);
}

} // namespace codec

// ---------------------------------------------------------------------------
const quint8 Engine::kXfpPassword[4] = {0x00, 0x00, 0x10, 0x11};

QList<QByteArray> Engine::modelNames()
{
    QList<QByteArray> names;
    for (const ModelInfo &m : kModels)
        names.append(m.name);
    return names;
}

const ModelInfo *Engine::findModel(const QByteArray &name)
{
    for (const ModelInfo &m : kModels)
        if (name == m.name)
            return &m;
    return nullptr;
}

Engine::Engine(const QByteArray &modelName, quint32 seed)
    : m_model(findModel(modelName)), m_rng(seed), m_serial(10446 + int(seed % 80000))
{
    if (!m_model)
        m_model = &kModels[1];
    for (Side &side : m_sides)
        side.rateBps = m_model->defaultRateBps;
    if (!m_model->tunable)
        m_wavelengthNm = 1310.0;
    initRegisters();
}

void Engine::setBitErrorRate(double ber, char side)
{
    s(side).ber = qMax(0.0, ber);
}

void Engine::injectErrors(quint64 n, char side)
{
    s(side).errors += n;
}

void Engine::scriptRecords(const QList<QByteArray> &records)
{
    m_script = records;
}

void Engine::setFault(Fault f, int times)
{
    m_fault = times == 0 ? Fault::None : f;
    m_faultTimes = times;
}

void Engine::setWavelengthNm(double nm)
{
    m_wavelengthNm = nm;
    const quint32 whole = quint32(std::lround(nm));
    codec::put16(m_sfpA0, 60, whole);
    putChecksum(m_sfpA0, 0, 62, 63);
    QByteArray &serialId = xfpUpperPage(1);
    codec::put16(serialId, 186 - 128, quint32(std::lround(nm * 20.0)));
    putChecksum(serialId, 0, 190 - 128, 191 - 128);
}

double Engine::txPowerDbm(char side) const
{
    return s(side).txOn ? s(side).txPowerDbm : -45.0;
}

double Engine::rxPowerDbm(char side) const
{
    const Side &sd = s(side);
    if (!sd.txOn || !sd.loopback)
        return -45.0;
    return sd.txPowerDbm - sd.rxLossDb;
}

int Engine::lampCode(char side) const
{
    const Side &sd = s(side);
    switch (sd.link) {
    case Link::NoSignal: return 1;
    case Link::NoSync: return 3;
    case Link::Sync: return 2;
    case Link::Auto: break;
    }
    if (!sd.txOn || !sd.loopback)
        return 1;
    return sd.rateBps > 0 ? 2 : 3;
}

double Engine::temperatureC() const
{
    // A slow drift and a faster wobble, staying within about 36..44 degrees.
    const double t = double(m_now);
    return 40.0 + 3.0 * std::sin(2.0 * kPi * t / 600000.0) +
           1.0 * std::sin(2.0 * kPi * t / 47000.0 + 1.0);
}

int Engine::prbsInfo(char side) const
{
    int order = 0;
    switch (s(side).pattern) {
    case '7': order = 7; break;
    case '9': order = 9; break;
    case '1': order = 11; break;
    case '5': order = 15; break;
    case '2': order = 23; break;
    case '3': order = 31; break;
    case '8': order = 58; break;
    case '6': order = 63; break;
    default: return 0;
    }
    return s(side).inverted ? order + 100 : order;
}

quint64 Engine::poisson(double mean)
{
    if (!(mean > 0.0))
        return 0;
    if (mean < 1e6) {
        std::poisson_distribution<long long> dist(mean);
        return quint64(dist(m_rng));
    }
    std::normal_distribution<double> dist(mean, std::sqrt(mean));
    return quint64(qMax(0.0, std::round(dist(m_rng))));
}

void Engine::advanceTo(qint64 nowMs)
{
    if (nowMs <= m_now)
        return;
    const qint64 dt = nowMs - m_now;
    m_now = nowMs;
    for (int i = 0; i < 2; ++i) {
        const char side = i ? 'B' : 'A';
        if (lampCode(side) != 2)
            continue;
        Side &sd = m_sides[i];
        // rate * dt / 1000 without overflow, carrying the remainder.
        qint64 whole = (sd.rateBps / 1000) * dt;
        const qint64 part = (sd.rateBps % 1000) * dt + sd.bitRemainder;
        whole += part / 1000;
        sd.bitRemainder = part % 1000;
        sd.bits += quint64(whole);
        sd.errors += poisson(sd.ber * double(whole));
    }
}

// ---------------------------------------------------------------------------
QVector<Reply> Engine::receive(const QByteArray &bytes, qint64 nowMs)
{
    advanceTo(nowMs);
    QVector<Reply> out;
    m_pending.append(bytes);
    int nl;
    while ((nl = m_pending.indexOf('\n')) >= 0) {
        QByteArray line = m_pending.left(nl);
        m_pending.remove(0, nl + 1);
        while (line.endsWith('\r'))
            line.chop(1);
        handleLine(line, &out);
    }
    // A line that never ends is noise; do not let it grow without bound.
    if (m_pending.size() > 4096)
        m_pending.clear();
    return out;
}

void Engine::addReply(QVector<Reply> *out, qint64 delayMs, const QByteArray &bytes)
{
    Reply r{m_now + delayMs, bytes};
    if (m_fault != Fault::None && m_faultTimes != 0) {
        const Fault f = m_fault;
        if (m_faultTimes > 0 && --m_faultTimes == 0)
            m_fault = Fault::None;
        switch (f) {
        case Fault::None: break;
        case Fault::NoReply: return;
        case Fault::ShortReply: r.bytes.chop(qMin(3, qMax(1, r.bytes.size() / 4))); break;
        case Fault::SplitReply: {
            const int half = r.bytes.size() / 2;
            out->append(Reply{r.dueMs, r.bytes.left(half)});
            out->append(Reply{r.dueMs + kSplitGapMs, r.bytes.mid(half)});
            return;
        }
        case Fault::LateReply: r.dueMs += kLateExtraMs; break;
        case Fault::Garbage: {
            const int n = r.bytes.size() + 1 + int(m_rng() % 8);
            QByteArray junk(n, '\0');
            for (int i = 0; i < n; ++i)
                junk[i] = char(m_rng() & 0xFF);
            r.bytes = junk;
            break;
        }
        }
    }
    out->append(r);
}

void Engine::handleLine(const QByteArray &line, QVector<Reply> *out)
{
    if (line.trimmed().isEmpty())
        return;
    m_log.push_back(LoggedCommand{m_received++, m_now, line});
    if (m_log.size() > size_t(kLogCapacity))
        m_log.pop_front();

    const int sp = line.indexOf(' ');
    QByteArray word = sp < 0 ? line : line.left(sp);
    const QByteArray rest = sp < 0 ? QByteArray() : line.mid(sp + 1);
    char side = 'A';
    if (!isCommand(word) && word.endsWith('B') && isCommand(word.left(word.size() - 1))) {
        side = 'B';
        word.chop(1);
    }
    const QList<QByteArray> args = words(rest);
    const QByteArray err("ERR\r\n");
    Side &sd = s(side);
    const Transceiver xcvr = m_model->transceiver;

    if (word == "?") {
        addReply(out, kIdentDelayMs, identification());
    } else if (word == "r") {
        if (!m_script.isEmpty()) {
            addReply(out, kRecordDelayMs, m_script.first());
            if (m_script.size() > 1)
                m_script.removeFirst();
        } else {
            addReply(out, kRecordDelayMs, measurementRecord(side));
        }
    } else if (word == "setrate") {
        bool ok = args.size() == 1;
        const double n = ok ? args[0].toDouble(&ok) : 0.0;
        const double bps = std::round(n * double(m_model->setrateUnit));
        if (!ok || n < 0.0 || bps / m_model->rateDivisor > 4294967295.0)
            addReply(out, kErrorDelayMs, err);
        else
            sd.rateBps = qint64(bps);
    } else if (word == "setpat") {
        const QByteArray arg = rest.trimmed();
        if (arg.isEmpty() || arg.at(0) == '\0' || !std::strchr(kPatternLetters, arg.at(0))) {
            addReply(out, kErrorDelayMs, err);
        } else {
            sd.pattern = arg.at(0);
            sd.suffix = arg.mid(1);
        }
    } else if (word == "tx") {
        if (args.size() == 1 && (args[0] == "1" || args[0] == "0"))
            sd.txOn = args[0] == "1";
        else
            addReply(out, kErrorDelayMs, err);
    } else if (word == "reset") {
        sd.bits = 0;
        sd.errors = 0;
        sd.bitRemainder = 0;
    } else if (word == "Scan") {
        bool ok = args.size() == 1;
        const int n = ok ? args[0].toInt(&ok) : 0;
        if (ok && n >= 1 && n <= 4)
            addReply(out, kScanDelayMs, eyeScan(n, side));
        else
            addReply(out, kErrorDelayMs, err);
    } else if (word == "SFP" || word == "XFP") {
        const bool match = (word == "SFP" && xcvr == Transceiver::Sfp) ||
                           (word == "XFP" && xcvr == Transceiver::Xfp);
        if (match && args.isEmpty())
            addReply(out, kDumpDelayMs, dump());
        else
            addReply(out, kErrorDelayMs, err);
    } else if (word == "RdSFP" || word == "WrSFP") {
        const bool read = word == "RdSFP";
        QByteArray reply;
        if (xcvr == Transceiver::Sfp && !args.isEmpty() && (args[0] == "D" || args[0] == "I"))
            reply = read ? registerRead(args[0].at(0), args.mid(1))
                         : registerWrite(args[0].at(0), args.mid(1));
        if (reply.isEmpty())
            addReply(out, kErrorDelayMs, err);
        else
            addReply(out, read ? kRegisterDelayMs : kAckDelayMs, reply);
    } else if (word == "RdXFP" || word == "WrXFP") {
        const bool read = word == "RdXFP";
        QByteArray reply;
        if (xcvr == Transceiver::Xfp)
            reply = read ? registerRead('X', args) : registerWrite('X', args);
        if (reply.isEmpty())
            addReply(out, kErrorDelayMs, err);
        else
            addReply(out, read ? kRegisterDelayMs : kAckDelayMs, reply);
    } else if (word == "test") {
        addReply(out, kTestDelayMs, loopbackReport(side));
    } else if (word == "SetWL") {
        bool ok = args.size() == 1 && m_model->tunable;
        const double nm = ok ? args[0].toDouble(&ok) : 0.0;
        if (ok && nm >= 1200.0 && nm <= 1700.0)
            setWavelengthNm(nm);
        else
            addReply(out, kErrorDelayMs, err);
    } else {
        addReply(out, kErrorDelayMs, err);
    }
}

// ---------------------------------------------------------------------------
QByteArray Engine::identification() const
{
    return QByteArray(m_model->name) + ":SN " + QByteArray::number(m_serial) + ":FW 2.61:\r\n";
}

QByteArray Engine::measurementRecord(char side)
{
    using namespace codec;
    const Side &sd = s(side);
    QByteArray rec(m_model->recordLength, '\0');
    put32(rec, 0, quint32(qMin<qint64>(sd.rateBps / m_model->rateDivisor, 0xFFFFFFFFLL)));
    rec[4] = sd.pattern;
    put16(rec, 5, centiRaw(rxPowerDbm(side)));
    put16(rec, 7, centiRaw(txPowerDbm(side)));
    if (m_model->unitCode == 500130) {
        // This model has no transceiver: byte 9 carries the transmitter flag.
        rec[9] = sd.txOn ? 1 : 0;
    } else {
        put24(rec, 9, quint32(std::lround(m_wavelengthNm * 100.0)));
    }
    put16(rec, 12, centiRaw(temperatureC()));
    const int lamp = lampCode(side);
    rec[14] = char(lamp | (m_reidentify ? 0x80 : 0));
    m_reidentify = false;
    rec.replace(15, 4, encodeCount(double(sd.bits)));
    rec.replace(19, 4, encodeCount(double(sd.errors)));
    if (m_model->recordLength == 27) {
        if (lamp == 2) {
            rec[23] = char(20 + m_rng() % 3);  // 0.62 .. 0.69 UI
            rec[24] = char(114 + m_rng() % 6); // about 356 .. 372 mV
        }
        rec[25] = char(prbsInfo(side));
    }
    return rec;
}

QByteArray Engine::eyeScan(int scale, char side)
{
    // Columns span two unit intervals (4 divisions of 0.5 UI), crossings at
    // columns 16 and 48. Rows span 4 vertical divisions of 'scale' x 50 mV.
    const bool open = lampCode(side) == 2;
    const double rowsPerMv = 16.0 / (50.0 * scale);
    const double halfSwing = 220.0 * rowsPerMv;
    const double sigma = qMax(0.8, 12.0 * rowsPerMv);
    const double centre = 31.5;
    const double riseCols = 4.0;
    const double jitterCols = 1.2;

    QVector<double> dens(64 * 64, 0.0);
    for (int x = 0; x < 64; ++x) {
        double *col = dens.data() + x * 64;
        if (!open) {
            for (int j = 0; j < 64; ++j) {
                const double d = (j - centre) / 2.0;
                col[j] = std::exp(-0.5 * d * d);
            }
            continue;
        }
        const double crossing = x < 32 ? 16.0 : 48.0;
        // Timing jitter: a Gaussian spread of the crossing, integrated in fine steps.
        for (int k = -18; k <= 18; ++k) {
            const double dj = k * 0.2;
            const double w = std::exp(-dj * dj / (2.0 * jitterCols * jitterCols));
            const double t = std::tanh((x - crossing - dj) / riseCols);
            const double levels[4] = {halfSwing, -halfSwing, halfSwing * t, -halfSwing * t};
            for (double level : levels)
                for (int j = 0; j < 64; ++j) {
                    const double d = (j - centre - level) / sigma;
                    col[j] += w * std::exp(-0.5 * d * d);
                }
        }
    }
    double peak = 0.0;
    for (double d : dens)
        peak = qMax(peak, d);

    std::normal_distribution<double> noise(0.0, 4.0);
    QByteArray out;
    out.reserve(kScanBytes);
    for (int x = 0; x < 64; ++x) {
        for (int j = 0; j < 64; ++j) {
            const double v = peak > 0.0 ? dens[x * 64 + j] / peak : 0.0;
            const double level = 255.0 * qMin(1.0, std::pow(v, 0.45) * 1.15);
            int sample = level > 6.0 ? int(std::lround(level + noise(m_rng))) : int(m_rng() % 4);
            sample = qBound(0, sample, 255);
            if (sample == 0x0A || sample == 0x0D) // these bytes frame the lines
                ++sample;
            out.append(char(sample));
        }
        out.append("\r\n");
    }
    return out;
}

QByteArray Engine::loopbackReport(char side)
{
    const Side &sd = s(side);
    const int lamp = lampCode(side);
    const bool synced = lamp == 2;
    const double bits = synced ? double(sd.rateBps) * 5.0 : 0.0;
    const quint64 errors = synced ? poisson(sd.ber * bits) : 0;
    const bool pass = synced && errors == 0;
    QString r;
    r += QString::asprintf("Loopback test: %s\r\n", pass ? "PASS" : "FAIL");
    r += QString::asprintf("Side: %c\r\n", side);
    r += QString::asprintf("Rate: %0.3f Mbps\r\n", sd.rateBps / 1e6);
    r += QString::asprintf("Pattern: %s\r\n", patternName(sd.pattern));
    r += QString::asprintf("Tx power: %+0.1f dBm\r\n", txPowerDbm(side));
    r += QString::asprintf("Rx power: %+0.1f dBm\r\n", rxPowerDbm(side));
    r += QString::asprintf("Duration: 5 s\r\n");
    r += QString::asprintf("Bits: %0.3e\r\n", bits);
    r += QString::asprintf("Errors: %llu\r\n", static_cast<unsigned long long>(errors));
    r += QString::asprintf("BER: %0.3e\r\n", bits > 0 ? double(errors) / bits : 0.0);
    if (lamp == 1)
        r += QStringLiteral("Reason: no signal at the receiver\r\n");
    else if (lamp == 3)
        r += QStringLiteral("Reason: receiver not synchronised\r\n");
    else if (!pass)
        r += QStringLiteral("Reason: bit errors\r\n");
    return r.toLatin1();
}

// ---------------------------------------------------------------------------
// Transceiver registers. The instrument has one cage; both sides reach it.

void Engine::initRegisters()
{
    // SFP serial ID page A0 (read-only).
    m_sfpA0 = QByteArray(256, '\0');
    QByteArray &a0 = m_sfpA0;
    a0[0] = 0x03;  // SFP
    a0[1] = 0x04;  // serial ID defined by two-wire interface
    a0[2] = 0x07;  // LC connector
    a0[3] = 0x20;  // 10GBASE-LR
    a0[11] = 0x06; // 64B/66B
    a0[12] = 0x67; // nominal 10.3 Gbit/s in 100 Mbit/s units
    a0[14] = 0x0A; // 10 km
    a0[15] = 0x64;
    putText(a0, 20, 16, "CORVANE");
    a0[37] = 0x00;
    a0[38] = 0x17;
    a0[39] = 0x6A;
    putText(a0, 40, 16, "CVN-SFP10-TUN");
    putText(a0, 56, 4, "A1");
    a0[65] = 0x1A; // options: TX_DISABLE, LOS, TX_FAULT
    putText(a0, 68, 16, "CV" + QByteArray::number(m_serial));
    putText(a0, 84, 8, "240318");
    a0[92] = 0x68; // digital diagnostics, internally calibrated, average power
    a0[93] = char(0xF0);
    a0[94] = 0x08;
    putChecksum(a0, 64, 94, 95);
    putText(a0, 96, 32, "Corvane simulated transceiver");

    // SFP diagnostics page A2.
    m_sfpA2 = QByteArray(256, '\0');
    static const quint16 thresholds[20] = {
        0x4B00, 0xFB00, 0x4600, 0x0000, // temperature 75, -5, 70, 0 C
        36300,  29700,  34600,  31300,  // Vcc 3.63, 2.97, 3.46, 3.13 V
        50000,  1000,   45000,  2000,   // bias 100, 2, 90, 4 mA
        20000,  1000,   16000,  1600,   // Tx 2.0, 0.1, 1.6, 0.16 mW
        20000,  100,    16000,  200,    // Rx 2.0, 0.01, 1.6, 0.02 mW
    };
    for (int i = 0; i < 20; ++i)
        codec::put16(m_sfpA2, 2 * i, thresholds[i]);
    putChecksum(m_sfpA2, 0, 94, 95);
    putText(m_sfpA2, 0x80, 19, "CORVANE USER EEPROM");
    for (int i = 0x80 + 19; i <= 0xF7; ++i)
        m_sfpA2[i] = char(0xFF);
    putText(m_sfpA2, 0xF8, 8, "CVN-DIAG");

    // XFP lower page 00..7F.
    m_xfpLower = QByteArray(128, '\0');
    m_xfpLower[0] = 0x06; // XFP
    for (int i = 0; i < 40; ++i)
        m_xfpLower[2 + i] = m_sfpA2.at(i);
    m_xfpLower[0x7F] = 0x01;
    m_xfpPassword = QByteArray(4, '\0');

    // XFP upper page 01: serial ID (read-only).
    QByteArray &p1 = xfpUpperPage(1);
    auto at = [](int reg) { return reg - 128; };
    p1[at(128)] = 0x06;
    p1[at(129)] = char(0x90);
    p1[at(130)] = 0x07;
    p1[at(131)] = 0x20;
    p1[at(139)] = 0x0E;
    p1[at(140)] = 0x63;
    p1[at(141)] = 0x6B;
    p1[at(142)] = 0x0A;
    putText(p1, at(148), 16, "CORVANE");
    p1[at(166)] = 0x17;
    p1[at(167)] = 0x6A;
    putText(p1, at(168), 16, "CVN-XFP10-TUN");
    putText(p1, at(184), 2, "A1");
    p1[at(190)] = 70;
    putText(p1, at(196), 16, "CX" + QByteArray::number(m_serial));
    putText(p1, at(212), 8, "240318");
    p1[at(220)] = 0x08;
    putChecksum(p1, at(192), at(222), at(223));

    // XFP upper page 02: user EEPROM, writable after the password.
    QByteArray &p2 = xfpUpperPage(2);
    putText(p2, 0, 19, "CORVANE USER EEPROM");
    for (int i = 19; i < 128; ++i)
        p2[i] = char(0xFF);

    setWavelengthNm(m_wavelengthNm); // fills the wavelength bytes and checksums
}

QByteArray &Engine::xfpUpperPage(int page)
{
    auto it = m_xfpUpper.find(page);
    if (it == m_xfpUpper.end())
        it = m_xfpUpper.insert(page, QByteArray(128, '\0'));
    return it.value();
}

bool Engine::xfpUnlocked() const
{
    return m_xfpPassword == QByteArray(reinterpret_cast<const char *>(kXfpPassword), 4);
}

void Engine::refreshDiagnostics()
{
    // Live monitor words follow side A, the side wired to the cage.
    const Side &sd = m_sides[0];
    const int temp = int(std::lround(temperatureC() * 256.0)) & 0xFFFF;
    const quint32 vcc = 33000;
    const quint32 bias = sd.txOn ? 17500 : 0; // 35 mA in 2 uA units
    const quint32 tx = powerWord(txPowerDbm('A'));
    const quint32 rx = powerWord(rxPowerDbm('A'));
    const bool los = lampCode('A') == 1;
    const quint32 words[5] = {quint32(temp), vcc, bias, tx, rx};
    for (int i = 0; i < 5; ++i) {
        codec::put16(m_sfpA2, 0x60 + 2 * i, words[i]);
        codec::put16(m_xfpLower, 0x60 + 2 * i, words[i]);
    }
    m_sfpA2[0x6E] = char((sd.txOn ? 0 : 0x80) | (los ? 0x02 : 0));
    m_sfpA2[0x70] = char(sd.txOn ? 0 : 0x02);
    m_sfpA2[0x71] = char(los ? 0x40 : 0);
    m_xfpLower[0x6E] = char((sd.txOn ? 0 : 0x40) | (los ? 0x02 : 0));
}

int Engine::sfpRegister(int page, int addr)
{
    if (addr < 0 || addr > 0xFF || (page != 0xA0 && page != 0xA2))
        return -1;
    refreshDiagnostics();
    return quint8(page == 0xA0 ? m_sfpA0.at(addr) : m_sfpA2.at(addr));
}

int Engine::xfpRegister(int addr)
{
    if (addr < 0 || addr > 0xFF)
        return -1;
    refreshDiagnostics();
    if (addr >= 0x7B && addr <= 0x7E)
        return 0; // password entry reads as zero
    if (addr < 0x80)
        return quint8(m_xfpLower.at(addr));
    return quint8(xfpUpperPage(quint8(m_xfpLower.at(0x7F))).at(addr - 0x80));
}

void Engine::writeSfp(int page, int addr, quint8 v)
{
    if (page == 0xA0)
        return; // the serial ID is read-only
    const bool writable = addr <= 0x5F || (addr >= 0x7B && addr <= 0xF7);
    if (writable)
        m_sfpA2[addr] = char(v);
}

void Engine::writeXfp(int addr, quint8 v)
{
    if (addr >= 0x7B && addr <= 0x7E) {
        m_xfpPassword[addr - 0x7B] = char(v);
        return;
    }
    if (addr < 0x80) {
        const bool writable =
            (addr >= 0x02 && addr <= 0x5F) || (addr >= 0x70 && addr <= 0x7A) || addr == 0x7F;
        if (writable)
            m_xfpLower[addr] = char(v);
        return;
    }
    const int page = quint8(m_xfpLower.at(0x7F));
    const bool writable = (page == 2 && xfpUnlocked()) || (page >= 0x03 && page <= 0x7F);
    if (writable)
        xfpUpperPage(page)[addr - 0x80] = char(v);
}

// type: 'D' (A2), 'I' (A0) or 'X' (XFP). Returns an empty array for bad arguments.
QByteArray Engine::registerRead(char type, const QList<QByteArray> &args)
{
    int addr;
    if (args.size() != 1 || !parseHexByte(args[0], &addr))
        return QByteArray();
    // The value must end the reply, right before CR LF, and the register report
    // "aa = vv" keeps it at positions 5..6; addresses are always two digits.
    if (type == 'X')
        return hex2(addr) + " = " + hex2(xfpRegister(addr)) + "\r\n";
    const int page = type == 'I' ? 0xA0 : 0xA2;
    return QByteArray(type == 'I' ? "A0 " : "A2 ") + hex2(addr) + " = " +
           hex2(sfpRegister(page, addr)) + "\r\n";
}

QByteArray Engine::registerWrite(char type, const QList<QByteArray> &args)
{
    int addr, value;
    if (args.size() != 2 || !parseHexByte(args[0], &addr) || !parseHexByte(args[1], &value))
        return QByteArray();
    if (type == 'X')
        writeXfp(addr, quint8(value));
    else
        writeSfp(type == 'I' ? 0xA0 : 0xA2, addr, quint8(value));
    return QByteArrayLiteral("OK\r\n");
}

QByteArray Engine::dump()
{
    QByteArray out;
    auto row = [&out](const QByteArray &label, int addr, auto read) {
        out += label + hex2(addr) + ":";
        for (int i = 0; i < 16; ++i)
            out += " " + hex2(read(addr + i));
        out += "\r\n";
    };
    if (m_model->transceiver == Transceiver::Sfp) {
        for (int a = 0; a < 256; a += 16)
            row("A0 ", a, [this](int r) { return sfpRegister(0xA0, r); });
        for (int a = 0; a < 256; a += 16)
            row("A2 ", a, [this](int r) { return sfpRegister(0xA2, r); });
    } else {
        for (int a = 0; a < 128; a += 16)
            row("Lower ", a, [this](int r) { return xfpRegister(r); });
        const QByteArray label = "Page " + hex2(xfpPageSelect()) + " ";
        for (int a = 128; a < 256; a += 16)
            row(label, a, [this](int r) { return xfpRegister(r); });
    }
    return out;
}

} // namespace sim
