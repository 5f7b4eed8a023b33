// A main window talking to a simulated instrument over a real pseudo-terminal.
#pragma once
#include "app/mainwindow.h"
#include "bert/lamps.h"
#include "link/portcatalog.h"
#include "ptysimulator.h"
#include "ui_mainwindow.h"

#include <QtTest>
#include <memory>

class SimBench
{
public:
    std::unique_ptr<sim::PtySimulator> sim;
    std::unique_ptr<MainWindow> w;

    // Starts an instrument of the model and builds the window, which searches
    // the ports and lists the instrument. False when the simulator cannot start.
    bool start(const QByteArray &model)
    {
        if (!plugIn(model))
            return false;
        w = std::make_unique<MainWindow>();
        return true;
    }

    // A (new) instrument appears as a new serial device.
    bool plugIn(const QByteArray &model)
    {
        sim = std::make_unique<sim::PtySimulator>();
        if (!sim->start(model))
            return false;
        portcatalog::clearExtras();
        portcatalog::addExtra(sim->slavePath(), QStringLiteral("USB Serial Device"));
        return true;
    }

    // Picks the first listed instrument, as a user would.
    bool connectFirst()
    {
        if (w->ui->PortSelBox->count() < 2)
            return false;
        w->ui->PortSelBox->setCurrentIndex(1);
        emit w->ui->PortSelBox->activated(1);
        return w->link.connected != 0;
    }

    // Starts, connects and waits until the window shows live records.
    bool startLive(const QByteArray &model)
    {
        return start(model) && connectFirst() &&
               QTest::qWaitFor(
                   [this] {
                       return count("r") >= 2 &&
                              w->ui->CountTxt->text() != QLatin1String("0.000e-00");
                   },
                   3000);
    }

    QString portName() const { return sim->slavePath().mid(5); } // "/dev/pts/N" -> "pts/N"

    // Lines the instrument received, counted from index `from` of its log.
    int count(const QByteArray &line, int from = 0) const
    {
        const auto log = sim->commandLog();
        int n = 0;
        for (int i = from; i < log.size(); ++i)
            n += log[i].line == line;
        return n;
    }
    int logSize() const { return sim->commandLog().size(); }
    QByteArray lastLine() const
    {
        const auto log = sim->commandLog();
        return log.isEmpty() ? QByteArray() : log.last().line;
    }

    template <class F> auto engine(F f) { return sim->withEngine(f); }

    static bool shows(const QLabel *label, lamp::Colour c) { return lamp::shows(label, c); }
    static bool shows(const QAbstractButton *b, lamp::Colour c) { return lamp::shows(b, c); }
};
