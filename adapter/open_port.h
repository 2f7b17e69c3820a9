// Choosing and opening a port backend. A port that cannot be opened is an
// error for the person to fix; nothing ever falls back to the simulator.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "adapter/errors.h"
#include "adapter/port_backend.h"

namespace varnok {

struct PortChoice {
    enum class Kind { Lpt, Device, Direct, Simulator };
    Kind kind = Kind::Lpt;
    int lpt = 1;                // Lpt: 1 to 4
    std::string device;         // Device: /dev/parportN
    std::uint16_t address = 0;  // Direct: base address
};

// "lpt1".."lpt4", "/dev/parportN", "direct:ADDR" (hex, with or without 0x), "sim".
// Throws std::invalid_argument naming the accepted forms.
PortChoice ParsePortChoice(const std::string& text);

// The ppdev device whose base address is `base`, found through
// /proc/sys/dev/parport/*/base-addr; empty if none has it.
std::string FindParportDevice(std::uint16_t base,
                              const std::string& procRoot = "/proc/sys/dev/parport");
// The base address the kernel reports for /dev/parportN; 0 if unknown.
std::uint16_t ParportBaseAddress(const std::string& device,
                                 const std::string& procRoot = "/proc/sys/dev/parport");

// Opens /dev/parportN through ppdev: exclusive (PPEXCL), claimed (PPCLAIM),
// data lines forward. `base` is the I/O address the program uses for the data
// register. Throws PortError naming the device and the cause.
std::unique_ptr<PortBackend> OpenPpdevPort(const std::string& device, std::uint16_t base);

// Raw port I/O with ioperm (root only, x86 only). Throws PortError.
std::unique_ptr<PortBackend> OpenDirectIoPort(std::uint16_t base);

// The message for a port that cannot be opened, in the interface language.
std::string DescribePortError(const PortError& error, bool german);

}  // namespace varnok
