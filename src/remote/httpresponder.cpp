#include "remote/httpresponder.h"
#include "bert/diagnostics.h"

#include <QMetaObject>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>


namespace http {

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

namespace {

// tchar of HTTP: the characters of methods and header names.
bool isTokenChar(unsigned char c)
{
    if (c >= '0' && c <= '9')
        return true;
    if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z')
        return true;
    return c && std::strchr("!#$%&'*+-.^_`|~", c) != nullptr;
}

bool isToken(std::string_view s)
{
    if (s.empty())
        return false;
    for (char c : s)
        if (!isTokenChar(static_cast<unsigned char>(c)))
            return false;
    return true;
}

// Visible characters, tab and bytes of UTF-8 (obs-text) may appear in values.
bool isFieldValueChar(unsigned char c)
{
    return c == '\t' || (c >= 0x20 && c != 0x7f);
}


bool startsWithIgnoringCase(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && equalsIgnoringCase(s.substr(0, prefix.size()), prefix);
}

void appendView(QByteArray &out, std::string_view s)
{
    out.append(s.data(), int(s.size()));
}

void appendNumber(QByteArray &out, long long n)
{
    char text[24];
    const int length = std::snprintf(text, sizeof text, "%lld", n);
    out.append(text, length);
}

// Connection options of a request, and whether it has a body (which this
// server does not read: the connection closes after the reply).
struct Framing {
    bool close = false;
    bool keepAlive = false;
    bool hasBody = false;
    long long contentLength = -1;
};

// Header fields that decide the connection's fate; false for a malformed one.
bool applyField(const HeaderField &field, Framing &framing)
{
    if (equalsIgnoringCase(field.name, "Connection")) {
        std::string_view rest = field.value;
        while (!rest.empty()) {
            const size_t comma = rest.find(',');
            const std::string_view option = trimmed(rest.substr(0, comma));
            if (equalsIgnoringCase(option, "close"))
                framing.close = true;
            else if (equalsIgnoringCase(option, "keep-alive"))
                framing.keepAlive = true;
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        }
    } else if (equalsIgnoringCase(field.name, "Content-Length")) {
        if (field.value.empty() || field.value.size() > 15)
            return false;
        long long n = 0;
        for (char c : field.value) {
            if (c < '0' || c > '9')
                return false;
            n = n * 10 + (c - '0');
        }
        if (framing.contentLength >= 0 && framing.contentLength != n)
            return false;
        framing.contentLength = n;
        if (n > 0)
            framing.hasBody = true;
    } else if (equalsIgnoringCase(field.name, "Transfer-Encoding")) {
        framing.hasBody = true;
    }
    return true;
}

} // namespace

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z')
            x |= 0x20;
        if (y >= 'A' && y <= 'Z')
            y |= 0x20;
        if (x != y)
            return false;
    }
    return true;
}

namespace {
// Reason phrases, each with the line feed that makes it an error reply's body.
struct StatusText {
    int status;
    const char *text;
};
const StatusText statusTexts[] = {
    {200, "OK\n"},
    {400, "Bad Request\n"},
    {404, "Not Found\n"},
    {405, "Method Not Allowed\n"},
    {408, "Request Timeout\n"},
    {431, "Request Header Fields Too Large\n"},
    {500, "Internal Server Error\n"},
    {503, "Service Unavailable\n"},
    {505, "HTTP Version Not Supported\n"},
};
} // namespace

std::string_view errorBody(int status)
{
    for (const StatusText &s : statusTexts)
        if (s.status == status)
            return s.text;
    return "Unknown\n";
}

std::string_view reasonPhrase(int status)
{
    const std::string_view body = errorBody(status);
    return body.substr(0, body.size() - 1);
}

Session::Session(Handler handler) : m_handler(std::move(handler)), m_buffer(maxRequestBytes)
{
    m_fields.reserve(maxHeaderFields);
}

int Session::room() const
{
    if (m_closing || pending())
        return 0;
    return maxRequestBytes - m_size;
}

bool Session::pending() const
{
    return !m_closing && (m_headerEnd > 0 || m_size >= maxRequestBytes);
}

void Session::received(int n)
{
    m_size += n;
    dropLeadingEmptyLines();
    m_headerEnd = findHeaderEnd();
}

int Session::receive(const char *data, int size)
{
    const int n = std::min(size, room());
    if (n <= 0)
        return 0;
    std::memcpy(receiveBuffer(), data, size_t(n));
    received(n);
    return n;
}

