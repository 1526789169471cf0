#include "tasks/tasks_pane.h"

#include "dialogs/store_messages.h"
#include "platform/ui/application.h"
#include "platform/ui/dialog_service.h"
#include "platform/ui/pictures.h"
#include "tasks/category_editor.h"
#include "tasks/task_editor.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPointer>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <exception>

namespace {

constexpr int kIsTaskRole = Qt::UserRole;
constexpr int kIdRole = Qt::UserRole + 1;

QString text(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
std::string bytes(const QString& s) { return s.toUtf8().toStdString(); }

bool isTaskNode(const QTreeWidgetItem* node) { return node->data(0, kIsTaskRole).toBool(); }
int nodeId(const QTreeWidgetItem* node) { return node->data(0, kIdRole).toInt(); }

QIcon taskIcon(const rtask& t) {
    return ui::icon(store::IsDownloadTask(t.type) ? ui::Picture::Download : ui::Picture::Upload);
}

}  // namespace

TasksPane::TasksPane(store::Tdm& dm, QWidget* parent) : QWidget(parent), dm_(dm) {
    setObjectName(QStringLiteral("TasksPane"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    buildToolbar();
    layout->addWidget(bar_);

    tree_ = new QTreeWidget(this);
    tree_->setObjectName(QStringLiteral("TaskTree"));
    tree_->setHeaderHidden(true);
    tree_->setAccessibleName(QStringLiteral("Tasks"));
    tree_->setSelectionMode(QAbstractItemView::SingleSelection);
    tree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree_->setContextMenuPolicy(Qt::CustomContextMenu);
    layout->addWidget(tree_, 1);

    auto* heading = new QLabel(QStringLiteral("Description"), this);
    desc_ = new QPlainTextEdit(this);
    desc_->setReadOnly(true);
    desc_->setFrameShape(QFrame::NoFrame);
    desc_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    desc_->setMaximumHeight(120);
    QPalette pal = desc_->palette();
    pal.setColor(QPalette::Base, QColor(0xC0, 0xC0, 0xC0));
    desc_->setPalette(pal);
    heading->setBuddy(desc_);
    layout->addWidget(heading);
    layout->addWidget(desc_);

    buildMenu();

    connect(tree_, &QTreeWidget::itemSelectionChanged, this, [this] { guarded([this] { selectionChanged(); }); });
    connect(tree_, &QTreeWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        popupMenu()->popup(tree_->viewport()->mapToGlobal(pos));
    });
}

TasksPane::~TasksPane() = default;

void TasksPane::buildToolbar() {
    bar_ = new QToolBar(this);
    bar_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    auto add = [this](const QString& caption, ui::Picture picture, void (TasksPane::*fn)()) {
        QAction* a = bar_->addAction(ui::icon(picture), caption);
        connect(a, &QAction::triggered, this, [this, fn] { guarded([this, fn] { (this->*fn)(); }); });
        return a;
    };
    // The reload button shows its picture alone and has no hint; screen
    // readers still get a name.
    actReload_ = add(QString(), ui::Picture::Refresh, &TasksPane::FillTree);
    if (QWidget* w = bar_->widgetForAction(actReload_)) w->setAccessibleName(QStringLiteral("Reload"));
    actNew_ = add(QStringLiteral("New category"), ui::Picture::Category, &TasksPane::newCategory);
    actEdit_ = add(QStringLiteral("Edit"), ui::Picture::Edit, &TasksPane::editSelected);
    actDelete_ = add(QStringLiteral("Delete"), ui::Picture::Delete, &TasksPane::deleteSelected);
    actExecute_ = add(QStringLiteral("Execute"), ui::Picture::Task, &TasksPane::executeSelected);
    bar_->addSeparator();
    actExpand_ = bar_->addAction(QStringLiteral("Expand"));
    connect(actExpand_, &QAction::triggered, this, &TasksPane::expandAll);
    actCollapse_ = bar_->addAction(QStringLiteral("Collapse"));
    connect(actCollapse_, &QAction::triggered, this, &TasksPane::collapseAll);
    bar_->addSeparator();
    actHelp_ = add(QStringLiteral("Help"), ui::Picture::Help, &TasksPane::showHelp);
    actDelete_->setEnabled(false);
    actExecute_->setEnabled(false);
}

void TasksPane::buildMenu() {
    menu_ = new QMenu(this);
    auto add = [this](const QString& caption, void (TasksPane::*fn)()) {
        QAction* a = menu_->addAction(caption);
        connect(a, &QAction::triggered, this, [this, fn] { guarded([this, fn] { (this->*fn)(); }); });
        return a;
    };
    menuEdit_ = add(QStringLiteral("Edit"), &TasksPane::editSelected);
    menuDelete_ = add(QStringLiteral("Delete"), &TasksPane::deleteSelected);
    menuExecute_ = add(QStringLiteral("Execute"), &TasksPane::executeSelected);
}

QMenu* TasksPane::popupMenu() {
    const std::optional<NodeRef> node = selectedNode();
    menuEdit_->setEnabled(node.has_value());
    menuDelete_->setEnabled(node.has_value());
    menuExecute_->setEnabled(node && node->isTask);
    return menu_;
}

void TasksPane::guarded(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const std::exception& e) {
        ui::reportDiscardedError(e.what());
    }
}

// --- the tree ---------------------------------------------------------------

void TasksPane::FillTree() {
    {
        const QSignalBlocker block(tree_);
        tree_->clear();
    }
    records_.clear();
    // A failed read leaves an empty tree with consistent buttons.
    struct After {
        TasksPane* p;
        ~After() {
            p->tree_->expandAll();
            try {
                p->selectionChanged();
            } catch (...) {
            }
        }
    } after{this};
    for (const store::TaskCategoryTasks& c : store::ReadTaskTree(dm_)) {
        QTreeWidgetItem* parent = addCategoryNode(c.category);
        for (const rtask& t : c.tasks) {
            auto* node = new QTreeWidgetItem(parent, {text(t.name)});
            node->setIcon(0, taskIcon(t));
            node->setData(0, kIsTaskRole, true);
            node->setData(0, kIdRole, t.id);
            records_.push_back(t);
        }
    }
}

QTreeWidgetItem* TasksPane::addCategoryNode(const store::TaskCategory& category) {
    auto* node = new QTreeWidgetItem(tree_, {text(category.name)});
    node->setIcon(0, ui::icon(ui::Picture::Category));
    node->setData(0, kIsTaskRole, false);
    node->setData(0, kIdRole, category.id);
    return node;
}

QTreeWidgetItem* TasksPane::findNode(bool isTask, int id) const {
    for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* c = tree_->topLevelItem(i);
        if (!isTask) {
            if (nodeId(c) == id) return c;
            continue;
        }
        for (int k = 0; k < c->childCount(); ++k)
            if (nodeId(c->child(k)) == id) return c->child(k);
    }
    return nullptr;
}

