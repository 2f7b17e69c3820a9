#include "chip/runs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "adapter/adapter.h"
#include "adapter/errors.h"
#include "adapter/port_access.h"
#include "app/shared_state.h"
#include "chip/texts.h"
#include "files/cp1252.h"
#include "files/listing.h"

namespace varnok {

namespace {

void Shift(std::uint8_t controlWord) {
    Shared().ControlWord = controlWord;
    ShiftControlWord();
}

void Status(RunReporter& reporter, const Bilingual& text) {
    reporter.setStatus(text(Shared().LanguageGerman));
    reporter.processEvents();
}

// The image file, read from its first byte, one byte at a time. Buffered by
// stdio underneath; a read error is told apart from the end of the file.
class ImageReader {
public:
    explicit ImageReader(const std::string& path) : path_(path) {
        // Without O_NONBLOCK a FIFO under the image's name would hang the run in
        // open(); anything but a regular file is refused before a byte is read.
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) throw FileErrorFromErrno(path, "cannot open", errno);
        struct stat st;
        if (::fstat(fd, &st) != 0) {
            const int error = errno;
            ::close(fd);
            throw FileErrorFromErrno(path, "cannot measure", error);
        }
        if (!S_ISREG(st.st_mode)) {
            ::close(fd);
            throw FileErrorFromErrno(path, "cannot read", S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        file_ = ::fdopen(fd, "rb");
        if (!file_) {
            const int error = errno;
            ::close(fd);
            throw FileErrorFromErrno(path, "cannot open", error);
        }
        size_ = static_cast<std::uint64_t>(st.st_size);
    }
    ~ImageReader() { close(); }
    ImageReader(const ImageReader&) = delete;
    ImageReader& operator=(const ImageReader&) = delete;

    std::uint64_t size() const { return size_; }

    // Peeks whether the next read would hit the end (the loop's "end of file" test).
    bool atEnd() {
        const int c = std::getc(file_);
        if (c == EOF) {
            if (std::ferror(file_))
                throw FileErrorFromErrno(path_, "cannot read", errno ? errno : EIO);
            return true;
        }
        std::ungetc(c, file_);
        return false;
    }
    std::uint8_t next() {
        const int c = std::getc(file_);
        if (c == EOF)
            throw FileErrorFromErrno(path_, "cannot read", std::ferror(file_) ? EIO : ENODATA);
        return static_cast<std::uint8_t>(c);
    }
    // Closing a file opened for reading; an error from it changes nothing we read.
    void close() {
        if (file_) std::fclose(file_);
        file_ = nullptr;
    }

private:
    std::string path_;
    std::FILE* file_ = nullptr;
    std::uint64_t size_ = 0;
};

// Whatever stops a run unexpectedly (a file error, an interrupt) must not leave
// the programming voltage on or P1 driven while the error is being reported.
template <typename Body>
auto Guarded(RunReporter& reporter, Body body) {
    try {
        return body();
    } catch (...) {
        ForceAdapterIdle();
        reporter.setBusy(false);
        throw;
    }
}

}  // namespace

ProgrammingActivation ProgrammingActivate() {
    PortWrite(Shared().DataPort, kIdleData);
    PortWrite(Shared().ControlPort, kIdleControl);
    DelayShort();
    return CheckImageFile();
}

ProgrammingActivation CheckImageFile() {
    ProgrammingActivation activation;
    if (!Shared().ImageFileBound) return activation;
    const auto size = OpenedFileSize(Shared().ImageFile);
    if (!size) return activation;
    activation.readable = true;
    activation.size = *size;
    activation.tooLarge = *size > static_cast<std::uint64_t>(ChipCapacity(Shared().ChipType));
    return activation;
}

ProgramOutcome OKButtonClick(RunReporter& reporter) {
    return Guarded(reporter, [&]() -> ProgramOutcome {
        SharedState& s = Shared();
        // Start sequence.
        reporter.setBusy(true);
        Status(reporter, text::StatusStart);
        WaitMs(100);
        PortWrite(s.ControlPort, PortRead(s.ControlPort) & 0xFD);
        DelayShort();
        Shift(cw::Start);

        // Erase.
        Status(reporter, text::StatusErase);
        Shift(cw::EraseProgHigh);
        Shift(cw::WriteProgHigh);
        VppOn();
        DelayShort();
        Shift(cw::EraseProgLow);
        WaitMs(20);
        Shift(cw::EraseProgHigh);
        VppOff();

        // Preparation.
        ImageReader image(s.ImageFile);
        reporter.setGaugeMaximum(
            static_cast<int>(std::min<std::uint64_t>(image.size(), INT32_MAX)));
        reporter.setGaugePosition(0);
        const int capacity = ChipCapacity(s.ChipType);
        AddressReset();
        Status(reporter, text::StatusProgram);
        int bytesDone = 0;

        auto cleanUp = [&] {
            image.close();
            PortWrite(s.ControlPort, kIdleControl);
            DelayLong();
            PortWrite(s.DataPort, kIdleData);
            DelayLong();
            reporter.setBusy(false);
            reporter.setStatus("");
        };

        // Byte loop.
        while (bytesDone < capacity && !image.atEnd()) {
            const std::uint8_t b = image.next();
            reporter.setGaugePosition(bytesDone + 1);
            Shift(cw::WriteProgHigh);
            VppOn();
            DelayShort();
            if (!LinkCheck(b)) {
                // The voltage stays on while the message is up; the clean-up takes it off.
                reporter.setBusy(false);
                reporter.message(MessageKind::Error, text::LinkDefective(s.LanguageGerman));
                reporter.setStatus("");
                cleanUp();
                return {ProgramResult::LinkFailure, bytesDone};
            }
            Shift(cw::WriteProgLow);
            DelayLong();
            Shift(cw::WriteProgHigh);
            VppOff();
            PortWrite(s.DataPort, PortRead(s.DataPort) & 0xF7);
            WaitMs(4);
            Shift(cw::Read);
            if (ReadChipByte() != b) {
                reporter.setBusy(false);
                reporter.message(MessageKind::Error, text::VerifyFailed(s.LanguageGerman));
                reporter.setStatus("");
                cleanUp();
                return {ProgramResult::VerifyFailure, bytesDone};
            }
            Shift(cw::WriteXtalHigh);
            DelayLong();
            Shift(cw::WriteProgHigh);
            DelayLong();
            PortWrite(s.DataPort, PortRead(s.DataPort) | DataEnable);
            DelayShort();
            ++bytesDone;
        }

        // Lock bits.
        if (s.LockBitOption) {
            Status(reporter, text::StatusLockBits);
            Shift(cw::Lock1ProgHigh);
            VppOn();
            DelayShort();
            Shift(cw::Lock1ProgLow);
            DelayLong();
            Shift(cw::Lock1ProgHigh);
            VppOff();
            WaitMs(10);
            Shift(cw::Lock2ProgHigh);
            VppOn();
            DelayShort();
            Shift(cw::Lock2ProgLow);
            DelayLong();
            Shift(cw::Lock2ProgHigh);
        }

        // End.
        VppOff();
        reporter.setBusy(false);
        ProgramOutcome outcome{ProgramResult::Success, bytesDone};
        if (image.atEnd() || bytesDone == capacity) {
            reporter.setStatus("");
            reporter.message(MessageKind::Information, text::ProgrammingDone(s.LanguageGerman));
            reporter.processEvents();
        }
        cleanUp();
        return outcome;
    });
}

std::string ListingCharacter(std::uint8_t byte) {
    if (byte >= 0x20 && byte <= 0x80) return Cp1252ToUtf8(byte);
    return ".";
}

void StartBTNClick(RunReporter& reporter, ByteSink& sink) {
    SharedState& s = Shared();
    const int capacity = ChipCapacity(s.ChipType);
    sink.create();  // a failure here ends the run before anything else happens
    Guarded(reporter, [&] {
        reporter.setGaugeMaximum(capacity - 1);
        reporter.setGaugePosition(1);
        reporter.clearListing();
        reporter.setBusy(true);
        std::string line;
        int count = 0;
        PortWrite(s.ControlPort, PortRead(s.ControlPort) & 0xFD);
        Shift(cw::Start);
        WaitMs(15);
        PortWrite(s.DataPort, PortRead(s.DataPort) & 0xF7);
        WaitMs(4);
        Shift(cw::Read);
        AddressReset();
        DelayShort();
        for (int i = 0; i < capacity; ++i) {
            reporter.setGaugePosition(i);
            const std::uint8_t b = ReadChipByte();
            sink.put(b);
            line += ListingCharacter(b);
            if (++count > kReadoutLineLength - 1) {
                reporter.addListingLine(line);
                line.clear();
                count = 0;
            }
            Shift(cw::ReadXtalHigh);
            DelayLong();
            Shift(cw::Read);
            DelayLong();
        }
        reporter.addListingLine(line);
        sink.close();
        reporter.setBusy(false);
    });
}

EraseResult BitBtn3Click(RunReporter& reporter) {
    return Guarded(reporter, [&] {
        SharedState& s = Shared();
        PortWrite(s.DataPort, kIdleData);
        PortWrite(s.ControlPort, kIdleControl);
        DelayShort();
        Shift(cw::EraseProgHigh);
        Shift(cw::WriteProgHigh);
        VppOn();
        DelayShort();
        if (LinkCheck(0x0F)) {
            Shift(cw::EraseProgLow);
            WaitMs(20);
            Shift(cw::EraseProgHigh);
            VppOff();
            PortWrite(s.ControlPort, kIdleControl);
            DelayLong();
            PortWrite(s.DataPort, kIdleData);
            DelayLong();
            reporter.setBusy(false);
            reporter.message(MessageKind::Information, text::EraseDone(s.LanguageGerman));
            return EraseResult::Erased;
        }
        reporter.setBusy(false);
        reporter.message(MessageKind::Error, text::EraseLinkDefective(s.LanguageGerman));
        PortWrite(s.ControlPort, kIdleControl);
        DelayLong();
        PortWrite(s.DataPort, kIdleData);
        DelayLong();
        reporter.setBusy(false);
        return EraseResult::LinkFailure;
    });
}

}  // namespace varnok
