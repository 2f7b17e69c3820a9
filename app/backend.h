// Turning the user's port choice into an open backend, for both front ends.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "adapter/open_port.h"
#include "app/shared_state.h"
#include "sim/simulator.h"

namespace varnok {

// The options both programs take, as typed.
struct BackendArgs {
    std::string port = "lpt1";
    std::string simChip;  // empty: the default chip file of the chip model
    std::string simTime = "real";
    std::vector<std::string> simFaults;
    std::string trace;
};

struct BackendSetup {
    PortChoice choice;
    sim::Options sim;
};

// Checks and converts the options; throws std::invalid_argument with a message
// for the user. `model` is the chip a new simulated chip file is created as.
BackendSetup ParseBackendArgs(const BackendArgs& args, Chip model);

// Opens the chosen backend. For an LPT choice it opens the kernel's port at
// Shared().DataPort; a device or direct address also sets the three register
// addresses in Shared(). Throws PortError (or FileError for the simulator's files).
std::unique_ptr<PortBackend> OpenBackend(const BackendSetup& setup);

}  // namespace varnok
