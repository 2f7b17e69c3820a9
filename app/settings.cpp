#include "app/settings.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

// The file is handled line by line rather than through an ini library: a
// library that parses the file into a tree and prints the tree again loses a
// comment after the last entry, drops lines it does not understand, reflows
// blank lines and respaces every foreign "key = value". Here each line that is
// not one of our seven keys goes back out exactly as it came in.

namespace varnok {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view s) {
    auto blank = [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
    };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

bool IsQuote(char c) {
    return c == '"' || c == '\'';
}

// Lines without their '\n'; a '\r' of a CRLF file stays on the line.
std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        if (end == std::string_view::npos) {
            lines.push_back(text);
            break;
        }
        lines.push_back(text.substr(0, end));
        text.remove_prefix(end + 1);
    }
    return lines;
}

struct LineInfo {
    enum class Kind { Other, Section, Entry } kind = Kind::Other;
    std::string_view name;   // section or key name
    std::string_view value;  // entry value, trimmed and unquoted
};

LineInfo Classify(std::string_view line, bool first) {
    if (first && line.substr(0, kUtf8Bom.size()) == kUtf8Bom) line.remove_prefix(kUtf8Bom.size());
    line = Trim(line);
    LineInfo info;
    if (line.empty() || line.front() == ';' || line.front() == '#') return info;
    if (line.front() == '[') {
        const std::size_t close = line.find(']');
        if (close == std::string_view::npos) return info;
        info.kind = LineInfo::Kind::Section;
        info.name = Trim(line.substr(1, close - 1));
        return info;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return info;
    info.name = Trim(line.substr(0, equals));
    if (info.name.empty()) return info;
    info.kind = LineInfo::Kind::Entry;
    std::string_view value = Trim(line.substr(equals + 1));
    if (value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    info.value = value;
    return info;
}

// The file's lines with the extent of the first [option] section. Only that
// section counts, for reading and writing alike, so both always agree on
// which line a key is.
struct IniLines {
    std::vector<std::string_view> lines;
    std::vector<LineInfo> info;
    std::size_t sectionStart = std::string_view::npos;  // index of the header line
    std::size_t sectionEnd = 0;                         // one past the section's last line

    explicit IniLines(std::string_view text) : lines(SplitLines(text)) {
        info.reserve(lines.size());
        for (std::size_t i = 0; i < lines.size(); ++i) info.push_back(Classify(lines[i], i == 0));
        for (std::size_t i = 0; i < info.size(); ++i) {
            if (info[i].kind == LineInfo::Kind::Section &&
                EqualsNoCase(info[i].name, kSettingsSection)) {
                sectionStart = i;
                break;
            }
        }
        if (!hasSection()) return;
        sectionEnd = sectionStart + 1;
        while (sectionEnd < info.size() && info[sectionEnd].kind != LineInfo::Kind::Section)
            ++sectionEnd;
    }

    bool hasSection() const { return sectionStart != std::string_view::npos; }

    std::size_t find(std::string_view key) const {
        if (!hasSection()) return std::string_view::npos;
        for (std::size_t i = sectionStart + 1; i < sectionEnd; ++i)
            if (info[i].kind == LineInfo::Kind::Entry && EqualsNoCase(info[i].name, key)) return i;
        return std::string_view::npos;
    }

    std::optional<std::string_view> value(std::string_view key) const {
        const std::size_t i = find(key);
        if (i == std::string_view::npos) return std::nullopt;
        return info[i].value;
    }
};

// Decimal, or hexadecimal after "$" or after "0x"/"0X" when the value is longer
// than those two characters. Anything else, or a number beyond 32 bits, is not a number.
std::optional<long long> ParseInteger(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    unsigned base = 10;
    if (!text.empty() && text.front() == '$') {
        base = 16;
        text.remove_prefix(1);
    } else if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return std::nullopt;
    unsigned long long number = 0;
    for (char c : text) {
        unsigned digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (base == 16 && LowerAscii(c) >= 'a' && LowerAscii(c) <= 'f') {
            digit = static_cast<unsigned>(LowerAscii(c) - 'a' + 10);
        } else {
            return std::nullopt;
        }
        number = number * base + digit;
        if (number > 0xFFFFFFFFull) return std::nullopt;
    }
    const long long value = static_cast<long long>(number);
    return negative ? -value : value;
}

long long IntegerOr(const IniLines& ini, std::string_view key, long long fallback) {
    const std::optional<std::string_view> text = ini.value(key);
    if (!text) return fallback;
    return ParseInteger(*text).value_or(fallback);
}

std::uint8_t LowByte(long long value) {
    return static_cast<std::uint8_t>(static_cast<unsigned long long>(value) & 0xFF);
}

// The first `limit` characters of UTF-8 text; a character is never split.
std::string CutCharacters(std::string_view text, std::size_t limit) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool continuation = (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80;
        if (!continuation && characters++ == limit) return std::string(text.substr(0, i));
    }
    return std::string(text);
}

bool IsPrintableAscii(char c) {
    return c > ' ' && c < 0x7F;
}

// A value as it goes into the file. A line break inside it would end the line
// and let the rest be read as a line of its own (a key, a section), so such a
// value is not stored at all. Quotes keep outer blanks, and quotes of its own,
// through the trimming and unquoting of the reader.
std::string FileValue(std::string_view value) {
    if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) return {};
    const bool needsQuotes =
        Trim(value).size() != value.size() ||
        (value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front());
    if (needsQuotes) return "\"" + std::string(value) + "\"";
    return std::string(value);
}

