#pragma once
// The history tree as an item model: site, direction ("Upload", "Download"),
// day, item. Nodes never move and are found by pointer, so indexes stay valid
// while days and items are removed; each item node owns its `rhd`.
#include "store/history_records.h"

#include <QAbstractItemModel>
#include <QIcon>
#include <memory>
#include <string>
#include <vector>

class HistoryTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    enum Level { NoLevel = -1, SiteLevel = 0, DirectionLevel = 1, DayLevel = 2, ItemLevel = 3 };

    explicit HistoryTreeModel(QObject* parent = nullptr);
    ~HistoryTreeModel() override;

    // Replaces the whole tree.
    void setHistory(std::vector<store::HistorySite> sites);
    void clear();

    Level level(const QModelIndex& index) const;
    // The record of an item node; nullptr for any other node.
    const rhd* record(const QModelIndex& index) const;

    // What deleting a day needs to know about it.
    struct DayKeys {
        std::vector<int> itemKeys;    // hdital keys of its items, in tree order
        std::vector<int> masterKeys;  // the hmaster rows it was made from
    };
    DayKeys dayKeys(const QModelIndex& day) const;

    // Removes a day (with its items) or an item; false for other nodes.
    bool removeNode(const QModelIndex& index);

    // Item nodes in the whole tree.
    int itemCount() const { return items_; }

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Opaque outside the model.
    struct Node;
    struct ItemNode;
    struct DayNode;
    struct DirNode;
    struct SiteNode;

private:
    Node* nodeOf(const QModelIndex& index) const;
    QModelIndex indexOf(Node* node) const;

    std::vector<std::unique_ptr<SiteNode>> sites_;
    int items_ = 0;
    QIcon siteIcon_, uploadIcon_, downloadIcon_, dayIcon_, folderIcon_, fileIcon_;
};