// Empty lines before a request line are ignored, as clients may send a CRLF
// after a request's body.
void Session::dropLeadingEmptyLines()
{
    int skip = 0;
    while (skip < m_size) {
        if (m_buffer[size_t(skip)] == '\n')
            skip += 1;
        else if (skip + 1 < m_size && m_buffer[size_t(skip)] == '\r' &&
                 m_buffer[size_t(skip) + 1] == '\n')
            skip += 2;
        else
            break;
    }
    if (skip)
        consume(skip);
}

// Length of the request line and headers up to the empty line that ends them,
// or 0 while they are incomplete. Lines end in CRLF or a bare LF.
int Session::findHeaderEnd()
{
    const char *b = m_buffer.data();
    const int limit = std::min(m_size, maxRequestBytes);
    for (int i = std::max(m_scanned, 1); i < limit; ++i) {
        if (b[i] != '\n')
            continue;
        if (b[i - 1] == '\n' || (i >= 2 && b[i - 1] == '\r' && b[i - 2] == '\n')) {
            m_scanned = 0;
            return i + 1;
        }
    }
    m_scanned = limit;
    return 0;
}

void Session::consume(int n)
{
    std::memmove(m_buffer.data(), m_buffer.data() + n, size_t(m_size - n));
    m_size -= n;
    m_scanned = 0;
}

int Session::answer(QByteArray &out, int maxAnswers)
{
    int answered = 0;
    while (answered < maxAnswers && !m_closing && answerOne(out) == Outcome::Answered)
        ++answered;
    return answered;
}

void Session::timedOut(QByteArray &out)
{
    if (m_closing)
        return;
    if (midRequest())
        writeError(out, 408);
    m_closing = true;
}

void Session::writeError(QByteArray &out, int status)
{
    Reply reply;
    reply.status = status;
    reply.body = errorBody(status);
    writeReply(out, reply, false, 1);
    m_closing = true;
}

void Session::writeReply(QByteArray &out, const Reply &reply, bool keepAlive, int minorVersion)
{
    out.append("HTTP/1.1 ");
    appendNumber(out, reply.status);
    out.append(' ');
    appendView(out, reasonPhrase(reply.status));
    out.append("\r\nContent-Type: ");
    appendView(out, reply.contentType);
    out.append("\r\nContent-Length: ");
    appendNumber(out, qint64(reply.body.size()));
    if (!reply.allow.empty()) {
        out.append("\r\nAllow: ");
        appendView(out, reply.allow);
    }
    if (!keepAlive)
        out.append("\r\nConnection: close");
    else if (minorVersion == 0)
        out.append("\r\nConnection: keep-alive");
    out.append("\r\n\r\n");
    appendView(out, reply.body);
}

