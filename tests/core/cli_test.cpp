#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "tests/core/test_support.h"

namespace varnok::test {
namespace {

using ::testing::HasSubstr;

// Polls until `ready` holds (a started process has got somewhere), at most 20 s.
template <typename Ready>
bool WaitUntil(Ready ready) {
    for (int i = 0; i < 2000; ++i) {
        if (ready()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

std::uintmax_t SizeOf(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::uintmax_t>(st.st_size) : 0;
}

class CliTest : public ::testing::Test {
protected:
    std::vector<std::string> Sim(std::vector<std::string> args, const std::string& chip = "4051") {
        std::vector<std::string> all{
            "--port", "sim", "--sim-time", "virtual", "--sim-chip", dir.file("chip.sim"),
            "--chip", chip,  "--lang",     "de"};
        all.insert(all.end(), args.begin(), args.end());
        return all;
    }
    TempDir dir;
};

TEST_F(CliTest, ProgramThenReadInTwoProcessesGivesTheImagePaddedWithErasedBytes) {
    const auto image = Pattern(3000, 7);
    WriteFile(dir.file("img.bin"), image);
    CliResult program = RunCli(Sim({"--no-lock", "program", dir.file("img.bin")}));
    ASSERT_EQ(program.status, 0) << program.err;
    EXPECT_THAT(program.err, HasSubstr("Programmierung erfolgreich!"));
    CliResult read = RunCli(Sim({"read", dir.file("out.bin")}));
    ASSERT_EQ(read.status, 0) << read.err;
    auto expected = image;
    expected.resize(4096, 0xFF);
    EXPECT_EQ(ReadFile(dir.file("out.bin")), expected);
}

TEST_F(CliTest, LargerImageWarnsAndProgramsTheFirstCapacityBytes) {
    const auto image = Pattern(1500, 3);
    WriteFile(dir.file("img.bin"), image);
    CliResult program =
        RunCli(Sim({"--lang", "en", "--no-lock", "program", dir.file("img.bin")}, "1051"));
    ASSERT_EQ(program.status, 0) << program.err;
    EXPECT_THAT(
        program.err,
        HasSubstr("Size of selected file is larger\nthan the capacity of processor memory!"));
    EXPECT_THAT(program.err, HasSubstr("Programming complette!"));
    CliResult read = RunCli(Sim({"read", "-"}, "1051"));
    ASSERT_EQ(read.status, 0) << read.err;
    EXPECT_EQ(read.out, std::string(image.begin(), image.begin() + 1024));
}

TEST_F(CliTest, LockedChipReadsAsErasedBytes) {
    WriteFile(dir.file("img.bin"), Pattern(64));
    ASSERT_EQ(RunCli(Sim({"program", dir.file("img.bin")}, "2051")).status, 0);
    CliResult read = RunCli(Sim({"read", "-"}, "2051"));
    EXPECT_EQ(read.out, std::string(2048, '\xFF'));
}

TEST_F(CliTest, VerifyComparesTheChipWithTheImageWithoutWriting) {
    const auto image = Pattern(300, 5);
    WriteFile(dir.file("img.bin"), image);
    ASSERT_EQ(RunCli(Sim({"--no-lock", "program", dir.file("img.bin")})).status, 0);
    CliResult same = RunCli(Sim({"--lang", "en", "verify", dir.file("img.bin")}));
    EXPECT_EQ(same.status, 0) << same.err;
    EXPECT_THAT(same.err, HasSubstr("The chip matches the file."));
    // One byte off in the file: the first difference is named, the chip untouched.
    auto other = image;
    other[0x12A] ^= 0x40;
    WriteFile(dir.file("other.bin"), other);
    CliResult differs = RunCli(Sim({"--lang", "en", "verify", dir.file("other.bin")}));
    EXPECT_EQ(differs.status, 5);
    EXPECT_THAT(differs.err, HasSubstr("differ at address 012Ah"));
    CliResult read = RunCli(Sim({"read", "-"}));
    EXPECT_EQ(read.out.substr(0, 300), std::string(image.begin(), image.end()));
    EXPECT_EQ(RunCli(Sim({"verify", dir.file("missing.bin")})).status, 2);
}

TEST_F(CliTest, AFailedProgrammingRunSaysWhereItStopped) {
    WriteFile(dir.file("img.bin"), Pattern(20));
    CliResult result = RunCli(
        Sim({"--lang", "en", "--sim-fault", "bad-cell=0x7", "program", dir.file("img.bin")}));
    EXPECT_EQ(result.status, 5);
    EXPECT_THAT(result.err, HasSubstr("Stopped at address 0007h"));
}

TEST_F(CliTest, EraseClearsTheChip) {
    WriteFile(dir.file("img.bin"), std::vector<std::uint8_t>(100, 0));
    ASSERT_EQ(RunCli(Sim({"--no-lock", "program", dir.file("img.bin")})).status, 0);
    CliResult erase = RunCli(Sim({"erase"}));
    EXPECT_EQ(erase.status, 0);
    EXPECT_THAT(erase.err, HasSubstr("Programmspeicher gelöscht"));
    EXPECT_EQ(RunCli(Sim({"read", "-"})).out, std::string(4096, '\xFF'));
}

struct FaultCase {
    const char* fault;
    const char* command;
    int status;
    const char* message;
};

void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.fault << " " << c.command;
}

class CliFaultTest : public CliTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(CliFaultTest, GivesItsMessageAndExitStatus) {
    const FaultCase c = GetParam();
    WriteFile(dir.file("img.bin"), {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC});
    std::vector<std::string> args{"--sim-fault", c.fault};
    if (std::string(c.command) == "program") {
        args.insert(args.end(), {"program", dir.file("img.bin")});
    } else {
        args.push_back(c.command);
    }
    CliResult result = RunCli(Sim(args));
    EXPECT_EQ(result.status, c.status) << result.err;
    EXPECT_THAT(result.err, HasSubstr(c.message));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, CliFaultTest,
    ::testing::Values(
        FaultCase{"no-adapter", "program", 4, "Anschlußleitung zum Programmiergerät defekt!"},
        FaultCase{"no-adapter", "erase", 4, "Anschlußleitung zum Programmiergerät defekt!"},
        FaultCase{"no-chip", "program", 5, "Chip läßt sich nicht programmieren!"},
        FaultCase{"no-chip", "erase", 0, "Programmspeicher gelöscht"},
        FaultCase{"stuck-p1=1:1", "program", 4, "Anschlußleitung zum Programmiergerät defekt!"},
        FaultCase{"stuck-p1=6:1", "erase", 4, "Anschlußleitung zum Programmiergerät defekt!"},
        FaultCase{"bad-cell=0x3", "program", 5, "Chip läßt sich nicht programmieren!"},
        FaultCase{"bad-cell=9", "program", 0, "Programmierung erfolgreich!"},  // past the image
        FaultCase{"stuck-p2=1:1", "erase", 1, "stuck-p1"},
        FaultCase{"bad-cell=x", "erase", 1, "bad-cell"}),
    [](const auto& info) {
        std::string name = std::string(info.param.fault) + "_" + info.param.command;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return name;
    });

TEST_F(CliTest, FileAndUsageErrorsHaveTheirOwnStatus) {
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* message;
    };
    const std::vector<Case> cases = {
        {Sim({"program", dir.file("missing.bin")}), 2, "Datei kann nicht gelesen werden!"},
        {Sim({"program", dir.path()}), 2, "Datei kann nicht gelesen werden!"},
        {Sim({"read", dir.file("no/such/dir/out.bin")}), 2, "out.bin"},
        {Sim({"frobnicate"}), 1, ""},
        {{"--chip", "8051", "erase"}, 1, "--chip"},
        {{"--port", "lpt9", "erase"}, 1, "lpt9"},
        {{"--port", "lpt1", "--sim-fault", "no-chip", "erase"}, 1, "--port sim"},
        {Sim({"--sim-time", "slow", "erase"}), 1, "--sim-time"},
        {{}, 1, ""},
    };
    for (const Case& c : cases) {
        CliResult result = RunCli(c.args);
        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_THAT(result.err, HasSubstr(c.message));
    }
    EXPECT_FALSE(Exists(dir.file("no")));
}

TEST_F(CliTest, HelpAndVersionExitCleanly) {
    CliResult help = RunCli({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_THAT(help.out, HasSubstr("program"));
    CliResult version = RunCli({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_THAT(version.out, HasSubstr("varnok-cli"));
}

TEST_F(CliTest, AChipFileInUseIsABusyPort) {
    ASSERT_EQ(RunCli(Sim({"erase"})).status, 0);  // creates the chip file
    const int fd = ::open(dir.file("chip.sim").c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    CliResult busy = RunCli(Sim({"--lang", "en", "erase"}));
    ::close(fd);
    EXPECT_EQ(busy.status, 3);
    EXPECT_THAT(busy.err, HasSubstr("in use by another program"));
    EXPECT_EQ(RunCli(Sim({"erase"})).status, 0);
}

TEST_F(CliTest, AMissingRealPortIsReportedWithTheCause) {
    CliResult result = RunCli({"--port", "lpt4", "--lang", "en", "erase"});
    EXPECT_EQ(result.status, 3);
    EXPECT_THAT(result.err, HasSubstr("2BC"));
    EXPECT_THAT(result.err, HasSubstr("parport_pc"));
    result = RunCli({"--port", "/dev/parport77", "--lang", "en", "erase"});
    EXPECT_EQ(result.status, 3);
    EXPECT_THAT(result.err, HasSubstr("/dev/parport77"));
}

TEST_F(CliTest, LanguageFollowsTheLocaleUnlessChosen) {
    std::vector<std::string> args{
        "--port", "sim", "--sim-time", "virtual", "--sim-chip", dir.file("chip.sim"), "erase"};
    EXPECT_THAT(RunCli(args, {"LANG=de_DE.UTF-8"}).err, HasSubstr("Programmspeicher gelöscht"));
    EXPECT_THAT(RunCli(args, {"LANG=en_GB.UTF-8"}).err, HasSubstr("program memory cleared"));
    args.insert(args.begin(), {"--lang", "en"});
    EXPECT_THAT(RunCli(args, {"LANG=de_DE.UTF-8"}).err, HasSubstr("program memory cleared"));
}

TEST_F(CliTest, TheWindowProgramsSettingsAreTheDefaults) {
    ::mkdir(dir.file("config").c_str(), 0700);
    std::ofstream(dir.file("config/varnok.INI"))
        << "[option]\nSprache=2\ntyp=4\nlpt=3\nlookbit=0\n";
    const std::vector<std::string> env{"XDG_CONFIG_HOME=" + dir.file("config")};
    const std::vector<std::string> sim{"--sim-time", "virtual", "--sim-chip", dir.file("chip.sim")};
    WriteFile(dir.file("img.bin"), {0x11, 0x22});
    // Chip 4051, no lock bits, English, unless the command line says otherwise.
    auto args = sim;
    args.insert(args.begin(), {"--port", "sim"});
    args.insert(args.end(), {"program", dir.file("img.bin")});
    CliResult program = RunCli(args, env);
    ASSERT_EQ(program.status, 0) << program.err;
    EXPECT_THAT(program.err, HasSubstr("Programming complette!"));
    args = sim;
    args.insert(args.begin(), {"--port", "sim", "--lang", "de"});
    args.insert(args.end(), {"read", "-"});
    CliResult read = RunCli(args, env);
    ASSERT_EQ(read.out.size(), 4096u) << read.err;  // not locked: the bytes read back
    EXPECT_EQ(read.out.substr(0, 3), "\x11\x22\xFF");
    // The port comes from the settings too (LPT3, 3BCh), and the file is never written.
    CliResult port = RunCli({"erase"}, env);
    EXPECT_EQ(port.status, 3);
    EXPECT_THAT(port.err, HasSubstr("3BC"));
    std::ifstream settings(dir.file("config/varnok.INI"));
    std::stringstream content;
    content << settings.rdbuf();
    EXPECT_EQ(content.str(), "[option]\nSprache=2\ntyp=4\nlpt=3\nlookbit=0\n");
}

TEST_F(CliTest, TraceFollowsItsFormat) {
    WriteFile(dir.file("img.bin"), {0xA5});
    CliResult result =
        RunCli(Sim({"--trace", dir.file("trace.txt"), "program", dir.file("img.bin")}));
    ASSERT_EQ(result.status, 0) << result.err;
    std::ifstream trace(dir.file("trace.txt"));
    std::string line;
    ASSERT_TRUE(std::getline(trace, line));
    EXPECT_EQ(line, "# varnok-trace 1");
    const std::regex access("([0-9]+) ([WR]) ([0-9A-F]+) ([0-9A-F]{2})");
    unsigned long long last = 0;
    int lines = 0;
    std::vector<std::string> controlWrites;
    std::string lastData, lastControl;
    while (std::getline(trace, line)) {
        if (line.rfind("#", 0) == 0) continue;
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, access)) << line;
        const unsigned long long ns = std::stoull(m[1]);
        EXPECT_GE(ns, last);
        last = ns;
        EXPECT_TRUE(m[3] == "378" || m[3] == "379" || m[3] == "37A") << line;
        if (m[2] == "W" && m[3] == "37A") lastControl = m[4];
        if (m[2] == "W" && m[3] == "378") lastData = m[4];
        ++lines;
    }
    EXPECT_GT(lines, 500);
    // The first writes are the activation's idle state; unmasked values are recorded.
    EXPECT_EQ(lastControl, "FF");
    EXPECT_EQ(lastData, "00");
}

TEST_F(CliTest, ATraceThatCannotBeWrittenIsAFileError) {
    // The run itself succeeds; the trace's last block fails when it is written out.
    CliResult result = RunCli(Sim({"--lang", "en", "--trace", "/dev/full", "erase"}));
    EXPECT_EQ(result.status, 2);
    EXPECT_THAT(result.err, HasSubstr("program memory cleared"));
    EXPECT_THAT(result.err, HasSubstr("No space left on device"));
}

TEST_F(CliTest, InterruptPutsTheAdapterIdleBeforeExiting) {
    WriteFile(dir.file("img.bin"), Pattern(4096));
    const std::string trace = dir.file("trace.txt");
    std::vector<std::string> argStrings{VARNOK_CLI_PATH,
                                        "--port",
                                        "sim",
                                        "--sim-time",
                                        "real",
                                        "--sim-chip",
                                        dir.file("chip.sim"),
                                        "--chip",
                                        "4051",
                                        "--trace",
                                        trace,
                                        "--quiet",
                                        "program",
                                        dir.file("img.bin")};
    std::vector<char*> argv;
    for (auto& a : argStrings) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, dir.file("err").c_str(), O_WRONLY | O_CREAT,
                                     0600);
    pid_t pid;
    ASSERT_EQ(posix_spawn(&pid, VARNOK_CLI_PATH, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    // Let it get well into the byte loop: the trace reaches the file in large
    // blocks, the first after some hundred bytes have been programmed.
    EXPECT_TRUE(WaitUntil([&] { return SizeOf(trace) > 0; }));
    ::kill(pid, SIGINT);
    int wstatus = 0;
    ::waitpid(pid, &wstatus, 0);
    ASSERT_TRUE(WIFEXITED(wstatus));
    EXPECT_EQ(WEXITSTATUS(wstatus), 130);
    std::ifstream in(trace);
    std::string line, lastControl, lastData;
    int writes = 0;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string ns, kind, address, value;
        if (!(fields >> ns >> kind >> address >> value) || ns == "#") continue;
        if (kind == "W" && address == "37A") lastControl = value;
        if (kind == "W" && address == "378") lastData = value;
        ++writes;
    }
    EXPECT_GT(writes, 1000);  // it was well into the run
    EXPECT_EQ(lastControl, "FF");
    EXPECT_EQ(lastData, "00");
    // The chip file is free again at once.
    EXPECT_EQ(RunCli(Sim({"erase"})).status, 0);
}

TEST_F(CliTest, SigtermIsAnInterruptToo) {
    std::vector<std::string> argStrings{
        VARNOK_CLI_PATH,      "--port",  "sim",  "--sim-time",       "real", "--sim-chip",
        dir.file("chip.sim"), "--quiet", "read", dir.file("out.bin")};
    std::vector<char*> argv;
    for (auto& a : argStrings) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid;
    ASSERT_EQ(posix_spawn(&pid, VARNOK_CLI_PATH, nullptr, nullptr, argv.data(), environ), 0);
    // Once the temporary output exists the run is under way.
    EXPECT_TRUE(WaitUntil([&] {
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            if (entry.path().filename().string().rfind(".out.bin.", 0) == 0) return true;
        return false;
    }));
    ::kill(pid, SIGTERM);
    int wstatus = 0;
    ::waitpid(pid, &wstatus, 0);
    ASSERT_TRUE(WIFEXITED(wstatus));
    EXPECT_EQ(WEXITSTATUS(wstatus), 130);
    EXPECT_FALSE(Exists(dir.file("out.bin")));  // never a cut-short file under the user's name
}

}  // namespace
}  // namespace varnok::test
