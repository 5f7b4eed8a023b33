// The About box: program and model texts, the licence notice and the full
// licence text, and the build line a user quotes in a problem report.
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
    control<QAbstractButton>(&w, "AboutBtn")->click();
    return w.findChildren<AboutBx *>().last();
}
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
        QVERIFY(box->isVisible() && !box->isModal());
        QCOMPARE(box->windowTitle(), QString("About"));
        QCOMPARE(shownText(box, "label"),
                 QString("Corvane family of bit-error-rate testers, V 2.61\n"
                         "Supported models:\n"
                         "\u2219 Corvane NanoT with SFP+ tunable (CVN-2941)\n"
                         "\u2219 Corvane Nano with SFP+ tunable (CVN-0411)\n"
                         "\u2219 Corvane Nano Tera (CVN-1012)\n"
                         "\u2219 Corvane Nano Span (CVN-0113)\n"
                         "For more information please visit: https://corvane.example"));
        QCOMPARE(shownText(box, "label_2"),
                 QString("Parts of this application are released under the LGPL, and come with "
                         "no warranty, see the license file for further information or visit:\n"
                         "https://www.gnu.org/licenses/lgpl-3.0.html"));
        const QString program = QString("Corvane 2.61 \u00b7 Qt ") + qVersion();
        // With an instrument connected, its list entry on one line.
        QVERIFY2(look(box, "BuildTxt")
                     .startsWith(program + " \u00b7 " + b.portName() + ": Corvane NanoTb SN "),
                 qPrintable(look(box, "BuildTxt")));
        QVERIFY(!look(box, "BuildTxt").contains('\n'));
        b.w->on_DisConectBtn_clicked();
        QCOMPARE(look(pressInfo(*b.w), "BuildTxt"), program);

        const QStringList licence = control<QTextEdit>(box, "LicenseTB")->toPlainText().split('\n');
        QCOMPARE(licence.size(), 165);
        QCOMPARE(licence.first(), QString("                   GNU LESSER GENERAL PUBLIC LICENSE"));
        QCOMPARE(licence.last(), QString("Library."));
        QVERIFY(control<QTextEdit>(box, "LicenseTB")->isReadOnly());
    }
};

QTEST_MAIN(TstAbout)
#include "tst_about.moc"