Session::Outcome Session::answerOne(QByteArray &out)
{
    if (m_headerEnd == 0) {
        if (m_size < maxRequestBytes)
            return Outcome::Incomplete;
        writeError(out, 431);
        return Outcome::Answered;
    }
    const std::string_view head(m_buffer.data(), size_t(m_headerEnd));
    // The status of a request that is refused, 0 once the handler has answered.
    const int refusal = [&]() -> int {
        // Lines without their CRLF or LF; a CR anywhere else is an error.
        size_t pos = 0;
        auto nextLine = [&](std::string_view *line) {
            const size_t lf = head.find('\n', pos);
            if (lf == std::string_view::npos)
                return false;
            size_t end = lf;
            if (end > pos && head[end - 1] == '\r')
                --end;
            *line = head.substr(pos, end - pos);
            pos = lf + 1;
            return true;
        };
        std::string_view line;
        if (!nextLine(&line))
            return 400;

        // METHOD SP request-target SP HTTP/d.d
        const size_t sp1 = line.find(' ');
        if (sp1 == std::string_view::npos)
            return 400;
        const size_t sp2 = line.find(' ', sp1 + 1);
        if (sp2 == std::string_view::npos)
            return 400;
        Request request;
        request.method = line.substr(0, sp1);
        request.target = line.substr(sp1 + 1, sp2 - sp1 - 1);
        const std::string_view version = line.substr(sp2 + 1);
        if (!isToken(request.method) || request.target.empty())
            return 400;
        for (char c : request.target)
            if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7f)
                return 400;
        if (version.size() != 8 || version.substr(0, 5) != "HTTP/" || version[6] != '.' ||
            version[5] < '0' || version[5] > '9' || version[7] < '0' || version[7] > '9')
            return 400;
        if (version[5] != '1')
            return 505;
        request.minorVersion = version[7] == '0' ? 0 : 1;

        // origin-form "/path?query", absolute-form "http://host/path?query", or "*".
        std::string_view target = request.target;
        if (startsWithIgnoringCase(target, "http://") ||
            startsWithIgnoringCase(target, "https://")) {
            target.remove_prefix(target.find("//") + 2);
            const size_t slash = target.find('/');
            target = slash == std::string_view::npos ? std::string_view("/") : target.substr(slash);
        } else if (target.front() != '/' && target != "*") {
            return 400;
        }
        const size_t question = target.find('?');
        request.path = target.substr(0, question);
        if (question != std::string_view::npos)
            request.query = target.substr(question + 1);

        m_fields.clear();
        Framing framing;
        while (nextLine(&line) && !line.empty()) {
            const size_t colon = line.find(':');
            if (colon == std::string_view::npos)
                return 400;
            HeaderField field{line.substr(0, colon), trimmed(line.substr(colon + 1))};
            // No white space before the colon, and no folded lines.
            if (!isToken(field.name))
                return 400;
            for (char c : field.value)
                if (!isFieldValueChar(static_cast<unsigned char>(c)))
                    return 400;
            if (int(m_fields.size()) == maxHeaderFields)
                return 431;
            if (!applyField(field, framing))
                return 400;
            m_fields.push_back(field);
        }
        request.fields = &m_fields;

        const bool keepAlive =
            !framing.close && !framing.hasBody && (request.minorVersion == 1 || framing.keepAlive);
        Reply reply;
        reply.status = 404;
        reply.body = errorBody(404);
        if (m_handler)
            m_handler(request, reply);
        writeReply(out, reply, keepAlive, request.minorVersion);
        if (!keepAlive)
            m_closing = true;
        return 0;
    }();
    if (refusal)
        writeError(out, refusal);
    if (m_closing)
        return Outcome::Answered;
    consume(m_headerEnd);
    dropLeadingEmptyLines();
    m_headerEnd = findHeaderEnd();
    return Outcome::Answered;
}

} // namespace http

// ---------------------------------------------------------------------------

namespace {
// Replies written but not yet taken by the client; above this the connection's
// requests wait (and its bytes stay in the kernel) until the client reads.
constexpr qint64 maxPendingOutput = 256 * 1024;
// Requests answered in one go before other connections and timers get a turn.
constexpr int answersPerTurn = 16;
} // namespace

class HttpResponder::Connection : public QObject
{
public:
    enum class Phase { Idle, Request, Closing };
    Connection(QTcpSocket *s, const http::Handler &handler, QObject *parent)
        : QObject(parent), socket(s), session(handler), timer(this)
    {
        socket->setParent(this);
        timer.setSingleShot(true);
        out.reserve(4096);
    }
    QTcpSocket *socket;
    http::Session session;
    QTimer timer;
    QByteArray out;
    Phase phase = Phase::Idle;
    bool dropped = false;
    bool serveQueued = false;
};

HttpResponder::HttpResponder(http::Handler handler, QObject *parent)
    : QObject(parent), m_handler(std::move(handler))
{
    connect(&m_server, &QTcpServer::newConnection, this, &HttpResponder::acceptConnections);
}

HttpResponder::~HttpResponder()
{
    for (Connection *c : m_connections) {
        c->socket->disconnect();
        delete c;
    }
    m_connections.clear();
}

bool HttpResponder::listen(const QHostAddress &address, quint16 port, QString *error)
{
    if (m_server.listen(address, port))
        return true;
    if (error)
        *error = m_server.errorString();
    return false;
}

void HttpResponder::close()
{
    m_server.close();
    const std::vector<Connection *> open = m_connections;
    for (Connection *c : open) {
        c->socket->abort();
        drop(c);
    }
}

