#include "sim/simulator.h"

#include <pwd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "adapter/errors.h"
#include "sim/chip_store.h"
#include "sim/trace_writer.h"

namespace varnok::sim {

namespace {

// The adapter's wiring, kept here rather than borrowed from the program's own
// constants: the model is the hardware, and must not share the program's mistakes.
namespace line {
constexpr std::uint8_t DataLatch = 0x01;
constexpr std::uint8_t DataSerial = 0x02;
constexpr std::uint8_t DataClock = 0x04;
constexpr std::uint8_t DataEnable = 0x08;
constexpr std::uint8_t ControlLatch = 0x10;
constexpr std::uint8_t ControlSerial = 0x20;
constexpr std::uint8_t ControlClock = 0x40;
constexpr std::uint8_t ControlEnable = 0x80;
constexpr std::uint8_t VppSwitch = 0x01;
constexpr std::uint8_t ResetLine = 0x02;
constexpr std::uint8_t NibbleSelect = 0x04;
}  // namespace line

// Chip pins as the control latch drives them.
constexpr std::uint8_t kXtal1 = 0x01;
constexpr std::uint8_t kProg = 0x02;
constexpr std::uint8_t kChipPins = 0x9F;  // bits 5 and 6 go to no pin
constexpr std::uint8_t kModePins = 0x9C;  // P3.3, P3.4, P3.5, P3.7
constexpr std::uint8_t kFloating = 0x9E;  // outputs off: P3 pulled up, XTAL1 held low

constexpr std::uint64_t kWriteCycleNs = 1'200'000;
constexpr std::uint64_t kEraseMinNs = 10'000'000;
constexpr std::uint64_t kVppSetupNs = 10'000;
constexpr std::uint64_t kDataSetupNs = 1'000;
constexpr std::uint64_t kProgMinNs = 1'000;
constexpr std::uint64_t kProgMaxNs = 110'000;
constexpr std::uint64_t kXtalHighMinNs = 200;
// What one latch-and-read of the interval timer costs on the bus: a command
// write and two reads.
constexpr std::uint64_t kTimerReadNs = 3'000;
// A real-clock idle wakes this early; the caller spins the rest, so that the
// scheduler's wake-up latency never makes a pulse longer than asked.
constexpr std::uint64_t kWakeEarlyNs = 150'000;
constexpr std::size_t kMaxRecorded = 1000;

enum class Rst : std::uint8_t { Low, High, Vpp };

enum class Mode : std::uint8_t { None, WriteCode, ReadCode, Lock1, Lock2, Erase, Signature };

Mode DecodeMode(std::uint8_t pins) {
    switch (pins & kModePins) {
        case 0x98:
            return Mode::WriteCode;
        case 0x90:
            return Mode::ReadCode;
        case 0x9C:
            return Mode::Lock1;
        case 0x0C:
            return Mode::Lock2;
        case 0x04:
            return Mode::Erase;
        case 0x00:
            return Mode::Signature;
        default:
            return Mode::None;
    }
}

Rst RstFrom(std::uint8_t control) {
    if (!(control & line::VppSwitch)) return Rst::Vpp;
    return (control & line::ResetLine) ? Rst::Low : Rst::High;
}

// Which register of a parallel port `address` is: 0 data, 1 status, 2 control;
// -1 for an address where no port answers. Every base is a multiple of four.
inline int RegisterAt(std::uint16_t address) {
    const unsigned base = address & ~3U;
    const unsigned offset = address & 3U;
    if (offset == 3 || (base != 0x378 && base != 0x278 && base != 0x3BC && base != 0x2BC)) {
        return -1;
    }
    return static_cast<int>(offset);
}

enum class Rule : std::uint8_t {
    VppSetup,
    DataSetup,
    ProgWidth,
    XtalHigh,
    WriteWhileBusy,
    EraseTooShort,
    EraseWithoutVpp,
};

// Kept as numbers while the run goes on; text is made only when asked for.
struct Violation {
    Rule rule;
    std::uint64_t atNs;
    std::uint64_t measuredNs;
};

std::string Describe(const Violation& v) {
    const std::string at = "at " + std::to_string(v.atNs) + " ns: ";
    const std::string m = std::to_string(v.measuredNs) + " ns";
    switch (v.rule) {
        case Rule::VppSetup:
            return at + "PROG went low " + m +
                   " after 12 V reached RST/VPP (VPP setup needs 10 us)";
        case Rule::DataSetup:
            return at + "P1 changed " + m + " before PROG went low (data setup needs 1 us)";
        case Rule::ProgWidth:
            return at + "PROG pulse of " + m + " (at least 1 us)";
        case Rule::XtalHigh:
            return at + "XTAL1 high for " + m + " (at least 200 ns)";
        case Rule::WriteWhileBusy:
            return at + "programming pulse " + m +
                   " into the previous byte's write cycle (1.2 ms); the chip ignored it";
        case Rule::EraseTooShort:
            return at + "erase pulse of " + m + " (at least 10 ms); nothing erased";
        case Rule::EraseWithoutVpp:
            return at + "12 V left RST/VPP " + m +
                   " into the erase pulse, before PROG went high; nothing erased";
    }
    return at + "unknown rule";
}

std::string Printable(const std::string& text) {
    std::string out;
    for (unsigned char c : text) out += std::isprint(c) ? static_cast<char>(c) : '?';
    return out;
}

[[noreturn]] void BadFault(const std::string& text, const std::string& why) {
    throw std::invalid_argument("invalid fault \"" + Printable(text) + "\": " + why +
                                "; valid faults: no-adapter, no-chip, stuck-p1=N:V (N 0 to 7, "
                                "V 0 or 1), bad-cell=ADDR (0 to 4095, decimal or 0x hex)");
}

// Decimal or 0x-hex without sign or spaces; false if malformed or above `limit`.
bool ParseAddress(const std::string& digits, std::uint32_t limit, std::uint32_t& value) {
    std::size_t i = 0;
    unsigned base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        i = 2;
    }
    if (i >= digits.size()) return false;
    std::uint64_t v = 0;
    for (; i < digits.size(); ++i) {
        const char c = digits[i];
        unsigned d;
        if (c >= '0' && c <= '9') {
            d = static_cast<unsigned>(c - '0');
        } else if (base == 16 && std::isxdigit(static_cast<unsigned char>(c))) {
            d = static_cast<unsigned>(std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
        } else {
            return false;
        }
        v = v * base + d;
        if (v > limit) return false;
    }
    value = static_cast<std::uint32_t>(v);
    return true;
}

}  // namespace

Fault ParseFault(const std::string& text) {
    if (text == "no-adapter") return Fault{Fault::Kind::NoAdapter};
    if (text == "no-chip") return Fault{Fault::Kind::NoChip};
    const std::string stuck = "stuck-p1=";
    if (text.rfind(stuck, 0) == 0) {
        const std::string arg = text.substr(stuck.size());
        if (arg.size() != 3 || arg[1] != ':' || arg[0] < '0' || arg[0] > '7' ||
            (arg[2] != '0' && arg[2] != '1')) {
            BadFault(text, "stuck-p1 takes a line 0 to 7 and a level 0 or 1, as in stuck-p1=3:0");
        }
        Fault fault{Fault::Kind::StuckP1};
        fault.line = arg[0] - '0';
        fault.value = arg[2] - '0';
        return fault;
    }
    const std::string bad = "bad-cell=";
    if (text.rfind(bad, 0) == 0) {
        Fault fault{Fault::Kind::BadCell};
        if (!ParseAddress(text.substr(bad.size()), 4095, fault.address)) {
            BadFault(text, "bad-cell takes an address 0 to 4095, as in bad-cell=0x1F0");
        }
        return fault;
    }
    BadFault(text, "unknown fault");
}

std::string FaultText(const Fault& fault) {
    switch (fault.kind) {
        case Fault::Kind::NoAdapter:
            return "no-adapter";
        case Fault::Kind::NoChip:
            return "no-chip";
        case Fault::Kind::StuckP1:
            return "stuck-p1=" + std::to_string(fault.line) + ":" + std::to_string(fault.value);
        case Fault::Kind::BadCell: {
            char buffer[16];
            std::snprintf(buffer, sizeof buffer, "0x%03X", static_cast<unsigned>(fault.address));
            return std::string("bad-cell=") + buffer;
        }
    }
    return "unknown";
}

std::string DefaultChipFile(Chip model) {
    std::string base;
    // XDG base directories must be absolute; a relative one is to be ignored.
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && state[0] == '/') {
        base = state;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            const passwd* entry = ::getpwuid(::getuid());
            home = entry && entry->pw_dir ? entry->pw_dir : ".";
        }
        base = std::string(home) + "/.local/state";
    }
    std::string name = ChipName(model);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return base + "/varnok/sim-" + name + ".chip";
}

