// SCPI remote control: the parser, the command set and one connection's session.
//
// QtCore only and no sockets: a Session takes the bytes a client sent and emits
// the reply lines, so the engine is tested and fuzzed without a network.
// ScpiServer (scpiserver.h) carries sessions over TCP.
//
// What the engine does on its own: line framing (LF, an optional CR before it,
// at most MaxLineLength bytes a line), ';' between commands with the path rule,
// short and long header forms, optional [nodes], parameter syntax, the error
// queue, the IEEE 488.2 common commands (*CLS *ESE *ESR? *STB? *SRE *OPC *WAI
// *RST, plus a default *TST? answering 0), SYSTem:ERRor[:NEXT]?,
// SYSTem:ERRor:COUNt? and SYSTem:VERSion?. Everything else is registered on a
// CommandSet by whoever wires the instrument in.
//
// Everything here lives on one thread (the one running the event loop).
#pragma once

#include <QByteArray>
#include <QList>
#include <QLoggingCategory>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantHash>

#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <vector>


namespace scpi {

constexpr int MaxLineLength = 4096; // bytes of one line without its CR LF
constexpr int ErrorQueueSize = 16;
// Bytes of complete lines a session keeps waiting while a command runs. Lines
// beyond it are dropped with -363. The server stops reading a client well before
// (ScpiServer::FeedBound), so only a caller that ignores backlog() reaches it.
constexpr int MaxBacklog = 64 * 1024;

// One entry of the error queue, as SYSTem:ERRor? reports it: <code>,"<text>".
struct Error {
    int code = 0;
    QString text;
    // The same error with detail after a ';': "Execution error;no instrument".
    Error detail(const QString &detail) const { return {code, text + QLatin1Char(';') + detail}; }
};
inline bool operator==(const Error &a, const Error &b)
{
    return a.code == b.code && a.text == b.text;
}

inline const Error NoError{0, QStringLiteral("No error")};
inline const Error CommandError{-100, QStringLiteral("Command error")};
inline const Error SyntaxError{-102, QStringLiteral("Syntax error")};
inline const Error DataTypeError{-104, QStringLiteral("Data type error")};
inline const Error ParameterNotAllowed{-108, QStringLiteral("Parameter not allowed")};
inline const Error MissingParameter{-109, QStringLiteral("Missing parameter")};
inline const Error UndefinedHeader{-113, QStringLiteral("Undefined header")};
inline const Error ExecutionError{-200, QStringLiteral("Execution error")};
inline const Error CommandProtected{-203, QStringLiteral("Command protected")};
inline const Error SettingsConflict{-221, QStringLiteral("Settings conflict")};
inline const Error DataOutOfRange{-222, QStringLiteral("Data out of range")};
inline const Error IllegalParameterValue{-224, QStringLiteral("Illegal parameter value")};
inline const Error HardwareError{-240, QStringLiteral("Hardware error")};
inline const Error QueueOverflow{-350, QStringLiteral("Queue overflow")};
inline const Error InputBufferOverrun{-363, QStringLiteral("Input buffer overrun")};

// Reply elements. Integers (counts) are plain decimals whatever their size,
// other numbers %.6E in the C locale (1.234560E-12), "no value" is 9.91E+37
// (also what formatReal gives for NaN; infinities are +-9.9E+37), strings are
// double-quoted with inner quotes doubled and control characters made spaces.
QByteArray formatInteger(qint64 value);
QByteArray formatReal(double value);
QByteArray formatNone();
QByteArray quoted(const QString &text);

// One parameter as the client wrote it.
class Param
{
public:
    Param() = default;
    Param(const QByteArray &raw, bool string, const QString &text)
        : m_raw(raw), m_string(string), m_text(text)
    {
    }
    QByteArray raw() const { return m_raw; } // as written, quotes included
    bool isString() const { return m_string; }
    QString text() const { return m_text; } // strings unquoted; other data as written
    // Decimal (sign, fraction, exponent) or #H hex, #B binary, #Q octal. False
    // for anything else, strings included, and for values beyond a double.
    bool toDouble(double *value) const;
    // The same forms; a decimal with a fraction or exponent is rounded to the
    // nearest integer. False outside qint64.
    bool toInteger(qint64 *value) const;
    // ON, OFF, 1 or 0, any case.
    bool toBool(bool *value) const;

private:
    QByteArray m_raw;
    bool m_string = false;
    QString m_text;
};

class Session;
class Call;
using CallPtr = std::shared_ptr<Call>;
using Handler = std::function<void(CallPtr)>;

// One command being executed. The handler completes it, at once or later from
// the event loop (a deferred reply from the instrument), with exactly one of
// reply...() (queries), fail() or done() (commands). The session runs the next
// command of its connection only once this one is complete, so replies keep
// their order. Completing again is ignored (and logged). When the connection is
// gone, session() is null and completing does nothing.
class Call
{
public:
    const QList<Param> &params() const { return m_params; }
    bool isQuery() const { return m_query; }
    // The header with the path rule applied, in upper case: "SOUR:PATT".
    QByteArray header() const { return m_header; }
    Session *session() const { return m_session.data(); }
    bool isComplete() const { return m_complete; }

