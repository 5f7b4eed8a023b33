// A small HTTP/1.1 server for answering scrapes: GET requests without bodies,
// keep-alive, pipelining, and hard limits on what one client may hold.
//
// http::Session is the protocol for one connection without sockets: bytes in,
// replies out, and whether the connection is to be closed. HttpResponder puts
// sessions on a QTcpServer and adds the limits that need a clock or a count:
// connections, slow requests, idle connections, clients that do not read.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QLoggingCategory>
#include <QObject>
#include <QTcpServer>

#include <functional>
#include <string_view>
#include <vector>

// corvane.remote: what the scrape endpoint binds to, and the clients it turns away.

namespace http {

// Text without the spaces and tabs around it (header values, media ranges).
std::string_view trimmed(std::string_view s);

// A request line and its headers may take this many bytes, the final empty line
// included; a longer request is answered 431 and the connection closed.
constexpr int maxRequestBytes = 8192;
// Header fields per request; more are answered 431.
constexpr int maxHeaderFields = 100;

struct HeaderField {
    std::string_view name, value; // value without surrounding white space
};

// A parsed request. Its views point into the session's buffer and are valid
// only while the handler runs.
struct Request {
    std::string_view method; // case-sensitive, as sent
    std::string_view target; // as sent
    std::string_view path;   // of the target, without query ("/metrics" for "/metrics?x=y")
    std::string_view query;  // after '?', empty without
    int minorVersion = 1;    // HTTP/1.0 or HTTP/1.1
    const std::vector<HeaderField> *fields = nullptr;

    // Each value of header fields with this name (case-insensitive) in turn.
    template <typename F> void forEachValue(std::string_view name, F f) const;
};

// What the handler answers. The views must stay valid until the handler's
// caller has copied them, i.e. until the next request is handled.
struct Reply {
    int status = 200;
    std::string_view contentType = "text/plain; charset=utf-8";
    std::string_view body;
    std::string_view allow; // an Allow header's value, for 405
};

using Handler = std::function<void(const Request &, Reply &)>;

bool equalsIgnoringCase(std::string_view a, std::string_view b);
// The reason phrase of a status code ("Not Found"), and the body of an error
// reply: the phrase and a line feed.
std::string_view reasonPhrase(int status);
std::string_view errorBody(int status);

class Session
{
public:
    explicit Session(Handler handler);

    // Where the next bytes from the client go, and how many fit (0 while a
    // complete request is waiting to be answered or the session is closing).
    char *receiveBuffer() { return m_buffer.data() + m_size; }
    int room() const;
    // Takes n bytes written to receiveBuffer().
    void received(int n);
    // Copies as many of the bytes as fit; returns their number.
    int receive(const char *data, int size);

    // Answers at most maxAnswers requests held in full, appending the replies
    // to out; returns how many it answered. Stops after a reply that closes
    // the connection.
    int answer(QByteArray &out, int maxAnswers);

    // A complete request is held and not answered yet.
    bool pending() const;
    // The last reply closes the connection: write out what was answered, then
    // close. Later bytes are not read.
    bool closing() const { return m_closing; }
    // Bytes of a request are held: the request has begun.
    bool midRequest() const { return m_size > 0; }
    // The client took too long with a request: a 408 reply, then closing.
    void timedOut(QByteArray &out);

private:
    enum class Outcome { Incomplete, Answered };
    Outcome answerOne(QByteArray &out);
    void dropLeadingEmptyLines();
    int findHeaderEnd();
    void writeError(QByteArray &out, int status);
    void writeReply(QByteArray &out, const Reply &reply, bool keepAlive, int minorVersion);
    void consume(int n);

    Handler m_handler;
    std::vector<char> m_buffer;
    int m_size = 0;
    int m_scanned = 0;   // bytes already searched for the end of the headers
    int m_headerEnd = 0; // bytes of the complete request at the front, 0 if none
    bool m_closing = false;
    std::vector<HeaderField> m_fields;
};

template <typename F> void Request::forEachValue(std::string_view name, F f) const
{
    if (!fields)
        return;
    for (const HeaderField &field : *fields)
        if (equalsIgnoringCase(field.name, name))
            f(field.value);
}

} // namespace http

class QTimer;
class QTcpSocket;

class HttpResponder : public QObject
{
    Q_OBJECT
public:
    static constexpr int maxConnections = 8;

    explicit HttpResponder(http::Handler handler, QObject *parent = nullptr);
    ~HttpResponder() override;

    // Port 0 takes any free port. On failure error says why.
    bool listen(const QHostAddress &address, quint16 port, QString *error);
    void close();
    bool isListening() const { return m_server.isListening(); }
    QHostAddress address() const { return m_server.serverAddress(); }
    quint16 port() const { return m_server.serverPort(); }
    int connectionCount() const { return int(m_connections.size()); }

    // A request must be complete this long after its first byte (5 s).
    void setRequestTimeout(int ms) { m_requestTimeoutMs = ms; }
    // A keep-alive connection without a request is closed after this (60 s).
    void setIdleTimeout(int ms) { m_idleTimeoutMs = ms; }

private:
    class Connection;
    void acceptConnections();
    void serve(Connection *c);
    void startClosing(Connection *c);
    void timerFired(Connection *c);
    void drop(Connection *c);

    http::Handler m_handler;
    QTcpServer m_server;
    std::vector<Connection *> m_connections;
    int m_requestTimeoutMs = 5000;
    int m_idleTimeoutMs = 60000;
    QElapsedTimer m_lastRefusalLog;
    int m_refusedSinceLog = 0;
};
