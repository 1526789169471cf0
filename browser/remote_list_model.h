#pragma once
// Model of the remote list: it owns no rows and reads row i from the frame's
// `listing`, so a folder of any size costs no widget per entry. The row count
// is set explicitly after each change of `listing`, like a virtual list.
#include "browser/listing_row.h"

#include <QAbstractTableModel>
#include <QIcon>

#include <vector>

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

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    void sort(int column, Qt::SortOrder order) override;

    const rdatalist* row(int i) const;

signals:
    void renameRequested(int row, const QString& newName);
    void sortRequested(int column);

private:
    const std::vector<rdatalist>* rows_;
    int count_ = 0;
    QIcon folderIcon_, fileIcon_;
};

inline QString fromBytes(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace browser
