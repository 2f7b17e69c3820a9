// One adapter run at a time, program-wide. A run executes inside its button
// handler and lets events through while it waits, so a second click, an Enter
// or a close request can arrive in the middle of it; whatever they would start
// is refused, and a close is held back until the run has returned.
#pragma once

#include <functional>

namespace varnok {

// Marks a run for as long as it lives. Check started() first: a scope made
// while another run is in progress starts nothing and must be left alone.
class RunScope {
public:
    RunScope();
    ~RunScope();
    RunScope(const RunScope&) = delete;
    RunScope& operator=(const RunScope&) = delete;
    bool started() const { return started_; }

private:
    bool started_;
};

bool RunInProgress();

// Runs `action` now if no run is in progress, otherwise once the run has ended
// (in the order the actions were queued).
void WhenNoRun(std::function<void()> action);

// For a close request: true when a run is in progress, in which case `retry`
// runs once the run has ended. `pending` (the caller's own flag) makes several
// requests during one run come back as one.
bool DeferWhileRunning(bool& pending, std::function<void()> retry);

}  // namespace varnok
