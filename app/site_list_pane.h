#pragma once
// The "FTP Site" page of the main window: toolbar, site list, description area
// and the site pop-up menu. Sites are created, edited, renamed, deleted and
// opened from here.
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>

#include "dialogs/site_editor.h"

class QAction;
class QActionGroup;
class QListView;
class QMenu;
class QModelIndex;
class QPlainTextEdit;
class QSplitter;
class QStackedWidget;
class QStandardItemModel;
class QItemSelectionModel;
class QToolButton;
class QTreeView;

namespace store {
class Tdm;
}

namespace sites {

// The description text box's lines for one site, in display order.
QStringList descriptionLines(const QString& address, int port, const QString& cdate,
                             const QString& zdate, const QString& comment);

}  // namespace sites

class SiteListPane : public QWidget {
    Q_OBJECT
public:
    explicit SiteListPane(store::Tdm& dm, QWidget* parent = nullptr);
    ~SiteListPane() override;

    // Fills the list from the ftpsite table: row 0 is the new-site entry.
    void FillList();
    // View-style code 0..3 of the site list ("FTPSITEVIEW"); others change nothing.
    int viewStyleCode() const;
    void setViewStyleCode(int code);
    // Height of the description area ("WELCOMEH").
    int descriptionHeight() const;
    void setDescriptionHeight(int h);

    // What the user can do; each is the handler of its button or menu item.
    void connectSelected();        // double-click / "Connect"
    void connectionButton();       // "Connection"
    void newSite();                // "New "
    void editSelected();           // "Edit FTP site" / "Edit"
    void deleteSelected();         // "Delete"
    void startRename();            // "Rename"
    void refresh();                // "Refresh"
    void quickConnect();           // "Quick connect"
    void cycleViewStyle();         // "View style" button
    void showHelp();               // "Help"
    // End of in-place editing of row `row` with the text the user typed.
    void renameRow(int row, const QString& newText);

    // State, for the main window and tests.
    int rowCount() const;
    QString rowText(int row, int column = 0) const;
    int selectedRow() const;       // -1 when none
    void selectRow(int row);       // -1 clears the selection
    QString description() const;
    int cyclePosition() const;
    // The menu as it would pop up now, or nullptr when the list has none.
    QMenu* popupMenu();
    QAction* quickConnectAction() const { return actQuick_; }
    QAction* editAction() const { return actEdit_; }
    QAction* deleteAction() const { return actDelete_; }
    QAction* connectionAction() const { return actConnection_; }
    QAction* viewStyleItem(int code) const;
    QAction* menuConnect() const { return menuConnect_; }
    QAction* menuNew() const { return menuNew_; }
    QAction* menuEdit() const { return menuEdit_; }
    QAction* menuDelete() const { return menuDelete_; }
    QAction* menuRename() const { return menuRename_; }
    QAction* menuRefresh() const { return menuRefresh_; }
    QTreeView* reportView() const { return report_; }
    QListView* iconView() const { return icons_; }

signals:
    // A site's page is to be opened (or shown again).
    void openPageRequested(const QString& name);
    // A site got another name; its open page follows.
    void siteRenamed(const QString& oldName, const QString& newName);
    // "Quick connect" was pressed.
    void quickConnectRequested();
    // The options were saved from a site editor's "Option...".
    void optionsSaved();

private:
    void buildToolbar();
    void appendNewSiteRow();
    void buildMenu();
    void selectionChanged();
    void applyViewStyle(int code);
    void activateRow(int row);
    QString selectedSiteName(bool* ok) const;
    void showPopup(const QPoint& pos);
    // Runs a handler; a store failure ends it silently, as the application-wide
    // handler would, but without unwinding through Qt's event code.
    void guarded(const std::function<void()>& fn);
    // What the site editor's opener does after it: the list, pages, options.
    void applyEditor(const TForm4::Outcome& outcome, const QString& openingName);

    store::Tdm& dm_;
    QStandardItemModel* model_;
    QItemSelectionModel* selection_;
    QStackedWidget* stack_;
    QListView* icons_;
    QTreeView* report_;
    QSplitter* splitter_;
    QWidget* descArea_;
    QPlainTextEdit* desc_;
    QMenu* menu_;
    QMenu* styleMenu_;
    QActionGroup* styleGroup_;
    QToolButton* styleButton_;
    QAction* actQuick_;
    QAction* actEdit_;
    QAction* actDelete_;
    QAction* actConnection_;
    QAction* actStyle_;
    QAction* actHelp_;
    QAction* menuConnect_;
    QAction* menuNew_;
    QAction* menuEdit_;
    QAction* menuDelete_;
    QAction* menuRename_;
    QAction* menuRefresh_;
    QAction* styleItems_[4] = {};
    int view_ = 3;
    int cycle_ = 4;
    int descHeight_ = 211;
};
