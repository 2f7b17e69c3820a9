#include <fcntl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "adapter/open_port.h"
#include "adapter/real_clock.h"

namespace varnok {

namespace {

PortError::Cause CauseOf(int error) {
    switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return PortError::Cause::NotFound;
        case EACCES:
        case EPERM:
            return PortError::Cause::Permission;
        case EBUSY:
            return PortError::Cause::Busy;
        default:
            return PortError::Cause::Other;
    }
}

[[noreturn]] void Fail(const std::string& device, const char* step, int error) {
    throw PortError(CauseOf(error), device,
                    device + ": " + step + " failed: " + std::strerror(error));
}

// The kernel's parport driver owns the registers; ppdev gives us single
// register accesses on a port claimed exclusively for this process.
class PpdevPort final : public PortBackend {
public:
    PpdevPort(std::string device, std::uint16_t base) : device_(std::move(device)), base_(base) {
        fd_ = ::open(device_.c_str(), O_RDWR | O_CLOEXEC);
        if (fd_ < 0) Fail(device_, "open", errno);
        // Exclusive before claiming: no other driver (lp) may grab the port in
        // the middle of a programming pulse.
        if (::ioctl(fd_, PPEXCL) != 0) Abort("PPEXCL");
        if (::ioctl(fd_, PPCLAIM) != 0) Abort("PPCLAIM");
        claimed_ = true;
        int forward = 0;  // data lines drive the adapter
        if (::ioctl(fd_, PPDATADIR, &forward) != 0) Abort("PPDATADIR");
    }

    ~PpdevPort() override {
        if (claimed_) ::ioctl(fd_, PPRELEASE);
        if (fd_ >= 0) ::close(fd_);
    }

    std::uint8_t in(std::uint16_t address) override {
        unsigned char value = 0xFF;
        switch (address - base_) {
            case 0:
                ::ioctl(fd_, PPRDATA, &value);
                break;
            case 1:
                ::ioctl(fd_, PPRSTATUS, &value);
                break;
            case 2:
                // ppdev reports only the four line bits; the program reads back
                // the whole byte it wrote, so the unused high bits come from our copy.
                ::ioctl(fd_, PPRCONTROL, &value);
                value = static_cast<unsigned char>((value & 0x0F) | (controlHigh_ & 0xF0));
                break;
            default:
                break;
        }
        return value;
    }

    void out(std::uint16_t address, std::uint8_t value) override {
        unsigned char v = value;
        switch (address - base_) {
            case 0:
                ::ioctl(fd_, PPWDATA, &v);
                break;
            case 2:
                // Only the four output lines: bit 5 would turn the data lines
                // around and bit 4 would enable the port's interrupt.
                controlHigh_ = value;
                v = static_cast<unsigned char>(value & 0x0F);
                ::ioctl(fd_, PPWCONTROL, &v);
                break;
            default:
                break;
        }
    }

    std::uint64_t nowNs() override { return clock_.nowNs(); }
    void idleUntil(std::uint64_t deadlineNs) override { clock_.idleUntil(deadlineNs); }
    std::string description() const override { return device_; }

private:
    [[noreturn]] void Abort(const char* step) {
        const int error = errno;
        if (claimed_) ::ioctl(fd_, PPRELEASE);
        ::close(fd_);
        fd_ = -1;
        claimed_ = false;
        Fail(device_, step, error);
    }

    std::string device_;
    std::uint16_t base_;
    int fd_ = -1;
    bool claimed_ = false;
    std::uint8_t controlHigh_ = 0;
    RealClock clock_;
};

}  // namespace

std::unique_ptr<PortBackend> OpenPpdevPort(const std::string& device, std::uint16_t base) {
    return std::make_unique<PpdevPort>(device, base);
}

}  // namespace varnok
