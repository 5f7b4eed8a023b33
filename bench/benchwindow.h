// Connects a benchmark's main window to the simulated instrument it lists.
#pragma once
#include "app/mainwindow.h"

#include <QComboBox>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>

namespace bench {

// Waits for the port search (searching again a few times: under valgrind the
// instrument may answer too late for one) and picks the first instrument of
// the list as a user would. False, with the reason on stderr, when none came.
inline bool connectFirstListed(MainWindow &w)
{
    QComboBox *ports = w.findChild<QComboBox *>(QStringLiteral("PortSelBox"));
    for (int attempt = 0; attempt < 5 && ports->count() < 2; ++attempt) {
        QEventLoop wait;
        QObject::connect(&w, &MainWindow::portsSearched, &wait, &QEventLoop::quit);
        QTimer::singleShot(30000, &wait, &QEventLoop::quit);
        if (attempt > 0)
            w.findSerialPorts();
        wait.exec();
    }
    if (ports->count() < 2) {
        std::fprintf(stderr, "the simulated instrument is not listed\n");
        return false;
    }
    ports->setCurrentIndex(1);
    emit ports->activated(1);
    return true;
}

} // namespace bench
