// The scrape endpoint as Prometheus sees it: the exposition text for worked
// figures, then HTTP through real sockets on loopback (status lines, headers,
// keep-alive, and the limits on slow, large and too many clients).
#include "remote/metricsserver.h"

#include "expected_exposition.h"

#include <QRegularExpression>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

#include <cmath>
#include <limits>
#include <memory>

using metrics::Format;
using metrics::InstrumentFigures;

namespace {

// 10GBASE-R at 1550.12 nm, 1.616e12 bits without an error.
InstrumentFigures fullInstrument()
{
    InstrumentFigures f;
    f.serial = QStringLiteral("CV2417-0042");
    f.model = QStringLiteral("NanoTb");
    f.port = QStringLiteral("/dev/ttyACM0");
    f.connected = true;
    f.bits = 1.616e12;
    f.errors = 0;
    f.ber = 0;
    f.rateBps = 10312500000.0;
    f.rxDbm = -3.2;
    f.txDbm = 1.1;
    f.temperatureC = 42.1;
    f.wavelengthNm = 1550.12;
    f.signal = true;
    f.sync = true;
    f.lastRecordUnixSeconds = 1714000000.25;
    f.confidence = 0.8013;
    return f;
}

// Counters only; everything else shows dashes, and the record is stale.
InstrumentFigures dashedInstrument()
{
    InstrumentFigures f;
    f.serial = QStringLiteral("CV2417-0043");
    f.model = QStringLiteral("NanoTb");
    f.port = QStringLiteral("/dev/ttyACM1");
    f.connected = true;
    f.stale = true;
    f.bits = 5e9;
    f.errors = 12;
    return f;
}

const char buildLine[] = "corvane_build_info{version=\"2.61\",qt=\"5.15.8\"} 1\n";

QByteArray scrape(const QList<InstrumentFigures> &instruments, Format format = Format::Prometheus)
{
    return metrics::exposition(instruments, format, QStringLiteral("2.61"),
                               QStringLiteral("5.15.8"));
}

QByteArrayList samplesOf(const QByteArray &text, const QByteArray &family)
{
    QByteArrayList found;
    for (const QByteArray &line : text.split('\n'))
        if (line.startsWith(family + '{'))
            found << line;
    return found;
}

// One reply as a client reads it off the wire.
struct Response {
    int status = 0;
    QByteArray statusLine;
    QByteArray head; // status line and headers, up to the empty line
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;

    QByteArray header(const QByteArray &name) const
    {
        for (const auto &h : headers)
            if (h.first.compare(name, Qt::CaseInsensitive) == 0)
                return h.second;
        return {};
    }
    bool hasHeader(const QByteArray &name) const
    {
        for (const auto &h : headers)
            if (h.first.compare(name, Qt::CaseInsensitive) == 0)
                return true;
        return false;
    }
};

// A client on a real socket, reading replies framed by their Content-Length.
class Client
{
public:
    explicit Client(quint16 port)
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { bytes += socket.readAll(); });
        QObject::connect(&socket, &QTcpSocket::disconnected, [this] { closed = true; });
        socket.connectToHost(QHostAddress::LocalHost, port);
        waitConnected();
    }
    bool waitConnected()
    {
        return QTest::qWaitFor([this] { return socket.state() == QAbstractSocket::ConnectedState; },
                               10000);
    }
    void send(const QByteArray &data)
    {
        QVERIFY(waitConnected());
        socket.write(data);
        socket.flush();
    }
    // The next complete reply; status 0 if none came within 10 s.
    Response next()
    {
        Response r;
        (void)QTest::qWaitFor([&] { return take(&r); }, 10000);
        return r;
    }
    bool waitClosed()
    {
        return QTest::qWaitFor([this] { return closed; }, 10000);
    }

    QTcpSocket socket;
    QByteArray bytes;
    bool closed = false;

private:
    bool take(Response *r)
    {
        const int end = bytes.indexOf("\r\n\r\n");
        if (end < 0)
            return false;
        r->head = bytes.left(end);
        const QByteArrayList lines = r->head.split('\n');
        r->statusLine = lines.first().trimmed();
        r->status = r->statusLine.split(' ').value(1).toInt();
        r->headers.clear();
        for (int i = 1; i < lines.size(); ++i) {
            const int colon = lines[i].indexOf(':');
            r->headers.append({lines[i].left(colon), lines[i].mid(colon + 1).trimmed()});
        }
        const int length = r->header("Content-Length").toInt();
        if (bytes.size() < end + 4 + length)
            return false;
        r->body = bytes.mid(end + 4, length);
        bytes.remove(0, end + 4 + length);
        return true;
    }
};

