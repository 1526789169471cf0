#pragma once
// A thin owner of one SQLite connection with a cache of prepared statements.
// Nothing outside store/ sees SQLite.
#include <cstdint>
#include <map>
#include <memory>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace store::engine {

// One value of a row as the store keeps it: nothing, an integer, or bytes.
struct Cell {
    enum class Kind { Null, Int, Bytes };
    Kind kind = Kind::Null;
    std::int64_t i = 0;
    std::string s;
};

// A prepared statement borrowed from the cache; reset and unbound on release.
class Stmt {
public:
    explicit Stmt(sqlite3_stmt* s) : s_(s) {}
    ~Stmt();
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;

    void bindInt(int index, std::int64_t v);
    // Bytes go in as a blob so that SQLite never converts or cuts them.
    void bindBytes(int index, const std::string& v);
    // The same bytes as SQLite text, to match values other tools wrote.
    void bindText(int index, const std::string& v);
    void bindNull(int index);
    void bind(int index, const Cell& c);
    // True while a row is available; throws on an error.
    bool step();
    std::int64_t columnInt(int col) const;
    Cell column(int col) const;

private:
    sqlite3_stmt* s_;
};

class Connection {
public:
    enum class Mode { ReadOnly, ReadWrite, Create };
    // How long a statement waits for a lock another connection holds.
    static constexpr int kDefaultBusyTimeoutMs = 5000;
    // Throws EStoreError when SQLite cannot open the file at all.
    Connection(const std::string& path, Mode mode);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    Stmt prepare(const std::string& sql);
    // Runs statements without results; throws EStoreError on failure.
    void exec(const std::string& sql);
    std::int64_t lastInsertRowid() const;
    int changes() const;
    int lastErrorCode() const;
    void setBusyTimeout(int ms);
    std::string lastError() const;

private:
    sqlite3* db_ = nullptr;
    std::map<std::string, sqlite3_stmt*> cache_;
};

// Quotes an identifier for SQL ("a""b").
std::string QuoteId(const std::string& id);

}  // namespace store::engine
