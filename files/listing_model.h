// A listing as a Qt list model: one item a line, each line's text made when a
// view asks for it, so that a file of any length costs no item objects.
#pragma once

#include <QAbstractListModel>
#include <QString>
#include <cstdint>

#include "files/listing.h"

namespace varnok {

class ListingModel : public QAbstractListModel {
    Q_OBJECT

public:
    explicit ListingModel(QObject* parent = nullptr);

    // The most bytes a listing in `format` may have so that its items can be
    // counted by a model (an int), and that memory allows.
    static std::uint64_t ByteLimit(const ListingFormat& format);

    // Replaces the items with the lines of `listing`. Refused (false, items
    // emptied) if it has more lines than a model can count.
    bool setListing(Listing listing);
    void clear();
    const Listing& listing() const { return listing_; }

    QString lineText(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    Listing listing_;
};

}  // namespace varnok
