// The tasks pane with its editors: what each command stores, the editors'
// enabling rules, and what "Execute" checks and hands to the page.
#include "tasks/category_editor.h"
#include "tasks/item_editor.h"
#include "tasks/task_editor.h"
#include "tasks/tasks_pane.h"
#include "tests/support/gui/app_fixture.h"
#include "tests/support/gui/store_lock.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <utility>

using testing_support::AppTest;
using testing_support::onNextModal;

namespace {

std::string bytes(const QString& s) { return s.toUtf8().toStdString(); }
const std::string sep(1, store::LocalSeparator());

template <typename D>
void onNext(std::function<void(D&)> fn) {
    onNextModal([fn](QDialog& d) { fn(static_cast<D&>(d)); });
}

class TasksTest : public AppTest {
protected:
    void SetUp() override {
        for (const char* name : {"Alpha", "Beta"}) {
            store::TableScope t(app.dm().ftpsite());
            t->append();
            t->setString("name", name);
            t->post();
        }
        QObject::connect(&pane, &TasksPane::executeRequested,
                         [this](const tasks::TaskRun& r) { runs.push_back(r); });
    }
    store::Tdm& dm() { return app.dm(); }
    // A file or folder under the local folder; its path as the store keeps it.
    std::string local(const QString& rel = {}) { return bytes(QDir::toNativeSeparators(QDir(tmp.path()).filePath(rel))); }
    void makeFile(const QString& rel) {
        QFile f(QDir(tmp.path()).filePath(rel));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("12345");
    }
    int task(int category, const char* name, const std::vector<rtaskupdown>& items,
             const char* type = "Upload", const char* site = "Alpha") {
        return store::SaveTask(dm(), {category, 0, name, site, type, "comment"}, items);
    }
    QStringList messages() const { return app.dialogs().messageTexts(); }

