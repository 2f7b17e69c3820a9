#include "adapter/port_access.h"

#include <cmath>
#include <stdexcept>
#include <utility>

#include "adapter/errors.h"
#include "adapter/port_backend.h"

namespace varnok {

namespace {
std::unique_ptr<PortBackend> g_backend;
PortBackend* g_port = nullptr;  // g_backend.get(), kept apart for the busy waits' tight loops
std::function<void()> g_eventHook;
const volatile std::sig_atomic_t* g_interruptFlag = nullptr;

[[noreturn]] void NoPort() {
    throw std::logic_error("no port is open");
}

inline PortBackend& Backend() {
    if (__builtin_expect(g_port == nullptr, 0)) NoPort();
    return *g_port;
}

[[noreturn]] void Interrupted() {
    throw RunInterrupted();
}

inline void ThrowIfInterrupted() {
    if (__builtin_expect(g_interruptFlag != nullptr && *g_interruptFlag, 0)) Interrupted();
}
}  // namespace

std::unique_ptr<PortBackend> InstallPort(std::unique_ptr<PortBackend> backend) {
    std::swap(g_backend, backend);
    g_port = g_backend.get();
    return backend;
}

PortBackend* InstalledPort() {
    return g_backend.get();
}

void SetEventHook(std::function<void()> hook) {
    g_eventHook = std::move(hook);
}

void ProcessEvents() {
    if (g_eventHook) g_eventHook();
}

void WatchInterruptFlag(const volatile std::sig_atomic_t* flag) {
    g_interruptFlag = flag;
}

std::uint8_t PortRead(std::uint16_t port) {
    ThrowIfInterrupted();
    return Backend().in(port);
}

void PortWrite(std::uint16_t port, std::uint8_t value) {
    ThrowIfInterrupted();
    Backend().out(port, value);
}

std::uint16_t ReadTimerCount() {
    // Counts of the 1.193182 MHz clock since the port was opened; the counter
    // runs down from 65535 to 0 and reloads, as counter 0 of a PC timer does.
    // Floating point keeps this cheap (the busy waits call it in a tight loop),
    // and a multiplication by a positive constant never runs backwards.
    const double ns = static_cast<double>(Backend().nowNs());
    const auto counts = static_cast<std::uint64_t>(ns * (kTimerHz / 1e9));
    return static_cast<std::uint16_t>(0u - static_cast<std::uint16_t>(counts));
}

namespace {
// One algorithm for both busy waits. The pre-wait keeps the target clear of
// zero; the counter then has to move on by at least `span` counts.
void Delay(std::uint16_t threshold, std::uint16_t span) {
    std::uint16_t c = ReadTimerCount();
    while (c < threshold) c = ReadTimerCount();
    const std::uint16_t target = static_cast<std::uint16_t>(c - span);
    for (;;) {
        const std::uint16_t now = ReadTimerCount();
        // A count above c means the counter passed zero and reloaded while we were
        // not looking (the scheduler took the processor for a while): more than c,
        // so more than span, counts have gone by. Waiting for the next pass of
        // target would only add a whole timer period.
        if (now <= target || now > c) break;
    }
}
}  // namespace

void DelayLong() {
    Delay(500, 190);
}
void DelayShort() {
    Delay(50, 30);
}

std::uint32_t TickCountUs() {
    return static_cast<std::uint32_t>(Backend().nowNs() / 1000);
}

void WaitMs(std::int32_t ms) {
    // The tick is in microseconds, so "more than ms milliseconds" ends a few
    // microseconds after the mark instead of up to a whole millisecond later.
    PortBackend& backend = Backend();
    const std::uint32_t start = TickCountUs();
    const std::int64_t limitUs = static_cast<std::int64_t>(ms) * 1000;
    for (;;) {
        ThrowIfInterrupted();
        ProcessEvents();
        const std::uint32_t elapsed = TickCountUs() - start;
        if (limitUs < static_cast<std::int64_t>(static_cast<std::int32_t>(elapsed))) return;
        // Let time pass in slices, so the user interface stays alive during long waits.
        const std::int64_t remainingUs = limitUs + 1 - static_cast<std::int32_t>(elapsed);
        const std::int64_t sliceUs = remainingUs < 10000 ? remainingUs : 10000;
        backend.idleUntil(backend.nowNs() + static_cast<std::uint64_t>(sliceUs) * 1000);
    }
}

}  // namespace varnok
