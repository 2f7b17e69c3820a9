// The text trace of every port access: "# varnok-trace 1", then one
// "<ns> <W|R> <address> <value>" line per access. A programming run makes a few
// million accesses, so lines are formatted by hand into a large buffer and
// written in big blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace varnok::sim {

class TraceWriter {
public:
    // Creates (truncates) the file and writes the header line. Throws FileError.
    static std::unique_ptr<TraceWriter> Create(const std::string& path);
    // Writes what is still buffered; a failure that nobody has been told of yet
    // is dropped (see the destructor), since a destructor cannot throw.
    ~TraceWriter();
    TraceWriter(const TraceWriter&) = delete;
    TraceWriter& operator=(const TraceWriter&) = delete;

    void access(std::uint64_t ns, bool write, std::uint16_t address, std::uint8_t value) {
        if (used_ + kMaxLine > kBufferSize) flush();
        char* p = buffer_.get() + used_;
        p = PutDecimal(p, ns);
        *p++ = ' ';
        *p++ = write ? 'W' : 'R';
        *p++ = ' ';
        p = PutAddress(p, address);
        *p++ = ' ';
        *p++ = kHex[value >> 4];
        *p++ = kHex[value & 0x0F];
        *p++ = '\n';
        used_ = static_cast<std::size_t>(p - buffer_.get());
    }

    // A "#" comment line; line breaks inside `text` become spaces so that one
    // marker can never break the one-access-per-line format.
    void comment(std::string_view text);

    // Writes the buffer out. Throws FileError the first time writing fails; after
    // that the trace is dropped quietly (the failure has been reported once, and
    // the run must still be able to put the adapter idle).
    void flush();

private:
    static constexpr std::size_t kBufferSize = 1 << 20;
    static constexpr std::size_t kMaxLine = 40;  // 20 digits, "W", 4 hex digits, value, spaces
    static constexpr char kHex[] = "0123456789ABCDEF";

    TraceWriter(int fd, std::string path);

    static char* PutDecimal(char* p, std::uint64_t value) {
        char digits[20];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        while (n > 0) *p++ = digits[--n];
        return p;
    }
    static char* PutAddress(char* p, std::uint16_t address) {
        bool started = false;
        for (int shift = 12; shift >= 0; shift -= 4) {
            unsigned nibble = (address >> shift) & 0x0F;
            if (nibble != 0 || started || shift == 0) {
                *p++ = kHex[nibble];
                started = true;
            }
        }
        return p;
    }

    int fd_;
    std::string path_;
    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;
    bool failed_ = false;
};

}  // namespace varnok::sim
