#include "app/backend.h"

#include <cstdio>
#include <stdexcept>

namespace varnok {

namespace {
void SetBase(std::uint16_t base) {
    SharedState& s = Shared();
    s.DataPort = base;
    s.StatusPort = static_cast<std::uint16_t>(base + 1);
    s.ControlPort = static_cast<std::uint16_t>(base + 2);
}

std::string LptName(std::uint16_t base) {
    char text[48];
    std::snprintf(text, sizeof text, "parallel port at %Xh", base);
    return text;
}
}  // namespace

BackendSetup ParseBackendArgs(const BackendArgs& args, Chip model) {
    BackendSetup setup;
    setup.choice = ParsePortChoice(args.port);
    const bool simulated = setup.choice.kind == PortChoice::Kind::Simulator;
    if (!simulated && (!args.simChip.empty() || !args.simFaults.empty()))
        throw std::invalid_argument("--sim-chip and --sim-fault need --port sim");
    if (!simulated && !args.trace.empty())
        throw std::invalid_argument(
            "--trace records the simulator's port accesses; it needs --port sim");
    if (args.simTime == "virtual") {
        setup.sim.time = sim::TimeMode::Virtual;
    } else if (args.simTime == "real") {
        setup.sim.time = sim::TimeMode::Real;
    } else {
        throw std::invalid_argument("--sim-time takes virtual or real, not '" + args.simTime + "'");
    }
    setup.sim.model = model == Chip::None ? Chip::AT89C1051 : model;
    setup.sim.chipFile =
        args.simChip.empty() ? sim::DefaultChipFile(setup.sim.model) : args.simChip;
    for (const std::string& fault : args.simFaults)
        setup.sim.faults.push_back(sim::ParseFault(fault));
    setup.sim.traceFile = args.trace;
    return setup;
}

std::unique_ptr<PortBackend> OpenBackend(const BackendSetup& setup) {
    switch (setup.choice.kind) {
        case PortChoice::Kind::Simulator:
            return sim::Simulator::Open(setup.sim);
        case PortChoice::Kind::Lpt: {
            const std::uint16_t base = Shared().DataPort;
            const std::string device = FindParportDevice(base);
            if (device.empty())
                throw PortError(PortError::Cause::NotFound, LptName(base),
                                "no /dev/parportN has the base address " + LptName(base));
            return OpenPpdevPort(device, base);
        }
        case PortChoice::Kind::Device: {
            std::uint16_t base = ParportBaseAddress(setup.choice.device);
            if (base == 0) base = 0x378;  // the kernel did not say; any address will do for ppdev
            SetBase(base);
            return OpenPpdevPort(setup.choice.device, base);
        }
        case PortChoice::Kind::Direct:
            SetBase(setup.choice.address);
            return OpenDirectIoPort(setup.choice.address);
    }
    throw std::logic_error("unknown port kind");
}

}  // namespace varnok
