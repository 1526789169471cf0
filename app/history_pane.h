#pragma once
// The "&History" tab of the side pane: every recorded transfer as a tree of
// site, direction, day and item, with the item's details. Days and items can
// be deleted, the history cleared, and an item run again: "Execute" checks
// what it can on the local side and hands a copy of the item out as a signal;
// the main window opens the site's page and queues it there.
#include "app/history_pane_model.h"
#include "browser/queue_entry.h"
#include "store/history_records.h"

#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>

class QAction;
class QLabel;
class QMenu;
class QModelIndex;
class QTreeView;

namespace store {
class Tdm;
}

// One history item to run again, fully copied: nothing in it refers back to
// the tree, which may be rebuilt or cleared while the page opens.
struct HistoryRun {
    QString siteName;     // the page to queue it in
    int siteId = 0;
    rhd item;
    rupdown entry;        // the queue entry, ready to append
    bool refreshAfter = false;  // an upload refreshes the remote view after its run
};

class HistoryPane : public QWidget {
    Q_OBJECT
public:
    explicit HistoryPane(store::Tdm& dm, QWidget* parent = nullptr);
    ~HistoryPane() override;

    // Handlers of the toolbar and the pop-up menu.
    void refresh();          // "Show/Refresh hostorys"
    void deleteSelected();   // "Delete"
    void executeSelected();  // "Execute"
    void clearHistory();     // "Clear historys"
    void expandAll();        // "Expand"
    void collapseAll();      // "Collapse"
    void showHelp();

    // State, for the main window and tests.
    HistoryTreeModel* model() const { return model_; }
    QTreeView* tree() const { return tree_; }
    QModelIndex selectedIndex() const;
    void select(const QModelIndex& index);
    // The menu with its items set as it would pop up now.
    QMenu* popupMenu();
    // The details panel's values: start, finish, elapsed, speed, FTP path, local path.
    QStringList details() const;
    QAction* refreshAction() const { return actRefresh_; }
    QAction* deleteAction() const { return actDelete_; }
    QAction* executeAction() const { return actExecute_; }
    QAction* clearAction() const { return actClear_; }
    QAction* expandAction() const { return actExpand_; }
    QAction* collapseAction() const { return actCollapse_; }
    QAction* helpAction() const { return actHelp_; }
    QAction* menuExecute() const { return menuExecute_; }
    QAction* menuDelete() const { return menuDelete_; }

signals:
    void executeRequested(const HistoryRun& run);

private:
    void buildToolbar();
    void buildDetails();
    void selectionChanged();
    void showDetails(const rhd* r);
    void showPopup(const QPoint& pos);
    bool prepareRun(const rhd& item, HistoryRun& run);
    // A store failure ends the handler silently, as the application-wide
    // handler would, without unwinding through Qt's event code.
    void guarded(const std::function<void()>& fn);

    store::Tdm& dm_;
    HistoryTreeModel* model_;
    QTreeView* tree_;
    QMenu* menu_;
    QWidget* details_;
    QLabel* values_[6] = {};
    QAction* actRefresh_;
    QAction* actDelete_;
    QAction* actExecute_;
    QAction* actClear_;
    QAction* actExpand_;
    QAction* actCollapse_;
    QAction* actHelp_;
    QAction* menuExecute_;
    QAction* menuDelete_;
};