    QTemporaryDir tmp;
    TasksPane pane{app.dm()};
    std::vector<tasks::TaskRun> runs;
};

TEST_F(TasksTest, CategoriesAreAddedRefusedWhenTakenAndRenamed) {
    store::AddTaskCategory(dm(), "Web", "old");
    pane.FillTree();
    onNext<TForm12>([](TForm12& e) {
        EXPECT_EQ(e.windowTitle(), QStringLiteral("New category"));
        EXPECT_FALSE(e.btOk->isEnabled());
        e.edName->setText(QStringLiteral("Web"));
        e.btOk->click();
        EXPECT_EQ(e.result(), 0);  // stays open
        e.edName->setText(QStringLiteral("Mail"));
        e.edDesc->setPlainText(QStringLiteral("letters"));
        e.btOk->click();
    });
    pane.newCategory();
    EXPECT_EQ(messages(), QStringList{"The name Web was existed, please re-enter."});
    ASSERT_EQ(pane.tree()->topLevelItemCount(), 2);
    EXPECT_EQ(pane.tree()->topLevelItem(1)->text(0), QStringLiteral("Mail"));

    // Renaming to a name in use is accepted; the description box follows.
    ASSERT_TRUE(pane.selectNode(false, store::ReadTaskTree(dm())[1].category.id));
    EXPECT_EQ(pane.description(), QStringLiteral("letters"));
    onNext<TForm12>([](TForm12& e) {
        EXPECT_EQ(e.windowTitle(), QStringLiteral("Edit category"));
        EXPECT_EQ(e.edName->text(), QStringLiteral("Mail"));
        e.edName->setText(QStringLiteral("Web"));
        e.edDesc->setPlainText(QStringLiteral("new"));
        e.btOk->click();
    });
    pane.editSelected();
    EXPECT_EQ(pane.tree()->topLevelItem(1)->text(0), QStringLiteral("Web"));
    EXPECT_EQ(pane.description(), QStringLiteral("new"));
    EXPECT_EQ(store::ReadTaskTree(dm())[0].category.desc, "old");
}

TEST_F(TasksTest, AddTaskFromLocalFilesSavesAFileAndAFolderItem) {
    const int cat = store::AddTaskCategory(dm(), "First", "");
    store::AddTaskCategory(dm(), "Second", "");
    pane.FillTree();
    makeFile(QStringLiteral("a.txt"));
    ASSERT_TRUE(QDir(tmp.path()).mkdir(QStringLiteral("docs")));
    onNext<TForm13>([](TForm13& e) {
        EXPECT_EQ(e.windowTitle(), QStringLiteral("Create new task"));
        EXPECT_EQ(e.direction(), QStringLiteral("Upload"));
        EXPECT_EQ(e.cbSite->currentText(), QStringLiteral("Alpha"));
        EXPECT_TRUE(e.cbSite->isEnabled());
        EXPECT_EQ(e.cbCategory->currentText(), QStringLiteral("First"));
        EXPECT_EQ(e.lvItems->topLevelItemCount(), 2);  // the missing file is left out
        EXPECT_FALSE(e.btOk->isEnabled());
        e.setTaskName(QStringLiteral("Nightly"));
        EXPECT_TRUE(e.btOk->isEnabled());
        e.btHelp->click();
        e.btOk->click();
    });
    const int id = pane.addUploadTask(tmp.path(), {{"a.txt", false}, {"gone.txt", false}, {"docs", true}});
    ASSERT_NE(id, 0);
    EXPECT_EQ(app.dialogs().helpRequests.value(0).section('|', 1), QStringLiteral("newitem22"));
    EXPECT_EQ(store::ReadTask(dm(), id), (rtask{cat, id, "Nightly", "Alpha", "Upload", ""}));
    EXPECT_EQ(store::ReadTaskItems(dm(), id),
              (std::vector<rtaskupdown>{{false, "a.txt", local() + sep, "/"}, {true, "docs", local() + sep, "/"}}));
    ASSERT_EQ(pane.records().size(), 1u);
    EXPECT_EQ(pane.tree()->topLevelItem(0)->child(0)->text(0), QStringLiteral("Nightly"));
}

TEST_F(TasksTest, SavesAndDeletesThatCannotBeWrittenAreReportedAndNothingIsLost) {
    const int cat = store::AddTaskCategory(dm(), "C", "");
    makeFile(QStringLiteral("a"));
    pane.FillTree();
    testing_support::StoreLock lock(app);
    ASSERT_TRUE(pane.selectNode(false, cat));
    pane.deleteSelected();
    EXPECT_TRUE(pane.selectNode(false, cat));
    onNext<TForm13>([](TForm13& e) {
        e.setTaskName(QStringLiteral("t"));
        e.btOk->click();
        EXPECT_FALSE(e.result() == QDialog::Accepted);  // stays open with its items
        e.reject();
    });
    EXPECT_EQ(pane.addUploadTask(tmp.path(), {{"a", false}}), 0);
    ASSERT_EQ(messages().size(), 2);
    for (const QString& m : messages()) EXPECT_TRUE(m.startsWith(QStringLiteral("The change was not saved: ")));
    EXPECT_EQ(store::ReadTaskTree(dm()).size(), 1u);
}

TEST_F(TasksTest, EditingOneOfTwoSameNamedTasksAppliesTheItemEditorToEverySelectedRow) {
    const int cat = store::AddTaskCategory(dm(), "C", "");
    const std::vector<rtaskupdown> three{{false, "1", "/l/", "/"}, {false, "2", "/l/", "/"}, {false, "3", "/l/", "/"}};
    const int first = task(cat, "Same", three);
    const int second = task(cat, "Same", three, "Upload", "Beta");
    pane.FillTree();
    ASSERT_TRUE(pane.selectNode(true, second));
    onNext<TForm13>([](TForm13& e) {
        EXPECT_EQ(e.windowTitle(), QStringLiteral("Edit task"));
        EXPECT_EQ(e.cbSite->currentText(), QStringLiteral("Beta"));
        EXPECT_FALSE(e.btEdit->isEnabled());
        e.lvItems->selectAll();
        onNext<TForm14>([](TForm14& item) {
            EXPECT_FALSE(item.edLocal->isEnabled());
            EXPECT_EQ(item.edLocal->text(), QStringLiteral("/l/1"));
            EXPECT_TRUE(item.edFtp->isEnabled());
            item.edFtp->clear();
            EXPECT_FALSE(item.btApply->isEnabled());
            item.edFtp->setText(QStringLiteral("/new"));
            item.btApply->click();
        });
        e.btEdit->click();
        e.lvItems->clearSelection();
        e.lvItems->topLevelItem(1)->setSelected(true);
        e.btDelete->click();
        EXPECT_EQ(e.lvItems->topLevelItem(1)->text(3), QStringLiteral("/new"));
        e.btOk->click();
    });
    pane.editSelected();
    EXPECT_EQ(store::ReadTaskItems(dm(), second),
              (std::vector<rtaskupdown>{{false, "1", "/l/", "/new"}, {false, "3", "/l/", "/new"}}));
    EXPECT_EQ(store::ReadTaskItems(dm(), first), three);
    EXPECT_EQ(store::ReadTask(dm(), first)->ftp, "Alpha");
}

TEST_F(TasksTest, OkNeedsANameACategoryASiteAndAnItem) {
    auto check = [this](const std::string& site, bool okWithName, bool siteChosen) {
        onNext<TForm13>([=](TForm13& e) {
            EXPECT_EQ(e.direction(), QStringLiteral("Download"));
            EXPECT_FALSE(e.cbSite->isEnabled());
            EXPECT_EQ(e.cbSite->currentIndex() >= 0, siteChosen);
            e.edName->setText(QStringLiteral("n"));
            EXPECT_EQ(e.btOk->isEnabled(), okWithName);
            e.lvItems->selectAll();
            e.btDelete->click();
            EXPECT_FALSE(e.btOk->isEnabled());
            e.btCancel->click();
        });
        EXPECT_EQ(pane.addDownloadTask(site, "/pub", tmp.path(), {{"f", false}}), 0);
    };
    check("Alpha", false, true);  // no category yet
    store::AddTaskCategory(dm(), "C", "");
    pane.FillTree();
    check("quick.example", false, false);  // a page without a saved site
    check("Alpha", true, true);
    EXPECT_TRUE(store::ReadTaskTree(dm())[0].tasks.empty());
}

TEST_F(TasksTest, DeletingACategoryTakesItsTasksWithoutAsking) {
    const int gone = store::AddTaskCategory(dm(), "Gone", "");
    const int kept = store::AddTaskCategory(dm(), "Kept", "");
    task(gone, "a", {{false, "x", "/l/", "/"}});
    task(gone, "b", {{true, "y", "/l/", "/"}}, "DOWNLOAD");
    const int stays = task(kept, "c", {{false, "z", "/l/", "/"}});
    pane.FillTree();
    ASSERT_TRUE(pane.selectNode(false, gone));
    pane.deleteSelected();
    EXPECT_TRUE(messages().isEmpty());
    ASSERT_EQ(pane.tree()->topLevelItemCount(), 1);
    EXPECT_EQ(pane.records(), (std::vector<rtask>{*store::ReadTask(dm(), stays)}));
    store::TableScope items(dm().taskd2());
    items->first();
    EXPECT_EQ(items->asInteger("id"), stays);
    items->next();
    EXPECT_TRUE(items->eof());
}

TEST_F(TasksTest, SelectionDrivesDescriptionButtonsAndPopup) {
    const int cat = store::AddTaskCategory(dm(), "C", "about C");
    const int up = task(cat, "up", {});
    task(cat, "down", {}, "Download");
    pane.FillTree();
    EXPECT_TRUE(pane.tree()->topLevelItem(0)->isExpanded());
    EXPECT_FALSE(pane.deleteAction()->isEnabled());
    pane.popupMenu();
    EXPECT_FALSE(pane.menuEdit()->isEnabled());
    ASSERT_TRUE(pane.selectNode(true, up));
    EXPECT_EQ(pane.description(), QStringLiteral("comment"));
    EXPECT_TRUE(pane.executeAction()->isEnabled());
    pane.popupMenu();
    EXPECT_TRUE(pane.menuExecute()->isEnabled());
    ASSERT_TRUE(pane.selectNode(false, cat));
    EXPECT_EQ(pane.description(), QStringLiteral("about C"));
    EXPECT_FALSE(pane.executeAction()->isEnabled());
    pane.popupMenu();
    EXPECT_TRUE(pane.menuDelete()->isEnabled());
    EXPECT_FALSE(pane.menuExecute()->isEnabled());
}

TEST_F(TasksTest, ExecuteUploadSkipsMissingFilesAndCopiesWhatItHandsOn) {
    const int cat = store::AddTaskCategory(dm(), "C", "");
    for (const char* f : {"a", "b", "c"}) makeFile(QString::fromLatin1(f));
    const std::string l = local() + sep;
    const int id = task(cat, "up", {{false, "a", l, "/r"}, {false, "b", l, "/r"}, {false, "c", l, "/r"}});
    pane.FillTree();
    ASSERT_TRUE(QFile::remove(QDir(tmp.path()).filePath(QStringLiteral("b"))));
    // The first box is where the tree could be rebuilt under the run.
    struct Rebuilding : testing_support::ScriptedDialogs {
        std::function<void()> hook;
        ui::MsgResult message(QWidget* p, ui::MsgKind k, const QString& t, ui::MsgButtons b) override {
            if (hook) std::exchange(hook, nullptr)();
            return ScriptedDialogs::message(p, k, t, b);
        }
    } dialogs;
    dialogs.hook = [&] {
        store::DeleteTask(dm(), id);
        pane.FillTree();
    };
    ASSERT_TRUE(pane.selectNode(true, id));
    pane.executeSelected();
    EXPECT_EQ(dialogs.messageTexts(), QStringList{QString::fromStdString("The file " + l + "b was not exists.")});
    ASSERT_EQ(runs.size(), 1u);
    const tasks::TaskRun& run = runs[0];
    EXPECT_EQ(run.task.name, "up");
    EXPECT_EQ(run.task.ftp, "Alpha");
    ASSERT_EQ(run.entries.size(), 2u);
    EXPECT_EQ(run.entries[1].localpath, l + "c");
    EXPECT_EQ(run.entries[1].remotedir, "/r");
    EXPECT_EQ(run.entries[1].size, 5);
    EXPECT_EQ(run.entries[1].direction, 0);
    EXPECT_FALSE(run.entries[1].checkremote);
}

TEST_F(TasksTest, ExecuteDownloadCreatesFoldersAndRefusesWhatCannotBeWritten) {
    const int cat = store::AddTaskCategory(dm(), "C", "");
    makeFile(QStringLiteral("file"));
    const std::string deep = local(QStringLiteral("x/y/z"));
    const int id = task(cat, "down",
                        {{false, "f.txt", deep, "/pub"}, {true, "..", deep, "/pub"},
                         {false, "g", local(QStringLiteral("file/sub")), "/"}, {false, "h", "", "/"}},
                        "DOWNLOAD");
    const int lost = task(cat, "lost", {}, "Download", "Deleted site");
    pane.FillTree();
    ASSERT_TRUE(pane.selectNode(true, id));
    pane.executeSelected();
    const QString folderMsg = QStringLiteral("Can not create the folder %1, please check and enter again.");
    EXPECT_EQ(messages(), (QStringList{folderMsg.arg(QString::fromStdString(local(QStringLiteral("file/sub")) + sep)),
                                       folderMsg.arg(QString())}));
    EXPECT_TRUE(QFileInfo(QString::fromStdString(deep)).isDir());
    ASSERT_EQ(runs.size(), 1u);
    ASSERT_EQ(runs[0].entries.size(), 1u);
    const rupdown& e = runs[0].entries[0];
    EXPECT_EQ(e.localpath, deep + sep + "f.txt");
    EXPECT_EQ(e.direction, 1);
    EXPECT_EQ(e.remotedate, "?");
    EXPECT_TRUE(e.checkremote);
    EXPECT_EQ(runs[0].refusedNames, std::vector<std::string>{".."});

    ASSERT_TRUE(pane.selectNode(true, lost));
    pane.executeSelected();
    EXPECT_EQ(messages().back(), QStringLiteral("Can not read the information of the FTP site."));
    EXPECT_EQ(runs.size(), 1u);
}

}  // namespace
