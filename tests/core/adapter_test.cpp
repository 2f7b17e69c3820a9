#include "adapter/adapter.h"

#include <gtest/gtest.h>

#include "adapter/port_access.h"
#include "app/shared_state.h"
#include "tests/core/fake_port.h"

namespace varnok::test {
namespace {

// The adapter's multiplexer in its simplest form: P1 on the status lines,
// BUSY inverted by the port, half a byte at a time by NibbleSelect.
class MuxPort : public FakePort {
public:
    std::uint8_t p1 = 0;
    std::uint8_t in(std::uint16_t address) override {
        if (address == 0x379) {
            const bool upper = registers[0x37A] & NibbleSelect;
            const std::uint8_t n = upper ? p1 >> 4 : p1 & 0x0F;
            std::uint8_t status = 0x07;
            if (n & 0x8) status |= 0x10;     // P1.7 / P1.3 on SLCT
            if (n & 0x4) status |= 0x20;     // P1.6 / P1.2 on PE
            if (n & 0x1) status |= 0x40;     // P1.4 / P1.0 on ACK
            if (!(n & 0x2)) status |= 0x80;  // P1.5 / P1.1 on BUSY, inverted
            registers[0x379] = status;
        }
        return FakePort::in(address);
    }
};

class AdapterTest : public ::testing::Test {
protected:
    void SetUp() override {
        Shared() = SharedState{};
        auto port = std::make_unique<MuxPort>();
        fake = port.get();
        InstallPort(std::move(port));
    }
    void TearDown() override { InstallPort(nullptr); }

    // Replays the data register writes through an ideal pair of shift
    // registers: what ended up latched on each side.
    struct Latched {
        std::uint8_t control = 0, data = 0;
        int controlLatches = 0, dataLatches = 0;
    };
    Latched Replay(std::uint8_t before = 0) const {
        Latched l;
        std::uint8_t controlShift = 0, dataShift = 0, previous = before;
        for (const auto& a : fake->writesTo(0x378)) {
            const std::uint8_t rising = static_cast<std::uint8_t>(a.value & ~previous);
            if (rising & ControlClock)
                controlShift = static_cast<std::uint8_t>(controlShift << 1 |
                                                         ((a.value & ControlSerial) ? 1 : 0));
            if (rising & DataClock)
                dataShift =
                    static_cast<std::uint8_t>(dataShift << 1 | ((a.value & DataSerial) ? 1 : 0));
            if (rising & ControlLatch) l.control = controlShift, ++l.controlLatches;
            if (rising & DataLatch) l.data = dataShift, ++l.dataLatches;
            previous = a.value;
        }
        return l;
    }

