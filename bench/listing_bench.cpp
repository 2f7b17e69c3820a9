// How long a complete preview and a complete viewer listing of a 256 MiB file
// take, and how much memory they need at their peak. Every line's text is made
// once, as a list scrolled through from the first line to the last would make
// it, and the list box is drawn at its top and at its end.
//
//   varnok-listing-bench [MiB] [directory]
//
// Each read starts with the file out of the page cache, unless
// VARNOK_BENCH_WARM is set.

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QScrollBar>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "files/listing.h"
#include "files/listing_model.h"
#include "files/listing_view.h"

namespace {

// Peak resident set since the last reset, in KiB.
long PeakKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

long CurrentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

// Drops the file's pages from the page cache, so that the next read comes
// from the disk, as for a file not touched since the machine started.
void DropFromCache(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

// Starts a new peak from the present resident set (Linux 4.0 and later).
void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

bool MakeFile(const std::string& path, std::size_t bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<char> block(1 << 20);
    std::uint32_t x = 12345;
    for (std::size_t done = 0; done < bytes && out;) {
        for (char& c : block) {
            x = x * 1103515245u + 12345u;
            c = static_cast<char>(x >> 24);
        }
        const std::size_t n = std::min(block.size(), bytes - done);
        out.write(block.data(), static_cast<std::streamsize>(n));
        done += n;
    }
    return static_cast<bool>(out);
}

struct Phase {
    const char* name;
    varnok::ListingFormat format;
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
    std::string dir = argc > 2 ? argv[2] : "";
    if (dir.empty())
        dir = qEnvironmentVariableIsEmpty("TMPDIR") ? "/tmp" : qgetenv("TMPDIR").toStdString();
    const std::string path = dir + "/varnok-listing-bench.bin";
    const std::size_t bytes = mib << 20;
    if (!MakeFile(path, bytes)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }

    varnok::ListingModel model;
    varnok::ListingView view;
    view.setModel(&model);
    view.resize(417, 162);
    QImage canvas(view.size(), QImage::Format_ARGB32);

    std::printf("file: %zu MiB (%zu bytes) at %s\n", mib, bytes, path.c_str());
    const bool cold = !qEnvironmentVariableIsSet("VARNOK_BENCH_WARM");
    std::printf("reads: %s\n",
                cold ? "from the disk (page cache dropped before each)" : "from the page cache");
    std::printf("%-22s %10s %10s %12s %12s %8s\n", "listing", "read ms", "total ms", "lines",
                "peak MiB", "x size");
    const Phase phases[] = {
        {"preview characters", varnok::kPreviewCharacters},
        {"preview hexadecimal", varnok::kPreviewHexadecimal},
        {"viewer characters", varnok::kViewerCharacters},
        {"viewer hexadecimal", varnok::kViewerHexadecimal},
    };
    int status = 0;
    for (const Phase& phase : phases) {
        model.clear();
        if (cold) DropFromCache(path);
        ResetPeak();
        const long baseKiB = CurrentKiB();
        QElapsedTimer timer;
        timer.start();

        varnok::FileSnapshot snapshot =
            varnok::FileSnapshot::Read(path, varnok::ListingModel::ByteLimit(phase.format));
        if (snapshot.status() != varnok::FileSnapshot::Status::Complete) {
            std::fprintf(stderr, "%s: cannot read the file\n", phase.name);
            return 1;
        }
        const double readMs = timer.nsecsElapsed() / 1e6;
        model.setListing(varnok::Listing(std::move(snapshot), phase.format));
        view.render(&canvas);

        // Every line once, as a list scrolled from top to bottom asks for it.
        const int rows = model.rowCount();
        qsizetype characters = 0;
        for (int row = 0; row < rows; ++row) characters += view.rowText(row).size();
        view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());
        view.render(&canvas);
        const double totalMs = timer.nsecsElapsed() / 1e6;

        const long peakKiB = PeakKiB();
        const double ratio = static_cast<double>(peakKiB) * 1024.0 / static_cast<double>(bytes);
        std::printf("%-22s %10.0f %10.0f %12d %12.1f %8.2f   (%lld characters; %.1f MiB before)\n",
                    phase.name, readMs, totalMs, rows, peakKiB / 1024.0, ratio,
                    static_cast<long long>(characters), baseKiB / 1024.0);
        if (totalMs > 2000 || ratio > 1.5) status = 2;
    }
    model.clear();
    std::remove(path.c_str());
    std::printf("targets (under 2000 ms, under 1.5 x size): %s\n", status == 0 ? "met" : "MISSED");
    return status;
}
