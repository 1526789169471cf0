#include "app/history_pane_model.h"

#include "platform/ui/pictures.h"

struct HistoryTreeModel::Node {
    Node* parent = nullptr;
    Level level = NoLevel;
    int row = 0;
};

struct HistoryTreeModel::ItemNode : HistoryTreeModel::Node {
    rhd* rec = nullptr;
};

// The records stay in the block the store read them into; item nodes are made
// once per reset and never move, and `items` lists those still shown.
struct HistoryTreeModel::DayNode : HistoryTreeModel::Node {
    std::string date;
    std::vector<int> masterKeys;
    std::vector<rhd> recs;
    std::vector<ItemNode> nodes;
    std::vector<ItemNode*> items;
};

struct HistoryTreeModel::DirNode : HistoryTreeModel::Node {
    std::vector<std::unique_ptr<DayNode>> days;
};

struct HistoryTreeModel::SiteNode : HistoryTreeModel::Node {
    int id = 0;
    std::string name;
    std::string address;
    DirNode dirs[2];
};

namespace {

using Node = HistoryTreeModel::Node;
using ItemNode = HistoryTreeModel::ItemNode;
using DayNode = HistoryTreeModel::DayNode;
using DirNode = HistoryTreeModel::DirNode;
using SiteNode = HistoryTreeModel::SiteNode;
using Sites = std::vector<std::unique_ptr<SiteNode>>;

const char* const kDirections[2] = {"Upload", "Download"};

template <typename T>
void renumber(std::vector<T>& v, size_t from) {
    for (size_t i = from; i < v.size(); ++i) v[i]->row = static_cast<int>(i);
}

int childCount(const Node* n, const Sites& sites) {
    if (!n) return static_cast<int>(sites.size());
    switch (n->level) {
    case HistoryTreeModel::SiteLevel: return 2;
    case HistoryTreeModel::DirectionLevel: return static_cast<int>(static_cast<const DirNode*>(n)->days.size());
    case HistoryTreeModel::DayLevel: return static_cast<int>(static_cast<const DayNode*>(n)->items.size());
    default: return 0;
    }
}

Node* childAt(Node* n, int row, const Sites& sites) {
    if (row < 0 || row >= childCount(n, sites)) return nullptr;
    const auto r = static_cast<size_t>(row);
    if (!n) return sites[r].get();
    switch (n->level) {
    case HistoryTreeModel::SiteLevel: return &static_cast<SiteNode*>(n)->dirs[r];
    case HistoryTreeModel::DirectionLevel: return static_cast<DirNode*>(n)->days[r].get();
    case HistoryTreeModel::DayLevel: return static_cast<DayNode*>(n)->items[r];
    default: return nullptr;
    }
}

}  // namespace
HistoryTreeModel::HistoryTreeModel(QObject* parent)
    : QAbstractItemModel(parent),
      siteIcon_(ui::icon(ui::Picture::Site)),
      uploadIcon_(ui::icon(ui::Picture::Upload)),
      downloadIcon_(ui::icon(ui::Picture::Download)),
      dayIcon_(ui::icon(ui::Picture::Day)),
      folderIcon_(ui::icon(ui::Picture::Folder)),
      fileIcon_(ui::icon(ui::Picture::File)) {}

HistoryTreeModel::~HistoryTreeModel() = default;

void HistoryTreeModel::setHistory(std::vector<store::HistorySite> sites) {
    beginResetModel();
    sites_.clear();
    items_ = 0;
    sites_.reserve(sites.size());
    for (store::HistorySite& s : sites) {
        auto site = std::make_unique<SiteNode>();
        site->level = SiteLevel;
        site->row = static_cast<int>(sites_.size());
        site->id = s.id;
        site->name = std::move(s.name);
        site->address = std::move(s.address);
        for (int d = 0; d < 2; ++d) {
            DirNode& dir = site->dirs[d];
            dir.parent = site.get();
            dir.level = DirectionLevel;
            dir.row = d;
            dir.days.reserve(s.days[d].size());
            for (store::HistoryDay& hd : s.days[d]) {
                auto day = std::make_unique<DayNode>();
                day->parent = &dir;
                day->level = DayLevel;
                day->row = static_cast<int>(dir.days.size());
                day->date = std::move(hd.date);
                day->masterKeys = std::move(hd.masterKeys);
                day->recs = std::move(hd.items);
                day->nodes.resize(day->recs.size());
                day->items.reserve(day->recs.size());
                for (size_t i = 0; i < day->recs.size(); ++i) {
                    ItemNode& item = day->nodes[i];
                    item.parent = day.get();
                    item.level = ItemLevel;
                    item.row = static_cast<int>(i);
                    item.rec = &day->recs[i];
                    day->items.push_back(&item);
                }
                items_ += static_cast<int>(day->items.size());
                dir.days.push_back(std::move(day));
            }
        }
        sites_.push_back(std::move(site));
    }
    endResetModel();
}

