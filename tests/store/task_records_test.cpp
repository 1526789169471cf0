// Task categories, tasks and items: saves replace items as a whole, edits and
// deletes reach exactly the row they name by id, cascades leave no orphans.
#include "store/task_records.h"
#include "tests/store/store_fixture.h"

#include <set>

using store_test::StoreTest;

namespace {

const std::string sep(1, store::LocalSeparator());

class TaskRecords : public StoreTest {
protected:
    int task(int category, const std::string& name, std::vector<rtaskupdown> items,
             const std::string& type = "Upload") {
        return store::SaveTask(*dm, {category, 0, name, "site", type, "note"}, items);
    }
    // Every item belongs to a task and every task to a category.
    void expectNoOrphans() {
        std::set<int> categories, tasks;
        for (const auto& c : store::ReadTaskTree(*dm)) {
            categories.insert(c.category.id);
            for (const rtask& t : c.tasks) tasks.insert(t.id);
        }
        store::TableScope td(dm->taskd());
        for (td->first(); !td->eof(); td->next())
            EXPECT_TRUE(categories.count(td->asInteger("taskid"))) << td->asString("name");
        store::TableScope items(dm->taskd2());
        for (items->first(); !items->eof(); items->next())
            EXPECT_TRUE(tasks.count(items->asInteger("id"))) << items->asString("files");
    }
};

TEST_F(TaskRecords, NewTaskStoresItsItemsUnderItsNewId) {
    const int cat = store::AddTaskCategory(*dm, "Backups", "nightly");
    ASSERT_NE(cat, 0);
    const int id = task(cat, "Site copy",
                        {{false, "a.txt", "/home/u", "/pub"}, {true, "docs", "/home/u" + sep, "/pub"},
                         {false, "b.txt", "", "/"}});
    ASSERT_NE(id, 0);
    const auto items = store::ReadTaskItems(*dm, id);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0], (rtaskupdown{false, "a.txt", "/home/u" + sep, "/pub"}));
    EXPECT_EQ(items[1], (rtaskupdown{true, "docs", "/home/u" + sep, "/pub"}));
    // No folder stays no folder: a separator alone would mean the root.
    EXPECT_EQ(items[2].local, "");
    EXPECT_EQ(store::ReadTask(*dm, id), (rtask{cat, id, "Site copy", "site", "Upload", "note"}));
}

TEST_F(TaskRecords, EditingOneOfTwoSameNamedTasksLeavesTheOtherAlone) {
    const int cat = store::AddTaskCategory(*dm, "C", "");
    const int first = task(cat, "Same", {{false, "1", "/a", "/"}});
    const int second = task(cat, "Same", {{false, "x", "/b", "/"}, {false, "y", "/b", "/"},
                                          {false, "z", "/b", "/"}});
    rtask edited{cat, second, "Same", "other site", "Download", "changed"};
    EXPECT_EQ(store::SaveTask(*dm, edited, {{false, "x", "/b", "/"}, {false, "z", "/b", "/"}}), second);

    EXPECT_EQ(store::ReadTask(*dm, second), edited);
    EXPECT_EQ(store::ReadTaskItems(*dm, second).size(), 2u);
    EXPECT_EQ(store::ReadTask(*dm, first), (rtask{cat, first, "Same", "site", "Upload", "note"}));
    EXPECT_EQ(store::ReadTaskItems(*dm, first), (std::vector<rtaskupdown>{{false, "1", "/a" + sep, "/"}}));

    // A task deleted meanwhile is saved again as a new one, items included.
    ASSERT_TRUE(store::DeleteTask(*dm, first));
    const int again = store::SaveTask(*dm, {cat, first, "Same", "site", "Upload", ""}, {{false, "1", "/a", "/"}});
    EXPECT_NE(again, first);
    EXPECT_EQ(store::ReadTaskItems(*dm, again).size(), 1u);
    EXPECT_TRUE(store::ReadTaskItems(*dm, first).empty());
    expectNoOrphans();
}

