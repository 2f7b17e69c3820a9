// The simulated adapter and chip behind the port interface: chosen explicitly
// (--port sim), never a stand-in for a port that failed to open.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "adapter/port_backend.h"
#include "app/shared_state.h"

namespace varnok::sim {

enum class TimeMode { Virtual, Real };

struct Fault {
    enum class Kind { NoAdapter, NoChip, StuckP1, BadCell };
    Kind kind;
    int line = 0;               // StuckP1: P1.line (0 to 7)
    int value = 0;              // StuckP1: the level it always reads (0 or 1)
    std::uint32_t address = 0;  // BadCell: the flash byte that never takes a write
};

// Parses "no-adapter", "no-chip", "stuck-p1=N:V", "bad-cell=ADDR" (decimal or 0x-hex).
// Throws std::invalid_argument with a message naming what is wrong.
Fault ParseFault(const std::string& text);
// The fault in the form ParseFault reads ("stuck-p1=3:0", "bad-cell=0x1F0").
std::string FaultText(const Fault& fault);

struct Options {
    // Persistent chip file; empty keeps the chip in memory only (erased at open).
    std::string chipFile;
    // Model of the chip in the socket when chipFile is created new (or in memory).
    Chip model = Chip::AT89C2051;
    TimeMode time = TimeMode::Virtual;
    std::vector<Fault> faults;
    // Trace of every port access; empty for none.
    std::string traceFile;
    // What one port access costs on the virtual clock: about one ISA bus cycle.
    // Tests shorten it to provoke the chip's minimum pulse widths.
    std::uint32_t virtualAccessNs = 1000;
};

// Default chip file: $XDG_STATE_HOME/varnok/sim-<model>.chip, model in lower case
// (sim-at89c2051.chip); ~/.local/state when XDG_STATE_HOME is unset or relative.
std::string DefaultChipFile(Chip model);

// What the simulated chip holds, for tests and diagnosis.
struct ChipSnapshot {
    Chip model;
    std::vector<std::uint8_t> flash;  // capacity bytes
    bool lockBit1;
    bool lockBit2;
};

// Pin levels the adapter presents to the chip, for tests of the idle state.
struct PinSnapshot {
    bool vpp12V;                 // 12 V on RST/VPP
    bool rstHigh;                // RST at logic high (or 12 V)
    bool dataOutputsEnabled;     // data shift register drives P1
    bool controlOutputsEnabled;  // control shift register drives XTAL1/P3
    std::uint8_t controlLatch;   // control word in the latch (on the pins while enabled)
    std::uint8_t dataLatch;      // data byte in the latch (on P1 while enabled)
    std::uint16_t addressCounter;
};

class Simulator : public PortBackend {
public:
    // Opens (and locks) the chip file, creating it erased if missing. Throws
    // PortError(Busy) if another process holds the chip file, FileError if it
    // cannot be created or read or is damaged (it is never silently recreated),
    // std::invalid_argument for bad options (a new chip without a model, a fault
    // outside its range, a bad cell beyond the chip's capacity).
    static std::unique_ptr<Simulator> Open(const Options& options);

    ~Simulator() override;

    std::uint8_t in(std::uint16_t address) override;
    void out(std::uint16_t address, std::uint8_t value) override;
    std::uint64_t nowNs() override;
    void idleUntil(std::uint64_t deadlineNs) override;
    std::string description() const override;
    bool isSimulator() const override { return true; }

    // A comment line in the trace ("# program start"); a leading "#" in text is not doubled.
    void traceMarker(const std::string& text);
    // Writes the buffered trace out now. Throws FileError if the trace cannot be
    // written; a failure while tracing is thrown once from the access that hits it.
    void finish() override;

    ChipSnapshot chip() const;
    // Replaces the flash contents and lock bits (tests and fixtures); a shorter
    // flash is padded with FFh, a longer one throws std::invalid_argument.
    void loadChip(const std::vector<std::uint8_t>& flash, bool lockBit1, bool lockBit2);
    PinSnapshot pins() const;
    // Timing-rule breaches the chip model saw (setup/hold, pulse widths), one text each.
    std::vector<std::string> violations() const;
    // Things outside the data sheet that real chips take without harm, kept apart
    // from violations: PROG pulses longer than 110 us (the adapter's protocol
    // makes every one longer), summed up in one line.
    std::vector<std::string> notes() const;
    int longProgPulses() const;
    // How often adapter and chip drove P1 at the same time.
    int busContentions() const;

    struct Impl;

private:
    explicit Simulator(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace varnok::sim
