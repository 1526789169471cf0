#include "store/engine/connection.h"

#include "store/table.h"

#include <sqlite3.h>

namespace store::engine {

namespace {

// A lock held by another connection past the busy timeout gets its own error,
// so that a window can say why the change was not saved.
[[noreturn]] void raise(int rc, const std::string& message) {
    const int primary = rc & 0xff;
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) throw EStoreBusy(message);
    throw EStoreError(message);
}

[[noreturn]] void fail(sqlite3* db, const std::string& what) {
    if (!db) throw EStoreError(what + ": out of memory");
    raise(sqlite3_extended_errcode(db), what + ": " + sqlite3_errmsg(db));
}

}  // namespace

std::string QuoteId(const std::string& id) {
    std::string out = "\"";
    for (char c : id) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

Stmt::~Stmt() {
    sqlite3_reset(s_);
    sqlite3_clear_bindings(s_);
}

void Stmt::bindInt(int index, std::int64_t v) { sqlite3_bind_int64(s_, index, v); }

void Stmt::bindBytes(int index, const std::string& v) {
    // A null pointer would bind NULL, so the empty text is an empty blob.
    if (v.empty())
        sqlite3_bind_zeroblob(s_, index, 0);
    else
        sqlite3_bind_blob64(s_, index, v.data(), v.size(), SQLITE_TRANSIENT);
}

void Stmt::bindText(int index, const std::string& v) {
    sqlite3_bind_text64(s_, index, v.data(), v.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

void Stmt::bindNull(int index) { sqlite3_bind_null(s_, index); }

void Stmt::bind(int index, const Cell& c) {
    switch (c.kind) {
    case Cell::Kind::Null: bindNull(index); break;
    case Cell::Kind::Int: bindInt(index, c.i); break;
    case Cell::Kind::Bytes: bindBytes(index, c.s); break;
    }
}

bool Stmt::step() {
    int rc = sqlite3_step(s_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    sqlite3* db = sqlite3_db_handle(s_);
    std::string msg = sqlite3_errmsg(db);
    // Leave the statement reusable before reporting.
    sqlite3_reset(s_);
    raise(rc, "store error: " + msg);
}

std::int64_t Stmt::columnInt(int col) const { return sqlite3_column_int64(s_, col); }

Cell Stmt::column(int col) const {
    Cell c;
    switch (sqlite3_column_type(s_, col)) {
    case SQLITE_NULL: break;
    case SQLITE_INTEGER:
        c.kind = Cell::Kind::Int;
        c.i = sqlite3_column_int64(s_, col);
        break;
    case SQLITE_FLOAT:
        // Not written by us; an integer is the nearest meaning.
        c.kind = Cell::Kind::Int;
        c.i = sqlite3_column_int64(s_, col);
        break;
    default: {
        // Blob or text: take the bytes exactly as stored.
        c.kind = Cell::Kind::Bytes;
        const void* p = sqlite3_column_blob(s_, col);
        int n = sqlite3_column_bytes(s_, col);
        if (p && n > 0) c.s.assign(static_cast<const char*>(p), static_cast<size_t>(n));
        break;
    }
    }
    return c;
}

Connection::Connection(const std::string& path, Mode mode) {
    int flags = SQLITE_OPEN_FULLMUTEX;
    switch (mode) {
    case Mode::ReadOnly: flags |= SQLITE_OPEN_READONLY; break;
    case Mode::ReadWrite: flags |= SQLITE_OPEN_READWRITE; break;
    case Mode::Create: flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE; break;
    }
    int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        std::string msg = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        db_ = nullptr;
        throw EStoreError("cannot open " + path + ": " + msg);
    }
    sqlite3_extended_result_codes(db_, 1);
    // A second connection on the same file (another copy of the program) may
    // hold a lock for a moment.
    setBusyTimeout(kDefaultBusyTimeoutMs);
}

Connection::~Connection() {
    for (auto& [sql, s] : cache_) sqlite3_finalize(s);
    sqlite3_close(db_);
}

Stmt Connection::prepare(const std::string& sql) {
    auto it = cache_.find(sql);
    if (it != cache_.end()) return Stmt(it->second);
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v3(db_, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr) !=
            SQLITE_OK ||
        !s) {
        sqlite3_finalize(s);
        fail(db_, "store error");
    }
    cache_.emplace(sql, s);
    return Stmt(s);
}

void Connection::exec(const std::string& sql) {
    char* err = nullptr;
    const int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
        std::string msg = err ? err : sqlite3_errmsg(db_);
        sqlite3_free(err);
        raise(rc, "store error: " + msg);
    }
}

void Connection::setBusyTimeout(int ms) { sqlite3_busy_timeout(db_, ms); }

std::int64_t Connection::lastInsertRowid() const { return sqlite3_last_insert_rowid(db_); }
int Connection::changes() const { return sqlite3_changes(db_); }
int Connection::lastErrorCode() const { return sqlite3_extended_errcode(db_); }
std::string Connection::lastError() const { return sqlite3_errmsg(db_); }

}  // namespace store::engine
