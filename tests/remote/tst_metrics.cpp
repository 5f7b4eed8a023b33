// The scrape endpoint as Prometheus sees it: the exposition text for worked
// figures, then HTTP through real sockets on loopback (status lines, headers,
// keep-alive, and the limits on slow, large and too many clients). The real
// program's endpoint is checked by promtool and Prometheus (prometheus_scrape.sh).
#include "remote/metricsserver.h"

#include "expected_exposition.h"
#include "support/table.h"

#include <QRegularExpression>
#include <QTcpSocket>
#include <QTimer>

#include <limits>
#include <memory>

using metrics::Format;
using metrics::InstrumentFigures;

namespace {

// serial, model, port, connected, stale, bits, errors, BER, rate, Rx and Tx
// dBm, temperature, nm, signal, sync, last record, confidence: 10GBASE-R at
// 1550.12 nm, 1.616e12 bits without an error.
// clang-format off
const InstrumentFigures Full{"CV2417-0042", "NanoTb", "/dev/ttyACM0", true, false, 1.616e12, 0, 0,
                             10312500000.0, -3.2, 1.1, 42.1, 1550.12, true, true, 1714000000.25,
                             0.8013};
// Counters only; everything else shows dashes, and the record is stale.
const InstrumentFigures Dashed{"CV2417-0043", "NanoTb", "/dev/ttyACM1", true, true, 5e9, 12,
                               {}, {}, {}, {}, {}, {}, {}, {}, {}, {}};
// clang-format on

QByteArray scrape(const QList<InstrumentFigures> &instruments, Format format = Format::Prometheus)
{
    return metrics::exposition(instruments, format, "2.61", "5.15.8");
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
    QByteArray head, body; // head: the status line and headers
    QByteArray header(const char *name) const
    {
        const QRegularExpression field(QString("\r\n%1: ([^\r]*)").arg(name),
                                       QRegularExpression::CaseInsensitiveOption);
        return field.match(QString::fromLatin1(head)).captured(1).toLatin1();
    }
};

// A client on a real socket, reading replies framed by their Content-Length.
struct Client {
    QTcpSocket socket;
    QByteArray bytes;
    bool closed = false;

    explicit Client(quint16 port)
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { bytes += socket.readAll(); });
        QObject::connect(&socket, &QTcpSocket::disconnected, [this] { closed = true; });
        socket.connectToHost(QHostAddress::LocalHost, port);
        socket.waitForConnected(5000);
    }
    void send(const QByteArray &data) { socket.write(data), socket.flush(); }
    // The next complete reply; status 0 if none came within 5 s.
    Response next()
    {
        Response r;
        (void)QTest::qWaitFor([&] {
            const int end = bytes.indexOf("\r\n\r\n");
            r.head = bytes.left(end);
            const int size = end + 4 + r.header("Content-Length").toInt();
            if (end < 0 || bytes.size() < size)
                return false;
            r.status = r.head.mid(9, 3).toInt();
            r.body = bytes.mid(end + 4, size - end - 4);
            bytes.remove(0, size);
            return true;
        });
        return r;
    }
    bool waitClosed()
    {
        return QTest::qWaitFor([this] { return closed; });
    }
};

const char Text[] = "text/plain; version=0.0.4; charset=utf-8";
const char OpenMetrics[] = "application/openmetrics-text; version=1.0.0; charset=utf-8";
const char Error[] = "text/plain; charset=utf-8";

QByteArray get(const QByteArray &target = "/metrics", const QByteArray &extra = QByteArray())
{
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra + "\r\n";
}

} // namespace

class TstMetrics : public QObject
{
    Q_OBJECT
    QList<InstrumentFigures> m_figures;
    std::unique_ptr<MetricsServer> m_server;

    quint16 startServer()
    {
        m_server = std::make_unique<MetricsServer>([this] { return m_figures; });
        m_server->listen(QHostAddress::LocalHost, 0, nullptr);
        return m_server->port();
    }

private slots:
    void init() { m_figures = {Full}; }
    void cleanup() { m_server.reset(); }