std::string SystemReason(const std::string& path, int error) {
    return path + ": " + std::strerror(error);
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// A settings file kept as a symbolic link (into a dotfiles repository, say)
// stays a link: the file it points to is the one replaced.
std::string ResolveLink(const std::string& path) {
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
        std::vector<char> buffer(static_cast<std::size_t>(PATH_MAX) + 1);
        const ssize_t n = ::readlink(current.c_str(), buffer.data(), buffer.size() - 1);
        if (n <= 0) return current;
        std::string target(buffer.data(), static_cast<std::size_t>(n));
        current = target.front() == '/' ? target : DirectoryOf(current) + "/" + target;
    }
    return current;
}

// Creates `dir` and its missing parents; true if it exists afterwards.
bool MakeDirectories(const std::string& dir, int* error) {
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return true;
        *error = ENOTDIR;
        return false;
    }
    const std::string parent = DirectoryOf(dir);
    if (parent != dir && !MakeDirectories(parent, error)) return false;
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        *error = errno;
        return false;
    }
    return true;
}

enum class ReadStatus { Ok, Missing, Failed };

ReadStatus ReadWholeFile(const std::string& path, std::string* content, int* error) {
    content->clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = errno;
        return errno == ENOENT ? ReadStatus::Missing : ReadStatus::Failed;
    }
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            *error = errno;
            ::close(fd);
            return ReadStatus::Failed;
        }
        content->append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return ReadStatus::Ok;
}

bool WriteAll(int fd, std::string_view data, int* error) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            *error = errno;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

SettingsWriteResult Failure(const std::string& path, int error) {
    return {false, CannotWriteSettingsMessage(), SystemReason(path, error)};
}

}  // namespace

std::string SettingsDirectory() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') return xdg;
    std::string home;
    if (const char* env = std::getenv("HOME"); env && *env) {
        home = env;
    } else if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) {
        home = pw->pw_dir;
    } else {
        return ".";
    }
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    return home + "/.config";
}

std::string SettingsFilePath() {
    return SettingsDirectory() + "/" + kSettingsFileName;
}

SettingsRecord DefaultSettings() {
    return SettingsRecord{};
}

SettingsRecord ParseSettings(std::string_view text) {
    const IniLines ini(text);
    SettingsRecord record;
    record.languageCode = LowByte(IntegerOr(ini, "Sprache", 1));
    record.ImageDirectory = CutCharacters(ini.value("Pfad").value_or(""), kImageDirectoryLimit);
    const std::string_view drive = ini.value("Laufwerk").value_or("C");
    // One byte holds the letter; a first character outside printable ASCII
    // cannot be kept whole, so the default takes its place as for an empty value.
    record.ImageDrive = !drive.empty() && IsPrintableAscii(drive.front()) ? drive.front() : 'C';
    record.chipCode = LowByte(IntegerOr(ini, "typ", 2));
    record.portCode = LowByte(IntegerOr(ini, "lpt", 1));
    record.lockBit = IntegerOr(ini, "lookbit", 1) != 0;
    record.ImageFileName = CutCharacters(ini.value("datei").value_or(""), kImageFileNameLimit);
    return record;
}

SettingsRecord ReadSettings(const std::string& path) {
    std::string content;
    int error = 0;
    if (ReadWholeFile(path, &content, &error) != ReadStatus::Ok) return DefaultSettings();
    return ParseSettings(content);
}

