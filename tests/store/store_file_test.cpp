#include "store/site_records.h"
#include "tests/store/store_fixture.h"

#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using store::TableScope;
using store_test::readAll;
using store_test::TempDir;
using store_test::writeAll;

namespace {

std::vector<std::string> column(store::Table& t, const std::string& field) {
    std::vector<std::string> out;
    for (t.first(); !t.eof(); t.next()) out.push_back(t.asString(field));
    return out;
}

void sql(const std::string& path, const std::string& statement) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* err = nullptr;
    int rc = sqlite3_exec(db, statement.c_str(), nullptr, nullptr, &err);
    std::string msg = err ? err : "";
    sqlite3_free(err);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << msg;
}

class StoreFile : public ::testing::Test {
protected:
    std::string path() const { return tmp.path("all.dat").string(); }
    std::unique_ptr<store::Tdm> module() {
        auto dm = std::make_unique<store::Tdm>();
        dm->database().setFileName(path());
        return dm;
    }
    // Connects a module and reports whether the store accepted the file.
    bool connects() {
        auto dm = module();
        try {
            dm->database().connect();
        } catch (const store::EStoreError&) {
            return false;
        }
        return dm->database().connected();
    }
    // A store holding one site, closed again.
    void makeStoreWithSite(const std::string& name) {
        auto dm = module();
        dm->database().connect();
        TableScope t(dm->ftpsite());
        t->append();
        t->setString("name", name);
        t->post();
    }
    // The store must refuse the file and leave every byte of it alone.
    void expectRefusedUntouched(const std::string& bytes) {
        writeAll(path(), bytes);
        EXPECT_FALSE(connects());
        EXPECT_TRUE(readAll(path()) == bytes) << "the refused file was changed";
        for (const char* side : {"-journal", "-wal", "-shm"})
            EXPECT_FALSE(std::filesystem::exists(path() + side)) << side;
        // Tables of a refused store fail without crashing.
        auto dm = module();
        EXPECT_THROW(dm->database().connect(), store::EStoreError);
        EXPECT_THROW(dm->ftpsite().open(), store::EStoreError);
    }
    TempDir tmp;
};

TEST_F(StoreFile, NewStoreHasEveryTableAndTheDefaults) {
    auto dm = module();
    dm->database().connect();
    EXPECT_TRUE(dm->database().connected());
    for (const char* name : {"ftpsite", "options", "proxy", "socks", "antiidle", "ascext",
                             "hmaster", "hdital", "task", "taskd", "taskd2", "quickftp"}) {
        TableScope t(dm->table(name));
        EXPECT_TRUE(t->active()) << name;
    }
    TableScope a(dm->antiidle());
    EXPECT_EQ(column(*a, "command"), (std::vector<std::string>{"NOOP", "PWD"}));
    for (a->first(); !a->eof(); a->next()) EXPECT_TRUE(a->asBoolean("tf"));
    TableScope x(dm->ascext());
    EXPECT_EQ(column(*x, "ext"),
              (std::vector<std::string>{"ASP", "BAT", "C", "CGI", "CPP", "CSS", "DHTML", "HTM",
                                        "HTML", "PERL", "PHP", "PL"}));
    for (x->first(); !x->eof(); x->next()) EXPECT_TRUE(x->asBoolean("tf"));
    TableScope o(dm->options());
    EXPECT_TRUE(o->asBoolean("eanti"));
    EXPECT_EQ(o->asInteger("interval"), 30);
    EXPECT_EQ(o->asString("transfermode"), "auto");
    EXPECT_EQ(o->asString("transferc"), "none");
    EXPECT_EQ(o->asInteger("recvb"), 2048);
    EXPECT_EQ(o->asInteger("sendb"), 1024);
    EXPECT_TRUE(o->asBoolean("appe"));
    o->next();
    EXPECT_TRUE(o->eof());  // exactly one row
    TableScope s(dm->ftpsite());
    EXPECT_TRUE(s->eof());
}

