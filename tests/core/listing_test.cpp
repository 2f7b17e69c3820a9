#include "files/listing.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/core/test_support.h"

namespace varnok::test {
namespace {

std::vector<std::string> AllLines(const Listing& listing) {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < listing.lineCount(); ++i) lines.push_back(listing.lineUtf8(i));
    return lines;
}

// The hexadecimal form written out independently of the listing code.
std::string Hex(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    char value[8];
    for (const std::uint8_t b : bytes) {
        std::snprintf(value, sizeof value, "%02X  ", b);
        out += value;
    }
    return out;
}

Listing ListFile(const std::vector<std::uint8_t>& bytes, const ListingFormat& format) {
    TempDir dir;
    const std::string path = dir.file("image.bin");
    WriteFile(path, bytes);
    FileSnapshot snapshot = FileSnapshot::Read(path);
    EXPECT_EQ(snapshot.status(), FileSnapshot::Status::Complete);
    EXPECT_EQ(snapshot.size(), bytes.size());
    return Listing(std::move(snapshot), format);
}

// ---- line structure: count, length of every item, order of the bytes ----

struct ShapeCase {
    const char* name;
    std::size_t fileSize;
    ListingFormat format;
    std::size_t fullLines;   // items of a whole line's length
    std::size_t fullLength;  // characters of such an item
    std::size_t lastLength;  // characters of the trailing item
};

class ListingShapeTest : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(ListingShapeTest, ItemsAndTrailingItem) {
    const ShapeCase& c = GetParam();
    const std::vector<std::uint8_t> bytes = Pattern(c.fileSize, 7);
    const Listing listing = ListFile(bytes, c.format);
    ASSERT_EQ(listing.lineCount(), c.fullLines + 1);
    for (std::size_t i = 0; i < c.fullLines; ++i)
        ASSERT_EQ(listing.line16(i).size(), c.fullLength) << "item " << i;
    EXPECT_EQ(listing.line16(c.fullLines).size(), c.lastLength);
    if (c.format.hexadecimal) {
        std::string joined;
        for (const std::string& line : AllLines(listing)) joined += line;
        EXPECT_EQ(joined, Hex(bytes));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ListingShapeTest,
    ::testing::Values(ShapeCase{"Preview64Characters", 64, kPreviewCharacters, 2, 32, 0},
                      ShapeCase{"Preview64Hexadecimal", 64, kPreviewHexadecimal, 8, 32, 0},
                      ShapeCase{"Preview33Characters", 33, kPreviewCharacters, 1, 32, 1},
                      ShapeCase{"Viewer2048Hexadecimal", 2048, kViewerHexadecimal, 128, 64, 0},
                      ShapeCase{"Viewer2048Characters", 2048, kViewerCharacters, 36, 56, 32},
                      ShapeCase{"Viewer56Characters", 56, kViewerCharacters, 1, 56, 0},
                      ShapeCase{"Viewer17Hexadecimal", 17, kViewerHexadecimal, 1, 64, 4},
                      ShapeCase{"EmptyPreviewCharacters", 0, kPreviewCharacters, 0, 0, 0},
                      ShapeCase{"EmptyPreviewHexadecimal", 0, kPreviewHexadecimal, 0, 0, 0},
                      ShapeCase{"EmptyViewerCharacters", 0, kViewerCharacters, 0, 0, 0},
                      ShapeCase{"EmptyViewerHexadecimal", 0, kViewerHexadecimal, 0, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- the text of single bytes in each form ----

struct TextCase {
    const char* name;
    std::vector<std::uint8_t> bytes;
    ListingFormat format;
    std::string text;  // UTF-8
};

class ListingTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(ListingTextTest, FirstItem) {
    const TextCase& c = GetParam();
    const Listing listing = ListFile(c.bytes, c.format);
    ASSERT_EQ(listing.lineCount(), 1u);
    EXPECT_EQ(listing.lineUtf8(0), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, ListingTextTest,
    ::testing::Values(
        TextCase{"PreviewHex02AF41", {0x02, 0xAF, 0x41}, kPreviewHexadecimal, "02  AF  41  "},
        TextCase{"ViewerHex02AF41", {0x02, 0xAF, 0x41}, kViewerHexadecimal, "02  AF  41  "},
        TextCase{"PreviewChars02AF41", {0x02, 0xAF, 0x41}, kPreviewCharacters, "..A"},
        TextCase{"ViewerChars02AF41",
                 {0x02, 0xAF, 0x41},
                 kViewerCharacters,
                 "\x02\u00AF"
                 "A"},
        // 20h to 80h inclusive as themselves: 7Fh is DEL, 80h the euro sign.
        TextCase{"PreviewCharsBounds",
                 {0x1F, 0x20, 0x7F, 0x80, 0x81},
                 kPreviewCharacters,
                 ". \x7F\u20AC."},
        TextCase{"ViewerCharsBounds",
                 {0x1F, 0x20, 0x7F, 0x80, 0x81},
                 kViewerCharacters,
                 "\x1F \x7F\u20AC\u0081"},
        TextCase{"ViewerCharsCodePage",
                 {0x9F, 0x8A, 0xE4, 0x00},
                 kViewerCharacters,
                 std::string("\u0178\u0160\u00E4") + '\0'},
        TextCase{"PreviewCharsAboveRange", {0x9F, 0xA0, 0xFF}, kPreviewCharacters, "..."},
        TextCase{"HexLeadingZero", {0x00, 0x0A, 0xF0}, kViewerHexadecimal, "00  0A  F0  "}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- read errors: the lines completed before the failing byte stay ----

class FailingRead {
public:
    explicit FailingRead(std::size_t failAt) {
        SetReadFunction([this, failAt](int fd, void* buffer, std::size_t count) -> ssize_t {
            if (delivered_ >= failAt) {
                errno = EIO;
                return -1;
            }
            const ssize_t n = ::read(fd, buffer, std::min(count, failAt - delivered_));
            if (n > 0) delivered_ += static_cast<std::size_t>(n);
            return n;
        });
    }
    ~FailingRead() { SetReadFunction(nullptr); }

private:
    std::size_t delivered_ = 0;
};

struct ReadErrorCase {
    const char* name;
    std::size_t failAt;
    ListingFormat format;
    std::size_t items;
};

class ListingReadErrorTest : public ::testing::TestWithParam<ReadErrorCase> {};

TEST_P(ListingReadErrorTest, UnfinishedLineDropped) {
    const ReadErrorCase& c = GetParam();
    TempDir dir;
    const std::vector<std::uint8_t> bytes = Pattern(200, 3);
    WriteFile(dir.file("f"), bytes);
    FailingRead failing(c.failAt);
    FileSnapshot snapshot = FileSnapshot::Read(dir.file("f"));
    EXPECT_EQ(snapshot.status(), FileSnapshot::Status::ReadFailed);
    EXPECT_EQ(snapshot.error(), EIO);
    EXPECT_EQ(snapshot.bytes().size(), c.failAt);
    EXPECT_EQ(snapshot.size(), 200u);
    const Listing listing(std::move(snapshot), c.format);
    ASSERT_EQ(listing.lineCount(), c.items);
    for (std::size_t i = 0; i < c.items; ++i)
        EXPECT_EQ(listing.lineBytes(i).size(), c.format.bytesPerLine);
    if (c.items > 0) {
        EXPECT_EQ(listing.lineBytes(c.items - 1).back(),
                  bytes[c.items * c.format.bytesPerLine - 1]);
    }
}

INSTANTIATE_TEST_SUITE_P(Positions, ListingReadErrorTest,
                         ::testing::Values(ReadErrorCase{"MidLine", 100, kPreviewCharacters, 3},
                                           ReadErrorCase{"AtLineEnd", 64, kPreviewCharacters, 2},
                                           ReadErrorCase{"FirstByte", 0, kViewerHexadecimal, 0},
                                           ReadErrorCase{"InFirstLine", 5, kViewerCharacters, 0},
                                           ReadErrorCase{"HexMidLine", 100, kViewerHexadecimal, 6}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- what is not a readable regular file is refused at once ----

struct BadInputCase {
    const char* name;
    std::string (*make)(const TempDir& dir);
    FileSnapshot::Status status;
};

std::string MakeMissing(const TempDir& dir) {
    return dir.file("gone");
}
std::string MakeEmptyPath(const TempDir&) {
    return "";
}
std::string MakeDirectory(const TempDir& dir) {
    return dir.path();
}
std::string MakeFifo(const TempDir& dir) {
    const std::string path = dir.file("fifo");
    EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
    return path;
}
std::string MakeDevice(const TempDir&) {
    return "/dev/zero";
}
std::string MakeDanglingLink(const TempDir& dir) {
    const std::string path = dir.file("link");
    EXPECT_EQ(::symlink(dir.file("nowhere").c_str(), path.c_str()), 0);
    return path;
}

class SnapshotBadInputTest : public ::testing::TestWithParam<BadInputCase> {};

TEST_P(SnapshotBadInputTest, RefusedWithoutBlocking) {
    const BadInputCase& c = GetParam();
    TempDir dir;
    const std::string path = c.make(dir);
    const FileSnapshot snapshot = FileSnapshot::Read(path);
    EXPECT_EQ(snapshot.status(), c.status);
    EXPECT_NE(snapshot.error(), 0);
    EXPECT_FALSE(snapshot.opened());
    EXPECT_EQ(Listing(FileSnapshot::Read(path), kViewerCharacters).lineCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, SnapshotBadInputTest,
    ::testing::Values(BadInputCase{"Missing", MakeMissing, FileSnapshot::Status::OpenFailed},
                      BadInputCase{"EmptyPath", MakeEmptyPath, FileSnapshot::Status::OpenFailed},
                      BadInputCase{"DanglingLink", MakeDanglingLink,
                                   FileSnapshot::Status::OpenFailed},
                      BadInputCase{"Directory", MakeDirectory, FileSnapshot::Status::NotAFile},
                      BadInputCase{"Fifo", MakeFifo, FileSnapshot::Status::NotAFile},
                      BadInputCase{"Device", MakeDevice, FileSnapshot::Status::NotAFile}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SnapshotBadInput, UnreadableFile) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads any file";
    TempDir dir;
    WriteFile(dir.file("secret"), {1, 2, 3});
    ASSERT_EQ(::chmod(dir.file("secret").c_str(), 0), 0);
    const FileSnapshot snapshot = FileSnapshot::Read(dir.file("secret"));
    EXPECT_EQ(snapshot.status(), FileSnapshot::Status::OpenFailed);
    EXPECT_EQ(snapshot.error(), EACCES);
}

TEST(SnapshotBadInput, ReadOnlyFileIsListed) {
    TempDir dir;
    WriteFile(dir.file("rom"), {1, 2, 3});
    ASSERT_EQ(::chmod(dir.file("rom").c_str(), 0444), 0);
    EXPECT_EQ(FileSnapshot::Read(dir.file("rom")).status(), FileSnapshot::Status::Complete);
}

TEST(SnapshotLimit, LongerThanLimitIsRefused) {
    TempDir dir;
    WriteFile(dir.file("big"), Pattern(100));
    const FileSnapshot snapshot = FileSnapshot::Read(dir.file("big"), 99);
    EXPECT_EQ(snapshot.status(), FileSnapshot::Status::TooLarge);
    EXPECT_TRUE(snapshot.bytes().empty());
    EXPECT_EQ(FileSnapshot::Read(dir.file("big"), 100).status(), FileSnapshot::Status::Complete);
}

// A file may hold more than its length at open said (growing, or a kernel file
// that reports 0): everything up to the end is listed.
TEST(SnapshotLength, ReadsPastTheLengthAtOpen) {
    const FileSnapshot snapshot = FileSnapshot::Read("/proc/self/status");
    ASSERT_EQ(snapshot.status(), FileSnapshot::Status::Complete);
    EXPECT_EQ(snapshot.size(), 0u);
    const std::string text(reinterpret_cast<const char*>(snapshot.bytes().data()),
                           snapshot.bytes().size());
    EXPECT_NE(text.find("VmHWM"), std::string::npos);
}

// ---- cutting a file name to its first 100 characters ----

struct CutCase {
    const char* name;
    std::string input;
    std::string expected;
};

class CutToCharactersTest : public ::testing::TestWithParam<CutCase> {};

TEST_P(CutToCharactersTest, First100) {
    EXPECT_EQ(CutToCharacters(GetParam().input, 100), GetParam().expected);
}

std::string Repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Names, CutToCharactersTest,
    ::testing::Values(
        CutCase{"Short", "image.bin", "image.bin"},
        CutCase{"Exactly100", Repeat("a", 100), Repeat("a", 100)},
        CutCase{"Ascii", Repeat("a", 101), Repeat("a", 100)},
        CutCase{"Umlauts", Repeat("\u00E4", 120), Repeat("\u00E4", 100)},
        CutCase{"Mixed", "x" + Repeat("\u20AC", 120), "x" + Repeat("\u20AC", 99)},
        CutCase{"InvalidBytes", Repeat("\xFF", 120), Repeat("\xFF", 100)},
        CutCase{"TruncatedSequence", Repeat("b", 99) + "\xC3", Repeat("b", 99) + "\xC3"},
        CutCase{"LoneContinuation", Repeat("\x80\u00E4", 60), Repeat("\x80\u00E4", 50)}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace varnok::test
