// The settings file varnok.INI: the user's choices carried from one run to the
// next. The GUI reads it once at start-up and writes it once at close; the
// command-line tool only reads it for its defaults.
//
// Where it lives: $XDG_CONFIG_HOME/varnok.INI, or ~/.config/varnok.INI when
// XDG_CONFIG_HOME is unset, empty or not absolute. One file for every run of
// every copy. Tests point XDG_CONFIG_HOME elsewhere, or call the functions that
// take an explicit path.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/shared_state.h"

namespace varnok {

inline constexpr char kSettingsFileName[] = "varnok.INI";
inline constexpr char kSettingsSection[] = "option";
inline constexpr std::size_t kImageDirectoryLimit = 200;  // characters
inline constexpr std::size_t kImageFileNameLimit = 100;   // characters

// The directory that holds the settings file (without a trailing slash).
std::string SettingsDirectory();
// SettingsDirectory() + "/varnok.INI".
std::string SettingsFilePath();

// The record that a first start, without any file, works with.
SettingsRecord DefaultSettings();

// The seven keys of section "option" in `text`, with the defaults and reading
// rules applied. Never fails: whatever cannot be understood gives the default.
SettingsRecord ParseSettings(std::string_view text);

// Reads the file at `path`. A missing or unreadable file gives the defaults.
SettingsRecord ReadSettings(const std::string& path = SettingsFilePath());

// `existing` with the seven keys set from `record`; every other line is kept
// byte for byte and in its place. Keys already present are replaced where they
// stand; missing ones are added after the section's last entry, in writing order.
std::string UpdateSettingsText(std::string_view existing, const SettingsRecord& record);

struct SettingsWriteResult {
    bool ok = true;
    // For the user: "nach varnok.INI kann nicht geschrieben werden"; empty when ok.
    std::string message;
    // What the system said, with the path ("...: No space left on device"); empty when ok.
    std::string reason;
};

// Writes `record` into the file at `path`, replacing it as a whole: either the
// new file is in place, or the old one is still there unchanged.
SettingsWriteResult WriteSettings(const SettingsRecord& record,
                                  const std::string& path = SettingsFilePath());

// "nach %s kann nicht geschrieben werden" with %s = "varnok.INI".
std::string CannotWriteSettingsMessage();

// The chip of a settings code: 1, 2, 4; anything else is no chip.
Chip ChipFromCode(std::uint8_t code);
// The settings code of a chip: 4 for AT89C4051, 2 for AT89C2051, 1 otherwise.
std::uint8_t ChipCode(Chip chip);

// What varnok-cli takes from the settings file when its options do not say.
struct CliDefaults {
    Chip chip = Chip::AT89C2051;  // Chip::None for an odd code, as in the GUI (1024 bytes)
    int lpt = 1;                  // 1 to 4; a code outside that set gives LPT1's addresses
    bool lockBit = true;
    // Set only when the file has "Sprache"; otherwise the tool keeps its own choice.
    std::optional<bool> languageGerman;
};
CliDefaults ReadCliDefaults(const std::string& path = SettingsFilePath());

}  // namespace varnok
