// The grid arithmetic of the wavelength dialog and the reading of the main
// window's wavelength text.
#include "wavelength/wavelengthgrid.h"

#include <QtTest>

class TstWavelengthLogic : public QObject
{
    Q_OBJECT

private slots:
    void openingWavelength_data()
    {
        QTest::addColumn<QString>("readout");
        QTest::addColumn<double>("nm");
        QTest::newRow("1550.12") << "1550.12 nm" << 1550.12;
        QTest::newRow("lowest") << "1300.00 nm" << 1300.0;
        QTest::newRow("highest") << "1650.00 nm" << 1650.0;
        // Everything else opens at 1550 nm.
        const char *others[] = {"1299.99 nm", "1650.01 nm", " 0000.00 nm", "----",   "",
                                "nm",         "13",         "1550,12 nm",  "nan nm", "inf nm"};
        for (const char *text : others)
            QTest::newRow(text) << text << 1550.0;
    }
    void openingWavelength()
    {
        QFETCH(QString, readout);
        QTEST(wavelength::openingWavelength(readout), "nm");
    }

    // 1300.09 is 1300.0899... in binary; the dial still opens at 130009.
    void dialValueOfAReadout()
    {
        QCOMPARE(wavelength::hundredths(1300.09), 130009);
        QCOMPARE(wavelength::hundredths(1550.129), 155012);
    }

    // Over the widest span the dials can ever cover (1200 to 1750 nm, channels
    // 3426 to 4996): a channel's wavelength has that channel again, so the dials
    // settle after one exchange; the snap stays within one 50 GHz step (0.51 nm
    // at 1750 nm); turning towards longer wavelengths never raises the channel.
    void everyReachableValueSettles()
    {
        QCOMPARE(wavelength::channelOf(175000), 3426);
        QCOMPARE(wavelength::channelOf(120000), 4996);
        for (int ch = 3426; ch <= 4996; ++ch) {
            if (wavelength::channelOf(wavelength::wavelengthOf(ch)) != ch)
                QFAIL(qPrintable(QStringLiteral("channel %1 does not map back").arg(ch)));
        }
        int previous = 4996;
        for (int v = 120000; v <= 175000; ++v) {
            const int ch = wavelength::channelOf(v);
            const int snapped = wavelength::wavelengthOf(ch);
            if (wavelength::channelOf(snapped) != ch || qAbs(snapped - v) > 51 || ch > previous)
                QFAIL(qPrintable(QStringLiteral("dial %1 -> channel %2 -> dial %3")
                                     .arg(v)
                                     .arg(ch)
                                     .arg(snapped)));
            previous = ch;
        }
    }
};

QTEST_APPLESS_MAIN(TstWavelengthLogic)
#include "tst_wavelength_logic.moc"
