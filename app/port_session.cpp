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
QString g_lastError;

bool HoldForWholeSession() {
    return !g_args.trace.empty();
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

bool PortSession::PortGiven() {
    return g_portGiven;
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
        g_lastError.clear();
        return true;
    } catch (const PortError& e) {
        g_lastError = QString::fromStdString(DescribePortError(e, german));
    } catch (const std::exception& e) {
        g_lastError = QString::fromUtf8(e.what());
    }
    if (!quiet) ShowMessage(parent, MessageKind::Error, g_lastError);
    return false;
}

void PortSession::Release() {
    if (!g_open) return;
    if (g_users > 0) --g_users;
    if (g_users == 0 && !HoldForWholeSession()) {
        InstallPort(nullptr);
        g_open = false;
    }
}

void PortSession::Shutdown() {
    if (g_open) InstallPort(nullptr);
    g_open = false;
    g_users = 0;
}

bool PortSession::IsOpen() {
    return g_open;
}

QString PortSession::LastError() {
    return g_lastError;
}

}  // namespace varnok