    // ---- The exposition text ------------------------------------------------

    void oneInstrument() { QCOMPARE(scrape({Full}), QByteArray(expected::fullText)); }

    // How each kind of value is written, and the values that never are (no
    // sample: the family has none, and no NaN or Inf is written).
    void values_data()
    {
        columns<QString, double, QByteArray, QByteArray>({"field", "value", "family", "sample"});
        const double nan = std::numeric_limits<double>::quiet_NaN();
        auto row = [](const char *field, double value, const char *family, const char *sample) {
            QTest::newRow(qPrintable(QString("%1 %2").arg(field).arg(value, 0, 'g', 17)))
                << QString(field) << value << QByteArray(family) << QByteArray(sample);
        };
        row("bits", 9007199254740991.0, "corvane_bit_count_total", "9007199254740991");
        row("bits", 1e17, "corvane_bit_count_total", "1e+17");
        row("bits", 100000000000000016.0, "corvane_bit_count_total", "100000000000000016");
        row("bits", nan, "corvane_bit_count_total", "");
        row("errors", -1, "corvane_error_count_total", ""); // counters never go below 0
        row("ber", 1.0 / 3, "corvane_ber", "0.3333333333333333");
        row("rx", -0.0, "corvane_rx_power_dbm", "0");
        row("wavelength", 1271.5, "corvane_wavelength_meters", "1.2715e-06");
        row("confidence", 1, "corvane_confidence_ratio", "1");
        row("confidence", nan, "corvane_confidence_ratio", "");
    }
    void values()
    {
        InstrumentFigures f = Full;
        const QHash<QString, std::optional<double> *> fields = {
            {"bits", &f.bits}, {"errors", &f.errors},           {"ber", &f.ber},
            {"rx", &f.rxDbm},  {"wavelength", &f.wavelengthNm}, {"confidence", &f.confidence}};
        *fields.value(data<QString>("field")) = data<double>("value");
        const QByteArray text = scrape({f}), family = data<QByteArray>("family");
        QByteArray labels = "{serial=\"CV2417-0042\",model=\"NanoTb\",port=\"/dev/ttyACM0\"} ";
        if (family == "corvane_confidence_ratio")
            labels.replace("} ", ",target=\"1e-12\"} ");
        const QByteArray sample = data<QByteArray>("sample");
        QCOMPARE(samplesOf(text, family),
                 sample.isEmpty() ? QByteArrayList() : QByteArrayList{family + labels + sample});
        QVERIFY2(!text.toLower().contains("nan\n") && !text.toLower().contains("inf\n"), text);
    }

    // Every family is introduced once, whatever the number of instruments; the
    // dashed instrument is simply missing where it has no value.
    void twoInstruments()
    {
        const QByteArray text = scrape({Full, Dashed});
        QVERIFY2(text.contains(expected::twoErrorCounts), text);
        QCOMPARE(samplesOf(text, "corvane_rx_power_dbm").size(), 1);
    }

    // Label values are UTF-8 with backslash, double quote and line feed
    // escaped; a lone half of a surrogate pair becomes U+FFFD.
    void labelEscaping()
    {
        InstrumentFigures f = Dashed;
        f.serial = QString("\"C:\\x\n\u00b5\U0001F525") + QChar(0xd800);
        f.model = "Tb \"2\"";
        QCOMPARE(samplesOf(scrape({f}), "corvane_stale"),
                 QByteArrayList{"corvane_stale{serial=\"\\\"C:\\\\x\\n"
                                "\xc2\xb5\xf0\x9f\x94\xa5\xef\xbf\xbd"
                                "\",model=\"Tb \\\"2\\\"\",port=\"/dev/ttyACM1\"} 1"});
    }

    // OpenMetrics: the build family is an info, families without a sample are
    // left out, counters' families are named without _total, # EOF ends it.
    void openMetrics()
    {
        QCOMPARE(scrape({}, Format::OpenMetrics), QByteArray(expected::emptyOpenMetrics));
        const QByteArray text = scrape({Dashed}, Format::OpenMetrics);
        QVERIFY2(text.contains("\n# TYPE corvane_bit_count counter\ncorvane_bit_count_total{") &&
                     text.endsWith("} 1\n# EOF\n"),
                 text);
    }

