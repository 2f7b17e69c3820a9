// Help topics by context number: 103 file selection, 104 programming,
// 105 read-out, 108 erase, 110 the main window's "?" item.
#pragma once

class QWidget;

namespace varnok {

// Shows `contextNumber` of the help file named by Shared().HelpFileName. A
// help file that cannot be found is reported in a message box.
void OpenHelpTopic(QWidget* parent, int contextNumber);

}  // namespace varnok
