#pragma once
// The queue list of a page as an item model over its QueueState. Rows follow
// the queue's order; the model keeps the ids of its rows and the display
// state of each (state image, "Status" text), and is told by id when the
// engine has appended, removed or updated an entry.
#include "browser/queue_state.h"

#include <QAbstractTableModel>
#include <QIcon>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

class QItemSelectionModel;

namespace transfer {

class QueueModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColState = 0, ColName, ColSize, ColStatus, ColPath, ColumnCount };
    // The row's state image as a number: -1 waiting, 0 transferring, 1 failed.
    static constexpr int StateImageRole = Qt::UserRole + 1;
    // The entry's id.
    static constexpr int IdRole = Qt::UserRole + 2;

    explicit QueueModel(const QueueState* state, QObject* parent = nullptr);

    // After the entry with this id was appended to the queue.
    void entryAppended(std::uint64_t id);
    // After the entry with this id left the queue.
    void entryRemoved(std::uint64_t id);
    // The row of an entry still queued: state image and "Status".
    void setEntryState(std::uint64_t id, int image);
    void setEntryStatus(std::uint64_t id, const std::string& status);
    // Rebuilds every row from the queue (display states of gone entries drop).
    void resync();

    int stateOf(std::uint64_t id) const;
    std::string statusOf(std::uint64_t id) const;
    int rowOf(std::uint64_t id) const;  // -1 when not shown
    std::uint64_t idAt(int row) const;   // 0 when out of range
    // The ids of the selected rows, in row order.
    std::vector<std::uint64_t> selectedIds(const QItemSelectionModel& selection) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct Display {
        int image = -1;
        std::string status;
    };
    const rupdown* entry(int row) const;
    void rowChanged(std::uint64_t id, int firstColumn, int lastColumn);

    const QueueState* state_;
    std::vector<std::uint64_t> ids_;
    std::unordered_map<std::uint64_t, Display> display_;
    QIcon busyIcon_, failedIcon_, folderIcon_, fileIcon_;
};

}  // namespace transfer
