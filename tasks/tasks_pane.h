#pragma once
// The "&Tasks" page of the side pane: the task tree (categories with their
// tasks), the description of the selected node, and the commands that create,
// edit, delete and run tasks. Running needs a page of the task's site, which
// this pane does not have: "Execute" checks and copies what it needs and hands
// it on through a signal.
#include "store/task_records.h"
#include "tasks/task_run.h"

#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QMenu;
class QPlainTextEdit;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;

// One selected entry handed to "Add task": a name and whether it is a folder.
struct TaskEntryName {
    std::string name;
    bool isfolder = false;
};

class TasksPane : public QWidget {
    Q_OBJECT
public:
    explicit TasksPane(store::Tdm& dm, QWidget* parent = nullptr);
    ~TasksPane() override;

    // Rebuilds the tree from the tables, fully expanded.
    void FillTree();

    // The commands of the toolbar and the pop-up menu.
    void newCategory();
    void editSelected();
    void deleteSelected();
    void executeSelected();
    void expandAll();
    void collapseAll();
    void showHelp();

    // "Add task" from the local pane: an upload task of entries of
    // `localFolder`. An entry that is no longer there as a folder or a file,
    // as flagged, is left out. Nothing happens without names. Returns the id
    // of the saved task, 0 when none was saved.
    int addUploadTask(const QString& localFolder, const std::vector<TaskEntryName>& names);
    // "Add task" from a page: a download task of entries of the remote folder
    // `remoteFolder` of the page of `site`, into `localFolder`. The site list
    // is fixed on `site` (left without a choice when no saved site has that
    // name, so such a task cannot be saved).
    int addDownloadTask(const std::string& site, const std::string& remoteFolder,
                        const QString& localFolder, const std::vector<TaskEntryName>& names);

    // State, for the main window and tests.
    QTreeWidget* tree() const { return tree_; }
    QString description() const;
    // The selected node's kind and id; nullopt when nothing is selected.
    struct NodeRef {
        bool isTask = false;
        int id = 0;
    };
    std::optional<NodeRef> selectedNode() const;
    // Selects the node of that kind and id; false when there is none.
    bool selectNode(bool isTask, int id);
    // The records behind the task nodes, in tree order.
    const std::vector<rtask>& records() const { return records_; }
    QAction* reloadAction() const { return actReload_; }
    QAction* newCategoryAction() const { return actNew_; }
    QAction* editAction() const { return actEdit_; }
    QAction* deleteAction() const { return actDelete_; }
    QAction* executeAction() const { return actExecute_; }
    QAction* expandAction() const { return actExpand_; }
    QAction* collapseAction() const { return actCollapse_; }
    QAction* helpAction() const { return actHelp_; }
    // The pop-up menu with its items enabled as it would open now.
    QMenu* popupMenu();
    QAction* menuEdit() const { return menuEdit_; }
    QAction* menuDelete() const { return menuDelete_; }
    QAction* menuExecute() const { return menuExecute_; }

signals:
    // A task passed its checks: open or activate the page of `run.task.ftp`,
    // queue `run.entries` there, log `run.refusedNames`, and run the queue.
    void executeRequested(const tasks::TaskRun& run);

private:
    void buildToolbar();
    void buildMenu();
    QTreeWidgetItem* addCategoryNode(const store::TaskCategory& category);
    QTreeWidgetItem* findNode(bool isTask, int id) const;
    void selectionChanged();
    void editCategory(int id);
    void editTask(int id);
    std::vector<store::TaskCategory> treeCategories() const;
    int runTaskEditor(const QString& direction, const std::string& site, bool lockSite,
                      const std::vector<rtaskupdown>& items);
    // Runs a command; a store failure ends it as the application-wide handler
    // would, without unwinding through Qt's event code.
    void guarded(const std::function<void()>& fn);

    store::Tdm& dm_;
    QToolBar* bar_ = nullptr;
    QTreeWidget* tree_ = nullptr;
    QPlainTextEdit* desc_ = nullptr;
    QMenu* menu_ = nullptr;
    QAction* actReload_ = nullptr;
    QAction* actNew_ = nullptr;
    QAction* actEdit_ = nullptr;
    QAction* actDelete_ = nullptr;
    QAction* actExecute_ = nullptr;
    QAction* actExpand_ = nullptr;
    QAction* actCollapse_ = nullptr;
    QAction* actHelp_ = nullptr;
    QAction* menuEdit_ = nullptr;
    QAction* menuDelete_ = nullptr;
    QAction* menuExecute_ = nullptr;
    std::vector<rtask> records_;
};