TEST_F(StoreFile, LocatedFieldsAreIndexed) {
    makeStoreWithSite("x");
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path().c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    struct Case { const char* table; const char* where; };
    for (Case c : {Case{"ftpsite", "name=?"}, Case{"proxy", "name=?"}, Case{"socks", "name=?"},
                   Case{"hmaster", "id=? AND date=? AND type=?"}, Case{"hdital", "id=?"},
                   Case{"hdital", "key=?"}, Case{"task", "name=?"}, Case{"taskd", "id=?"},
                   Case{"taskd", "taskid=?"}, Case{"taskd2", "id=?"}, Case{"quickftp", "ftp=?"},
                   Case{"ascext", "ext=?"}, Case{"antiidle", "command=?"}}) {
        std::string q = std::string("EXPLAIN QUERY PLAN SELECT rowid FROM ") + c.table +
                        " WHERE " + c.where + " ORDER BY rowid LIMIT 1";
        sqlite3_stmt* s = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db, q.c_str(), -1, &s, nullptr), SQLITE_OK) << q;
        std::string plan;
        while (sqlite3_step(s) == SQLITE_ROW)
            plan += reinterpret_cast<const char*>(sqlite3_column_text(s, 3)) + std::string("\n");
        sqlite3_finalize(s);
        EXPECT_EQ(plan.find("SCAN"), std::string::npos) << c.table << ": " << plan;
    }
    sqlite3_close(db);
}

TEST_F(StoreFile, DefaultsAreNotAddedAgainToAnExistingStore) {
    {
        auto dm = module();
        dm->database().connect();
        TableScope a(dm->antiidle());
        a->empty();
        TableScope o(dm->options());
        o->empty();
    }
    auto dm = module();
    dm->database().connect();
    TableScope a(dm->antiidle());
    EXPECT_TRUE(a->eof());
    TableScope o(dm->options());
    EXPECT_TRUE(o->eof());
    TableScope x(dm->ascext());
    EXPECT_EQ(column(*x, "ext").size(), 12u);
}

TEST_F(StoreFile, MissingTablesAreCreatedEmptyInAnExistingStore) {
    makeStoreWithSite("kept");
    sql(path(), "DROP TABLE antiidle; DROP TABLE hdital;");
    auto dm = module();
    dm->database().connect();
    TableScope a(dm->antiidle());
    EXPECT_TRUE(a->eof());
    TableScope h(dm->hdital());
    h->append();
    h->setString("ftpfile", "f");
    h->post();
    EXPECT_GT(h->asInteger("key"), 0);
    TableScope s(dm->ftpsite());
    EXPECT_EQ(column(*s, "name"), (std::vector<std::string>{"kept"}));
}

TEST_F(StoreFile, AnOldTableWithoutAFieldStillOpens) {
    sql(path(), "CREATE TABLE ftpsite(id INTEGER PRIMARY KEY, address TEXT)");
    auto dm = module();
    dm->database().connect();
    TableScope s(dm->ftpsite());
    EXPECT_THROW(s->locate("name", {std::string("x")}), store::EStoreError);
    s->append();
    s->setString("address", "host");
    s->post();
    EXPECT_EQ(s->asString("address"), "host");
    // Not a new store: nothing was seeded.
    TableScope a(dm->antiidle());
    EXPECT_TRUE(a->eof());
}

