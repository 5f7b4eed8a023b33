// The About box: program and model texts, the licence notice, the full licence
// text, and the build line a user quotes in a problem report.
#include "about/aboutbx.h"
#include "support/simbench.h"

#include <QTextDocument>
#include <QTextEdit>

namespace {
// A rich-text label as the user reads it.
QString shownText(const QWidget *box, const char *name)
{
    QTextDocument doc;
    doc.setHtml(control<QLabel>(box, name)->text());
    return doc.toPlainText();
}
AboutBx *pressInfo(MainWindow &w)
{
    const int before = w.findChildren<AboutBx *>().size();
    control<QAbstractButton>(&w, "AboutBtn")->click();
    const QList<AboutBx *> all = w.findChildren<AboutBx *>();
    return all.size() > before ? all.last() : nullptr;
}
bool showsPicture(const QWidget *box, const char *name)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return !control<QLabel>(box, name)->pixmap().isNull();
#else
    return !control<QLabel>(box, name)->pixmap(Qt::ReturnByValue).isNull();
#endif
}
const QString Dot = QStringLiteral(" \u00b7 ");
} // namespace

class TstAbout : public QObject
{
    Q_OBJECT

private slots:
    void texts()
    {
        SimBench b;
        QVERIFY(b.startLive("Corvane NanoTb"));
        AboutBx *box = pressInfo(*b.w);
        QVERIFY(box && box->isVisible() && !box->isModal());
        QCOMPARE(box->windowTitle(), QStringLiteral("About"));
        QCOMPARE(shownText(box, "label"),
                 QStringLiteral("Corvane family of bit-error-rate testers, V 2.61\n"
                                "Supported models:\n"
                                "\u2219 Corvane NanoT with SFP+ tunable (CVN-2941)\n"
                                "\u2219 Corvane Nano with SFP+ tunable (CVN-0411)\n"
                                "\u2219 Corvane Nano Tera (CVN-1012)\n"
                                "\u2219 Corvane Nano Span (CVN-0113)\n"
                                "For more information please visit: https://corvane.example"));
        QCOMPARE(shownText(box, "label_2"),
                 QStringLiteral("Parts of this application are released under the LGPL, and come "
                                "with no warranty, see the license file for further information "
                                "or visit:\nhttps://www.gnu.org/licenses/lgpl-3.0.html"));
        QVERIFY(showsPicture(box, "HalvorinIcon") && showsPicture(box, "GNUIcon"));

        // The build facts end with the connected instrument's entry, on one line.
        const QString facts = textOf(box, "BuildTxt");
        QVERIFY2(facts.startsWith(QStringLiteral("Corvane 2.61") + Dot + QStringLiteral("Qt ") +
                                  QLatin1String(qVersion()) + Dot + b.portName() +
                                  QStringLiteral(": Corvane NanoTb SN ")),
                 qPrintable(facts));
        QVERIFY(!facts.contains(QLatin1Char('\n')));

        // Without an instrument there are only the program's facts.
        b.w->on_DisConectBtn_clicked();
        QVERIFY((box = pressInfo(*b.w)));
        QCOMPARE(textOf(box, "BuildTxt"), QStringLiteral("Corvane 2.61") + Dot +
                                              QStringLiteral("Qt ") + QLatin1String(qVersion()));
    }

    void fullLicenceText()
    {
        AboutBx box;
        const QTextEdit *tb = control<QTextEdit>(&box, "LicenseTB");
        QVERIFY(tb->isReadOnly());
        const QStringList lines = tb->toPlainText().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 165);
        QCOMPARE(lines.first(),
                 QStringLiteral("                   GNU LESSER GENERAL PUBLIC LICENSE"));
        QCOMPARE(lines.at(3), QStringLiteral(" Copyright (C) 2007 Free Software Foundation, Inc. "
                                             "<https://fsf.org/>"));
        QCOMPARE(lines.last(), QStringLiteral("Library."));
        QTextCursor end(tb->document());
        end.movePosition(QTextCursor::End);
        QCOMPARE(end.charFormat().fontFamily(), QStringLiteral("Courier New"));
        QCOMPARE(end.charFormat().fontPointSize(), 8.0);
        QCOMPARE(end.charFormat().foreground().color(), QColor(Qt::black));
    }
};

QTEST_MAIN(TstAbout)
#include "tst_about.moc"