struct Simulator::Impl {
    // Configuration.
    TimeMode timeMode = TimeMode::Virtual;
    std::uint64_t accessNs = 1000;
    bool noAdapter = false;
    bool noChip = false;
    std::uint8_t stuckAnd = 0xFF;
    std::uint8_t stuckOr = 0x00;
    std::vector<bool> badCell;
    std::string faultList;

    std::unique_ptr<ChipStore> store;
    std::unique_ptr<TraceWriter> trace;

    // Time.
    std::uint64_t clock = 0;  // virtual nanoseconds
    timespec realStart{};

    // The port's own registers: what the program last wrote.
    std::uint8_t dataReg = 0x00;
    std::uint8_t controlReg = 0xFF;

    // The adapter.
    std::uint8_t dataShift = 0, dataLatch = 0;
    std::uint8_t controlShift = 0, controlLatch = 0;

    // What the chip sees and does.
    std::uint8_t pins = kFloating;
    Rst rst = Rst::Low;
    Mode mode = DecodeMode(kFloating);
    bool adapterDrives = false;
    bool chipDrives = false;
    std::uint8_t lastBus = 0xFF;
    std::uint16_t address = 0;

    std::uint64_t vppSinceNs = 0;
    std::uint64_t busChangedNs = 0;
    std::uint64_t xtalRoseNs = 0;
    std::uint64_t progFellNs = 0;
    Mode pulseOp = Mode::None;  // the programming operation the current PROG pulse started