QByteArray get(const QByteArray &target = "/metrics", const QByteArray &extra = QByteArray())
{
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra + "\r\n";
}

} // namespace

class TstMetrics : public QObject
{
    Q_OBJECT

private:
    QList<InstrumentFigures> m_figures;
    std::unique_ptr<MetricsServer> m_server;

    quint16 startServer()
    {
        m_server = std::make_unique<MetricsServer>([this] { return m_figures; });
        QString error;
        if (!m_server->listen(QHostAddress::LocalHost, 0, &error))
            qWarning("listen: %s", qPrintable(error));
        return m_server->port();
    }

private slots:
    void init() { m_figures = {dashedInstrument()}; }
    void cleanup() { m_server.reset(); }

    // ---- The exposition text ------------------------------------------------

    void oneInstrument() { QCOMPARE(scrape({fullInstrument()}), QByteArray(expected::fullText)); }

    // A family without any sample goes altogether; the dashed instrument keeps
    // its counters and flags.
    void dashedValuesLeftOut()
    {
        QCOMPARE(scrape({dashedInstrument()}),
                 QByteArray(expected::buildPrometheus) + expected::dashedPrometheus);
    }

    // How each kind of value is written, and the values that never are.
    void values_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<double>("value");
        QTest::addColumn<QByteArray>("sample"); // empty: no sample at all
        const QByteArray labels =
            "{serial=\"CV2417-0042\",model=\"NanoTb\",port=\"/dev/ttyACM0\"} ";
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();
        QTest::newRow("count zero") << "bits" << 0.0 << "corvane_bit_count_total" + labels + "0";
        QTest::newRow("count 2^53 - 1") << "bits" << 9007199254740991.0
                                        << "corvane_bit_count_total" + labels + "9007199254740991";
        QTest::newRow("count 1e17")
            << "bits" << 1e17 << "corvane_bit_count_total" + labels + "1e+17";
        QTest::newRow("count 1e17 + 16")
            << "bits" << 100000000000000016.0
            << "corvane_bit_count_total" + labels + "100000000000000016";
        QTest::newRow("count went down")
            << "errors" << 3.0 << "corvane_error_count_total" + labels + "3";
        QTest::newRow("negative count") << "errors" << -1.0 << QByteArray();
        QTest::newRow("NaN count") << "bits" << nan << QByteArray();
        QTest::newRow("BER 1.5e-11") << "ber" << 1.5e-11 << "corvane_ber" + labels + "1.5e-11";
        QTest::newRow("BER one third")
            << "ber" << 1.0 / 3 << "corvane_ber" + labels + "0.3333333333333333";
        QTest::newRow("BER infinite") << "ber" << inf << QByteArray();
        QTest::newRow("rx -40") << "rx" << -40.0 << "corvane_rx_power_dbm" + labels + "-40";
        QTest::newRow("rx minus zero") << "rx" << -0.0 << "corvane_rx_power_dbm" + labels + "0";
        QTest::newRow("rate 25.78125 Gb/s")
            << "rate" << 25781250000.0
            << "corvane_line_rate_bit_per_second" + labels + "25781250000";
        QTest::newRow("1310 nm") << "wavelength" << 1310.0
                                 << "corvane_wavelength_meters" + labels + "1.31e-06";
        QTest::newRow("1271.5 nm")
            << "wavelength" << 1271.5 << "corvane_wavelength_meters" + labels + "1.2715e-06";
        QTest::newRow("temperature -5.5")
            << "temperature" << -5.5 << "corvane_temperature_celsius" + labels + "-5.5";
        QTest::newRow("timestamp with milliseconds")
            << "timestamp" << 1714000000.123
            << "corvane_last_record_timestamp_seconds" + labels + "1714000000.123";
        QTest::newRow("confidence 1")
            << "confidence" << 1.0
            << QByteArray("corvane_confidence_ratio{serial=\"CV2417-0042\",model=\"NanoTb\","
                          "port=\"/dev/ttyACM0\",target=\"1e-12\"} 1");
        QTest::newRow("confidence NaN") << "confidence" << nan << QByteArray();
    }
    void values()
    {
        QFETCH(QString, field);
        QFETCH(double, value);
        QFETCH(QByteArray, sample);
        InstrumentFigures f = fullInstrument();
        const QHash<QString, std::optional<double> *> fields = {
            {"bits", &f.bits},
            {"errors", &f.errors},
            {"ber", &f.ber},
            {"rx", &f.rxDbm},
            {"rate", &f.rateBps},
            {"wavelength", &f.wavelengthNm},
            {"temperature", &f.temperatureC},
            {"timestamp", &f.lastRecordUnixSeconds},
            {"confidence", &f.confidence}};
        *fields.value(field) = value;
        const QByteArray text = scrape({f});
        const QByteArray family =
            sample.isEmpty() ? QByteArray() : sample.left(sample.indexOf('{'));
        if (sample.isEmpty()) {
            for (const QByteArray &line : text.split('\n'))
                for (const char *bad : {" nan", " NaN", " inf", " Inf", " +Inf", " -inf", " -Inf"})
                    QVERIFY2(!line.endsWith(bad), line.constData());
            // The family of that field has no sample left.
            const QHash<QString, QByteArray> familyOf = {
                {"bits", "corvane_bit_count_total"},
                {"errors", "corvane_error_count_total"},
                {"ber", "corvane_ber"},
                {"confidence", "corvane_confidence_ratio"}};
            QCOMPARE(samplesOf(text, familyOf.value(field)), QByteArrayList());
        } else {
            QCOMPARE(samplesOf(text, family), QByteArrayList{sample});
        }
    }

    // Every family is introduced once, whatever the number of instruments; the
    // dashed instrument is simply missing where it has no value.
    void twoInstruments()
    {
        const QByteArray text = scrape({fullInstrument(), dashedInstrument()});
        const QByteArrayList lines = text.split('\n');
        QCOMPARE(lines.count("# TYPE corvane_bit_count_total counter"), 1);
        QCOMPARE(lines.count("# TYPE corvane_rx_power_dbm gauge"), 1);
        QCOMPARE(lines.count("# TYPE corvane_stale gauge"), 1);
        QVERIFY(text.contains(expected::twoErrorCounts));
        QVERIFY(text.contains(expected::twoRxPowers));
        QVERIFY(text.contains(expected::twoStales));
        QCOMPARE(samplesOf(text, "corvane_confidence_ratio").size(), 1);
        QCOMPARE(lines.count(buildLine), 0); // the split dropped its line feed
        QCOMPARE(lines.count(QByteArray(buildLine).chopped(1)), 1);
    }

    void labelEscaping_data()
    {
        QTest::addColumn<QString>("serial");
        QTest::addColumn<QByteArray>("label");
        QTest::newRow("double quote") << QStringLiteral("A\"1") << QByteArray("serial=\"A\\\"1\"");
        QTest::newRow("backslash") << QStringLiteral("C:\\x") << QByteArray("serial=\"C:\\\\x\"");
        QTest::newRow("line feed") << QStringLiteral("a\nb") << QByteArray("serial=\"a\\nb\"");
        QTest::newRow("all three")
            << QStringLiteral("\\\"\n") << QByteArray("serial=\"\\\\\\\"\\n\"");
        QTest::newRow("UTF-8") << QStringLiteral("\u00b5T-\u03a9")
                               << QByteArray("serial=\"\xc2\xb5T-\xce\xa9\"");
        QTest::newRow("outside the BMP")
            << QString::fromUtf8("\xf0\x9f\x94\xa5") << QByteArray("serial=\"\xf0\x9f\x94\xa5\"");
        QTest::newRow("lone surrogate")
            << QString(QChar(0xd800)) << QByteArray("serial=\"\xef\xbf\xbd\"");
    }
    void labelEscaping()
    {
        QFETCH(QString, serial);
        QFETCH(QByteArray, label);
        InstrumentFigures f = dashedInstrument();
        f.serial = serial;
        f.model = QStringLiteral("Tb \"2\"");
        const QByteArray text = scrape({f});
        QCOMPARE(samplesOf(text, "corvane_stale"),
                 QByteArrayList{"corvane_stale{" + label +
                                ",model=\"Tb \\\"2\\\"\",port=\"/dev/ttyACM1\"} 1"});
    }

    void openMetrics()
    {
        QCOMPARE(scrape({dashedInstrument()}, Format::OpenMetrics),
                 QByteArray(expected::dashedOpenMetrics));
        QCOMPARE(scrape({}, Format::OpenMetrics), QByteArray(expected::emptyOpenMetrics));
    }

    void listenAddress_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("address"); // empty: refused
        QTest::addColumn<int>("port");
        QTest::newRow("address and port") << "127.0.0.1:9464"
                                          << "127.0.0.1" << 9464;
        QTest::newRow("all IPv4") << "0.0.0.0:9100"
                                  << "0.0.0.0" << 9100;
        QTest::newRow("port alone") << "9465"
                                    << "127.0.0.1" << 9465;
        QTest::newRow("localhost") << "localhost:8080"
                                   << "127.0.0.1" << 8080;
        QTest::newRow("IPv6") << "[::1]:9464"
                              << "::1" << 9464;
        QTest::newRow("any port") << "127.0.0.1:0"
                                  << "127.0.0.1" << 0;
        QTest::newRow("IPv6 without brackets") << "::1:9464"
                                               << "" << 0;
        QTest::newRow("port too large") << "127.0.0.1:65536"
                                        << "" << 0;
        QTest::newRow("no port") << "127.0.0.1:"
                                 << "" << 0;
        QTest::newRow("host name") << "example.org:9464"
                                   << "" << 0;
    }
    void listenAddress()
    {
        QFETCH(QString, text);
        QFETCH(QString, address);
        QFETCH(int, port);
        QHostAddress parsedAddress;
        quint16 parsedPort = 1;
        QString error;
        const bool ok = metrics::parseListenAddress(text, &parsedAddress, &parsedPort, &error);
        QCOMPARE(ok, !address.isEmpty());
        if (ok) {
            QCOMPARE(parsedAddress, QHostAddress(address));
            QCOMPARE(int(parsedPort), port);
        } else {
            QVERIFY(error.contains(text));
        }
    }

    // ---- HTTP -------------------------------------------------------------------

    // The whole reply to a scrape, headers and body.
    void scrapeReply()
    {
        Client client(startServer());
        client.send(get());
        const Response r = client.next();
        QCOMPARE(r.head, QByteArray("HTTP/1.1 200 OK\r\n"
                                    "Content-Type: text/plain; version=0.0.4; charset=utf-8\r\n"
                                    "Content-Length: ") +
                             QByteArray::number(r.body.size()));
        // The build line names this program's version and Qt's.
        const int split = r.body.indexOf('\n', r.body.indexOf("corvane_build_info{"));
        const QByteArray head = r.body.left(split + 1), rest = r.body.mid(split + 1);
        QVERIFY2(
            QRegularExpression(
                "^# HELP corvane_build_info .*\n# TYPE corvane_build_info gauge\n"
                "corvane_build_info\\{version=\"\\d+\\.\\d+\",qt=\"\\d+\\.\\d+\\.\\d+\"\\} 1\n$")
                .match(QString::fromUtf8(head))
                .hasMatch(),
            head.constData());
        QCOMPARE(rest, QByteArray(expected::dashedPrometheus));
    }

    // Each scrape reads the figures afresh: a counter reset shows as a drop.
    void scrapesFollowTheFigures()
    {
        Client client(startServer());
        client.send(get());
        QVERIFY(client.next().body.contains("port=\"/dev/ttyACM1\"} 5000000000"));
        m_figures.first().bits = 1000;
        m_figures.append(fullInstrument());
        client.send(get());
        const QByteArray body = client.next().body;
        QVERIFY(body.contains("port=\"/dev/ttyACM1\"} 1000\n"));
        QVERIFY(body.contains("port=\"/dev/ttyACM0\"} 1616000000000"));
    }

    void negotiation_data()
    {
        QTest::addColumn<QByteArray>("accept");
        QTest::addColumn<bool>("openMetrics");
        QTest::newRow("no Accept") << QByteArray() << false;
        QTest::newRow("what Prometheus sends")
            << QByteArray("application/openmetrics-text;version=1.0.0,application/openmetrics-text;"
                          "version=0.0.1;q=0.75,text/plain;version=0.0.4;q=0.5,*/*;q=0.1")
            << true;
        QTest::newRow("OpenMetrics alone") << QByteArray("application/openmetrics-text") << true;
        QTest::newRow("upper case")
            << QByteArray("Application/OpenMetrics-Text; version=1.0.0") << true;
        QTest::newRow("text/plain") << QByteArray("text/plain") << false;
        QTest::newRow("anything") << QByteArray("*/*") << false;
        QTest::newRow("OpenMetrics refused")
            << QByteArray("application/openmetrics-text;q=0") << false;
        QTest::newRow("text weighs more")
            << QByteArray("text/plain;q=0.5, application/openmetrics-text;q=0.4") << false;
        QTest::newRow("OpenMetrics weighs more")
            << QByteArray("text/plain;q=0.3, application/openmetrics-text;q=0.4") << true;
        QTest::newRow("two Accept fields")
            << QByteArray("text/plain;q=0.1\r\nAccept: application/openmetrics-text") << true;
    }
    void negotiation()
    {
        QFETCH(QByteArray, accept);
        QFETCH(bool, openMetrics);
        Client client(startServer());
        client.send(
            get("/metrics", accept.isEmpty() ? QByteArray() : "Accept: " + accept + "\r\n"));
        const Response r = client.next();
        QCOMPARE(r.status, 200);
        if (openMetrics) {
            QCOMPARE(r.header("Content-Type"),
                     QByteArray("application/openmetrics-text; version=1.0.0; charset=utf-8"));
            QVERIFY(r.body.endsWith("# EOF\n"));
            QVERIFY(r.body.contains("\n# TYPE corvane_bit_count counter\n"));
        } else {
            QCOMPARE(r.header("Content-Type"),
                     QByteArray("text/plain; version=0.0.4; charset=utf-8"));
            QVERIFY(!r.body.contains("# EOF"));
        }
    }

    // Status, headers, and whether the connection stays open for another scrape.
    void requests_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("connection"); // the Connection header, empty for none
        QTest::addColumn<bool>("staysOpen");
        QTest::newRow("GET /metrics") << get() << 200 << QByteArray() << true;
        QTest::newRow("query") << get("/metrics?x=y&z") << 200 << QByteArray() << true;
        QTest::newRow("absolute form")
            << get("http://127.0.0.1:9464/metrics?x") << 200 << QByteArray() << true;
        QTest::newRow("bare line feeds")
            << QByteArray("GET /metrics HTTP/1.1\nHost: a\n\n") << 200 << QByteArray() << true;
        QTest::newRow("empty line first") << "\r\n" + get() << 200 << QByteArray() << true;
        QTest::newRow("HTTP/1.0") << QByteArray("GET /metrics HTTP/1.0\r\n\r\n") << 200
                                  << QByteArray("close") << false;
        QTest::newRow("HTTP/1.0 keep-alive")
            << QByteArray("GET /metrics HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n") << 200
            << QByteArray("keep-alive") << true;
        QTest::newRow("HTTP/1.1 close")
            << get("/metrics", "Connection: close\r\n") << 200 << QByteArray("close") << false;
        QTest::newRow("root") << get("/") << 404 << QByteArray() << true;
        QTest::newRow("trailing slash") << get("/metrics/") << 404 << QByteArray() << true;
        QTest::newRow("other path") << get("/metricsx") << 404 << QByteArray() << true;
        QTest::newRow("POST") << QByteArray("POST /metrics HTTP/1.1\r\nContent-Length: 0\r\n\r\n")
                              << 405 << QByteArray() << true;
        QTest::newRow("HEAD") << QByteArray("HEAD /metrics HTTP/1.1\r\n\r\n") << 405 << QByteArray()
                              << true;
        QTest::newRow("lower-case get")
            << QByteArray("get /metrics HTTP/1.1\r\n\r\n") << 405 << QByteArray() << true;
        QTest::newRow("POST with a body")
            << QByteArray("POST /metrics HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello") << 405
            << QByteArray("close") << false;
        QTest::newRow("garbage") << QByteArray("\x16\x03\x01\x02\x01\x01\xfc\x03\x03\r\n\r\n")
                                 << 400 << QByteArray("close") << false;
        QTest::newRow("no version")
            << QByteArray("GET /metrics\r\n\r\n") << 400 << QByteArray("close") << false;
        QTest::newRow("two spaces")
            << QByteArray("GET  /metrics HTTP/1.1\r\n\r\n") << 400 << QByteArray("close") << false;
        QTest::newRow("relative target")
            << QByteArray("GET metrics HTTP/1.1\r\n\r\n") << 400 << QByteArray("close") << false;
        QTest::newRow("header without colon")
            << get("/metrics", "Host\r\n") << 400 << QByteArray("close") << false;
        QTest::newRow("space before colon")
            << get("/metrics", "Accept : */*\r\n") << 400 << QByteArray("close") << false;
        QTest::newRow("folded header")
            << get("/metrics", "Accept: a,\r\n b\r\n") << 400 << QByteArray("close") << false;
        QTest::newRow("bad Content-Length")
            << get("/metrics", "Content-Length: 1x\r\n") << 400 << QByteArray("close") << false;
        QTest::newRow("HTTP/2.0") << QByteArray("GET /metrics HTTP/2.0\r\n\r\n") << 505
                                  << QByteArray("close") << false;
    }
    void requests()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        QFETCH(QByteArray, connection);
        QFETCH(bool, staysOpen);
        Client client(startServer());
        client.send(request);
        const Response r = client.next();
        QCOMPARE(r.status, status);
        QVERIFY2(r.hasHeader("Content-Length"), r.head.constData());
        QCOMPARE(r.header("Connection"), connection);
        QCOMPARE(r.header("Allow"), status == 405 ? QByteArray("GET") : QByteArray());
        if (status != 200)
            QCOMPARE(r.header("Content-Type"), QByteArray("text/plain; charset=utf-8"));
        if (staysOpen) {
            client.send(get());
            QCOMPARE(client.next().status, 200);
            QVERIFY(!client.closed);
        } else {
            QVERIFY(client.waitClosed());
            QVERIFY(client.bytes.isEmpty());
        }
    }

    // Prometheus keeps its connection: many scrapes on one, one at a time or
    // several written at once.
    void keepAlive()
    {
        Client client(startServer());
        for (int i = 0; i < 3; ++i) {
            client.send(get());
            QCOMPARE(client.next().status, 200);
        }
        client.send(get() + get("/nothing") + get("/metrics?again"));
        QCOMPARE(client.next().status, 200);
        QCOMPARE(client.next().status, 404);
        QCOMPARE(client.next().status, 200);
        // A request that arrives a few bytes at a time.
        const QByteArray request = get();
        for (int i = 0; i < request.size(); i += 7) {
            client.send(request.mid(i, 7));
            QTest::qWait(1);
        }
        QCOMPARE(client.next().status, 200);
        QVERIFY(!client.closed);
    }

    // Line and headers may fill 8192 bytes, the final empty line included.
    void requestSizeLimit_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("status");
        QTest::newRow("8192 bytes") << 8192 << 200;
        QTest::newRow("8193 bytes") << 8193 << 431;
        QTest::newRow("64 KiB") << 65536 << 431;
    }
    void requestSizeLimit()
    {
        QFETCH(int, size);
        QFETCH(int, status);
        // "GET /metrics HTTP/1.1\r\n" is 23 bytes, "X-Pad: " 7, the two CRLFs 4.
        const QByteArray request =
            "GET /metrics HTTP/1.1\r\nX-Pad: " + QByteArray(size - 34, 'a') + "\r\n\r\n";
        QCOMPARE(request.size(), size);
        Client client(startServer());
        client.send(request);
        QCOMPARE(client.next().status, status);
        if (status != 200)
            QVERIFY(client.waitClosed());
    }

    void tooManyHeaderFields()
    {
        QByteArray fields;
        for (int i = 0; i < 101; ++i)
            fields += "X-" + QByteArray::number(i) + ": 1\r\n";
        Client client(startServer());
        client.send(get("/metrics", fields));
        QCOMPARE(client.next().status, 431);
        QVERIFY(client.waitClosed());
    }

    // A request not complete in time is cut off, however it trickles in.
    void slowRequest_data()
    {
        QTest::addColumn<bool>("trickle");
        QTest::newRow("stops half-way") << false;
        QTest::newRow("a byte every 20 ms") << true;
    }
    void slowRequest()
    {
        QFETCH(bool, trickle);
        const quint16 port = startServer();
        m_server->responder().setRequestTimeout(300);
        Client client(port);
        client.send("GET /metr");
        QTimer drip;
        QObject::connect(&drip, &QTimer::timeout, [&] {
            if (client.socket.state() == QAbstractSocket::ConnectedState)
                client.send("a");
        });
        if (trickle) {
            client.send("ics HTTP/1.1\r\nX-Slow: ");
            drip.start(20);
        }
        QVERIFY(client.waitClosed());
        QCOMPARE(client.next().status, 408);
    }

    // A kept connection without requests is closed after a while.
    void idleConnectionClosed()
    {
        const quint16 port = startServer();
        m_server->responder().setIdleTimeout(300);
        Client client(port);
        client.send(get());
        QCOMPARE(client.next().status, 200);
        QVERIFY(client.waitClosed());
        QVERIFY(client.bytes.isEmpty());
    }

    // Eight connections are served; the ninth is closed at once, and a place
    // freed is taken again.
    void ninthConnection()
    {
        const quint16 port = startServer();
        std::vector<std::unique_ptr<Client>> clients;
        for (int i = 0; i < 8; ++i) {
            clients.push_back(std::make_unique<Client>(port));
            QVERIFY(clients.back()->waitConnected());
        }
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("refused 1 connection.*8 connections"));
        Client ninth(port);
        QVERIFY(ninth.waitClosed());
        QVERIFY(ninth.bytes.isEmpty());
        for (auto &c : clients) {
            c->send(get());
            QCOMPARE(c->next().status, 200);
        }
        clients.front()->socket.disconnectFromHost();
        QTRY_COMPARE_WITH_TIMEOUT(m_server->responder().connectionCount(), 7, 10000);
        Client another(port);
        another.send(get());
        QCOMPARE(another.next().status, 200);
        QVERIFY(!another.closed);
    }

    // A broken client gets its 400 and goes; a good one in the middle of a
    // request is not disturbed.
    void badClientBesideGoodOne()
    {
        const quint16 port = startServer();
        Client good(port);
        good.send("GET /metrics HTTP/1.1\r\nHo");
        Client bad(port);
        bad.send(QByteArray("\0\0\0\0\r\n\r\n", 8));
        QCOMPARE(bad.next().status, 400);
        QVERIFY(bad.waitClosed());
        Client huge(port);
        huge.send(QByteArray(20000, 'x'));
        QCOMPARE(huge.next().status, 431);
        QVERIFY(huge.waitClosed());
        good.send("st: a\r\n\r\n");
        QCOMPARE(good.next().status, 200);
        good.send(get());
        QCOMPARE(good.next().status, 200);
        QVERIFY(!good.closed);
    }

    // A client that sends requests and never reads the replies: the server
    // keeps answering others and does not hold more than a bounded backlog.
    void clientThatDoesNotRead()
    {
        const quint16 port = startServer();
        // Enough figures for replies of some 40 KB.
        for (int i = 0; i < 40; ++i)
            m_figures.append(fullInstrument());
        QTcpSocket greedy;
        greedy.setReadBufferSize(1); // takes almost nothing off the wire
        greedy.connectToHost(QHostAddress::LocalHost, port);
        QTRY_COMPARE_WITH_TIMEOUT(greedy.state(), QAbstractSocket::ConnectedState, 10000);
        QByteArray many;
        for (int i = 0; i < 400; ++i)
            many += get();
        greedy.write(many);
        Client other(port);
        for (int i = 0; i < 3; ++i) {
            other.send(get());
            QCOMPARE(other.next().status, 200);
        }
        // Reset with unread replies: its place is freed.
        greedy.abort();
        QTRY_COMPARE_WITH_TIMEOUT(m_server->responder().connectionCount(), 1, 10000);
    }

    void listenFailuresAndWarnings()
    {
        const quint16 port = startServer();
        MetricsServer second([] { return QList<InstrumentFigures>(); });
        QString error;
        QTest::ignoreMessage(
            QtWarningMsg,
            QRegularExpression(
                QStringLiteral("cannot serve metrics on 127.0.0.1:%1: .+").arg(port)));
        QVERIFY(!second.listen(QHostAddress::LocalHost, port, &error));
        QVERIFY(!error.isEmpty());

        MetricsServer open([] { return QList<InstrumentFigures>(); });
        QTest::ignoreMessage(
            QtWarningMsg,
            QRegularExpression("serving metrics on 0.0.0.0:\\d+, which other machines can reach"));
        QVERIFY(open.listen(QHostAddress::AnyIPv4, 0, &error));
    }
};

QTEST_GUILESS_MAIN(TstMetrics)
#include "tst_metrics.moc"