void HistoryTreeModel::clear() { setHistory({}); }

HistoryTreeModel::Node* HistoryTreeModel::nodeOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<Node*>(index.internalPointer()) : nullptr;
}

QModelIndex HistoryTreeModel::indexOf(Node* node) const {
    return node ? createIndex(node->row, 0, node) : QModelIndex();
}

HistoryTreeModel::Level HistoryTreeModel::level(const QModelIndex& index) const {
    const Node* n = nodeOf(index);
    return n ? n->level : NoLevel;
}

const rhd* HistoryTreeModel::record(const QModelIndex& index) const {
    const Node* n = nodeOf(index);
    return n && n->level == ItemLevel ? static_cast<const ItemNode*>(n)->rec : nullptr;
}

HistoryTreeModel::DayKeys HistoryTreeModel::dayKeys(const QModelIndex& index) const {
    DayKeys keys;
    const Node* n = nodeOf(index);
    if (!n || n->level != DayLevel) return keys;
    const auto* day = static_cast<const DayNode*>(n);
    keys.masterKeys = day->masterKeys;
    for (const ItemNode* item : day->items) keys.itemKeys.push_back(item->rec->key);
    return keys;
}

bool HistoryTreeModel::removeNode(const QModelIndex& index) {
    Node* n = nodeOf(index);
    if (!n || (n->level != DayLevel && n->level != ItemLevel)) return false;
    const int row = n->row;
    beginRemoveRows(indexOf(n->parent), row, row);
    if (n->level == ItemLevel) {
        auto& items = static_cast<DayNode*>(n->parent)->items;
        items.erase(items.begin() + row);
        renumber(items, static_cast<size_t>(row));
        // Its node and record keep their places until the next reset; the texts go now.
        *static_cast<ItemNode*>(n)->rec = rhd();
        --items_;
    } else {
        auto& days = static_cast<DirNode*>(n->parent)->days;
        items_ -= static_cast<int>(days[static_cast<size_t>(row)]->items.size());
        days.erase(days.begin() + row);
        renumber(days, static_cast<size_t>(row));
    }
    endRemoveRows();
    return true;
}

QModelIndex HistoryTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0) return QModelIndex();
    Node* child = childAt(nodeOf(parent), row, sites_);
    return child ? createIndex(row, 0, child) : QModelIndex();
}

QModelIndex HistoryTreeModel::parent(const QModelIndex& index) const {
    const Node* n = nodeOf(index);
    return n ? indexOf(n->parent) : QModelIndex();
}

int HistoryTreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() && parent.column() != 0) return 0;
    return childCount(nodeOf(parent), sites_);
}

int HistoryTreeModel::columnCount(const QModelIndex&) const { return 1; }

QVariant HistoryTreeModel::data(const QModelIndex& index, int role) const {
    const Node* n = nodeOf(index);
    if (!n || (role != Qt::DisplayRole && role != Qt::DecorationRole)) return QVariant();
    const bool text = role == Qt::DisplayRole;
    switch (n->level) {
    case SiteLevel: {
        const auto* s = static_cast<const SiteNode*>(n);
        if (!text) return siteIcon_;
        return QString::fromUtf8(s->name) + QStringLiteral("  (") + QString::fromUtf8(s->address) +
               QLatin1Char(')');
    }
    case DirectionLevel:
        if (!text) return n->row == 0 ? uploadIcon_ : downloadIcon_;
        return QString::fromLatin1(kDirections[n->row]);
    case DayLevel:
        if (!text) return dayIcon_;
        return QString::fromUtf8(static_cast<const DayNode*>(n)->date);
    case ItemLevel: {
        const rhd& r = *static_cast<const ItemNode*>(n)->rec;
        if (!text) return r.isfolder ? folderIcon_ : fileIcon_;
        return QString::fromUtf8(r.lofile);
    }
    default:
        return QVariant();
    }
}

Qt::ItemFlags HistoryTreeModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (level(index) == ItemLevel) f |= Qt::ItemNeverHasChildren;
    return f;
}
