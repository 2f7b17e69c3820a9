// The programming adapter: two latched shift registers fed from the data lines
// (control word onto XTAL1/P3, data byte onto P1), a nibble multiplexer that
// returns P1 on the status lines, and the RST/VPP switch on the control lines.
#pragma once

#include <cstdint>

namespace varnok {

// Data register lines.
constexpr std::uint8_t DataLatch = 0x01;
constexpr std::uint8_t DataSerial = 0x02;
constexpr std::uint8_t DataClock = 0x04;
constexpr std::uint8_t DataEnable = 0x08;
constexpr std::uint8_t ControlLatch = 0x10;
constexpr std::uint8_t ControlSerial = 0x20;
constexpr std::uint8_t ControlClock = 0x40;
constexpr std::uint8_t ControlEnable = 0x80;

// Control register bits, as the program writes them (the port inverts some lines itself).
constexpr std::uint8_t VppSwitch = 0x01;     // 0 = 12 V on RST/VPP
constexpr std::uint8_t ResetLine = 0x02;     // with VppSwitch 1: 0 = RST high, 1 = RST low
constexpr std::uint8_t NibbleSelect = 0x04;  // 1 = P1.4-P1.7 on the status lines

// Control words (bit 0 XTAL1, 1 PROG, 2 P3.3, 3 P3.4, 4 P3.5, 7 P3.7).
namespace cw {
constexpr std::uint8_t Start = 0x02;          // all mode pins low, PROG high
constexpr std::uint8_t EraseProgHigh = 0x06;  // chip erase
constexpr std::uint8_t EraseProgLow = 0x04;   // chip erase, the erase pulse
constexpr std::uint8_t WriteProgHigh = 0x9A;  // write code data
constexpr std::uint8_t WriteProgLow = 0x98;   // write code data, the write pulse
constexpr std::uint8_t WriteXtalHigh = 0x9B;  // write code data, address advance
constexpr std::uint8_t Read = 0x92;           // read code data
constexpr std::uint8_t ReadXtalHigh = 0x93;   // read code data, address advance
constexpr std::uint8_t Lock1ProgHigh = 0x9E;
constexpr std::uint8_t Lock1ProgLow = 0x9C;
constexpr std::uint8_t Lock2ProgHigh = 0x0E;
constexpr std::uint8_t Lock2ProgLow = 0x0C;
}  // namespace cw

constexpr std::uint8_t kIdleData = 0x00;
constexpr std::uint8_t kIdleControl = 0xFF;

// Shift Shared().ControlWord / Shared().DataByte into the adapter, MSB first.
void ShiftControlWord();
void ShiftDataByte();
// The levels on P1.7..P1.0, read as two nibbles; leaves NibbleSelect = 0.
std::uint8_t ReadChipByte();

// Data register 00h, then control register FFh; no waits (callers add their own).
void AdapterIdle();
// The idle state on the way out of a run that failed or was interrupted:
// control register first (programming voltage off), then the data register.
// Goes to the backend directly, past a pending interrupt, and never throws.
void ForceAdapterIdle();

// RST low, then back to logic high: the chip's address counter goes to 0.
void AddressReset();
// Shifts `byte` onto P1 and reads it back; true when it returns unchanged.
bool LinkCheck(std::uint8_t byte);

// 12 V on / off on RST/VPP by read-modify-write of the control register.
void VppOn();
void VppOff();

}  // namespace varnok
