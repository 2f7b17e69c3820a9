// The simulated adapter and chip, driven through raw port accesses only. The
// rig follows the adapter's documented line protocol on its own, so these tests
// do not lean on the program's adapter routines that they help to check.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <regex>
#include <sstream>

#include "adapter/errors.h"
#include "sim/chip_store.h"
#include "sim/simulator.h"
#include "tests/core/test_support.h"

namespace varnok::sim {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::SizeIs;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t kData = 0x378, kStatus = 0x379, kControl = 0x37A;

Options Opts(Chip model = Chip::AT89C2051, std::vector<Fault> faults = {}) {
    Options options;
    options.model = model;
    options.faults = std::move(faults);
    return options;
}

struct Rig {
    explicit Rig(const Options& options = Opts()) : sim(Simulator::Open(options)) {}
    std::unique_ptr<Simulator> sim;
    // The adapter's two busy waits; tests shorten them to fit inside a write cycle.
    std::uint64_t shortNs = 25'200, longNs = 159'300;

    void wait(std::uint64_t ns) { sim->idleUntil(sim->nowNs() + ns); }
    void ctl(std::uint8_t value) { sim->out(kControl, value); }
    void vpp(bool on) { ctl(on ? sim->in(kControl)&0xFE : sim->in(kControl) | 0x01); }
    // One data line by read-modify-write, then an optional wait.
    void line(unsigned mask, bool on, std::uint64_t after = 0) {
        const unsigned v = sim->in(kData);
        sim->out(kData, static_cast<std::uint8_t>(on ? v | mask : v & ~mask));
        if (after) wait(after);
    }
    // half 0: data register's lines (latch 01h .. enable 08h); half 4: control's.
    void shift(std::uint8_t value, int half, bool latch) {
        for (int bit = 7; bit >= 0; --bit) {
            line(0x02U << half, (value >> bit) & 1, shortNs);
            line(0x04U << half, true, shortNs);
            line(0x04U << half, false, shortNs);
        }
        if (!latch) return;
        line(0x01U << half, true, longNs);
        line(0x01U << half, false, shortNs);
        line(0x08U << half, true);
    }
    void control(std::uint8_t word, bool latch = true) { shift(word, 4, latch); }
    void data(std::uint8_t byte, bool latch = true) { shift(byte, 0, latch); }

    static std::uint8_t Remap(std::uint8_t status) {
        const unsigned n = status >> 4;
        return static_cast<std::uint8_t>((n & 1) << 3 | (n & 2) << 1 | ((~n >> 3) & 1) << 1 |
                                         ((n >> 2) & 1));
    }
    std::uint8_t readByte() {
        ctl(sim->in(kControl) | 0x04);
        wait(longNs);
        const std::uint8_t high = Remap(sim->in(kStatus));
        wait(longNs);
        ctl(sim->in(kControl)&0x0B);
        wait(longNs);
        const std::uint8_t low = Remap(sim->in(kStatus));
        wait(2 * longNs);
        return static_cast<std::uint8_t>(high << 4 | low);
    }

