// Every message the windows show goes through ShowMessage: one modal box of
// the error, warning or information kind with a single OK button. Tests put a
// hook in its place so that a run can be driven without anyone clicking OK.
#pragma once

#include <QString>
#include <functional>

#include "chip/run_reporter.h"

class QWidget;

namespace varnok {

// Blocks until the box is closed. A carriage return in `text` breaks the line,
// as the chip dialogs' English texts expect.
void ShowMessage(QWidget* parent, MessageKind kind, const QString& text);

using MessageHook = std::function<void(QWidget* parent, MessageKind kind, const QString& text)>;
// Replaces the box with `hook` (nullptr restores it); returns the previous hook.
MessageHook SetMessageHook(MessageHook hook);

}  // namespace varnok
