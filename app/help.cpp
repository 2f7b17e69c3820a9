#include "app/help.h"

#include "app/message_box.h"
#include "app/shared_state.h"

namespace varnok {

// Until the help window exists, a help request says that it cannot be served.
void OpenHelpTopic(QWidget* parent, int contextNumber) {
    const SharedState& s = Shared();
    const QString file = QString::fromStdString(s.HelpFileName);
    ShowMessage(parent, MessageKind::Error,
                s.LanguageGerman
                    ? QStringLiteral("Die Hilfedatei \"%1\" wurde nicht gefunden (Thema %2).")
                          .arg(file)
                          .arg(contextNumber)
                    : QStringLiteral("The help file \"%1\" cannot be found (topic %2).")
                          .arg(file)
                          .arg(contextNumber));
}

}  // namespace varnok