    void idle() {
        sim->out(kData, 0x00);
        ctl(0xFF);
    }
    void addressReset() {
        ctl(0xFF);
        wait(longNs);
        ctl(sim->in(kControl)&0x01);
    }
    void advance(std::uint8_t xtalHigh) {
        control(xtalHigh);
        wait(longNs);
        control(xtalHigh & 0xFE);
        wait(longNs);
    }
    void startReading() {
        idle();
        addressReset();
        control(0x92);
        line(0x08, false);
    }
    void pulse(std::uint8_t progHigh, std::uint64_t lowNs) {
        control(progHigh);
        vpp(true);
        wait(shortNs);
        control(progHigh & 0xFD);
        wait(lowNs);
        control(progHigh);
        vpp(false);
    }
    void erase(std::uint64_t lowNs = 20'000'000) {
        control(0x06);
        control(0x9A);
        pulse(0x06, lowNs);
    }
    // A byte as a programming run writes it, without the verify.
    void writeByte(std::uint8_t b) {
        control(0x9A);
        vpp(true);
        wait(shortNs);
        data(b);
        control(0x98);
        wait(longNs);
        control(0x9A);
        vpp(false);
        line(0x08, false);
    }
    // Writes `bytes` from address 0 on, each read back after its write cycle.
    Bytes program(const Bytes& bytes) {
        Bytes verified;
        idle();
        addressReset();
        for (std::uint8_t b : bytes) {
            writeByte(b);
            wait(4'000'000);
            control(0x92);
            verified.push_back(readByte());
            advance(0x9B);
            line(0x08, true, shortNs);
        }
        return verified;
    }
    Bytes readAll(std::size_t count, std::uint8_t mode = 0x92) {
        startReading();
        control(mode);
        Bytes bytes;
        for (std::size_t i = 0; i < count; ++i) {
            bytes.push_back(readByte());
            advance(mode | 1);
        }
        return bytes;
    }
};

TEST(SimAdapter, ShiftRegistersChangeTheirOutputsOnlyAtTheLatchPulse) {
    Rig rig;
    rig.idle();
    rig.control(0xA5, false);
    EXPECT_EQ(rig.sim->pins().controlLatch, 0x00);
    rig.control(0xA5);
    EXPECT_EQ(rig.sim->pins().controlLatch, 0xA5);
    EXPECT_TRUE(rig.sim->pins().controlOutputsEnabled);
    EXPECT_FALSE(rig.sim->pins().dataOutputsEnabled);
    // Each half of the data register leaves the other shift register alone.
    rig.data(0x3C);
    rig.control(0x00);
    EXPECT_EQ(rig.sim->pins().dataLatch, 0x3C);
    EXPECT_EQ(rig.sim->pins().controlLatch, 0x00);

    rig.idle();
    const PinSnapshot idle = rig.sim->pins();
    EXPECT_FALSE(idle.dataOutputsEnabled || idle.controlOutputsEnabled || idle.vpp12V ||
                 idle.rstHigh);
    rig.ctl(0xFE);  // 12 V whatever the reset line says
    EXPECT_TRUE(rig.sim->pins().vpp12V);
}

TEST(SimAdapter, RegistersReadBackAndOnlyTheFourPortsAnswer) {
    Rig rig;
    for (std::uint16_t base : {0x378, 0x278, 0x3BC, 0x2BC}) {
        rig.sim->out(base, 0x5A);
        rig.sim->out(base + 2, 0xF3);  // all eight bits, also those no line carries
        EXPECT_EQ(rig.sim->in(base), 0x5A) << base;
        EXPECT_EQ(rig.sim->in(base + 2), 0xF3) << base;
        EXPECT_EQ(rig.sim->in(base + 1) & 0x0F, 0x0F) << base;
    }
    rig.sim->out(0x37B, 0x00);
    EXPECT_EQ(rig.sim->in(0x37B), 0xFF);
    EXPECT_EQ(rig.sim->in(0x40), 0xFF);
    EXPECT_EQ(rig.sim->in(kData), 0x5A);
}

TEST(SimAdapter, StatusMultiplexerCarriesEachNibbleWithBusyInverted) {
    struct Case {
        std::uint8_t p1, highStatus, lowStatus;
    };
    const Case cases[] = {
        {0x00, 0x8F, 0x8F}, {0xFF, 0x7F, 0x7F}, {0x22, 0x0F, 0x0F}, {0x80, 0x9F, 0x8F},
        {0x40, 0xAF, 0x8F}, {0x10, 0xCF, 0x8F}, {0x20, 0x0F, 0x8F}, {0x08, 0x8F, 0x9F},
        {0x04, 0x8F, 0xAF}, {0x01, 0x8F, 0xCF}, {0x02, 0x8F, 0x0F}, {0xA5, 0x1F, 0xEF},
    };
    Rig rig;
    rig.idle();
    for (const Case& c : cases) {
        rig.data(c.p1);
        rig.ctl(0xFF);
        EXPECT_EQ(rig.sim->in(kStatus), c.highStatus) << int(c.p1);
        rig.ctl(0xFB);
        EXPECT_EQ(rig.sim->in(kStatus), c.lowStatus) << int(c.p1);
        EXPECT_EQ(rig.readByte(), c.p1);
    }
    EXPECT_EQ(Rig::Remap(0x0F), 0x2);  // all status bits 0 in both halves: 22h
}

TEST(SimChip, AddressCounterResetsOnRstRiseAndWrapsAtCapacity) {
    Rig rig(Opts(Chip::AT89C1051));
    Bytes flash(1024);
    for (std::size_t i = 0; i < flash.size(); ++i) flash[i] = static_cast<std::uint8_t>(i * 7 + 3);
    rig.sim->loadChip(flash, false, false);

    rig.startReading();
    rig.advance(0x93);
    rig.advance(0x93);
    EXPECT_EQ(rig.readByte(), flash[2]);
    rig.vpp(true);  // high to 12 V and back is no reset: only a rise from low counts
    rig.vpp(false);
    EXPECT_EQ(rig.sim->pins().addressCounter, 2);
    rig.addressReset();
    EXPECT_EQ(rig.readByte(), flash[0]);

    for (int i = 0; i < 1023; ++i) rig.advance(0x93);
    EXPECT_EQ(rig.readByte(), flash[1023]);
    rig.advance(0x93);
    EXPECT_EQ(rig.readByte(), flash[0]);
    // With RST low the chip runs rather than counts.
    rig.advance(0x93);
    rig.ctl(0xFF);
    rig.advance(0x93);
    EXPECT_EQ(rig.sim->pins().addressCounter, 1);
}

TEST(SimChip, ProgrammingRunFollowingTheProtocolBreaksNoTimingRule) {
    Rig rig(Opts(Chip::AT89C4051));
    const Bytes image = test::Pattern(64, 7);
    rig.idle();
    rig.ctl(0xFD);
    rig.control(0x02);
    rig.erase();
    EXPECT_EQ(rig.program(image), image);
    rig.pulse(0x9E, rig.longNs);
    rig.wait(10'000'000);
    rig.pulse(0x0E, rig.longNs);
    rig.idle();

    const ChipSnapshot chip = rig.sim->chip();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), chip.flash.begin()));
    EXPECT_EQ(chip.flash[64], 0xFF);
    EXPECT_TRUE(chip.lockBit1 && chip.lockBit2);
    EXPECT_THAT(rig.sim->violations(), IsEmpty());
    EXPECT_EQ(rig.sim->busContentions(), 0);
    // Every write and lock pulse is longer than 110 us: noted, never a violation.
    EXPECT_EQ(rig.sim->longProgPulses(), 66);
    EXPECT_THAT(rig.sim->notes(), SizeIs(1));
}

