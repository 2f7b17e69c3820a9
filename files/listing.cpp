#include "files/listing.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

#include "files/cp1252.h"

namespace varnok {

namespace {

constexpr char16_t kHexDigits[] = u"0123456789ABCDEF";

// One table lookup a byte instead of the code-page branch and the digit
// arithmetic; built once. A listing of a large file makes billions of these.
struct CharacterTables {
    char16_t verbatim[256];
    char16_t printable[256];
    char16_t hex[256][4];  // "AF  "
    CharacterTables() {
        for (int b = 0; b < 256; ++b) {
            const auto c = static_cast<char16_t>(Cp1252ToUnicode(static_cast<std::uint8_t>(b)));
            verbatim[b] = c;
            printable[b] = (b >= 0x20 && b <= 0x80) ? c : u'.';
            hex[b][0] = kHexDigits[b >> 4];
            hex[b][1] = kHexDigits[b & 0x0F];
            hex[b][2] = u' ';
            hex[b][3] = u' ';
        }
    }
};

const CharacterTables& Tables() {
    static const CharacterTables tables;
    return tables;
}

// Length of the valid UTF-8 sequence at the start of `s`, 0 if none starts there.
std::size_t Utf8SequenceLength(const unsigned char* s, std::size_t available) {
    const unsigned char lead = s[0];
    std::size_t length;
    char32_t min;
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        min = 0x10000;
    } else {
        return 0;
    }
    if (length > available) return 0;
    char32_t c = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((s[i] & 0xC0) != 0x80) return 0;
        c = (c << 6) | (s[i] & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    return length;
}

ReadFunction& CurrentRead() {
    static ReadFunction read;
    return read;
}

ssize_t ReadBytes(int fd, void* buffer, std::size_t count) {
    const ReadFunction& read = CurrentRead();
    return read ? read(fd, buffer, count) : ::read(fd, buffer, count);
}

// Opens `path` for reading if it is a regular file; -1 with `status` and
// `error` set if not.
int OpenRegularFile(const std::string& path, struct stat& st, FileSnapshot::Status& status,
                    int& error) {
    status = FileSnapshot::Status::OpenFailed;
    // A device is not even opened: opening one can have effects of its own.
    if (::stat(path.c_str(), &st) != 0) {
        error = errno;
        return -1;
    }
    const auto notAFile = [&] {
        status = FileSnapshot::Status::NotAFile;
        error = S_ISDIR(st.st_mode) ? EISDIR : ENODEV;
        return -1;
    };
    if (!S_ISREG(st.st_mode)) return notAFile();
    // O_NONBLOCK: should the name have become a FIFO meanwhile, opening it
    // would otherwise wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    // Checked again on what was opened. Only a regular file has an end: a
    // device may never end, a FIFO may wait.
    if (::fstat(fd, &st) != 0) {
        error = errno;
        ::close(fd);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return notAFile();
    }
    status = FileSnapshot::Status::Complete;
    error = 0;
    return fd;
}

}  // namespace

std::optional<std::uint64_t> OpenedFileSize(const std::string& path) {
    struct stat st;
    FileSnapshot::Status status;
    int error;
    const int fd = OpenRegularFile(path, st, status, error);
    if (fd < 0) return std::nullopt;
    ::close(fd);
    return static_cast<std::uint64_t>(st.st_size);
}

void SetReadFunction(ReadFunction read) {
    CurrentRead() = std::move(read);
}

void WriteLine16(const ListingFormat& format, std::span<const std::uint8_t> bytes, char16_t* out) {
    const CharacterTables& tables = Tables();
    if (format.hexadecimal) {
        for (const std::uint8_t b : bytes) {
            std::memcpy(out, tables.hex[b], sizeof tables.hex[b]);
            out += 4;
        }
        return;
    }
    const char16_t* table = format.printableOnly ? tables.printable : tables.verbatim;
    for (const std::uint8_t b : bytes) *out++ = table[b];
}

std::u16string FormatLine16(const ListingFormat& format, std::span<const std::uint8_t> bytes) {
    std::u16string line(LineLength16(format, bytes.size()), u'\0');
    WriteLine16(format, bytes, line.data());
    return line;
}

std::string FormatLineUtf8(const ListingFormat& format, std::span<const std::uint8_t> bytes) {
    const std::u16string line = FormatLine16(format, bytes);
    std::string out;
    out.reserve(line.size());
    for (const char16_t c : line) AppendUtf8(out, c);
    return out;
}

// ---- FileSnapshot ----

FileSnapshot::FileSnapshot(FileSnapshot&& other) noexcept {
    *this = std::move(other);
}

FileSnapshot& FileSnapshot::operator=(FileSnapshot&& other) noexcept {
    if (this != &other) {
        release();
        status_ = other.status_;
        error_ = other.error_;
        size_ = other.size_;
        data_ = std::exchange(other.data_, nullptr);
        length_ = std::exchange(other.length_, 0);
    }
    return *this;
}

FileSnapshot::~FileSnapshot() {
    release();
}

void FileSnapshot::release() {
    std::free(data_);
    data_ = nullptr;
    length_ = 0;
}

FileSnapshot FileSnapshot::FromBytes(std::span<const std::uint8_t> bytes, Status status,
                                     int error) {
    FileSnapshot snapshot;
    snapshot.status_ = status;
    snapshot.error_ = error;
    snapshot.size_ = bytes.size();
    if (!bytes.empty()) {
        snapshot.data_ = static_cast<std::uint8_t*>(std::malloc(bytes.size()));
        if (!snapshot.data_) {
            snapshot.status_ = Status::TooLarge;
            snapshot.error_ = ENOMEM;
            return snapshot;
        }
        std::memcpy(snapshot.data_, bytes.data(), bytes.size());
        snapshot.length_ = bytes.size();
    }
    return snapshot;
}

std::uint64_t FileSnapshot::DefaultLimit() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return std::uint64_t{1} << 30;
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize) / 2;
}