    struct PendingWrite {
        bool active = false;
        std::uint16_t address = 0;
        std::uint8_t data = 0;
        std::uint64_t startNs = 0;
        std::uint64_t endNs = 0;
    } pending;

    // Findings.
    std::vector<Violation> violations;
    std::size_t violationCount = 0;
    int contentions = 0;
    int longPulses = 0;
    std::uint64_t longestPulseNs = 0;
    std::uint64_t firstLongPulseAtNs = 0;

    // Out of line, so that the virtual clock's path stays a load, an add and a store.
    [[gnu::noinline]] std::uint64_t realNow() const {
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        return static_cast<std::uint64_t>(now.tv_sec - realStart.tv_sec) * 1'000'000'000ULL +
               static_cast<std::uint64_t>(now.tv_nsec) -
               static_cast<std::uint64_t>(realStart.tv_nsec);
    }

    std::uint64_t current() const { return timeMode == TimeMode::Virtual ? clock : realNow(); }

    // The moment of a bus access; a virtual clock charges the access's bus cycle.
    std::uint64_t accessTime() {
        if (timeMode == TimeMode::Virtual) [[likely]] {
            const std::uint64_t t = clock;
            clock += accessNs;
            return t;
        }
        return realNow();
    }

    void record(Rule rule, std::uint64_t at, std::uint64_t measured) {
        ++violationCount;
        if (violations.size() < kMaxRecorded) violations.push_back({rule, at, measured});
    }