TEST(SimChip, WriteClearsBitsOnlyAndPollsBit7UntilTheCycleEnds) {
    Rig rig;
    rig.shortNs = 2'000;
    rig.longNs = 5'000;
    rig.sim->loadChip({0xF0, 0x5A}, false, false);
    rig.idle();
    rig.addressReset();
    rig.writeByte(0x3C);

    rig.control(0x92);
    EXPECT_EQ(rig.readByte(), 0x3C ^ 0x80);
    rig.advance(0x93);
    EXPECT_EQ(rig.readByte(), 0x5A);  // other addresses read as usual meanwhile
    rig.addressReset();
    rig.wait(1'200'000);
    EXPECT_EQ(rig.readByte(), 0x30);
    EXPECT_THAT(rig.sim->violations(), IsEmpty());
}

TEST(SimChip, EraseNeedsAPulseOfTenMilliseconds) {
    // The pulse lasts lowNs plus the shift that ends it, just under a millisecond.
    for (std::uint64_t lowNs : {5'000'000, 8'000'000, 10'000'000, 20'000'000}) {
        const bool erased = lowNs >= 10'000'000;
        Rig rig;
        rig.sim->loadChip({0x00, 0x12}, true, true);
        rig.idle();
        rig.ctl(0xFD);
        rig.erase(lowNs);
        const ChipSnapshot chip = rig.sim->chip();
        EXPECT_EQ(chip.flash[0] == 0xFF && chip.flash[1] == 0xFF, erased) << lowNs;
        EXPECT_EQ(chip.lockBit1 || chip.lockBit2, !erased) << lowNs;
        EXPECT_THAT(rig.sim->violations(), SizeIs(erased ? 0 : 1)) << lowNs;
    }
}

TEST(SimChip, LockBit1StopsWritesAndLockBit2StopsReadsButNotTheSignature) {
    Rig rig;
    rig.idle();
    rig.ctl(0xFD);
    rig.pulse(0x9E, rig.longNs);
    EXPECT_TRUE(rig.sim->chip().lockBit1);
    EXPECT_FALSE(rig.sim->chip().lockBit2);
    rig.addressReset();
    rig.writeByte(0x00);
    rig.wait(2'000'000);
    EXPECT_EQ(rig.sim->chip().flash[0], 0xFF);

    rig.sim->loadChip({0x00, 0x00}, true, true);
    EXPECT_EQ(rig.readAll(2), (Bytes{0xFF, 0xFF}));
    EXPECT_EQ(rig.readAll(1, 0x02), (Bytes{0x1E}));
}

