// The SCPI server as a lab script sees it: real TCP clients on 127.0.0.1
// against a small set of test commands, the bytes they get back compared with
// replies written out by hand.
#include "remote/scpi.h"
#include "remote/scpiserver.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace scpi;

namespace {
const QByteArray Marker = "CORVANE,TEST,0,1\n"; // *IDN? ends every exchange
const QByteArray Undefined = "-113,\"Undefined header\"\n";
const QByteArray NoErr = "0,\"No error\"\n";
} // namespace

class TstScpi : public QObject
{
    Q_OBJECT
    CommandSet m_set;
    std::unique_ptr<ScpiServer> m_server;
    qint64 m_value = 0;
    double m_number = 0;
    QString m_text;
    bool m_output = false;
    QPointer<Session> m_opSession;
    QList<quint64> m_ops;

    std::unique_ptr<QTcpSocket> client()
    {
        auto socket = std::make_unique<QTcpSocket>();
        QSignalSpy connected(socket.get(), &QTcpSocket::connected);
        socket->connectToHost(QHostAddress::LocalHost, m_server->port());
        if (!connected.wait(5000))
            return nullptr;
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1); // small pieces stay apart
        return socket;
    }
    // Sends the bytes and *IDN?; returns everything that came back before its reply.
    static QByteArray exchange(QTcpSocket &socket, const QByteArray &bytes)
    {
        socket.write(bytes);
        socket.write("*IDN?\n");
        QByteArray got;
        if (!QTest::qWaitFor([&] { return (got += socket.readAll()).endsWith(Marker); }, 10000))
            return "no marker after: " + got;
        got.chop(Marker.size());
        return got;
    }
    void endOperation() { m_opSession->endOperation(m_ops.takeFirst()); }

