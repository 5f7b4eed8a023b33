// The transceiver utilities dialog: register dump, single-register read and
// write, register clear with read-back verification, the instrument's
// loop-back test, side selection and a command console.
//
// Every operation that expects replies is a request for the instrument's line
// (measurement polling pauses meanwhile); one runs at a time, and closing the
// dialog ends it and frees the dialog.
#pragma once
#include "xcvr/xcvrlogic.h"

#include <QDialog>
#include <QSet>
#include <optional>

namespace Ui {
class XCVRUtils;
}
namespace device {
class Instrument;
struct Reply;
struct Request;
struct Step;
} // namespace device
class QTextEdit;

class XCVRUtils : public QDialog
{
    Q_OBJECT

public:
    explicit XCVRUtils(device::Instrument *instrument, QWidget *parent = nullptr);
    ~XCVRUtils() override;

public slots:
    void on_ReadXCVRBtn_clicked();  // register dump
    void on_TestXCVRBtn_clicked();  // loop-back test
    void on_ReadByteBtn_clicked();  // one register: read ("Rd")
    void on_TestXCVRBtn_3_clicked(); // one register: write ("Wr")
    void on_ClearXcvrBtn_clicked(); // register clear
    void on_FactoryBtn_clicked();   // side selection and console

protected:
    void hideEvent(QHideEvent *event) override;

private:
    // Why nothing can be sent now (no transceiver, no instrument, line busy);
    // empty when sending is possible.
    QString blocker() const;
    // Starts a request; otherwise says why in the results box and returns false.
    bool start(device::Request request);
    // The register dump and the loop-back test: one command, its reply read
    // after a hundred looks.
    void startDataOperation(const QString &name, const QString &command, int lookMs);
    void onFinished(const QString &what, const QString &reason);
    void report(const QString &line);
    void append(const QString &text);
    void selectSide(char side);
    // The last line of the box the user typed (never one the program wrote).
    QString typedLine() const;

    // The clear procedure, step by step as the counter of its steps says.
    device::Step clearStepAt(int delayMs) const;
    std::optional<device::Step> afterClearStep(const device::Reply &reply);

    Ui::XCVRUtils *ui;
    device::Instrument *m_instrument;
    xcvr::Kind m_kind = xcvr::Kind::None;
    QSet<QString> m_programLines; // lines of the box the program wrote

    // The clear procedure.
    int m_stepCnt = 0;
    int m_clrReg = 0;
    int m_retryCnt = 0;
    int m_silences = 0;     // read-backs of m_clrReg that found no complete reply
    xcvr::ClearPlan m_plan; // what was validated at the start
};
