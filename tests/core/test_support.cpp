#include "tests/core/test_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

#include "adapter/port_access.h"
#include "adapter/port_backend.h"

extern char** environ;

namespace varnok::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "varnok-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

namespace {
sim::Options VirtualOptions(Chip model, std::vector<sim::Fault> faults) {
    sim::Options options;
    options.model = model;
    options.time = sim::TimeMode::Virtual;
    options.faults = std::move(faults);
    return options;
}
}  // namespace

SimBench::SimBench(Chip model, std::vector<sim::Fault> faults)
    : SimBench(VirtualOptions(model, std::move(faults))) {}

SimBench::SimBench(const sim::Options& options) {
    Shared() = SharedState{};
    auto simulator = sim::Simulator::Open(options);
    sim_ = simulator.get();
    InstallPort(std::move(simulator));
    SetEventHook(nullptr);
}

SimBench::~SimBench() {
    if (sim_ && InstalledPort() == sim_) InstallPort(nullptr);
    SetEventHook(nullptr);
    WatchInterruptFlag(nullptr);
}

std::vector<std::uint8_t> Pattern(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(size);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    return bytes;
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool Exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

namespace {
std::string Slurp(int fd) {
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<std::size_t>(n));
    return text;
}
}  // namespace

CliResult RunCli(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv) {
    TempDir dir;
    const std::string outPath = dir.file("out"), errPath = dir.file("err");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    std::vector<std::string> argStrings{VARNOK_CLI_PATH};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argStrings) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.compare(0, 5, "LANG=") == 0 || entry.compare(0, 7, "LC_ALL=") == 0 ||
            entry.compare(0, 12, "LC_MESSAGES=") == 0 ||
            entry.compare(0, 16, "XDG_CONFIG_HOME=") == 0)
            continue;  // the tests choose the language and the settings themselves
        envStrings.push_back(entry);
    }
    envStrings.insert(envStrings.end(), extraEnv.begin(), extraEnv.end());
    // Never the developer's own settings file: an empty configuration unless the test gives one.
    const bool ownConfig = std::any_of(extraEnv.begin(), extraEnv.end(), [](const std::string& e) {
        return e.compare(0, 16, "XDG_CONFIG_HOME=") == 0;
    });
    if (!ownConfig) envStrings.push_back("XDG_CONFIG_HOME=" + dir.path());
    std::vector<char*> envp;
    for (auto& e : envStrings) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid;
    if (posix_spawn(&pid, VARNOK_CLI_PATH, &actions, nullptr, argv.data(), envp.data()) != 0)
        throw std::runtime_error("cannot start varnok-cli");
    posix_spawn_file_actions_destroy(&actions);
    int wstatus = 0;
    ::waitpid(pid, &wstatus, 0);
    CliResult result;
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    int fd = ::open(outPath.c_str(), O_RDONLY);
    result.out = Slurp(fd);
    ::close(fd);
    fd = ::open(errPath.c_str(), O_RDONLY);
    result.err = Slurp(fd);
    ::close(fd);
    return result;
}

}  // namespace varnok::test
