#include "app/settings.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/core/test_support.h"

namespace varnok::test {
namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void Put(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Everything in `dir` but the settings file itself: leftovers of a write.
std::vector<std::string> Strays(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.path().filename() != kSettingsFileName) names.push_back(entry.path().filename());
    return names;
}

void ExpectRecord(const SettingsRecord& actual, const SettingsRecord& expected) {
    EXPECT_EQ(actual.languageCode, expected.languageCode);
    EXPECT_EQ(actual.ImageDirectory, expected.ImageDirectory);
    EXPECT_EQ(actual.ImageDrive, expected.ImageDrive);
    EXPECT_EQ(actual.chipCode, expected.chipCode);
    EXPECT_EQ(actual.portCode, expected.portCode);
    EXPECT_EQ(actual.lockBit, expected.lockBit);
    EXPECT_EQ(actual.ImageFileName, expected.ImageFileName);
}

// The close of the example: English, AT89C4051 on LPT2, lock bits off, a file chosen.
SettingsRecord ExampleRecord() {
    SettingsRecord r;
    r.languageCode = 2;
    r.ImageDirectory = "/home/anna/HEX";
    r.ImageDrive = 'C';
    r.chipCode = ChipCode(Chip::AT89C4051);
    r.portCode = 2;
    r.lockBit = false;
    r.ImageFileName = "BLINK.BIN";
    return r;
}

bool RunningAsRoot() {
    return ::geteuid() == 0;
}

// ---------------------------------------------------------------------------
// Reading

struct ReadCase {
    const char* name;
    std::string text;
    void (*expect)(SettingsRecord&);  // turns the defaults into what must be read
};

std::string Repeat(char c, std::size_t n) {
    return std::string(n, c);
}

class ReadRules : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadRules, GivesTheRecord) {
    SettingsRecord expected;
    GetParam().expect(expected);
    ExpectRecord(ParseSettings(GetParam().text), expected);
}