TEST(SimChip, SignatureNamesMakerAndModel) {
    for (Chip model : {Chip::AT89C1051, Chip::AT89C2051, Chip::AT89C4051}) {
        Rig rig(Opts(model));
        EXPECT_EQ(rig.readAll(3, 0x02), (Bytes{0x1E, ChipSignature(model), 0xFF}));
    }
}

TEST(SimChip, AdapterAndChipDrivingP1AtOnceIsCountedAndReadsTheAnd) {
    Rig rig;
    rig.sim->loadChip({0x0F}, false, false);
    rig.startReading();
    EXPECT_EQ(rig.sim->busContentions(), 0);
    rig.data(0x3C);
    EXPECT_EQ(rig.readByte(), 0x0C);
    EXPECT_EQ(rig.sim->busContentions(), 1);
}

TEST(SimChip, TimingRuleBreachesAreRecorded) {
    // With a 100 ns bus cycle, two accesses in a row make pulses below 1 us.
    auto armed = [](Rig& r) {  // write mode, 12 V settled, PROG low waiting in the register
        r.control(0x9A);
        r.vpp(true);
        r.wait(20'000);
        r.control(0x98, false);
    };
    const std::pair<std::function<void(Rig&)>, const char*> cases[] = {
        {[](Rig& r) {
             r.control(0x9A);
             r.control(0x98, false);
             r.vpp(true);
             r.line(0x10, true);
         },
         "VPP setup"},
        {[&](Rig& r) {
             armed(r);
             r.data(0x55, false);
             r.line(0x19, true);  // P1 and PROG change at one latch write
         },
         "data setup"},
        {[&](Rig& r) {
             armed(r);
             r.line(0x10, true);
             r.sim->out(kData, 0);  // outputs off: PROG floats high at once
         },
         "PROG pulse of"},
        {[](Rig& r) {
             r.control(0x93, false);
             r.line(0x90, true);
             r.sim->out(kData, 0);
         },
         "XTAL1 high"},
        {[](Rig& r) {
             r.shortNs = 1'000;
             r.longNs = 2'000;
             r.writeByte(0);
             r.writeByte(0);
         },
         "write cycle"},
    };
    for (const auto& [act, expected] : cases) {
        Options options;
        options.virtualAccessNs = 100;
        Rig rig(options);
        rig.idle();
        rig.ctl(0xFD);
        rig.wait(rig.longNs);
        act(rig);
        ASSERT_THAT(rig.sim->violations(), SizeIs(1)) << expected;
        EXPECT_THAT(rig.sim->violations()[0], HasSubstr(expected));
    }
}

TEST(SimFaults, NoAdapterLeavesStatusHighAndTheChipAlone) {
    Rig rig(Opts(Chip::AT89C2051, {ParseFault("no-adapter")}));
    rig.sim->loadChip({0x12, 0x34}, false, false);
    rig.ctl(0xFD);
    rig.erase();
    rig.program({0x00});
    EXPECT_EQ(rig.sim->chip().flash[0], 0x12);
    EXPECT_EQ(rig.sim->in(kStatus), 0xFF);
    rig.sim->out(kData, 0x5A);  // the port's own registers are still there
    EXPECT_EQ(rig.sim->in(kData), 0x5A);
    EXPECT_FALSE(rig.sim->pins().controlOutputsEnabled);
}

TEST(SimFaults, NoChipPassesTheLinkCheckButTakesNothing) {
    Rig rig(Opts(Chip::AT89C2051, {ParseFault("no-chip")}));
    rig.sim->loadChip({0x12, 0x34}, false, false);
    rig.idle();
    rig.ctl(0xFD);
    rig.erase();
    rig.data(0x5A);
    EXPECT_EQ(rig.readByte(), 0x5A);
    EXPECT_EQ(rig.program({0x00, 0x00}), (Bytes{0xFF, 0xFF}));  // P1 pulled up
    EXPECT_EQ(rig.readAll(2), (Bytes{0xFF, 0xFF}));
    EXPECT_EQ(rig.sim->chip().flash[1], 0x34);
}

TEST(SimFaults, StuckLineIsSeenByTheMultiplexerAndByTheChip) {
    Rig rig(Opts(Chip::AT89C2051, {ParseFault("stuck-p1=3:0"), ParseFault("stuck-p1=6:1")}));
    rig.idle();
    rig.data(0xFF);
    EXPECT_EQ(rig.readByte(), 0xF7);
    EXPECT_EQ(rig.program({0xFF, 0x00}), (Bytes{0xF7, 0x40}));
    EXPECT_EQ(rig.sim->chip().flash[0], 0xF7);
}

TEST(SimFaults, BadCellNeverTakesAWrite) {
    Rig rig(Opts(Chip::AT89C2051, {ParseFault("bad-cell=1")}));
    EXPECT_EQ(rig.program({0x11, 0x22, 0x33}), (Bytes{0x11, 0xFF, 0x33}));
    // A cell the chip does not have would make the fault silently do nothing.
    EXPECT_THROW(Simulator::Open(Opts(Chip::AT89C2051, {ParseFault("bad-cell=0x800")})),
                 std::invalid_argument);
    EXPECT_NO_THROW(Simulator::Open(Opts(Chip::AT89C4051, {ParseFault("bad-cell=0x800")})));
}

TEST(SimFaults, ParseFaultAcceptsExactlyTheDocumentedForms) {
    const std::pair<const char*, Fault> good[] = {
        {"no-adapter", {Fault::Kind::NoAdapter}},
        {"no-chip", {Fault::Kind::NoChip}},
        {"stuck-p1=0:0", {Fault::Kind::StuckP1}},
        {"stuck-p1=7:1", {Fault::Kind::StuckP1, 7, 1}},
        {"bad-cell=0", {Fault::Kind::BadCell}},
        {"bad-cell=4095", {Fault::Kind::BadCell, 0, 0, 4095}},
        {"bad-cell=0x1f0", {Fault::Kind::BadCell, 0, 0, 0x1F0}},
        {"bad-cell=0XFFF", {Fault::Kind::BadCell, 0, 0, 0xFFF}},
    };
    for (const auto& [text, want] : good) {
        const Fault f = ParseFault(text);
        EXPECT_TRUE(f.kind == want.kind && f.line == want.line && f.value == want.value &&
                    f.address == want.address)
            << text;
        EXPECT_EQ(FaultText(ParseFault(FaultText(f))), FaultText(f));
    }
    for (const char* bad : {"",
                            "No-Chip",
                            "no-chip ",
                            " no-adapter",
                            "no-adapter=1",
                            "stuck-p1",
                            "stuck-p1=8:0",
                            "stuck-p1=3:2",
                            "stuck-p1=3",
                            "stuck-p1=3:0:1",
                            "stuck-p1=-1:0",
                            "bad-cell=",
                            "bad-cell=4096",
                            "bad-cell=0x1000",
                            "bad-cell=-1",
                            "bad-cell=0x",
                            "bad-cell=12a",
                            "bad-cell=99999999999999999999",
                            "bad-cell= 5",
                            "stuck-p2=1:1"}) {
        try {
            ParseFault(bad);
            ADD_FAILURE() << "accepted \"" << bad << "\"";
        } catch (const std::invalid_argument& error) {
            EXPECT_THAT(error.what(), HasSubstr("no-adapter, no-chip, stuck-p1=N:V")) << bad;
            EXPECT_THAT(error.what(), HasSubstr("bad-cell=ADDR")) << bad;
        }
    }
}

class SimChipFile : public ::testing::Test {
protected:
    Options fileOptions(Chip model = Chip::AT89C2051) {
        Options options = Opts(model);
        options.chipFile = path;
        return options;
    }
    test::TempDir dir;
    std::string path = dir.file("state/varnok/sim.chip");
};

TEST_F(SimChipFile, ChipOutlivesTheProcessThatProgrammedIt) {
    {
        Rig rig(fileOptions(Chip::AT89C1051));
        EXPECT_EQ(rig.sim->description(), "simulator (AT89C1051, chip file " + path + ")");
        rig.program({0xA1, 0xB2});
        // Still in its write cycle when the program lets go; the adapter keeps
        // the chip powered, so the byte lands.
        rig.writeByte(0x00);
    }
    EXPECT_EQ(test::ReadFile(path).size(), ChipStore::kHeaderSize + 1024);
    Rig again(fileOptions(Chip::AT89C4051));  // the chip in the socket decides the model
    const ChipSnapshot chip = again.sim->chip();
    EXPECT_EQ(chip.model, Chip::AT89C1051);
    EXPECT_EQ(Bytes(chip.flash.begin(), chip.flash.begin() + 4), (Bytes{0xA1, 0xB2, 0x00, 0xFF}));
    EXPECT_FALSE(chip.lockBit1);

    // What the chip takes is in the file at once, not only when the program ends.
    again.idle();
    again.ctl(0xFD);
    again.pulse(0x9E, again.longNs);
    EXPECT_EQ(test::ReadFile(path)[13], 0x01);
}

TEST_F(SimChipFile, SecondOpenFindsTheChipBusy) {
    auto first = Simulator::Open(fileOptions());
    try {
        Simulator::Open(fileOptions());
        ADD_FAILURE() << "second open succeeded";
    } catch (const PortError& error) {
        EXPECT_EQ(error.cause(), PortError::Cause::Busy);
        EXPECT_EQ(error.device(), path);
        EXPECT_THAT(error.what(), HasSubstr("in use by another program"));
    }
    first.reset();
    EXPECT_NO_THROW(Simulator::Open(fileOptions()));
}

TEST_F(SimChipFile, DamagedFileIsReportedAndLeftAsItIs) {
    const Bytes good = ChipStore::ErasedImage(Chip::AT89C2051);
    Bytes badMagic = good, badModel = good, badLocks = good, longer = good;
    badMagic[0] = 'X';
    badModel[12] = 0x31;
    badLocks[13] = 0x04;
    longer.push_back(0xFF);
    for (const Bytes& bytes :
         {Bytes{}, Bytes(good.begin(), good.begin() + 10), Bytes(good.begin(), good.end() - 1),
          badMagic, badModel, badLocks, longer}) {
        const std::string file = dir.file("damaged.chip");
        test::WriteFile(file, bytes);
        Options options;
        options.chipFile = file;
        EXPECT_THROW(Simulator::Open(options), FileError) << bytes.size();
        EXPECT_EQ(test::ReadFile(file), bytes);
    }
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(SimTrace, EveryAccessIsOneLineWithItsVirtualTime) {
    test::TempDir dir;
    Options options;
    options.traceFile = dir.file("trace.txt");
    {
        auto sim = Simulator::Open(options);
        EXPECT_EQ(sim->nowNs(), 0u);
        sim->out(0x37A, 0xFF);  // at 3000: a timer read costs 3 us
        sim->traceMarker("program start");
        sim->out(0x2BC, 0x08);  // at 4000: data outputs on, P1 = latch 00h
        sim->idleUntil(10'000);
        sim->idleUntil(9'000);  // never backwards
        EXPECT_EQ(sim->in(0x2BD), 0x8F);
        EXPECT_EQ(sim->nowNs(), 11'000u);
        sim->traceMarker("# done\nearly");
        sim->in(0x123);  // where no port answers
    }
    EXPECT_EQ(Slurp(options.traceFile),
              "# varnok-trace 1\n3000 W 37A FF\n# program start\n4000 W 2BC 08\n"
              "10000 R 2BD 8F\n# done early\n14000 R 123 FF\n");
}

TEST(SimTrace, LongRunStaysWellFormedAndInOrder) {
    test::TempDir dir;
    Options options;
    options.traceFile = dir.file("trace.txt");
    Rig(options).program(test::Pattern(200, 3));  // more than one buffer of trace
    std::istringstream in(Slurp(options.traceFile));
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, "# varnok-trace 1");
    const std::regex access("(0|[1-9][0-9]*) [WR] 37[89A] [0-9A-F]{2}");
    std::uint64_t last = 0;
    int lines = 0;
    for (; std::getline(in, text); ++lines) {
        ASSERT_TRUE(std::regex_match(text, access)) << text;
        ASSERT_GE(std::stoull(text), last);
        last = std::stoull(text);
    }
    EXPECT_GT(lines, 200 * 300);

    options.traceFile = dir.file("missing/trace.txt");
    EXPECT_THROW(Simulator::Open(options), FileError);
}

}  // namespace
}  // namespace varnok::sim