    // Parameter i converted. When it is not of that kind the call fails with the
    // fitting error (-104 not a number, -222 a number beyond qint64, -224 not a
    // boolean) and false returns: the handler then just returns. The engine has
    // already checked the count.
    bool number(int i, double *value);
    bool integer(int i, qint64 *value);
    bool boolean(int i, bool *value);

    // A raw element, already formatted (CR and LF in it become spaces). The
    // commands after a deferred completion run from the event loop, not inside
    // the code that completed it.
    void reply(const QByteArray &text);
    void reply(const char *text) { reply(QByteArray(text)); }
    void reply(int value) { reply(formatInteger(value)); }
    void reply(qint64 value) { reply(formatInteger(value)); }
    void reply(double value) { reply(formatReal(value)); }
    void replyNone() { reply(formatNone()); }
    // Queues the error; a query that fails adds nothing to the reply line.
    void fail(const Error &error);
    // Completes a command. On a query it is a fault of the handler: it queues
    // -200 "Execution error;no reply" rather than leave the client waiting.
    void done();

private:
    friend class Session;
    Call(Session *session, const QByteArray &header, bool query, const QList<Param> &params);
    enum class Outcome { Reply, Fail, Done };
    void complete(Outcome outcome, const QByteArray &text, const Error &error);

    QPointer<Session> m_session;
    QByteArray m_header;
    QList<Param> m_params;
    bool m_query = false;
    bool m_complete = false;
};

// The commands a server understands. Built with the engine's own commands;
// add() registers the instrument's. Sessions keep a pointer to it: it must
// outlive them.
class CommandSet
{
public:
    CommandSet();
    // pattern: nodes separated by ':', the short form in upper case and the
    // rest of the long form in lower case ("SOURce:PATTern"), optional nodes in
    // brackets ("SYSTem:ERRor[:NEXT]?", "OUTPut[:STATe]"), a trailing '?' for
    // the query form (register the command and the query separately, the same
    // handler may serve both through Call::isQuery()). Common commands are
    // "*XXX" / "*XXX?". The number of parameters, minParams..maxParams, is
    // checked before the handler runs: fewer gives -109, more -108.
    // Registering a pattern again replaces its handler, except "*RST": the
    // engine clears its error queue and pending *OPC first, then runs the
    // registered handler, which completes the call.
    void add(const QString &pattern, int minParams, int maxParams, Handler handler);
    // Exactly params parameters.
    void add(const QString &pattern, int params, Handler handler)
    {
        add(pattern, params, params, std::move(handler));
    }
    // No parameter.
    void add(const QString &pattern, Handler handler) { add(pattern, 0, 0, std::move(handler)); }

