#include "files/listing_view.h"

#include <QAbstractItemModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <algorithm>

#include "files/listing_model.h"

namespace varnok {

QString DrawableText(const QString& text) {
    QString out = text;
    for (QChar& c : out) {
        const char16_t u = c.unicode();
        if (u < 0x20)
            c = QChar(char16_t(0x2400 + u));
        else if (u == 0x7F)
            c = QChar(char16_t(0x2421));
    }
    return out;
}

ListingView::ListingView(QWidget* parent) : QAbstractScrollArea(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
}

void ListingView::setModel(QAbstractItemModel* model) {
    if (model_) disconnect(model_, nullptr, this, nullptr);
    model_ = model;
    listingModel_ = qobject_cast<ListingModel*>(model);
    if (model_) {
        connect(model_, &QAbstractItemModel::modelReset, this, &ListingView::modelReset);
        connect(model_, &QAbstractItemModel::layoutChanged, this, &ListingView::modelReset);
        connect(model_, &QAbstractItemModel::rowsInserted, this, &ListingView::modelReset);
        connect(model_, &QAbstractItemModel::rowsRemoved, this, &ListingView::modelReset);
        connect(model_, &QAbstractItemModel::dataChanged, viewport(),
                qOverload<>(&QWidget::update));
    }
    modelReset();
}

int ListingView::count() const {
    return model_ ? model_->rowCount() : 0;
}

QString ListingView::rowText(int row) const {
    if (listingModel_) return listingModel_->lineText(row);
    if (!model_ || row < 0 || row >= model_->rowCount()) return {};
    return model_->data(model_->index(row, 0), Qt::DisplayRole).toString();
}

void ListingView::modelReset() {
    const bool hadCurrent = current_ != -1;
    current_ = -1;
    contentWidth_ = 0;
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    updateScrollBars();
    viewport()->update();
    if (hadCurrent) emit currentRowChanged(-1);
}

void ListingView::setRowHeight(int pixels) {
    rowHeight_ = std::max(1, pixels);
    updateScrollBars();
    viewport()->update();
}

int ListingView::firstVisibleRow() const {
    return verticalScrollBar()->value();
}

int ListingView::visibleRowCount() const {
    return std::max(1, viewport()->height() / rowHeight_);
}

void ListingView::scrollToRow(int row) {
    const int first = firstVisibleRow();
    const int visible = visibleRowCount();
    if (row < first)
        verticalScrollBar()->setValue(row);
    else if (row >= first + visible)
        verticalScrollBar()->setValue(row - visible + 1);
}

void ListingView::setCurrentRow(int row) {
    const int rows = count();
    if (row < -1 || row >= rows) row = -1;
    if (row == current_) return;
    current_ = row;
    if (row >= 0) scrollToRow(row);
    viewport()->update();
    emit currentRowChanged(row);
}

void ListingView::updateScrollBars() {
    const int rows = count();
    const int visible = visibleRowCount();
    verticalScrollBar()->setRange(0, std::max(0, rows - visible));
    verticalScrollBar()->setPageStep(visible);
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setRange(0, std::max(0, contentWidth_ - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(fontMetrics().averageCharWidth() * 4);
}

int ListingView::rowAt(int y) const {
    if (y < 0) return -1;
    const int slot = y / rowHeight_;
    if (slot >= visibleRowCount()) return -1;
    const int row = firstVisibleRow() + slot;
    return row < count() ? row : -1;
}

void ListingView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    if (!model_) return;
    const int rows = count();
    const int first = firstVisibleRow();
    const int last = std::min(rows, first + visibleRowCount());
    const int dx = horizontalScrollBar()->value();
    const int width = viewport()->width();
    const QFontMetrics metrics = fontMetrics();
    const int baseline = (rowHeight_ - metrics.height()) / 2 + metrics.ascent();
    int widest = contentWidth_;
    for (int row = first; row < last; ++row) {
        const QRect rect(0, (row - first) * rowHeight_, width, rowHeight_);
        const QString text = DrawableText(rowText(row));
        const int textWidth = metrics.horizontalAdvance(text) + 4;
        widest = std::max(widest, textWidth);
        const bool selected = row == current_;
        if (selected) painter.fillRect(rect, palette().brush(QPalette::Highlight));
        painter.setPen(palette().color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter.drawText(QPoint(2 - dx, rect.top() + baseline), text);
        if (selected && hasFocus()) {
            QStyleOptionFocusRect option;
            option.initFrom(this);
            option.rect = rect;
            option.backgroundColor = palette().color(QPalette::Highlight);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
        }
    }
    if (widest != contentWidth_) {
        contentWidth_ = widest;
        updateScrollBars();
    }
}

void ListingView::keyPressEvent(QKeyEvent* event) {
    const int rows = count();
    if (rows == 0 || event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    const int page = std::max(1, visibleRowCount() - 1);
    const int from = current_;
    int to;
    switch (event->key()) {
        case Qt::Key_Up:
            to = from < 0 ? 0 : from - 1;
            break;
        case Qt::Key_Down:
            to = from + 1;
            break;
        case Qt::Key_PageUp:
            to = from - page;
            break;
        case Qt::Key_PageDown:
            to = from + page;
            break;
        case Qt::Key_Home:
            to = 0;
            break;
        case Qt::Key_End:
            to = rows - 1;
            break;
        default:
            QAbstractScrollArea::keyPressEvent(event);
            return;
    }
    setCurrentRow(std::clamp(to, 0, rows - 1));
    event->accept();
}

void ListingView::mousePressEvent(QMouseEvent* event) {
    const int row = rowAt(event->position().toPoint().y());
    if (row >= 0) setCurrentRow(row);
    QAbstractScrollArea::mousePressEvent(event);
}

void ListingView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void ListingView::scrollContentsBy(int, int) {
    viewport()->update();
}

void ListingView::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        contentWidth_ = 0;
        updateScrollBars();
    }
}

}  // namespace varnok
