// Errors that leave the core as exceptions. Each carries a message written for
// the person at the keyboard; the front ends decide how to show it.
#pragma once

#include <stdexcept>
#include <string>

namespace varnok {

// The port (real or simulated) cannot be opened or claimed. A run never starts then.
class PortError : public std::runtime_error {
public:
    enum class Cause { NotFound, Permission, Busy, Unsupported, Other };
    PortError(Cause cause, std::string device, const std::string& message)
        : std::runtime_error(message), cause_(cause), device_(std::move(device)) {}
    Cause cause() const { return cause_; }
    const std::string& device() const { return device_; }

private:
    Cause cause_;
    std::string device_;
};

// An image, scratch or output file failed in a way the run has no message of its
// own for (the "general error report" of the front ends).
class FileError : public std::runtime_error {
public:
    FileError(std::string path, int error, const std::string& message)
        : std::runtime_error(message), path_(std::move(path)), errno_(error) {}
    const std::string& path() const { return path_; }
    int errorNumber() const { return errno_; }

private:
    std::string path_;
    int errno_;
};

// Builds a FileError from errno with the platform's text ("output.tmp: Permission denied").
FileError FileErrorFromErrno(const std::string& path, const std::string& action, int error);

// Ctrl+C or SIGTERM arrived while the adapter was in use.
class RunInterrupted : public std::runtime_error {
public:
    RunInterrupted() : std::runtime_error("interrupted") {}
};

}  // namespace varnok