    // One node of a pattern (public for the matcher only).
    struct Node {
        QByteArray shortForm; // upper case
        QByteArray longForm;  // upper case
        bool optional = false;
    };

private:
    friend class Session;
    struct Entry {
        QString pattern;
        std::vector<Node> nodes;
        bool query = false;
        int minParams = 0;
        int maxParams = 0;
        Handler handler;
    };
    const Entry *find(const QList<QByteArray> &header, bool query) const;

    std::deque<Entry> m_entries;
    Handler m_reset;          // the wiring's part of *RST
    bool m_buildingIn = true; // the constructor registers the engine's commands
};

// One connection: bytes in, reply lines out. Replies of the queries of one
// line are joined with ';' into one line ending in LF, emitted once the line's
// last command is complete; a line without a reply emits nothing.
// Do not delete a Session from inside its own signals or handlers (deleteLater).
class Session : public QObject
{
    Q_OBJECT
public:
    explicit Session(const CommandSet *set, QObject *parent = nullptr);
    ~Session() override;

    // Takes bytes in any chunks. Complete lines run at once unless a command
    // is still running, then they wait (up to MaxBacklog bytes).
    void receive(const QByteArray &bytes);
    // Bytes received and not yet executed, the unfinished line included.
    int backlog() const;
    // A command is running (waiting for its deferred completion, *WAI, *OPC?).
    bool isBusy() const { return bool(m_current); }

    // Operations run beyond the command that starts them (an eye scan started
    // by a command that returns at once). *OPC, *OPC? and *WAI wait for the
    // operations begun before them. endOperation(id) ends that one; without an
    // id the oldest still running. Handlers of a deferred call should reach the
    // session through Call::session() or a QPointer: it may be gone.
    quint64 beginOperation();
    void endOperation(quint64 id = 0);
    int operationsRunning() const { return int(m_operations.size()); }

    // Queues an error as a failed command would (16 entries, then -350).
    void pushError(const Error &error);
    int errorCount() const { return int(m_errors.size()); }

    // Per-connection state for handlers (selected instrument, write enable...).
    QVariantHash &values() { return m_values; }

signals:
    void output(const QByteArray &line);
    // A command that ran on after receive() returned has completed and the
    // commands waiting behind it ran: backlog() went down.
    void progressed();

private:
    friend class Call;
    friend class CommandSet;
    struct Line {
        QByteArray text;
        bool overrun = false; // stands for dropped input: queues -363 when its turn comes
    };
    struct Unit {
        QList<QByteArray> nodes; // upper case, path applied; a common command is one node
        QByteArray header;
        bool query = false;
        QList<Param> params;
        Error error; // code != 0: the unit is malformed, only this error is queued
    };

    void queueLine(const QByteArray &line);
    void queueOverrun();
    void parseLine(const QByteArray &line);
    void parseUnit(const char *begin, const char *end, QList<QByteArray> &path);
    void pump();
    void scheduledPump();
    bool run(const Unit &unit);
    void unitDone();
    void finish(Call *call, Call::Outcome outcome, const QByteArray &text, const Error &error);
    void checkOperations();
    void waitForOperations(const CallPtr &call, bool reply);
    int statusByte() const;

    const CommandSet *m_set;
    // Input.
    QByteArray m_partial;
    bool m_discarding = false;
    std::deque<Line> m_lines;
    int m_queuedBytes = 0;
    // Execution of the current line.
    std::vector<Unit> m_units;
    size_t m_next = 0;
    QList<QByteArray> m_replies;
    CallPtr m_current;
    bool m_pumping = false;
    bool m_pumpScheduled = false;
    // Status.
    std::deque<Error> m_errors;
    int m_esr = 0;
    int m_ese = 0;
    int m_sre = 0;
    // Operations: ids running, *OPC marks (set ESR bit 0 once no operation up to
    // the mark runs) and the *OPC? / *WAI call waiting for the same.
    std::set<quint64> m_operations;
    quint64 m_lastOperation = 0;
    std::vector<quint64> m_opcMarks;
    CallPtr m_waiting;
    quint64 m_waitMark = 0;
    bool m_waitReplies = false;
    QVariantHash m_values;
};

} // namespace scpi
