#include "adapter/adapter.h"

#include "adapter/port_access.h"
#include "adapter/port_backend.h"
#include "app/shared_state.h"

namespace varnok {

namespace {

// Every single-line change is its own read-modify-write of the register: the
// program keeps no copy of what the port holds.
void DataOr(std::uint8_t mask) {
    PortWrite(Shared().DataPort, PortRead(Shared().DataPort) | mask);
}
void DataAnd(std::uint8_t mask) {
    PortWrite(Shared().DataPort, PortRead(Shared().DataPort) & mask);
}

// Both shift registers hang on the same data lines, each with its own four.
struct ShiftLines {
    std::uint8_t serial, clock, latch, enable;
};

void ShiftOut(std::uint8_t value, const ShiftLines& lines) {
    for (int bit = 7; bit >= 0; --bit) {
        if (value & (1u << bit)) {
            DataOr(lines.serial);
        } else {
            DataAnd(static_cast<std::uint8_t>(~lines.serial));
        }
        DelayShort();
        DataOr(lines.clock);
        DelayShort();
        DataAnd(static_cast<std::uint8_t>(~lines.clock));
        DelayShort();
    }
    DataOr(lines.latch);
    DelayLong();
    DataAnd(static_cast<std::uint8_t>(~lines.latch));
    DelayShort();
    DataOr(lines.enable);
}

// Four status bits (BUSY, ACK, PE, SLCT from bit 3 to bit 0) to four P1 levels.
std::uint8_t Remap(std::uint8_t n) {
    std::uint8_t r = 0;
    if (n & 0x01) r |= 0x08;     // SLCT
    if (n & 0x02) r |= 0x04;     // PE
    if (!(n & 0x08)) r |= 0x02;  // BUSY, inverted by the port
    if (n & 0x04) r |= 0x01;     // ACK
    return r;
}

}  // namespace

void ShiftControlWord() {
    ShiftOut(Shared().ControlWord, {ControlSerial, ControlClock, ControlLatch, ControlEnable});
}

void ShiftDataByte() {
    ShiftOut(Shared().DataByte, {DataSerial, DataClock, DataLatch, DataEnable});
}

std::uint8_t ReadChipByte() {
    const std::uint16_t control = Shared().ControlPort;
    const std::uint16_t status = Shared().StatusPort;
    PortWrite(control, PortRead(control) | NibbleSelect);
    DelayLong();
    std::uint8_t s = PortRead(status);
    DelayLong();
    const std::uint8_t high = Remap(static_cast<std::uint8_t>(s >> 4));
    PortWrite(control, PortRead(control) & 0x0B);
    DelayLong();
    s = PortRead(status);
    DelayLong();
    DelayLong();
    const std::uint8_t low = Remap(static_cast<std::uint8_t>(s >> 4));
    return static_cast<std::uint8_t>(high * 16 + low);
}

void AdapterIdle() {
    PortWrite(Shared().DataPort, kIdleData);
    PortWrite(Shared().ControlPort, kIdleControl);
}

void ForceAdapterIdle() {
    PortBackend* port = InstalledPort();
    if (!port) return;
    try {
        port->out(Shared().ControlPort, kIdleControl);
        port->out(Shared().DataPort, kIdleData);
    } catch (...) {
        // The port itself is what failed; nothing more can be done on it.
    }
}

void AddressReset() {
    const std::uint16_t control = Shared().ControlPort;
    PortWrite(control, kIdleControl);
    DelayLong();
    PortWrite(control, PortRead(control) & 0x01);
}

bool LinkCheck(std::uint8_t byte) {
    Shared().DataByte = byte;
    ShiftDataByte();
    return ReadChipByte() == byte;
}

void VppOn() {
    PortWrite(Shared().ControlPort, PortRead(Shared().ControlPort) & 0xFE);
}
void VppOff() {
    PortWrite(Shared().ControlPort, PortRead(Shared().ControlPort) | VppSwitch);
}

}  // namespace varnok
