#include "adapter/open_port.h"

#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace varnok {

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool ParseHex(const std::string& text, std::uint16_t* value) {
    std::string digits = text;
    if (digits.size() > 2 && (digits.compare(0, 2, "0x") == 0 || digits.compare(0, 2, "0X") == 0))
        digits = digits.substr(2);
    if (!digits.empty() && (digits.back() == 'h' || digits.back() == 'H')) digits.pop_back();
    if (digits.empty() || digits.size() > 4) return false;
    unsigned long v = 0;
    for (char c : digits) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    }
    v = std::stoul(digits, nullptr, 16);
    *value = static_cast<std::uint16_t>(v);
    return v != 0;
}

// /proc/sys/dev/parport/parportN/base-addr holds "<base>\t<base-hi>" in decimal.
std::uint16_t ReadBase(const std::string& file) {
    std::ifstream in(file);
    unsigned long base = 0;
    if (!(in >> base) || base > 0xFFFF) return 0;
    return static_cast<std::uint16_t>(base);
}

}  // namespace

PortChoice ParsePortChoice(const std::string& text) {
    const std::string t = Lower(text);
    PortChoice choice;
    if (t.size() == 4 && t.compare(0, 3, "lpt") == 0 && t[3] >= '1' && t[3] <= '4') {
        choice.kind = PortChoice::Kind::Lpt;
        choice.lpt = t[3] - '0';
        return choice;
    }
    if (t == "sim" || t == "simulator") {
        choice.kind = PortChoice::Kind::Simulator;
        return choice;
    }
    if (text.compare(0, 12, "/dev/parport") == 0 && text.size() > 12 &&
        std::all_of(text.begin() + 12, text.end(),
                    [](unsigned char c) { return std::isdigit(c); })) {
        choice.kind = PortChoice::Kind::Device;
        choice.device = text;
        return choice;
    }
    if (t.compare(0, 7, "direct:") == 0 && ParseHex(t.substr(7), &choice.address)) {
        choice.kind = PortChoice::Kind::Direct;
        return choice;
    }
    throw std::invalid_argument(
        "unknown port '" + text +
        "': use lpt1 to lpt4, /dev/parportN, direct:ADDR (hexadecimal) or sim");
}

std::string FindParportDevice(std::uint16_t base, const std::string& procRoot) {
    DIR* dir = ::opendir(procRoot.c_str());
    if (!dir) return {};
    std::string found;
    while (dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.compare(0, 7, "parport") != 0 || name.size() == 7) continue;
        if (ReadBase(procRoot + "/" + name + "/base-addr") == base) {
            found = "/dev/" + name;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

std::uint16_t ParportBaseAddress(const std::string& device, const std::string& procRoot) {
    const auto slash = device.find_last_of('/');
    const std::string name = slash == std::string::npos ? device : device.substr(slash + 1);
    return ReadBase(procRoot + "/" + name + "/base-addr");
}

std::string DescribePortError(const PortError& error, bool german) {
    const std::string& device = error.device();
    const bool simulated =
        device.compare(0, 5, "/dev/") != 0 && device.compare(0, 7, "direct:") != 0;
    switch (error.cause()) {
        case PortError::Cause::NotFound:
            return german ? "Keine Parallelschnittstelle gefunden: " + device +
                                "\nSind die Kernelmodule parport_pc und ppdev geladen "
                                "(sudo modprobe parport_pc ppdev)?"
                          : "No parallel port found: " + device +
                                "\nAre the kernel modules parport_pc and ppdev loaded "
                                "(sudo modprobe parport_pc ppdev)?";
        case PortError::Cause::Permission:
            if (device.compare(0, 7, "direct:") == 0)
                return german ? "Kein Zugriff auf die Portadressen (" + device +
                                    "): direkter Portzugriff geht nur als root."
                              : "No access to the port addresses (" + device +
                                    "): direct port I/O needs root.";
            return german
                       ? "Keine Berechtigung für " + device +
                             ".\nTragen Sie sich in die Gruppe lp ein (sudo usermod -aG lp $USER) "
                             "und melden Sie sich neu an."
                       : "Permission denied on " + device +
                             ".\nAdd yourself to group lp (sudo usermod -aG lp $USER) and log in "
                             "again.";
        case PortError::Cause::Busy:
            if (simulated)
                return german ? "Der simulierte Chip " + device +
                                    " wird von einem anderen Programm benutzt."
                              : "The simulated chip " + device + " is in use by another program.";
            return german ? device + " wird von einem anderen Programm oder vom lp-Treiber benutzt."
                          : device + " is used by another program or the lp driver.";
        case PortError::Cause::Unsupported:
        case PortError::Cause::Other:
            break;
    }
    return german ? "Die Schnittstelle kann nicht geöffnet werden: " + std::string(error.what())
                  : "The port cannot be opened: " + std::string(error.what());
}

}  // namespace varnok
