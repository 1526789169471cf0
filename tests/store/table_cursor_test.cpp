#include "store/site_records.h"
#include "tests/store/store_fixture.h"

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

using store::Table;
using store::TableScope;
using store_test::StoreTest;

namespace {

void addTask(Table& t, const std::string& name, int taskid = 0) {
    t.append();
    t.setString("name", name);
    t.setInteger("taskid", taskid);
    t.post();
}

std::vector<std::string> names(Table& t) {
    std::vector<std::string> out;
    for (t.first(); !t.eof(); t.next()) out.push_back(t.asString("name"));
    return out;
}

using TableCursor = StoreTest;

TEST_F(TableCursor, EmptyTableIsAtBothEndsAndReadsEmptyValues) {
    TableScope t(dm->taskd());
    EXPECT_TRUE(t->eof());
    EXPECT_TRUE(t->bof());
    EXPECT_EQ(t->asString("name"), "");
    EXPECT_EQ(t->asInteger("taskid"), 0);
    EXPECT_EQ(t->asString("taskid"), "0");
    t->next();
    t->prior();
    EXPECT_TRUE(t->eof());
    EXPECT_TRUE(t->bof());
    EXPECT_THROW(t->del(), store::EStoreError);
}

TEST_F(TableCursor, WalksInOrderOfAddingAndStopsAtEachEnd) {
    TableScope t(dm->taskd());
    for (const char* n : {"a", "b", "c"}) addTask(*t, n);
    t->close();
    t->open();
    EXPECT_EQ(t->asString("name"), "a");  // a fresh open is on the first row
    EXPECT_FALSE(t->bof());
    EXPECT_EQ(names(*t), (std::vector<std::string>{"a", "b", "c"}));
    // Past the end the cursor keeps the last row; going back clears eof.
    EXPECT_EQ(t->asString("name"), "c");
    t->prior();
    EXPECT_FALSE(t->eof());
    EXPECT_EQ(t->asString("name"), "b");

    std::vector<std::string> back;
    for (t->last(); !t->bof(); t->prior()) back.push_back(t->asString("name"));
    EXPECT_EQ(back, (std::vector<std::string>{"c", "b", "a"}));
    EXPECT_EQ(t->asString("name"), "a");
}

TEST_F(TableCursor, DeleteInsideAWalkVisitsEveryRowOnce) {
    TableScope t(dm->taskd());
    for (int i = 0; i < 10; ++i) {
        std::string name = "n";
        name += std::to_string(i);
        addTask(*t, name, i % 3 == 0 ? 1 : 2);
    }
    std::vector<int> visited;
    t->first();
    while (!t->eof()) {
        visited.push_back(t->asInteger("id"));
        if (t->asInteger("taskid") == 1)
            t->del();
        else
            t->next();
    }
    EXPECT_EQ(visited.size(), 10u);
    for (size_t i = 1; i < visited.size(); ++i) EXPECT_LT(visited[i - 1], visited[i]);
    EXPECT_EQ(names(*t), (std::vector<std::string>{"n1", "n2", "n4", "n5", "n7", "n8"}));
}

TEST_F(TableCursor, DeleteMovesToFollowingRowOrNewLastRow) {
    TableScope t(dm->taskd());
    for (const char* n : {"a", "b", "c"}) addTask(*t, n);
    ASSERT_TRUE(t->locate("name", {std::string("b")}));
    t->del();
    EXPECT_EQ(t->asString("name"), "c");
    EXPECT_FALSE(t->eof());
    t->del();  // the last row
    EXPECT_EQ(t->asString("name"), "a");
    EXPECT_TRUE(t->eof());
    t->del();
    EXPECT_TRUE(t->eof());
    EXPECT_TRUE(t->bof());
    EXPECT_EQ(t->asString("name"), "");
    t->close();
    t->open();
    EXPECT_TRUE(t->eof());
}

TEST_F(TableCursor, DeletingEveryRowOfALongTableFromTheFront) {
    // Enough rows that deleted entries get swept while walking.
    TableScope t(dm->hdital());
    {
        store::WriteBatch batch(dm->database());
        for (int i = 0; i < 400; ++i) {
            t->append();
            t->setInteger("id", i);
            t->post();
        }
    }
    int seen = 0;
    for (t->first(); !t->eof();) {
        EXPECT_EQ(t->asInteger("id"), seen);
        ++seen;
        if (seen % 2) t->del(); else t->next();
    }
    EXPECT_EQ(seen, 400);
    int kept = 0;
    for (t->first(); !t->eof(); t->next()) {
        EXPECT_EQ(t->asInteger("id") % 2, 1);
        ++kept;
    }
    EXPECT_EQ(kept, 200);
}

TEST_F(TableCursor, LocateFindsFirstMatchInTableOrderAndStaysOnMiss) {
    TableScope t(dm->hmaster());
    struct R { int id; const char* date; const char* type; };
    for (R r : {R{1, "Monday", "Upload"}, R{2, "Monday", "Download"}, R{1, "Monday", "Download"},
                R{1, "Monday", "Download"}, R{1, "Tuesday", "Download"}}) {
        t->append();
        t->setInteger("id", r.id);
        t->setString("date", r.date);
        t->setString("type", r.type);
        t->post();
    }
    ASSERT_TRUE(t->locate("id;date;type", {1, std::string("Monday"), std::string("Download")}));
    int third = t->asInteger("key");
    t->first();
    t->next();
    t->next();
    EXPECT_EQ(t->asInteger("key"), third);  // the first of the two equal rows

    ASSERT_TRUE(t->locate("date;type", {"Monday", "Download"}));
    EXPECT_EQ(t->asInteger("id"), 2);

    t->last();
    EXPECT_FALSE(t->locate("id;date;type", {1, std::string("monday"), std::string("Download")}));
    EXPECT_FALSE(t->locate("id", {99}));
    EXPECT_EQ(t->asString("date"), "Tuesday");  // cursor unchanged
    // A number looked for as text, and the key of a row.
    EXPECT_TRUE(t->locate("id", {std::string("2")}));
    EXPECT_FALSE(t->locate("id", {std::string("two")}));
    EXPECT_TRUE(t->locate("key", {third}));
    EXPECT_EQ(t->asInteger("key"), third);
}

TEST_F(TableCursor, MissingFieldsAndBadUseThrowInsteadOfCrashing) {
    TableScope t(dm->ftpsite());
    EXPECT_THROW(t->asString("nosuch"), store::EStoreError);
    EXPECT_THROW(t->locate("nosuch", {1}), store::EStoreError);
    EXPECT_THROW(t->locate("name;nosuch", {std::string("x"), 1}), store::EStoreError);
    EXPECT_THROW(t->locate("name;port", {std::string("x")}), store::EStoreError);
    EXPECT_THROW(t->setString("name", "x"), store::EStoreError);  // not editing
    t->append();
    EXPECT_THROW(t->setInteger("nosuch", 1), store::EStoreError);
    EXPECT_THROW(t->setInteger("id", 5), store::EStoreError);  // numbered by the store
    EXPECT_THROW(t->setString("port", "21x"), store::EStoreError);
    t->cancel();
    t->close();
    EXPECT_THROW(t->first(), store::EStoreError);
    EXPECT_THROW(t->asString("name"), store::EStoreError);
    EXPECT_THROW(dm->table("nosuch"), store::EStoreError);
    EXPECT_EQ(&dm->table("quickftp"), &dm->quickftp());
}

TEST_F(TableCursor, AutoNumberIsReadableAtOnceAndNeverReused) {
    TableScope t(dm->task());
    t->append();
    EXPECT_EQ(t->asInteger("id"), 0);
    t->setString("name", "one");
    t->post();
    int first = t->asInteger("id");
    EXPECT_GT(first, 0);
    t->append();
    t->setString("name", "two");
    t->post();
    int second = t->asInteger("id");
    EXPECT_GT(second, first);
    t->del();
    t->append();
    t->setString("name", "three");
    t->post();
    EXPECT_GT(t->asInteger("id"), second);
    EXPECT_EQ(t->asString("id"), std::to_string(t->asInteger("id")));
}

TEST_F(TableCursor, EditOnEmptyTableCreatesTheRowThenEditsItInPlace) {
    TableScope t(dm->options());
    t->empty();
    EXPECT_FALSE(t->asBoolean("eanti"));
    EXPECT_EQ(t->asInteger("interval"), 0);
    EXPECT_EQ(t->asString("transfermode"), "");
    EXPECT_FALSE(t->asBoolean("appe"));
    for (int interval : {45, 50}) {
        t->edit();
        t->setInteger("interval", interval);
        t->setBoolean("appe", true);
        t->post();
    }
    int rows = 0;
    for (t->first(); !t->eof(); t->next()) ++rows;
    EXPECT_EQ(rows, 1);
    EXPECT_EQ(t->asInteger("interval"), 50);
    EXPECT_TRUE(t->asBoolean("appe"));
    EXPECT_EQ(t->asString("appe"), "True");
}

TEST_F(TableCursor, CancelCloseAndAppendHandlePendingRows) {
    TableScope t(dm->taskd());
    addTask(*t, "a");
    addTask(*t, "b");
    t->first();
    t->edit();
    t->setString("name", "changed");
    EXPECT_EQ(t->asString("name"), "changed");
    t->cancel();
    EXPECT_EQ(t->asString("name"), "a");

    // A new row abandoned by cancel leaves the cursor where it was.
    t->append();
    t->setString("name", "dropped");
    t->cancel();
    EXPECT_EQ(t->asString("name"), "a");

    // append saves a pending edit first; close drops an unsaved row.
    t->edit();
    t->setString("name", "a2");
    t->append();
    t->setString("name", "unsaved");
    t->close();
    t->open();
    EXPECT_EQ(names(*t), (std::vector<std::string>{"a2", "b"}));

    // Moving saves, as does insert (the new row joins the end).
    t->first();
    t->edit();
    t->setString("name", "a3");
    t->next();
    t->insert();
    t->setString("name", "c");
    t->post();
    EXPECT_EQ(t->asString("name"), "c");
    EXPECT_EQ(names(*t), (std::vector<std::string>{"a3", "b", "c"}));
}

TEST_F(TableCursor, EmptyRemovesEveryRow) {
    TableScope t(dm->ascext());
    t->empty();
    EXPECT_TRUE(t->eof());
    t->close();
    t->open();
    EXPECT_TRUE(t->eof());
    t->append();
    t->setString("ext", "TXT");
    t->post();
    EXPECT_EQ(t->asString("ext"), "TXT");
}

TEST_F(TableCursor, TextsKeepTheirBytesExactly) {
    const std::string odd[] = {std::string("\xff\xfe invalid \xc3", 13), "line1\nline2\r\n",
                               std::string("nul\0inside", 10), "", std::string(100000, 'x'),
                               "  spaced  "};
    TableScope t(dm->ftpsite());
    for (const std::string& s : odd) {
        t->append();
        t->setString("name", s);
        t->setString("comment", s);
        t->post();
    }
    auto other = openModule();
    TableScope u(other->ftpsite());
    size_t i = 0;
    for (u->first(); !u->eof(); u->next(), ++i) {
        ASSERT_LT(i, std::size(odd));
        EXPECT_EQ(u->asString("name"), odd[i]);
        EXPECT_EQ(u->asString("comment"), odd[i]);
    }
    EXPECT_EQ(i, std::size(odd));
    for (const std::string& s : odd) {
        ASSERT_TRUE(u->locate("name", {s}));
        EXPECT_EQ(u->asString("comment"), s);
    }
    EXPECT_FALSE(u->locate("name", {std::string("line1\nline2")}));
}

TEST_F(TableCursor, NestedScopeLeavesTheOuterScopeOpen) {
    TableScope outer(dm->task());
    {
        TableScope inner(dm->task());
    }
    EXPECT_TRUE(outer->active());
}

TEST_F(TableCursor, IntegerFieldsConvertToAndFromText) {
    TableScope t(dm->ftpsite());
    t->append();
    t->setInteger("port", -21);
    t->setString("timeout", "30");
    t->setInteger("name", 7);
    t->setString("pasv", "True");
    t->post();
    EXPECT_EQ(t->asString("port"), "-21");
    EXPECT_EQ(t->asInteger("timeout"), 30);
    EXPECT_EQ(t->asInteger("name"), 7);
    EXPECT_TRUE(t->asBoolean("pasv"));
    t->edit();
    t->setString("name", "not a number");
    t->post();
    EXPECT_THROW(t->asInteger("name"), store::EStoreError);
}

}  // namespace

