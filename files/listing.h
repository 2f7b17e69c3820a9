// Byte listings of a file, as the file-selection preview and the viewer show
// them: a fixed number of bytes a line, in character or hexadecimal form.
//
// A file is read into memory once, as a snapshot; a line's text is made only
// when someone asks for it. Line i covers the bytes [i*n, i*n+n), so nothing
// per line is ever stored: a listing of a disk image picked by mistake costs
// its bytes and nothing more.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace varnok {

// How bytes become the text of a line.
struct ListingFormat {
    std::size_t bytesPerLine;
    bool hexadecimal;
    // Character form: show only 20h to 80h as themselves, anything else as ".".
    bool printableOnly;
};

inline constexpr ListingFormat kPreviewCharacters{32, false, true};
inline constexpr ListingFormat kPreviewHexadecimal{8, true, false};
inline constexpr ListingFormat kViewerCharacters{56, false, false};
inline constexpr ListingFormat kViewerHexadecimal{16, true, false};

constexpr ListingFormat PreviewFormat(bool hexadecimal) {
    return hexadecimal ? kPreviewHexadecimal : kPreviewCharacters;
}
constexpr ListingFormat ViewerFormat(bool hexadecimal) {
    return hexadecimal ? kViewerHexadecimal : kViewerCharacters;
}

// Length in UTF-16 code units of the text of `byteCount` bytes. Every
// Windows-1252 character lies in the Basic Multilingual Plane, so a character
// is one unit and a hexadecimal value ("AF  ") four.
constexpr std::size_t LineLength16(const ListingFormat& format, std::size_t byteCount) {
    return format.hexadecimal ? 4 * byteCount : byteCount;
}
// Writes the text of `bytes` to `out`, which must hold LineLength16 units.
void WriteLine16(const ListingFormat& format, std::span<const std::uint8_t> bytes, char16_t* out);
std::u16string FormatLine16(const ListingFormat& format, std::span<const std::uint8_t> bytes);
std::string FormatLineUtf8(const ListingFormat& format, std::span<const std::uint8_t> bytes);

// The whole content of a file, read from its first byte to its end, or up to
// the byte that could not be read.
class FileSnapshot {
public:
    enum class Status {
        Complete,    // every byte up to the end of the file
        OpenFailed,  // missing, no permission, bad name: nothing read
        NotAFile,    // a directory, FIFO, device or socket: never read, so never blocks
        TooLarge,    // longer than the limit, or no memory for it: nothing kept
        ReadFailed,  // bytes() holds what was read before the failing byte
    };

    // Reads `path` at once. Opening never blocks, whatever the path names. A
    // file longer than `limit` bytes is not read but reported TooLarge.
    static FileSnapshot Read(const std::string& path, std::uint64_t limit = DefaultLimit());
    // Half the machine's physical memory: a file beyond it would push the
    // machine into swapping or the out-of-memory killer before it was listed.
    static std::uint64_t DefaultLimit();

    FileSnapshot() = default;
    FileSnapshot(FileSnapshot&& other) noexcept;
    FileSnapshot& operator=(FileSnapshot&& other) noexcept;
    FileSnapshot(const FileSnapshot&) = delete;
    FileSnapshot& operator=(const FileSnapshot&) = delete;
    ~FileSnapshot();

    Status status() const { return status_; }
    bool opened() const {
        return status_ == Status::Complete || status_ == Status::ReadFailed ||
               status_ == Status::TooLarge;
    }
    // errno of the failure, 0 when complete.
    int error() const { return error_; }
    // The file's length when it was opened: what a size line or caption shows.
    std::uint64_t size() const { return size_; }
    std::span<const std::uint8_t> bytes() const { return {data_, length_}; }

    // For tests and simulated faults: a snapshot made from given bytes.
    static FileSnapshot FromBytes(std::span<const std::uint8_t> bytes, Status status,
                                  int error = 0);

private:
    void release();

    Status status_ = Status::OpenFailed;
    int error_ = 0;
    std::uint64_t size_ = 0;
    std::uint8_t* data_ = nullptr;
    std::size_t length_ = 0;
};

// The lines of a snapshot in one format, with the trailing item that a
// completed build adds: the last partial line, or an empty item when the
// length is a multiple of the line length (so an empty file gives one empty
// item). After a read error the unfinished line is dropped and only the lines
// completed before it remain. A file that could not be opened has no lines.
class Listing {
public:
    Listing() = default;
    Listing(FileSnapshot snapshot, const ListingFormat& format);

    const FileSnapshot& snapshot() const { return snapshot_; }
    const ListingFormat& format() const { return format_; }
    std::size_t lineCount() const { return lineCount_; }

    std::span<const std::uint8_t> lineBytes(std::size_t line) const;
    std::size_t lineLength16(std::size_t line) const {
        return LineLength16(format_, lineBytes(line).size());
    }
    void writeLine16(std::size_t line, char16_t* out) const {
        WriteLine16(format_, lineBytes(line), out);
    }
    std::u16string line16(std::size_t line) const { return FormatLine16(format_, lineBytes(line)); }
    std::string lineUtf8(std::size_t line) const {
        return FormatLineUtf8(format_, lineBytes(line));
    }

private:
    FileSnapshot snapshot_;
    ListingFormat format_ = kViewerCharacters;
    std::size_t lineCount_ = 0;
};

// The length of the regular file at `path`, opened for reading the way a
// snapshot opens it (never blocking); nothing if it cannot be opened or is not
// a regular file.
std::optional<std::uint64_t> OpenedFileSize(const std::string& path);

// The call that reads a file's bytes (read(2) unless replaced). Replaceable so
// that a read error at a chosen byte can be produced on purpose; an empty
// function puts read(2) back.
using ReadFunction = std::function<ssize_t(int fd, void* buffer, std::size_t count)>;
void SetReadFunction(ReadFunction read);

// `name` cut to its first `limit` characters. A character is a whole UTF-8
// sequence; a byte that starts no valid sequence counts as one character, so a
// name in another encoding is cut without being altered.
std::string CutToCharacters(const std::string& name, std::size_t limit);

}  // namespace varnok
