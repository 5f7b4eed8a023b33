// The secondary windows carry the serial number of the instrument they serve,
// so that the windows of several instruments can be told apart.
#pragma once
#include <QString>
#include <QWidget>

namespace widgets {

inline void nameAfterInstrument(QWidget *window, const QString &serialNumber)
{
    if (!serialNumber.isEmpty())
        window->setWindowTitle(window->windowTitle() + QStringLiteral(" (SN %1)").arg(serialNumber));
}

} // namespace widgets
