#include "app/help.h"

#include "app/help_window.h"
#include "app/shared_state.h"

namespace varnok {

void OpenHelpTopic(QWidget* parent, int contextNumber) {
    ShowHelpTopic(parent, QString::fromStdString(Shared().HelpFileName), contextNumber);
}

}  // namespace varnok
