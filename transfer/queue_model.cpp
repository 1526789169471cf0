#include "transfer/queue_model.h"

#include "browser/remote_list_model.h"
#include "platform/ui/pictures.h"
#include "transfer/queue_rules.h"

#include <QItemSelectionModel>

#include <algorithm>

namespace transfer {

QueueModel::QueueModel(const QueueState* state, QObject* parent)
    : QAbstractTableModel(parent),
      state_(state),
      busyIcon_(ui::icon(ui::Picture::Refresh)),
      failedIcon_(ui::icon(ui::Picture::Stop)),
      folderIcon_(ui::icon(ui::Picture::Folder)),
      fileIcon_(ui::icon(ui::Picture::File)) {
    resync();
}

void QueueModel::entryAppended(std::uint64_t id) {
    if (rowOf(id) >= 0 || FindQueueEntry(*state_, id) < 0) return;
    const int row = static_cast<int>(ids_.size());
    beginInsertRows({}, row, row);
    ids_.push_back(id);
    display_[id] = {};
    endInsertRows();
}

void QueueModel::entryRemoved(std::uint64_t id) {
    const int row = rowOf(id);
    if (row < 0) return;
    beginRemoveRows({}, row, row);
    ids_.erase(ids_.begin() + row);
    display_.erase(id);
    endRemoveRows();
}

void QueueModel::setEntryState(std::uint64_t id, int image) {
    auto it = display_.find(id);
    if (it == display_.end() || it->second.image == image) return;
    it->second.image = image;
    rowChanged(id, ColState, ColState);
}

void QueueModel::setEntryStatus(std::uint64_t id, const std::string& status) {
    auto it = display_.find(id);
    if (it == display_.end() || it->second.status == status) return;
    it->second.status = status;
    rowChanged(id, ColStatus, ColStatus);
}

void QueueModel::resync() {
    beginResetModel();
    ids_.clear();
    std::unordered_map<std::uint64_t, Display> kept;
    for (const rupdown& e : state_->queue) {
        ids_.push_back(e.id);
        auto it = display_.find(e.id);
        kept[e.id] = it == display_.end() ? Display{} : it->second;
    }
    display_ = std::move(kept);
    endResetModel();
}

int QueueModel::stateOf(std::uint64_t id) const {
    auto it = display_.find(id);
    return it == display_.end() ? -1 : it->second.image;
}

std::string QueueModel::statusOf(std::uint64_t id) const {
    auto it = display_.find(id);
    return it == display_.end() ? std::string() : it->second.status;
}

int QueueModel::rowOf(std::uint64_t id) const {
    auto it = std::find(ids_.begin(), ids_.end(), id);
    return it == ids_.end() ? -1 : static_cast<int>(it - ids_.begin());
}

std::uint64_t QueueModel::idAt(int row) const {
    return row >= 0 && row < static_cast<int>(ids_.size()) ? ids_[static_cast<std::size_t>(row)] : 0;
}

std::vector<std::uint64_t> QueueModel::selectedIds(const QItemSelectionModel& selection) const {
    std::vector<int> rows;
    for (const QModelIndex& i : selection.selectedRows()) rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    std::vector<std::uint64_t> out;
    for (int r : rows)
        if (std::uint64_t id = idAt(r)) out.push_back(id);
    return out;
}

const rupdown* QueueModel::entry(int row) const {
    const std::uint64_t id = idAt(row);
    if (!id) return nullptr;
    // Rows and queue keep one order, so the same position is the usual hit.
    const auto& q = state_->queue;
    if (row < static_cast<int>(q.size()) && q[static_cast<std::size_t>(row)].id == id)
        return &q[static_cast<std::size_t>(row)];
    const int at = FindQueueEntry(*state_, id);
    return at < 0 ? nullptr : &q[static_cast<std::size_t>(at)];
}

void QueueModel::rowChanged(std::uint64_t id, int firstColumn, int lastColumn) {
    const int row = rowOf(id);
    if (row >= 0) emit dataChanged(index(row, firstColumn), index(row, lastColumn));
}

int QueueModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(ids_.size());
}

int QueueModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant QueueModel::data(const QModelIndex& index, int role) const {
    const rupdown* e = index.isValid() ? entry(index.row()) : nullptr;
    if (!e) return {};
    const int image = stateOf(e->id);
    if (role == IdRole) return QVariant::fromValue<qulonglong>(e->id);
    if (role == StateImageRole) return image;
    switch (index.column()) {
    case ColState:
        if (role == Qt::DecorationRole && image >= 0) return image == 0 ? busyIcon_ : failedIcon_;
        if (role == Qt::ToolTipRole || role == Qt::AccessibleTextRole) {
            if (image == 0) return QStringLiteral("Transferring");
            if (image == 1) return QStringLiteral("Failed");
            return QStringLiteral("Waiting");
        }
        return {};
    case ColName:
        if (role == Qt::DisplayRole) return browser::fromBytes(e->name);
        if (role == Qt::DecorationRole) return e->isfolder ? folderIcon_ : fileIcon_;
        return {};
    case ColSize:
        if (role == Qt::DisplayRole) return QString::fromStdString(QueueSizeText(*e));
        if (role == Qt::TextAlignmentRole) return int(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    case ColStatus:
        if (role == Qt::DisplayRole) return browser::fromBytes(statusOf(e->id));
        return {};
    case ColPath:
        if (role == Qt::DisplayRole) return browser::fromBytes(QueuePathText(*e));
        return {};
    default:
        return {};
    }
}

QVariant QueueModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o != Qt::Horizontal) return {};
    static const char* const captions[ColumnCount] = {"", "Name", "Size (bytes)", "Status", "Path"};
    if (section < 0 || section >= ColumnCount) return {};
    if (role == Qt::DisplayRole) return QString::fromLatin1(captions[section]);
    if (role == Qt::AccessibleTextRole && section == ColState) return QStringLiteral("State");
    return {};
}

Qt::ItemFlags QueueModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

}  // namespace transfer
