// The program's command line: the same backend options as varnok-cli.
#pragma once

#include <QStringList>
#include <optional>

#include "app/backend.h"

namespace varnok {

struct GuiOptions {
    BackendArgs backend;
    bool portGiven = false;  // --port on the command line, not the default
};

struct CommandLineResult {
    std::optional<GuiOptions> options;  // nothing: end with `exitCode`
    int exitCode = 0;
    QString output;  // help or version text (standard output) or error (standard error)
};

// `arguments` includes the program name. Checks the backend options the way
// the backend will read them, so a mistake is reported before any window shows.
CommandLineResult ParseCommandLine(const QStringList& arguments);

}  // namespace varnok
