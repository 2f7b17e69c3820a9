#include "files/listing_model.h"

#include <algorithm>
#include <limits>

namespace varnok {

ListingModel::ListingModel(QObject* parent) : QAbstractListModel(parent) {}

std::uint64_t ListingModel::ByteLimit(const ListingFormat& format) {
    // One item is kept for the trailing line.
    const std::uint64_t countable =
        static_cast<std::uint64_t>(std::numeric_limits<int>::max() - 1) * format.bytesPerLine;
    return std::min(FileSnapshot::DefaultLimit(), countable);
}

bool ListingModel::setListing(Listing listing) {
    const bool fits =
        listing.lineCount() <= static_cast<std::size_t>(std::numeric_limits<int>::max());
    beginResetModel();
    listing_ = fits ? std::move(listing) : Listing();
    endResetModel();
    return fits;
}

void ListingModel::clear() {
    beginResetModel();
    listing_ = Listing();
    endResetModel();
}

QString ListingModel::lineText(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= listing_.lineCount()) return {};
    const auto line = static_cast<std::size_t>(row);
    QString text(static_cast<qsizetype>(listing_.lineLength16(line)), Qt::Uninitialized);
    listing_.writeLine16(line, reinterpret_cast<char16_t*>(text.data()));
    return text;
}

int ListingModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(listing_.lineCount());
}

QVariant ListingModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.column() != 0) return {};
    if (role != Qt::DisplayRole) return {};
    return lineText(index.row());
}

}  // namespace varnok