TEST_F(TaskRecords, DeletingACategoryTakesItsTasksAndItemsOnly) {
    const int gone = store::AddTaskCategory(*dm, "Gone", "");
    const int kept = store::AddTaskCategory(*dm, "Kept", "");
    task(gone, "t1", {{false, "a", "/x", "/"}, {true, "b", "/x", "/"}});
    task(gone, "t2", {{false, "c", "/x", "/"}}, "DOWNLOAD");
    const int stays = task(kept, "t3", {{false, "d", "/x", "/"}});
    ASSERT_TRUE(store::DeleteTaskCategory(*dm, gone));

    const auto tree = store::ReadTaskTree(*dm);
    ASSERT_EQ(tree.size(), 1u);
    EXPECT_EQ(tree[0].category.name, "Kept");
    ASSERT_EQ(tree[0].tasks.size(), 1u);
    EXPECT_EQ(tree[0].tasks[0].id, stays);
    store::TableScope items(dm->taskd2());
    int rows = 0;
    for (items->first(); !items->eof(); items->next()) ++rows;
    EXPECT_EQ(rows, 1);
    expectNoOrphans();
    EXPECT_FALSE(store::DeleteTaskCategory(*dm, gone));
}

TEST_F(TaskRecords, CategoryNamesAreUniqueOnlyWhenCreated) {
    const int a = store::AddTaskCategory(*dm, "Web", "one");
    EXPECT_EQ(store::AddTaskCategory(*dm, "Web", "two"), 0);
    EXPECT_NE(store::AddTaskCategory(*dm, "web", ""), 0);  // letter case counts
    const int b = store::AddTaskCategory(*dm, "Mail", "");
    EXPECT_TRUE(store::EditTaskCategory(*dm, b, "Web", "renamed"));
    EXPECT_EQ(store::ReadTaskCategory(*dm, b), (store::TaskCategory{b, "Web", "renamed"}));
    EXPECT_EQ(store::ReadTaskCategory(*dm, a)->desc, "one");
    EXPECT_FALSE(store::EditTaskCategory(*dm, 999, "x", ""));
}

TEST_F(TaskRecords, TreeLeavesOutTasksOfNoCategoryAndReadsDirections) {
    const int cat = store::AddTaskCategory(*dm, "C", "");
    task(cat, "up", {});
    task(cat + 100, "lost", {});
    EXPECT_TRUE(store::IsDownloadTask("download"));
    EXPECT_FALSE(store::IsDownloadTask("Upload"));
    const auto tree = store::ReadTaskTree(*dm);
    ASSERT_EQ(tree.size(), 1u);
    ASSERT_EQ(tree[0].tasks.size(), 1u);
    EXPECT_EQ(tree[0].tasks[0].name, "up");
}

}  // namespace

namespace {

// Another program holding the file: a save or a cascade fails as a whole and says so.
TEST_F(TaskRecords, WritesThatCannotReachTheFileThrowAndChangeNothing) {
    const int cat = store::AddTaskCategory(*dm, "C", "");
    const int id = task(cat, "t", {{false, "a", "/l", "/"}});
    dm->database().setBusyTimeout(50);
    dm->database().disconnect();
    dm->database().connect();
    auto other = openModule();
    store::WriteBatch lock(other->database());
    EXPECT_THROW(task(cat, "new", {{false, "b", "/l", "/"}}), store::EStoreError);
    EXPECT_THROW(store::DeleteTaskCategory(*dm, cat), store::EStoreError);
    EXPECT_EQ(store::ReadTaskItems(*dm, id).size(), 1u);
    ASSERT_EQ(store::ReadTaskTree(*dm).size(), 1u);
    EXPECT_EQ(store::ReadTaskTree(*dm)[0].tasks.size(), 1u);
}

}  // namespace
