// A window that sees its keys before the control that has the focus, as the
// dialogs' key handlers expect.
#pragma once

#include <QObject>
#include <functional>

class QKeyEvent;
class QWidget;

namespace varnok {

class KeyPreview : public QObject {
public:
    // Returns true when it has consumed the key; the focused control then
    // never sees it.
    using Handler = std::function<bool(QKeyEvent* event)>;

    // Watches key presses and releases meant for `window` or any of its
    // controls for as long as `window` lives.
    KeyPreview(QWidget* window, Handler handler);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window_;
    Handler handler_;
};

}  // namespace varnok