// A store written before the encryption fields: they join as empty columns,
// every byte of the old rows stays, and the site reads as plain FTP.
TEST_F(StoreFile, FieldsThatCameLaterJoinAnOlderStoreWithoutTouchingItsRows) {
    makeStoreWithSite("old");
    sql(path(), "ALTER TABLE ftpsite DROP COLUMN certfp; ALTER TABLE ftpsite DROP COLUMN encryption;"
                "ALTER TABLE quickftp DROP COLUMN encryption;"
                "UPDATE ftpsite SET port = 2121, address = x'68ff'; INSERT INTO quickftp(ftp) VALUES('q');"
                "CREATE TABLE snap AS SELECT rowid AS rid, * FROM ftpsite;");
    auto dm = module();
    dm->database().connect();
    dm->database().disconnect();
    // Same rowid, values and value types in the old columns, new ones empty;
    // otherwise the overflow fails the statement.
    sql(path(), "SELECT CASE WHEN (SELECT count(*) FROM ftpsite JOIN snap ON ftpsite.rowid = snap.rid "
                "WHERE ftpsite.address IS snap.address AND typeof(ftpsite.port) = typeof(snap.port) "
                "AND ftpsite.port IS snap.port AND ftpsite.cdate IS snap.cdate AND encryption IS NULL "
                "AND certfp IS NULL) = 1 AND (SELECT encryption IS NULL FROM quickftp) THEN 1 "
                "ELSE abs(-9223372036854775807 - 1) END");
    dm->database().connect();
    const auto site = store::findSite(*dm, "old");
    ASSERT_TRUE(site);
    EXPECT_EQ(site->encryption, "");
    EXPECT_EQ(store::findQuickConnection(*dm, "q")->encryption, "");
}

#ifndef _WIN32
TEST_F(StoreFile, AnOlderStoreNobodyMayWriteStillOpensAsPlainSites) {
    makeStoreWithSite("old");
    sql(path(), "ALTER TABLE ftpsite DROP COLUMN certfp; ALTER TABLE ftpsite DROP COLUMN encryption;"
                "ALTER TABLE quickftp DROP COLUMN encryption; INSERT INTO quickftp(ftp) VALUES('q');");
    // Even root cannot write to an immutable file.
    const std::string lock = "chattr +i '" + path() + "' 2>/dev/null";
    if (std::system(lock.c_str()) != 0) GTEST_SKIP() << "chattr +i is not available here";
    const std::string before = readAll(path());
    auto dm = module();
    EXPECT_NO_THROW(dm->database().connect());
    const auto site = dm->database().connected() ? store::findSite(*dm, "old") : std::nullopt;
    const auto quick = dm->database().connected() ? store::findQuickConnection(*dm, "q") : std::nullopt;
    dm->database().disconnect();
    std::system(("chattr -i '" + path() + "'").c_str());
    ASSERT_TRUE(site && quick);
    EXPECT_EQ(site->encryption, "");
    EXPECT_EQ(quick->encryption, "");
    EXPECT_TRUE(readAll(path()) == before);
}
#endif

TEST_F(StoreFile, TextsWrittenByAnotherToolAreFound) {
    makeStoreWithSite("ours");
    sql(path(), "INSERT INTO ftpsite(name, port) VALUES('typed', '21')");
    auto dm = module();
    dm->database().connect();
    TableScope t(dm->ftpsite());
    ASSERT_TRUE(t->locate("name;port", {"typed", 21}));
    EXPECT_EQ(t->asString("name"), "typed");
    EXPECT_TRUE(t->locate("name", {"ours"}));
    EXPECT_FALSE(t->locate("name", {"Typed"}));
}

TEST_F(StoreFile, SavedRowsAreSeenByAnotherConnection) {
    makeStoreWithSite("first");
    auto a = module();
    a->database().connect();
    auto b = module();
    b->database().connect();
    {
        TableScope t(a->ftpsite());
        t->append();
        t->setString("name", "second");
        t->setInteger("port", 2121);
        t->post();
    }
    TableScope t(b->ftpsite());
    EXPECT_EQ(column(*t, "name"), (std::vector<std::string>{"first", "second"}));
    ASSERT_TRUE(t->locate("name", {std::string("second")}));
    EXPECT_EQ(t->asInteger("port"), 2121);
    t->del();
    TableScope u(a->ftpsite());
    EXPECT_EQ(column(*u, "name"), (std::vector<std::string>{"first"}));
}

