// Confidence arithmetic against published and hand-worked values, the bounded
// history over a simulated week, and when the monitor asks to end the test log.
#include "device/bermonitor.h"
#include "bert/berstats.h"

#include <QSettings>
#include <QStandardPaths>
#include <QtTest>

class TstStatsLogic : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QSettings().clear();
    }

    // Bits for a confidence, in units of 1/target: 2.996, 4.744 and 6.296 for
    // 0, 1 and 2 errors at 95 %; -ln(0.1) and -ln(0.01) without errors.
    void bitsForConfidence_data()
    {
        QTest::addColumn<double>("errors");
        QTest::addColumn<double>("goal");
        QTest::addColumn<double>("multiplier");
        QTest::newRow("0 errors, 95 %") << 0.0 << 0.95 << 2.996;
        QTest::newRow("1 error, 95 %") << 1.0 << 0.95 << 4.744;
        QTest::newRow("2 errors, 95 %") << 2.0 << 0.95 << 6.296;
        QTest::newRow("0 errors, 90 %") << 0.0 << 0.90 << 2.303;
        QTest::newRow("0 errors, 99 %") << 0.0 << 0.99 << 4.605;
    }
    void bitsForConfidence()
    {
        QFETCH(double, errors);
        QFETCH(double, goal);
        QFETCH(double, multiplier);
        for (double target : {1e-9, 1e-12, 1e-15}) {
            const double n = stats::bitsForConfidence(errors, target, goal) * target;
            QVERIFY2(qAbs(n - multiplier) < 0.0005, qPrintable(QString::number(n)));
        }
    }

    // CL = 1 - sum_{k<=E} (Np)^k e^-Np / k!, worked by hand for small E.
    void confidence_data()
    {
        QTest::addColumn<double>("bits");
        QTest::addColumn<double>("errors");
        QTest::addColumn<double>("target");
        QTest::addColumn<double>("cl");
        QTest::newRow("Np 1, E 0: 1 - 1/e") << 1e12 << 0.0 << 1e-12 << 0.632121;
        QTest::newRow("Np 2, E 1: 1 - 3/e^2") << 2e12 << 1.0 << 1e-12 << 0.593994;
        QTest::newRow("Np 3, E 2: 1 - 8.5/e^3") << 3e12 << 2.0 << 1e-12 << 0.576810;
        QTest::newRow("Np 10, E 5") << 1e13 << 5.0 << 1e-12 << 0.932914;
        QTest::newRow("Np 1000, E 1000") << 1e12 << 1000.0 << 1e-9 << 0.491591;
        QTest::newRow("Np 1.001e6, E 1e6") << 1.001e18 << 1e6 << 1e-12 << 0.841103;
        QTest::newRow("N 1e16, E 1000, 1e-12") << 1e16 << 1000.0 << 1e-12 << 1.0;
        QTest::newRow("N 1e16, E 1000, 1e-9") << 1e16 << 1000.0 << 1e-9 << 1.0;
        QTest::newRow("no bits") << 0.0 << 0.0 << 1e-12 << 0.0;
    }
    void confidence()
    {
        QFETCH(double, bits);
        QFETCH(double, errors);
        QFETCH(double, target);
        QFETCH(double, cl);
        const double got = stats::confidenceLevel(bits, errors, target);
        QVERIFY2(qAbs(got - cl) < 2e-6, qPrintable(QString::number(got, 'g', 9)));
    }

    void confidenceRisesWithBitsAndFallsWithErrors()
    {
        const double errors[] = {0, 1, 2, 10, 1000, 99999, 100000, 100001, 1e7};
        for (double n = 1e9; n < 1e20; n *= 1.3) {
            for (int i = 0; i < 9; ++i) {
                const double cl = stats::confidenceLevel(n, errors[i], 1e-12);
                QVERIFY(cl >= 0 && cl <= 1);
                QVERIFY(stats::confidenceLevel(n * 1.3, errors[i], 1e-12) >= cl);
                if (i > 0)
                    QVERIFY(cl <= stats::confidenceLevel(n, errors[i - 1], 1e-12));
            }
        }
    }

    void texts()
    {
        QCOMPARE(stats::confidenceText(0.632121), QStringLiteral("63.21 %"));
        QCOMPARE(stats::confidenceText(0.9499999), QStringLiteral("94.99 %"));
        QCOMPARE(stats::confidenceText(0.99996), QStringLiteral("> 99.99 %"));
        QCOMPARE(stats::durationText(290.57), QStringLiteral("0d 00:04:50"));
        QCOMPARE(stats::durationText(90061), QStringLiteral("1d 01:01:01"));
    }

    // A week at 10 records a second and 10 Gb/s, with a burst of 100 errors at
    // 10 s: the memory stays bounded and the burst's peak BER (1e-9) is kept.
    void weekLongHistory()
    {
        stats::BerHistory h(1024, 100);
        const qint64 week = 7 * 86400 * 1000LL;
        for (qint64 t = 100; t <= week; t += 100)
            h.append(t, double(t) * 1e7, t >= 10000 ? 100 : 0);
        QVERIFY(h.bucketsInUse() <= 1024);
        const QVector<stats::Record> points = h.points();
        QVERIFY(points.size() <= 2 * 1024 + 1);
        const auto peak = std::max_element(points.begin(), points.end(),
                                           [](auto &a, auto &b) { return a.ber() < b.ber(); });
        QCOMPARE(peak->tMs, qint64(10000));
        QCOMPARE(peak->ber(), 1e-9);
        QCOMPARE(points.last().tMs, week);
        QCOMPARE(h.lastErrorChange().tMs, qint64(10000));
    }

    void countersGoingDownStartAgain()
    {
        stats::BerHistory h;
        h.append(0, 1e9, 5);
        QVERIFY(!h.append(100, 2e9, 5));
        QVERIFY(h.append(200, 1e8, 0));
        QCOMPARE(h.points().size(), 1);
        QCOMPARE(h.first().bits, 1e8);
    }

    // Settings a person edited by hand, or an older version wrote, that do not
    // read as one of the choices fall back to the defaults: 1e-12, 95 %, and
    // the log not stopped.
    void unreadableSettingsGiveDefaults()
    {
        QSettings s;
        s.setValue("statistics/targetBer", "abc");
        s.setValue("statistics/confidenceGoal", "0.5");
        s.setValue("statistics/stopLogAtGoal", "maybe");
        s.sync();
        const BerMonitor m;
        QCOMPARE(m.targetBer(), 1e-12);
        QCOMPARE(m.goal(), 0.95);
        QVERIFY(!m.stopLogAtGoal());
        s.clear();
    }

    // With the stop ticked, the goal is "reached" once per run, by a record;
    // a record still showing the counts from before a reset does not count.
    void goalReachedOncePerRun()
    {
        qint64 now = 0;
        BerMonitor m;
        m.setClock([&] { return now; });
        m.setTargetBer(1e-9);
        m.setStopLogAtGoal(true);
        QSignalSpy reached(&m, &BerMonitor::goalReached);
        for (double bits : {1e9, 2.9e9, 3.0e9, 4e9})
            m.record(now += 100, bits, 0, 10000000000);
        QCOMPARE(reached.count(), 1);          // at 3.0e9: 95.02 %
        QVERIFY(BerMonitor().stopLogAtGoal()); // remembered
        m.counterReset();
        m.record(now += 100, 4.5e9, 0, 10000000000);
        QVERIFY(m.history().isEmpty());
        for (double bits : {1e8, 3.1e9, 5e9})
            m.record(now += 100, bits, 0, 10000000000);
        QCOMPARE(reached.count(), 2);
        m.setStopLogAtGoal(false);
        m.restart();
        for (double bits : {1e8, 3.1e9})
            m.record(now += 100, bits, 0, 10000000000);
        QCOMPARE(reached.count(), 2);
        QCOMPARE(BerMonitor().targetBer(), 1e-9);
    }
};

QTEST_GUILESS_MAIN(TstStatsLogic)
#include "tst_stats_logic.moc"
