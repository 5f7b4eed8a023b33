// The link to the instrument: the one owner of the serial line.
//
// Only this class touches QSerialPort. It opens and closes the port, frames and
// writes commands (the command sender), runs the identification handshake,
// keeps the measurement-polling chain to a single pending cycle, and lends the
// line to other windows for exchanges: a window takes the line (polling
// pauses), sends, reads or collects its reply, and hands the line back
// (polling resumes once, ResumeAfterExchangeMs later). While one exchange holds
// the line every other request is refused with a reason the window can show.
#pragma once
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QVector>
#include <functional>

class QSerialPort;
class QTimer;

class Link : public QObject
{
    Q_OBJECT

public:
    explicit Link(QObject *parent = nullptr);
    ~Link() override;

    // --- The port --------------------------------------------------------
    // Opens the device for a session. On failure the reason (with a hint for
    // a permission problem) is returned and the link stays closed.
    bool open(const QString &path, QString *reason = nullptr);
    // Closes the session the user ends: waits DisconnectSettleMs for the
    // instrument's last bytes, drops them, closes. Ends a running exchange.
    void disconnectSession();
    bool isOpen() const;
    int connected() const { return m_connected; }
    QString portName() const; // as the system names it, e.g. "pts/3" or "ttyACM0"

    // --- The command sender ----------------------------------------------
    // Drops the command when the one-shot skip flag is set; otherwise frames it
    // (side letter after the command word, CR LF) and writes it while
    // connected. The framed text stays in buffer().
    void send(const QString &command);
    // Writes text plus CR LF straight to the port in the local 8-bit encoding:
    // no side letter, no skip flag, no connected check (only an open port).
    void writeRaw(const QString &text);
    const QString &buffer() const { return m_buffer; }
    char side() const { return m_side; }
    void setSide(char side) { m_side = side == 'B' ? 'B' : 'A'; }

    // --- Reading ---------------------------------------------------------
    qint64 bytesAvailable() const;
    QByteArray readAll();
    // Reads every waiting byte into buf (reused: no allocation once it is big
    // enough); returns how many there were.
    qint64 readInto(QByteArray &buf);

    // --- Identification --------------------------------------------------
    // Asks the open port who it is: "?" three times, a flush, "?" once more,
    // then everything received within IdentifySettleMs. A reidentification
    // (the instrument asked for it) first drains the line, skips the first of
    // the three queries and drops what arrives before the fourth.
    enum class Handshake { Discovery, Reidentify };
    QByteArray identify(Handshake kind);

    struct Probe {
        QString path;
        bool opened = false;
        QString error; // why the port did not open
        QString portName;
        QByteArray reply;
    };
    // Asks every candidate port who it is, all at once: each is opened with a
    // port object of its own, sent the discovery queries, read
    // IdentifySettleMs later and closed. probesFinished() then gives the
    // results in the order of `paths`. False while a search still runs.
    bool probePorts(const QStringList &paths);
    bool probing() const { return !m_probes.isEmpty(); }

    // --- Measurement polling ---------------------------------------------
    int pollInterval() const { return m_pollInterval; }
    void setPollInterval(int ms) { m_pollInterval = ms; }
    // True while an exchange holds the line: a measurement cycle that runs
    // then neither sends a request nor schedules another one.
    bool pollingPaused() const { return m_owner != nullptr; }
    // Schedules the next cycle (pollDue). Only one is ever pending: scheduling
    // again moves the pending cycle instead of adding a second chain.
    void schedulePoll(int ms);
    bool pollPending() const;

    // --- Exchanges -------------------------------------------------------
    // Takes the line for `owner` (a window), pausing polling. Refused while
    // another exchange holds it: false, and *refusal says who has it.
    bool beginExchange(QObject *owner, const QString &what, QString *refusal = nullptr);
    bool holds(const QObject *owner) const { return owner && m_owner == owner; }
    bool busy() const { return m_owner != nullptr; }
    QString exchangeName() const { return m_owner ? m_ownerWhat : QString(); }
    // Hands the line back; polling resumes once, ResumeAfterExchangeMs later.
    // Does nothing unless owner holds the line.
    void endExchange(QObject *owner);

    // How a collection ended.
    enum class Collected { Complete, TimedOut, Lost };
    struct Collect {
        int count = 0;         // complete once this many bytes wait (0: no count)
        QByteArray terminator; // or once these bytes arrived (empty: none)
        int timeoutMs = 1000;  // otherwise take what arrived by then
    };
    using CollectDone = std::function<void(const QByteArray &reply, Collected how)>;
    // Collects one reply for the exchange owner without blocking the event
    // loop: everything already waiting counts. `done` runs once, from the event
    // loop (never from inside this call), unless the owner goes away first.
    void collect(QObject *owner, const Collect &what, CollectDone done);

    // --- The recognised model --------------------------------------------
    int model() const { return m_model; }
    // Records the model of the session's instrument (a unit type code).
    void recognise(int code);

signals:
    void pollDue();                       // run the measurement cycle
    void opened(const QString &portName); // a session started
    void closed(const QString &reason);   // a session ended; empty for the user's Disconnect
    void modelRecognised(int code);
    // An exchange ended: handed back (empty reason) or cut short by the loss
    // of the instrument or a Disconnect (the reason says which).
    void exchangeEnded(QObject *owner, const QString &reason);
    void probesFinished(const QVector<Link::Probe> &results);

private:
    // Blocks for ms milliseconds while collecting whatever the port receives
    // (the waits of the identification and disconnection steps).
    QByteArray collectFor(int ms);
    void onError();
    void lose(const QString &reason);
    void finishCollect(Collected how);
    void checkCollect();
    void waitWritten();
    void releaseLine(const QString &reason);

    QSerialPort *m_port = nullptr;
    QTimer *m_pollTimer = nullptr;
    QString m_buffer;
    int m_connected = 0;
    int m_skip = 0;
    char m_side = 'A';
    int m_pollInterval = 100;
    int m_model = 0;

    QObject *m_owner = nullptr; // the window whose exchange holds the line
    QString m_ownerWhat;
    QMetaObject::Connection m_ownerGone;

    // The ports being identified by a search, and their results so far.
    QVector<Probe> m_results;
    QList<QSerialPort *> m_probes;
    void finishProbes();

    // The collection in progress, if any.
    struct Pending {
        QObject *owner = nullptr;
        Collect what;
        CollectDone done;
        QByteArray got;
        bool active = false;
    } m_collect;
    QTimer *m_collectTimer = nullptr;
};