FileSnapshot FileSnapshot::Read(const std::string& path, std::uint64_t limit) {
    FileSnapshot snapshot;
    struct stat st;
    const int fd = OpenRegularFile(path, st, snapshot.status_, snapshot.error_);
    if (fd < 0) return snapshot;
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};
    snapshot.size_ = static_cast<std::uint64_t>(st.st_size);

    // The file may grow or shrink while it is read; its length at open only
    // sizes the first allocation. malloc/realloc rather than a vector: a huge
    // buffer is not zeroed first, and growing it is a remap, not a copy.
    limit = std::min<std::uint64_t>(limit, std::numeric_limits<std::size_t>::max() / 2);
    if (snapshot.size_ > limit) {
        snapshot.status_ = Status::TooLarge;
        snapshot.error_ = EFBIG;
        return snapshot;
    }
    std::size_t capacity = static_cast<std::size_t>(snapshot.size_);
    std::uint8_t* data = nullptr;
    if (capacity > 0) {
        data = static_cast<std::uint8_t*>(std::malloc(capacity));
        if (!data) {
            snapshot.status_ = Status::TooLarge;
            snapshot.error_ = ENOMEM;
            return snapshot;
        }
    }
    std::size_t length = 0;
    constexpr std::size_t kMaxRead = std::size_t{1} << 30;
    for (;;) {
        if (length == capacity) {
            // Full as far as the length at open said: see whether more follows.
            std::uint8_t probe[65536];
            const ssize_t n = ReadBytes(fd, probe, sizeof probe);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                if (n < 0) {
                    snapshot.status_ = Status::ReadFailed;
                    snapshot.error_ = errno;
                } else {
                    snapshot.status_ = Status::Complete;
                }
                break;
            }
            // A file that grows while it is read is followed up to the limit.
            const std::size_t grown = std::max(capacity * 2, capacity + 4 * sizeof probe);
            auto* bigger = length + static_cast<std::size_t>(n) > limit
                               ? nullptr
                               : static_cast<std::uint8_t*>(std::realloc(data, grown));
            if (!bigger) {
                std::free(data);
                snapshot.status_ = Status::TooLarge;
                snapshot.error_ = length + static_cast<std::size_t>(n) > limit ? EFBIG : ENOMEM;
                return snapshot;
            }
            data = bigger;
            capacity = grown;
            std::memcpy(data + length, probe, static_cast<std::size_t>(n));
            length += static_cast<std::size_t>(n);
            continue;
        }
        const ssize_t n = ReadBytes(fd, data + length, std::min(capacity - length, kMaxRead));
        if (n < 0) {
            if (errno == EINTR) continue;
            snapshot.status_ = Status::ReadFailed;
            snapshot.error_ = errno;
            break;
        }
        if (n == 0) {
            snapshot.status_ = Status::Complete;
            break;
        }
        length += static_cast<std::size_t>(n);
    }
    snapshot.data_ = data;
    snapshot.length_ = length;
    return snapshot;
}

// ---- Listing ----

Listing::Listing(FileSnapshot snapshot, const ListingFormat& format)
    : snapshot_(std::move(snapshot)), format_(format) {
    const std::size_t n = format_.bytesPerLine;
    switch (snapshot_.status()) {
        case FileSnapshot::Status::Complete:
            lineCount_ = snapshot_.bytes().size() / n + 1;
            break;
        case FileSnapshot::Status::ReadFailed:
            lineCount_ = snapshot_.bytes().size() / n;
            break;
        default:
            lineCount_ = 0;
            break;
    }
}

std::span<const std::uint8_t> Listing::lineBytes(std::size_t line) const {
    if (line >= lineCount_) return {};
    const std::span<const std::uint8_t> all = snapshot_.bytes();
    const std::size_t first = line * format_.bytesPerLine;
    return all.subspan(first, std::min(format_.bytesPerLine, all.size() - first));
}

std::string CutToCharacters(const std::string& name, std::size_t limit) {
    const auto* s = reinterpret_cast<const unsigned char*>(name.data());
    std::size_t pos = 0;
    for (std::size_t count = 0; count < limit && pos < name.size(); ++count) {
        const std::size_t length = Utf8SequenceLength(s + pos, name.size() - pos);
        pos += length == 0 ? 1 : length;
    }
    return name.substr(0, pos);
}

}  // namespace varnok
