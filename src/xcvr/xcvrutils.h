// The transceiver utilities dialog: register dump, single-register read and
// write, register clear with read-back verification, the instrument's
// loop-back test, side selection and a command console.
//
// Every operation that expects replies takes the serial line from the
// measurement cycle for its length (an exchange of the link) and runs as a
// chain of single-shot timer steps; one operation runs at a time.
#pragma once
#include "xcvr/xcvrlogic.h"

#include <QDialog>

namespace Ui {
class XCVRUtils;
}
class MainWindow;
class Link;

class XCVRUtils : public QDialog
{
    Q_OBJECT

public:
    explicit XCVRUtils(QWidget *parent = nullptr);
    ~XCVRUtils() override;

public slots:
    // Register dump and loop-back test (ReceiveData runs both).
    void on_ReadXCVRBtn_clicked();
    void on_TestXCVRBtn_clicked();
    void ReceiveData();
    // Single register.
    void on_ReadByteBtn_clicked();
    void ReceiveByte();
    void on_TestXCVRBtn_3_clicked();
    // Register clear.
    void on_ClearXcvrBtn_clicked();
    void ClrProcedure();
    // Side selection and console.
    void on_FactoryBtn_clicked();
    void ReceiveCmdResponse();

protected:
    void hideEvent(QHideEvent *event) override;

private:
    void selectSide(char side);
    using Step = void (XCVRUtils::*)();
    Link *link() const;
    // Checks that an operation can start and takes the line for it; otherwise
    // says why in the results box and returns false.
    bool startOperation(const QString &what);
    // Why nothing can be sent now (no transceiver, no instrument, line busy);
    // empty when sending is possible.
    QString blocker() const;
    void schedule(int ms, Step step);
    void endOperation();
    void stopOperation(const QString &why);
    void onExchangeEnded(QObject *owner, const QString &reason);
    void report(const QString &line);

    Ui::XCVRUtils *ui;
    MainWindow *MainWin;
    int StepCnt = 0;
    int ClrReg = 0;
    int RetryCnt = 0;
    char OpMode = 'R'; // 'R' register read-out, 'T' loop-back test
    xcvr::Kind XcvrType = xcvr::Kind::None;

    int m_silences = 0;     // clear: read-backs of ClrReg that found no complete reply
    xcvr::ClearPlan m_plan; // clear: what was validated at the start
    QString m_operation;    // the operation that holds the line ("the register dump"), or empty
    unsigned m_chain = 0;   // steps scheduled for an earlier chain do nothing
};
