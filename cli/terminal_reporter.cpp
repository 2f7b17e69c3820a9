#include "cli/terminal_reporter.h"

#include <unistd.h>

namespace varnok {

std::string TerminalText(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '\r' ? '\n' : c;
    return out;
}

TerminalReporter::TerminalReporter(std::FILE* out, bool quiet, bool german)
    : out_(out), quiet_(quiet), german_(german), tty_(::isatty(::fileno(out)) == 1) {
    start_ = lastDraw_ = std::chrono::steady_clock::now();
}

void TerminalReporter::setByteTotal(long total, bool positionIsDone) {
    total_ = total;
    positionIsDone_ = positionIsDone;
    done_ = 0;
    start_ = std::chrono::steady_clock::now();
}

void TerminalReporter::setStatus(const std::string& text) {
    if (quiet_ || text.empty()) return;
    clearBar();
    std::fprintf(out_, "%s\n", TerminalText(text).c_str());
    std::fflush(out_);
}

void TerminalReporter::setGaugeMaximum(int) {}

void TerminalReporter::setGaugePosition(int position) {
    done_ = positionIsDone_ ? position : position - 1;
    if (done_ < 0) done_ = 0;
    drawBar(false);
}

void TerminalReporter::setBusy(bool) {}

void TerminalReporter::message(MessageKind kind, const std::string& text) {
    if (quiet_ && kind == MessageKind::Information) return;
    clearBar();
    const char* prefix = "";
    if (kind == MessageKind::Error) prefix = german_ ? "Fehler: " : "Error: ";
    if (kind == MessageKind::Warning) prefix = german_ ? "Warnung: " : "Warning: ";
    std::fprintf(out_, "%s%s\n", prefix, TerminalText(text).c_str());
    std::fflush(out_);
}

void TerminalReporter::finishProgress(bool complete) {
    if (complete) {
        done_ = total_;
        drawBar(true);
    }
    if (barShown_) {
        std::fputc('\n', out_);
        std::fflush(out_);
        barShown_ = false;
    }
}

void TerminalReporter::drawBar(bool force) {
    if (!tty_ || quiet_ || total_ <= 0) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && barShown_ && now - lastDraw_ < std::chrono::milliseconds(100)) return;
    lastDraw_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    constexpr int kWidth = 30;
    const long done = done_ > total_ ? total_ : done_;
    const int filled = static_cast<int>(kWidth * done / total_);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kWidth - filled), '-');
    std::fprintf(out_, "\r[%s] %ld/%ld Byte  %.1f s ", bar.c_str(), done, total_, seconds);
    std::fflush(out_);
    barShown_ = true;
}

void TerminalReporter::clearBar() {
    if (!barShown_) return;
    std::fputs("\r\033[K", out_);
    barShown_ = false;
}

}  // namespace varnok