const ReadCase kReadCases[] = {
    {"Empty", "", [](SettingsRecord&) {}},
    {"OnlyOtherSections", "[other]\ntyp=4\nSprache=2\n", [](SettingsRecord&) {}},
    {"TypThree", "[option]\ntyp=3\n", [](SettingsRecord& r) { r.chipCode = 3; }},
    {"TypZero", "[option]\ntyp=0\n", [](SettingsRecord& r) { r.chipCode = 0; }},
    {"TypLowEightBits", "[option]\ntyp=258\n", [](SettingsRecord& r) { r.chipCode = 2; }},
    {"TypNotANumber", "[option]\ntyp=abc\n", [](SettingsRecord& r) { r.chipCode = 2; }},
    {"TypTrailingGarbage", "[option]\ntyp=4x\n", [](SettingsRecord& r) { r.chipCode = 2; }},
    {"TypEmpty", "[option]\ntyp=\n", [](SettingsRecord& r) { r.chipCode = 2; }},
    {"TypBeyond32Bits", "[option]\ntyp=4294967300\n", [](SettingsRecord& r) { r.chipCode = 2; }},
    {"LptHexZeroX", "[option]\nlpt=0x3\n", [](SettingsRecord& r) { r.portCode = 3; }},
    {"LptHexUpperX", "[option]\nlpt=0X4\n", [](SettingsRecord& r) { r.portCode = 4; }},
    {"LptHexDollar", "[option]\nlpt=$2\n", [](SettingsRecord& r) { r.portCode = 2; }},
    {"LptBarePrefixIsNotANumber", "[option]\nlpt=0x\n", [](SettingsRecord& r) { r.portCode = 1; }},
    {"LptDollarAlone", "[option]\nlpt=$\n", [](SettingsRecord& r) { r.portCode = 1; }},
    {"LptHexLowEightBits", "[option]\nlpt=$103\n", [](SettingsRecord& r) { r.portCode = 3; }},
    {"LptOutsideTable", "[option]\nlpt=7\n", [](SettingsRecord& r) { r.portCode = 7; }},
    {"LookbitZero", "[option]\nlookbit=0\n", [](SettingsRecord& r) { r.lockBit = false; }},
    {"LookbitYes", "[option]\nlookbit=yes\n", [](SettingsRecord& r) { r.lockBit = true; }},
    {"LookbitAnyNumber", "[option]\nlookbit=256\n", [](SettingsRecord& r) { r.lockBit = true; }},
    {"SpracheEnglish", "[option]\nSprache=2\n", [](SettingsRecord& r) { r.languageCode = 2; }},
    {"PfadCutAt200", "[option]\nPfad=/" + Repeat('p', 250) + "\n",
     [](SettingsRecord& r) { r.ImageDirectory = "/" + Repeat('p', 199); }},
    {"PfadCutCountsCharactersNotBytes", "[option]\nPfad=" + Repeat('a', 199) + "\xC3\xBC\xC3\xBC\n",
     [](SettingsRecord& r) { r.ImageDirectory = Repeat('a', 199) + "\xC3\xBC"; }},
    {"PfadExactly200", "[option]\nPfad=" + Repeat('q', 200) + "\n",
     [](SettingsRecord& r) { r.ImageDirectory = Repeat('q', 200); }},
    {"DateiCutAt100", "[option]\ndatei=" + Repeat('d', 150) + "\n",
     [](SettingsRecord& r) { r.ImageFileName = Repeat('d', 100); }},
    {"LaufwerkEmpty", "[option]\nLaufwerk=\n", [](SettingsRecord& r) { r.ImageDrive = 'C'; }},
    {"LaufwerkFirstCharacter", "[option]\nLaufwerk=DEF\n",
     [](SettingsRecord& r) { r.ImageDrive = 'D'; }},
    {"LaufwerkNotAscii", "[option]\nLaufwerk=\xC3\x84\n",
     [](SettingsRecord& r) { r.ImageDrive = 'C'; }},
    {"NamesIgnoreCase", "[OPTION]\nSPRACHE=2\nTyP=4\nPFAD=/x\n",
     [](SettingsRecord& r) {
         r.languageCode = 2;
         r.chipCode = 4;
         r.ImageDirectory = "/x";
     }},
    {"BlanksAroundNamesAndValues", "  [ option ]  \n  typ =  4  \n datei = a b.bin \n",
     [](SettingsRecord& r) {
         r.chipCode = 4;
         r.ImageFileName = "a b.bin";
     }},
    {"QuotedValueKeepsItsBlanks", "[option]\nPfad=\" /a b \"\n",
     [](SettingsRecord& r) { r.ImageDirectory = " /a b "; }},
    {"FirstOfTwoEntriesCounts", "[option]\ntyp=4\ntyp=1\n",
     [](SettingsRecord& r) { r.chipCode = 4; }},
    {"OnlyTheFirstOptionSection", "[option]\ntyp=4\n[option]\nlpt=3\n",
     [](SettingsRecord& r) { r.chipCode = 4; }},
    {"CommentedOutKey", "[option]\n;typ=4\n#lpt=2\n", [](SettingsRecord&) {}},
    {"WindowsLineEnds", "[option]\r\nPfad=/hex\r\ntyp=4\r\n",
     [](SettingsRecord& r) {
         r.ImageDirectory = "/hex";
         r.chipCode = 4;
     }},
    {"ByteOrderMark", "\xEF\xBB\xBF[option]\ntyp=1\n", [](SettingsRecord& r) { r.chipCode = 1; }},
    {"Utf8FileName",
     "[option]\ndatei=Gr\xC3\xB6\xC3\x9F"
     "e.bin\n",
     [](SettingsRecord& r) {
         r.ImageFileName =
             "Gr\xC3\xB6\xC3\x9F"
             "e.bin";
     }},
};

