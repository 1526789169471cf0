#include "store/engine/store_file.h"

#include "store/schema.h"
#include "store/table.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace store::engine {
namespace {

enum class FileState { Missing, Empty, Existing };

bool sideFileExists(const std::string& path, const char* suffix) {
    std::error_code ec;
    return fs::exists(fs::path(path + suffix), ec);
}

std::uint32_t be32(const unsigned char* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) |
           (std::uint32_t(p[2]) << 8) | std::uint32_t(p[3]);
}

// Looks at the bytes before SQLite does: SQLite would happily treat some
// damaged files as usable and then write to them.
FileState inspect(const std::string& path) {
    std::error_code ec;
    fs::file_status st = fs::status(fs::path(path), ec);
    if (ec || !fs::exists(st)) {
        if (st.type() == fs::file_type::not_found || ec == std::errc::no_such_file_or_directory)
            return FileState::Missing;
        throw EStoreError(path + ": cannot examine the file: " + ec.message());
    }
    if (!fs::is_regular_file(st)) throw EStoreError(path + ": not a regular file");
    std::uintmax_t size = fs::file_size(fs::path(path), ec);
    if (ec) throw EStoreError(path + ": cannot examine the file: " + ec.message());
    if (size == 0) return FileState::Empty;

    unsigned char h[100] = {};
    std::ifstream in(fs::path(path), std::ios::binary);
    if (!in) throw EStoreError(path + ": cannot read the file");
    in.read(reinterpret_cast<char*>(h), sizeof h);
    if (in.gcount() != static_cast<std::streamsize>(sizeof h) ||
        std::memcmp(h, "SQLite format 3\0", 16) != 0)
        throw EStoreError(path + ": not a store file");

    std::uint32_t pageSize = (std::uint32_t(h[16]) << 8) | h[17];
    if (pageSize == 1) pageSize = 65536;
    bool pow2 = pageSize >= 512 && pageSize <= 65536 && (pageSize & (pageSize - 1)) == 0;
    if (!pow2 || h[18] < 1 || h[18] > 2 || h[19] < 1 || h[19] > 2 || h[21] != 64 ||
        h[22] != 32 || h[23] != 32)
        throw EStoreError(path + ": damaged store file (bad header)");

    // With a journal or log beside it, SQLite first restores the file from
    // it, so its present size says nothing yet.
    if (sideFileExists(path, "-journal") || sideFileExists(path, "-wal")) return FileState::Existing;
    if (size % pageSize != 0) throw EStoreError(path + ": damaged store file (truncated)");
    std::uint32_t pages = be32(h + 28);
    bool pagesValid = pages != 0 && be32(h + 24) == be32(h + 92);
    if (pagesValid && std::uintmax_t(pages) * pageSize > size)
        throw EStoreError(path + ": damaged store file (truncated)");
    return FileState::Existing;
}

// An empty file is about to receive the first passwords: only the owner may
// read it, whoever made it.
void makePrivate(const std::string& path) {
#ifndef _WIN32
    if (::chmod(path.c_str(), 0600) != 0)
        throw EStoreError(path + ": cannot restrict access to the store file: " +
                          std::strerror(errno));
#else
    (void)path;
#endif
}

void createPrivateFile(const std::string& path) {
#ifndef _WIN32
    // Passwords are kept as entered, so only the owner may read the file.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        throw EStoreError(path + ": cannot create the store file: " + std::strerror(errno));
    ::close(fd);
#else
    (void)path;  // SQLite creates it; the folder's access rules apply.
#endif
}

std::set<std::string> listTables(Connection& c, const std::string& path);

// Reads the list of tables; throws when the file fails SQLite's own check.
std::set<std::string> checkedTables(Connection& c, const std::string& path) {
    try {
        return listTables(c, path);
    } catch (const EStoreError& e) {
        std::string msg = e.what();
        if (msg.rfind(path, 0) == 0) throw;
        throw EStoreError(path + ": damaged store file (" + msg + ")");
    }
}