    MuxPort* fake = nullptr;
};

TEST_F(AdapterTest, ControlWordsArriveLatchedAndEnabledWithoutTouchingTheDataSide) {
    for (int value : {0x00, 0x02, 0x9A, 0x93, 0x0C, 0xFF}) {
        fake->log.clear();
        fake->registers[0x378] = 0x05;  // data side: latch high, clock low
        Shared().ControlWord = static_cast<std::uint8_t>(value);
        ShiftControlWord();
        const Latched l = Replay(0x05);
        EXPECT_EQ(l.control, value);
        EXPECT_EQ(l.controlLatches, 1);
        EXPECT_EQ(l.dataLatches, 0);
        EXPECT_TRUE(fake->registers[0x378] & ControlEnable) << value;
        for (const auto& a : fake->writesTo(0x378)) EXPECT_EQ(a.value & 0x0F, 0x05) << value;
        EXPECT_FALSE(fake->registers[0x378] & ControlLatch);
        EXPECT_FALSE(fake->registers[0x378] & ControlClock);
    }
}

TEST_F(AdapterTest, DataBytesArriveLatchedAndEnabledWithoutTouchingTheControlSide) {
    for (int value : {0x00, 0x0F, 0xA5, 0xFF, 0x80, 0x01}) {
        fake->log.clear();
        fake->registers[0x378] = 0x90;  // control side enabled and latched high
        Shared().DataByte = static_cast<std::uint8_t>(value);
        ShiftDataByte();
        const Latched l = Replay(0x90);
        EXPECT_EQ(l.data, value);
        EXPECT_EQ(l.dataLatches, 1);
        EXPECT_EQ(l.controlLatches, 0);
        EXPECT_TRUE(fake->registers[0x378] & DataEnable);
        for (const auto& a : fake->writesTo(0x378)) EXPECT_EQ(a.value & 0xF0, 0x90) << value;
        // The serial line is left at bit 0's value.
        EXPECT_EQ((fake->registers[0x378] & DataSerial) != 0, (value & 1) != 0);
    }
}

TEST_F(AdapterTest, EveryLineChangeIsItsOwnReadModifyWrite) {
    Shared().ControlWord = 0x9A;
    ShiftControlWord();
    // 8 bits x 3 changes, latch up and down, enable: each a read then a write.
    int reads = 0, writes = 0;
    for (const auto& a : fake->log) {
        if (a.address != 0x378) continue;
        (a.write ? writes : reads)++;
    }
    EXPECT_EQ(writes, 27);
    EXPECT_EQ(reads, 27);
}

TEST_F(AdapterTest, AShiftTakesAtLeastItsNineHundredFortyCounts) {
    fake->clockStep = 300;
    const std::uint64_t start = fake->clock;
    Shared().ControlWord = 0x55;
    ShiftControlWord();
    const double counts = static_cast<double>(fake->clock - start) * kTimerHz / 1e9;
    EXPECT_GE(counts, 940.0);
}

TEST_F(AdapterTest, ReadChipByteReadsEveryP1Value) {
    for (int v = 0; v < 256; ++v) {
        fake->p1 = static_cast<std::uint8_t>(v);
        fake->registers[0x37A] = 0xFF;
        ASSERT_EQ(ReadChipByte(), v);
    }
}

TEST_F(AdapterTest, AllZeroStatusReadsAsTwentyTwo) {
    // A plain register port: status 00h in both halves.
    InstallPort(std::make_unique<FakePort>());
    auto* plain = static_cast<FakePort*>(InstalledPort());
    plain->registers[0x379] = 0x00;
    plain->registers[0x37A] = 0xFF;
    EXPECT_EQ(ReadChipByte(), 0x22);
}

TEST_F(AdapterTest, ReadChipByteLeavesNibbleSelectLowAndClearsTheHighBits) {
    struct Case {
        std::uint8_t before, after;
    };
    for (Case c : {Case{0xFF, 0x0B}, Case{0xFE, 0x0A}, Case{0xFD, 0x09}, Case{0x01, 0x01}}) {
        fake->registers[0x37A] = c.before;
        fake->log.clear();
        ReadChipByte();
        EXPECT_EQ(fake->registers[0x37A], c.after);
        const auto writes = fake->writesTo(0x37A);
        ASSERT_EQ(writes.size(), 2u);
        EXPECT_EQ(writes[0].value, c.before | NibbleSelect);  // upper half first
        // VPP and RST lines keep their values throughout.
        for (const auto& w : writes) EXPECT_EQ(w.value & 0x03, c.before & 0x03);
    }
}

TEST_F(AdapterTest, IdleAndAddressResetWriteTheirValuesInOrder) {
    AdapterIdle();
    ASSERT_EQ(fake->log.size(), 2u);
    EXPECT_TRUE(fake->log[0].write && fake->log[0].address == 0x378 && fake->log[0].value == 0x00);
    EXPECT_TRUE(fake->log[1].write && fake->log[1].address == 0x37A && fake->log[1].value == 0xFF);
    fake->log.clear();
    AddressReset();
    const auto writes = fake->writesTo(0x37A);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].value, 0xFF);  // RST low
    EXPECT_EQ(writes[1].value, 0x01);  // RST high, no programming voltage
}

TEST_F(AdapterTest, LinkCheckComparesWhatComesBack) {
    // P1 echoes the data latch when the adapter is whole.
    fake->registers[0x37A] = 0xFE;
    fake->p1 = 0x0F;
    EXPECT_TRUE(LinkCheck(0x0F));
    EXPECT_EQ(Shared().DataByte, 0x0F);
    for (int wrong : {0x0E, 0x1F, 0x8F, 0xFF}) {
        fake->p1 = static_cast<std::uint8_t>(wrong);
        EXPECT_FALSE(LinkCheck(0x0F)) << wrong;
    }
}

TEST_F(AdapterTest, ForcedIdleGetsThroughAPendingInterrupt) {
    volatile std::sig_atomic_t flag = 1;
    WatchInterruptFlag(&flag);
    ForceAdapterIdle();
    WatchInterruptFlag(nullptr);
    EXPECT_EQ(fake->registers[0x37A], 0xFF);
    EXPECT_EQ(fake->registers[0x378], 0x00);
    // Voltage off before the data lines are released.
    EXPECT_EQ(fake->log[0].address, 0x37A);
}

}  // namespace
}  // namespace varnok::test
