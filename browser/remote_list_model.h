#pragma once
// Model of the remote list: it owns no rows and reads row i from the frame's
// `listing`, so a folder of any size costs no widget per entry. The row count
// is set explicitly after each change of `listing`, like a virtual list.
//
// The filter hides file rows here, in the view only: `listing` keeps them, so
// the checks against the folder's contents still see them, while every row
// number of this model (selection, drag, rename, drop) is a shown row.
#include "browser/listing_row.h"

#include <QAbstractTableModel>
#include <QByteArray>
#include <QIcon>

#include <functional>
#include <set>
#include <string>
#include <vector>

class QMimeData;

namespace browser {

class RemoteListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColName = 0, ColSize, ColType, ColModified, ColumnCount };

    explicit RemoteListModel(const std::vector<rdatalist>* rows, QObject* parent = nullptr);

    // Makes the views re-read every row: the first n rows of `listing`, less
    // the hidden ones.
    void setRowCount(int n);
    void refresh() { setRowCount(static_cast<int>(rows_->size())); }

    // File rows with one of these names are not shown (until the next refresh
    // with another set). Folders are always shown.
    void setHiddenFiles(std::set<std::string> names);
    const std::set<std::string>& hiddenFiles() const { return hidden_; }
    bool hides(const rdatalist& r) const;
    // Whether the filter may hide this row: a file row with a size text.
    static bool filterable(const rdatalist& r) { return r.typetext != "Folder" && !r.sizetext.empty(); }

    // Editing the name column does not change the row: the frame validates the
    // name, renames on the server and then patches `listing`.
    bool editable = true;
    // Local files may be dropped on the list (off while the page is busy).
    bool acceptsDrops = true;
    // What a drag of these rows carries; set by the frame.
    std::function<QMimeData*(const std::vector<int>& rows)> dragData;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    void sort(int column, Qt::SortOrder order) override;
    Qt::DropActions supportedDropActions() const override;
    Qt::DropActions supportedDragActions() const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

    // Shown row i (nullptr when there is none).
    const rdatalist* row(int i) const;

signals:
    // The name of the row edited, as the server's bytes: row numbers do not
    // survive until the queued handler runs.
    void renameRequested(const QByteArray& oldName, const QString& newName);
    void sortRequested(int column);
    // Local files dropped: their paths and the row dropped on (-1 for none).
    void filesDropped(const QStringList& paths, int row);

private:
    const std::vector<rdatalist>* rows_;
    std::vector<std::size_t> shown_;  // indexes into `listing`, in its order
    std::set<std::string> hidden_;
    QIcon folderIcon_, fileIcon_;
};

inline QString fromBytes(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace browser
