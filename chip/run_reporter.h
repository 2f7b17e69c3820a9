// How a chip run talks to whoever started it: the dialogs implement this with
// widgets, the command-line tool on a terminal, the tests by recording.
#pragma once

#include <cstdint>
#include <string>

namespace varnok {

enum class MessageKind { Error, Warning, Information };

class RunReporter {
public:
    virtual ~RunReporter() = default;
    virtual void setStatus(const std::string& text) = 0;  // the status line ("" empties it)
    virtual void setGaugeMaximum(int maximum) = 0;
    virtual void setGaugePosition(int position) = 0;
    virtual void setBusy(bool busy) = 0;  // busy pointer on or off
    // Blocks until the user has answered (a message box with one OK button).
    virtual void message(MessageKind kind, const std::string& text) = 0;
    virtual void clearListing() {}
    virtual void addListingLine(const std::string& /*line*/) {}
    // Lets pending user-interface events run (status updates are followed by this).
    virtual void processEvents() = 0;
};

// Where the read-out writes its bytes, one at a time as they are read.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Creates (or empties) the target; throws FileError if it cannot.
    virtual void create() = 0;
    virtual void put(std::uint8_t byte) = 0;
    virtual void close() = 0;
};

}  // namespace varnok