    void commitDueWrite(std::uint64_t t) {
        if (pending.active && t >= pending.endNs) {
            if (!badCell[pending.address]) store->flash()[pending.address] &= pending.data;
            pending.active = false;
        }
    }

    // Lock bit 2 disables read code data altogether: the chip leaves P1 alone,
    // so the pull-ups make every byte read FFh.
    bool chipDrivesNow() const {
        if (noChip || rst != Rst::High || !(pins & kProg)) return false;
        if (mode == Mode::Signature) return true;
        return mode == Mode::ReadCode && !store->lockBit2();
    }

    std::uint8_t chipValue(std::uint64_t t) {
        if (mode == Mode::Signature) {
            if (address == 0) return 0x1E;
            return address == 1 ? ChipSignature(store->model()) : 0xFF;
        }
        commitDueWrite(t);
        // Data polling: until the self-timed write ends, the byte being written
        // reads with bit 7 complemented.
        if (pending.active && pending.address == address) return pending.data ^ 0x80;
        return store->flash()[address];
    }

    std::uint8_t bus(std::uint64_t t) {
        std::uint8_t value = 0xFF;
        if (adapterDrives) value = dataLatch;
        if (chipDrives) value &= chipValue(t);
        return static_cast<std::uint8_t>((value & stuckAnd) | stuckOr);
    }

    std::uint8_t status(std::uint64_t t) {
        if (noAdapter) return 0xFF;
        const unsigned p1 = bus(t);
        auto bit = [p1](int n) { return (p1 >> n) & 1U; };
        unsigned s;
        if (controlReg & line::NibbleSelect) {
            s = bit(7) << 4 | bit(6) << 5 | bit(4) << 6 | (bit(5) ^ 1U) << 7;
        } else {
            s = bit(3) << 4 | bit(2) << 5 | bit(0) << 6 | (bit(1) ^ 1U) << 7;
        }
        return static_cast<std::uint8_t>(s | 0x0F);
    }

    void writeData(std::uint8_t value, std::uint64_t t) {
        const std::uint8_t old = dataReg;
        dataReg = value;
        if (noAdapter) return;
        const std::uint8_t rising = value & ~old;
        bool settleNeeded = ((old ^ value) & (line::DataEnable | line::ControlEnable)) != 0;
        // The latches take the shift registers as they were before a clock edge
        // that arrives in the same write, as with the clocks of real parts tied together.
        if ((rising & line::DataLatch) && dataLatch != dataShift) {
            dataLatch = dataShift;
            settleNeeded = true;
        }
        if ((rising & line::ControlLatch) && controlLatch != controlShift) {
            controlLatch = controlShift;
            settleNeeded = true;
        }
        if (rising & line::DataClock) {
            dataShift =
                static_cast<std::uint8_t>(dataShift << 1 | ((value & line::DataSerial) ? 1 : 0));
        }
        if (rising & line::ControlClock) {
            controlShift = static_cast<std::uint8_t>(controlShift << 1 |
                                                     ((value & line::ControlSerial) ? 1 : 0));
        }
        if (settleNeeded) settle(t);
    }

    void writeControl(std::uint8_t value, std::uint64_t t) {
        controlReg = value;
        if (noAdapter) return;
        if (RstFrom(value) != rst) settle(t);
    }

