// The chip runs on a terminal: status lines and messages on standard error,
// and a progress bar when standard error is a terminal.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "chip/run_reporter.h"

namespace varnok {

class TerminalReporter : public RunReporter {
public:
    TerminalReporter(std::FILE* out, bool quiet, bool german);

    // Bytes the bar counts to, and whether the gauge position counts bytes
    // already done (read-out) or the byte now being done (programming).
    void setByteTotal(long total, bool positionIsDone);

    void setStatus(const std::string& text) override;
    void setGaugeMaximum(int maximum) override;
    void setGaugePosition(int position) override;
    void setBusy(bool busy) override;
    void message(MessageKind kind, const std::string& text) override;
    void processEvents() override {}

    // Prints a message of our own (not a run's) in the same form as the runs'.
    void note(MessageKind kind, const std::string& text) { message(kind, text); }
    // Completes the bar (if one is shown) so the next line starts clean.
    void finishProgress(bool complete);

private:
    void drawBar(bool force);
    void clearBar();

    std::FILE* out_;
    bool quiet_;
    bool german_;
    bool tty_;
    long total_ = 0;
    bool positionIsDone_ = true;
    long done_ = 0;
    bool barShown_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
};

// "\r" inside a message breaks the line (the original's message boxes did so).
std::string TerminalText(const std::string& text);

}  // namespace varnok
