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
struct Rig : SimRack {
    device::InstrumentPool pool;
    std::vector<std::unique_ptr<device::Instrument>> instruments;
    scpi::CommandSet set;
    ScpiServer server{&set}; // goes first: its sessions use the set and own requests

    Rig()
    {
        remote::addInstrumentCommands(&set, &pool);
        server.listen(QHostAddress::LocalHost, 0, nullptr);
    }
    // Simulated instruments found by a search.
    bool plugIn(const QByteArrayList &models)
    {
        QSignalSpy done(&pool, &device::InstrumentPool::searchFinished);
        return SimRack::plugIn(models) && (pool.search('A'), done.wait(5000));
    }
    // An instrument connected to each simulated one, in order, once it measures.
    bool connect(const QByteArrayList &models)
    {
        if (!plugIn(models))
            return false;
        for (const auto &sim : sims) {
            instruments.push_back(std::make_unique<device::Instrument>());
            pool.add(instruments.back().get());
            QSignalSpy measured(instruments.back().get(), &device::Instrument::measured);
            const Found *found = pool.found(sim->slavePath());
            if (!found || !instruments.back()->connectTo(*found) || !measured.wait(3000))
                return false;
        }
        return true;
    }
    quint16 port() const { return server.port(); }
    device::Instrument &inst(int n = 0) { return *instruments.at(size_t(n)); }
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

