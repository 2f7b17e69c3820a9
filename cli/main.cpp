// varnok-cli: the programming, read-out and erase runs for scripts and production.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>
#include <vector>

#include "adapter/adapter.h"
#include "adapter/errors.h"
#include "adapter/port_access.h"
#include "app/backend.h"
#include "app/settings.h"
#include "app/shared_state.h"
#include "chip/runs.h"
#include "chip/sinks.h"
#include "chip/texts.h"
#include "cli/terminal_reporter.h"
#include "files/listing.h"

namespace {

using namespace varnok;

enum Exit {
    kOk = 0,
    kUsage = 1,
    kFileError = 2,
    kPortError = 3,
    kLinkFailed = 4,
    kVerifyFailed = 5,
    kInterrupted = 130,
};

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void OnSignal(int) {
    g_interrupted = 1;
}

void InstallSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a sleeping wait wakes up at once
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool LocaleIsGerman() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) return std::string(value).compare(0, 2, "de") == 0;
    }
    return false;
}

Chip ParseChip(const std::string& text) {
    if (text == "1051") return Chip::AT89C1051;
    if (text == "2051") return Chip::AT89C2051;
    if (text == "4051") return Chip::AT89C4051;
    throw CLI::ValidationError("--chip", "takes 1051, 2051 or 4051");
}

struct Options {
    std::string chip = "2051";
    BackendArgs backend;
    bool lock = true;
    std::string lang;
    bool quiet = false;
    std::string image;
    std::string output;
};

std::string Hex(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*Xh", digits, value);
    return text;
}

// The programming dialog's activation, then its run.
int Program(TerminalReporter& out, const Options& options) {
    SharedState& s = Shared();
    s.ImageFile = options.image;
    s.ImageFileBound = true;
    const ProgrammingActivation activation = ProgrammingActivate();
    if (!activation.readable) {
        out.note(MessageKind::Error,
                 std::string(text::ImageUnreadable(s.LanguageGerman)) + " (" + options.image + ")");
        return kFileError;
    }
    if (activation.tooLarge) out.note(MessageKind::Warning, text::ImageTooLarge(s.LanguageGerman));
    const std::uint64_t capacity = static_cast<std::uint64_t>(s.capacity());
    out.setByteTotal(static_cast<long>(activation.size < capacity ? activation.size : capacity),
                     false);
    const ProgramOutcome outcome = OKButtonClick(out);
    out.finishProgress(outcome.result == ProgramResult::Success);
    // The dialog leaves the gauge to show how far it came; a terminal says where.
    if (outcome.result != ProgramResult::Success)
        out.note(MessageKind::Information,
                 (s.LanguageGerman ? "Abbruch bei Adresse " : "Stopped at address ") +
                     Hex(static_cast<unsigned>(outcome.bytesDone), 4));
    switch (outcome.result) {
        case ProgramResult::Success:
            return kOk;
        case ProgramResult::LinkFailure:
            return kLinkFailed;
        case ProgramResult::VerifyFailure:
            return kVerifyFailed;
    }
    return kOk;
}

// The read-out dialog's activation, its run into `sink`, and its close.
void ReadInto(TerminalReporter& out, ByteSink& sink) {
    AdapterIdle();
    DelayShort();
    out.setByteTotal(Shared().capacity(), true);
    StartBTNClick(out, sink);
    out.finishProgress(true);
    AdapterIdle();
    DelayShort();
}

int Read(TerminalReporter& out, const Options& options) {
    if (options.output == "-") {
        DescriptorSink sink(STDOUT_FILENO, "standard output");
        ReadInto(out, sink);
    } else {
        AtomicFileSink sink(options.output);
        ReadInto(out, sink);
        sink.commit();
    }
    return kOk;
}

// Reads the chip and compares it with the image, byte for byte from address
// 0; bytes past the image are not looked at. Nothing is written to the chip.
int Verify(TerminalReporter& out, const Options& options) {
    SharedState& s = Shared();
    const bool german = s.LanguageGerman;
    const std::optional<std::uint64_t> size = OpenedFileSize(options.image);
    std::ifstream file(options.image, std::ios::binary);
    if (!size || !file) {
        out.note(MessageKind::Error,
                 std::string(text::ImageUnreadable(german)) + " (" + options.image + ")");
        return kFileError;
    }
    const std::uint64_t capacity = static_cast<std::uint64_t>(s.capacity());
    if (*size > capacity) out.note(MessageKind::Warning, text::ImageTooLarge(german));
    std::vector<char> image(static_cast<std::size_t>(std::min(*size, capacity)));
    if (!file.read(image.data(), static_cast<std::streamsize>(image.size()))) {
        out.note(MessageKind::Error,
                 std::string(text::ImageUnreadable(german)) + " (" + options.image + ")");
        return kFileError;
    }
    MemorySink chip;
    ReadInto(out, chip);
    for (std::size_t address = 0; address < image.size(); ++address) {
        const auto expected = static_cast<std::uint8_t>(image[address]);
        if (chip.bytes[address] == expected) continue;
        out.note(MessageKind::Error, (german ? "Chip und Datei weichen ab bei Adresse "
                                             : "Chip and file differ at address ") +
                                         Hex(static_cast<unsigned>(address), 4) +
                                         (german ? ": Chip " : ": chip ") +
                                         Hex(chip.bytes[address], 2) +
                                         (german ? ", Datei " : ", file ") + Hex(expected, 2));
        return kVerifyFailed;
    }
    out.note(MessageKind::Information,
             german ? "Chip stimmt mit der Datei überein." : "The chip matches the file.");
    return kOk;
}