    // ---- HTTP -------------------------------------------------------------------

    // The whole reply to a scrape, headers and body.
    void scrapeReply()
    {
        Client client(startServer());
        client.send(get());
        const Response r = client.next();
        QCOMPARE(r.head, "HTTP/1.1 200 OK\r\nContent-Type: text/plain; version=0.0.4; "
                         "charset=utf-8\r\nContent-Length: " +
                             QByteArray::number(r.body.size()));
        // The build line names this program's version and Qt's.
        const QRegularExpressionMatch build =
            QRegularExpression(
                "^# HELP corvane_build_info .*\n# TYPE corvane_build_info gauge\n"
                "corvane_build_info\\{version=\"\\d+\\.\\d+\",qt=\"\\d+\\.\\d+\\.\\d+"
                "\"\\} 1\n")
                .match(QString::fromUtf8(r.body));
        QVERIFY2(build.hasMatch(), r.body);
        const QByteArray full = expected::fullText;
        QCOMPARE(r.body.mid(build.capturedLength()), full.mid(full.indexOf("# HELP corvane_bit")));
    }

    // Status, headers, the format the Accept header asks for, and whether the
    // connection stays open for another scrape; several requests written at
    // once are answered in turn.
    void requests_data()
    {
        columns<QByteArray, int, QByteArray, QByteArray>(
            {"request", "status", "connection", "type"});
        auto row = [](const char *name, const QByteArray &request, int status,
                      const char *connection = "", const char *type = Text) {
            QTest::newRow(name) << request << status << QByteArray(connection)
                                << QByteArray(status == 200 ? type : Error);
        };
        auto accept = [&](const char *name, const QByteArray &accept, const char *type) {
            row(name, get("/metrics", "Accept: " + accept + "\r\n"), 200, "", type);
        };
        accept("what Prometheus sends",
               "application/openmetrics-text;version=1.0.0,application/openmetrics-text;"
               "version=0.0.1;q=0.75,text/plain;version=0.0.4;q=0.5,*/*;q=0.1",
               OpenMetrics);
        accept("upper case", "Application/OpenMetrics-Text; version=1.0.0", OpenMetrics);
        accept("OpenMetrics refused", "application/openmetrics-text;q=0, */*;q=0.1", Text);
        accept("text weighs more", "text/plain;q=0.5, application/openmetrics-text;q=0.4", Text);
        accept("OpenMetrics weighs more, second field",
               "text/plain;q=0.3\r\nAccept: application/openmetrics-text;q=0.4", OpenMetrics);
        row("absolute form, query", get("http://127.0.0.1:9464/metrics?x"), 200);
        row("HTTP/1.0", "GET /metrics HTTP/1.0\r\n\r\n", 200, "close");
        row("HTTP/1.0 keep-alive", "GET /metrics HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n", 200,
            "keep-alive");
        row("HTTP/1.1 close", get("/metrics", "Connection: close\r\n"), 200, "close");
        row("trailing slash", get("/metrics/"), 404);
        row("POST with a body", "POST /metrics HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello", 405,
            "close");
        row("garbage", "\x16\x03\x01\x02\x01\x01\xfc\x03\x03\r\n\r\n", 400, "close");
        row("bad Content-Length", get("/metrics", "Content-Length: 1x\r\n"), 400, "close");
        row("HTTP/2.0", "GET /metrics HTTP/2.0\r\n\r\n", 505, "close");
    }
    void requests()
    {
        const int status = data<int>("status");
        const QByteArray connection = data<QByteArray>("connection");
        Client client(startServer());
        client.send(data<QByteArray>("request") + get("/nothing") + get());
        const Response r = client.next();
        QCOMPARE(r.status, status);
        QCOMPARE(r.header("Connection"), connection);
        QCOMPARE(r.header("Allow"), status == 405 ? QByteArray("GET") : QByteArray());
        QTEST(r.header("Content-Type"), "type");
        QCOMPARE(r.body.endsWith("# EOF\n"), data<QByteArray>("type") == OpenMetrics);
        if (connection == "close") {
            QVERIFY(client.waitClosed());
            QVERIFY(client.bytes.isEmpty());
        } else {
            QCOMPARE(client.next().status, 404);
            QCOMPARE(client.next().status, 200);
            QVERIFY(!client.closed);
        }
    }

