// How the windows reach the adapter. The backend is the one chosen on the
// command line; it is opened only while a window needs it (a dialog from its
// activation to its close, a run, the idle writes at start-up and close) and
// released afterwards, so that another program, varnok-cli on the same
// simulated chip file for instance, can use it in between. With a trace the
// simulator stays open from start-up to close instead, so that the trace
// covers the whole session in one file.
#pragma once

#include <QString>

#include "app/backend.h"

class QWidget;

namespace varnok {

class PortSession {
public:
    // The command-line choice; `portGiven` tells an explicit --port from the default.
    static void Configure(const BackendArgs& args, bool portGiven);
    static const BackendArgs& Args();
    static bool UsesSimulator();
    // The LPT number of an explicit --port lpt1..lpt4, else 0.
    static int ExplicitLpt();

    // Opens the backend unless it is open already and counts one more user.
    // A port that cannot be opened is reported in a message box over `parent`
    // (none when `parent` is nullptr and `quiet` is set) and returns false.
    static bool Acquire(QWidget* parent, bool quiet = false);
    // One user fewer; the last one closes the port.
    static void Release();
    // Closes the port whatever the count (the end of the program).
    static void Shutdown();
    static bool IsOpen();
};

}  // namespace varnok
