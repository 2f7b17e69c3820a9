// What the help buttons, F1 and the "?" item call. It hands the topic to
// OpenHelpTopic unless a test has put a hook in its place.
#pragma once

#include <functional>

class QWidget;

namespace varnok {

void RequestHelp(QWidget* parent, int contextNumber);

using HelpHook = std::function<void(QWidget* parent, int contextNumber)>;
// nullptr restores OpenHelpTopic; returns the previous hook.
HelpHook SetHelpHook(HelpHook hook);

}  // namespace varnok
