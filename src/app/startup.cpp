#include "app/startup.h"

#include "corvane_version.h"
#include "link/portsearch.h"

#include <QCoreApplication>
#include <cstdio>

namespace startup {

void nameApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("corvane"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CORVANE_VERSION));
    QCoreApplication::setOrganizationName(QStringLiteral("Corvane"));
}

QStringList simulatorModels()
{
    QStringList names;
#ifdef CORVANE_WITH_SIMULATOR
    for (const QByteArray &name : sim::Engine::modelNames())
        names << QString::fromLatin1(name);
#endif
    return names;
}

bool readOptions(int argc, char *argv[], AppOptions *options, int *exitStatus)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const ParseResult parsed = parseOptions(arguments, simulatorModels(), options);
    if (parsed.action == ParseResult::ExitOk) {
        std::fputs(qPrintable(parsed.output), stdout);
        *exitStatus = 0;
        return false;
    }
    if (parsed.action == ParseResult::ExitUsage) {
        std::fputs(qPrintable(parsed.output), stderr);
        *exitStatus = 2;
        return false;
    }
    return true;
}

bool offerPorts(const AppOptions &options, std::unique_ptr<Simulators> *running, QString *error)
{
    auto sims = std::make_unique<Simulators>();
#ifdef CORVANE_WITH_SIMULATOR
    // The simulated instruments stand in for hardware: each runs on its own
    // thread and is reached only through its pseudo-terminal, like a real
    // device. Seeds 1, 2, ... give them serial numbers of their own.
    quint32 seed = 1;
    for (const QString &model : options.simulated) {
        auto sim = std::make_unique<sim::PtySimulator>(seed++);
        if (!sim->start(model.toUtf8(), error))
            return false;
        portcatalog::addExtra(sim->slavePath(), QStringLiteral("USB Serial Device"));
        sims->list.push_back(std::move(sim));
    }
#else
    Q_UNUSED(error)
#endif
    for (const QString &path : options.ports)
        portcatalog::addExtra(path, QStringLiteral("USB Serial Device"));
    *running = std::move(sims);
    return true;
}

remote::Listen listenOf(const Endpoint &e)
{
    remote::Listen l;
    l.enabled = e.enabled;
    l.address = e.address;
    l.port = e.port;
    l.explicitAddress = e.explicitAddress;
    return l;
}

} // namespace startup
