#include "app/history_pane.h"

#include "dialogs/store_messages.h"
#include "platform/ui/application.h"
#include "platform/ui/dialog_service.h"
#include "platform/ui/pictures.h"
#include "store/table.h"
#include "transfer/local_target.h"

#include <QAction>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

// The remote date of an entry whose listing was not seen.
const std::string kUnknownDate(1, '?');

const char* const kCaptions[6] = {"Start at", "Finished", "Elapsed", "Speed", "FTP path",
                                  "Local path"};

}  // namespace

HistoryPane::HistoryPane(store::Tdm& dm, QWidget* parent)
    : QWidget(parent), dm_(dm) {
    setObjectName(QStringLiteral("HistoryPane"));
    model_ = new HistoryTreeModel(this);
    tree_ = new QTreeView;
    tree_->setObjectName(QStringLiteral("HistoryTree"));
    tree_->setModel(model_);
    tree_->setHeaderHidden(true);
    tree_->setUniformRowHeights(true);
    tree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree_->setSelectionMode(QAbstractItemView::SingleSelection);
    tree_->setContextMenuPolicy(Qt::CustomContextMenu);
    tree_->setAccessibleName(QStringLiteral("History"));
    connect(tree_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { selectionChanged(); });
    connect(tree_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { showPopup(tree_->viewport()->mapToGlobal(p)); });

    menu_ = new QMenu(this);
    menu_->setObjectName(QStringLiteral("HistoryPopupMenu"));
    menuExecute_ = menu_->addAction(QStringLiteral("Execute"));
    menuDelete_ = menu_->addAction(QStringLiteral("Delete"));
    menuExecute_->setEnabled(false);
    menuDelete_->setEnabled(false);
    connect(menuExecute_, &QAction::triggered, this, [this] { executeSelected(); });
    connect(menuDelete_, &QAction::triggered, this, [this] { deleteSelected(); });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    buildToolbar();
    layout->addWidget(findChild<QToolBar*>(QStringLiteral("HistoryToolBar")));
    layout->addWidget(tree_, 1);
    buildDetails();
    layout->addWidget(details_);
}

HistoryPane::~HistoryPane() = default;

void HistoryPane::buildToolbar() {
    auto* bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("HistoryToolBar"));
    bar->setIconSize(QSize(16, 16));
    auto add = [bar](ui::Picture pic, const QString& hint) { return ui::addToolButton(bar, pic, hint); };
    actRefresh_ = add(ui::Picture::Refresh, QStringLiteral("Show/Refresh hostorys"));
    actDelete_ = add(ui::Picture::Delete, QStringLiteral("Delete"));
    actExecute_ = add(ui::Picture::Task, QStringLiteral("Execute"));
    actClear_ = add(ui::Picture::Stop, QStringLiteral("Clear historys"));
    bar->addSeparator();
    actExpand_ = add(ui::Picture::Folder, QStringLiteral("Expand"));
    actCollapse_ = add(ui::Picture::Up, QStringLiteral("Collapse"));
    bar->addSeparator();
    actHelp_ = add(ui::Picture::Help, QStringLiteral("Help"));
    for (QAction* a : {actDelete_, actExecute_, actClear_, actExpand_, actCollapse_})
        a->setEnabled(false);

    connect(actRefresh_, &QAction::triggered, this, [this] { refresh(); });
    connect(actDelete_, &QAction::triggered, this, [this] { deleteSelected(); });
    connect(actExecute_, &QAction::triggered, this, [this] { executeSelected(); });
    connect(actClear_, &QAction::triggered, this, [this] { clearHistory(); });
    connect(actExpand_, &QAction::triggered, this, [this] { expandAll(); });
    connect(actCollapse_, &QAction::triggered, this, [this] { collapseAll(); });
    connect(actHelp_, &QAction::triggered, this, [this] { showHelp(); });
}

void HistoryPane::buildDetails() {
    details_ = new QWidget(this);
    details_->setObjectName(QStringLiteral("HistoryDetails"));
    details_->setFixedHeight(120);
    auto* grid = new QGridLayout(details_);
    grid->setContentsMargins(4, 2, 4, 2);
    for (int i = 0; i < 6; ++i) {
        auto* caption = new QLabel(QString::fromLatin1(kCaptions[i]), details_);
        auto* value = new QLabel(details_);
        value->setObjectName(QString::fromLatin1(kCaptions[i]).remove(QLatin1Char(' ')));
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        value->setAccessibleName(caption->text());
        caption->setBuddy(value);
        values_[i] = value;
        // Start and finish, elapsed and speed share a row; the paths wrap over a row of their own.
        if (i < 4) {
            grid->addWidget(caption, i / 2, (i % 2) * 2);
            grid->addWidget(value, i / 2, (i % 2) * 2 + 1);
        } else {
            value->setWordWrap(true);
            grid->addWidget(caption, i - 2, 0);
            grid->addWidget(value, i - 2, 1, 1, 3);
        }
    }
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
}

void HistoryPane::guarded(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const std::exception& e) {
        ui::reportDiscardedError(e.what());
    }
}

// --- state -------------------------------------------------------------------

QModelIndex HistoryPane::selectedIndex() const {
    const QModelIndexList rows = tree_->selectionModel()->selectedRows();
    return rows.isEmpty() ? QModelIndex() : rows.first();
}

void HistoryPane::select(const QModelIndex& index) {
    if (!index.isValid()) {
        tree_->selectionModel()->clear();
        return;
    }
    tree_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
}

QStringList HistoryPane::details() const {
    QStringList out;
    for (QLabel* v : values_) out << v->text();
    return out;
}