    // Brings the chip up to date after the adapter's outputs or RST/VPP changed.
    void settle(std::uint64_t t) {
        const std::uint8_t oldPins = pins;
        const Rst oldRst = rst;
        const bool oldBoth = adapterDrives && chipDrives;
        pins = (dataReg & line::ControlEnable) ? (controlLatch & kChipPins) : kFloating;
        rst = RstFrom(controlReg);
        adapterDrives = (dataReg & line::DataEnable) != 0;
        mode = DecodeMode(pins);

        if (!noChip) {
            if (oldRst == Rst::Low && rst != Rst::Low) address = 0;
            if (rst == Rst::Vpp && oldRst != Rst::Vpp) vppSinceNs = t;
            const std::uint8_t rising = pins & ~oldPins;
            const std::uint8_t falling = oldPins & ~pins;
            if (rising & kXtal1) {
                xtalRoseNs = t;
                // The address counter belongs to the programming modes; with RST
                // low the chip would be running its program instead.
                if (rst != Rst::Low) {
                    address = static_cast<std::uint16_t>((address + 1) % store->capacity());
                }
            }
            if ((falling & kXtal1) && t - xtalRoseNs < kXtalHighMinNs) {
                record(Rule::XtalHigh, t, t - xtalRoseNs);
            }
            chipDrives = chipDrivesNow();
            trackBus(t);
            if (falling & kProg) progFell(t);
            if (rising & kProg) progRose(t);
        }
        chipDrives = chipDrivesNow();
        if (adapterDrives && chipDrives && !oldBoth) ++contentions;
    }

    void trackBus(std::uint64_t t) {
        const std::uint8_t now = bus(t);
        if (now != lastBus) {
            lastBus = now;
            busChangedNs = t;
        }
    }

    void progFell(std::uint64_t t) {
        progFellNs = t;
        pulseOp = Mode::None;
        if (rst != Rst::Vpp) return;
        if (mode != Mode::WriteCode && mode != Mode::Lock1 && mode != Mode::Lock2 &&
            mode != Mode::Erase) {
            return;
        }
        if (t - vppSinceNs < kVppSetupNs) record(Rule::VppSetup, t, t - vppSinceNs);
        if (pending.active && t < pending.endNs) {
            record(Rule::WriteWhileBusy, t, t - pending.startNs);
            return;
        }
        commitDueWrite(t);
        pulseOp = mode;
        switch (mode) {
            case Mode::WriteCode:
                if (t - busChangedNs < kDataSetupNs) record(Rule::DataSetup, t, t - busChangedNs);
                // With a lock bit set the chip takes no byte at all: no write cycle, no polling.
                if (!store->lockBit1() && !store->lockBit2()) {
                    pending = {true, address, bus(t), t, t + kWriteCycleNs};
                }
                break;
            case Mode::Lock1:
                store->setLockBits(true, store->lockBit2());
                break;
            case Mode::Lock2:
                store->setLockBits(store->lockBit1(), true);
                break;
            default:
                break;  // erase acts when PROG rises, once the pulse has proved long enough
        }
    }

    void progRose(std::uint64_t t) {
        const Mode op = pulseOp;
        pulseOp = Mode::None;
        if (op == Mode::None) return;
        const std::uint64_t width = t - progFellNs;
        if (op == Mode::Erase) {
            if (width < kEraseMinNs) {
                record(Rule::EraseTooShort, t, width);
            } else if (rst != Rst::Vpp) {
                record(Rule::EraseWithoutVpp, t, width);
            } else {
                std::memset(store->flash(), 0xFF, static_cast<std::size_t>(store->capacity()));
                store->setLockBits(false, false);
                pending.active = false;
            }
            return;
        }
        if (width < kProgMinNs) {
            record(Rule::ProgWidth, t, width);
        } else if (width > kProgMaxNs) {
            // Beyond the data sheet's maximum, yet every chip takes it: a note, not a fault.
            if (longPulses++ == 0) firstLongPulseAtNs = t;
            longestPulseNs = std::max(longestPulseNs, width);
        }
    }
};

