// Helpers shared by the core tests: a reporter that records what a run shows,
// a simulator bench in virtual time, temporary directories, and running the CLI.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/shared_state.h"
#include "chip/run_reporter.h"
#include "sim/simulator.h"

namespace varnok::test {

class RecordingReporter : public RunReporter {
public:
    struct Message {
        MessageKind kind;
        std::string text;
    };

    void setStatus(const std::string& text) override { statuses.push_back(text); }
    void setGaugeMaximum(int maximum) override { gaugeMaximum = maximum; }
    void setGaugePosition(int position) override { gaugePosition = position; }
    void setBusy(bool on) override { busy = on; }
    void message(MessageKind kind, const std::string& text) override {
        messages.push_back({kind, text});
        if (onMessage) onMessage(kind, text);
    }
    void clearListing() override { listing.clear(); }
    void addListingLine(const std::string& line) override { listing.push_back(line); }
    void processEvents() override {
        ++eventRounds;
        if (onEvents) onEvents();
    }

    std::vector<std::string> statuses;
    std::vector<Message> messages;
    std::vector<std::string> listing;
    int gaugeMaximum = -1;
    int gaugePosition = -1;
    bool busy = false;
    int eventRounds = 0;
    std::function<void(MessageKind, const std::string&)> onMessage;
    std::function<void()> onEvents;
};

// A fresh temporary directory, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Installs a simulator in virtual time (in-memory chip unless options say
// otherwise) with Shared() reset to its defaults, and uninstalls it at the end.
class SimBench {
public:
    explicit SimBench(Chip model = Chip::AT89C2051, std::vector<sim::Fault> faults = {});
    explicit SimBench(const sim::Options& options);
    ~SimBench();
    sim::Simulator& sim() { return *sim_; }

private:
    sim::Simulator* sim_ = nullptr;
};

std::vector<std::uint8_t> Pattern(std::size_t size, unsigned seed = 1);
void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> ReadFile(const std::string& path);
bool Exists(const std::string& path);

struct CliResult {
    int status = -1;  // exit status, or 128 + signal
    std::string out;
    std::string err;
};
// Runs varnok-cli with `args` (no shell), standard input from /dev/null.
CliResult RunCli(const std::vector<std::string>& args,
                 const std::vector<std::string>& extraEnv = {});

}  // namespace varnok::test