std::optional<TasksPane::NodeRef> TasksPane::selectedNode() const {
    const QList<QTreeWidgetItem*> sel = tree_->selectedItems();
    if (sel.isEmpty()) return std::nullopt;
    return NodeRef{isTaskNode(sel.front()), nodeId(sel.front())};
}

bool TasksPane::selectNode(bool isTask, int id) {
    QTreeWidgetItem* node = findNode(isTask, id);
    if (!node) return false;
    tree_->setCurrentItem(node);
    node->setSelected(true);
    return true;
}

QString TasksPane::description() const { return desc_->toPlainText(); }

void TasksPane::selectionChanged() {
    const std::optional<NodeRef> node = selectedNode();
    if (!node) {
        actDelete_->setEnabled(false);
        desc_->clear();
        return;
    }
    actDelete_->setEnabled(true);
    actExecute_->setEnabled(node->isTask);
    if (node->isTask) {
        QString comment;
        for (const rtask& t : records_)
            if (t.id == node->id) comment = text(t.common);
        desc_->setPlainText(comment);
    } else {
        const std::optional<store::TaskCategory> c = store::ReadTaskCategory(dm_, node->id);
        desc_->setPlainText(c ? text(c->desc) : QString());
    }
}

std::vector<store::TaskCategory> TasksPane::treeCategories() const {
    std::vector<store::TaskCategory> out;
    for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* c = tree_->topLevelItem(i);
        out.push_back({nodeId(c), bytes(c->text(0)), {}});
    }
    return out;
}

void TasksPane::expandAll() { tree_->expandAll(); }

void TasksPane::collapseAll() { tree_->collapseAll(); }

void TasksPane::showHelp() { ui::helpJump(this, QStringLiteral("item25")); }

// --- categories and tasks -----------------------------------------------------

void TasksPane::newCategory() {
    TForm12 editor(dm_, this);
    QPointer<TasksPane> self(this);
    if (ui::runModal(editor) != QDialog::Accepted || !self) return;
    addCategoryNode(editor.saved());
}

void TasksPane::editSelected() {
    const std::optional<NodeRef> node = selectedNode();
    if (!node) return;
    if (node->isTask)
        editTask(node->id);
    else
        editCategory(node->id);
}

void TasksPane::editCategory(int id) {
    store::TaskCategory category{id, {}, {}};
    if (const auto stored = store::ReadTaskCategory(dm_, id)) {
        category = *stored;
    } else if (QTreeWidgetItem* node = findNode(false, id)) {
        category.name = bytes(node->text(0));
    }
    TForm12 editor(dm_, this);
    editor.setCategory(category);
    QPointer<TasksPane> self(this);
    if (ui::runModal(editor) != QDialog::Accepted || !self) return;
    // Found again by id: the tree may have been rebuilt meanwhile.
    if (QTreeWidgetItem* node = findNode(false, id)) node->setText(0, text(editor.saved().name));
    selectionChanged();
}