int Erase(TerminalReporter& out) {
    return BitBtn3Click(out) == EraseResult::Erased ? kOk : kLinkFailed;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    CLI::App app{
        "varnok-cli: program, read out and erase AT89C1051/2051/4051 chips on a parallel-port "
        "adapter"};
    app.set_version_flag("--version", std::string("varnok-cli ") + VARNOK_VERSION);
    app.require_subcommand(1, 1);
    app.fallthrough();
    app.add_option(
           "--chip", options.chip,
           "Chip type: 1051, 2051 or 4051 (default: as the window program left it, else 2051)")
        ->check(CLI::IsMember({"1051", "2051", "4051"}))
        ->capture_default_str();
    app.add_option("--port", options.backend.port,
                   "Port: lpt1..lpt4, /dev/parportN, direct:ADDR or sim")
        ->capture_default_str();
    app.add_flag("--lock,!--no-lock", options.lock,
                 "Set lock bits 1 and 2 after programming (default: on)");
    app.add_option("--lang", options.lang,
                   "Language of the messages: de or en (default: from the locale)")
        ->check(CLI::IsMember({"de", "en"}));
    app.add_option("--sim-chip", options.backend.simChip,
                   "Simulated chip file (default under $XDG_STATE_HOME/varnok/, created erased)");
    app.add_option("--sim-time", options.backend.simTime, "Simulator clock: virtual or real")
        ->check(CLI::IsMember({"virtual", "real"}))
        ->capture_default_str();
    app.add_option(
        "--sim-fault", options.backend.simFaults,
        "Simulated fault: no-adapter, no-chip, stuck-p1=N:V, bad-cell=ADDR (repeatable)");
    app.add_option("--trace", options.backend.trace, "Write the simulator's port trace to FILE");
    app.add_flag("--quiet,-q", options.quiet, "Only warnings and errors");

    CLI::App* program =
        app.add_subcommand("program", "Erase the chip, program IMAGE and verify every byte");
    program->add_option("IMAGE", options.image, "Raw image file (byte n at address n)")->required();
    CLI::App* read =
        app.add_subcommand("read", "Read the whole chip into OUTPUT ('-' for standard output)");
    read->add_option("OUTPUT", options.output, "Output file")->required();
    CLI::App* erase = app.add_subcommand("erase", "Erase the chip");
    CLI::App* verify = app.add_subcommand(
        "verify", "Read the chip and compare it with IMAGE (nothing is written)");
    verify->add_option("IMAGE", options.image, "Raw image file (byte n at address n)")->required();

    // A later option wins over an earlier one, so scripts can append overrides.
    for (CLI::Option* option : app.get_options())
        if (option->get_expected_max() == 1)
            option->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? kOk : kUsage;
    }

    SharedState& s = Shared();
    // The window program's settings are the defaults; the command line wins.
    // Without a settings file the language follows the locale.
    const CliDefaults saved = ReadCliDefaults();
    s.LanguageGerman = !options.lang.empty() ? options.lang == "de"
                                             : saved.languageGerman.value_or(LocaleIsGerman());
    s.ChipType = app.get_option("--chip")->count() ? ParseChip(options.chip) : saved.chip;
    s.LockBitOption = app.get_option("--lock")->count() ? options.lock : saved.lockBit;
    if (!app.get_option("--port")->count())
        options.backend.port = "lpt" + std::to_string(saved.lpt);
    TerminalReporter out(stderr, options.quiet, s.LanguageGerman);

    BackendSetup setup;
    try {
        setup = ParseBackendArgs(options.backend, s.ChipType);
    } catch (const std::invalid_argument& e) {
        std::cerr << "varnok-cli: " << e.what() << "\n";
        return kUsage;
    }
    if (setup.choice.kind == PortChoice::Kind::Lpt) s.selectPort(setup.choice.lpt);

    InstallSignalHandlers();
    try {
        InstallPort(OpenBackend(setup));
    } catch (const PortError& e) {
        out.note(MessageKind::Error, DescribePortError(e, s.LanguageGerman));
        return kPortError;
    } catch (const FileError& e) {
        out.note(MessageKind::Error, e.what());
        return kFileError;
    }
    if (g_interrupted) {
        InstallPort(nullptr);
        return kInterrupted;
    }
    WatchInterruptFlag(&g_interrupted);

    int status = kOk;
    try {
        if (*program) status = Program(out, options);
        if (*read) status = Read(out, options);
        if (*erase) status = Erase(out);
        if (*verify) status = Verify(out, options);
    } catch (const RunInterrupted&) {
        ForceAdapterIdle();
        out.finishProgress(false);
        out.note(MessageKind::Error, s.LanguageGerman ? "Abgebrochen." : "Interrupted.");
        status = kInterrupted;
    } catch (const FileError& e) {
        ForceAdapterIdle();
        out.finishProgress(false);
        out.note(MessageKind::Error, e.what());
        status = kFileError;
    }
    WatchInterruptFlag(nullptr);
    try {
        InstalledPort()->finish();
    } catch (const FileError& e) {
        out.note(MessageKind::Error, e.what());
        if (status == kOk) status = kFileError;
    }
    InstallPort(nullptr);  // releases the port, closes the chip file and the trace
    return status;
}
