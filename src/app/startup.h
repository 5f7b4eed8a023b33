// What both programs (with and without windows) do before they run: the
// application's names, the options, the simulated instruments and the extra
// ports. QtCore only.
#pragma once
#include "app/options.h"
#include "remote/services.h"

#include <QString>
#include <memory>
#include <vector>

#ifdef CORVANE_WITH_SIMULATOR
#include "ptysimulator.h"
#endif

namespace startup {

// The application's names and version, before any application object exists.
void nameApplication();

// The model names the built-in simulator offers (empty without one).
QStringList simulatorModels();

// Parses argv; on help, version or a usage error prints what parseOptions
// says and returns the exit status in *exitStatus (false: do not run).
bool readOptions(int argc, char *argv[], AppOptions *options, int *exitStatus);

// Starts one simulated instrument per model asked for (serial numbers 10447,
// 10448, ... in order) and offers their ports, and the --port paths, to the
// port search. False with the reason when a simulator does not start.
struct Simulators;
bool offerPorts(const AppOptions &options, std::unique_ptr<Simulators> *running, QString *error);

// Where a server listens, as the remote layer takes it.
remote::Listen listenOf(const Endpoint &endpoint);

struct Simulators {
#ifdef CORVANE_WITH_SIMULATOR
    std::vector<std::unique_ptr<sim::PtySimulator>> list;
#endif
};

} // namespace startup
