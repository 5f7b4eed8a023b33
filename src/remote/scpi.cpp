#include "remote/scpi.h"
#include "bert/diagnostics.h"

#include <QMetaObject>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>


namespace scpi {

namespace {

// No SCPI tree is this deep; longer headers are undefined without being stored.
constexpr int MaxHeaderNodes = 16;
// What a -363 marker for dropped input counts in the backlog.
constexpr int OverrunCost = 64;

// IEEE 488.2 white space: every control character and space, LF excepted
// (LF ends the line and never reaches the parser).
bool isSpace(char c)
{
    return uchar(c) <= 0x20 && c != '\n';
}
bool isAlpha(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// #H1F, #B101, #Q17: the digits as an unsigned 64-bit value.
bool parseRadix(const QByteArray &raw, quint64 *value)
{
    if (raw.size() < 3 || raw[0] != '#')
        return false;
    int radix;
    switch (raw[1]) {
    case 'H':
    case 'h': radix = 16; break;
    case 'B':
    case 'b': radix = 2; break;
    case 'Q':
    case 'q': radix = 8; break;
    default: return false;
    }
    quint64 v = 0;
    for (int i = 2; i < raw.size(); ++i) {
        const char c = raw[i];
        int d;
        if (isDigit(c))
            d = c - '0';
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else
            return false;
        if (d >= radix || v > (std::numeric_limits<quint64>::max() - quint64(d)) / quint64(radix))
            return false;
        v = v * quint64(radix) + quint64(d);
    }
    *value = v;
    return true;
}

// [+-] digits [. digits] [E [+-] digits], at least one digit before the exponent.
// integral: no fraction and no exponent.
bool isDecimal(const QByteArray &raw, bool *integral)
{
    const int n = raw.size();
    int i = 0;
    if (i < n && (raw[i] == '+' || raw[i] == '-'))
        ++i;
    int digits = 0;
    for (; i < n && isDigit(raw[i]); ++i)
        ++digits;
    *integral = true;
    if (i < n && raw[i] == '.') {
        *integral = false;
        for (++i; i < n && isDigit(raw[i]); ++i)
            ++digits;
    }
    if (digits == 0)
        return false;
    if (i < n && (raw[i] == 'E' || raw[i] == 'e')) {
        *integral = false;
        ++i;
        if (i < n && (raw[i] == '+' || raw[i] == '-'))
            ++i;
        int exponent = 0;
        for (; i < n && isDigit(raw[i]); ++i)
            ++exponent;
        if (exponent == 0)
            return false;
    }
    return i == n;
}

// A reply element must not break the one-line reply.
QByteArray oneLine(QByteArray text)
{
    for (char &c : text) {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
    return text;
}

QByteArray formatError(const Error &error)
{
    return formatInteger(error.code) + ',' + quoted(error.text);
}

} // namespace

QByteArray formatInteger(qint64 value)
{
    return QByteArray::number(value);
}

QByteArray formatReal(double value)
{
    if (std::isnan(value))
        return formatNone();
    if (std::isinf(value))
        return value > 0 ? QByteArrayLiteral("9.9E+37") : QByteArrayLiteral("-9.9E+37");
    // QString::asprintf formats in the C locale whatever LC_NUMERIC says.
    return QString::asprintf("%.6E", value).toLatin1();
}

QByteArray formatNone()
{
    return QByteArrayLiteral("9.91E+37");
}

QByteArray quoted(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size() + 2);
    out += '"';
    for (char c : utf8) {
        if (c == '"')
            out += "\"\"";
        else if (uchar(c) < 0x20 || c == 0x7f)
            out += ' ';
        else
            out += c;
    }
    out += '"';
    return out;
}

// ---------------------------------------------------------------------------
// Param

bool Param::toDouble(double *value) const
{
    if (m_string)
        return false;
    quint64 u;
    if (parseRadix(m_raw, &u)) {
        *value = double(u);
        return true;
    }
    bool integral;
    if (!isDecimal(m_raw, &integral))
        return false;
    bool ok;
    const double v = m_raw.toDouble(&ok);
    if (!ok && v != 0) // beyond a double; an underflow reads as 0
        return false;
    if (!std::isfinite(v))
        return false;
    *value = v;
    return true;
}

bool Param::toInteger(qint64 *value) const
{
    if (m_string)
        return false;
    quint64 u;
    if (parseRadix(m_raw, &u)) {
        if (u > quint64(std::numeric_limits<qint64>::max()))
            return false;
        *value = qint64(u);
        return true;
    }
    bool integral;
    if (!isDecimal(m_raw, &integral))
        return false;
    if (integral) { // exact, even beyond 2^53
        bool ok;
        const qint64 v = m_raw.toLongLong(&ok);
        if (ok)
            *value = v;
        return ok;
    }
    double d;
    if (!toDouble(&d))
        return false;
    d = std::round(d);
    if (!(std::fabs(d) < 9.2e18))
        return false;
    *value = qint64(d);
    return true;
}

bool Param::toBool(bool *value) const
{
    if (m_string)
        return false;
    const QByteArray word = m_raw.toUpper();
    if (word == "ON" || word == "1") {
        *value = true;
        return true;
    }
    if (word == "OFF" || word == "0") {
        *value = false;
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// Call

Call::Call(Session *session, const QByteArray &header, bool query, const QList<Param> &params)
    : m_session(session), m_header(header), m_params(params), m_query(query)
{
}

bool Call::number(int i, double *value)
{
    if (i < 0 || i >= m_params.size()) {
        fail(MissingParameter);
        return false;
    }
    if (!m_params[i].toDouble(value)) {
        fail(DataTypeError);
        return false;
    }
    return true;
}

bool Call::integer(int i, qint64 *value)
{
    if (i < 0 || i >= m_params.size()) {
        fail(MissingParameter);
        return false;
    }
    if (!m_params[i].toInteger(value)) {
        double d;
        fail(m_params[i].toDouble(&d) ? DataOutOfRange : DataTypeError);
        return false;
    }
    return true;
}

bool Call::boolean(int i, bool *value)
{
    if (i < 0 || i >= m_params.size()) {
        fail(MissingParameter);
        return false;
    }
    if (!m_params[i].toBool(value)) {
        fail(m_params[i].isString() ? DataTypeError : IllegalParameterValue);
        return false;
    }
    return true;
}

void Call::reply(const QByteArray &text)
{
    if (!m_query) {
        qCWarning(lcRemote, "%s is not a query: its reply is ignored", m_header.constData());
        complete(Outcome::Done, {}, {});
        return;
    }
    complete(Outcome::Reply, text, {});
}

void Call::fail(const Error &error)
{
    complete(Outcome::Fail, {}, error);
}

void Call::done()
{
    if (m_query) {
        qCWarning(lcRemote, "%s? completed without a reply", m_header.constData());
        complete(Outcome::Fail, {}, ExecutionError.detail(QStringLiteral("no reply")));
        return;
    }
    complete(Outcome::Done, {}, {});
}

void Call::complete(Outcome outcome, const QByteArray &text, const Error &error)
{
    if (m_complete) {
        qCWarning(lcRemote, "%s completed twice; the second time is ignored", m_header.constData());
        return;
    }
    m_complete = true;
    if (Session *session = m_session.data())
        session->finish(this, outcome, text, error);
}

// ---------------------------------------------------------------------------
// CommandSet

namespace {

bool matches(const std::vector<CommandSet::Node> &pattern, size_t p,
             const QList<QByteArray> &header, int h)
{
    if (p == pattern.size())
        return h == header.size();
    const CommandSet::Node &node = pattern[p];
    if (h < header.size() && (header[h] == node.shortForm || header[h] == node.longForm) &&
        matches(pattern, p + 1, header, h + 1))
        return true;
    return node.optional && matches(pattern, p + 1, header, h);
}

} // namespace

CommandSet::CommandSet()
{
    // The engine's own commands. Their handlers run synchronously inside the
    // session, so call->session() is never null there.
    add(QStringLiteral("*CLS"), [](CallPtr call) {
        Session *s = call->session();
        s->m_errors.clear();
        s->m_esr = 0;
        s->m_opcMarks.clear();
        call->done();
    });
    add(QStringLiteral("*ESE"), 1, [](CallPtr call) {
        qint64 v;
        if (!call->integer(0, &v))
            return;
        if (v < 0 || v > 255) {
            call->fail(DataOutOfRange);
            return;
        }
        call->session()->m_ese = int(v);
        call->done();
    });
    add(QStringLiteral("*ESE?"), [](CallPtr call) { call->reply(call->session()->m_ese); });
    add(QStringLiteral("*ESR?"), [](CallPtr call) {
        Session *s = call->session();
        const int esr = s->m_esr;
        s->m_esr = 0;
        call->reply(esr);
    });
    add(QStringLiteral("*STB?"), [](CallPtr call) { call->reply(call->session()->statusByte()); });
    add(QStringLiteral("*SRE"), 1, [](CallPtr call) {
        qint64 v;
        if (!call->integer(0, &v))
            return;
        if (v < 0 || v > 255) {
            call->fail(DataOutOfRange);
            return;
        }
        call->session()->m_sre = int(v) & ~0x40; // bit 6 summarises, it cannot be enabled
        call->done();
    });
    add(QStringLiteral("*SRE?"), [](CallPtr call) { call->reply(call->session()->m_sre); });
    add(QStringLiteral("*OPC"), [](CallPtr call) {
        Session *s = call->session();
        if (s->m_opcMarks.size() >= 64) // bounded: the newest mark takes over the last one
            s->m_opcMarks.back() = s->m_lastOperation;
        else if (s->m_opcMarks.empty() || s->m_opcMarks.back() != s->m_lastOperation)
            s->m_opcMarks.push_back(s->m_lastOperation);
        s->checkOperations();
        call->done();
    });
    add(QStringLiteral("*OPC?"),
        [](CallPtr call) { call->session()->waitForOperations(call, true); });
    add(QStringLiteral("*WAI"),
        [](CallPtr call) { call->session()->waitForOperations(call, false); });
    add(QStringLiteral("*RST"), [](CallPtr call) {
        Session *s = call->session();
        s->m_errors.clear();
        s->m_opcMarks.clear();
        if (s->m_set->m_reset)
            s->m_set->m_reset(call);
        else
            call->done();
    });
    add(QStringLiteral("*TST?"), [](CallPtr call) { call->reply(0); });
    add(QStringLiteral("SYSTem:ERRor[:NEXT]?"), [](CallPtr call) {
        Session *s = call->session();
        if (s->m_errors.empty()) {
            call->reply(formatError(NoError));
            return;
        }
        const Error e = s->m_errors.front();
        s->m_errors.pop_front();
        call->reply(formatError(e));
    });
    add(QStringLiteral("SYSTem:ERRor:COUNt?"),
        [](CallPtr call) { call->reply(call->session()->errorCount()); });
    add(QStringLiteral("SYSTem:VERSion?"), [](CallPtr call) { call->reply("1999.0"); });
    m_buildingIn = false;
}

void CommandSet::add(const QString &pattern, int minParams, int maxParams, Handler handler)
{
    Entry entry;
    entry.pattern = pattern;
    entry.minParams = qMax(0, minParams);
    entry.maxParams = qMax(entry.minParams, maxParams);
    entry.handler = std::move(handler);
    QByteArray text = pattern.trimmed().toLatin1();
    if (text.endsWith('?')) {
        entry.query = true;
        text.chop(1);
    }
    if (text.startsWith('*')) {
        entry.nodes.push_back({text.toUpper(), text.toUpper(), false});
    } else {
        bool bracket = false;
        QByteArray node;
        auto flush = [&] {
            if (node.isEmpty())
                return;
            int s = 0;
            while (s < node.size() && !(node[s] >= 'a' && node[s] <= 'z'))
                ++s;
            entry.nodes.push_back({node.left(s).toUpper(), node.toUpper(), bracket});
            node.clear();
        };
        for (char c : text) {
            if (c == '[' || c == ']' || c == ':') {
                flush();
                if (c != ':')
                    bracket = c == '[';
            } else {
                node += c;
            }
        }
        flush();
    }
    if (entry.nodes.empty() || entry.nodes.front().shortForm.isEmpty()) {
        qCWarning(lcRemote) << "SCPI pattern" << pattern << "has no command: ignored";
        return;
    }
    if (!m_buildingIn && !entry.query && entry.nodes.size() == 1 &&
        entry.nodes.front().longForm == "*RST") {
        m_reset = std::move(entry.handler);
        return;
    }
    for (Entry &e : m_entries) {
        if (e.query == entry.query && e.pattern.compare(pattern, Qt::CaseInsensitive) == 0) {
            e = std::move(entry);
            return;
        }
    }
    m_entries.push_back(std::move(entry));
}

const CommandSet::Entry *CommandSet::find(const QList<QByteArray> &header, bool query) const
{
    for (const Entry &e : m_entries) {
        if (e.query == query && matches(e.nodes, 0, header, 0))
            return &e;
    }
    return nullptr;
}

// ---------------------------------------------------------------------------
// Session

Session::Session(const CommandSet *set, QObject *parent) : QObject(parent), m_set(set) {}

Session::~Session() = default;

int Session::backlog() const
{
    return m_queuedBytes + m_partial.size();
}

void Session::receive(const QByteArray &bytes)
{
    const char *p = bytes.constData();
    const char *const end = p + bytes.size();
    while (p < end) {
        const char *lf = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)));
        const char *stop = lf ? lf : end;
        if (!m_discarding) {
            // A CR may stand after the longest line, since it belongs to the ending.
            const qint64 n = stop - p;
            const qint64 total = m_partial.size() + n;
            if (total > MaxLineLength + 1 ||
                (total == MaxLineLength + 1 && n > 0 && stop[-1] != '\r')) {
                m_partial.clear();
                m_discarding = true;
                queueOverrun();
            } else {
                m_partial.append(p, int(n));
            }
        }
        if (!lf)
            break;
        if (m_discarding) {
            m_discarding = false;
        } else {
            QByteArray line;
            line.swap(m_partial);
            if (line.endsWith('\r'))
                line.chop(1);
            queueLine(line);
        }
        p = lf + 1;
    }
    pump();
}

void Session::queueLine(const QByteArray &line)
{
    if (std::all_of(line.begin(), line.end(), isSpace))
        return;
    if (m_queuedBytes + line.size() > MaxBacklog) {
        queueOverrun();
        return;
    }
    m_lines.push_back({line, false});
    m_queuedBytes += line.size();
}

void Session::queueOverrun()
{
    // Past the bound, consecutive drops share one -363.
    if (m_queuedBytes + OverrunCost > MaxBacklog && !m_lines.empty() && m_lines.back().overrun)
        return;
    m_lines.push_back({QByteArray(), true});
    m_queuedBytes += OverrunCost;
}

void Session::parseLine(const QByteArray &line)
{
    QList<QByteArray> path;
    const char *p = line.constData();
    const char *const end = p + line.size();
    const char *start = p;
    char quote = 0;
    for (; p < end; ++p) {
        if (quote) {
            if (*p == quote) // a doubled quote closes and reopens: still inside
                quote = 0;
        } else if (*p == '"' || *p == '\'') {
            quote = *p;
        } else if (*p == ';') {
            parseUnit(start, p, path);
            start = p + 1;
        }
    }
    parseUnit(start, end, path);
}

void Session::parseUnit(const char *begin, const char *end, QList<QByteArray> &path)
{
    while (begin < end && isSpace(*begin))
        ++begin;
    while (end > begin && isSpace(end[-1]))
        --end;
    if (begin == end) // empty between two ';' or after the last one
        return;
    Unit unit;
    const char *h = begin;
    while (h < end && !isSpace(*h))
        ++h;
    QByteArray body = QByteArray(begin, int(h - begin)).toUpper();
    unit.header = body;
    if (body.endsWith('?')) {
        unit.query = true;
        body.chop(1);
    }
    bool valid = true;
    if (body.startsWith('*')) {
        valid = body.size() > 1 && std::all_of(body.begin() + 1, body.end(), isAlpha);
        unit.nodes = {body};
    } else {
        const bool absolute = body.startsWith(':');
        if (absolute)
            body.remove(0, 1);
        const QList<QByteArray> nodes = body.split(':');
        for (const QByteArray &node : nodes) {
            valid = valid && !node.isEmpty() && isAlpha(node[0]) &&
                    std::all_of(node.begin(), node.end(),
                                [](char c) { return isAlpha(c) || isDigit(c) || c == '_'; });
        }
        if (valid) {
            if ((absolute ? 0 : path.size()) + nodes.size() > MaxHeaderNodes) {
                unit.error = UndefinedHeader;
            } else {
                unit.nodes = absolute ? nodes : path + nodes;
                path = unit.nodes.mid(0, unit.nodes.size() - 1);
                unit.header = unit.nodes.join(':') + (unit.query ? "?" : "");
            }
        }
    }
    if (!valid) {
        unit.error = SyntaxError;
        m_units.push_back(std::move(unit));
        return;
    }

    // Parameters: after white space, separated by commas.
    const char *p = h;
    while (p < end && isSpace(*p))
        ++p;
    while (p < end && !unit.error.code) {
        while (p < end && isSpace(*p))
            ++p;
        if (p == end) { // nothing after a comma
            unit.error = SyntaxError;
            break;
        }
        const char *start = p;
        if (*p == '"' || *p == '\'') {
            const char quote = *p++;
            QByteArray text;
            bool closed = false;
            while (p < end) {
                if (*p == quote) {
                    if (p + 1 < end && p[1] == quote) {
                        text += quote;
                        p += 2;
                        continue;
                    }
                    ++p;
                    closed = true;
                    break;
                }
                text += *p++;
            }
            if (!closed) {
                unit.error = SyntaxError;
                break;
            }
            unit.params.append(
                Param(QByteArray(start, int(p - start)), true, QString::fromUtf8(text)));
        } else {
            while (p < end && *p != ',' && !isSpace(*p)) {
                if (*p == '"' || *p == '\'')
                    unit.error = SyntaxError;
                ++p;
            }
            const QByteArray raw(start, int(p - start));
            unit.params.append(Param(raw, false, QString::fromUtf8(raw)));
        }
        while (p < end && isSpace(*p))
            ++p;
        if (p == end)
            break;
        if (*p != ',') { // two words without a comma, or junk after a string
            unit.error = SyntaxError;
            break;
        }
        ++p;
        if (p == end)
            unit.error = SyntaxError;
    }
    m_units.push_back(std::move(unit));
}

void Session::pump()
{
    if (m_pumping)
        return;
    m_pumping = true;
    const QPointer<Session> alive(this);
    while (!m_current) {
        if (m_next >= m_units.size()) {
            if (m_lines.empty())
                break;
            const Line line = std::move(m_lines.front());
            m_lines.pop_front();
            m_queuedBytes -= line.overrun ? OverrunCost : line.text.size();
            m_units.clear();
            m_next = 0;
            if (line.overrun) {
                Unit unit;
                unit.error = InputBufferOverrun;
                m_units.push_back(unit);
            } else {
                parseLine(line.text);
            }
            continue;
        }
        const Unit &unit = m_units[m_next++];
        if (!run(unit) && alive)
            unitDone();
        if (!alive)
            return;
    }
    m_pumping = false;
}

void Session::scheduledPump()
{
    m_pumpScheduled = false;
    const QPointer<Session> alive(this);
    pump();
    if (alive)
        emit progressed();
}

bool Session::run(const Unit &unit)
{
    if (unit.error.code) {
        pushError(unit.error);
        return false;
    }
    const CommandSet::Entry *entry = m_set->find(unit.nodes, unit.query);
    if (!entry) {
        pushError(UndefinedHeader);
        return false;
    }
    if (unit.params.size() < entry->minParams) {
        pushError(MissingParameter);
        return false;
    }
    if (unit.params.size() > entry->maxParams) {
        pushError(ParameterNotAllowed);
        return false;
    }
    // A copy: the handler may register commands and so move the entry.
    const Handler handler = entry->handler;
    m_current = CallPtr(new Call(this, unit.header, unit.query, unit.params));
    handler(m_current);
    return true;
}

void Session::unitDone()
{
    if (m_next < m_units.size())
        return;
    // The line's last command is complete: its reply goes out as one line.
    m_units.clear();
    m_next = 0;
    if (m_replies.isEmpty())
        return;
    QByteArray line = m_replies.join(';');
    line += '\n';
    m_replies.clear();
    emit output(line);
}

void Session::finish(Call *call, Call::Outcome outcome, const QByteArray &text, const Error &error)
{
    if (!m_current || m_current.get() != call)
        return;
    switch (outcome) {
    case Call::Outcome::Reply: m_replies.append(oneLine(text)); break;
    case Call::Outcome::Fail: pushError(error); break;
    case Call::Outcome::Done: break;
    }
    const CallPtr finished = std::move(m_current);
    m_current.reset();
    if (m_waiting.get() == call)
        m_waiting.reset();
    const QPointer<Session> alive(this);
    unitDone();
    // Completed later, from the event loop: the commands behind it run from
    // there too, not inside whatever code completed it.
    if (alive && !m_pumping && !m_pumpScheduled) {
        m_pumpScheduled = true;
        QMetaObject::invokeMethod(this, &Session::scheduledPump, Qt::QueuedConnection);
    }
}

quint64 Session::beginOperation()
{
    const quint64 id = ++m_lastOperation;
    m_operations.insert(id);
    return id;
}

void Session::endOperation(quint64 id)
{
    if (m_operations.empty() || (id != 0 && m_operations.find(id) == m_operations.end())) {
        qCWarning(lcRemote, "an operation ended that was not running");
        return;
    }
    m_operations.erase(id == 0 ? m_operations.begin() : m_operations.find(id));
    checkOperations();
}

void Session::checkOperations()
{
    const quint64 oldest =
        m_operations.empty() ? std::numeric_limits<quint64>::max() : *m_operations.begin();
    while (!m_opcMarks.empty() && m_opcMarks.front() < oldest) {
        m_esr |= 0x01;
        m_opcMarks.erase(m_opcMarks.begin());
    }
    if (m_waiting && m_waitMark < oldest) {
        const CallPtr waiting = std::move(m_waiting);
        m_waiting.reset();
        if (m_waitReplies)
            waiting->reply(formatInteger(1));
        else
            waiting->done();
    }
}

void Session::waitForOperations(const CallPtr &call, bool reply)
{
    m_waiting = call;
    m_waitMark = m_lastOperation;
    m_waitReplies = reply;
    checkOperations();
}

void Session::pushError(const Error &error)
{
    const int c = error.code;
    if (c == 0)
        return;
    if (c <= -100 && c > -200)
        m_esr |= 0x20; // command error
    else if (c <= -200 && c > -300)
        m_esr |= 0x10; // execution error
    else if (c <= -400 && c > -500)
        m_esr |= 0x04; // query error
    else
        m_esr |= 0x08; // device-specific, -3xx and the instrument's own codes
    if (int(m_errors.size()) < ErrorQueueSize) {
        m_errors.push_back(error);
    } else {
        m_errors.back() = QueueOverflow;
        m_esr |= 0x08;
    }
}

int Session::statusByte() const
{
    int stb = 0;
    if (!m_errors.empty())
        stb |= 0x04;
    if (m_esr & m_ese)
        stb |= 0x20;
    if (stb & m_sre)
        stb |= 0x40;
    return stb;
}

} // namespace scpi
