// Port access and timing: the lowest layer every adapter timing is built on.
#pragma once

#include <cstdint>

namespace varnok {

std::uint8_t PortRead(std::uint16_t port);
void PortWrite(std::uint16_t port, std::uint8_t value);

// Latched count of a 1.193182 MHz 16-bit down-counter, computed from the
// installed backend's clock (there is no interval timer to read on Linux).
std::uint16_t ReadTimerCount();

// Busy waits of at least 190 and 30 timer counts.
void DelayLong();
void DelayShort();

// Waits more than ms milliseconds while letting user-interface events run.
void WaitMs(std::int32_t ms);

// The tick behind WaitMs: microseconds of the backend's clock, 32-bit, wrapping.
std::uint32_t TickCountUs();

constexpr double kTimerHz = 1193182.0;

}  // namespace varnok
