// The list box that shows a listing. It draws the rows of a list model that
// are on screen and nothing else: unlike QListView, which keeps layout data
// for every row, it costs the same for three lines as for thirty million.
#pragma once

#include <QAbstractScrollArea>
#include <QPointer>

class QAbstractItemModel;

namespace varnok {

class ListingModel;

class ListingView : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit ListingView(QWidget* parent = nullptr);

    void setModel(QAbstractItemModel* model);
    QAbstractItemModel* model() const { return model_; }

    int count() const;
    // The text of `row` as the model gives it, empty outside the rows.
    QString rowText(int row) const;
    // The selected row, -1 when none is.
    int currentRow() const { return current_; }
    void setCurrentRow(int row);

    // Every row has this height; only whole rows are drawn.
    int rowHeight() const { return rowHeight_; }
    void setRowHeight(int pixels);

    int firstVisibleRow() const;
    int visibleRowCount() const;
    void scrollToRow(int row);

signals:
    void currentRowChanged(int row);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent* event) override;

private:
    void modelReset();
    void updateScrollBars();
    int rowAt(int y) const;

    QPointer<QAbstractItemModel> model_;
    // Set when the model is a ListingModel: its lines are then fetched
    // directly, without a QVariant round trip for every row drawn.
    QPointer<ListingModel> listingModel_;
    int current_ = -1;
    int rowHeight_ = 16;
    // Widest row drawn so far: the rows' widths are known only once drawn.
    int contentWidth_ = 0;
};

// The text as drawn: control characters (00h to 1Fh, 7Fh) as their visible
// pictures, so that a tab or line feed in a listing neither moves nor breaks
// the row. The row's text itself is left as it is.
QString DrawableText(const QString& text);

}  // namespace varnok