namespace {

using WriteBatchTest = StoreTest;

TEST_F(WriteBatchTest, RowsAreVisibleAtOnceAndSavedWhenTheBatchEnds) {
    {
        store::WriteBatch outer(dm->database());
        TableScope t(dm->taskd());
        addTask(*t, "a");
        {
            store::WriteBatch inner(dm->database());
            addTask(*t, "b");
        }
        EXPECT_EQ(names(*t), (std::vector<std::string>{"a", "b"}));
        ASSERT_TRUE(t->locate("name", {std::string("a")}));
        t->del();
    }
    auto other = openModule();
    TableScope u(other->taskd());
    EXPECT_EQ(names(*u), (std::vector<std::string>{"b"}));
}

TEST_F(WriteBatchTest, AFailedStepUndoesTheWholeBatchAndCommitSaysSo) {
    try {
        store::WriteBatch batch(dm->database());
        TableScope t(dm->taskd());
        addTask(*t, "posted");
        t->setString("nosuch", "x");  // throws
    } catch (const store::EStoreError&) {
    }
    // An inner batch that failed undoes the outer one, and commit() says so.
    {
        store::WriteBatch outer(dm->database());
        {
            TableScope t(dm->taskd());
            addTask(*t, "outer");
        }
        try {
            store::WriteBatch inner(dm->database());
            throw store::EStoreError("step failed");
        } catch (const store::EStoreError&) {
        }
        EXPECT_THROW(outer.commit(), store::EStoreError);
    }
    auto other = openModule();
    TableScope u(other->taskd());
    EXPECT_TRUE(names(*u).empty());
}

// Another copy of the program holding the file for a moment is waited for.
TEST_F(WriteBatchTest, AWriteWaitsForTheLockOfAnotherConnection) {
    auto other = openModule();
    auto lock = std::make_unique<store::WriteBatch>(other->database());
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        lock->commit();
    });
    {
        TableScope t(dm->taskd());
        addTask(*t, "waited");
    }
    release.join();
    TableScope u(other->taskd());
    EXPECT_EQ(names(*u), (std::vector<std::string>{"waited"}));
}

