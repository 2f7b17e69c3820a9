#include "sim/trace_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "adapter/errors.h"

namespace varnok::sim {

std::unique_ptr<TraceWriter> TraceWriter::Create(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw FileErrorFromErrno(path, "create the trace file", errno);
    std::unique_ptr<TraceWriter> writer(new TraceWriter(fd, path));
    writer->comment("varnok-trace 1");
    return writer;
}

TraceWriter::TraceWriter(int fd, std::string path)
    : fd_(fd), path_(std::move(path)), buffer_(new char[kBufferSize]) {}

TraceWriter::~TraceWriter() {
    // The front ends flush through finish() and report a failure there; what
    // is left at this point is the tail of a run that already failed for
    // another reason, which is the error the user is told about.
    try {
        flush();
    } catch (const FileError&) {
    }
    ::close(fd_);
}

void TraceWriter::comment(std::string_view text) {
    // A marker longer than the buffer is cut rather than split over two writes
    // that a failing disk could separate.
    if (text.size() > kBufferSize / 2) text = text.substr(0, kBufferSize / 2);
    if (used_ + text.size() + 3 > kBufferSize) flush();
    char* p = buffer_.get() + used_;
    *p++ = '#';
    *p++ = ' ';
    for (char c : text) *p++ = (c == '\n' || c == '\r') ? ' ' : c;
    *p++ = '\n';
    used_ = static_cast<std::size_t>(p - buffer_.get());
}

void TraceWriter::flush() {
    const char* data = buffer_.get();
    std::size_t left = used_;
    used_ = 0;
    if (failed_) return;
    while (left > 0) {
        ssize_t n = ::write(fd_, data, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            failed_ = true;
            throw FileErrorFromErrno(path_, "write the trace file", errno);
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
}

}  // namespace varnok::sim