    explicit Client(quint16 port)
    {
        socket.connectToHost(QHostAddress::LocalHost, port);
        socket.waitForConnected(5000);
    }
    void send(const QByteArray &line) { socket.write(line + "\n"); }
    // The next reply line without its LF; "(nothing)" when none came in time.
    QByteArray next(int ms = 5000)
    {
        if (!QTest::qWaitFor([&] { return (got += socket.readAll()).contains('\n'); }, ms))
            return "(nothing)";
        const QByteArray line = got.left(got.indexOf('\n'));
        got.remove(0, line.size() + 1);
        return line;
    }
    QByteArray ask(const QByteArray &line, int ms = 5000) { return send(line), next(ms); }
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
    // from the top of its slider down, and the figures of a scripted record,
    // alone, joined on one line, and in FETC:ALL?. The record is the worked example of simwire.h:
    // 8388608 bits at 10 Mbit/s (x 10 on the NanoT and Tera models), +10.0 dBm both ways, 1550.12
    // nm, 42.1 C, lamp code 2.
    void fetch_data()
    {
        columns<QByteArray, QByteArray, QString, QByteArray, QByteArray, QByteArray>(
            {"model", "patterns", "changes", "all", "fetch", "measure"});
        QTest::newRow("NanoTb, every read-out shown")
            << QByteArray("Corvane NanoTb")
            << QByteArray("PRBS63,PRBS58,PRBS31,PRBS23,PRBS15,PRBS11,PRBS9,PRBS7,Repeat")
            << QString()
            << QByteArray("8.388608E-02,8388608,0,0.000000E+00,100000000,PRBS31,1.000000E+01,"
                          "1.000000E+01,4.210000E+01,1.550120E+03,1,1,0")
            << QByteArray("0.000000E+00;0;8388608;8.388608E-02")
            << QByteArray("1.000000E+01;1.000000E+01;4.210000E+01;1.550120E+03");
        // 32768 errors (8388608 x 2^-8): a BER of 2^-8; Rx at -40.00 dBm shows
        // dashes; lamp code 3 is a signal without sync.
        QTest::newRow("Nano, errors, Rx out of range, no sync")
            << QByteArray("Corvane Nano")
            << QByteArray("PRBS31,PRBS23,PRBS7,K28.5,CJTPAT,CRPAT,CSPAT,Repeat,Custom")
            << QString("errors=80000010 rx=8fa0 status=03 pattern=4b")
            << QByteArray("8.388608E-01,8388608,32768,3.906250E-03,10000000,K28.5,9.91E+37,"
                          "1.000000E+01,4.210000E+01,1.550120E+03,1,0,0")
            << QByteArray("3.906250E-03;32768;8388608;8.388608E-01")
            << QByteArray("9.91E+37;1.000000E+01;4.210000E+01;1.550120E+03");
        // The low-rate model shows its line rate for Rx, an on/off flag for
        // Tx, and neither temperature nor wavelength.
        QTest::newRow("Span, no optics")
            << QByteArray("Corvane Nano Span")
            << QByteArray("PRBS31,PRBS23,PRBS15,PRBS11,PRBS7,K28.5,DCD,Repeat,Custom") << QString()
            << QByteArray("8.388608E-01,8388608,0,0.000000E+00,10000000,PRBS31,9.91E+37,9.91E+37,"
                          "9.91E+37,9.91E+37,1,1,0")
            << QByteArray("0.000000E+00;0;8388608;8.388608E-01")
            << QByteArray("9.91E+37;9.91E+37;9.91E+37;9.91E+37");
        // Tx at +10.01 dBm is out of range; lamp code 5 says nothing of the lamps.
        QTest::newRow("Tera, Tx out of range, lamp code without lamps")
            << QByteArray("Corvane Tera") << QByteArray("PRBS31,PRBS7,DCD,Repeat,Custom")
            << QString("tx=7c17 status=05 pattern=44")
            << QByteArray("8.388608E-02,8388608,0,0.000000E+00,100000000,DCD,1.000000E+01,"
                          "9.91E+37,4.210000E+01,1.550120E+03,9.91E+37,9.91E+37,0")
            << QByteArray("0.000000E+00;0;8388608;8.388608E-02")
            << QByteArray("1.000000E+01;9.91E+37;4.210000E+01;1.550120E+03");
    }
    void fetch()
    {
        Rig rig;
        const QByteArray model = data<QByteArray>("model");
        QVERIFY(rig.connect({model}));
        QVERIFY(rig.script(record(model, data<QString>("changes"))));
        Client c(rig.port());
        QCOMPARE(c.ask("*IDN?;INST:SEL?"), "Corvane," + model + ",10447,2.61;\"10447\"");
        QCOMPARE(c.ask("sour:patt:cat?"), data<QByteArray>("patterns"));
        const QByteArray all = c.ask("FETCh:ALL?");
        QCOMPARE(all.mid(all.indexOf(',') + 1), data<QByteArray>("all"));
        QCOMPARE(c.ask("FETC:ERAT?;ECO?;BCO?;TIME?"), data<QByteArray>("fetch"));
        QCOMPARE(c.ask("MEAS:POW:RX?;TX?;:MEAS:TEMP?;WAV?"), data<QByteArray>("measure"));
        QCOMPARE(c.ask("SOUR:RATE?;PATT?"), data<QByteArray>("all").split(',').at(4) + ';' +
                                                data<QByteArray>("all").split(',').at(5));
        // READ:ALL? is the next record: its number is higher.
        const QByteArray read = c.ask("READ:ALL?");
        QCOMPARE(read.mid(read.indexOf(',') + 1), data<QByteArray>("all"));
        QVERIFY2(read.split(',').at(0).toLongLong() > all.split(',').at(0).toLongLong(), read);
    }

