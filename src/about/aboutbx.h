// The About box: the program, its version and supported models, the licence
// notice and the full LGPL-3.0 text, and a line of build facts to quote in a
// problem report.
#pragma once
#include <QDialog>

namespace Ui {
class AboutBx;
}
namespace device {
class Instrument;
}

class AboutBx : public QDialog
{
    Q_OBJECT

public:
    // The build line names the instrument when it is connected.
    explicit AboutBx(const device::Instrument *instrument, QWidget *parent = nullptr);
    ~AboutBx() override;

    // "Corvane 2.61 · Qt 5.15.8 · pts/3: Corvane NanoTb ..." (the instrument
    // part only when one is given).
    static QString buildFacts(const QString &instrument);

private:
    Ui::AboutBx *ui;
};
