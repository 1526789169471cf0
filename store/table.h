#pragma once
// The table store behind "all.dat": a database object for the file and one
// cursor-style table object per table. Callers open a table, work, and close it
// before they return. Texts are byte strings kept exactly as written.
#include "platform/exceptions.h"

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace store {

// Any failure of the store: file not a store, table or field missing, no row.
class EStoreError : public EIdException {
public:
    using EIdException::EIdException;
};

// Another program (another copy of this one) held the file locked for longer
// than the store waits for it.
class EStoreBusy : public EStoreError {
public:
    using EStoreError::EStoreError;
};

using Value = std::variant<int, std::string>;

class Database;

class Table {
public:
    Table(Database& db, std::string name);
    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    const std::string& name() const { return name_; }

    // 1. Opening an open table does nothing; a fresh open puts the cursor on
    // the first row. Throws when the store is not connected or lacks the
    // table. Closing drops a row that was not posted.
    void open();
    void close();
    bool active() const;

    // 2. Navigation (a pending row is posted first). eof() turns true on
    // next() from the last row, bof() on prior() from the first; the cursor
    // then stays on that row. Both are true for an empty or closed table.
    void first();
    void last();
    void next();
    void prior();
    bool eof() const;
    bool bof() const;

    // 3. Locate by one field or several joined by ";" (one value each): the
    // first row in table order equal in all of them, texts compared exactly.
    // Cursor unchanged when not found; an unknown field throws.
    bool locate(const std::string& fields, const std::vector<Value>& values);

    // 4-5. Editing. edit() on an empty table starts a new row. append() and
    // insert() post a pending edit first; an inserted row also joins the end.
    void edit();
    void append();
    void insert();
    // 7. Saves the pending row; a new row's auto-number is readable at once.
    void post();
    void cancel();
    // 8. Cursor then rests on the following row, or on the new last row with
    // eof() true, so a delete-or-next loop sees every row once. On a row not
    // yet posted it just drops it; with no row it throws.
    void del();
    // 9. Deletes every row.
    void empty();

    // 6. Fields of the current row (or of the pending row). Reading with no
    // current row yields the empty value; a field the table lacks throws.
    // Writing needs edit(), append() or insert() first, and never touches an
    // auto-number. Integers read as plain decimal text; booleans as
    // "True"/"False".
    std::string asString(const std::string& field) const;
    int asInteger(const std::string& field) const;
    bool asBoolean(const std::string& field) const;
    void setString(const std::string& field, const std::string& value);
    void setInteger(const std::string& field, int value);
    void setBoolean(const std::string& field, bool value);

    struct Impl;

private:
    Database& db_;
    std::string name_;
    std::unique_ptr<Impl> impl_;
};

class Database {
public:
    Database();
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void setFileName(const std::string& path);
    const std::string& fileName() const { return fileName_; }
    // Opens (creating a missing file and missing tables, seeding a new store);
    // throws EStoreError and leaves a file it cannot use untouched.
    void connect();
    void disconnect();
    bool connected() const;
    // How long a write waits for another program's lock before it fails with
    // EStoreBusy; applies from the next connect().
    void setBusyTimeout(int ms) { busyTimeoutMs_ = ms; }

    struct Impl;
    Impl& impl();

private:
    std::string fileName_;
    int busyTimeoutMs_ = 5000;
    std::unique_ptr<Impl> impl_;
};

// The data module: the database object and one table object per table. The
// program makes one and passes it to the windows that need the store.
class Tdm {
public:
    Tdm();
    ~Tdm();

    Database& database() { return db_; }

    Table& ftpsite() { return ftpsite_; }
    Table& options() { return options_; }
    Table& proxy() { return proxy_; }
    Table& socks() { return socks_; }
    Table& antiidle() { return antiidle_; }
    Table& ascext() { return ascext_; }
    Table& hmaster() { return hmaster_; }
    Table& hdital() { return hdital_; }
    Table& task() { return task_; }
    Table& taskd() { return taskd_; }
    Table& taskd2() { return taskd2_; }
    Table& quickftp() { return quickftp_; }
    // By table name; throws EStoreError for an unknown name.
    Table& table(const std::string& name);

private:
    Database db_;
    Table ftpsite_, options_, proxy_, socks_, antiidle_, ascext_, hmaster_, hdital_,
        task_, taskd_, taskd2_, quickftp_;
};

// Makes the posts and deletes of one operation (a cascade, a list saved as a
// whole) one write to disk, all or nothing. Rows are visible at once.
// commit() writes the batch and throws EStoreError when that fails, with the
// file left as it was before the batch. A batch left by an exception is undone,
// and so is the outer batch around it. A batch that ends without commit() and
// without an error is written too; a failure to write it then only reaches the
// error stream, so operations that must report it call commit(). Batches
// nest; the outermost one writes. Without a connection it does nothing.
class WriteBatch {
public:
    explicit WriteBatch(Database& db);
    ~WriteBatch();
    WriteBatch(const WriteBatch&) = delete;
    WriteBatch& operator=(const WriteBatch&) = delete;

    void commit();

private:
    Database& db_;
    bool begun_ = false;
    bool ended_ = false;
    int exceptionsAtStart_ = 0;
};

// Opens a table for the lifetime of a scope and closes it on every exit path.
// A scope nested inside another use of the same table (a helper called while
// the caller walks it) leaves the table open for the caller.
class TableScope {
public:
    explicit TableScope(Table& t) : t_(t), wasOpen_(t.active()) { t_.open(); }
    ~TableScope() {
        if (wasOpen_) return;
        try { t_.close(); } catch (...) {}
    }
    TableScope(const TableScope&) = delete;
    TableScope& operator=(const TableScope&) = delete;
    Table& operator*() { return t_; }
    Table* operator->() { return &t_; }

private:
    Table& t_;
    bool wasOpen_;
};

}  // namespace store