    // Before the first record every figure is "no value", the transmitter's
    // state too; READ:ALL? gives up after two seconds without a record (the
    // figures are stale by then), then takes the next one.
    void noRecordYet()
    {
        Rig rig;
        QVERIFY(rig.plugIn({"Corvane NanoTb"}));
        rig.engine([](sim::Engine &e) { e.setFault(sim::Fault::NoReply); });
        device::Instrument inst;
        rig.pool.add(&inst);
        QVERIFY(inst.connectTo(*rig.pool.found(rig.path(0))));
        Client c(rig.port());
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
        Client c(rig.port());
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
        const QByteArray tb = "Corvane NanoTb", span = "Corvane Nano Span", tera = "Corvane Tera";
        const QByteArray range = "-222,\"Data out of range\"";
        auto row = [](const char *name, const QByteArray &model, const char *command,
                      const QByteArray &error, const QByteArrayList &wire, const char *query = "",
                      const char *answer = "") {
            QTest::newRow(name) << model << QByteArray(command) << error << wire
                                << QByteArray(query) << QByteArray(answer);
        };
        // Rates: the set-rate number is in the model's unit (kbit/s here; the
        // other models' units: tst_bert's rateCommands).
        row("rate NanoTb", tb, "SOUR:RATE 10312500000", NoError, {"setrate 10312500"});
        row("rate below NanoTb's", tb, "SOUR:RATE 1E9", range, {});
        row("rate not a number", tb, "SOUR:RATE fast", "-104,\"Data type error\"", {});
        // Patterns: the letter of the slider position (every model's: tst_bert's patterns).
        row("pattern PRBS7", tb, "SOUR:PATT PRBS7", NoError, {"setpat 7"});
        row("pattern the model lacks", tb, "SOUR:PATT K28.5", "-224,\"Illegal parameter value\"",
            {});
        // The transmitter, the error counter, the eye scan.
        row("output off", tb, "OUTP OFF", NoError, {"tx 0"}, "OUTP?", "0");
        row("output on", tb, "OUTPut:STATe 1", NoError, {"tx 1"}, "OUTP:STAT?", "1");
        row("counter reset", tb, "SENS:ECO:RES", NoError, {"reset"});
        row("*RST", tb, "*RST", NoError, {"reset"});
        row("eye scan, not on Tera", tera, "EYE:STAR", "-221,\"Settings conflict;no eye scan\"",
            {});
        // Wavelengths: 1551.00 nm is 193.29 THz, down to channel 3865
        // (193.25 THz), which is 1551.32 nm.
        row("wavelength on the grid", tb, "SOUR:WAV 1550.12", NoError, {"SetWL 1550.12"},
            "SOUR:WAV?", "1.550120E+03");
        row("wavelength between channels", tera, "SOUR:WAV 1551", NoError, {"SetWL 1551.32"});
        row("wavelength out of range", tb, "SOUR:WAV 1700", range, {});
        row("wavelength, not tunable", span, "SOUR:WAV 1550",
            "-221,\"Settings conflict;not tunable\"", {}, "SOUR:WAV?", None);
    }
    void settings()
    {
        Rig rig;
        QVERIFY(rig.connect({data<QByteArray>("model")}));
        Client c(rig.port());
        const qint64 from = rig.logSize();
        QCOMPARE(c.ask(data<QByteArray>("command") + ";:SYST:ERR?"), data<QByteArray>("error"));
        const QByteArrayList wire = data<QByteArrayList>("wire");
        if (wire.isEmpty())
            QTest::qWait(300); // nothing may follow
        QTRY_COMPARE(rig.commands(0, from), wire);
        if (!data<QByteArray>("query").isEmpty())
            QCOMPARE(c.ask(data<QByteArray>("query")), data<QByteArray>("answer"));
    }

