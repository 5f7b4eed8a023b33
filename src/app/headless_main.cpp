// corvane-headless: the program without a display (QCoreApplication; no
// QtGui, no QtWidgets). `corvane --headless ...` runs it in its place.
#include "app/startup.h"
#include "device/instrumentpool.h"
#include "remote/headless.h"
#include "remote/services.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    startup::nameApplication();
    AppOptions options;
    int status = 0;
    if (!startup::readOptions(argc, argv, &options, &status))
        return status;
    if (!options.headless) {
        std::fputs("corvane-headless: runs as corvane --headless; the windows are corvane's\n",
                   stderr);
        return 2;
    }
    QCoreApplication app(argc, argv);

    std::unique_ptr<startup::Simulators> simulators;
    QString error;
    if (!startup::offerPorts(options, &simulators, &error)) {
        std::fprintf(stderr, "corvane: cannot start the simulated instrument: %s\n",
                     qPrintable(error));
        return remote::NoInstrument;
    }
    device::InstrumentPool *pool = device::InstrumentPool::instance();
    remote::Services services(pool);
    if (!services.start(startup::listenOf(options.scpi), startup::listenOf(options.metrics), &error)) {
        std::fprintf(stderr, "corvane: %s\n", qPrintable(error));
        return remote::BadUsage;
    }
    remote::HeadlessConfig config;
    config.instruments = options.instruments;
    config.all = options.all;
    config.logPattern = options.logFile;
    config.durationMs = options.durationMs;
    config.maxBer = options.maxBer;
    remote::Headless run(pool, config);
    QObject::connect(&run, &remote::Headless::finished, &app, &QCoreApplication::exit);
    run.start();
    return app.exec();
}
