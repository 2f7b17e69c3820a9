#include "app/gauge.h"

#include <QPainter>
#include <algorithm>

namespace varnok {

Gauge::Gauge(QWidget* parent) : QWidget(parent) {}

void Gauge::setMaxValue(int max) {
    max_ = std::max(0, max);
    progress_ = std::min(progress_, max_);
    refresh();
}

void Gauge::setProgress(int progress) {
    progress_ = std::clamp(progress, 0, max_);
    refresh();
}

int Gauge::percentDone() const {
    if (max_ <= 0) return 0;
    return static_cast<int>(static_cast<long long>(progress_) * 100 / max_);
}

void Gauge::setForeColor(const QColor& color) {
    fore_ = color;
    update();
}

int Gauge::fillWidth() const {
    const int inner = std::max(0, width() - 2);
    if (max_ <= 0) return 0;
    return static_cast<int>(static_cast<long long>(progress_) * inner / max_);
}

void Gauge::refresh() {
    const int percent = percentDone();
    const int fill = fillWidth();
    if (percent == shownPercent_ && fill == shownFill_) return;
    if (isVisible()) {
        repaint();
    } else {
        update();
    }
}

void Gauge::paintEvent(QPaintEvent*) {
    shownPercent_ = percentDone();
    shownFill_ = fillWidth();
    QPainter painter(this);
    const QRect frame = rect().adjusted(0, 0, -1, -1);
    const QRect inner = rect().adjusted(1, 1, -1, -1);
    painter.fillRect(inner, Qt::white);
    const QRect bar(inner.left(), inner.top(), shownFill_, inner.height());
    painter.fillRect(bar, fore_);
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(frame);

    // The text shows in the bar's colour on the empty part and in white on
    // the bar, so it stays readable wherever the bar ends.
    const QString text = QString::number(shownPercent_) + QLatin1Char('%');
    painter.setFont(font());
    painter.save();
    painter.setClipRect(inner.adjusted(shownFill_, 0, 0, 0));
    painter.setPen(fore_);
    painter.drawText(inner, Qt::AlignCenter, text);
    painter.restore();
    painter.setClipRect(bar);
    painter.setPen(Qt::white);
    painter.drawText(inner, Qt::AlignCenter, text);
}

}  // namespace varnok