INSTANTIATE_TEST_SUITE_P(Settings, ReadRules, ::testing::ValuesIn(kReadCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SettingsFile, NoFileGivesTheFirstStartValues) {
    TempDir dir;
    const SettingsRecord r = ReadSettings(dir.file(kSettingsFileName));
    EXPECT_EQ(r.languageCode, 1);
    EXPECT_EQ(r.ImageDirectory, "");
    EXPECT_EQ(r.ImageDrive, 'C');
    EXPECT_EQ(r.chipCode, 2);
    EXPECT_EQ(r.portCode, 1);
    EXPECT_TRUE(r.lockBit);
    EXPECT_EQ(r.ImageFileName, "");
}

// ---------------------------------------------------------------------------
// Writing

TEST(SettingsFile, FirstCloseWritesTheExampleLineForLine) {
    TempDir dir;
    const std::string path = dir.file(kSettingsFileName);
    const SettingsWriteResult result = WriteSettings(ExampleRecord(), path);
    ASSERT_TRUE(result.ok) << result.reason;
    EXPECT_EQ(Lines(Slurp(path)), (std::vector<std::string>{
                                      "[option]", "Sprache=2", "Pfad=/home/anna/HEX", "Laufwerk=C",
                                      "typ=4", "lpt=2", "lookbit=0", "datei=BLINK.BIN"}));
    EXPECT_EQ(Slurp(path).back(), '\n');
}

TEST(SettingsFile, ForeignLinesStayExactlyWhereTheyWere) {
    const std::string before =
        "; written by hand\n"
        "[other]\n"
        "a = 1\n"
        "; about b\n"
        "b=2\n"
        "b=3\n"
        "not an entry at all\n"
        "\n"
        "[Option]\n"
        "; the language\n"
        "SPRACHE = 1\n"
        "extra=x\n"
        "typ=258\n"
        "\n"
        "; leads into the next section\n"
        "[z]\n"
        "k = v\n"
        "; the very last line";
    const std::string expected =
        "; written by hand\n"
        "[other]\n"
        "a = 1\n"
        "; about b\n"
        "b=2\n"
        "b=3\n"
        "not an entry at all\n"
        "\n"
        "[Option]\n"
        "; the language\n"
        "Sprache=2\n"
        "extra=x\n"
        "typ=4\n"
        "Pfad=/home/anna/HEX\n"
        "Laufwerk=C\n"
        "lpt=2\n"
        "lookbit=0\n"
        "datei=BLINK.BIN\n"
        "\n"
        "; leads into the next section\n"
        "[z]\n"
        "k = v\n"
        "; the very last line\n";
    EXPECT_EQ(UpdateSettingsText(before, ExampleRecord()), expected);

    // And through the file, which must read back what was written.
    TempDir dir;
    const std::string path = dir.file(kSettingsFileName);
    Put(path, before);
    ASSERT_TRUE(WriteSettings(ExampleRecord(), path).ok);
    EXPECT_EQ(Slurp(path), expected);
    ExpectRecord(ReadSettings(path), ExampleRecord());
}

TEST(SettingsFile, SectionAddedAfterOtherContent) {
    EXPECT_EQ(
        Lines(UpdateSettingsText("[other]\nk=v", ExampleRecord())),
        (std::vector<std::string>{"[other]", "k=v", "[option]", "Sprache=2", "Pfad=/home/anna/HEX",
                                  "Laufwerk=C", "typ=4", "lpt=2", "lookbit=0", "datei=BLINK.BIN"}));
}

TEST(SettingsFile, WindowsLineEndsStayWindowsLineEnds) {
    const std::string text =
        UpdateSettingsText("[option]\r\ntyp=1\r\n[z]\r\nk=v\r\n", ExampleRecord());
    EXPECT_EQ(text,
              "[option]\r\ntyp=4\r\nSprache=2\r\nPfad=/home/anna/HEX\r\nLaufwerk=C\r\nlpt=2\r\n"
              "lookbit=0\r\ndatei=BLINK.BIN\r\n[z]\r\nk=v\r\n");
}

struct RoundTrip {
    const char* name;
    void (*change)(SettingsRecord&);
};

class WriteThenRead : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(WriteThenRead, GivesBackWhatWasWritten) {
    SettingsRecord record = ExampleRecord();
    GetParam().change(record);
    ExpectRecord(ParseSettings(UpdateSettingsText("", record)), record);
}

const RoundTrip kRoundTrips[] = {
    {"Example", [](SettingsRecord&) {}},
    {"Defaults", [](SettingsRecord& r) { r = SettingsRecord{}; }},
    {"BlanksAtBothEnds", [](SettingsRecord& r) { r.ImageDirectory = " /tmp/odd dir "; }},
    {"QuotedName", [](SettingsRecord& r) { r.ImageFileName = "\"quoted\""; }},
    {"SingleQuote", [](SettingsRecord& r) { r.ImageFileName = "it's"; }},
    {"EqualsAndSemicolon", [](SettingsRecord& r) { r.ImageFileName = "a=b;c#d.bin"; }},
    {"Umlauts",
     [](SettingsRecord& r) { r.ImageDirectory = "/home/j\xC3\xBCrgen/\xC3\x84nderungen"; }},
    {"OddCodes",
     [](SettingsRecord& r) {
         r.chipCode = 255;
         r.portCode = 0;
         r.languageCode = 7;
     }},
};

INSTANTIATE_TEST_SUITE_P(Settings, WriteThenRead, ::testing::ValuesIn(kRoundTrips),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SettingsFile, LineBreakInANameCannotInjectEntries) {
    // Linux allows a newline in a file name; written as is it would become
    // lines of its own and override the chip, or open a section.
    SettingsRecord record = ExampleRecord();
    record.ImageFileName = "x\ntyp=1\n[option]\nlpt=3";
    record.ImageDirectory = "/tmp\r\nSprache=1";
    record.ImageDrive = '\n';
    const std::string text = UpdateSettingsText("", record);
    EXPECT_EQ(Lines(text).size(), 8u);
    EXPECT_EQ(Lines(text)[3], "Laufwerk=C");
    const SettingsRecord back = ParseSettings(text);
    EXPECT_EQ(back.chipCode, 4);
    EXPECT_EQ(back.portCode, 2);
    EXPECT_EQ(back.languageCode, 2);
    EXPECT_EQ(back.ImageFileName, "");
    EXPECT_EQ(back.ImageDirectory, "");
}

TEST(SettingsFile, MissingConfigDirectoryIsCreated) {
    TempDir dir;
    const std::string path = dir.path() + "/fresh/.config/varnok.INI";
    ASSERT_TRUE(WriteSettings(ExampleRecord(), path).ok);
    ExpectRecord(ReadSettings(path), ExampleRecord());
}

TEST(SettingsFile, SymbolicLinkStaysALink) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("dotfiles"));
    const std::string real = dir.file("dotfiles/varnok.INI");
    Put(real, "[mine]\nkeep=1\n");
    const std::string link = dir.file(kSettingsFileName);
    ASSERT_EQ(::symlink("dotfiles/varnok.INI", link.c_str()), 0);
    ASSERT_TRUE(WriteSettings(ExampleRecord(), link).ok);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(Slurp(real).rfind("[mine]\nkeep=1\n[option]\n", 0), 0u);
}