std::string UpdateSettingsText(std::string_view existing, const SettingsRecord& record) {
    const IniLines ini(existing);
    std::vector<std::string> out(ini.lines.begin(), ini.lines.end());
    const bool crlf = !out.empty() && !out.front().empty() && out.front().back() == '\r';
    const std::string lineEnd = crlf ? "\r" : "";

    // New keys go after the section's last entry, so comments and blank lines
    // that lead into the next section stay with it. Every key already present
    // lies before that point, so its index in `out` never moves.
    std::size_t insertAt = 0;
    if (ini.hasSection()) {
        insertAt = ini.sectionStart + 1;
        for (std::size_t i = ini.sectionStart + 1; i < ini.sectionEnd; ++i)
            if (ini.info[i].kind == LineInfo::Kind::Entry) insertAt = i + 1;
    } else {
        out.push_back(std::string("[") + kSettingsSection + "]" + lineEnd);
        insertAt = out.size();
    }

    const char drive = IsPrintableAscii(record.ImageDrive) ? record.ImageDrive : 'C';
    const std::pair<const char*, std::string> keys[] = {
        {"Sprache", std::to_string(record.languageCode)},
        {"Pfad", FileValue(CutCharacters(record.ImageDirectory, kImageDirectoryLimit))},
        {"Laufwerk", std::string(1, drive)},
        {"typ", std::to_string(record.chipCode)},
        {"lpt", std::to_string(record.portCode)},
        {"lookbit", record.lockBit ? "1" : "0"},
        {"datei", FileValue(CutCharacters(record.ImageFileName, kImageFileNameLimit))},
    };
    for (const auto& [key, value] : keys) {
        const std::size_t found = ini.find(key);
        if (found != std::string_view::npos) {
            const bool hadCr = !ini.lines[found].empty() && ini.lines[found].back() == '\r';
            out[found] = std::string(key) + "=" + value + (hadCr ? "\r" : "");
        } else {
            out.insert(out.begin() + static_cast<std::ptrdiff_t>(insertAt++),
                       std::string(key) + "=" + value + lineEnd);
        }
    }

    std::string text;
    for (const std::string& line : out) {
        text += line;
        text += '\n';
    }
    return text;
}

SettingsWriteResult WriteSettings(const SettingsRecord& record, const std::string& path) {
    const std::string target = ResolveLink(path);
    const std::string dir = DirectoryOf(target);
    int error = 0;
    if (!MakeDirectories(dir, &error)) return Failure(dir, error);

    // A file we cannot read is not overwritten: its other sections would be lost.
    std::string existing;
    mode_t mode = 0600;
    switch (ReadWholeFile(target, &existing, &error)) {
        case ReadStatus::Ok: {
            struct stat st {};
            if (::stat(target.c_str(), &st) == 0) mode = st.st_mode & 07777;
            break;
        }
        case ReadStatus::Missing:
            break;
        case ReadStatus::Failed:
            return Failure(target, error);
    }
    const std::string content = UpdateSettingsText(existing, record);

    // Written beside the file and renamed over it: a reader sees the old file
    // or the new one, never a part, and a full disk or a crash leaves the old one.
    std::string temp = dir + "/." + kSettingsFileName + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return Failure(dir, errno);
    auto abandon = [&](const std::string& where, int cause) {
        ::close(fd);
        ::unlink(temp.c_str());
        return Failure(where, cause);
    };
    if (::fchmod(fd, mode) != 0) return abandon(temp, errno);
    if (!WriteAll(fd, content, &error)) return abandon(temp, error);
    if (::fsync(fd) != 0) return abandon(temp, errno);
    if (::close(fd) != 0) {
        error = errno;
        ::unlink(temp.c_str());
        return Failure(temp, error);
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        error = errno;
        ::unlink(temp.c_str());
        return Failure(target, error);
    }
    // Makes the rename itself durable; the new file is in place either way.
    if (const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return {};
}

std::string CannotWriteSettingsMessage() {
    return std::string("nach ") + kSettingsFileName + " kann nicht geschrieben werden";
}

Chip ChipFromCode(std::uint8_t code) {
    switch (code) {
        case 1:
            return Chip::AT89C1051;
        case 2:
            return Chip::AT89C2051;
        case 4:
            return Chip::AT89C4051;
        default:
            return Chip::None;
    }
}

std::uint8_t ChipCode(Chip chip) {
    if (chip == Chip::AT89C4051) return 4;
    if (chip == Chip::AT89C2051) return 2;
    return 1;
}

CliDefaults ReadCliDefaults(const std::string& path) {
    std::string content;
    int error = 0;
    if (ReadWholeFile(path, &content, &error) != ReadStatus::Ok) content.clear();
    const SettingsRecord record = ParseSettings(content);
    CliDefaults defaults;
    defaults.chip = ChipFromCode(record.chipCode);
    defaults.lpt = record.portCode >= 1 && record.portCode <= 4 ? record.portCode : 1;
    defaults.lockBit = record.lockBit;
    if (IniLines(content).value("Sprache")) defaults.languageGerman = record.languageCode != 2;
    return defaults;
}

}  // namespace varnok
