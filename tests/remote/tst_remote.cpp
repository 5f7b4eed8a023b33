// Remote control of simulated instruments as a lab script sees it: raw TCP
// clients on 127.0.0.1 talk to the SCPI server wired to a pool of instruments,
// each on a real pty with the simulator behind it. The replies are compared
// with texts written out by hand, and the simulator's command log shows what
// reached the wire.
#include "device/instrumentpool.h"
#include "device/testlogfile.h"
#include "remote/figures.h"
#include "remote/scpicommands.h"
#include "remote/scpiserver.h"
#include "remote/services.h"
#include "support/simwire.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <vector>

namespace {

// Instruments of their own pool, each connected to a simulated one, and a
// SCPI server over them.
struct Rig {
    device::InstrumentPool pool;
    std::vector<std::unique_ptr<sim::PtySimulator>> sims;
    std::vector<std::unique_ptr<device::Instrument>> instruments;
    scpi::CommandSet set;
    ScpiServer server{&set}; // goes first: its sessions use the set and own requests

    Rig()
    {
        remote::addInstrumentCommands(&set, &pool);
        portcatalog::clearExtras();
        server.listen(QHostAddress::LocalHost, 0, nullptr);
    }
    // A simulated instrument on a new pty; seed 1 has serial number 10447, 2 has 10448.
    bool plugIn(const QByteArray &model, quint32 seed = 1)
    {
        sims.push_back(std::make_unique<sim::PtySimulator>(seed));
        if (!sims.back()->start(model))
            return false;
        portcatalog::addExtra(sims.back()->slavePath(), QStringLiteral("USB Serial Device"));
        return true;
    }
    // Searches and connects an instrument to every simulated one, in order.
    bool connectAll()
    {
        QSignalSpy done(&pool, &device::InstrumentPool::searchFinished);
        pool.search('A');
        if (!done.wait(5000))
            return false;
        for (const auto &sim : sims) {
            const Found *found = pool.found(sim->slavePath());
            if (!found || found->status != Found::Status::Listed)
                return false;
            instruments.push_back(std::make_unique<device::Instrument>());
            device::Instrument *i = instruments.back().get();
            pool.add(i);
            QSignalSpy measured(i, &device::Instrument::measured);
            if (!i->connectTo(*found) || !measured.wait(3000))
                return false;
        }
        return true;
    }
    bool connect(const QByteArray &model) { return plugIn(model) && connectAll(); }
    device::Instrument &inst(int n = 0) { return *instruments.at(size_t(n)); }
    template <class F> auto engine(F f, int n = 0) { return sims.at(size_t(n))->withEngine(f); }
    qint64 logSize(int n = 0)
    {
        return engine([](sim::Engine &e) { return e.commandsReceived(); }, n);
    }
    // What reached instrument n since command number `from`, without the
    // requests for records.
    QList<QByteArray> commands(qint64 from, int n = 0) const
    {
        QList<QByteArray> out;
        for (const sim::LoggedCommand &c : sims.at(size_t(n))->commandLog())
            if (c.index >= from && c.line != "r" && c.line != "rB")
                out << c.line;
        return out;
    }
    // Answers every request for a record with this one, and waits until the
    // instrument has taken it.
    bool script(const QByteArray &record, int n = 0)
    {
        engine([&](sim::Engine &e) { e.scriptRecords({record}); }, n);
        QSignalSpy measured(&inst(n), &device::Instrument::measured);
        return QTest::qWaitFor([&] { return measured.size() >= 3; }, 5000);
    }
};

// A client on its own socket, reading reply lines.
struct Client {
    QTcpSocket socket;
    QByteArray got;

    bool open(quint16 port)
    {
        socket.connectToHost(QHostAddress::LocalHost, port);
        return socket.waitForConnected(5000);
    }
    void send(const QByteArray &line) { socket.write(line + "\n"); }
    // The next reply line without its LF; "(nothing)" when none came in time.
    QByteArray next(int ms = 5000)
    {
        const bool complete = QTest::qWaitFor(
            [&] {
                got += socket.readAll();
                return got.contains('\n');
            },
            ms);
        if (!complete)
            return "(nothing)";
        const int lf = got.indexOf('\n');
        const QByteArray line = got.left(lf);
        got.remove(0, lf + 1);
        return line;
    }
    QByteArray ask(const QByteArray &line, int ms = 5000)
    {
        send(line);
        return next(ms);
    }
    // Fields of a FETC:ALL? reply after the record's number.
    QByteArray afterSeq(const QByteArray &reply) { return reply.mid(reply.indexOf(',') + 1); }
};

const QByteArray NoError = "0,\"No error\"";
const QByteArray NoInstrument = "-200,\"Execution error;no instrument\"";
const QByteArray Busy = "-200,\"Execution error;busy\"";
const QByteArray None = "9.91E+37";

} // namespace