TEST_F(StoreFile, DisconnectClosesTablesAndReconnectWorks) {
    auto dm = module();
    dm->database().connect();
    dm->ftpsite().open();
    dm->database().disconnect();
    EXPECT_FALSE(dm->database().connected());
    EXPECT_FALSE(dm->ftpsite().active());
    EXPECT_THROW(dm->ftpsite().open(), store::EStoreError);
    dm->database().connect();
    TableScope t(dm->ftpsite());
    EXPECT_TRUE(t->eof());
}

TEST_F(StoreFile, ForeignOrDamagedFilesAreRefusedAndLeftAlone) {
    std::mt19937 rng(7);
    std::string noise(8192, '\0');
    for (char& c : noise) c = static_cast<char>(rng());
    expectRefusedUntouched(noise);
    expectRefusedUntouched("just some text\n");

    std::filesystem::remove(path());
    makeStoreWithSite("site");
    std::string good = readAll(path());
    ASSERT_GT(good.size(), 4096u);
    std::filesystem::remove(path());

    // A real store cut short, at a page boundary and inside a page.
    expectRefusedUntouched(good.substr(0, good.size() / 2));
    expectRefusedUntouched(good.substr(0, 4096));
    expectRefusedUntouched(good.substr(0, 5000));
    expectRefusedUntouched(good.substr(0, 50));
    // The right header over pages of noise, and one page overwritten.
    std::string longNoise;
    while (longNoise.size() < good.size()) longNoise += noise;
    expectRefusedUntouched(good.substr(0, 100) + longNoise.substr(0, good.size() - 100));
    std::string hurt = good;
    hurt.replace(4096 * 2, 4096, longNoise.substr(0, 4096));
    expectRefusedUntouched(hurt);
    // The sound copy itself still opens.
    writeAll(path(), good);
    EXPECT_TRUE(connects());
    // A sound SQLite file of some other program.
    std::filesystem::remove(path());
    sql(path(), "CREATE TABLE notes(body TEXT); INSERT INTO notes VALUES('mine');");
    expectRefusedUntouched(readAll(path()));
}

TEST_F(StoreFile, ADirectoryOrEmptyNameIsRefused) {
    std::filesystem::create_directory(path());
    EXPECT_FALSE(connects());
    auto dm = std::make_unique<store::Tdm>();
    EXPECT_THROW(dm->database().connect(), store::EStoreError);
}

TEST_F(StoreFile, AnEmptyFileBecomesANewStore) {
    writeAll(path(), "");
    auto dm = module();
    dm->database().connect();
    TableScope a(dm->antiidle());
    EXPECT_EQ(column(*a, "command").size(), 2u);
}

#ifndef _WIN32
TEST_F(StoreFile, StoreFileIsPrivateToItsOwner) {
    auto dm = module();
    dm->database().connect();
    {
        TableScope t(dm->ftpsite());
        t->append();
        t->setString("password", "secret");
        t->post();
    }
    struct stat st {};
    ASSERT_EQ(::stat(path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    for (const char* side : {"-wal", "-shm"}) {
        if (::stat((path() + side).c_str(), &st) == 0) {
            EXPECT_EQ(st.st_mode & 0077, 0u) << side;
        }
    }
}

TEST_F(StoreFile, AnEmptyFileTakenOverBecomesPrivate) {
    writeAll(path(), "");
    ASSERT_EQ(::chmod(path().c_str(), 0644), 0);
    ASSERT_TRUE(connects());
    struct stat st {};
    ASSERT_EQ(::stat(path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(StoreFile, ASavedRowSurvivesAKilledProcess) {
    makeStoreWithSite("before");
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        store::Tdm dm;
        dm.database().setFileName(path());
        dm.database().connect();
        dm.ftpsite().open();
        dm.ftpsite().append();
        dm.ftpsite().setString("name", "posted");
        dm.ftpsite().post();
        dm.ftpsite().append();
        dm.ftpsite().setString("name", "never posted");
        ::raise(SIGKILL);
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    auto dm = module();
    dm->database().connect();
    TableScope t(dm->ftpsite());
    EXPECT_EQ(column(*t, "name"), (std::vector<std::string>{"before", "posted"}));
}
#endif

}  // namespace
