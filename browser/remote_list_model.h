#pragma once
// Model of the remote list: it owns no rows and reads row i from the frame's
// `listing`, so a folder of any size costs no widget per entry. The row count
// is set explicitly after each change of `listing`, like a virtual list.
#include "browser/listing_row.h"

#include <QAbstractTableModel>
#include <QIcon>

#include <functional>
#include <vector>

class QMimeData;

namespace browser {

class RemoteListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColName = 0, ColSize, ColType, ColModified, ColumnCount };

    explicit RemoteListModel(const std::vector<rdatalist>* rows, QObject* parent = nullptr);

    // Makes the views re-read every row (row count and contents).
    void setRowCount(int n);
    void refresh() { setRowCount(static_cast<int>(rows_->size())); }

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

    const rdatalist* row(int i) const;

signals:
    void renameRequested(int row, const QString& newName);
    void sortRequested(int column);
    // Local files dropped: their paths and the row dropped on (-1 for none).
    void filesDropped(const QStringList& paths, int row);

private:
    const std::vector<rdatalist>* rows_;
    int count_ = 0;
    QIcon folderIcon_, fileIcon_;
};

inline QString fromBytes(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace browser
