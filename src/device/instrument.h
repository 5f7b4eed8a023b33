// One instrument and its session: the serial line, the recognised model, the
// measurement cycle, the instrument's state, its commands, requests for the
// line, the test log and the statistics. No widget owns any of it: the main
// window, the secondary windows, the SCPI server, the metrics endpoint and the
// headless runner are all views and clients of an Instrument.
//
// The measurement cycle is a chain of single-shot runs, one pending at a time:
// each run reads what arrived, shows a valid record (measured()), and, unless
// the cycle is held, a request holds the line or the session ended, asks for
// the next record and runs again PollIntervalMs later. Nothing waits on the
// line: identification, disconnection and every write are asynchronous.
#pragma once
#include "bert/identification.h"
#include "bert/measurementrecord.h"
#include "bert/recordreader.h"
#include "bert/models.h"
#include "device/replycollector.h"
#include "device/request.h"
#include "link/portsearch.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QStringList>

class Link;
class QLoggingCategory;
class QTimer;
class BerMonitor;

namespace device {

class TestLogFile;

enum class Transmitter { Unknown, Off, On };

class Instrument : public QObject
{
    Q_OBJECT

public:
    explicit Instrument(QObject *parent = nullptr);
    ~Instrument() override;

    // --- The session --------------------------------------------------------
    // Connects to a port the search listed: opens it, sets up the model its
    // identification named, asks for the first record and starts polling.
    // False with the reason when the port does not open.
    bool connectTo(const Found &found, QString *reason = nullptr);
    // Ends the session the user ends: disconnected() with an empty reason at
    // once, nothing more is written; the instrument's last bytes are dropped
    // DisconnectSettleMs later and the port closed (portReleased()).
    void disconnectFromInstrument();
    bool isConnected() const { return m_connected; }
    // The port stays ours until a Disconnect has closed it.
    bool holdsPort() const;
    QString portPath() const;
    QString portName() const;
    const bert::Identification &identification() const { return m_identification; }
    QString entryText() const; // the port list entry of the instrument
    QString title() const;     // the entry on one line
    QString serialNumber() const { return m_identification.serialNumber(); }

    const bert::Model &model() const { return *m_model; }
    // Sets the instrument up for a model (no model: noModel()); sends nothing.
    void setModel(const bert::Model &model);
    const bert::PatternLetters &patternLetters() const { return m_letters; }

    // --- The measurement cycle ------------------------------------------------
    bool hasMeasurement() const { return m_records > 0; }
    const bert::Measurement &measurement() const { return m_last; } // the last valid record
    quint64 recordCount() const { return m_records; }               // valid records this session
    qint64 lastRecordMs() const { return m_lastRecordMs; }          // wall clock, ms since the epoch
    // After SilenceMs of polling without a valid record the data is stale;
    // the next record makes it live again; it stays stale once the session ends.
    bool isStale() const { return m_stale; }
    static constexpr int SilenceMs = 1000;
    // A held cycle (a control the user drags) reads and shows what arrives
    // but asks for nothing more; release() restarts it.
    void hold(const QString &why);
    void release(const QString &why);
    bool isHeld() const { return !m_holds.isEmpty(); }
    bool isPolling() const;
    // The time between a request for a record and the reading of its reply
    // (PollIntervalMs; benchmarks poll faster).
    int pollInterval() const { return m_pollInterval; }
    void setPollInterval(int ms) { m_pollInterval = ms; }
    // When set, every run of the cycle goes through it (benchmarks time the
    // cycle this way): it must call `run` once.
    std::function<void(const std::function<void()> &run)> aroundCycle;

    // --- Commands (through the command sender: side letter, CR LF; written
    // only while connected) ---------------------------------------------------
    // Refused (nothing sent) when the rate lies outside the model's rates.
    bool setRate(double mbps, QString *refusal = nullptr);
    // The pattern at a slider position; position 0 carries the custom field.
    void setPattern(int position, const QString &customText);
    QString patternCommand(int position, const QString &customText) const;
    Transmitter transmitter() const { return m_tx; }
    // The transmitter button: on when off, else off (also while unknown).
    void toggleTransmitter();
    // Switches the transmitter where the model can; false with the reason otherwise.
    bool setTransmitter(bool on, QString *refusal = nullptr);
    void resetErrors();
    void setWavelength(const QString &nmText); // "1550.12"
    // Asks for a record now (the rate dial's release).
    void requestRecord();
    // Any other command through the command sender (a register write).
    void sendCommand(const QString &command);
    char side() const;
    void setSide(char side);

