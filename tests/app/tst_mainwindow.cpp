// The main window shell: form, model configuration and the command sender.
#include "app/mainwindow.h"
#include "bert/lamps.h"
#include "ui_mainwindow.h"

#include <QtTest>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {
QStringList warnings;
void collect(QtMsgType type, const QMessageLogContext &, const QString &msg)
{
    if (type != QtDebugMsg)
        warnings << msg;
}

// A raw pseudo-terminal pair: the window's port opens the slave side, the test
// reads what was written from the master side.
struct PtyPair {
    int master = -1;
    QString slavePath;
    PtyPair()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(master);
        unlockpt(master);
        slavePath = QString::fromLocal8Bit(ptsname(master));
        const int slave = ::open(ptsname(master), O_RDWR | O_NOCTTY);
        termios t;
        tcgetattr(slave, &t);
        cfmakeraw(&t);
        tcsetattr(slave, TCSANOW, &t);
        ::close(slave);
    }
    ~PtyPair() { ::close(master); }
    QByteArray readAvailable(int waitMs = 200)
    {
        QByteArray got;
        pollfd p{master, POLLIN, 0};
        while (::poll(&p, 1, got.isEmpty() ? waitMs : 20) > 0) {
            char buf[256];
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n <= 0)
                break;
            got.append(buf, int(n));
        }
        return got;
    }
};
} // namespace

class TstMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void formIsComplete()
    {
        warnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(collect);
        MainWindow w;
        qInstallMessageHandler(previous);
        for (const QString &m : qAsConst(warnings))
            QVERIFY2(!m.contains(QLatin1String("No matching signal")), qPrintable(m));
        QCOMPARE(w.size(), QSize(589, 454));
        QCOMPARE(w.minimumSize(), QSize(589, 454));
        QCOMPARE(w.maximumSize(), QSize(589, 454));
        QCOMPARE(w.windowTitle(), QString("Corvane Nano"));
        QVERIFY(w.ui->DisConectBtn->isHidden());
        QVERIFY(!w.ui->PortSelBox->isHidden());
        QCOMPARE(w.ui->DisConectBtn->geometry(), w.ui->PortSelBox->geometry());
        QCOMPARE(w.ui->PortSelBox->itemText(0), QString("Select Device"));
        QCOMPARE(w.ui->RateDial->minimum(), 0);
        QCOMPARE(w.ui->RateDial->maximum(), 99);
        QCOMPARE(w.ui->RateSetting->maximum(), 1500000000.0);
        QCOMPARE(w.ui->RateSetting->decimals(), 6);
        QCOMPARE(w.ui->CustPatBx->maxLength(), 16);
        QCOMPARE(w.ui->CustPatBx->inputMask(), QString("HHHHHHHHHHHHHHHH"));
        QCOMPARE(w.ui->RateSetting->locale().decimalPoint(), QChar('.'));
        QVERIFY(!w.ui->PatListNano->isHidden());
        for (QWidget *hidden :
             {(QWidget *)w.ui->PatListNanoTera, (QWidget *)w.ui->PatListSpan,
              (QWidget *)w.ui->PatListT, (QWidget *)w.ui->EyeButton, (QWidget *)w.ui->RateRange})
            QVERIFY2(hidden->isHidden(), qPrintable(hidden->objectName()));
        QCOMPARE(w.replyLength, 0);
        QVERIFY(lamp::shownKey(w.ui->LEDCOM) != 0); // the pictures are linked in
        QVERIFY(w.ui->ResultsBox->x() >= 589 && w.ui->DebugOut->x() >= 589);
    }

    void modelConfiguration_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("list");
        QTest::addColumn<int>("sliderMax");
        QTest::addColumn<int>("reply");
        QTest::addColumn<int>("dialMin");
        QTest::addColumn<int>("dialMax");
        QTest::addColumn<double>("step");
        QTest::addColumn<QString>("units");
        QTest::addColumn<int>("rxPoints");
        QTest::addColumn<bool>("transceiver");
        QTest::addColumn<QString>("customText");
        QTest::addColumn<bool>("multiRange");
        QTest::newRow("Nano") << 500110 << "PatListNano" << 8 << 24 << 125000 << 4250000 << 1.0
                              << "dBm" << 32 << true << "AAAAAAAAAA" << false;
        QTest::newRow("Tera") << 500120 << "PatListNanoTera" << 4 << 24 << 9953280 << 11317600
                              << 1.0 << "dBm" << 32 << true << "AAAAAAAAAAAAAAAA" << false;
        QTest::newRow("Span") << 500130 << "PatListSpan" << 8 << 24 << 6312 << 125000 << 0.1
                              << "Mbps" << 22 << false << "01" << false;
        QTest::newRow("NanoTa") << 50077041 << "PatListT" << 8 << 27 << 9953280 << 14500000 << 1.0
                                << "dBm" << 32 << true << "" << true;
        QTest::newRow("NanoTb") << 50077063 << "PatListT" << 8 << 27 << 9953280 << 14500000 << 1.0
                                << "dBm" << 32 << true << "" << true;
    }
    void modelConfiguration()
    {
        QFETCH(int, code);
        QFETCH(QString, list);
        MainWindow w;
        w.SetBERTType(code);
        QCOMPARE(w.unitType, code);
        for (QLabel *l :
             {w.ui->PatListNano, w.ui->PatListNanoTera, w.ui->PatListSpan, w.ui->PatListT})
            QCOMPARE(!l->isHidden(), l->objectName() == list);
        QTEST(w.ui->SliderPattern->maximum(), "sliderMax");
        QTEST(w.replyLength, "reply");
        QTEST(w.ui->RateDial->minimum(), "dialMin");
        QTEST(w.ui->RateDial->maximum(), "dialMax");
        QTEST(w.ui->RateSetting->singleStep(), "step");
        QTEST(w.ui->RxPowUnits->text(), "units");
        QTEST(w.ui->RxPowTxt->font().pointSize(), "rxPoints");
        QFETCH(bool, transceiver);
        for (QWidget *t : {(QWidget *)w.ui->WaveLengBtn, (QWidget *)w.ui->TempTxt,
                           (QWidget *)w.ui->XCVRBtn, (QWidget *)w.ui->KnobLabel_12})
            QCOMPARE(!t->isHidden(), transceiver);
        QFETCH(bool, multiRange);
        QCOMPARE(!w.ui->EyeButton->isHidden(), multiRange);
        QCOMPARE(!w.ui->RateRange->isHidden(), multiRange);
        QCOMPARE(w.ui->CustPatBx->isHidden(), multiRange);
        if (!multiRange)
            QTEST(w.ui->CustPatBx->text(), "customText");
        if (code == 500130) {
            QCOMPARE(w.ui->CustPatBx->toolTip(), QString("Duty Cycle (%)"));
            w.ui->CustPatBx->setText("123");
            QCOMPARE(w.ui->CustPatBx->text(), QString("12")); // two decimal digits only
        }
    }

    void multiRangeRefill()
    {
        MainWindow w;
        w.SetBERTType(50077041);
        QCOMPARE(w.ui->RateRange->count(), 4);
        w.SetBERTType(50077063);
        QCOMPARE(w.ui->RateRange->count(), 5);
        QCOMPARE(w.ui->RateRange->currentIndex(), 3);
        QCOMPARE(w.ui->RateRange->itemText(4), QString("19.90 - 29.00G"));
        QCOMPARE(w.ui->RateDial->minimum(), 9953280);
        QCOMPARE(w.ui->RateDial->maximum(), 14500000);
        w.ui->RateRange->setCurrentIndex(4);
        QCOMPARE(w.ui->RateDial->minimum(), 19900000);
        QCOMPARE(w.ui->RateDial->maximum(), 29000000);
        QCOMPARE(w.ui->RateSetting->singleStep(), 1.0);
        w.ui->RateRange->setCurrentIndex(1);
        QCOMPARE(w.ui->RateDial->maximum(), 3625000);
        // A later single-range model replaces the table and hides the selector.
        w.SetBERTType(500110);
        QVERIFY(w.ui->RateRange->isHidden());
        QCOMPARE(w.ui->RateDial->maximum(), 4250000);
    }

    void commandSenderFraming()
    {
        MainWindow w;
        LinkState &link = w.link;
        QVERIFY(!link.connected);
        link.side = 'B';
        link.send("setrate 100 200");
        QCOMPARE(link.buffer, QString("setrateB 100 200\r\n")); // framed, nothing written
        link.skip = 1;
        link.send("tx 1");
        QCOMPARE(link.buffer, QString("tx 1")); // dropped, left unframed
        QCOMPARE(link.skip, 0);
        link.send("r");
        QCOMPARE(link.buffer, QString("rB\r\n"));
    }

    void commandSenderWritesToPort()
    {
        PtyPair pty;
        MainWindow w;
        w.link.port->setPortName(pty.slavePath);
        QVERIFY(w.link.port->open(QIODevice::ReadWrite));
        w.link.connected = 1;
        w.link.send("reset");
        w.link.side = 'B';
        w.link.skip = 1;
        w.link.send("tx 0"); // dropped by the skip flag
        w.link.send("SFP");
        QCOMPARE(pty.readAvailable(), QByteArray("reset\r\nSFPB\r\n"));
        w.link.connected = 0; // port still open, but the flag guards the write
        w.link.send("r");
        QCOMPARE(pty.readAvailable(100), QByteArray());
        // Raw writes bypass side letter and connected flag.
        w.link.writeRaw("RdSFP D 7F");
        QCOMPARE(pty.readAvailable(), QByteArray("RdSFP D 7F\r\n"));
    }
};

QTEST_MAIN(TstMainWindow)
#include "tst_mainwindow.moc"
