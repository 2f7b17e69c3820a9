// The three chip runs, step for step, free of any user interface. Each reads
// what it needs from Shared() at the moment it needs it and reports through a
// RunReporter. Whatever way a run ends, the adapter is left as the run's own
// ending says; an exception (file error, interrupt) first puts the adapter idle.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "chip/run_reporter.h"

namespace varnok {

// ---- programming ----

enum class ProgramResult { Success, LinkFailure, VerifyFailure };

struct ProgramOutcome {
    ProgramResult result;
    int bytesDone;  // bytes written and read back correctly
};

// What the programming dialog's activation finds: the adapter is put idle, the
// image file opened and measured. The caller shows the messages and labels.
struct ProgrammingActivation {
    bool readable = false;
    std::uint64_t size = 0;
    bool tooLarge = false;  // larger than ChipCapacity: warn, but Start stays enabled
};
ProgrammingActivation ProgrammingActivate();
// The file half of the activation alone (for when the port cannot be had).
ProgrammingActivation CheckImageFile();

// The programming run: start sequence, erase, every byte with link check, write
// pulse and verify, lock bits when Shared().LockBitOption, end and clean-up.
// Programs Shared().ImageFile. Throws FileError (adapter idle first) when the
// image cannot be read during the run.
ProgramOutcome OKButtonClick(RunReporter& reporter);

// ---- read-out ----

// The character a read-out listing shows for a byte: the byte itself (as UTF-8
// of its Windows-1252 character) from 20h to 80h, else ".".
std::string ListingCharacter(std::uint8_t byte);
constexpr int kReadoutLineLength = 51;

// The read-out run: every byte of ChipCapacity from address 0, each written at
// once to `sink`, listed in lines of 51 characters. Leaves the adapter in
// read-code mode. Throws FileError if the sink cannot be created or written.
void StartBTNClick(RunReporter& reporter, ByteSink& sink);

// ---- erase ----

enum class EraseResult { Erased, LinkFailure };

// The erase run: link check with 0Fh, then the 20 ms erase pulse. Ends idle.
EraseResult BitBtn3Click(RunReporter& reporter);

}  // namespace varnok
