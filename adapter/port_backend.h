// The one seam between the program and the hardware. Everything above it (the
// adapter transfers, the chip sequences, the front ends) talks to the installed
// backend only through PortRead/PortWrite and the waits, so a run never knows
// whether it drives a real port, direct I/O or the simulator.
#pragma once

#include <csignal>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace varnok {

class PortBackend {
public:
    virtual ~PortBackend() = default;

    // One byte in from / out to an I/O address (data, status or control register).
    virtual std::uint8_t in(std::uint16_t address) = 0;
    virtual void out(std::uint16_t address, std::uint8_t value) = 0;

    // Monotonic time in nanoseconds since the backend was opened. A virtual clock
    // charges each read of it as the bus cycles a timer read costs on a PC, so the
    // busy waits that poll it make progress.
    virtual std::uint64_t nowNs() = 0;

    // Lets time pass up to (at most) deadlineNs without burning the processor:
    // a real clock sleeps, a virtual clock jumps. May return earlier.
    virtual void idleUntil(std::uint64_t deadlineNs) = 0;

    // Writes out whatever the backend still holds (the simulator's trace).
    // Throws FileError when it cannot. The front ends call it before they let
    // the port go, so that such a failure reaches the user.
    virtual void finish() {}

    // Human-readable name for messages and the window caption ("/dev/parport0", "simulator").
    virtual std::string description() const = 0;
    virtual bool isSimulator() const { return false; }
};

// Installs the backend that PortRead/PortWrite and the waits use from now on;
// nullptr uninstalls. Returns the previous one so scoped users can restore it.
std::unique_ptr<PortBackend> InstallPort(std::unique_ptr<PortBackend> backend);
PortBackend* InstalledPort();

// The hook that lets pending user-interface events run (the GUI's event loop; a
// no-op in the command-line tool). Called by WaitMs and by the runs' status updates.
void SetEventHook(std::function<void()> hook);
void ProcessEvents();

// Asynchronous stop request (set from a signal handler). While it is set, every
// port access and every wait throws RunInterrupted, so a run unwinds to the
// point where it puts the adapter idle. Pass nullptr to stop watching.
void WatchInterruptFlag(const volatile std::sig_atomic_t* flag);

}  // namespace varnok
