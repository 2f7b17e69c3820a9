#include "chip/runs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "adapter/adapter.h"
#include "adapter/errors.h"
#include "adapter/port_access.h"
#include "app/shared_state.h"
#include "chip/sinks.h"
#include "chip/texts.h"
#include "tests/core/test_support.h"

namespace varnok::test {
namespace {

using ::testing::ElementsAre;

// Records that the run created and closed its sink.
class TrackedSink : public MemorySink {
public:
    void create() override {
        MemorySink::create();
        created = true;
    }
    void close() override { closed = true; }
    bool created = false, closed = false;
};

bool Idle(const sim::PinSnapshot& p) {
    return !p.vpp12V && !p.rstHigh && !p.dataOutputsEnabled && !p.controlOutputsEnabled;
}

std::vector<std::uint8_t> ReadBack(RecordingReporter* listingOut = nullptr) {
    RecordingReporter reporter;
    MemorySink sink;
    StartBTNClick(listingOut ? *listingOut : reporter, sink);
    return sink.bytes;
}

struct RoundTrip {
    Chip chip;
    int size;
};

void PrintTo(const RoundTrip& c, std::ostream* os) {
    *os << ChipName(c.chip) << ", " << c.size << " bytes";
}

class ProgramRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(ProgramRoundTrip, ReadsBackWhatWasProgrammedPaddedWithErasedBytes) {
    const RoundTrip c = GetParam();
    SimBench bench(c.chip);
    TempDir dir;
    const auto image = Pattern(static_cast<std::size_t>(c.size), static_cast<unsigned>(c.size));
    WriteFile(dir.file("image.bin"), image);
    Shared().ChipType = c.chip;
    Shared().ImageFile = dir.file("image.bin");
    Shared().ImageFileBound = true;
    Shared().LockBitOption = false;
    const int capacity = ChipCapacity(c.chip);

    const ProgrammingActivation activation = ProgrammingActivate();
    EXPECT_TRUE(activation.readable);
    EXPECT_EQ(activation.tooLarge, c.size > capacity);

    RecordingReporter reporter;
    const ProgramOutcome outcome = OKButtonClick(reporter);
    EXPECT_EQ(outcome.result, ProgramResult::Success);
    EXPECT_EQ(outcome.bytesDone, std::min(c.size, capacity));
    ASSERT_EQ(reporter.messages.size(), 1u);
    EXPECT_EQ(reporter.messages[0].kind, MessageKind::Information);
    EXPECT_EQ(reporter.messages[0].text, "Programmierung erfolgreich!");
    EXPECT_EQ(reporter.gaugeMaximum, c.size);
    EXPECT_EQ(reporter.gaugePosition, std::min(c.size, capacity));
    EXPECT_TRUE(Idle(bench.sim().pins()));
    EXPECT_THAT(bench.sim().violations(), ::testing::IsEmpty());
    EXPECT_EQ(bench.sim().busContentions(), 0);