Simulator::Simulator(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

std::unique_ptr<Simulator> Simulator::Open(const Options& options) {
    auto impl = std::make_unique<Impl>();
    impl->timeMode = options.time;
    impl->accessNs = options.virtualAccessNs;

    // Faults are checked before the chip file is touched, so a typo never creates one.
    std::vector<Fault> badCells;
    for (const Fault& fault : options.faults) {
        switch (fault.kind) {
            case Fault::Kind::NoAdapter:
                impl->noAdapter = true;
                break;
            case Fault::Kind::NoChip:
                impl->noChip = true;
                break;
            case Fault::Kind::StuckP1:
                if (fault.line < 0 || fault.line > 7 || (fault.value != 0 && fault.value != 1)) {
                    throw std::invalid_argument(
                        "fault stuck-p1 needs a line 0 to 7 and a level 0 or 1");
                }
                if (fault.value) {
                    impl->stuckOr |= static_cast<std::uint8_t>(1U << fault.line);
                } else {
                    impl->stuckAnd &= static_cast<std::uint8_t>(~(1U << fault.line));
                }
                break;
            case Fault::Kind::BadCell:
                badCells.push_back(fault);
                break;
        }
        if (!impl->faultList.empty()) impl->faultList += ' ';
        impl->faultList += FaultText(fault);
    }

    impl->store = options.chipFile.empty() ? ChipStore::InMemory(options.model)
                                           : ChipStore::OpenFile(options.chipFile, options.model);
    const int capacity = impl->store->capacity();
    impl->badCell.assign(static_cast<std::size_t>(capacity), false);
    for (const Fault& fault : badCells) {
        if (fault.address >= static_cast<std::uint32_t>(capacity)) {
            throw std::invalid_argument("fault " + FaultText(fault) + " lies outside the " +
                                        ChipName(impl->store->model()) + "'s " +
                                        std::to_string(capacity) + " bytes");
        }
        impl->badCell[fault.address] = true;
    }

    if (!options.traceFile.empty()) impl->trace = TraceWriter::Create(options.traceFile);
    ::clock_gettime(CLOCK_MONOTONIC, &impl->realStart);
    return std::unique_ptr<Simulator>(new Simulator(std::move(impl)));
}

Simulator::~Simulator() {
    // The adapter keeps the chip powered after the program lets go of the port,
    // so a write cycle under way still completes.
    Impl& s = *impl_;
    s.commitDueWrite(s.pending.active ? s.pending.endNs : 0);
}

std::uint8_t Simulator::in(std::uint16_t address) {
    Impl& s = *impl_;
    const std::uint64_t t = s.accessTime();
    std::uint8_t value;
    switch (RegisterAt(address)) {
        case 0:
            value = s.dataReg;
            break;
        case 1:
            value = s.status(t);
            break;
        case 2:
            value = s.controlReg;
            break;
        default:
            value = 0xFF;
            break;
    }
    if (s.trace) s.trace->access(t, false, address, value);
    return value;
}

void Simulator::out(std::uint16_t address, std::uint8_t value) {
    Impl& s = *impl_;
    const std::uint64_t t = s.accessTime();
    switch (RegisterAt(address)) {
        case 0:
            s.writeData(value, t);
            break;
        case 2:
            s.writeControl(value, t);
            break;
        default:
            break;  // status is input only; nothing answers elsewhere
    }
    if (s.trace) s.trace->access(t, true, address, value);
}

std::uint64_t Simulator::nowNs() {
    Impl& s = *impl_;
    if (s.timeMode == TimeMode::Virtual) [[likely]] {
        const std::uint64_t t = s.clock;
        s.clock += kTimerReadNs;
        return t;
    }
    return s.realNow();
}

void Simulator::idleUntil(std::uint64_t deadlineNs) {
    Impl& s = *impl_;
    if (s.timeMode == TimeMode::Virtual) {
        s.clock = std::max(s.clock, deadlineNs);
        return;
    }
    if (deadlineNs <= s.realNow() + kWakeEarlyNs) return;
    const std::uint64_t wake = deadlineNs - kWakeEarlyNs;
    timespec at = s.realStart;
    at.tv_sec += static_cast<time_t>(wake / 1'000'000'000ULL);
    at.tv_nsec += static_cast<long>(wake % 1'000'000'000ULL);
    if (at.tv_nsec >= 1'000'000'000L) {
        at.tv_nsec -= 1'000'000'000L;
        ++at.tv_sec;
    }
    // A signal ends the sleep early, which lets a stop request be seen at once.
    ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr);
}

std::string Simulator::description() const {
    const Impl& s = *impl_;
    std::string text = std::string("simulator (") + ChipName(s.store->model());
    text += s.store->path().empty() ? ", in memory" : ", chip file " + s.store->path();
    if (s.timeMode == TimeMode::Real) text += ", real time";
    if (!s.faultList.empty()) text += ", faults: " + s.faultList;
    return text + ")";
}

void Simulator::traceMarker(const std::string& text) {
    if (!impl_->trace) return;
    std::string_view body = text;
    if (!body.empty() && body.front() == '#') body.remove_prefix(1);
    while (!body.empty() && body.front() == ' ') body.remove_prefix(1);
    impl_->trace->comment(body);
}

void Simulator::finish() {
    if (impl_->trace) impl_->trace->flush();
}

ChipSnapshot Simulator::chip() const {
    const Impl& s = *impl_;
    ChipSnapshot snapshot{s.store->model(),
                          {s.store->flash(), s.store->flash() + s.store->capacity()},
                          s.store->lockBit1(),
                          s.store->lockBit2()};
    const auto& p = s.pending;
    if (p.active && s.current() >= p.endNs && !s.badCell[p.address]) {
        snapshot.flash[p.address] &= p.data;
    }
    return snapshot;
}

void Simulator::loadChip(const std::vector<std::uint8_t>& flash, bool lockBit1, bool lockBit2) {
    Impl& s = *impl_;
    const auto capacity = static_cast<std::size_t>(s.store->capacity());
    if (flash.size() > capacity) {
        throw std::invalid_argument(std::to_string(flash.size()) + " bytes do not fit the " +
                                    ChipName(s.store->model()) + "'s " + std::to_string(capacity));
    }
    std::copy(flash.begin(), flash.end(), s.store->flash());
    std::fill(s.store->flash() + flash.size(), s.store->flash() + capacity, 0xFF);
    s.store->setLockBits(lockBit1, lockBit2);
    s.pending.active = false;
    s.chipDrives = s.chipDrivesNow();
}

PinSnapshot Simulator::pins() const {
    const Impl& s = *impl_;
    return PinSnapshot{s.rst == Rst::Vpp,
                       s.rst != Rst::Low,
                       (s.dataReg & line::DataEnable) != 0 && !s.noAdapter,
                       (s.dataReg & line::ControlEnable) != 0 && !s.noAdapter,
                       s.controlLatch,
                       s.dataLatch,
                       s.address};
}

std::vector<std::string> Simulator::violations() const {
    const Impl& s = *impl_;
    std::vector<std::string> texts;
    texts.reserve(s.violations.size() + 1);
    for (const Violation& v : s.violations) texts.push_back(Describe(v));
    if (s.violationCount > s.violations.size()) {
        texts.push_back("... and " + std::to_string(s.violationCount - s.violations.size()) +
                        " more");
    }
    return texts;
}

std::vector<std::string> Simulator::notes() const {
    const Impl& s = *impl_;
    std::vector<std::string> texts;
    if (s.longPulses > 0) {
        texts.push_back(std::to_string(s.longPulses) +
                        " PROG pulses longer than the data sheet's 110 us maximum (longest " +
                        std::to_string(s.longestPulseNs) + " ns, first ending at " +
                        std::to_string(s.firstLongPulseAtNs) + " ns)");
    }
    return texts;
}

int Simulator::longProgPulses() const {
    return impl_->longPulses;
}

int Simulator::busContentions() const {
    return impl_->contentions;
}

}  // namespace varnok::sim
