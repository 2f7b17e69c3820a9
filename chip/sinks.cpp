#include "chip/sinks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "adapter/errors.h"

namespace varnok {

namespace {

void WriteByte(int fd, std::uint8_t byte, const std::string& name) {
    for (;;) {
        const ssize_t n = ::write(fd, &byte, 1);
        if (n == 1) return;
        if (n < 0 && errno == EINTR) continue;
        throw FileErrorFromErrno(name, "cannot write", n < 0 ? errno : EIO);
    }
}

void CloseChecked(int& fd, const std::string& name) {
    if (fd < 0) return;
    const int result = ::close(fd);
    fd = -1;
    if (result != 0 && errno != EINTR) throw FileErrorFromErrno(name, "cannot write", errno);
}

mode_t CurrentUmask() {
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

}  // namespace

ScratchFileSink::~ScratchFileSink() {
    if (fd_ >= 0) ::close(fd_);
}

void ScratchFileSink::create() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    // Remove whatever has the name (a stale scratch file, or a link someone
    // planted), then create the file anew; O_EXCL|O_NOFOLLOW make sure the
    // name is not re-planted between the two steps.
    if (::unlink(path_.c_str()) != 0 && errno != ENOENT)
        throw FileErrorFromErrno(path_, "cannot create", errno);
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd_ < 0) throw FileErrorFromErrno(path_, "cannot create", errno);
}

void ScratchFileSink::put(std::uint8_t byte) {
    WriteByte(fd_, byte, path_);
}

void ScratchFileSink::close() {
    CloseChecked(fd_, path_);
}

AtomicFileSink::~AtomicFileSink() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_ && !temp_.empty()) ::unlink(temp_.c_str());
}

void AtomicFileSink::create() {
    const auto slash = path_.find_last_of('/');
    const std::string dir = slash == std::string::npos ? std::string() : path_.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path_ : path_.substr(slash + 1);
    std::string pattern = dir + "." + name + ".XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    fd_ = ::mkostemp(buffer.data(), O_CLOEXEC);
    if (fd_ < 0) throw FileErrorFromErrno(path_, "cannot create", errno);
    temp_ = buffer.data();
    // mkostemp makes the file private; an output file gets the usual permissions.
    ::fchmod(fd_, 0666 & ~CurrentUmask());
}

void AtomicFileSink::put(std::uint8_t byte) {
    WriteByte(fd_, byte, path_);
}

void AtomicFileSink::close() {
    if (fd_ >= 0 && ::fsync(fd_) != 0 && errno != EINVAL)
        throw FileErrorFromErrno(path_, "cannot write", errno);
    CloseChecked(fd_, path_);
}

void AtomicFileSink::commit() {
    if (::rename(temp_.c_str(), path_.c_str()) != 0)
        throw FileErrorFromErrno(path_, "cannot create", errno);
    committed_ = true;
}

void DescriptorSink::put(std::uint8_t byte) {
    WriteByte(fd_, byte, name_);
}

}  // namespace varnok