private slots:
    void initTestCase()
    {
        m_set.add("*IDN?", [](CallPtr c) { c->reply("CORVANE,TEST,0,1"); });
        m_set.add("*RST", [this](CallPtr c) {
            m_value = 0;
            c->done();
        });
        m_set.add("TEST:INTeger?", [](CallPtr c) { c->reply(qint64(10312500000)); });
        m_set.add("TEST:REAL?", [](CallPtr c) { c->reply(1.23456e-12); });
        m_set.add("TEST:NONE?", [](CallPtr c) { c->replyNone(); });
        m_set.add("TEST:STRing?", [](CallPtr c) { c->reply(quoted("say \"hi\"")); });
        m_set.add("TEST:FAIL?", [](CallPtr c) { c->fail(ExecutionError.detail("test")); });
        m_set.add("TEST:DEFerred?",
                  [](CallPtr c) { QTimer::singleShot(10, [c] { c->reply("42"); }); });
        m_set.add("TEST:VALue", 1, [this](CallPtr c) {
            if (c->integer(0, &m_value))
                c->done();
        });
        m_set.add("TEST:VALue?", [this](CallPtr c) { c->reply(m_value); });
        m_set.add("TEST:NUMber", 1, [this](CallPtr c) {
            if (c->number(0, &m_number))
                c->done();
        });
        m_set.add("TEST:NUMber?", [this](CallPtr c) { c->reply(m_number); });
        m_set.add("TEST:TEXT", 1, [this](CallPtr c) {
            m_text = c->params().at(0).text();
            c->done();
        });
        m_set.add("TEST:TEXT?", [this](CallPtr c) { c->reply(quoted(m_text)); });
        m_set.add("TEST:OUTPut[:STATe]", 1, [this](CallPtr c) {
            if (c->boolean(0, &m_output))
                c->done();
        });
        m_set.add("TEST:OUTPut[:STATe]?", [this](CallPtr c) { c->reply(int(m_output)); });
        m_set.add("TEST:OPERation", [this](CallPtr c) {
            m_opSession = c->session();
            m_ops << c->session()->beginOperation();
            c->done();
        });
        m_server = std::make_unique<ScpiServer>(&m_set);
        QString error;
        QVERIFY2(m_server->listen(QHostAddress::LocalHost, 0, &error), qPrintable(error));
    }
    void init()
    {
        m_value = 0;
        m_number = 0;
        m_text.clear();
        m_output = false;
        m_ops.clear();
    }
    // Clients of one test are gone before the next starts.
    void cleanup() { QTRY_COMPARE(m_server->clientCount(), 0); }

    void replies_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("expected");
        auto row = [](const char *name, const QByteArray &in, const QByteArray &out) {
            QTest::newRow(name) << in << out;
        };
        const QByteArray bad = "BAD\n";
        // Headers.
        row("short form", "TEST:INT?\n", "10312500000\n");
        row("long form, lower case", "test:integer?\n", "10312500000\n");
        row("between short and long", "TEST:INTEG?\nSYST:ERR?\n", Undefined);
        row("query form not registered", "*CLS?\nSYST:ERR?\n", Undefined);
        row("optional node written", "system:error:next?\n", NoErr);
        row("optional node, command and query",
            "TEST:OUTP ON\nTEST:OUTP:STAT?\nTEST:OUTPUT:STATE off;STAT?\n", "1\n0\n");
        // Reply formats.
        row("queries of a line joined", "TEST:INT?;REAL?;NONE?;STR?\n",
            "10312500000;1.234560E-12;9.91E+37;\"say \"\"hi\"\"\"\n");
        row("version", "SYST:VERS?\n", "1999.0\n");
        row("*TST? by default", "*TST?\n", "0\n");
        row("deferred reply keeps its place", "TEST:DEF?;INT?\nTEST:INT?;DEF?\n",
            "42;10312500000\n10312500000;42\n");
        // Path rule.
        row("relative to the parent, white space around ;", "TEST:VAL 6 ;  VAL?\n", "6\n");
        row("leading colon resets", "TEST:VAL 7;:TEST:VAL?\n", "7\n");
        row("common commands keep the path", "TEST:VAL 8;*STB?;VAL?\n", "0;8\n");
        row("relative header undefined there", "TEST:VAL 9;SYST:VERS?;:SYST:ERR?\n", Undefined);
        row("path starts over each line", "TEST:VAL 3\nVAL?\nSYST:ERR?\n", Undefined);
        // Lines.
        row("CR LF", "TEST:INT?\r\n", "10312500000\n");
        row("empty lines", "\n\r\n \t \n", "");
        // Failures.
        row("failing query sends nothing", "TEST:FAIL?\nSYST:ERR?\n",
            "-200,\"Execution error;test\"\n");
        row("failing query between others", "TEST:INT?;FAIL?;NONE?\n", "10312500000;9.91E+37\n");
        row("bad number", "TEST:VAL abc\nSYST:ERR?\n", "-104,\"Data type error\"\n");
        row("missing parameter", "TEST:VAL\nSYST:ERR?\n", "-109,\"Missing parameter\"\n");
        row("extra parameter", "TEST:VAL 1,2\nSYST:ERR?\n", "-108,\"Parameter not allowed\"\n");
        row("two words without a comma", "TEST:VAL 1 2\nSYST:ERR?\n", "-102,\"Syntax error\"\n");
        row("unterminated string", "TEST:TEXT 'abc\nSYST:ERR?\n", "-102,\"Syntax error\"\n");
        row("not a boolean", "TEST:OUTP 2\nSYST:ERR?\n", "-224,\"Illegal parameter value\"\n");
        // Parameters.
        row("#H, #B, #Q", "TEST:VAL #H1F;VAL?;VAL #B101;VAL?;VAL #q17;VAL?\n", "31;5;15\n");
        row("integer with exponent", "TEST:VAL 1E3;VAL?\n", "1000\n");
        row("integers never in exponent form", "TEST:VAL 1000000000000000;VAL?\n",
            "1000000000000000\n");
        row("real", "TEST:NUM -3.5e-2;NUM?\n", "-3.500000E-02\n");
        row("booleans", "TEST:OUTP on;OUTP?;OUTP 0;OUTP?;OUTP ON;OUTP?\n", "1;0;1\n");
        row("strings", "TEST:TEXT 'it''s';TEXT?;TEXT \"a;b\"\"c\";TEXT?\n",
            "\"it's\";\"a;b\"\"c\"\n");
        // Error queue.
        row("order and count",
            "BAD\nTEST:VAL\nTEST:VAL x\nSYST:ERR:COUN?;:SYST:ERR?;ERR?;ERR?;ERR?;ERR:COUN?\n",
            "3;-113,\"Undefined header\";-109,\"Missing parameter\";-104,\"Data type error\";"
            "0,\"No error\";0\n");
        row("16 errors fit", bad.repeated(16) + "SYST:ERR:COUN?\n" + "SYST:ERR?\n" + "SYST:ERR?\n",
            "16\n" + Undefined + Undefined);
        row("overflow: -350 last",
            bad.repeated(20) + "SYST:ERR:COUN?\n" + QByteArray("SYST:ERR?\n").repeated(17),
            "16\n" + Undefined.repeated(15) + "-350,\"Queue overflow\"\n" + NoErr);
        // Status registers.
        row("*ESR? command error, read clears", "BAD\n*ESR?\n*ESR?\n", "32\n0\n");
        row("*ESR? execution error", "TEST:FAIL?\n*ESR?\n", "16\n");
        row("*ESR? device error", QByteArray(4097, 'x') + "\n*ESR?\n", "8\n");
        row("*OPC without operations", "*OPC;*ESR?\n", "1\n");
        row("*OPC? without operations", "*OPC?\n", "1\n");
        row("*ESE", "*ESE 36;*ESE?\n", "36\n");
        row("*ESE out of range", "*ESE 256\nSYST:ERR?\n", "-222,\"Data out of range\"\n");
        row("*SRE cannot enable bit 6", "*SRE 255;*SRE?\n", "191\n");
        row("*STB? error queue", "BAD\n*STB?\n", "4\n");
        row("*STB? service request", "*SRE 32;*ESE 32\nBAD\n*STB?\n", "100\n");
        row("*CLS", "BAD\n*CLS\n*STB?;*ESR?;SYST:ERR:COUN?\n", "0;0;0\n");
        row("*RST", "TEST:VAL 5\nBAD\n*RST\nSYST:ERR:COUN?;:TEST:VAL?\n", "0;0\n");
    }
    void replies()
    {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, expected);
        auto c = client();
        QVERIFY(c);
        QCOMPARE(exchange(*c, input), expected);
    }

    // The same bytes byte by byte, CR and LF apart.
    void splitPackets()
    {
        auto c = client();
        QVERIFY(c);
        for (char b : QByteArray("TEST:INT?;REAL?\r\nTEST:VAL #H10;VAL?\n")) {
            c->write(&b, 1);
            c->flush();
        }
        QCOMPARE(exchange(*c, ""), QByteArray("10312500000;1.234560E-12\n16\n"));
    }

    // A line is at most 4096 bytes besides its CR LF; a longer one is dropped
    // whole, the part after the limit included.
    void longLines_data()
    {
        QTest::addColumn<QList<QByteArray>>("pieces");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray head = "TEST:VAL 5;TEXT '";
        auto line = [&](int size) { return head + QByteArray(size - head.size() - 1, 'x') + '\''; };
        const QByteArray ok = "5;0,\"No error\";0,\"No error\"\n";
        const QByteArray dropped = "0;-363,\"Input buffer overrun\";0,\"No error\"\n";
        QTest::newRow("4096 bytes, CR LF") << QList<QByteArray>{line(4096) + "\r\n"} << ok;
        QTest::newRow("4097 bytes") << QList<QByteArray>{line(4097) + "\n"} << dropped;
        QTest::newRow("tail after the limit")
            << QList<QByteArray>{line(4097).left(4000), line(4097).mid(4000) + ";:TEST:VAL 7\n"}
            << dropped;
        QTest::newRow("a megabyte without LF")
            << QList<QByteArray>{QByteArray(1 << 20, 'A'), "\n"} << dropped;
    }
    void longLines()
    {
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(QByteArray, expected);
        auto c = client();
        QVERIFY(c);
        for (const QByteArray &piece : pieces) {
            c->write(piece);
            c->flush();
        }
        QCOMPARE(exchange(*c, "TEST:VAL?;:SYST:ERR?;ERR?\n"), expected);
    }

    // *OPC? answers once every operation started before it has ended; *OPC
    // sets ESR bit 0 only then, without holding later commands back.
    void opc()
    {
        auto c = client();
        QVERIFY(c);
        c->write("TEST:OPER;OPER;*OPC?\n");
        QTRY_COMPARE(m_ops.size(), 2);
        endOperation();
        QTest::qWait(100); // nothing may come while one operation runs
        QCOMPARE(c->bytesAvailable(), 0);
        endOperation();
        QCOMPARE(exchange(*c, "TEST:OPER;*OPC\n*ESR?\n"), QByteArray("1\n0\n"));
        endOperation();
        QCOMPARE(exchange(*c, "*ESR?\n"), QByteArray("1\n"));
    }

    // Commands after *WAI run after the operation; other clients go on
    // meanwhile, each with its own error queue.
    void waiOrdering()
    {
        auto a = client();
        auto b = client();
        QVERIFY(a && b);
        a->write("BAD\nTEST:OPER;*WAI;VAL?;:SYST:ERR:COUN?\n");
        QTRY_COMPARE(m_ops.size(), 1);
        QCOMPARE(exchange(*b, "TEST:VAL 7;VAL?;:SYST:ERR:COUN?\n"), QByteArray("7;0\n"));
        QTest::qWait(100); // a's query must not have run yet
        QCOMPARE(a->bytesAvailable(), 0);
        endOperation();
        QCOMPARE(exchange(*a, ""), QByteArray("7;1\n"));
    }

    void ninthClientClosed()
    {
        std::vector<std::unique_ptr<QTcpSocket>> clients;
        for (int i = 0; i < 8; ++i) {
            clients.push_back(client());
            QVERIFY(clients.back());
        }
        QTRY_COMPARE(m_server->clientCount(), 8);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("refused: 8 clients"));
        auto ninth = client();
        QVERIFY(ninth);
        QSignalSpy closed(ninth.get(), &QTcpSocket::disconnected);
        QVERIFY(closed.wait(5000));
        QCOMPARE(m_server->clientCount(), 8);
        QCOMPARE(exchange(*clients.front(), "TEST:INT?\n"), QByteArray("10312500000\n"));
        clients.pop_back();
        QTRY_COMPARE(m_server->clientCount(), 7);
        auto again = client();
        QVERIFY(again);
        QCOMPARE(exchange(*again, "TEST:INT?\n"), QByteArray("10312500000\n"));
    }

    void listening()
    {
        ScpiServer other(&m_set);
        QString error;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot listen on 127.0.0.1"));
        QVERIFY(!other.listen(QHostAddress::LocalHost, m_server->port(), &error));
        QVERIFY2(error.contains("address is already in use", Qt::CaseInsensitive),
                 qPrintable(error));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("not a loopback address"));
        QVERIFY(other.listen(QHostAddress::AnyIPv4, 0, &error));
        other.close();
    }
};

QTEST_GUILESS_MAIN(TstScpi)
#include "tst_scpi.moc"
