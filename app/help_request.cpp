#include "app/help_request.h"

#include <utility>

#include "app/help.h"

namespace varnok {

namespace {
HelpHook g_hook;
}  // namespace

HelpHook SetHelpHook(HelpHook hook) {
    std::swap(g_hook, hook);
    return hook;
}

void RequestHelp(QWidget* parent, int contextNumber) {
    if (g_hook) {
        g_hook(parent, contextNumber);
    } else {
        OpenHelpTopic(parent, contextNumber);
    }
}

}  // namespace varnok