void TasksPane::editTask(int id) {
    // Read from the store, not the tree: a site renamed since the last
    // rebuild has renamed the task's site too.
    const std::optional<rtask> task = store::ReadTask(dm_, id);
    if (!task) {
        FillTree();
        return;
    }
    const bool download = store::IsDownloadTask(task->type);
    TForm13 editor(dm_, this);
    editor.setTask(*task);
    editor.setSites(store::SiteNames(dm_), task->ftp, download);
    editor.setCategories(treeCategories(), task->taskid);
    editor.setTaskName(text(task->name));
    editor.setItems(store::ReadTaskItems(dm_, id));
    QPointer<TasksPane> self(this);
    if (ui::runModal(editor) != QDialog::Accepted || !self) return;
    FillTree();
}

void TasksPane::deleteSelected() {
    const std::optional<NodeRef> node = selectedNode();
    if (!node) return;
    try {
        if (node->isTask)
            store::DeleteTask(dm_, node->id);
        else
            store::DeleteTaskCategory(dm_, node->id);
    } catch (const std::exception& e) {
        // Nothing was deleted: the tree keeps showing what the tables hold.
        dialogs::reportUnsaved(this, dm_, e);
        return;
    }
    if (QTreeWidgetItem* item = findNode(node->isTask, node->id)) {
        if (node->isTask) {
            std::erase_if(records_, [&](const rtask& t) { return t.id == node->id; });
        } else {
            for (int k = 0; k < item->childCount(); ++k) {
                const int taskId = nodeId(item->child(k));
                std::erase_if(records_, [&](const rtask& t) { return t.id == taskId; });
            }
        }
        delete item;
    }
    selectionChanged();
}

void TasksPane::executeSelected() {
    const std::optional<NodeRef> node = selectedNode();
    if (!node || !node->isTask) return;
    // Everything the run needs is copied before the first message box: a box
    // runs the event loop, and a rebuild of the tree meanwhile must not touch it.
    const std::optional<rtask> task = store::ReadTask(dm_, node->id);
    if (!task) return;
    const std::vector<rtaskupdown> items = store::ReadTaskItems(dm_, task->id);
    QPointer<TasksPane> self(this);
    if (!store::SiteExists(dm_, task->ftp)) {
        ui::error(this, QStringLiteral("Can not read the information of the FTP site."));
        return;
    }
    const tasks::TaskRun run = tasks::PrepareTaskRun(
        *task, items, [self](const QString& message) { ui::error(self.data(), message); });
    if (!self) return;
    emit executeRequested(run);
}

// --- "Add task" -------------------------------------------------------------

int TasksPane::runTaskEditor(const QString& direction, const std::string& site, bool lockSite,
                             const std::vector<rtaskupdown>& items) {
    TForm13 editor(dm_, this);
    editor.setDirection(direction);
    const std::vector<std::string> sites = store::SiteNames(dm_);
    // Without a given site the first one is offered.
    editor.setSites(sites, lockSite || sites.empty() ? site : sites.front(), lockSite);
    editor.setItems(items);
    const std::vector<store::TaskCategory> categories = treeCategories();
    editor.setCategories(categories, categories.empty() ? 0 : categories.front().id);
    QPointer<TasksPane> self(this);
    if (ui::runModal(editor) != QDialog::Accepted) return 0;
    if (self) FillTree();
    return editor.savedTaskId();
}

int TasksPane::addUploadTask(const QString& localFolder, const std::vector<TaskEntryName>& names) {
    if (names.empty()) return 0;
    const QString folder = QDir::toNativeSeparators(localFolder);
    std::vector<rtaskupdown> items;
    for (const TaskEntryName& n : names) {
        const QFileInfo info(QDir(folder).filePath(text(n.name)));
        if (n.isfolder ? !info.isDir() : !info.isFile()) continue;
        items.push_back({n.isfolder, n.name, store::WithLocalSeparator(bytes(folder)), "/"});
    }
    int id = 0;
    guarded([&] { id = runTaskEditor(QStringLiteral("Upload"), {}, false, items); });
    return id;
}

int TasksPane::addDownloadTask(const std::string& site, const std::string& remoteFolder,
                               const QString& localFolder,
                               const std::vector<TaskEntryName>& names) {
    if (names.empty()) return 0;
    const std::string local = bytes(QDir::toNativeSeparators(localFolder));
    std::vector<rtaskupdown> items;
    for (const TaskEntryName& n : names) items.push_back({n.isfolder, n.name, local, remoteFolder});
    int id = 0;
    guarded([&] { id = runTaskEditor(QStringLiteral("Download"), site, true, items); });
    return id;
}
