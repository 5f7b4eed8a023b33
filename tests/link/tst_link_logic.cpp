// Command framing, the unit-model table and identification texts.
#include "link/commandframe.h"
#include "link/unitmodels.h"

#include <QtTest>

class TstLinkLogic : public QObject
{
    Q_OBJECT
private slots:
    void framing_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<char>("side");
        QTest::addColumn<QString>("framed");
        QTest::newRow("A plain") << "r" << 'A' << "r\r\n";
        QTest::newRow("A with spaces") << "setrate 100" << 'A' << "setrate 100\r\n";
        QTest::newRow("B no space") << "r" << 'B' << "rB\r\n";
        QTest::newRow("B one space") << "setrate 995328000" << 'B' << "setrateB 995328000\r\n";
        QTest::newRow("B several spaces") << "WrSFP D 7f 00" << 'B' << "WrSFPB D 7f 00\r\n";
        QTest::newRow("B leading space") << " x" << 'B' << "B x\r\n";
        QTest::newRow("B empty") << "" << 'B' << "B\r\n";
    }
    void framing()
    {
        QFETCH(QString, command);
        QFETCH(char, side);
        QFETCH(QString, framed);
        frameCommand(command, side);
        QCOMPARE(command, framed);
    }

    void modelMatching_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("code");
        QTest::newRow("NanoTb beats Nano") << QByteArray("Corvane NanoTb:SN1:\r") << 2 << 50077063;
        QTest::newRow("NanoTa") << QByteArray("xx Corvane NanoTa") << 1 << 50077041;
        QTest::newRow("Span") << QByteArray("Corvane Nano Span:") << 3 << 500130;
        QTest::newRow("Tera") << QByteArray("Corvane Tera") << 4 << 500120;
        QTest::newRow("Nano Tera shares the code")
            << QByteArray("Corvane Nano Tera") << 5 << 500120;
        QTest::newRow("Nano") << QByteArray("Corvane Nano:1") << 6 << 500110;
        QTest::newRow("case matters") << QByteArray("corvane nano") << 0 << 0;
        QTest::newRow("empty") << QByteArray() << 0 << 0;
        QTest::newRow("after a NUL byte") << QByteArray("\0Corvane Nano", 13) << 6 << 500110;
    }
    void modelMatching()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, row);
        QFETCH(int, code);
        QCOMPARE(unit::matchRow(reply), row);
        QCOMPARE(unit::codeOfRow(row), code);
    }

    void itemText_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("text");
        QTest::newRow("fields on lines")
            << QByteArray("Corvane NanoTb:SN 7:FW 2.61:\r\nCorvane NanoTb:SN 7:FW 2.61:\r\n")
            << "pts/3: Corvane NanoTb\r\nSN 7\r\nFW 2.61\r\n";
        QTest::newRow("no CR") << QByteArray("Corvane Nano") << "pts/3: ";
        QTest::newRow("CR only at index 0") << QByteArray("\rCorvane Nano") << "pts/3: ";
        QTest::newRow("CR at index 1") << QByteArray("A\rB") << "pts/3: A";
        QTest::newRow("NUL inside") << QByteArray("ab\0cd\r", 6) << "pts/3: ab";
    }
    void itemText()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, text);
        QCOMPARE(unit::itemTextFromReply(reply, "pts/3"), text);
    }
};

QTEST_APPLESS_MAIN(TstLinkLogic)
#include "tst_link_logic.moc"
