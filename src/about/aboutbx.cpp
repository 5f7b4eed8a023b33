#include "about/aboutbx.h"

#include "corvane_version.h"
#include "device/instrument.h"
#include "ui_aboutbx.h"
#include "widgets/focusmark.h"

#include <QFile>

static void initLicenceResource()
{
    // The licence is compiled into a static library; make sure it is linked.
    Q_INIT_RESOURCE(licence);
}

namespace {
const char LicencePath[] = ":/licence/lgpl-3.0.html";
const char LicenceUrl[] = "https://www.gnu.org/licenses/lgpl-3.0.html";
} // namespace

AboutBx::AboutBx(const device::Instrument *instrument, QWidget *parent)
    : QDialog(parent), ui(new Ui::AboutBx)
{
    setAttribute(Qt::WA_DeleteOnClose);
    initLicenceResource();
    ui->setupUi(this);

    ui->HalvorinIcon->setPixmap(QPixmap(QStringLiteral(":/new/prefix1/Logo.png")));
    ui->HalvorinIcon->setScaledContents(true);
    ui->GNUIcon->setPixmap(QPixmap(QStringLiteral(":/new/prefix1/lgplv3-147x51.png")));
    ui->GNUIcon->setScaledContents(true);

    QFile licence{QLatin1String(LicencePath)};
    if (licence.open(QIODevice::ReadOnly)) {
        ui->LicenseTB->setHtml(QString::fromUtf8(licence.readAll()));
    } else {
        // Never an empty box: say where the text is.
        ui->LicenseTB->setPlainText(
            tr("The licence text is missing from this build. It is at %1").arg(LicenceUrl));
    }

    ui->BuildTxt->setText(buildFacts(instrument && instrument->isConnected() ? instrument->title()
                                                                             : QString()));
    // Tab reaches the licence and the build line (which a user selects and
    // copies into a problem report).
    widgets::markKeyboardFocus(this);
}

AboutBx::~AboutBx()
{
    delete ui;
}

QString AboutBx::buildFacts(const QString &instrument)
{
    QString facts = QStringLiteral("Corvane %1 \u00b7 Qt %2")
                        .arg(QLatin1String(CORVANE_VERSION), QLatin1String(qVersion()));
    QString one = instrument.simplified(); // the list entry may span lines
    if (!one.isEmpty())
        facts += QStringLiteral(" \u00b7 ") + one;
    return facts;
}
