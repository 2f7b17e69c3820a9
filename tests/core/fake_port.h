// A port with plain registers and a scripted clock, for testing the layers
// above the backend without the simulator's model in the way.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "adapter/port_backend.h"

namespace varnok::test {

class FakePort : public PortBackend {
public:
    struct Access {
        bool write;
        std::uint16_t address;
        std::uint8_t value;
    };

    std::uint8_t in(std::uint16_t address) override {
        const auto it = registers.find(address);
        const std::uint8_t value = it == registers.end() ? 0xFF : it->second;
        log.push_back({false, address, value});
        return value;
    }
    void out(std::uint16_t address, std::uint8_t value) override {
        registers[address] = value;
        log.push_back({true, address, value});
    }
    std::uint64_t nowNs() override {
        const std::uint64_t now = clock;
        clock += clockStep;
        ++clockReads;
        return now;
    }
    void idleUntil(std::uint64_t deadlineNs) override {
        ++idles;
        if (deadlineNs > clock) clock = deadlineNs;
    }
    std::string description() const override { return "fake"; }

    std::vector<Access> writesTo(std::uint16_t address) const {
        std::vector<Access> out;
        for (const auto& a : log)
            if (a.write && a.address == address) out.push_back(a);
        return out;
    }

    std::map<std::uint16_t, std::uint8_t> registers;
    std::vector<Access> log;
    std::uint64_t clock = 0;
    std::uint64_t clockStep = 500;  // ns per clock read
    int clockReads = 0;
    int idles = 0;
};

}  // namespace varnok::test
