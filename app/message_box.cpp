#include "app/message_box.h"

#include <QMessageBox>
#include <utility>

#include "app/icons.h"

namespace varnok {

namespace {
MessageHook g_hook;
}  // namespace

MessageHook SetMessageHook(MessageHook hook) {
    std::swap(g_hook, hook);
    return hook;
}

void ShowMessage(QWidget* parent, MessageKind kind, const QString& text) {
    if (g_hook) {
        g_hook(parent, kind, text);
        return;
    }
    // The titles are the ones the users' toolkit put on these boxes, which
    // did not follow the program's language switch.
    QMessageBox::Icon icon = QMessageBox::Information;
    QString title = QStringLiteral("Information");
    switch (kind) {
        case MessageKind::Error:
            icon = QMessageBox::Critical;
            title = QStringLiteral("Fehler");
            break;
        case MessageKind::Warning:
            icon = QMessageBox::Warning;
            title = QStringLiteral("Warnung");
            break;
        case MessageKind::Information:
            break;
    }
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QChar('\r'), QChar('\n'));
    QMessageBox box(icon, title, shown, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.setWindowIcon(ProgramIcon());
    box.exec();
}

}  // namespace varnok
