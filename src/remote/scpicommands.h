// The instrument commands of the SCPI server, registered on the engine's
// command set. Every command goes through the device::Instrument API on the
// event loop that runs the windows, so remote clients and the user take
// turns on the same line and nothing reaches the instrument that a window
// could not send.
//
// Each connection addresses one instrument: the one INSTrument:SELect chose
// (by serial number), else the first connected instrument of the pool. A
// connection also keeps its eye-scan scale and whether it may write
// transceiver registers.
#pragma once

namespace device {
class InstrumentPool;
}
namespace scpi {
class CommandSet;
}

namespace remote {

// READ:ALL? waits this long for the next record before it fails with -240.
inline constexpr int ReadTimeoutMs = 2000;
// A transceiver register read: the command goes out this long after the
// request took the line, and the reply is what arrived this long after it.
inline constexpr int RegisterFirstStepMs = 100;
inline constexpr int RegisterReplyMs = 100;
// The eye scan needs a line rate of at least this many Mbit/s.
inline constexpr double EyeMinimumRateMbps = 4975;

// Registers the instrument commands (see README, "Remote control") over the
// instruments of `pool`; the pool must outlive the command set's sessions.
void addInstrumentCommands(scpi::CommandSet *set, device::InstrumentPool *pool);

} // namespace remote
