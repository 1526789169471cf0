#include "browser/remote_list_model.h"

#include "browser/drag_formats.h"

#include <QApplication>
#include <QMimeData>
#include <QStyle>
#include <QUrl>

#include <algorithm>

namespace browser {

RemoteListModel::RemoteListModel(const std::vector<rdatalist>* rows, QObject* parent)
    : QAbstractTableModel(parent), rows_(rows) {
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        folderIcon_ = app->style()->standardIcon(QStyle::SP_DirIcon);
        fileIcon_ = app->style()->standardIcon(QStyle::SP_FileIcon);
    }
}

void RemoteListModel::setRowCount(int n) {
    beginResetModel();
    shown_.clear();
    const std::size_t count = std::min(static_cast<std::size_t>(n < 0 ? 0 : n), rows_->size());
    shown_.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        if (!hides((*rows_)[i])) shown_.push_back(i);
    endResetModel();
}

void RemoteListModel::setHiddenFiles(std::set<std::string> names) {
    hidden_ = std::move(names);
    refresh();
}

bool RemoteListModel::hides(const rdatalist& r) const {
    return !hidden_.empty() && filterable(r) && hidden_.count(r.name) > 0;
}

const rdatalist* RemoteListModel::row(int i) const {
    // The rows may lag behind `listing` while a blocking call repaints.
    if (i < 0 || static_cast<std::size_t>(i) >= shown_.size()) return nullptr;
    const std::size_t at = shown_[static_cast<std::size_t>(i)];
    return at < rows_->size() ? &(*rows_)[at] : nullptr;
}

int RemoteListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

int RemoteListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant RemoteListModel::data(const QModelIndex& index, int role) const {
    const rdatalist* r = index.isValid() ? row(index.row()) : nullptr;
    if (!r) return {};
    const int col = index.column();
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole || role == Qt::ToolTipRole ||
        (role == Qt::EditRole && col == ColName)) {
        switch (col) {
        case ColName: return fromBytes(r->name);
        case ColSize: return fromBytes(r->sizetext);
        case ColType: return fromBytes(r->typetext);
        case ColModified: return fromBytes(r->modified);
        default: return {};
        }
    }
    if (role == Qt::DecorationRole && col == ColName) return r->image == 0 ? folderIcon_ : fileIcon_;
    if (role == Qt::TextAlignmentRole && col == ColSize)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant RemoteListModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
    case ColName: return QStringLiteral("Name");
    case ColSize: return QStringLiteral("Size");
    case ColType: return QStringLiteral("Type");
    case ColModified: return QStringLiteral("Modified");
    default: return {};
    }
}

Qt::ItemFlags RemoteListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::ItemIsDropEnabled;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled |
                      Qt::ItemNeverHasChildren;
    if (editable && index.column() == ColName) f |= Qt::ItemIsEditable;
    return f;
}

bool RemoteListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    const rdatalist* r = index.isValid() ? row(index.row()) : nullptr;
    if (role != Qt::EditRole || index.column() != ColName || !r) return false;
    emit renameRequested(QByteArray(r->name.data(), static_cast<qsizetype>(r->name.size())), value.toString());
    return false;
}

void RemoteListModel::sort(int column, Qt::SortOrder) {
    emit sortRequested(column);
}

Qt::DropActions RemoteListModel::supportedDropActions() const { return Qt::CopyAction; }

Qt::DropActions RemoteListModel::supportedDragActions() const { return Qt::CopyAction; }

QStringList RemoteListModel::mimeTypes() const {
    return {QStringLiteral("text/uri-list"), QString::fromLatin1(dragfmt::kRemoteRowsMime)};
}

QMimeData* RemoteListModel::mimeData(const QModelIndexList& indexes) const {
    if (!dragData) return nullptr;
    std::set<int> rows;
    for (const QModelIndex& i : indexes)
        if (row(i.row())) rows.insert(i.row());
    if (rows.empty()) return nullptr;
    return dragData(std::vector<int>(rows.begin(), rows.end()));
}

namespace {
QStringList localPaths(const QMimeData* data) {
    QStringList out;
    if (!data || !data->hasUrls()) return out;
    for (const QUrl& u : data->urls())
        if (u.isLocalFile()) out << u.toLocalFile();
    return out;
}
}  // namespace

bool RemoteListModel::canDropMimeData(const QMimeData* data, Qt::DropAction, int, int,
                                      const QModelIndex&) const {
    return acceptsDrops && !localPaths(data).isEmpty();
}

bool RemoteListModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int r, int column,
                                   const QModelIndex& parent) {
    if (!canDropMimeData(data, action, r, column, parent)) return false;
    emit filesDropped(localPaths(data), parent.isValid() ? parent.row() : -1);
    // The files stay where they are; queueing them is the transfer engine's.
    return false;
}

}  // namespace browser
