// Simulated Corvane instrument: the protocol engine.
//
// The engine is pure and deterministic: command bytes go in together with the
// time of arrival (milliseconds on a virtual clock that the caller owns), and
// timed replies come out. It keeps no real time and starts no threads, so the
// same inputs always give the same outputs; PtySimulator puts it behind a pty
// with a wall clock.
//
// Reply conventions (all text replies end with CR LF):
//   "?"                 "<model>:SN <n>:FW 2.61:\r\n"                after 12 ms
//   "r"                 binary measurement record, 24 or 27 bytes      after 22 ms
//   setrate/setpat/tx/reset/SetWL   no reply at all (the program reads none and a
//                       stray acknowledgement would spoil the next record)
//   WrSFP/WrXFP         "OK\r\n" (also for read-only registers)           after 3 ms
//   RdSFP D|I a         "A2 7f = 0a\r\n" / "A0 ..." (page, address, value)  after 5 ms
//   RdXFP a             "7f = 0a\r\n"                                     after 5 ms
//   SFP / XFP           hex dump, "A0 00: 03 04 ...\r\n", 16 bytes a row  after 600 ms
//   Scan n              64 lines of 64 samples + CR LF (4224 bytes)       after 1500 ms
//   test                multi-line loop-back report                      after 5000 ms
//   anything else, or bad arguments: "ERR\r\n"                           after 5 ms
// A "B" directly after the command word ("rB", "setrateB 100") addresses side B.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QVector>
#include <QtGlobal>

#include <deque>
#include <random>

namespace sim {

struct Reply {
    qint64 dueMs;
    QByteArray bytes;
};

struct LoggedCommand {
    qint64 index; // 0 for the first command the instrument ever received
    qint64 ms;
    QByteArray line; // without the CR LF
};

// Faults applied to the engine's replies (every reply, "r" and "?" included).
enum class Fault { None, NoReply, ShortReply, SplitReply, LateReply, Garbage };

// Link state of one side. Auto follows the transmitter and the loop-back cable.
enum class Link { Auto, NoSignal, NoSync, Sync };

enum class Transceiver { None, Sfp, Xfp };

struct ModelInfo {
    const char *name;
    int unitCode;
    int recordLength;   // 24 or 27
    int rateDivisor;    // the record carries rate / rateDivisor
    qint64 setrateUnit; // bit/s per unit of the "setrate" number
    Transceiver transceiver;
    bool tunable; // accepts "SetWL"
    qint64 defaultRateBps;
};

// Byte-level encoders of the measurement record, exposed for tests.
namespace codec {
// 32768 - value * 100, rounded and clamped to 16 bits (powers in dBm, degrees C).
quint16 centiRaw(double value);
// count = m * 2^(e - 24) with m normalised (top bit of 24 set); 0 gives m = 0, e = 0.
void countFields(double count, quint32 *mantissa, quint8 *exponent);
QByteArray encodeCount(double count); // 3 mantissa bytes, then the exponent byte
double decodeCount(const QByteArray &fourBytes);
void put16(QByteArray &b, int at, quint32 v);
void put24(QByteArray &b, int at, quint32 v);
void put32(QByteArray &b, int at, quint32 v);
} // namespace codec

class Engine
{
public:
    static constexpr int kScanBytes = 64 * 66;
    static constexpr qint64 kIdentDelayMs = 12;
    static constexpr qint64 kRecordDelayMs = 22;
    static constexpr qint64 kAckDelayMs = 3;
    static constexpr qint64 kRegisterDelayMs = 5;
    static constexpr qint64 kErrorDelayMs = 5;
    static constexpr qint64 kDumpDelayMs = 600;
    static constexpr qint64 kScanDelayMs = 1500;
    static constexpr qint64 kTestDelayMs = 5000;
    static constexpr qint64 kSplitGapMs = 150;
    static constexpr qint64 kLateExtraMs = 250;
    // Password that unlocks XFP upper page 02 when written to registers 7B..7E.
    static const quint8 kXfpPassword[4];

    static QList<QByteArray> modelNames();
    static const ModelInfo *findModel(const QByteArray &name); // exact name, or nullptr

    // An unknown model name falls back to "Corvane NanoTb".
    explicit Engine(const QByteArray &modelName = "Corvane NanoTb", quint32 seed = 1);

    const ModelInfo &model() const { return *m_model; }

    // Buffers partial lines; handles every complete line (CR LF, a lone LF also
    // ends a line). The engine first advances its clock to nowMs.
    QVector<Reply> receive(const QByteArray &bytes, qint64 nowMs);
    // Grows bit and error counts up to nowMs. Time never goes backwards.
    void advanceTo(qint64 nowMs);
    qint64 nowMs() const { return m_now; }

    // The most recent commands (at most kLogCapacity), oldest first.
    QVector<LoggedCommand> commandLog() const
    {
        return QVector<LoggedCommand>(m_log.begin(), m_log.end());
    }
    qint64 commandsReceived() const { return m_received; }
    static constexpr int kLogCapacity = 4096;