void HttpResponder::acceptConnections()
{
    while (m_server.hasPendingConnections()) {
        QTcpSocket *socket = m_server.nextPendingConnection();
        if (!socket)
            break;
        if (int(m_connections.size()) >= maxConnections) {
            // Logged at most every 10 s, so that a flood does not flood the log too.
            ++m_refusedSinceLog;
            if (!m_lastRefusalLog.isValid() || m_lastRefusalLog.elapsed() >= 10000) {
                qCWarning(lcRemote).noquote()
                    << QStringLiteral("refused %1 connection(s) to the metrics endpoint, the "
                                      "last from %2: %3 connections are open already")
                           .arg(m_refusedSinceLog)
                           .arg(socket->peerAddress().toString())
                           .arg(maxConnections);
                m_lastRefusalLog.start();
                m_refusedSinceLog = 0;
            }
            socket->close();
            socket->deleteLater();
            continue;
        }
        socket->setReadBufferSize(2 * http::maxRequestBytes);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        auto *c = new Connection(socket, m_handler, this);
        m_connections.push_back(c);
        connect(socket, &QTcpSocket::readyRead, c, [this, c] { serve(c); });
        connect(socket, &QTcpSocket::bytesWritten, c, [this, c] { serve(c); });
        connect(
            socket, &QTcpSocket::disconnected, c, [this, c] { drop(c); }, Qt::QueuedConnection);
        // A reset connection ends without the usual goodbye; it is dropped all the same.
        connect(socket, &QAbstractSocket::errorOccurred, c, [this, c] {
            if (c->socket->state() == QAbstractSocket::UnconnectedState)
                QMetaObject::invokeMethod(
                    c, [this, c] { drop(c); }, Qt::QueuedConnection);
        });
        connect(&c->timer, &QTimer::timeout, c, [this, c] { timerFired(c); });
        c->timer.start(m_idleTimeoutMs);
        if (socket->bytesAvailable() > 0)
            serve(c);
    }
}

void HttpResponder::serve(Connection *c)
{
    c->serveQueued = false;
    if (c->dropped)
        return;
    if (c->session.closing()) {
        // Bytes after the last request are read and dropped while the replies
        // go out, so that the kernel does not reset the connection for unread
        // data and lose them.
        c->socket->skip(c->socket->bytesAvailable());
        return;
    }
    int budget = answersPerTurn;
    bool answered = false;
    for (;;) {
        if (c->socket->bytesToWrite() > maxPendingOutput)
            break; // bytesWritten calls again
        if (!c->session.pending()) {
            const int room = c->session.room();
            const qint64 got = room > 0 ? c->socket->read(c->session.receiveBuffer(), room) : 0;
            if (got <= 0)
                break;
            c->session.received(int(got));
        }
        const int n = c->session.answer(c->out, budget);
        budget -= n;
        answered = answered || n > 0;
        if (!c->out.isEmpty()) {
            c->socket->write(c->out);
            c->out.resize(0);
            c->socket->flush();
        }
        if (c->session.closing()) {
            startClosing(c);
            return;
        }
        if (budget <= 0) {
            if (!c->serveQueued) {
                c->serveQueued = true;
                QMetaObject::invokeMethod(
                    c, [this, c] { serve(c); }, Qt::QueuedConnection);
            }
            break;
        }
    }
    // The request clock starts with a request's first byte; the idle clock
    // when the last request held has been answered.
    const auto phase =
        c->session.midRequest() ? Connection::Phase::Request : Connection::Phase::Idle;
    if (phase != c->phase || (answered && phase == Connection::Phase::Request)) {
        c->phase = phase;
        c->timer.start(phase == Connection::Phase::Request ? m_requestTimeoutMs : m_idleTimeoutMs);
    }
}

// Replies still to go out are written first; a client that does not take them
// within the request timeout is cut off.
void HttpResponder::startClosing(Connection *c)
{
    if (c->phase == Connection::Phase::Closing)
        return;
    c->phase = Connection::Phase::Closing;
    c->timer.start(m_requestTimeoutMs);
    c->socket->disconnectFromHost();
}

void HttpResponder::timerFired(Connection *c)
{
    if (c->dropped)
        return;
    switch (c->phase) {
    case Connection::Phase::Request:
        qCDebug(lcRemote) << "closing a metrics connection: the request took too long";
        c->session.timedOut(c->out);
        c->socket->write(c->out);
        c->out.resize(0);
        startClosing(c);
        break;
    case Connection::Phase::Idle: startClosing(c); break;
    case Connection::Phase::Closing:
        c->socket->abort();
        drop(c);
        break;
    }
}

void HttpResponder::drop(Connection *c)
{
    if (c->dropped)
        return;
    c->dropped = true;
    c->timer.stop();
    c->socket->disconnect(c);
    m_connections.erase(std::find(m_connections.begin(), m_connections.end(), c));
    c->deleteLater();
}
