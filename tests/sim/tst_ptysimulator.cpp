// Round trips through a real pseudo-terminal, with QSerialPort as the client.

#include "ptysimulator.h"

#include <QSerialPort>
#include <QtTest>

namespace {

// Reads until 'done' holds for what has arrived, or the deadline passes.
template <class Done> QByteArray readUntil(QSerialPort &port, Done done, int timeoutMs = 5000)
{
    QByteArray got;
    QElapsedTimer t;
    t.start();
    while (!done(got) && t.elapsed() < timeoutMs) {
        if (port.waitForReadyRead(100))
            got += port.readAll();
    }
    return got;
}

bool openPort(QSerialPort &port, const QString &path)
{
    port.setPortName(path);
    return port.open(QIODevice::ReadWrite);
}

void writeAll(QSerialPort &port, const QByteArray &bytes)
{
    port.write(bytes);
    while (port.bytesToWrite() > 0 && port.waitForBytesWritten(1000)) {
    }
}

} // namespace

class TestPtySimulator : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip();
    void reopenAfterClientCloses();
    void unplugRaisesPortError();
};

void TestPtySimulator::roundTrip()
{
    sim::PtySimulator simulator;
    QString error;
    QVERIFY2(simulator.start("Corvane NanoTb", &error), qPrintable(error));
    QVERIFY(simulator.slavePath().startsWith(QLatin1String("/dev/")));

    QSerialPort port;
    QVERIFY2(openPort(port, simulator.slavePath()), qPrintable(port.errorString()));
    writeAll(port, "?\r\n");
    const QByteArray ident =
        readUntil(port, [](const QByteArray &b) { return b.contains("\r\n"); });
    QVERIFY2(ident.startsWith("Corvane NanoTb:"), ident.constData());
    QVERIFY(ident.endsWith(":\r\n")); // raw mode: no CR/LF translation on the way

    writeAll(port, "r\r\n");
    const QByteArray rec = readUntil(port, [](const QByteArray &b) { return b.size() >= 27; });
    QCOMPARE(rec.size(), 27);
    QCOMPARE(rec.at(14) & 0x0F, 2);

    simulator.withEngine([](sim::Engine &e) { e.setTxOn(false); });
    writeAll(port, "r\r\n");
    const QByteArray off = readUntil(port, [](const QByteArray &b) { return b.size() >= 27; });
    QCOMPARE(off.size(), 27);
    QCOMPARE(off.at(14) & 0x0F, 1);

    const QVector<sim::LoggedCommand> log = simulator.commandLog();
    QCOMPARE(log.size(), 3);
    QCOMPARE(log[0].line, QByteArray("?"));
    QCOMPARE(log[1].line, QByteArray("r"));
    port.close();
    simulator.stop();
    QVERIFY(!simulator.isRunning());
}

void TestPtySimulator::reopenAfterClientCloses()
{
    sim::PtySimulator simulator;
    QVERIFY(simulator.start("Corvane Nano Tera"));
    for (int round = 0; round < 2; ++round) {
        QSerialPort port;
        QVERIFY(openPort(port, simulator.slavePath()));
        writeAll(port, "RdXFP 7f\r\n");
        const QByteArray reply =
            readUntil(port, [](const QByteArray &b) { return b.endsWith("\r\n"); });
        QCOMPARE(reply, QByteArray("7f = 01\r\n"));
        port.close();
    }
    QVERIFY(simulator.isRunning());
}

void TestPtySimulator::unplugRaisesPortError()
{
    sim::PtySimulator simulator;
    QVERIFY(simulator.start("Corvane Nano"));
    QSerialPort port;
    QVERIFY(openPort(port, simulator.slavePath()));
    bool lost = false;
    connect(&port, &QSerialPort::errorOccurred, this, [&](QSerialPort::SerialPortError e) {
        // The port repeats the error until it is closed; close it once.
        if ((e == QSerialPort::ReadError || e == QSerialPort::ResourceError) && port.isOpen()) {
            lost = true;
            port.close();
        }
    });
    writeAll(port, "?\r\n");
    QVERIFY(readUntil(port, [](const QByteArray &b) {
                return b.contains("\r\n");
            }).startsWith("Corvane Nano:"));

    simulator.unplug();
    QTRY_VERIFY_WITH_TIMEOUT(lost, 5000);
    QVERIFY(!port.isOpen());
    // The engine outlives the transport.
    QCOMPARE(simulator.withEngine([](sim::Engine &e) { return e.commandLog().size(); }), 1);
}

QTEST_GUILESS_MAIN(TestPtySimulator)
#include "tst_ptysimulator.moc"