    // The eye scan: the connection's scale, an operation *OPC? waits for, the
    // samples in picture order, and who may start one.
    void eyeScan()
    {
        Rig rig;
        QVERIFY(rig.connect({"Corvane NanoTb"}));
        Client a(rig.port()), b(rig.port());
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
        QCOMPARE(rig.commands(0, from), QByteArrayList{"Scan 2"});

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

    // Registers: a read is a request for the line written without side
    // letter; a write needs XCVR:WRIT:ENAB ON on the same connection (until *RST).
    void registers_data()
    {
        columns<QByteArray, char, QByteArray, QByteArray, QByteArrayList>(
            {"model", "side", "commands", "replies", "wire"});
        auto row = [](const char *name, const char *model, char side, const char *commands,
                      const char *replies, const QByteArrayList &wire) {
            QTest::newRow(name) << QByteArray(model) << side << QByteArray(commands)
                                << QByteArray(replies) << wire;
        };
        const char *nano = "Corvane Nano", *tera = "Corvane Tera";
        row("SFP serial ID", nano, 'A', "XCVR:REG? A0,0;REG? a2,#H80", "3;67",
            {"RdSFP I 0", "RdSFP D 80"});
        row("SFP write protected", nano, 'A', "XCVR:REG A2,#H80,#H55;:SYST:ERR?",
            "-203,\"Command protected\"", {});
        row("SFP write enabled", nano, 'A',
            "XCVR:WRIT:ENAB ON;:XCVR:REG A2,#H80,#H55;REG? A2,128;:SYST:ERR?", "85;0,\"No error\"",
            {"WrSFP D 80 55", "RdSFP D 80"});
        row("SFP write disabled again", nano, 'A',
            "XCVR:WRIT:ENAB ON;ENAB OFF;ENAB?;:XCVR:REG A2,#H80,#H55;:SYST:ERR?",
            "0;-203,\"Command protected\"", {});
        row("SFP page unknown", nano, 'A', "XCVR:REG? A1,0;:SYST:ERR?",
            "-224,\"Illegal parameter value\"", {});
        row("SFP address out of range", nano, 'A', "XCVR:REG? A0,256;:SYST:ERR?",
            "-222,\"Data out of range\"", {});
        // XFP: the page goes to 7F first.
        row("XFP page 1", tera, 'A', "XCVR:REG? 1,#H80", "6", {"WrXFP 7f 01", "RdXFP 80"});
        row("XFP page 3 written and read", tera, 'A',
            "XCVR:WRIT:ENAB 1;:XCVR:REG 3,#H80,90;REG? 3,#H80", "90",
            {"WrXFP 7f 03", "WrXFP 80 5a", "WrXFP 7f 03", "RdXFP 80"});
        row("XFP page out of range", tera, 'A', "XCVR:REG? 256,0;:SYST:ERR?",
            "-222,\"Data out of range\"", {});
        row("no transceiver", "Corvane Nano Span", 'A', "XCVR:REG? A0,0;:SYST:ERR?",
            "-221,\"Settings conflict;no transceiver port\"", {});
        // Side B: the read goes out as typed, the write through the command
        // sender with the side letter.
        row("SFP on side B", nano, 'B', "XCVR:WRIT:ENAB ON;:XCVR:REG A2,#H80,#H55;REG? A2,128",
            "85", {"WrSFPB D 80 55", "RdSFP D 80"});
        // *RST takes the connection's own settings back to theirs.
        row("*RST disables writes", nano, 'A',
            "XCVR:WRIT:ENAB ON;:EYE:SCAL 100;*RST;:XCVR:WRIT:ENAB?;:EYE:SCAL?;"
            ":XCVR:REG A2,#H80,#H55;:SYST:ERR?",
            "0;200;-203,\"Command protected\"", {"reset"});
    }
    void registers()
    {
        Rig rig;
        QVERIFY(rig.connect({data<QByteArray>("model")}));
        rig.inst().setSide(data<char>("side"));
        Client c(rig.port());
        const qint64 from = rig.logSize();
        QCOMPARE(c.ask(data<QByteArray>("commands")), data<QByteArray>("replies"));
        const QByteArrayList wire = data<QByteArrayList>("wire");
        if (wire.isEmpty())
            QTest::qWait(300);
        QTRY_COMPARE(rig.commands(0, from), wire);
        QVERIFY(!rig.inst().isBusy());
    }

    // A register read whose reply never comes fails with -240, and the line
    // is handed back.
    void registerWithoutReply()
    {
        Rig rig;
        QVERIFY(rig.connect({"Corvane Nano"}));
        Client c(rig.port());
        rig.engine([](sim::Engine &e) { e.setFault(sim::Fault::NoReply); });
        QCOMPARE(c.ask("XCVR:REG? A0,0;:SYST:ERR?"), QByteArray("-240,\"Hardware error\""));
        QTRY_VERIFY(!rig.inst().isBusy());
    }

    // The test log, started and stopped remotely; a file that cannot be
    // written says why.
    void testLog()
    {
        Rig rig;
        QVERIFY(rig.connect({"Corvane NanoTb"}));
        QTemporaryDir dir;
        Client c(rig.port());
        const QString path = dir.filePath("remote.csv");
        QCOMPARE(c.ask("LOG:STAT?"), QByteArray("0"));
        QCOMPARE(c.ask("LOG:STAR \"" + path.toUtf8() + "\";STAT?"), QByteArray("1"));
        QTRY_VERIFY_WITH_TIMEOUT(rig.inst().testLog()->rows() >= 2, 5000);
        QCOMPARE(c.ask("LOG:STOP;STAT?"), QByteArray("0"));
        QFile file(path); // its format: remote_headless
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains(", 10312500000, PRBS31, "));
        QCOMPARE(
            c.ask("LOG:STAR \"/no/such/folder/x.csv\";:SYST:ERR?"),
            QByteArray("-200,\"Execution error;Cannot write the log file /no/such/folder/x.csv: "
                       "No such file or directory\""));
        QCOMPARE(c.ask("LOG:STAT?"), QByteArray("0"));
    }

