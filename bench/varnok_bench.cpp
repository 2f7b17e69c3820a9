// Speed figures for the chip runs on the simulator.
//
//  (a) processor time to program and read back a whole AT89C4051 (4096 bytes)
//      on the simulator in virtual time;
//  (b) with the real clock and a port that costs nothing (the simulator in
//      real-time mode), the wall time of programming N bytes divided by the
//      protocol's floor: every mandated wait at its minimum, 5330 timer counts
//      and 120 ms per run plus 9110 timer counts and 4 ms per byte.
//
// Usage: varnok-bench [N]   (N bytes for (b), default 128; 0 skips (b))
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "adapter/port_access.h"
#include "adapter/port_backend.h"
#include "app/shared_state.h"
#include "chip/runs.h"
#include "chip/sinks.h"
#include "sim/simulator.h"

namespace {

using namespace varnok;

class QuietReporter : public RunReporter {
public:
    void setStatus(const std::string&) override {}
    void setGaugeMaximum(int) override {}
    void setGaugePosition(int) override {}
    void setBusy(bool) override {}
    void message(MessageKind kind, const std::string& text) override {
        if (kind != MessageKind::Information)
            std::fprintf(stderr, "unexpected message: %s\n", text.c_str());
        failed = failed || kind != MessageKind::Information;
    }
    void processEvents() override {}
    bool failed = false;
};

double CpuSeconds() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

std::string WriteImage(std::size_t size) {
    char path[] = "/tmp/varnok-bench-XXXXXX";
    const int fd = mkstemp(path);
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 37 + 11);
    if (fd < 0 || write(fd, bytes.data(), size) != static_cast<ssize_t>(size)) std::exit(2);
    close(fd);
    return path;
}

void Prepare(sim::TimeMode time, const std::string& image) {
    Shared() = SharedState{};
    Shared().ChipType = Chip::AT89C4051;
    Shared().LockBitOption = false;
    Shared().ImageFile = image;
    Shared().ImageFileBound = true;
    sim::Options options;
    options.model = Chip::AT89C4051;
    options.time = time;
    InstallPort(sim::Simulator::Open(options));
}

int BenchVirtual() {
    const std::string image = WriteImage(4096);
    std::vector<double> program, read;
    for (int round = 0; round < 7; ++round) {
        Prepare(sim::TimeMode::Virtual, image);
        QuietReporter reporter;
        double t0 = CpuSeconds();
        const ProgramOutcome outcome = OKButtonClick(reporter);
        double t1 = CpuSeconds();
        MemorySink sink;
        StartBTNClick(reporter, sink);
        double t2 = CpuSeconds();
        InstallPort(nullptr);
        if (outcome.result != ProgramResult::Success || sink.bytes.size() != 4096 ||
            reporter.failed) {
            std::fprintf(stderr, "the virtual-time run failed\n");
            return 1;
        }
        program.push_back(t1 - t0);
        read.push_back(t2 - t1);
    }
    std::remove(image.c_str());
    std::sort(program.begin(), program.end());
    std::sort(read.begin(), read.end());
    const double p = program[program.size() / 2] * 1e3, r = read[read.size() / 2] * 1e3;
    std::printf("(a) virtual time, AT89C4051, 4096 bytes (median of 7, CPU time):\n");
    std::printf("    programming run with verify  %8.2f ms\n", p);
    std::printf("    read-out run                 %8.2f ms\n", r);
    std::printf("    program and read back        %8.2f ms   (target < 50 ms)\n", p + r);
    return 0;
}

int BenchRealTime(int bytes) {
    const std::string image = WriteImage(static_cast<std::size_t>(bytes));
    Prepare(sim::TimeMode::Real, image);
    QuietReporter reporter;
    const auto t0 = std::chrono::steady_clock::now();
    const ProgramOutcome outcome = OKButtonClick(reporter);
    const auto t1 = std::chrono::steady_clock::now();
    InstallPort(nullptr);
    std::remove(image.c_str());
    if (outcome.result != ProgramResult::Success || outcome.bytesDone != bytes) {
        std::fprintf(stderr, "the real-time run failed\n");
        return 1;
    }
    const double wall = std::chrono::duration<double>(t1 - t0).count();
    const double floor = (5330.0 + 9110.0 * bytes) / kTimerHz + 0.120 + 0.004 * bytes;
    std::printf("(b) real clock, simulator as a port that costs nothing, %d bytes:\n", bytes);
    std::printf("    wall time %.3f s, protocol floor %.3f s, ratio %.4f   (target <= 1.02)\n",
                wall, floor, wall / floor);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const int bytes = argc > 1 ? std::atoi(argv[1]) : 128;
    if (int status = BenchVirtual()) return status;
    if (bytes > 0) return BenchRealTime(bytes);
    return 0;
}
