// Wall-clock time for the backends that drive real hardware (and the
// simulator's real-time mode): monotonic, in nanoseconds since opening.
#pragma once

#include <cerrno>
#include <cstdint>
#include <ctime>

namespace varnok {

class RealClock {
public:
    RealClock() : origin_(Raw()) {}
    std::uint64_t nowNs() const { return Raw() - origin_; }

    // Sleeps until shortly before the deadline; the caller's polling does the
    // rest, because the kernel's wake-up lateness would otherwise land on every wait.
    void idleUntil(std::uint64_t deadlineNs) const {
        constexpr std::uint64_t kMargin = 150'000;
        const std::uint64_t now = nowNs();
        if (deadlineNs <= now + kMargin) return;
        const std::uint64_t wake = origin_ + deadlineNs - kMargin;
        timespec ts{static_cast<time_t>(wake / 1'000'000'000),
                    static_cast<long>(wake % 1'000'000'000)};
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
        }
    }

private:
    static std::uint64_t Raw() {
        timespec ts;
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return static_cast<std::uint64_t>(ts.tv_sec) * 1'000'000'000u +
               static_cast<std::uint64_t>(ts.tv_nsec);
    }
    std::uint64_t origin_;
};

}  // namespace varnok
