#include <gtest/gtest.h>

#include <cmath>

#include "adapter/errors.h"
#include "adapter/port_access.h"
#include "tests/core/fake_port.h"

namespace varnok::test {
namespace {

// Nanoseconds at which the timer count is `count` in its first period.
std::uint64_t NsAtCount(std::uint16_t count) {
    const double counts = count == 0 ? 0 : 65536.0 - count;
    return static_cast<std::uint64_t>(std::ceil(counts / kTimerHz * 1e9));
}

class TimingTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto port = std::make_unique<FakePort>();
        fake = port.get();
        InstallPort(std::move(port));
    }
    void TearDown() override {
        InstallPort(nullptr);
        SetEventHook(nullptr);
        WatchInterruptFlag(nullptr);
    }
    double CountsSince(std::uint64_t ns) const {
        return static_cast<double>(fake->clock - ns) * kTimerHz / 1e9;
    }
    FakePort* fake = nullptr;
};

TEST_F(TimingTest, TimerCountsDownAndReloads) {
    fake->clockStep = 0;
    fake->clock = 0;
    EXPECT_EQ(ReadTimerCount(), 0);
    fake->clock = NsAtCount(65535);
    EXPECT_EQ(ReadTimerCount(), 65535);
    fake->clock = NsAtCount(1000);
    EXPECT_EQ(ReadTimerCount(), 1000);
    // One whole period later the same count comes round again.
    fake->clock = NsAtCount(1000) + static_cast<std::uint64_t>(65536 / kTimerHz * 1e9);
    EXPECT_NEAR(ReadTimerCount(), 1000, 1);
}

struct DelayCase {
    const char* name;
    void (*delay)();
    std::uint16_t threshold;
    double span;
};

void PrintTo(const DelayCase& c, std::ostream* os) {
    *os << c.name;
}

class DelayTest : public TimingTest, public ::testing::WithParamInterface<DelayCase> {};

TEST_P(DelayTest, NeverShorterThanSpanWhereverTheCounterStands) {
    const DelayCase& c = GetParam();
    // Entry counts around the threshold, near zero and near the top.
    for (std::uint16_t entry :
         {std::uint16_t(c.threshold - 1), c.threshold, std::uint16_t(c.threshold + 1),
          std::uint16_t(5), std::uint16_t(65535), std::uint16_t(30000)}) {
        fake->clock = NsAtCount(entry);
        const std::uint64_t start = fake->clock;
        c.delay();
        EXPECT_GE(CountsSince(start), c.span) << c.name << " entered at count " << entry;
    }
}

TEST_P(DelayTest, BelowThresholdWaitsForReloadThenTheFullSpan) {
    const DelayCase& c = GetParam();
    fake->clock = NsAtCount(c.threshold - 1);
    const std::uint64_t start = fake->clock;
    c.delay();
    // The counter first runs out (threshold - 1 counts), then the whole span.
    EXPECT_GE(CountsSince(start), c.threshold - 1 + c.span);
    EXPECT_LT(CountsSince(start), c.threshold + c.span + 5);
}

TEST_P(DelayTest, AtThresholdThereIsNoPreWait) {
    const DelayCase& c = GetParam();
    fake->clock = NsAtCount(c.threshold);
    const std::uint64_t start = fake->clock;
    c.delay();
    EXPECT_GE(CountsSince(start), c.span);
    EXPECT_LT(CountsSince(start), c.span + 3);
}

TEST_P(DelayTest, ADescheduledPollPastZeroEndsTheWait) {
    const DelayCase& c = GetParam();
    // Enter at the threshold, then let one poll jump far past zero, as when the
    // scheduler takes the processor away: the wait ends instead of going round again.
    fake->clock = NsAtCount(c.threshold);
    const std::uint64_t start = fake->clock;
    fake->clockStep = static_cast<std::uint64_t>((c.threshold + 100) / kTimerHz * 1e9);
    c.delay();
    EXPECT_GE(CountsSince(start), c.span);
    EXPECT_LT(CountsSince(start), 3.0 * (c.threshold + 100));
}

INSTANTIATE_TEST_SUITE_P(Waits, DelayTest,
                         ::testing::Values(DelayCase{"DelayLong", &DelayLong, 500, 190},
                                           DelayCase{"DelayShort", &DelayShort, 50, 30}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TimingTest, WaitMsLetsEventsRunAndWaitsMoreThanTheTime) {
    struct Case {
        std::int32_t ms;
    };
    for (Case c : {Case{0}, Case{4}, Case{15}, Case{100}}) {
        int rounds = 0;
        SetEventHook([&] { ++rounds; });
        const std::uint64_t start = fake->clock;
        WaitMs(c.ms);
        EXPECT_GE(rounds, 1) << c.ms;
        EXPECT_GT(fake->clock - start, static_cast<std::uint64_t>(c.ms) * 1'000'000) << c.ms;
        // A fine tick: it ends soon after the mark, not a millisecond later.
        EXPECT_LT(fake->clock - start, static_cast<std::uint64_t>(c.ms) * 1'000'000 + 100'000)
            << c.ms;
    }
}

TEST_F(TimingTest, WaitMsLongWaitsKeepTheEventsFlowing) {
    int rounds = 0;
    SetEventHook([&] { ++rounds; });
    WaitMs(100);
    EXPECT_GE(rounds, 10);  // at least every 10 ms
}

TEST_F(TimingTest, WaitMsAcrossTheTickWrap) {
    // Start just before the 32-bit microsecond tick wraps.
    fake->clock = (0xFFFFFFFFull - 1000) * 1000;
    const std::uint64_t start = fake->clock;
    WaitMs(4);
    EXPECT_GT(fake->clock - start, 4'000'000u);
    EXPECT_LT(fake->clock - start, 4'200'000u);
}

TEST_F(TimingTest, NegativeWaitReturnsAfterOneRoundOfEvents) {
    int rounds = 0;
    SetEventHook([&] { ++rounds; });
    WaitMs(-5);
    EXPECT_EQ(rounds, 1);
}

TEST_F(TimingTest, InterruptStopsPortAccessAndWaits) {
    volatile std::sig_atomic_t flag = 0;
    WatchInterruptFlag(&flag);
    PortWrite(0x378, 1);
    flag = 1;
    EXPECT_THROW(PortWrite(0x378, 2), RunInterrupted);
    EXPECT_THROW(PortRead(0x379), RunInterrupted);
    EXPECT_THROW(WaitMs(10), RunInterrupted);
    EXPECT_EQ(fake->registers[0x378], 1);
}

TEST_F(TimingTest, AnInterruptDuringAWaitEndsIt) {
    volatile std::sig_atomic_t flag = 0;
    WatchInterruptFlag(&flag);
    SetEventHook([&] { flag = 1; });
    EXPECT_THROW(WaitMs(1000), RunInterrupted);
    EXPECT_LT(fake->clock, 20'000'000u);
}

TEST(PortAccessWithoutBackend, IsAnErrorNotACrash) {
    InstallPort(nullptr);
    EXPECT_THROW(PortRead(0x378), std::logic_error);
}

}  // namespace
}  // namespace varnok::test
