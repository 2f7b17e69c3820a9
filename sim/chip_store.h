// Where the simulated chip keeps its flash and lock bits: in memory, or in a
// file mapped shared, so that every byte the chip takes is in the file at once
// and a process that dies mid-run leaves the chip as it was at that moment.
//
// File layout (16-byte header, then the flash, nothing after it):
//   0  "VARNOKCHIP1\n"
//   12 model, as its signature byte (11h, 21h, 41h)
//   13 lock bits (bit 0 lock bit 1, bit 1 lock bit 2)
//   14 two bytes 00h
//   16 capacity bytes of flash
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/shared_state.h"

namespace varnok::sim {

class ChipStore {
public:
    static constexpr std::size_t kHeaderSize = 16;

    // An erased chip that lives as long as the process.
    static std::unique_ptr<ChipStore> InMemory(Chip model);
    // Opens `path`, creating it erased with `model` (and its parent directories)
    // if it does not exist; the model in an existing file wins. Holds an exclusive
    // lock on the file until destroyed: PortError(Busy) if another open holds it,
    // FileError if the file cannot be created, read or is not a chip file.
    static std::unique_ptr<ChipStore> OpenFile(const std::string& path, Chip model);

    ~ChipStore();
    ChipStore(const ChipStore&) = delete;
    ChipStore& operator=(const ChipStore&) = delete;

    Chip model() const { return model_; }
    int capacity() const { return capacity_; }
    const std::string& path() const { return path_; }

    std::uint8_t* flash() { return flash_; }
    const std::uint8_t* flash() const { return flash_; }

    bool lockBit1() const { return (*locks_ & 0x01) != 0; }
    bool lockBit2() const { return (*locks_ & 0x02) != 0; }
    void setLockBits(bool lockBit1, bool lockBit2) {
        *locks_ = static_cast<std::uint8_t>((lockBit1 ? 0x01 : 0) | (lockBit2 ? 0x02 : 0));
    }

    // The header and erased flash of a new chip file.
    static std::vector<std::uint8_t> ErasedImage(Chip model);

private:
    ChipStore() = default;

    Chip model_ = Chip::AT89C2051;
    int capacity_ = 0;
    std::string path_;
    std::uint8_t* flash_ = nullptr;
    std::uint8_t* locks_ = nullptr;

    std::vector<std::uint8_t> memory_;  // in-memory chip: header and flash, laid out as in a file
    int fd_ = -1;
    void* map_ = nullptr;
    std::size_t mapLength_ = 0;
};

}  // namespace varnok::sim
