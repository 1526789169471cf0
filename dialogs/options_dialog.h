#pragma once
// The global options: anti-idle commands, transfer mode with its ASCII
// extensions, buffer sizes, and the proxy and SOCKS profile lists.
#include "dialogs/number_box.h"

#include <QDialog>
#include <QString>
#include <string>

class QCheckBox;
class QGroupBox;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;
class TForm4;

namespace store {
class Tdm;
}

namespace options {

enum class ProfileKind { Proxy, Socks };

// Keeps the "Proxy"/"Socks" lists of the site editor that opened the options
// (none: nullptr) in step with the profile table. The lists start with the
// "None" placeholder, which is never taken for a profile of that name.
void siteEditorAppend(TForm4* editor, ProfileKind kind, const QString& name);
void siteEditorRename(TForm4* editor, ProfileKind kind, const QString& oldName, const QString& newName);
void siteEditorRemove(TForm4* editor, ProfileKind kind, const QString& name);

// Same for the options dialog's profile list: a new row at the end, or the
// selected row rewritten (the row the editor was opened for).
void listAppendProfile(QTreeWidget* list, const std::string& name, const QString& host,
                       const QString& kindWord);
void listRewriteSelected(QTreeWidget* list, const std::string& name, const QString& host,
                         const QString& kindWord);

// Store texts are UTF-8 bytes.
QString fromBytes(const std::string& s);
std::string toBytes(const QString& s);
// The stored bytes while a box still shows what it showed when they were
// read (bytes that are no UTF-8 survive), else the text it shows now.
std::string keptText(const std::string& stored, const QString& shownThen, const QString& now);

}  // namespace options

class TForm2 : public QDialog {
    Q_OBJECT
public:
    // Page numbers callers open on.
    enum Page { PageAntiIdle = 0, PageTransfer = 1, PageProxy = 2, PageSocks = 3 };

    // `siteEditor`: the site editor that opened the options ("Option..."),
    // whose profile lists follow the profile changes made here.
    explicit TForm2(store::Tdm& dm, QWidget* parent = nullptr, TForm4* siteEditor = nullptr);
    ~TForm2() override;

    // Creates the dialog on `page`, runs it modally, destroys it; the dialog
    // result. Accepted means the options were saved: the opener makes the
    // open pages take them.
    static int Execute(QWidget* parent, store::Tdm& dm, int page, TForm4* siteEditor = nullptr);

    // Fills every control from the tables (called before each showing).
    void LoadFromStore();
    // Writes the lists and the options row.
    void SaveToStore();

    // Controls, reachable for the editors and for tests.
    QTabWidget* pages = nullptr;
    QCheckBox* cbAntiIdle = nullptr;
    dialogs::NumberBox* seInterval = nullptr;
    QListWidget* lbCommands = nullptr;
    QPushButton* btAddCommand = nullptr;
    QPushButton* btDeleteCommand = nullptr;
    QRadioButton* rbAuto = nullptr;
    QRadioButton* rbAscii = nullptr;
    QRadioButton* rbBinary = nullptr;
    QListWidget* lbExtensions = nullptr;
    QPushButton* btAddExt = nullptr;
    QPushButton* btDeleteExt = nullptr;
    QGroupBox* gbTransferComplete = nullptr;
    QRadioButton* rbNone = nullptr;
    QRadioButton* rbDisconnect = nullptr;
    QRadioButton* rbQuit = nullptr;
    QRadioButton* rbExit = nullptr;
    dialogs::NumberBox* seRecv = nullptr;
    dialogs::NumberBox* seSend = nullptr;
    QCheckBox* cbAppe = nullptr;
    QTreeWidget* lvProxy = nullptr;
    QPushButton* btAddProxy = nullptr;
    QPushButton* btEditProxy = nullptr;
    QPushButton* btRemoveProxy = nullptr;
    QTreeWidget* lvSocks = nullptr;
    QPushButton* btAddSocks = nullptr;
    QPushButton* btEditSocks = nullptr;
    QPushButton* btRemoveSocks = nullptr;
    QPushButton* btHelp = nullptr;
    QPushButton* btOk = nullptr;
    QPushButton* btCancel = nullptr;

private:
    QWidget* buildAntiIdlePage();
    QWidget* buildTransferPage();
    QWidget* buildProfilePage(const QString& hostColumn, const QString& kindColumn,
                              QTreeWidget*& list, QPushButton*& add, QPushButton*& edit,
                              QPushButton*& remove);

    void addEntry(QListWidget* list, const QString& caption, const QString& refusal);
    void deleteEntry(QListWidget* list);
    void entryTicked(QListWidget* list, QListWidgetItem* item);

    void addProxy();
    void editProxy();
    void addSocks();
    void editSocks();
    // Removes the selected profile of that kind, asking first when sites use it.
    void removeProfile(options::ProfileKind kind);

    // Asks before a profile that sites use goes; true to go on.
    bool confirmRemoval(const QString& name, int sites);

    void help();
    void ok();

    store::Tdm& dm_;
    TForm4* siteEditor_ = nullptr;
    bool loading_ = false;
};