// ---------------------------------------------------------------------------
// Failed writes

const std::string kOldFile = "; mine\n[option]\nSprache=1\ntyp=1\n[keep]\nx=1\n";

void ExpectFailureKeptOldFile(const SettingsWriteResult& result, const TempDir& dir) {
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.message, "nach varnok.INI kann nicht geschrieben werden");
    EXPECT_FALSE(result.reason.empty());
    EXPECT_EQ(Slurp(dir.file(kSettingsFileName)), kOldFile);
    EXPECT_TRUE(Strays(dir.path()).empty());
}

TEST(SettingsWriteFailure, UnwritableDirectory) {
    if (RunningAsRoot()) GTEST_SKIP() << "root writes into any directory";
    TempDir dir;
    Put(dir.file(kSettingsFileName), kOldFile);
    ASSERT_EQ(::chmod(dir.path().c_str(), 0500), 0);
    const SettingsWriteResult result = WriteSettings(ExampleRecord(), dir.file(kSettingsFileName));
    ::chmod(dir.path().c_str(), 0700);
    ExpectFailureKeptOldFile(result, dir);
}

TEST(SettingsWriteFailure, UnreadableOldFileIsNotReplaced) {
    // Its other sections could not be carried over, so it is left alone.
    if (RunningAsRoot()) GTEST_SKIP() << "root reads any file";
    TempDir dir;
    Put(dir.file(kSettingsFileName), kOldFile);
    ASSERT_EQ(::chmod(dir.file(kSettingsFileName).c_str(), 0200), 0);
    const SettingsWriteResult result = WriteSettings(ExampleRecord(), dir.file(kSettingsFileName));
    ::chmod(dir.file(kSettingsFileName).c_str(), 0600);
    ExpectFailureKeptOldFile(result, dir);
}

TEST(SettingsWriteFailure, DiskFullPartWayThrough) {
    // A file-size limit fails the write after a few bytes, as a full disk does.
    TempDir dir;
    Put(dir.file(kSettingsFileName), kOldFile);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 20;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const SettingsWriteResult result = WriteSettings(ExampleRecord(), dir.file(kSettingsFileName));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, oldHandler);
    ExpectFailureKeptOldFile(result, dir);
}

TEST(SettingsWriteFailure, DirectoryThatCannotBeCreated) {
    // Not even root can make a directory in /proc, so this runs everywhere.
    const SettingsWriteResult result =
        WriteSettings(ExampleRecord(), "/proc/varnok-no-such-dir/varnok.INI");
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.message, "nach varnok.INI kann nicht geschrieben werden");
    EXPECT_NE(result.reason.find("/proc/varnok-no-such-dir"), std::string::npos) << result.reason;
}