void HistoryPane::showDetails(const rhd* r) {
    const QString v[6] = {
        r ? QString::fromUtf8(r->date) : QString(),
        r ? QString::fromUtf8(r->date2) : QString(),
        r ? QString::fromUtf8(r->usetime) + QStringLiteral("sec") : QString(),
        r ? QString::fromUtf8(r->speed) : QString(),
        r ? QString::fromUtf8(r->ftppath) : QString(),
        r ? QString::fromUtf8(r->lopath) : QString(),
    };
    for (int i = 0; i < 6; ++i) values_[i]->setText(v[i]);
}

void HistoryPane::selectionChanged() {
    const HistoryTreeModel::Level level = model_->level(selectedIndex());
    actDelete_->setEnabled(level == HistoryTreeModel::DayLevel || level == HistoryTreeModel::ItemLevel);
    actExecute_->setEnabled(level == HistoryTreeModel::ItemLevel);
    showDetails(model_->record(selectedIndex()));
}

QMenu* HistoryPane::popupMenu() {
    const HistoryTreeModel::Level level = model_->level(selectedIndex());
    menuExecute_->setEnabled(level == HistoryTreeModel::ItemLevel);
    menuDelete_->setEnabled(level == HistoryTreeModel::DayLevel || level == HistoryTreeModel::ItemLevel);
    return menu_;
}

void HistoryPane::showPopup(const QPoint& pos) { popupMenu()->popup(pos); }

// --- handlers ----------------------------------------------------------------

void HistoryPane::refresh() {
    guarded([this] {
        // Cleared first, so a store failure leaves an empty tree, not a stale one.
        model_->clear();
        model_->setHistory(store::ReadHistoryTree(dm_));
    });
    for (QAction* a : {actClear_, actExpand_, actCollapse_}) a->setEnabled(true);
    selectionChanged();
}

void HistoryPane::clearHistory() {
    try {
        store::ClearHistory(dm_);
    } catch (const std::exception& e) {
        dialogs::reportUnsaved(this, dm_, e);
    }
    refresh();
}

void HistoryPane::deleteSelected() {
    const QModelIndex i = selectedIndex();
    try {
        switch (model_->level(i)) {
        case HistoryTreeModel::ItemLevel:
            // A row deleted elsewhere in the meantime leaves its node in place.
            if (store::DeleteHistoryItem(dm_, model_->record(i)->key)) model_->removeNode(i);
            break;
        case HistoryTreeModel::DayLevel: {
            const HistoryTreeModel::DayKeys keys = model_->dayKeys(i);
            store::DeleteHistoryDay(dm_, keys.itemKeys, keys.masterKeys);
            model_->removeNode(i);
            break;
        }
        default:
            break;
        }
    } catch (const std::exception& e) {
        // Nothing was deleted; the tree still shows what the tables hold.
        dialogs::reportUnsaved(this, dm_, e);
    }
    selectionChanged();
}

void HistoryPane::expandAll() { tree_->expandAll(); }

void HistoryPane::collapseAll() {
    tree_->collapseAll();
    // A hidden node stays selected no longer: its site takes the selection.
    QModelIndex i = selectedIndex();
    while (i.parent().isValid()) i = i.parent();
    if (i != selectedIndex()) select(i);
    actDelete_->setEnabled(false);
    actExecute_->setEnabled(false);
}

void HistoryPane::showHelp() { ui::helpJump(this, QStringLiteral("item23")); }

void HistoryPane::executeSelected() {
    const rhd* selected = model_->record(selectedIndex());
    if (!selected) return;
    // A copy: every message box below runs the event loop, and the tree may be
    // rebuilt or cleared meanwhile.
    const rhd item = *selected;
    HistoryRun run;
    bool ready = false;
    guarded([&] { ready = prepareRun(item, run); });
    if (ready) emit executeRequested(run);
}

bool HistoryPane::prepareRun(const rhd& item, HistoryRun& run) {
    const std::optional<std::string> site = store::HistorySiteName(dm_, item.siteid);
    if (!site) {
        ui::error(this, QStringLiteral("Can not read the information of the FTP site."));
        return false;
    }
    run.siteName = QString::fromUtf8(*site);
    run.siteId = item.siteid;
    run.item = item;
    const QString lopath = QString::fromUtf8(item.lopath);
    rupdown& e = run.entry;
    e.remotedir = item.ftppath;
    e.isfolder = item.isfolder;
    if (item.type != "Download") {
        const QFileInfo source(lopath);
        if (!source.isAbsolute() || (item.isfolder ? !source.isDir() : !source.isFile())) {
            ui::error(this, QStringLiteral("The file %1 was not exists.").arg(lopath));
            return false;
        }
        e.direction = 0;
        e.localpath = item.lopath;
        e.size = item.isfolder ? 0 : source.size();
        e.name = transfer::LocalLastPart(item.lopath);
        e.checkremote = false;
        run.refreshAfter = true;
        return true;
    }
    // The saved name becomes a local path again: the same check as any remote name.
    if (!transfer::IsSafeLocalName(item.lofile)) {
        ui::error(this, QStringLiteral("Invalid path."));
        return false;
    }
    const std::string folder = transfer::LocalFolderPart(item.lopath);
    // Without a folder the file would land in the process's current folder.
    if (folder.empty() || !transfer::CreateFolderPath(folder)) {
        ui::error(this,
                  QStringLiteral("Can not create the folder %1, please check and enter again.").arg(lopath));
        return false;
    }
    e.direction = 1;
    e.localpath = *transfer::LocalTarget(folder, item.lofile);
    e.size = 0;
    e.name = item.ftpfile;
    e.remotedate = kUnknownDate;
    e.checkremote = true;
    run.refreshAfter = false;
    return true;
}