std::set<std::string> listTables(Connection& c, const std::string& path) {
    {
        Stmt s = c.prepare("PRAGMA quick_check");
        if (!s.step()) throw EStoreError(path + ": damaged store file");
        Cell first = s.column(0);
        if (first.s != "ok") throw EStoreError(path + ": damaged store file (" + first.s + ")");
    }
    std::set<std::string> names;
    Stmt s = c.prepare("SELECT name FROM sqlite_master WHERE type='table'");
    while (s.step()) names.insert(s.column(0).s);
    return names;
}

std::set<std::string> indexNames(Connection& c) {
    std::set<std::string> names;
    Stmt s = c.prepare("SELECT name FROM sqlite_master WHERE type='index'");
    while (s.step()) names.insert(s.column(0).s);
    return names;
}

std::set<std::string> columnNames(Connection& c, const std::string& table) {
    std::set<std::string> cols;
    Stmt s = c.prepare("PRAGMA table_info(" + QuoteId(table) + ")");
    while (s.step()) cols.insert(s.column(1).s);
    return cols;
}

// Column names compare without letter case, as SQLite compares them.
bool hasColumn(const std::set<std::string>& cols, const std::string& name) {
    auto lower = [](std::string t) {
        for (char& ch : t)
            if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
        return t;
    };
    for (const std::string& c : cols)
        if (lower(c) == lower(name)) return true;
    return false;
}

std::string columnSql(const FieldDef& f) {
    switch (f.type) {
    case FieldType::AutoNumber:
        // AUTOINCREMENT: a deleted entry's number is never handed out again,
        // so a stale link can never point at a newer row.
        return QuoteId(f.name) + " INTEGER PRIMARY KEY AUTOINCREMENT";
    case FieldType::Integer: return QuoteId(f.name) + " INTEGER";
    case FieldType::Boolean: return QuoteId(f.name) + " BOOLEAN";
    case FieldType::Text: break;
    }
    return QuoteId(f.name) + " TEXT";
}

std::vector<std::string> splitFields(const std::string& s) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        size_t p = s.find(';', start);
        out.push_back(s.substr(start, p == std::string::npos ? std::string::npos : p - start));
        if (p == std::string::npos) break;
        start = p + 1;
    }
    return out;
}

void seed(Connection& c) {
    for (const char* cmd : {"NOOP", "PWD"}) {
        Stmt s = c.prepare("INSERT INTO \"antiidle\"(\"command\",\"tf\") VALUES(?,1)");
        s.bindBytes(1, cmd);
        s.step();
    }
    for (const char* ext : {"ASP", "BAT", "C", "CGI", "CPP", "CSS", "DHTML", "HTM", "HTML",
                            "PERL", "PHP", "PL"}) {
        Stmt s = c.prepare("INSERT INTO \"ascext\"(\"ext\",\"tf\") VALUES(?,1)");
        s.bindBytes(1, ext);
        s.step();
    }
    Stmt s = c.prepare(
        "INSERT INTO \"options\"(\"eanti\",\"interval\",\"transfermode\",\"transferc\","
        "\"recvb\",\"sendb\",\"appe\") VALUES(1,30,?,?,2048,1024,1)");
    s.bindBytes(1, "auto");
    s.bindBytes(2, "none");
    s.step();
}