TEST_F(WriteBatchTest, DisconnectInsideABatchWritesIt) {
    store::WriteBatch batch(dm->database());
    {
        TableScope t(dm->taskd());
        addTask(*t, "a");
    }
    dm->database().disconnect();
    dm->database().connect();
    TableScope t(dm->taskd());
    EXPECT_EQ(names(*t), (std::vector<std::string>{"a"}));
}

}  // namespace

namespace {

// The site operations the windows call instead of walking the tables.
TEST_F(StoreTest, SiteRenameCarriesTasksAndConnectStampsTheSite) {
    store::SiteRecord one;
    one.name = "One";
    one.address = "one.example";
    one.port = 2121;
    const int id = store::appendSite(*dm, one);
    one.name = "Two";
    store::appendSite(*dm, one);
    {
        TableScope t(dm->taskd());
        for (const char* site : {"One", "one", "One"}) {
            t->append();
            t->setString("ftp", site);
            t->post();
        }
    }
    EXPECT_EQ(store::renameSite(*dm, "One", "Two"), store::RenameResult::NameTaken);
    EXPECT_EQ(store::renameSite(*dm, "Gone", "Three"), store::RenameResult::NotFound);
    EXPECT_EQ(store::renameSite(*dm, "One", "Uno"), store::RenameResult::Renamed);
    TableScope t(dm->taskd());
    std::vector<std::string> tasks;
    for (t->first(); !t->eof(); t->next()) tasks.push_back(t->asString("ftp"));
    EXPECT_EQ(tasks, (std::vector<std::string>{"Uno", "one", "Uno"}));

    EXPECT_FALSE(store::openSiteForConnect(*dm, "One", "2030-01-01 00:00:00"));
    const auto site = store::openSiteForConnect(*dm, "Uno", "2030-01-01 00:00:00");
    ASSERT_TRUE(site);
    EXPECT_EQ(site->id, id);
    EXPECT_EQ(site->port, 2121);
    EXPECT_EQ(site->zdate, "2030-01-01 00:00:00");
    EXPECT_EQ(store::findSite(*dm, "Uno")->zdate, "2030-01-01 00:00:00");
}

// "None" on a site means no profile: a rename is never carried from or to it.
TEST_F(StoreTest, ProfileRenameCarriesIntoSitesButNeverToOrFromNone) {
    store::SocksRecord k;
    k.name = "corp";
    store::appendSocks(*dm, k);
    for (const char* socks : {"corp", "None"}) {
        store::SiteRecord s;
        s.name = socks;
        s.socks = socks;
        store::appendSite(*dm, s);
    }
    EXPECT_EQ(store::sitesUsingSocks(*dm, "None"), 0);
    k.name = "None";
    ASSERT_TRUE(store::updateSocks(*dm, "corp", k));
    EXPECT_EQ(store::findSite(*dm, "corp")->socks, "corp");  // refused at connect, not gone around
    k.name = "hq";
    ASSERT_TRUE(store::updateSocks(*dm, "None", k));
    EXPECT_EQ(store::findSite(*dm, "None")->socks, "None");
}

}  // namespace