    // Line and headers may fill 8192 bytes, the final empty line included, in
    // at most 100 header fields; more is answered 431 and the connection
    // closed. The time for a request is limited, however it trickles in, and
    // a kept connection without requests is closed after a while.
    void limits_data()
    {
        columns<QByteArray, bool, int>({"sent", "trickle", "status"});
        // "GET /metrics HTTP/1.1\r\n" is 23 bytes, "X-Pad: " 7, the two CRLFs 4.
        const QByteArray pad = "GET /metrics HTTP/1.1\r\nX-Pad: ";
        QTest::newRow("8193 bytes") << pad + QByteArray(8193 - 34, 'a') + "\r\n\r\n"
                                    << false << 431;
        QByteArray fields;
        for (int i = 0; i < 100; ++i) // and Host: 101 fields
            fields += "X-" + QByteArray::number(i) + ": 1\r\n";
        QTest::newRow("101 header fields") << get("/metrics", fields) << false << 431;
        QTest::newRow("stops half-way") << QByteArray("GET /metr") << false << 408;
        QTest::newRow("a byte every 20 ms") << pad << true << 408;
        QTest::newRow("8192 bytes, then idle") << pad + QByteArray(8192 - 34, 'a') + "\r\n\r\n"
                                               << false << 200;
    }
    void limits()
    {
        const quint16 port = startServer();
        m_server->responder().setRequestTimeout(300);
        m_server->responder().setIdleTimeout(300);
        Client client(port);
        client.send(data<QByteArray>("sent"));
        QTimer drip;
        QObject::connect(&drip, &QTimer::timeout, [&] {
            // Not once the reply is in: a byte after the server has closed
            // would be answered with a reset, which may take the reply with it.
            (void)client.socket.waitForReadyRead(0);
            if (client.socket.state() == QAbstractSocket::ConnectedState && client.bytes.isEmpty())
                client.send("a");
        });
        if (data<bool>("trickle"))
            drip.start(20);
        QVERIFY(client.waitClosed());
        QTEST(client.next().status, "status");
        QVERIFY(client.bytes.isEmpty());
    }

    // Eight connections are served; the ninth is closed at once, and a place
    // freed is taken again. A client that never reads its replies does not
    // hold the others up, and its place is freed when it goes.
    void connections()
    {
        const quint16 port = startServer();
        for (int i = 0; i < 40; ++i) // replies of some 40 KB
            m_figures << Full;
        QTcpSocket greedy;
        greedy.setReadBufferSize(1); // takes almost nothing off the wire
        greedy.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(greedy.waitForConnected(5000));
        greedy.write(get().repeated(400));
        std::vector<std::unique_ptr<Client>> clients;
        for (int i = 0; i < 7; ++i)
            clients.push_back(std::make_unique<Client>(port));
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("refused 1 connection.*8 connections"));
        Client ninth(port);
        QVERIFY(ninth.waitClosed());
        QVERIFY(ninth.bytes.isEmpty());
        for (auto &c : clients) {
            c->send(get());
            QCOMPARE(c->next().status, 200);
        }
        greedy.abort();
        QTRY_COMPARE(m_server->responder().connectionCount(), 7);
        Client another(port);
        another.send(get());
        QCOMPARE(another.next().status, 200);
    }

    // An address other than loopback is served with a warning.
    void listenWarning()
    {
        MetricsServer open([] { return QList<InstrumentFigures>(); });
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("serving metrics on 0.0.0.0:\\d+, "
                                                              "which other machines can reach"));
        QVERIFY(open.listen(QHostAddress::AnyIPv4, 0, nullptr));
    }
};

QTEST_GUILESS_MAIN(TstMetrics)
#include "tst_metrics.moc"
