// A horizontal progress gauge with its percentage written across it. Unlike a
// progress bar it never turns into a busy indicator: a maximum of 0 simply
// shows 0 %, which is what an empty image file has to show.
#pragma once

#include <QColor>
#include <QWidget>

namespace varnok {

class Gauge : public QWidget {
    Q_OBJECT

public:
    explicit Gauge(QWidget* parent = nullptr);

    int maxValue() const { return max_; }
    void setMaxValue(int max);
    int progress() const { return progress_; }
    // Clamped to 0..maxValue().
    void setProgress(int progress);
    void addProgress(int step) { setProgress(progress_ + step); }
    // Whole percent done, rounded down.
    int percentDone() const;
    void setForeColor(const QColor& color);

    QSize sizeHint() const override { return {120, 20}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Redraws at once when what is shown changes: the read-out lets no events
    // through while it reads, and the gauge must move all the same.
    void refresh();
    int fillWidth() const;

    int max_ = 100;
    int progress_ = 0;
    QColor fore_ = Qt::black;
    int shownPercent_ = -1;
    int shownFill_ = -1;
};

}  // namespace varnok