    // --- Requests for the line -----------------------------------------------
    // Starts a request for `owner`. Refused (false, with the reason) while not
    // connected or while another request holds the line. The request ends
    // without callbacks when its owner is destroyed or cancels it.
    bool request(QObject *owner, Request request, QString *refusal = nullptr);
    void cancelRequests(QObject *owner);
    bool isBusy() const;
    bool holdsLine(const QObject *owner) const { return owner && m_owner == owner; }
    QString busyWith() const; // the name of the request holding the line

    // --- The eye scan ------------------------------------------------------------
    // The eye opening of the last record that carried one, as the eye button
    // shows it ("0.63 UI / 123 mV"; "0.00 UI / 000 mV" before any).
    QString eyeOpeningText() const { return m_eyeOpening; }
    // Asks for a scan at a scale (1 = 50mV ... 4 = 200mV per division) as a
    // request of `owner`: "Scan n" ScanFirstStepMs after the request is taken,
    // the line looked at every ScanLookMs, the reply (64 lines of 64 samples)
    // taken one look after it was complete, or what arrived after 100 looks.
    // `done` gets the reply. Refused (false, with the reason) like any request.
    bool scanEye(QObject *owner, int scale, std::function<void(const QByteArray &)> done,
                 std::function<void(const QString &)> cut, QString *refusal = nullptr);
    const QByteArray &lastEyeScan() const { return m_eyeScan; }
    static constexpr int ScanFirstStepMs = 200;
    static constexpr int ScanLookMs = 40;
    static constexpr int ScanLooks = 100;

    // --- Test log and statistics ------------------------------------------------
    TestLogFile *testLog() const { return m_log; }
    BerMonitor *statistics() const { return m_statistics; }

    // Settings that belong to this instrument are kept under this group
    // ("instrument-<serial>"); empty before the first connection.
    QString settingsGroup() const;

signals:
    void connected();
    void disconnected(const QString &reason); // empty: the user's Disconnect
    void portReleased(); // a Disconnect has closed the port
    void measured(const bert::Measurement &m);
    void staleChanged(bool stale);
    void modelChanged(const bert::Model &model);
    void identified();                  // re-identified: the entry and title may have changed
    void transmitterChanged(Transmitter tx);
    void busyChanged(bool busy);        // a request took or gave back the line
    void sideChanged(char side);
    void errorsReset();                 // "reset" was sent
    void rateRefused(const QString &reason);
    // A line for the diagnostics box (also written to stderr by the instrument).
    void diagnostic(const QString &line);

private:
    void cycle();
    void schedulePoll(int ms);
    void takeRecord(const bert::Measurement &m);
    void noteSilence();
    void setStale(bool stale);
    void startReidentify();
    void finishReidentify();
    void onLost(const QString &reason);
    void endSession(const QString &reason);
    void send(const QString &command);
    void restartPolling();
    void say(const QString &line, const QLoggingCategory &category);

    // Requests.
    void runStep();
    void look();
    void onReadyRead();
    void endStep(Ended how);
    void endRequest(const QString &reason, bool notify);
    void releaseLine();

    Link *m_link;
    QTimer *m_pollTimer;
    QTimer *m_stepTimer;
    QTimer *m_lookTimer;
    TestLogFile *m_log;
    BerMonitor *m_statistics;

    bool m_connected = false;
    bool m_closing = false;
    const bert::Model *m_model;
    bert::PatternLetters m_letters{};
    bert::Identification m_identification;
    QString m_portName;

    bert::Measurement m_last;
    quint64 m_records = 0;
    qint64 m_lastRecordMs = 0;
    float m_lastErrorCount = 0;
    Transmitter m_tx = Transmitter::Unknown;
    QByteArray m_reply; // reused read buffer of the cycle
    bert::RecordReader m_reader;
    bool m_stale = false;
    QElapsedTimer m_sinceRecord; // since the last valid record (or the start of polling)
    QStringList m_holds;
    bool m_reidentifying = false;
    int m_pollInterval = 100;
    QString m_eyeOpening;
    QByteArray m_eyeScan;
    QTimer *m_identTimer;  // the steps of a re-identification
    QTimer *m_settleTimer; // a Disconnect's wait for the last bytes

    // The request holding the line.
    QPointer<QObject> m_owner;
    QMetaObject::Connection m_ownerGone;
    Request m_request;
    Step m_step;
    ReplyCollector m_collector;
    bool m_stepRunning = false;
    quint64 m_generation = 0; // changes whenever a request ends
};

} // namespace device
