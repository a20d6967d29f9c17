#include "transport_choice.h"

#include <cstdlib>

#include "hidapi_transport.h"
#include "simulated_bus.h"

namespace kestrane::board {

std::unique_ptr<HidTransport> TransportFromEnvironment() {
    const char* simulation = std::getenv("KESTRANE_SIMULATION");
    if (simulation != nullptr && simulation[0] != '\0') return SimulatedBus::FromFile(simulation);
    return MakeHidapiTransport();
}

}  // namespace kestrane::board