    // Answers the next measurement requests with these exact records, in order;
    // the last one is repeated until clearScript(). Faults still apply.
    void scriptRecords(const QList<QByteArray> &records);
    void clearScript() { m_script.clear(); }

    // --- behaviour switches -------------------------------------------------
    void setBitErrorRate(double ber, char side = 'A');
    double bitErrorRate(char side = 'A') const { return s(side).ber; }
    void injectErrors(quint64 n, char side = 'A');
    void requestReidentify() { m_reidentify = true; }
    bool reidentifyPending() const { return m_reidentify; }
    // times: number of replies to spoil; -1 until setFault(Fault::None).
    void setFault(Fault f, int times = -1);
    Fault fault() const { return m_fault; }

    void setRateBps(qint64 bps, char side = 'A') { s(side).rateBps = bps; }
    void setPattern(char code, char side = 'A') { s(side).pattern = code; }
    void setPrbsInverted(bool inverted, char side = 'A') { s(side).inverted = inverted; }
    void setTxOn(bool on, char side = 'A') { s(side).txOn = on; }
    void setTxPowerDbm(double dBm, char side = 'A') { s(side).txPowerDbm = dBm; }
    void setRxLossDb(double dB, char side = 'A') { s(side).rxLossDb = dB; }
    void setLoopback(bool present, char side = 'A') { s(side).loopback = present; }
    void setLink(Link l, char side = 'A') { s(side).link = l; }
    void setWavelengthNm(double nm);

    // --- state, as the instrument would report it ---------------------------
    qint64 rateBps(char side = 'A') const { return s(side).rateBps; }
    char patternCode(char side = 'A') const { return s(side).pattern; }
    QByteArray patternSuffix(char side = 'A') const { return s(side).suffix; }
    bool txOn(char side = 'A') const { return s(side).txOn; }
    bool loopback(char side = 'A') const { return s(side).loopback; }
    double txPowerDbm(char side = 'A') const;
    double rxPowerDbm(char side = 'A') const;
    int lampCode(char side = 'A') const; // 1 no signal, 2 synchronised, 3 signal without sync
    quint64 bitCount(char side = 'A') const { return s(side).bits; }
    quint64 errorCount(char side = 'A') const { return s(side).errors; }
    double wavelengthNm() const { return m_wavelengthNm; }
    double temperatureC() const;
    int prbsInfo(char side = 'A') const;
    int serialNumber() const { return m_serial; }

    // Register contents as a read would report them (-1 for a bad address).
    // page: 0xA0 or 0xA2 for SFP; for XFP addresses 80..FF use the page in 7F.
    int sfpRegister(int page, int addr);
    int xfpRegister(int addr);
    int xfpPageSelect() const { return m_xfpLower[0x7F]; }
    bool xfpUnlocked() const;

    // Reply builders, also used directly by tests.
    QByteArray identification() const;
    QByteArray measurementRecord(char side = 'A'); // consumes the re-identification flag
    QByteArray eyeScan(int scale, char side = 'A');

private:
    struct Side {
        qint64 rateBps = 0;
        char pattern = '3';
        QByteArray suffix;
        bool inverted = false;
        bool txOn = true;
        bool loopback = true;
        Link link = Link::Auto;
        double txPowerDbm = 1.5;
        double rxLossDb = 1.8;
        double ber = 0.0;
        quint64 bits = 0;
        quint64 errors = 0;
        qint64 bitRemainder = 0; // rate * ms not yet turned into whole bits (per 1000)
    };

    Side &s(char side) { return m_sides[side == 'B' ? 1 : 0]; }
    const Side &s(char side) const { return m_sides[side == 'B' ? 1 : 0]; }

    void handleLine(const QByteArray &line, QVector<Reply> *out);
    void addReply(QVector<Reply> *out, qint64 delayMs, const QByteArray &bytes);
    quint64 poisson(double mean);

    QByteArray registerRead(char type, const QList<QByteArray> &args);
    QByteArray registerWrite(char type, const QList<QByteArray> &args);
    void writeSfp(int page, int addr, quint8 v);
    void writeXfp(int addr, quint8 v);
    QByteArray &xfpUpperPage(int page);
    void refreshDiagnostics();
    QByteArray dump();
    QByteArray loopbackReport(char side);
    void initRegisters();

    const ModelInfo *m_model;
    std::mt19937 m_rng;
    Side m_sides[2];
    qint64 m_now = 0;
    QByteArray m_pending;
    std::deque<LoggedCommand> m_log; // a ring: memory stays bounded in a long session
    qint64 m_received = 0;
    QList<QByteArray> m_script;
    bool m_reidentify = false;
    Fault m_fault = Fault::None;
    int m_faultTimes = -1;
    double m_wavelengthNm = 1550.12;
    int m_serial;

    QByteArray m_sfpA0;                // 256 bytes, read-only
    QByteArray m_sfpA2;                // 256 bytes
    QByteArray m_xfpLower;             // 128 bytes, 00..7F
    QByteArray m_xfpPassword;          // what was written to 7B..7E (reads back as 00)
    QHash<int, QByteArray> m_xfpUpper; // page number -> 128 bytes for 80..FF
};

} // namespace sim
