#include "app/run_guard.h"

#include <vector>

namespace varnok {

namespace {
bool g_running = false;
std::vector<std::function<void()>> g_afterRun;
}  // namespace

RunScope::RunScope() : started_(!g_running) {
    if (started_) g_running = true;
}

RunScope::~RunScope() {
    if (!started_) return;
    g_running = false;
    // An action may itself start a run (or queue more), so take the list first.
    std::vector<std::function<void()>> actions;
    actions.swap(g_afterRun);
    for (auto& action : actions) {
        if (g_running) {
            g_afterRun.push_back(std::move(action));
        } else {
            action();
        }
    }
}

bool RunInProgress() {
    return g_running;
}

void WhenNoRun(std::function<void()> action) {
    if (g_running) {
        g_afterRun.push_back(std::move(action));
    } else {
        action();
    }
}

bool DeferWhileRunning(bool& pending, std::function<void()> retry) {
    if (!RunInProgress()) return false;
    if (!pending) {
        pending = true;
        WhenNoRun([&pending, retry = std::move(retry)] {
            pending = false;
            retry();
        });
    }
    return true;
}

}  // namespace varnok
