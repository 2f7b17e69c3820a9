// The read-out's byte sinks: the dialog's scratch file and the command-line
// tool's outputs. Each byte goes out with its own write, as it is read.
#pragma once

#include <string>
#include <vector>

#include "chip/run_reporter.h"

namespace varnok {

// The dialog's scratch file ("output.tmp" in the working directory). A file
// of that name is replaced; a symbolic link or anything else planted under the
// name is never followed, so the read-out cannot overwrite another file.
class ScratchFileSink : public ByteSink {
public:
    explicit ScratchFileSink(std::string path = "output.tmp") : path_(std::move(path)) {}
    ~ScratchFileSink() override;
    void create() override;
    void put(std::uint8_t byte) override;
    void close() override;
    const std::string& path() const { return path_; }

private:
    std::string path_;
    int fd_ = -1;
};

// Writes beside `path` under a temporary name and renames it onto `path` only
// in commit(), so a failed or interrupted read never leaves a cut-short file
// under the user's name. Without commit() the temporary file is removed.
class AtomicFileSink : public ByteSink {
public:
    explicit AtomicFileSink(std::string path) : path_(std::move(path)) {}
    ~AtomicFileSink() override;
    void create() override;
    void put(std::uint8_t byte) override;
    void close() override;
    void commit();
    const std::string& temporaryPath() const { return temp_; }

private:
    std::string path_;
    std::string temp_;
    int fd_ = -1;
    bool committed_ = false;
};

// Keeps the bytes in memory (comparing a chip with a file, tests).
class MemorySink : public ByteSink {
public:
    void create() override { bytes.clear(); }
    void put(std::uint8_t byte) override { bytes.push_back(byte); }
    void close() override {}
    std::vector<std::uint8_t> bytes;
};

// An already open descriptor (standard output); create() and close() leave it open.
class DescriptorSink : public ByteSink {
public:
    DescriptorSink(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}
    void create() override {}
    void put(std::uint8_t byte) override;
    void close() override {}

private:
    int fd_;
    std::string name_;
};

}  // namespace varnok