    std::vector<std::uint8_t> expected(image.begin(), image.begin() + std::min(c.size, capacity));
    expected.resize(static_cast<std::size_t>(capacity), 0xFF);
    EXPECT_EQ(ReadBack(), expected);
    EXPECT_EQ(bench.sim().chip().flash, expected);
}

INSTANTIATE_TEST_SUITE_P(
    ChipsAndSizes, ProgramRoundTrip,
    ::testing::Values(RoundTrip{Chip::AT89C1051, 1024}, RoundTrip{Chip::AT89C1051, 300},
                      RoundTrip{Chip::AT89C1051, 1025}, RoundTrip{Chip::AT89C2051, 2048},
                      RoundTrip{Chip::AT89C2051, 1}, RoundTrip{Chip::AT89C2051, 5000},
                      RoundTrip{Chip::AT89C4051, 4096}, RoundTrip{Chip::AT89C4051, 4095},
                      RoundTrip{Chip::AT89C4051, 4097}),
    [](const auto& info) {
        return std::string(ChipName(info.param.chip)) + "_" + std::to_string(info.param.size);
    });

class RunsTest : public ::testing::Test {
protected:
    void Image(const std::vector<std::uint8_t>& bytes) {
        WriteFile(dir.file("image.bin"), bytes);
        Shared().ImageFile = dir.file("image.bin");
        Shared().ImageFileBound = true;
    }
    TempDir dir;
};

TEST_F(RunsTest, StatusLinesComeInOrderInTheChosenLanguage) {
    for (bool german : {true, false}) {
        SimBench bench(Chip::AT89C2051);
        Shared().LanguageGerman = german;
        Image(Pattern(10));
        RecordingReporter reporter;
        OKButtonClick(reporter);
        if (german) {
            EXPECT_THAT(reporter.statuses,
                        ElementsAre("Chip initialisieren", "Speicher löschen",
                                    "Start programmierung", "Lockbit einarbeiten", "", ""));
            EXPECT_EQ(reporter.messages.at(0).text, "Programmierung erfolgreich!");
        } else {
            EXPECT_THAT(reporter.statuses,
                        ElementsAre("Startsequence", "Clear memory", "Begin programming",
                                    "Switch on lockbit", "", ""));
            EXPECT_EQ(reporter.messages.at(0).text, "Programming complette!");
        }
        EXPECT_FALSE(reporter.busy);
    }
}

TEST_F(RunsTest, EmptyImageErasesSetsLockBitsAndSucceeds) {
    SimBench bench(Chip::AT89C2051);
    bench.sim().loadChip(std::vector<std::uint8_t>(2048, 0x00), false, false);
    Image({});
    RecordingReporter reporter;
    const ProgramOutcome outcome = OKButtonClick(reporter);
    EXPECT_EQ(outcome.result, ProgramResult::Success);
    EXPECT_EQ(outcome.bytesDone, 0);
    const sim::ChipSnapshot chip = bench.sim().chip();
    EXPECT_EQ(chip.flash, std::vector<std::uint8_t>(2048, 0xFF));
    EXPECT_TRUE(chip.lockBit1);
    EXPECT_TRUE(chip.lockBit2);
    ASSERT_EQ(reporter.messages.size(), 1u);
    EXPECT_EQ(reporter.messages[0].kind, MessageKind::Information);
}

TEST_F(RunsTest, LockBitsFollowTheOption) {
    for (bool lock : {true, false}) {
        SimBench bench(Chip::AT89C2051);
        Shared().LockBitOption = lock;
        Image(Pattern(16));
        RecordingReporter reporter;
        OKButtonClick(reporter);
        EXPECT_EQ(bench.sim().chip().lockBit1, lock);
        EXPECT_EQ(bench.sim().chip().lockBit2, lock);
        // Lock bit 2 disables reading: the simulated chip then reads as FFh.
        const auto back = ReadBack();
        EXPECT_EQ(back[0], lock ? 0xFF : Pattern(16)[0]);
    }
}

TEST_F(RunsTest, ErasedImageBytesAreWrittenToo) {
    SimBench bench(Chip::AT89C1051);
    Shared().ChipType = Chip::AT89C1051;
    Shared().LockBitOption = false;
    Image(std::vector<std::uint8_t>(1024, 0xFF));
    RecordingReporter reporter;
    EXPECT_EQ(OKButtonClick(reporter).bytesDone, 1024);
}

TEST_F(RunsTest, LinkFailureAtTheFirstByteLeavesTheChipErasedAndTheVoltageOnDuringTheMessage) {
    SimBench bench(Chip::AT89C2051, {sim::ParseFault("stuck-p1=3:0")});
    bench.sim().loadChip(std::vector<std::uint8_t>(2048, 0x12), false, false);
    Image({0x08, 0x00});
    RecordingReporter reporter;
    sim::PinSnapshot during{};
    std::vector<std::string> statusAtMessage;
    bool busyAtMessage = true;
    reporter.onMessage = [&](MessageKind, const std::string&) {
        during = bench.sim().pins();
        busyAtMessage = reporter.busy;
    };
    const ProgramOutcome outcome = OKButtonClick(reporter);
    EXPECT_EQ(outcome.result, ProgramResult::LinkFailure);
    EXPECT_EQ(outcome.bytesDone, 0);
    ASSERT_EQ(reporter.messages.size(), 1u);
    EXPECT_EQ(reporter.messages[0].kind, MessageKind::Error);
    EXPECT_EQ(reporter.messages[0].text, "Anschlußleitung zum Programmiergerät defekt!");
    EXPECT_TRUE(during.vpp12V);
    EXPECT_FALSE(busyAtMessage);
    EXPECT_TRUE(Idle(bench.sim().pins()));
    EXPECT_EQ(bench.sim().chip().flash, std::vector<std::uint8_t>(2048, 0xFF));
    EXPECT_FALSE(bench.sim().chip().lockBit1);
    EXPECT_EQ(reporter.statuses.back(), "");
}

TEST_F(RunsTest, VerifyFailureStopsAtTheBadCellWithTheVoltageOff) {
    SimBench bench(Chip::AT89C2051, {sim::ParseFault("bad-cell=5")});
    Shared().LanguageGerman = false;
    Image(std::vector<std::uint8_t>(20, 0x5A));
    RecordingReporter reporter;
    sim::PinSnapshot during{};
    reporter.onMessage = [&](MessageKind, const std::string&) { during = bench.sim().pins(); };
    const ProgramOutcome outcome = OKButtonClick(reporter);
    EXPECT_EQ(outcome.result, ProgramResult::VerifyFailure);
    EXPECT_EQ(outcome.bytesDone, 5);
    EXPECT_EQ(reporter.gaugePosition, 6);  // the gauge shows how far it came
    ASSERT_EQ(reporter.messages.size(), 1u);
    EXPECT_EQ(reporter.messages[0].text, "The microcontroller cannot be programmed!");
    EXPECT_FALSE(during.vpp12V);
    EXPECT_TRUE(Idle(bench.sim().pins()));
    EXPECT_FALSE(bench.sim().chip().lockBit1);
}

TEST_F(RunsTest, FaultsGiveTheirFailures) {
    struct Case {
        const char* fault;
        ProgramResult program;
        EraseResult erase;
    };
    for (Case c : {Case{"no-adapter", ProgramResult::LinkFailure, EraseResult::LinkFailure},
                   Case{"no-chip", ProgramResult::VerifyFailure, EraseResult::Erased},
                   Case{"stuck-p1=7:1", ProgramResult::LinkFailure, EraseResult::LinkFailure}}) {
        SimBench bench(Chip::AT89C2051, {sim::ParseFault(c.fault)});
        Image({0x00, 0x01});
        RecordingReporter reporter;
        EXPECT_EQ(OKButtonClick(reporter).result, c.program) << c.fault;
        EXPECT_TRUE(Idle(bench.sim().pins())) << c.fault;
        RecordingReporter eraseReporter;
        EXPECT_EQ(BitBtn3Click(eraseReporter), c.erase) << c.fault;
    }
}

TEST_F(RunsTest, ImageVanishingAfterActivationLeavesTheAdapterIdleBeforeTheError) {
    SimBench bench(Chip::AT89C2051);
    Image(Pattern(100));
    ASSERT_TRUE(ProgrammingActivate().readable);
    ::unlink(Shared().ImageFile.c_str());
    RecordingReporter reporter;
    reporter.busy = true;
    EXPECT_THROW(OKButtonClick(reporter), FileError);
    EXPECT_TRUE(Idle(bench.sim().pins()));
    EXPECT_FALSE(reporter.busy);
}

TEST_F(RunsTest, ActivationChecksTheImage) {
    SimBench bench(Chip::AT89C2051);
    Shared().ImageFile = dir.file("missing.bin");
    Shared().ImageFileBound = true;
    EXPECT_FALSE(ProgrammingActivate().readable);
    EXPECT_TRUE(Idle(bench.sim().pins()));
    Shared().ImageFile = dir.path();  // a directory is no image
    EXPECT_FALSE(ProgrammingActivate().readable);
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    Shared().ImageFile = dir.file("fifo");  // nor a FIFO, and it must not hang
    EXPECT_FALSE(ProgrammingActivate().readable);
    Image(Pattern(2048));
    EXPECT_FALSE(ProgrammingActivate().tooLarge);
    Image(Pattern(2049));
    EXPECT_TRUE(ProgrammingActivate().tooLarge);
    Shared().ChipType = Chip::AT89C4051;
    EXPECT_FALSE(ProgrammingActivate().tooLarge);
    Shared().ChipType = Chip::None;  // counts as 1024
    Image(Pattern(1025));
    EXPECT_TRUE(ProgrammingActivate().tooLarge);
}

TEST_F(RunsTest, InterruptDuringAWaitPutsTheAdapterIdle) {
    SimBench bench(Chip::AT89C4051);
    Shared().ChipType = Chip::AT89C4051;
    Image(Pattern(4096));
    volatile std::sig_atomic_t flag = 0;
    WatchInterruptFlag(&flag);
    RecordingReporter reporter;
    int rounds = 0;
    // Stop inside a byte's 4 ms wait, with P1 released and RST high.
    reporter.onEvents = [] {};
    SetEventHook([&] {
        if (++rounds == 50) flag = 1;
    });
    EXPECT_THROW(OKButtonClick(reporter), RunInterrupted);
    EXPECT_TRUE(Idle(bench.sim().pins()));
    EXPECT_FALSE(reporter.busy);
}

TEST_F(RunsTest, ReadOutListsFiftyOneCharactersALine) {
    struct Case {
        Chip chip;
        int lines;
        std::size_t last;
    };
    for (Case c : {Case{Chip::AT89C1051, 21, 4}, Case{Chip::None, 21, 4},
                   Case{Chip::AT89C2051, 41, 8}, Case{Chip::AT89C4051, 81, 16}}) {
        SimBench bench(c.chip == Chip::None ? Chip::AT89C1051 : c.chip);
        Shared().ChipType = c.chip;
        RecordingReporter reporter;
        TrackedSink sink;
        StartBTNClick(reporter, sink);
        EXPECT_EQ(sink.bytes.size(), static_cast<std::size_t>(ChipCapacity(c.chip)));
        EXPECT_TRUE(sink.created && sink.closed);
        ASSERT_EQ(reporter.listing.size(), static_cast<std::size_t>(c.lines));
        EXPECT_EQ(reporter.listing.front(), std::string(51, '.'));  // an erased chip
        EXPECT_EQ(reporter.listing.back(), std::string(c.last, '.'));
        EXPECT_EQ(reporter.gaugeMaximum, ChipCapacity(c.chip) - 1);
        EXPECT_EQ(reporter.gaugePosition, ChipCapacity(c.chip) - 1);
        EXPECT_FALSE(reporter.busy);
        // The run ends in read mode: RST high, no voltage, P1 released.
        const sim::PinSnapshot pins = bench.sim().pins();
        EXPECT_TRUE(pins.rstHigh);
        EXPECT_FALSE(pins.vpp12V);
        EXPECT_FALSE(pins.dataOutputsEnabled);
        EXPECT_EQ(pins.controlLatch, 0x92);
    }
}

TEST_F(RunsTest, ListingCharactersAreTheBytesFromTwentyToEighty) {
    struct Case {
        std::uint8_t byte;
        const char* shown;
    };
    for (Case c : {Case{0x20, " "}, Case{0x41, "A"}, Case{0x7F, "\x7F"}, Case{0x80, "€"},
                   Case{0x1F, "."}, Case{0x81, "."}, Case{0x00, "."}, Case{0xFF, "."}}) {
        EXPECT_EQ(ListingCharacter(c.byte), c.shown) << int(c.byte);
    }
    SimBench bench(Chip::AT89C1051);
    std::vector<std::uint8_t> flash(1024, 0x2E);
    flash[0] = 0x41;
    flash[50] = 0x80;
    flash[51] = 0x20;
    bench.sim().loadChip(flash, false, false);
    Shared().ChipType = Chip::AT89C1051;
    RecordingReporter reporter;
    MemorySink sink;
    StartBTNClick(reporter, sink);
    EXPECT_EQ(sink.bytes, flash);
    EXPECT_EQ(reporter.listing[0], "A" + std::string(49, '.') + "€");
    EXPECT_EQ(reporter.listing[1].substr(0, 2), " .");
}

TEST_F(RunsTest, ReadOutStopsBeforeAnythingWhenTheSinkCannotBeCreated) {
    SimBench bench(Chip::AT89C2051);
    ScratchFileSink sink(dir.file("no/such/dir/output.tmp"));
    RecordingReporter reporter;
    reporter.addListingLine("kept");
    EXPECT_THROW(StartBTNClick(reporter, sink), FileError);
    EXPECT_THAT(reporter.listing, ElementsAre("kept"));
    EXPECT_EQ(reporter.gaugeMaximum, -1);
}

TEST_F(RunsTest, ScratchFileNeverFollowsAPlantedLink) {
    SimBench bench(Chip::AT89C1051);
    Shared().ChipType = Chip::AT89C1051;
    WriteFile(dir.file("victim"), {1, 2, 3});
    ASSERT_EQ(::symlink(dir.file("victim").c_str(), dir.file("output.tmp").c_str()), 0);
    ScratchFileSink sink(dir.file("output.tmp"));
    RecordingReporter reporter;
    StartBTNClick(reporter, sink);
    EXPECT_EQ(ReadFile(dir.file("victim")), (std::vector<std::uint8_t>{1, 2, 3}));
    struct stat st;
    ASSERT_EQ(::lstat(dir.file("output.tmp").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_size, 1024);
}

TEST_F(RunsTest, ScratchFileIsReplacedByEachRun) {
    SimBench bench(Chip::AT89C1051);
    Shared().ChipType = Chip::AT89C1051;
    WriteFile(dir.file("output.tmp"), std::vector<std::uint8_t>(5000, 0));
    ScratchFileSink sink(dir.file("output.tmp"));
    RecordingReporter reporter;
    StartBTNClick(reporter, sink);
    EXPECT_EQ(ReadFile(dir.file("output.tmp")), std::vector<std::uint8_t>(1024, 0xFF));
}

TEST_F(RunsTest, AnInterruptedReadLeavesNoFileUnderTheUsersName) {
    SimBench bench(Chip::AT89C2051);
    volatile std::sig_atomic_t flag = 0;
    WatchInterruptFlag(&flag);
    SetEventHook([&] { flag = 1; });
    {
        AtomicFileSink sink(dir.file("chip.bin"));
        RecordingReporter reporter;
        EXPECT_THROW(StartBTNClick(reporter, sink), RunInterrupted);
        EXPECT_TRUE(Exists(sink.temporaryPath()));
    }
    EXPECT_FALSE(Exists(dir.file("chip.bin")));
    EXPECT_EQ(::rmdir(dir.path().c_str()), 0) << "a temporary file was left behind";
    ::mkdir(dir.path().c_str(), 0700);
}

TEST_F(RunsTest, EraseChecksTheLinkThenErases) {
    SimBench bench(Chip::AT89C4051);
    bench.sim().loadChip(std::vector<std::uint8_t>(4096, 0x00), true, true);
    Shared().ChipType = Chip::AT89C1051;  // the chip type plays no part
    RecordingReporter reporter;
    sim::PinSnapshot during{};
    reporter.onMessage = [&](MessageKind, const std::string&) { during = bench.sim().pins(); };
    EXPECT_EQ(BitBtn3Click(reporter), EraseResult::Erased);
    ASSERT_EQ(reporter.messages.size(), 1u);
    EXPECT_EQ(reporter.messages[0].kind, MessageKind::Information);
    EXPECT_EQ(reporter.messages[0].text, "Programmspeicher gelöscht");
    EXPECT_TRUE(Idle(during));  // idle before the message
    const sim::ChipSnapshot chip = bench.sim().chip();
    EXPECT_EQ(chip.flash, std::vector<std::uint8_t>(4096, 0xFF));
    EXPECT_FALSE(chip.lockBit1 || chip.lockBit2);
}

TEST_F(RunsTest, EraseWithABadLinkMakesNoPulseAndIdlesOnlyAfterTheMessage) {
    for (const char* fault : {"no-adapter", "stuck-p1=0:0", "stuck-p1=4:1", "stuck-p1=7:1"}) {
        SimBench bench(Chip::AT89C2051, {sim::ParseFault(fault)});
        bench.sim().loadChip(std::vector<std::uint8_t>(2048, 0x00), false, false);
        Shared().LanguageGerman = false;
        RecordingReporter reporter;
        sim::PinSnapshot during{};
        reporter.onMessage = [&](MessageKind, const std::string&) { during = bench.sim().pins(); };
        EXPECT_EQ(BitBtn3Click(reporter), EraseResult::LinkFailure) << fault;
        ASSERT_EQ(reporter.messages.size(), 1u);
        EXPECT_EQ(reporter.messages[0].kind, MessageKind::Error);
        EXPECT_EQ(reporter.messages[0].text, "Link to the programm device not ok!");
        if (std::string(fault) != "no-adapter") {
            EXPECT_TRUE(during.vpp12V) << fault;
            EXPECT_EQ(during.controlLatch, 0x9A) << fault;
            EXPECT_EQ(bench.sim().chip().flash, std::vector<std::uint8_t>(2048, 0x00)) << fault;
        }
        EXPECT_TRUE(Idle(bench.sim().pins())) << fault;
    }
}

}  // namespace
}  // namespace varnok::test