// Creates what is missing; seeds when the file held no table at all.
void complete(Connection& c, const std::set<std::string>& tables) {
    bool fresh = true;
    for (const std::string& t : tables)
        if (t.rfind("sqlite_", 0) != 0) fresh = false;

    std::vector<std::string> work;
    size_t added = 0;  // of the statements, columns that came later
    for (const TableDef& d : TableDefs()) {
        if (tables.count(d.name)) continue;
        std::string sql = "CREATE TABLE " + QuoteId(d.name) + "(";
        for (size_t i = 0; i < d.fields.size(); ++i) {
            if (i) sql += ',';
            sql += columnSql(d.fields[i]);
        }
        work.push_back(sql + ")");
    }
    std::set<std::string> indexes = indexNames(c);
    for (const TableDef& d : TableDefs()) {
        std::set<std::string> cols;
        if (tables.count(d.name)) {
            cols = columnNames(c, d.name);
            // A field that came later joins an older table as an empty column:
            // SQLite adds it without rewriting a single row. Other missing
            // fields stay missing; the store never guesses at a foreign table.
            for (const FieldDef& f : d.fields) {
                if (!f.addedLater || hasColumn(cols, f.name)) continue;
                work.push_back("ALTER TABLE " + QuoteId(d.name) + " ADD COLUMN " + columnSql(f));
                cols.insert(f.name);
                ++added;
            }
        } else {
            for (const FieldDef& f : d.fields) cols.insert(f.name);
        }
        for (const std::string& ix : d.indexes) {
            std::vector<std::string> fields = splitFields(ix);
            std::string name = "ix_" + d.name;
            std::string list;
            bool usable = true;
            for (const std::string& f : fields) {
                name += "_" + f;
                if (!list.empty()) list += ',';
                list += QuoteId(f);
                if (!cols.count(f)) usable = false;
            }
            // An old table without the field still opens; it just is not indexed.
            if (!usable || indexes.count(name)) continue;
            work.push_back("CREATE INDEX " + QuoteId(name) + " ON " + QuoteId(d.name) + "(" +
                           list + ")");
        }
    }
    if (work.empty()) return;  // nothing to write: a read-only store still opens

    c.exec("BEGIN IMMEDIATE");
    try {
        for (const std::string& sql : work) c.exec(sql);
        if (fresh) seed(c);
        c.exec("COMMIT");
    } catch (...) {
        const bool readOnly = (c.lastErrorCode() & 0xff) == SQLITE_READONLY;
        try { c.exec("ROLLBACK"); } catch (...) {}
        // An older store nobody may write to still opens as it did: the
        // fields that came later then read as empty (plain FTP).
        if (readOnly && added == work.size()) return;
        throw;
    }
}

}  // namespace

std::unique_ptr<Connection> OpenStoreFile(const std::string& path) {
    if (path.empty()) throw EStoreError("no store file name");
    FileState state = inspect(path);
    std::set<std::string> tables;
    if (state == FileState::Missing) {
        createPrivateFile(path);
        state = FileState::Empty;
    } else if (state == FileState::Empty) {
        makePrivate(path);
    }
    if (state == FileState::Existing) {
        // A read-only look first: a damaged or foreign file must not get a
        // journal, a log or a single changed byte.
        bool probed = false;
        try {
            Connection probe(path, Connection::Mode::ReadOnly);
            tables = checkedTables(probe, path);
            probed = true;
        } catch (const EStoreError&) {
            // A journal or log left by a killed process has to be played back
            // by a writer; SQLite checks that it belongs to the file.
            if (!sideFileExists(path, "-journal") && !sideFileExists(path, "-wal")) throw;
        }
        if (!probed) {
            Connection recover(path, Connection::Mode::ReadWrite);
            tables = checkedTables(recover, path);
        }
        bool ours = false, foreign = false;
        for (const std::string& t : tables) {
            if (t.rfind("sqlite_", 0) == 0) continue;
            (FindTableDef(t) ? ours : foreign) = true;
        }
        if (foreign && !ours) throw EStoreError(path + ": not a store file (other tables only)");
    }
#ifdef _WIN32
    auto mode = Connection::Mode::Create;
#else
    auto mode = Connection::Mode::ReadWrite;
#endif
    auto conn = std::make_unique<Connection>(path, mode);
    // A write-ahead log costs one flush per saved row instead of several, and
    // with FULL each saved row is on disk before the call returns. A store
    // that cannot switch (a read-only file) keeps its journal.
    try {
        conn->exec("PRAGMA journal_mode=WAL");
    } catch (const EStoreError&) {
    }
    conn->exec("PRAGMA synchronous=FULL");
    complete(*conn, tables);
    return conn;
}

}  // namespace store::engine
