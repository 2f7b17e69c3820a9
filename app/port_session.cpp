#include "app/port_session.h"

#include <stdexcept>

#include "adapter/errors.h"
#include "adapter/port_backend.h"
#include "app/message_box.h"
#include "app/shared_state.h"

namespace varnok {

namespace {
BackendArgs g_args;
bool g_portGiven = false;
int g_users = 0;
bool g_open = false;

bool HoldForWholeSession() {
    return !g_args.trace.empty();
}

// Lets the port go, after the backend has written out what it still holds;
// a trace that could not be completed is told, not lost silently.
void ClosePort() {
    if (PortBackend* port = InstalledPort()) {
        try {
            port->finish();
        } catch (const std::exception& e) {
            ShowMessage(nullptr, MessageKind::Error, QString::fromUtf8(e.what()));
        }
    }
    InstallPort(nullptr);
}
}  // namespace

void PortSession::Configure(const BackendArgs& args, bool portGiven) {
    Shutdown();
    g_args = args;
    g_portGiven = portGiven;
}

const BackendArgs& PortSession::Args() {
    return g_args;
}

bool PortSession::UsesSimulator() {
    try {
        return ParsePortChoice(g_args.port).kind == PortChoice::Kind::Simulator;
    } catch (const std::exception&) {
        return false;
    }
}

int PortSession::ExplicitLpt() {
    if (!g_portGiven) return 0;
    try {
        const PortChoice choice = ParsePortChoice(g_args.port);
        return choice.kind == PortChoice::Kind::Lpt ? choice.lpt : 0;
    } catch (const std::exception&) {
        return 0;
    }
}

bool PortSession::Acquire(QWidget* parent, bool quiet) {
    if (g_open) {
        ++g_users;
        return true;
    }
    const bool german = Shared().LanguageGerman;
    try {
        // The chip in the simulated socket follows the chip menu when no chip
        // file is named: each type has a chip file of its own.
        InstallPort(OpenBackend(ParseBackendArgs(g_args, Shared().ChipType)));
        g_open = true;
        g_users = 1;
        return true;
    } catch (const PortError& e) {
        if (!quiet)
            ShowMessage(parent, MessageKind::Error,
                        QString::fromStdString(DescribePortError(e, german)));
    } catch (const std::exception& e) {
        if (!quiet) ShowMessage(parent, MessageKind::Error, QString::fromUtf8(e.what()));
    }
    return false;
}

void PortSession::Release() {
    if (!g_open) return;
    if (g_users > 0) --g_users;
    if (g_users == 0 && !HoldForWholeSession()) {
        ClosePort();
        g_open = false;
    }
}

void PortSession::Shutdown() {
    if (g_open) ClosePort();
    g_open = false;
    g_users = 0;
}

bool PortSession::IsOpen() {
    return g_open;
}

}  // namespace varnok