class TstRemote : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<bert::Measurement>(); }

    // *IDN? from the identification, the catalogue of the model's patterns
    // from the top of its slider down, and the instrument list.
    void identification_data()
    {
        columns<QByteArray, QByteArray, QByteArray>({"model", "idn", "patterns"});
        QTest::newRow("NanoTb") << QByteArray("Corvane NanoTb")
                                << QByteArray("Corvane,Corvane NanoTb,10447,2.61")
                                << QByteArray("PRBS63,PRBS58,PRBS31,PRBS23,PRBS15,PRBS11,PRBS9,"
                                              "PRBS7,Repeat");
        QTest::newRow("Nano") << QByteArray("Corvane Nano")
                              << QByteArray("Corvane,Corvane Nano,10447,2.61")
                              << QByteArray("PRBS31,PRBS23,PRBS7,K28.5,CJTPAT,CRPAT,CSPAT,Repeat,"
                                            "Custom");
        QTest::newRow("Span") << QByteArray("Corvane Nano Span")
                              << QByteArray("Corvane,Corvane Nano Span,10447,2.61")
                              << QByteArray("PRBS31,PRBS23,PRBS15,PRBS11,PRBS7,K28.5,DCD,Repeat,"
                                            "Custom");
        QTest::newRow("Tera") << QByteArray("Corvane Tera")
                              << QByteArray("Corvane,Corvane Tera,10447,2.61")
                              << QByteArray("PRBS31,PRBS7,DCD,Repeat,Custom");
    }
    void identification()
    {
        Rig rig;
        QVERIFY(rig.connect(data<QByteArray>("model")));
        Client c;
        QVERIFY(c.open(rig.server.port()));
        QCOMPARE(c.ask("*IDN?"), data<QByteArray>("idn"));
        QCOMPARE(c.ask("sour:patt:cat?"), data<QByteArray>("patterns"));
        QCOMPARE(c.ask("INST:CAT?"), "\"10447\",\"" + data<QByteArray>("model") + "\",\"" +
                                         rig.sims[0]->slavePath().toLatin1() + "\"");
        QCOMPARE(c.ask("INSTrument:SELect?"), QByteArray("\"10447\""));
        QCOMPARE(c.ask("SYST:ERR?"), NoError);
    }

    // The figures of a scripted record, alone, joined on one line, and in
    // FETC:ALL?. The record is the worked example of simwire.h: 8388608 bits
    // at 10 Mbit/s (x 10 on the NanoT and Tera models), +10.0 dBm both ways,
    // 1550.12 nm, 42.1 C, lamp code 2.
    void fetch_data()
    {
        columns<QByteArray, QString, QByteArray, QByteArray, QByteArray>(
            {"model", "changes", "all", "fetch", "measure"});
        QTest::newRow("NanoTb, every read-out shown")
            << QByteArray("Corvane NanoTb") << QString()
            << QByteArray("8.388608E-02,8388608,0,0.000000E+00,100000000,PRBS31,1.000000E+01,"
                          "1.000000E+01,4.210000E+01,1.550120E+03,1,1,0")
            << QByteArray("0.000000E+00;0;8388608;8.388608E-02")
            << QByteArray("1.000000E+01;1.000000E+01;4.210000E+01;1.550120E+03");
        // 32768 errors (8388608 x 2^-8): a BER of 2^-8; Rx at -40.00 dBm shows
        // dashes; lamp code 3 is a signal without sync.
        QTest::newRow("Nano, errors, Rx out of range, no sync")
            << QByteArray("Corvane Nano") << QString("errors=80000010 rx=8fa0 status=03 pattern=4b")
            << QByteArray("8.388608E-01,8388608,32768,3.906250E-03,10000000,K28.5,9.91E+37,"
                          "1.000000E+01,4.210000E+01,1.550120E+03,1,0,0")
            << QByteArray("3.906250E-03;32768;8388608;8.388608E-01")
            << QByteArray("9.91E+37;1.000000E+01;4.210000E+01;1.550120E+03");
        // The low-rate model shows its line rate for Rx, an on/off flag for
        // Tx, and neither temperature nor wavelength.
        QTest::newRow("Span, no optics")
            << QByteArray("Corvane Nano Span") << QString()
            << QByteArray("8.388608E-01,8388608,0,0.000000E+00,10000000,PRBS31,9.91E+37,9.91E+37,"
                          "9.91E+37,9.91E+37,1,1,0")
            << QByteArray("0.000000E+00;0;8388608;8.388608E-01")
            << QByteArray("9.91E+37;9.91E+37;9.91E+37;9.91E+37");
        // Tx at +10.01 dBm is out of range; lamp code 5 says nothing of the lamps.
        QTest::newRow("Tera, Tx out of range, lamp code without lamps")
            << QByteArray("Corvane Tera") << QString("tx=7c17 status=05 pattern=44")
            << QByteArray("8.388608E-02,8388608,0,0.000000E+00,100000000,DCD,1.000000E+01,"
                          "9.91E+37,4.210000E+01,1.550120E+03,9.91E+37,9.91E+37,0")
            << QByteArray("0.000000E+00;0;8388608;8.388608E-02")
            << QByteArray("1.000000E+01;9.91E+37;4.210000E+01;1.550120E+03");
    }
    void fetch()
    {
        Rig rig;
        const QByteArray model = data<QByteArray>("model");
        QVERIFY(rig.connect(model));
        QVERIFY(rig.script(record(model, data<QString>("changes"))));
        Client c;
        QVERIFY(c.open(rig.server.port()));
        const QByteArray all = c.ask("FETCh:ALL?");
        QCOMPARE(c.afterSeq(all), data<QByteArray>("all"));
        QCOMPARE(c.ask("FETC:ERAT?;ECO?;BCO?;TIME?"), data<QByteArray>("fetch"));
        QCOMPARE(c.ask("MEAS:POW:RX?;TX?;:MEAS:TEMP?;WAV?"), data<QByteArray>("measure"));
        QCOMPARE(c.ask("SOUR:RATE?;PATT?"), data<QByteArray>("all").split(',').at(4) + ';' +
                                                data<QByteArray>("all").split(',').at(5));
        // READ:ALL? is the next record: its number is higher.
        const QByteArray read = c.ask("READ:ALL?");
        QCOMPARE(c.afterSeq(read), data<QByteArray>("all"));
        QVERIFY2(read.split(',').at(0).toLongLong() > all.split(',').at(0).toLongLong(), read);
        QCOMPARE(c.ask("SYST:ERR?"), NoError);
    }

    // Before the first record every figure is "no value", the transmitter's
    // state too; READ:ALL? gives up after two seconds without a record (the
    // figures are stale by then), then takes the next one.
    void noRecordYet()
    {
        Rig rig;
        QVERIFY(rig.plugIn("Corvane NanoTb"));
        QSignalSpy done(&rig.pool, &device::InstrumentPool::searchFinished);
        rig.pool.search('A');
        QVERIFY(done.wait(5000));
        rig.engine([](sim::Engine &e) { e.setFault(sim::Fault::NoReply); });
        device::Instrument inst;
        rig.pool.add(&inst);
        QVERIFY(inst.connectTo(*rig.pool.found(rig.sims[0]->slavePath())));
        Client c;
        QVERIFY(c.open(rig.server.port()));
        QCOMPARE(c.ask("FETC:ALL?"), QByteArray("0,9.91E+37,9.91E+37,9.91E+37,9.91E+37,9.91E+37,"
                                                "9.91E+37,9.91E+37,9.91E+37,9.91E+37,9.91E+37,"
                                                "9.91E+37,9.91E+37,0"));
        QCOMPARE(c.ask("FETC:ERAT?;BCO?;:SOUR:RATE?;PATT?;WAV?;:OUTP?"),
                 QByteArray("9.91E+37;9.91E+37;9.91E+37;9.91E+37;9.91E+37;9.91E+37"));
        QCOMPARE(c.ask("READ:ALL?;:SYST:ERR?"), QByteArray("-240,\"Hardware error\""));
        // Two seconds without a record: the figures are stale.
        QCOMPARE(c.ask("FETC:ALL?"), QByteArray("0,9.91E+37,9.91E+37,9.91E+37,9.91E+37,9.91E+37,"
                                                "9.91E+37,9.91E+37,9.91E+37,9.91E+37,9.91E+37,"
                                                "9.91E+37,9.91E+37,1"));
        c.send("READ:ALL?");
        rig.engine([](sim::Engine &e) { e.setFault(sim::Fault::None); });
        QVERIFY(c.next().startsWith("1,"));
        QCOMPARE(c.ask("SYST:ERR?"), NoError);
    }

    // Without an instrument, commands that address one fail with -200.
    void noInstrument()
    {
        Rig rig;
        Client c;
        QVERIFY(c.open(rig.server.port()));
        QCOMPARE(c.ask("INST:CAT?;SEL?"), QByteArray("\"\";\"\""));
        for (const QByteArray command :
             {"*IDN?", "FETC:ALL?", "SOUR:RATE 10312500000", "OUTP ON", "EYE:STAR", "LOG:STAT?"})
            QCOMPARE(c.ask(command + ";:SYST:ERR?"), NoInstrument);
        QCOMPARE(c.ask("EYE:SCAL 150;SCAL?"), QByteArray("150")); // the connection's own
        QCOMPARE(c.ask("INST:SEL 10447;:SYST:ERR?"),
                 QByteArray("-224,\"Illegal parameter value\""));
    }

    // Each setting sends what the window's control sends, or nothing with the
    // error the client reads from the queue.
    void settings_data()
    {
        columns<QByteArray, QByteArray, QByteArray, QByteArrayList, QByteArray, QByteArray>(
            {"model", "command", "error", "wire", "query", "answer"});
        const QByteArray tb = "Corvane NanoTb", nano = "Corvane Nano", span = "Corvane Nano Span",
                         tera = "Corvane Tera";
        const QByteArray range = "-222,\"Data out of range\"";
        const QByteArray illegal = "-224,\"Illegal parameter value\"";
        // Rates: the set-rate number is in the model's unit (kbit/s, bit/s, 10 bit/s).
        QTest::newRow("rate NanoTb")
            << tb << QByteArray("SOUR:RATE 10312500000") << NoError
            << QByteArrayList{"setrate 10312500"} << QByteArray() << QByteArray();
        QTest::newRow("rate Nano")
            << nano << QByteArray("source:rate 2.48832E9") << NoError
            << QByteArrayList{"setrate 2488320000"} << QByteArray() << QByteArray();
        QTest::newRow("rate Span")
            << span << QByteArray("SOUR:RATE 44736000") << NoError
            << QByteArrayList{"setrate 44736000"} << QByteArray() << QByteArray();
        QTest::newRow("rate Tera")
            << tera << QByteArray("SOUR:RATE 10312500000") << NoError
            << QByteArrayList{"setrate 1031250000"} << QByteArray() << QByteArray();
        QTest::newRow("rate below NanoTb's") << tb << QByteArray("SOUR:RATE 1E9") << range
                                             << QByteArrayList{} << QByteArray() << QByteArray();
        QTest::newRow("rate in hex") << tb << QByteArray("SOUR:RATE #H10") << range
                                     << QByteArrayList{} << QByteArray() << QByteArray();
        QTest::newRow("rate not a number")
            << tb << QByteArray("SOUR:RATE fast") << QByteArray("-104,\"Data type error\"")
            << QByteArrayList{} << QByteArray() << QByteArray();
        // Patterns: the letter of the slider position.
        QTest::newRow("pattern PRBS7")
            << tb << QByteArray("SOUR:PATT PRBS7") << NoError << QByteArrayList{"setpat 7"}
            << QByteArray() << QByteArray();
        QTest::newRow("pattern at position 0")
            << tb << QByteArray("SOUR:PATT repeat") << NoError << QByteArrayList{"setpat L"}
            << QByteArray() << QByteArray();
        QTest::newRow("pattern CJTPAT")
            << nano << QByteArray("SOUR:PATT CJTPAT") << NoError << QByteArrayList{"setpat J"}
            << QByteArray() << QByteArray();
        QTest::newRow("custom duty cycle")
            << span << QByteArray("SOUR:PATT Custom") << NoError << QByteArrayList{"setpat C0"}
            << QByteArray() << QByteArray();
        QTest::newRow("pattern the model lacks")
            << tb << QByteArray("SOUR:PATT K28.5") << illegal << QByteArrayList{} << QByteArray()
            << QByteArray();
        QTest::newRow("no such pattern") << tb << QByteArray("SOUR:PATT PRBS99") << illegal
                                         << QByteArrayList{} << QByteArray() << QByteArray();
        // The transmitter, the error counter.
        QTest::newRow("output off")
            << tb << QByteArray("OUTP OFF") << NoError << QByteArrayList{"tx 0"}
            << QByteArray("OUTP?") << QByteArray("0");
        QTest::newRow("output on")
            << tb << QByteArray("OUTPut:STATe 1") << NoError << QByteArrayList{"tx 1"}
            << QByteArray("OUTP:STAT?") << QByteArray("1");
        QTest::newRow("output 2") << tb << QByteArray("OUTP 2") << illegal << QByteArrayList{}
                                  << QByteArray("OUTP?") << QByteArray("1");
        QTest::newRow("counter reset") << tb << QByteArray("SENS:ECO:RES") << NoError
                                       << QByteArrayList{"reset"} << QByteArray() << QByteArray();
        QTest::newRow("*RST") << tb << QByteArray("*RST") << NoError << QByteArrayList{"reset"}
                              << QByteArray() << QByteArray();
        // Wavelengths: 1551.00 nm is 193.29 THz, down to channel 3865
        // (193.25 THz), which is 1551.32 nm.
        QTest::newRow("wavelength on the grid")
            << tb << QByteArray("SOUR:WAV 1550.12") << NoError << QByteArrayList{"SetWL 1550.12"}
            << QByteArray("SOUR:WAV?") << QByteArray("1.550120E+03");
        QTest::newRow("wavelength between channels")
            << tera << QByteArray("SOUR:WAV 1551") << NoError << QByteArrayList{"SetWL 1551.32"}
            << QByteArray() << QByteArray();
        QTest::newRow("wavelength out of range")
            << tb << QByteArray("SOUR:WAV 1700") << range << QByteArrayList{} << QByteArray()
            << QByteArray();
        QTest::newRow("wavelength, not tunable")
            << span << QByteArray("SOUR:WAV 1550")
            << QByteArray("-221,\"Settings conflict;not tunable\"") << QByteArrayList{}
            << QByteArray("SOUR:WAV?") << None;
    }
    void settings()
    {
        Rig rig;
        QVERIFY(rig.connect(data<QByteArray>("model")));
        Client c;
        QVERIFY(c.open(rig.server.port()));
        const qint64 from = rig.logSize();
        QCOMPARE(c.ask(data<QByteArray>("command") + ";:SYST:ERR?"), data<QByteArray>("error"));
        const QByteArrayList wire = data<QByteArrayList>("wire");
        if (wire.isEmpty())
            QTest::qWait(300); // nothing may follow
        QTRY_COMPARE(rig.commands(from), wire);
        if (!data<QByteArray>("query").isEmpty())
            QCOMPARE(c.ask(data<QByteArray>("query")), data<QByteArray>("answer"));
    }

    // The eye scan: the connection's scale, an operation *OPC? waits for, the
    // samples in picture order, and who may start one.
    void eyeScan()
    {
        Rig rig;
        QVERIFY(rig.connect("Corvane NanoTb"));
        Client a, b;
        QVERIFY(a.open(rig.server.port()));
        QVERIFY(b.open(rig.server.port()));
        QCOMPARE(a.ask("EYE:DATA?;:SYST:ERR?"), QByteArray("-200,\"Execution error;no eye scan\""));
        QCOMPARE(a.ask("EYE:SCAL 75;:SYST:ERR?"), QByteArray("-224,\"Illegal parameter value\""));
        QCOMPARE(a.ask("EYE:SCAL 100;SCAL?"), QByteArray("100"));
        QCOMPARE(b.ask("EYE:SCAL?"), QByteArray("200"));

        const qint64 from = rig.logSize();
        a.send("EYE:STAR;*OPC?");
        QTRY_VERIFY(rig.inst().isBusy());
        // Another client finds the line taken.
        QCOMPARE(b.ask("EYE:STAR;:SYST:ERR?"), Busy);
        QCOMPARE(b.ask("XCVR:REG? A0,0;:SYST:ERR?"), Busy);
        QCOMPARE(a.next(10000), QByteArray("1"));
        QCOMPARE(rig.inst().lastEyeScan().size(), 4224); // the scan was in when *OPC? answered
        QCOMPARE(rig.commands(from), QByteArrayList{"Scan 2"});

        // 64 lines of 64 samples, one line per column, each from the bottom up:
        // the picture's top row is the last sample of every line.
        const QByteArray scan = rig.inst().lastEyeScan();
        const QByteArrayList samples = a.ask("EYE:DATA?").split(',');
        QCOMPARE(samples.size(), 4096);
        QCOMPARE(samples.at(0).toInt(), int(quint8(scan.at(63))));         // top left
        QCOMPARE(samples.at(1).toInt(), int(quint8(scan.at(66 + 63))));    // top, second column
        QCOMPARE(samples.at(64).toInt(), int(quint8(scan.at(62))));        // second row, left
        QCOMPARE(samples.at(4095).toInt(), int(quint8(scan.at(63 * 66)))); // bottom right
        QCOMPARE(a.ask("SYST:ERR?"), NoError);

        // Width 21 x 0.03125 UI shows as 0.66 UI, height 40 x 3.125 mV as 125 mV;
        // 42500000 x 10 bit/s is 4250 Mbit/s.
        QVERIFY(rig.script(record("Corvane NanoTb", "eye=152800 rate=1954fc40")));
        QCOMPARE(a.ask("EYE:OPEN?"), QByteArray("6.600000E-01,1.250000E+02"));
        // 4250 Mbit/s is below the scan's lowest rate.
        QCOMPARE(a.ask("EYE:STAR;:SYST:ERR?"),
                 QByteArray("-221,\"Settings conflict;rate too low\""));
    }

    void eyeScanNeedsTheEyeModels()
    {
        Rig rig;
        QVERIFY(rig.connect("Corvane Tera"));
        Client c;
        QVERIFY(c.open(rig.server.port()));
        const qint64 from = rig.logSize();
        QCOMPARE(c.ask("EYE:STAR;:SYST:ERR?"),
                 QByteArray("-221,\"Settings conflict;no eye scan\""));
        QTest::qWait(300);
        QCOMPARE(rig.commands(from), QByteArrayList{});
    }

    // Registers: a read is a request for the line written without side
    // letter; a write needs XCVR:WRIT:ENAB ON on the same connection (until *RST).
    void registers_data()
    {
        columns<QByteArray, char, QByteArray, QByteArray, QByteArrayList>(
            {"model", "side", "commands", "replies", "wire"});
        QTest::newRow("SFP serial ID")
            << QByteArray("Corvane Nano") << 'A' << QByteArray("XCVR:REG? A0,0;REG? a2,#H80")
            << QByteArray("3;67") << QByteArrayList{"RdSFP I 0", "RdSFP D 80"};
        QTest::newRow("SFP write protected")
            << QByteArray("Corvane Nano") << 'A' << QByteArray("XCVR:REG A2,#H80,#H55;:SYST:ERR?")
            << QByteArray("-203,\"Command protected\"") << QByteArrayList{};
        QTest::newRow("SFP write enabled")
            << QByteArray("Corvane Nano") << 'A'
            << QByteArray("XCVR:WRIT:ENAB ON;:XCVR:REG A2,#H80,#H55;REG? A2,128;:SYST:ERR?")
            << QByteArray("85;0,\"No error\"") << QByteArrayList{"WrSFP D 80 55", "RdSFP D 80"};
        QTest::newRow("SFP write disabled again")
            << QByteArray("Corvane Nano") << 'A'
            << QByteArray("XCVR:WRIT:ENAB ON;ENAB OFF;ENAB?;:XCVR:REG A2,#H80,#H55;:SYST:ERR?")
            << QByteArray("0;-203,\"Command protected\"") << QByteArrayList{};
        QTest::newRow("SFP page unknown")
            << QByteArray("Corvane Nano") << 'A' << QByteArray("XCVR:REG? A1,0;:SYST:ERR?")
            << QByteArray("-224,\"Illegal parameter value\"") << QByteArrayList{};
        QTest::newRow("SFP address out of range")
            << QByteArray("Corvane Nano") << 'A' << QByteArray("XCVR:REG? A0,256;:SYST:ERR?")
            << QByteArray("-222,\"Data out of range\"") << QByteArrayList{};
        // XFP: the page goes to 7F first.
        QTest::newRow("XFP page 1")
            << QByteArray("Corvane Tera") << 'A' << QByteArray("XCVR:REG? 1,#H80")
            << QByteArray("6") << QByteArrayList{"WrXFP 7f 01", "RdXFP 80"};
        QTest::newRow("XFP page 3 written and read")
            << QByteArray("Corvane Tera") << 'A'
            << QByteArray("XCVR:WRIT:ENAB 1;:XCVR:REG 3,#H80,90;REG? 3,#H80") << QByteArray("90")
            << QByteArrayList{"WrXFP 7f 03", "WrXFP 80 5a", "WrXFP 7f 03", "RdXFP 80"};
        QTest::newRow("XFP page out of range")
            << QByteArray("Corvane Tera") << 'A' << QByteArray("XCVR:REG? 256,0;:SYST:ERR?")
            << QByteArray("-222,\"Data out of range\"") << QByteArrayList{};
        QTest::newRow("no transceiver")
            << QByteArray("Corvane Nano Span") << 'A' << QByteArray("XCVR:REG? A0,0;:SYST:ERR?")
            << QByteArray("-221,\"Settings conflict;no transceiver port\"") << QByteArrayList{};
        // Side B: the read goes out as typed, the write through the command
        // sender with the side letter.
        QTest::newRow("SFP on side B")
            << QByteArray("Corvane Nano") << 'B'
            << QByteArray("XCVR:WRIT:ENAB ON;:XCVR:REG A2,#H80,#H55;REG? A2,128")
            << QByteArray("85") << QByteArrayList{"WrSFPB D 80 55", "RdSFP D 80"};
        // *RST takes the connection's own settings back to theirs.
        QTest::newRow("*RST disables writes")
            << QByteArray("Corvane Nano") << 'A'
            << QByteArray("XCVR:WRIT:ENAB ON;:EYE:SCAL 100;*RST;:XCVR:WRIT:ENAB?;:EYE:SCAL?;"
                          ":XCVR:REG A2,#H80,#H55;:SYST:ERR?")
            << QByteArray("0;200;-203,\"Command protected\"") << QByteArrayList{"reset"};
    }
    void registers()
    {
        Rig rig;
        QVERIFY(rig.connect(data<QByteArray>("model")));
        rig.inst().setSide(data<char>("side"));
        Client c;
        QVERIFY(c.open(rig.server.port()));
        const qint64 from = rig.logSize();
        QCOMPARE(c.ask(data<QByteArray>("commands")), data<QByteArray>("replies"));
        const QByteArrayList wire = data<QByteArrayList>("wire");
        if (wire.isEmpty())
            QTest::qWait(300);
        QTRY_COMPARE(rig.commands(from), wire);
        QVERIFY(!rig.inst().isBusy());
    }

    // A register read whose reply never comes fails with -240, and the line
    // is handed back.
    void registerWithoutReply()
    {
        Rig rig;
        QVERIFY(rig.connect("Corvane Nano"));
        Client c;
        QVERIFY(c.open(rig.server.port()));
        rig.engine([](sim::Engine &e) { e.setFault(sim::Fault::NoReply); });
        QCOMPARE(c.ask("XCVR:REG? A0,0;:SYST:ERR?"), QByteArray("-240,\"Hardware error\""));
        QTRY_VERIFY(!rig.inst().isBusy());
    }

    // The test log, started and stopped remotely; a file that cannot be
    // written says why.
    void testLog()
    {
        Rig rig;
        QVERIFY(rig.connect("Corvane NanoTb"));
        QTemporaryDir dir;
        Client c;
        QVERIFY(c.open(rig.server.port()));
        const QString path = dir.filePath("remote.csv");
        QCOMPARE(c.ask("LOG:STAT?"), QByteArray("0"));
        QCOMPARE(c.ask("LOG:STAR \"" + path.toUtf8() + "\";STAT?"), QByteArray("1"));
        QTRY_VERIFY_WITH_TIMEOUT(rig.inst().testLog()->rows() >= 2, 5000);
        QCOMPARE(c.ask("LOG:STOP;STAT?"), QByteArray("0"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QVERIFY(lines.at(0).startsWith("Corvane NanoT Log file "));
        QCOMPARE(lines.at(1),
                 QByteArray("Time, Rate, Pattern, Temp (C), Rx (dBm), Count, Errors, BER\r"));
        QVERIFY2(lines.at(2).contains(", 10312500000, PRBS31, "), lines.at(2));
        QCOMPARE(
            c.ask("LOG:STAR \"/no/such/folder/x.csv\";:SYST:ERR?"),
            QByteArray("-200,\"Execution error;Cannot write the log file /no/such/folder/x.csv: "
                       "No such file or directory\""));
        QCOMPARE(c.ask("LOG:STAT?"), QByteArray("0"));
    }

    // The engine's error queue over the instrument commands: oldest first,
    // counted, cleared by *CLS and *RST.
    void errorQueue()
    {
        Rig rig;
        QVERIFY(rig.connect("Corvane NanoTb"));
        Client c;
        QVERIFY(c.open(rig.server.port()));
        c.send("SOUR:PATT PRBS99;RATE 1;:BOGUS");
        QCOMPARE(c.ask("SYST:ERR:COUN?"), QByteArray("3"));
        QCOMPARE(c.ask("SYST:ERR?;ERR:NEXT?"),
                 QByteArray("-224,\"Illegal parameter value\";-222,\"Data out of range\""));
        QCOMPARE(c.ask("SYST:ERR?;ERR?"), QByteArray("-113,\"Undefined header\";0,\"No error\""));
        c.send("*CLS;:OUTP 7");
        QCOMPARE(c.ask("*ESR?;*STB?"), QByteArray("16;4")); // an execution error, queued
        c.send("OUTP 7;*CLS");
        QCOMPARE(c.ask("SYST:ERR:COUN?"), QByteArray("0"));
        c.send("OUTP 7;*RST");
        QCOMPARE(c.ask("SYST:ERR:COUN?;:SYST:VERS?"), QByteArray("0;1999.0"));
    }

    // Two clients: each has its own error queue, selection and settings.
    void twoClients()
    {
        Rig rig;
        QVERIFY(rig.plugIn("Corvane NanoTb", 1));
        QVERIFY(rig.plugIn("Corvane Nano", 2));
        QVERIFY(rig.connectAll());
        Client a, b;
        QVERIFY(a.open(rig.server.port()));
        QVERIFY(b.open(rig.server.port()));
        a.send("BOGUS");
        QCOMPARE(b.ask("INST:SEL 10448;*IDN?"), QByteArray("Corvane,Corvane Nano,10448,2.61"));
        QCOMPARE(a.ask("*IDN?"), QByteArray("Corvane,Corvane NanoTb,10447,2.61"));
        QCOMPARE(b.ask("SYST:ERR?;:XCVR:WRIT:ENAB ON;ENAB?"), NoError + ";1");
        QCOMPARE(a.ask("SYST:ERR?;:XCVR:WRIT:ENAB?"), QByteArray("-113,\"Undefined header\";0"));
    }

    // Two instruments: the catalogue lists both, and INST:SEL addresses the
    // other wire.
    void twoInstruments()
    {
        Rig rig;
        QVERIFY(rig.plugIn("Corvane NanoTb", 1));
        QVERIFY(rig.plugIn("Corvane Nano", 2));
        QVERIFY(rig.connectAll());
        Client c;
        QVERIFY(c.open(rig.server.port()));
        QCOMPARE(c.ask("INST:CAT?"), "\"10447\",\"Corvane NanoTb\",\"" +
                                         rig.sims[0]->slavePath().toLatin1() +
                                         "\",\"10448\",\"Corvane Nano\",\"" +
                                         rig.sims[1]->slavePath().toLatin1() + "\"");
        const qint64 from0 = rig.logSize(0), from1 = rig.logSize(1);
        QCOMPARE(c.ask("SOUR:PATT PRBS7;:INST:SEL \"10448\";SEL?;:SOUR:PATT PRBS7;:SYST:ERR?"),
                 "\"10448\";" + NoError);
        QTRY_COMPARE(rig.commands(from0, 0), QByteArrayList{"setpat 7"});
        QTRY_COMPARE(rig.commands(from1, 1), QByteArrayList{"setpat 7"});
        const qint64 again0 = rig.logSize(0);
        QCOMPARE(c.ask("OUTP OFF;:INST:SEL 4711;:SYST:ERR?;:INST:SEL?"),
                 QByteArray("-224,\"Illegal parameter value\";\"10448\""));
        QTRY_COMPARE(rig.commands(from1, 1), (QByteArrayList{"setpat 7", "tx 0"}));
        QCOMPARE(rig.commands(again0, 0), QByteArrayList{});

        // The selected instrument gone: no instrument, until it is back.
        rig.inst(1).disconnectFromInstrument();
        QTRY_VERIFY(!rig.inst(1).holdsPort());
        QCOMPARE(c.ask("*IDN?;:SYST:ERR?"), NoInstrument);
    }

    // A client that goes while its query waits leaves nothing behind: its
    // request hands the line back and the others carry on.
    void clientGoneMidQuery_data()
    {
        // The register read and the eye scan send their command 100 and 200 ms
        // after taking the line: a client gone before then sends nothing.
        columns<QByteArray, QByteArray>({"query", "never"});
        QTest::newRow("register read") << QByteArray("XCVR:REG? A0,0") << QByteArray("RdSFP I 0");
        QTest::newRow("eye scan") << QByteArray("EYE:STAR;*OPC?") << QByteArray("Scan 4");
        QTest::newRow("next record") << QByteArray("READ:ALL?") << QByteArray();
    }
    void clientGoneMidQuery()
    {
        Rig rig;
        QVERIFY(rig.connect("Corvane NanoTb"));
        const qint64 from = rig.logSize();
        {
            Client gone;
            QVERIFY(gone.open(rig.server.port()));
            gone.send(data<QByteArray>("query"));
            if (data<QByteArray>("never").isEmpty()) {
                QTRY_COMPARE(rig.server.clientCount(), 1);
                QTest::qWait(50);
            } else {
                QTRY_VERIFY(rig.inst().isBusy());
            }
            gone.socket.abort();
        }
        QTRY_COMPARE(rig.server.clientCount(), 0);
        QTRY_VERIFY(!rig.inst().isBusy());
        QTest::qWait(400); // the command never follows
        QCOMPARE(rig.commands(from), QByteArrayList{});
        Client c;
        QVERIFY(c.open(rig.server.port()));
        QCOMPARE(c.ask("XCVR:REG? A0,0"), QByteArray("3"));
    }

    // The services of a program: listening as asked, the status the windows
    // show, and a failed bind that leaves nothing listening.
    void services()
    {
        Rig rig;
        QVERIFY(rig.connect("Corvane NanoTb"));
        remote::Listen scpi, metrics;
        scpi.enabled = metrics.enabled = true;
        remote::Services services(&rig.pool);
        QString error;
        QVERIFY2(services.start(scpi, metrics, &error), qPrintable(error));
        QVERIFY(services.scpiPort() != 0 && services.metricsPort() != 0);
        QCOMPARE(rig.pool.remoteStatus().server,
                 QString("SCPI on 127.0.0.1:%1; metrics on http://127.0.0.1:%2/metrics")
                     .arg(services.scpiPort())
                     .arg(services.metricsPort()));
        QCOMPARE(rig.pool.remoteStatus().clients, 0);
        QCOMPARE(rig.pool.remoteStatus().warning, QString());
        {
            Client c;
            QVERIFY(c.open(services.scpiPort()));
            QTRY_COMPARE(rig.pool.remoteStatus().clients, 1);
            QCOMPARE(c.ask("*IDN?"), QByteArray("Corvane,Corvane NanoTb,10447,2.61"));
        }
        QTRY_COMPARE(rig.pool.remoteStatus().clients, 0);

        // The port taken: false with the reason, nothing left listening.
        remote::Services second(&rig.pool);
        remote::Listen taken = scpi;
        taken.port = services.scpiPort();
        QVERIFY(!second.start(taken, {}, &error));
        QCOMPARE(error, QString("cannot listen on 127.0.0.1:%1 for SCPI: The bound address is "
                                "already in use")
                            .arg(services.scpiPort()));
        remote::Services third(&rig.pool);
        remote::Listen takenMetrics = metrics;
        takenMetrics.port = services.metricsPort();
        QVERIFY(!third.start(scpi, takenMetrics, &error));
        QVERIFY2(
            error.startsWith(
                QString("cannot listen on 127.0.0.1:%1 for metrics: ").arg(services.metricsPort())),
            qPrintable(error));
        QCOMPARE(third.scpiPort(), quint16(0));
        // A non-numeric address, and one beyond loopback nobody named.
        remote::Listen named = scpi;
        named.address = "localhost";
        QVERIFY(!third.start(named, {}, &error));
        QCOMPARE(error, QString("cannot listen on localhost for SCPI: not a numeric IP address"));
        named.address = "0.0.0.0";
        QVERIFY(!third.start(named, {}, &error));
        QVERIFY2(error.contains("only a loopback address"), qPrintable(error));
    }

    // A scrape carries the last record of every instrument that connected
    // and when it came, with the figures the window shows as dashes left out.
    void metricsFeed()
    {
        Rig rig;
        QVERIFY(rig.connect("Corvane Nano"));
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        QVERIFY(rig.script(record("Corvane Nano", "errors=80000010 rx=8fa0 status=03")));
        device::Instrument never;
        rig.pool.add(&never);
        remote::Listen metrics;
        metrics.enabled = true;
        remote::Services services(&rig.pool);
        QString error;
        QVERIFY2(services.start({}, metrics, &error), qPrintable(error));
        QTcpSocket http;
        http.connectToHost(QHostAddress::LocalHost, services.metricsPort());
        QVERIFY(http.waitForConnected(5000));
        http.write("GET /metrics HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
        QByteArray got;
        QVERIFY(QTest::qWaitFor([&] {
            got += http.readAll();
            return http.state() == QAbstractSocket::UnconnectedState;
        }));
        got += http.readAll();
        const QByteArray labels = "{serial=\"10447\",model=\"Corvane Nano\",port=\"" +
                                  rig.sims[0]->slavePath().toLatin1() + "\"}";
        for (const QByteArray &line :
             {"corvane_bit_count_total" + labels + " 8388608",
              "corvane_error_count_total" + labels + " 32768",
              "corvane_ber" + labels + " 0.00390625",
              "corvane_line_rate_bit_per_second" + labels + " 10000000",
              "corvane_tx_power_dbm" + labels + " 10",
              "corvane_temperature_celsius" + labels + " 42.1",
              "corvane_wavelength_meters" + labels + " 1.55012e-06",
              "corvane_signal" + labels + " 1", "corvane_sync" + labels + " 0",
              "corvane_connected" + labels + " 1", "corvane_stale" + labels + " 0"})
            QVERIFY2(got.contains("\n" + line + "\n"), qPrintable(line + "\n" + got));
        QVERIFY2(!got.contains("corvane_rx_power_dbm{"), got); // -40.00 dBm shows dashes
        // The last record's time: seconds since 1970, to the millisecond.
        const double after = QDateTime::currentMSecsSinceEpoch() / 1000.0;
        const QByteArray stamp = "\ncorvane_last_record_timestamp_seconds" + labels + " ";
        const int at = got.indexOf(stamp) + stamp.size();
        const double seconds = got.mid(at, got.indexOf('\n', at) - at).toDouble();
        QVERIFY2(at >= stamp.size() && seconds >= before / 1000.0 && seconds <= after,
                 qPrintable(QString::number(seconds, 'f', 3)));
        QCOMPARE(got.count("corvane_connected{"), 1); // the one that never connected is not there
    }
};

QTEST_GUILESS_MAIN(TstRemote)
#include "tst_remote.moc"
