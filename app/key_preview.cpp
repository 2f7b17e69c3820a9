#include "app/key_preview.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace varnok {

KeyPreview::KeyPreview(QWidget* window, Handler handler)
    : QObject(window), window_(window), handler_(std::move(handler)) {
    qApp->installEventFilter(this);
}

bool KeyPreview::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != window_) return false;
    // A key that its first receiver ignores travels on to the parents; only
    // the first delivery, to the control with the focus, counts.
    QWidget* first = window_->focusWidget() ? window_->focusWidget() : window_;
    if (widget != first) return false;
    return handler_(static_cast<QKeyEvent*>(event));
}

}  // namespace varnok
