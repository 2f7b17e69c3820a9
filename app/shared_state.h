// The one program-wide set of values that every window, the command-line tool
// and the adapter routines share. Nothing is copied into a dialog: each reads
// these fields at the moment it needs them.
#pragma once

#include <cstdint>
#include <string>

namespace varnok {

enum class Chip : std::uint8_t { None, AT89C1051, AT89C2051, AT89C4051 };

// 4096 for AT89C4051, 2048 for AT89C2051, 1024 otherwise (none counts as 1024).
int ChipCapacity(Chip chip);
// "AT89C2051" etc., "none" for Chip::None.
const char* ChipName(Chip chip);
// The signature byte at address 001h (11h, 21h, 41h); 0 for none.
std::uint8_t ChipSignature(Chip chip);

// One row of the port table: the menu's LPT1 to LPT4.
struct PortRow {
    int number;  // 1 to 4
    const char* caption;
    std::uint16_t dataPort, statusPort, controlPort;
    std::uint16_t printerNumber;
};
// Row n (1 to 4); nullptr for any other n.
const PortRow* PortTableRow(int n);

// The settings file's values as read at start-up and written at close.
struct SettingsRecord {
    std::uint8_t languageCode = 1;
    std::string ImageDirectory;
    char ImageDrive = 'C';
    std::uint8_t chipCode = 2;
    std::uint8_t portCode = 1;
    bool lockBit = true;
    std::string ImageFileName;
};

struct SharedState {
    Chip ChipType = Chip::AT89C2051;
    std::uint16_t DataPort = 0x378;
    std::uint16_t StatusPort = 0x379;
    std::uint16_t ControlPort = 0x37A;
    std::uint16_t PrinterNumber = 0;
    bool LanguageGerman = true;
    std::string HelpFileName;
    std::string StartDirectory;
    // The chosen image file: a full path, bound or not. Every user opens it afresh.
    std::string ImageFile;
    bool ImageFileBound = false;
    std::string ImageDirectory;  // at most 200 characters
    char ImageDrive = 'C';
    std::string ImageFileName;  // at most 100 characters
    bool LockBitOption = true;
    std::uint8_t ControlWord = 0;
    std::uint8_t DataByte = 0;
    SettingsRecord Settings;

    int capacity() const { return ChipCapacity(ChipType); }
    // Applies row n of the port table (addresses and printer number); false if n is not 1 to 4.
    bool selectPort(int n);
};

// The process's one instance.
extern SharedState g_sharedState;
inline SharedState& Shared() {
    return g_sharedState;
}

}  // namespace varnok