TEST(SettingsWriteFailure, PathIsADirectory) {
    TempDir dir;
    std::filesystem::create_directory(dir.file(kSettingsFileName));
    const SettingsWriteResult result = WriteSettings(ExampleRecord(), dir.file(kSettingsFileName));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.message, CannotWriteSettingsMessage());
    EXPECT_TRUE(std::filesystem::is_directory(dir.file(kSettingsFileName)));
    EXPECT_TRUE(Strays(dir.path()).empty());
}

// ---------------------------------------------------------------------------
// Several copies at once

TEST(SettingsConcurrency, ReaderNeverSeesHalfAFileWhileTwoCopiesClose) {
    TempDir dir;
    const std::string path = dir.file(kSettingsFileName);
    const std::string foreign = "; shared by all copies\n[other]\n" + Repeat('z', 4000) + "=1\n";
    Put(path, foreign);

    SettingsRecord first = ExampleRecord();
    SettingsRecord second = SettingsRecord{};
    second.ImageDirectory = "/" + Repeat('s', 150);
    const std::string firstText = UpdateSettingsText(foreign, first);
    const std::string secondText = UpdateSettingsText(foreign, second);

    std::atomic<int> writersRunning{2};
    std::atomic<bool> writeFailed{false};
    auto writer = [&](const SettingsRecord& record) {
        for (int i = 0; i < 200; ++i)
            if (!WriteSettings(record, path).ok) writeFailed = true;
        --writersRunning;
    };
    std::thread a(writer, first);
    std::thread b(writer, second);

    int reads = 0;
    int broken = 0;
    do {
        const std::string seen = Slurp(path);
        if (seen != foreign && seen != firstText && seen != secondText) ++broken;
        const SettingsRecord parsed = ParseSettings(seen);
        if (seen != foreign && parsed.ImageDirectory != first.ImageDirectory &&
            parsed.ImageDirectory != second.ImageDirectory)
            ++broken;
        ++reads;
    } while (writersRunning > 0);
    a.join();
    b.join();

    EXPECT_FALSE(writeFailed);
    EXPECT_EQ(broken, 0) << "of " << reads << " reads";
    const std::string last = Slurp(path);
    EXPECT_TRUE(last == firstText || last == secondText);
    EXPECT_TRUE(Strays(dir.path()).empty());
}

// ---------------------------------------------------------------------------
// Where the file lives

class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(SettingsLocation, FollowsXdgConfigHome) {
    struct Case {
        const char* xdg;
        const char* home;
        const char* expected;
    };
    const Case cases[] = {
        {"/srv/conf", "/home/anna", "/srv/conf/varnok.INI"},
        {nullptr, "/home/anna", "/home/anna/.config/varnok.INI"},
        {"", "/home/anna/", "/home/anna/.config/varnok.INI"},
        {"relative/conf", "/home/anna", "/home/anna/.config/varnok.INI"},
    };
    for (const Case& c : cases) {
        ScopedEnv xdg("XDG_CONFIG_HOME", c.xdg);
        ScopedEnv home("HOME", c.home);
        EXPECT_EQ(SettingsFilePath(), c.expected) << (c.xdg ? c.xdg : "(unset)");
    }
}

// ---------------------------------------------------------------------------
// The command-line tool's defaults

TEST(CliDefaultsFromSettings, TakesChipPortLockAndLanguage) {
    struct Case {
        const char* name;
        const char* file;  // nullptr: no file
        Chip chip;
        int lpt;
        bool lockBit;
        std::optional<bool> german;
    };
    const Case cases[] = {
        {"NoFile", nullptr, Chip::AT89C2051, 1, true, std::nullopt},
        {"Example", "[option]\nSprache=2\ntyp=4\nlpt=2\nlookbit=0\n", Chip::AT89C4051, 2, false,
         false},
        {"German", "[option]\nSprache=1\ntyp=1\nlpt=$4\n", Chip::AT89C1051, 4, true, true},
        {"OddCodes", "[option]\ntyp=3\nlpt=7\nlookbit=yes\n", Chip::None, 1, true, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.file(kSettingsFileName);
        if (c.file) Put(path, c.file);
        const CliDefaults defaults = ReadCliDefaults(path);
        EXPECT_EQ(defaults.chip, c.chip);
        EXPECT_EQ(defaults.lpt, c.lpt);
        EXPECT_EQ(defaults.lockBit, c.lockBit);
        EXPECT_EQ(defaults.languageGerman, c.german);
        // Read only: a missing file stays missing, a present one unchanged.
        if (c.file)
            EXPECT_EQ(Slurp(path), c.file);
        else
            EXPECT_FALSE(std::filesystem::exists(path));
    }
}

}  // namespace
}  // namespace varnok::test
