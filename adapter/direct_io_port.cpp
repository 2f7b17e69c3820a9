#include <cerrno>
#include <cstdio>
#include <cstring>

#include "adapter/open_port.h"
#include "adapter/real_clock.h"

#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#define VARNOK_HAVE_DIRECT_IO 1
#endif

namespace varnok {

namespace {

std::string DeviceName(std::uint16_t base) {
    char text[32];
    std::snprintf(text, sizeof text, "direct:%X", base);
    return text;
}

#ifdef VARNOK_HAVE_DIRECT_IO
// Raw in/out instructions on the port's three registers; needs root and
// bypasses the kernel's parport driver, so it is used only when asked for.
class DirectIoPort final : public PortBackend {
public:
    explicit DirectIoPort(std::uint16_t base) : base_(base) {
        if (::ioperm(base_, 3, 1) != 0) {
            const int error = errno;
            throw PortError(error == EPERM ? PortError::Cause::Permission : PortError::Cause::Other,
                            DeviceName(base_),
                            DeviceName(base_) + ": ioperm failed: " + std::strerror(error));
        }
    }
    ~DirectIoPort() override { ::ioperm(base_, 3, 0); }

    std::uint8_t in(std::uint16_t address) override {
        if (address < base_ || address > base_ + 2) return 0xFF;
        std::uint8_t value = ::inb(address);
        if (address == base_ + 2)
            value = static_cast<std::uint8_t>((value & 0x0F) | (controlHigh_ & 0xF0));
        return value;
    }
    void out(std::uint16_t address, std::uint8_t value) override {
        if (address == base_) {
            ::outb(value, address);
        } else if (address == base_ + 2) {
            // Bits 4 and 5 (interrupt enable, data direction) stay clear.
            controlHigh_ = value;
            ::outb(static_cast<std::uint8_t>(value & 0x0F), address);
        }
    }
    std::uint64_t nowNs() override { return clock_.nowNs(); }
    void idleUntil(std::uint64_t deadlineNs) override { clock_.idleUntil(deadlineNs); }
    std::string description() const override { return DeviceName(base_); }

private:
    std::uint16_t base_;
    std::uint8_t controlHigh_ = 0;
    RealClock clock_;
};
#endif

}  // namespace

std::unique_ptr<PortBackend> OpenDirectIoPort(std::uint16_t base) {
#ifdef VARNOK_HAVE_DIRECT_IO
    return std::make_unique<DirectIoPort>(base);
#else
    throw PortError(PortError::Cause::Unsupported, DeviceName(base),
                    "direct port I/O is not available on this processor");
#endif
}

}  // namespace varnok