    // Two instruments: the catalogue lists both, and INST:SEL addresses the
    // other wire; each client has its own selection and settings.
    void twoInstruments()
    {
        Rig rig;
        QVERIFY(rig.connect({"Corvane NanoTb", "Corvane Nano"}));
        Client c(rig.port());
        QCOMPARE(c.ask("INST:CAT?"), "\"10447\",\"Corvane NanoTb\",\"" + rig.path(0).toLatin1() +
                                         "\",\"10448\",\"Corvane Nano\",\"" +
                                         rig.path(1).toLatin1() + "\"");
        const qint64 from0 = rig.logSize(0), from1 = rig.logSize(1);
        QCOMPARE(c.ask("SOUR:PATT PRBS7;:INST:SEL \"10448\";SEL?;:SOUR:PATT PRBS7;:SYST:ERR?"),
                 "\"10448\";" + NoError);
        QTRY_COMPARE(rig.commands(0, from0), QByteArrayList{"setpat 7"});
        QTRY_COMPARE(rig.commands(1, from1), QByteArrayList{"setpat 7"});
        const qint64 again0 = rig.logSize(0);
        QCOMPARE(c.ask("OUTP OFF;:INST:SEL 4711;:SYST:ERR?;:INST:SEL?"),
                 QByteArray("-224,\"Illegal parameter value\";\"10448\""));
        QTRY_COMPARE(rig.commands(1, from1), (QByteArrayList{"setpat 7", "tx 0"}));
        QCOMPARE(rig.commands(0, again0), QByteArrayList{});
        Client other(rig.port());
        QCOMPARE(other.ask("*IDN?;:XCVR:WRIT:ENAB ON"),
                 QByteArray("Corvane,Corvane NanoTb,10447,2.61"));
        QCOMPARE(c.ask("*IDN?;:XCVR:WRIT:ENAB?"), QByteArray("Corvane,Corvane Nano,10448,2.61;0"));

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
        QVERIFY(rig.connect({"Corvane NanoTb"}));
        const qint64 from = rig.logSize();
        {
            Client gone(rig.port());
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
        QCOMPARE(rig.commands(0, from), QByteArrayList{});
        Client c(rig.port());
        QCOMPARE(c.ask("XCVR:REG? A0,0"), QByteArray("3"));
    }

    // The services of a program: listening as asked, the status the windows
    // show, and a failed bind that leaves nothing listening.
    void services()
    {
        Rig rig;
        QVERIFY(rig.connect({"Corvane NanoTb"}));
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
            Client c(services.scpiPort());
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
        // An address beyond loopback nobody named.
        remote::Listen named = scpi;
        named.address = "0.0.0.0";
        QVERIFY(!third.start(named, {}, &error));
        QVERIFY2(error.contains("only a loopback address"), qPrintable(error));
    }

    // A scrape carries the last record of every instrument that connected
    // and when it came, with the figures the window shows as dashes left out.
    void metricsFeed()
    {
        Rig rig;
        QVERIFY(rig.connect({"Corvane Nano"}));
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        QVERIFY(rig.script(record("Corvane Nano", "errors=80000010 rx=8fa0 status=03")));
        device::Instrument never;
        rig.pool.add(&never);
        remote::Listen metrics;
        metrics.enabled = true;
        remote::Services services(&rig.pool);
        QString error;
        QVERIFY2(services.start({}, metrics, &error), qPrintable(error));
        Client http(services.metricsPort());
        http.send("GET /metrics HTTP/1.0\r\n\r"); // answered, then closed
        QVERIFY(QTest::qWaitFor([&] {
            http.got += http.socket.readAll();
            return http.socket.state() == QAbstractSocket::UnconnectedState;
        }));
        const QByteArray got = http.got + http.socket.readAll();
        const QByteArray labels =
            "{serial=\"10447\",model=\"Corvane Nano\",port=\"" + rig.path(0).toLatin1() + "\"}";
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
