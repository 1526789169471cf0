#include "store/table.h"

#include "store/engine/connection.h"
#include "store/engine/store_file.h"
#include "store/schema.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <exception>
#include <iostream>

namespace store {

using engine::Cell;
using engine::QuoteId;
using engine::Stmt;

struct Database::Impl {
    std::unique_ptr<engine::Connection> conn;
    std::vector<Table*> tables;
    int batchDepth = 0;
    bool batchFailed = false;  // a step of the open batch failed: undo it all

    // Undoes the open batch. Open tables may hold rows that are gone now, so
    // they are closed: whoever still uses one gets an error, not stale rows.
    void rollbackBatch() {
        batchDepth = 0;
        batchFailed = false;
        for (Table* t : tables) t->close();
        if (!conn) return;
        try { conn->exec("ROLLBACK"); } catch (...) {}
    }

    // Writes the open batch; on failure nothing of it stays and it throws.
    void commitBatch() {
        if (batchFailed) {
            rollbackBatch();
            throw EStoreError("store error: a step of the change failed; nothing of it was saved");
        }
        batchDepth = 0;
        if (!conn) return;
        try {
            conn->exec("COMMIT");
        } catch (const EStoreError&) {
            rollbackBatch();
            throw;
        }
    }
};

namespace {

struct Column {
    std::string name;  // as the file spells it
    FieldType type;
};

bool equalsNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// Plain decimal with an optional sign, nothing else.
bool parseInt(const std::string& s, std::int64_t& out) {
    if (s.empty()) return false;
    const char* b = s.data();
    const char* e = b + s.size();
    if (*b == '+') ++b;
    auto [p, ec] = std::from_chars(b, e, out);
    return ec == std::errc() && p == e;
}

int clampInt(std::int64_t v) {
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

bool textAsBool(const std::string& s) {
    if (s.empty()) return false;
    std::int64_t n = 0;
    if (parseInt(s, n)) return n != 0;
    char c = s[0];
    return c == 'T' || c == 't' || c == 'Y' || c == 'y';
}

Cell intCell(std::int64_t v) {
    Cell c;
    c.kind = Cell::Kind::Int;
    c.i = v;
    return c;
}

Cell bytesCell(std::string v) {
    Cell c;
    c.kind = Cell::Kind::Bytes;
    c.s = std::move(v);
    return c;
}

// The value a field holds before anything was written to it.
Cell emptyCell(FieldType t) { return t == FieldType::Text ? bytesCell("") : intCell(0); }

// Adds an item to a comma-separated list.
void joinTo(std::string& list, const std::string& item) {
    if (!list.empty()) list += ',';
    list += item;
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

FieldType typeFromDeclaration(const std::string& declared, bool pk) {
    std::string d = upper(declared);
    if (d.find("INT") != std::string::npos) return pk ? FieldType::AutoNumber : FieldType::Integer;
    if (d.find("BOOL") != std::string::npos) return FieldType::Boolean;
    return FieldType::Text;
}

}  // namespace

struct Table::Impl {
    enum class State { Browse, Edit, Insert };

    bool active = false;
    std::vector<Column> cols;
    std::string selectRowSql, chunkAfterSql, chunkBeforeSql;

    // Row ids in table order. Deleted rows are only marked, so that deleting
    // while walking a long table stays cheap; the marks are swept now and then.
    std::vector<std::int64_t> ids;
    std::vector<char> dead;
    size_t deadCount = 0;
    size_t skipped = 0;  // marks stepped over since the last tidy()
    size_t pos = 0;
    bool bof = true;
    bool eof = true;

    State state = State::Browse;
    std::vector<Cell> pending;
    std::vector<char> changed;
    // Where the cursor was when a new row was started, for cancel().
    size_t savedPos = 0;
    bool savedBof = true, savedEof = true;

    // A run of neighbouring rows read in one go, so that a walk costs one
    // query per chunk instead of one per row. Ids ascend.
    std::vector<std::int64_t> chunkIds;
    std::vector<std::vector<Cell>> chunkRows;
    std::vector<Cell> single;  // a row read outside any chunk

    void dropChunk() {
        chunkIds.clear();
        chunkRows.clear();
    }
    bool chunkCovers(std::int64_t id) const {
        return !chunkIds.empty() && id >= chunkIds.front() && id <= chunkIds.back();
    }
    std::vector<Cell>* chunkRow(std::int64_t id) {
        auto it = std::lower_bound(chunkIds.begin(), chunkIds.end(), id);
        if (it == chunkIds.end() || *it != id) return nullptr;
        return &chunkRows[static_cast<size_t>(it - chunkIds.begin())];
    }

    size_t live() const { return ids.size() - deadCount; }
    bool onRow() const { return live() > 0 && pos < ids.size() && !dead[pos]; }

    // Index of the first live entry at or after `from`, or npos.
    size_t liveFrom(size_t from) {
        for (size_t i = from; i < ids.size(); ++i) {
            if (!dead[i]) return i;
            ++skipped;
        }
        return npos;
    }
    // Index of the last live entry at or before `from`, or npos.
    size_t liveUpTo(size_t from) {
        if (ids.empty()) return npos;
        for (size_t i = std::min(from, ids.size() - 1) + 1; i-- > 0;) {
            if (!dead[i]) return i;
            ++skipped;
        }
        return npos;
    }

    // Sweeps the marks once they outnumber the rows, or once moving had to
    // step over many of them; either way each sweep is paid for by at least
    // 64 deletions, and no move keeps crossing a long run of marks.
    void tidy() {
        if (skipped > 64 || (deadCount > 64 && deadCount * 2 > ids.size())) sweep();
        skipped = 0;
    }

    void sweep() {
        size_t w = 0, newPos = 0;
        for (size_t i = 0; i < ids.size(); ++i) {
            if (i == pos) newPos = w;
            if (!dead[i]) ids[w++] = ids[i];
        }
        ids.resize(w);
        dead.assign(w, 0);
        deadCount = 0;
        pos = w == 0 ? 0 : std::min(newPos, w - 1);
    }

    // Position of a row id, adding it when another connection added the row.
    size_t placeOf(std::int64_t id) {
        auto it = std::lower_bound(ids.begin(), ids.end(), id);
        size_t i = static_cast<size_t>(it - ids.begin());
        if (it != ids.end() && *it == id) {
            if (dead[i]) {
                dead[i] = 0;
                --deadCount;
            }
            return i;
        }
        ids.insert(it, id);
        dead.insert(dead.begin() + static_cast<std::ptrdiff_t>(i), 0);
        return i;
    }

    static constexpr size_t npos = static_cast<size_t>(-1);
};

// ---------------------------------------------------------------- Table

Table::Table(Database& db, std::string name)
    : db_(db), name_(std::move(name)), impl_(std::make_unique<Impl>()) {
    db_.impl().tables.push_back(this);
}

Table::~Table() {
    auto& v = db_.impl().tables;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
}

namespace {

engine::Connection& connectionOf(Database& db, const std::string& table) {
    if (!db.impl().conn) throw EStoreError("table " + table + ": the store is not connected");
    return *db.impl().conn;
}

}  // namespace

void Table::open() {
    if (impl_->active) return;
    engine::Connection& c = connectionOf(db_, name_);
    Impl fresh;
    const TableDef* def = FindTableDef(name_);
    {
        Stmt s = c.prepare("PRAGMA table_info(" + QuoteId(name_) + ")");
        while (s.step()) {
            Column col;
            col.name = s.column(1).s;
            std::string declared = s.column(2).s;
            // Only a column declared exactly INTEGER PRIMARY KEY is the row id.
            bool pk = s.columnInt(5) == 1 && upper(s.column(2).s) == "INTEGER";
            col.type = typeFromDeclaration(declared, pk);
            if (def) {
                for (const FieldDef& f : def->fields) {
                    if (!equalsNoCase(f.name, col.name)) continue;
                    col.type = f.type;
                    // Only a real row-id column numbers itself.
                    if (col.type == FieldType::AutoNumber && !pk) col.type = FieldType::Integer;
                }
            }
            fresh.cols.push_back(std::move(col));
        }
    }
    if (fresh.cols.empty()) throw EStoreError("table " + name_ + " does not exist in the store");
    std::string list;
    for (const Column& col : fresh.cols) joinTo(list, QuoteId(col.name));
    fresh.selectRowSql = "SELECT " + list + " FROM " + QuoteId(name_) + " WHERE rowid=?";
    fresh.chunkAfterSql = "SELECT rowid," + list + " FROM " + QuoteId(name_) +
                          " WHERE rowid>=? ORDER BY rowid LIMIT 128";
    fresh.chunkBeforeSql = "SELECT rowid," + list + " FROM " + QuoteId(name_) +
                           " WHERE rowid<=? ORDER BY rowid DESC LIMIT 128";
    {
        Stmt s = c.prepare("SELECT rowid FROM " + QuoteId(name_) + " ORDER BY rowid");
        while (s.step()) fresh.ids.push_back(s.columnInt(0));
    }
    fresh.dead.assign(fresh.ids.size(), 0);
    fresh.active = true;
    fresh.pos = 0;
    fresh.bof = fresh.eof = fresh.ids.empty();
    *impl_ = std::move(fresh);
}

void Table::close() {
    // Unsaved changes are dropped: a scope left by an error must not save a
    // half-written row.
    *impl_ = Impl();
}

bool Table::active() const { return impl_->active; }

namespace {
void requireActive(const Table& t, bool active) {
    if (!active) throw EStoreError("table " + t.name() + " is not open");
}
}  // namespace

void Table::first() {
    requireActive(*this, impl_->active);
    if (impl_->state != Impl::State::Browse) post();
    Impl& m = *impl_;
    size_t i = m.liveFrom(0);
    if (i == Impl::npos) {
        m.pos = 0;
        m.bof = m.eof = true;
    } else {
        m.pos = i;
        m.bof = m.eof = false;
    }
    m.tidy();
}

void Table::last() {
    requireActive(*this, impl_->active);
    if (impl_->state != Impl::State::Browse) post();
    Impl& m = *impl_;
    size_t i = m.liveUpTo(m.ids.size());
    if (i == Impl::npos) {
        m.pos = 0;
        m.bof = m.eof = true;
    } else {
        m.pos = i;
        m.bof = m.eof = false;
    }
    m.tidy();
}

void Table::next() {
    requireActive(*this, impl_->active);
    if (impl_->state != Impl::State::Browse) post();
    Impl& m = *impl_;
    size_t i = m.onRow() ? m.liveFrom(m.pos + 1) : Impl::npos;
    if (i == Impl::npos) {
        // Past the end: the cursor keeps the last row.
        m.eof = true;
        if (m.live() == 0) m.bof = true;
    } else {
        m.pos = i;
        m.bof = m.eof = false;
    }
    m.tidy();
}

void Table::prior() {
    requireActive(*this, impl_->active);
    if (impl_->state != Impl::State::Browse) post();
    Impl& m = *impl_;
    size_t i = (m.onRow() && m.pos > 0) ? m.liveUpTo(m.pos - 1) : Impl::npos;
    if (i == Impl::npos) {
        m.bof = true;
        if (m.live() == 0) m.eof = true;
    } else {
        m.pos = i;
        m.bof = m.eof = false;
    }
    m.tidy();
}

bool Table::eof() const { return !impl_->active || impl_->eof; }
bool Table::bof() const { return !impl_->active || impl_->bof; }

namespace {

size_t findColumn(const std::vector<Column>& cols, const std::string& table,
                  const std::string& field) {
    for (size_t i = 0; i < cols.size(); ++i)
        if (cols[i].name == field) return i;
    // SQLite itself ignores the case of column names.
    for (size_t i = 0; i < cols.size(); ++i)
        if (equalsNoCase(cols[i].name, field)) return i;
    throw EStoreError("table " + table + " has no field " + field);
}

// The stored form of a located value for a column; false when no stored value
// can equal it (a text that is no number, looked for in a number field).
bool storedForm(const Column& col, const Value& v, Cell& out) {
    if (col.type == FieldType::Text) {
        out = bytesCell(std::holds_alternative<int>(v) ? std::to_string(std::get<int>(v))
                                                       : std::get<std::string>(v));
        return true;
    }
    std::int64_t n = 0;
    if (std::holds_alternative<int>(v)) {
        n = std::get<int>(v);
    } else {
        const std::string& s = std::get<std::string>(v);
        if (col.type == FieldType::Boolean) n = textAsBool(s) ? 1 : 0;
        else if (!parseInt(s, n)) return false;
    }
    if (col.type == FieldType::Boolean) n = n != 0;
    out = intCell(n);
    return true;
}

}  // namespace

bool Table::locate(const std::string& fields, const std::vector<Value>& values) {
    requireActive(*this, impl_->active);
    std::vector<std::string> names = splitFields(fields);
    if (names.size() != values.size())
        throw EStoreError("table " + name_ + ": locate on " + fields + " needs " +
                          std::to_string(names.size()) + " values");
    std::vector<size_t> colIdx;
    for (const std::string& f : names) colIdx.push_back(findColumn(impl_->cols, name_, f));
    if (impl_->state != Impl::State::Browse) post();

    std::vector<Cell> keys(names.size());
    for (size_t k = 0; k < names.size(); ++k)
        if (!storedForm(impl_->cols[colIdx[k]], values[k], keys[k])) return false;

    // We write texts as blobs; a text typed in with another tool is stored as
    // SQLite text, which equals no blob, so both forms are looked for.
    std::string sql = "SELECT rowid FROM " + QuoteId(name_) + " WHERE ";
    for (size_t k = 0; k < names.size(); ++k) {
        const Column& col = impl_->cols[colIdx[k]];
        if (k) sql += " AND ";
        sql += QuoteId(col.name) + (keys[k].kind == Cell::Kind::Bytes ? " IN (?,?)" : "=?");
    }
    // The index gives the matches; the first in table order is wanted.
    sql += " ORDER BY rowid LIMIT 1";
    engine::Connection& c = connectionOf(db_, name_);
    std::int64_t id = 0;
    {
        Stmt s = c.prepare(sql);
        int p = 1;
        for (const Cell& key : keys) {
            s.bind(p++, key);
            if (key.kind == Cell::Kind::Bytes) s.bindText(p++, key.s);
        }
        if (!s.step()) return false;
        id = s.columnInt(0);
    }
    Impl& m = *impl_;
    m.pos = m.placeOf(id);
    m.bof = m.eof = false;
    return true;
}

void Table::edit() {
    requireActive(*this, impl_->active);
    Impl& m = *impl_;
    if (m.state != Impl::State::Browse) return;
    if (!m.onRow()) {
        append();
        return;
    }
    m.state = Impl::State::Edit;
    m.pending.assign(m.cols.size(), Cell());
    m.changed.assign(m.cols.size(), 0);
}

void Table::append() {
    requireActive(*this, impl_->active);
    if (impl_->state != Impl::State::Browse) post();
    Impl& m = *impl_;
    m.savedPos = m.pos;
    m.savedBof = m.bof;
    m.savedEof = m.eof;
    m.state = Impl::State::Insert;
    m.pending.clear();
    for (const Column& col : m.cols) m.pending.push_back(emptyCell(col.type));
    m.changed.assign(m.cols.size(), 0);
}

void Table::insert() {
    // Where an inserted row lands is left open; it joins the end like an
    // appended one, which keeps table order equal to the order of saving.
    append();
}

void Table::post() {
    requireActive(*this, impl_->active);
    Impl& m = *impl_;
    if (m.state == Impl::State::Browse) return;
    engine::Connection& c = connectionOf(db_, name_);
    if (m.state == Impl::State::Insert) {
        std::string names, marks;
        std::vector<const Cell*> vals;
        for (size_t i = 0; i < m.cols.size(); ++i) {
            if (m.cols[i].type == FieldType::AutoNumber) continue;
            joinTo(names, QuoteId(m.cols[i].name));
            marks += marks.empty() ? "?" : ",?";
            vals.push_back(&m.pending[i]);
        }
        std::string sql = names.empty()
                              ? "INSERT INTO " + QuoteId(name_) + " DEFAULT VALUES"
                              : "INSERT INTO " + QuoteId(name_) + "(" + names + ") VALUES(" +
                                    marks + ")";
        {
            Stmt s = c.prepare(sql);
            for (size_t k = 0; k < vals.size(); ++k) s.bind(static_cast<int>(k + 1), *vals[k]);
            s.step();
        }
        std::int64_t id = c.lastInsertRowid();
        m.state = Impl::State::Browse;
        m.pending.clear();
        m.changed.clear();
        m.dropChunk();
        m.pos = m.placeOf(id);
        m.bof = m.eof = false;
        return;
    }
    // Edit: write the fields that changed.
    std::string sets;
    std::vector<const Cell*> vals;
    for (size_t i = 0; i < m.cols.size(); ++i) {
        if (!m.changed[i]) continue;
        joinTo(sets, QuoteId(m.cols[i].name) + "=?");
        vals.push_back(&m.pending[i]);
    }
    if (!sets.empty()) {
        Stmt s = c.prepare("UPDATE " + QuoteId(name_) + " SET " + sets + " WHERE rowid=?");
        for (size_t k = 0; k < vals.size(); ++k) s.bind(static_cast<int>(k + 1), *vals[k]);
        s.bindInt(static_cast<int>(vals.size() + 1), m.ids[m.pos]);
        s.step();
        if (c.changes() == 0)
            throw EStoreError("table " + name_ + ": the row being edited no longer exists");
        // What was written is exactly what the file now holds.
        if (std::vector<Cell>* row = m.chunkRow(m.ids[m.pos]))
            for (size_t i = 0; i < m.cols.size(); ++i)
                if (m.changed[i]) (*row)[i] = m.pending[i];
    }
    m.state = Impl::State::Browse;
    m.pending.clear();
    m.changed.clear();
}

void Table::cancel() {
    requireActive(*this, impl_->active);
    Impl& m = *impl_;
    if (m.state == Impl::State::Insert) {
        m.pos = m.savedPos;
        m.bof = m.savedBof;
        m.eof = m.savedEof;
    }
    m.state = Impl::State::Browse;
    m.pending.clear();
    m.changed.clear();
}

void Table::del() {
    requireActive(*this, impl_->active);
    Impl& m = *impl_;
    if (m.state == Impl::State::Insert) {
        // Deleting a row not yet saved just drops it.
        cancel();
        return;
    }
    if (m.state == Impl::State::Edit) cancel();
    if (!m.onRow()) throw EStoreError("table " + name_ + ": no current row to delete");
    engine::Connection& c = connectionOf(db_, name_);
    {
        Stmt s = c.prepare("DELETE FROM " + QuoteId(name_) + " WHERE rowid=?");
        s.bindInt(1, m.ids[m.pos]);
        s.step();
    }
    m.dead[m.pos] = 1;
    ++m.deadCount;
    size_t after = m.liveFrom(m.pos + 1);
    if (after != Impl::npos) {
        m.pos = after;
        m.bof = m.eof = false;
    } else {
        size_t before = m.pos > 0 ? m.liveUpTo(m.pos - 1) : Impl::npos;
        if (before != Impl::npos) {
            // The last row went: rest on the new last row, already past the
            // end, so that a delete-or-next loop does not see it twice.
            m.pos = before;
            m.bof = false;
            m.eof = true;
        } else {
            m.pos = 0;
            m.bof = m.eof = true;
        }
    }
    m.tidy();
}

void Table::empty() {
    requireActive(*this, impl_->active);
    Impl& m = *impl_;
    if (m.state != Impl::State::Browse) cancel();
    engine::Connection& c = connectionOf(db_, name_);
    c.exec("DELETE FROM " + QuoteId(name_));
    m.ids.clear();
    m.dead.clear();
    m.deadCount = 0;
    m.pos = 0;
    m.bof = m.eof = true;
    m.dropChunk();
}

namespace {

// The value of a field of the current or pending row.
const Cell& readCell(Table::Impl& m, Database& db, const std::string& table, size_t col) {
    static const Cell emptyText = bytesCell("");
    static const Cell zero = intCell(0);
    if (m.state != Table::Impl::State::Browse && m.changed[col]) return m.pending[col];
    if (m.state == Table::Impl::State::Insert) return m.pending[col];
    if (!m.onRow()) return m.cols[col].type == FieldType::Text ? emptyText : zero;
    std::int64_t id = m.ids[m.pos];
    if (std::vector<Cell>* row = m.chunkRow(id)) return (*row)[col];
    engine::Connection& c = connectionOf(db, table);
    if (!m.chunkCovers(id)) {
        // Read ahead in the direction the cursor is likely to go.
        bool backwards = !m.chunkIds.empty() && id < m.chunkIds.front();
        m.dropChunk();
        Stmt s = c.prepare(backwards ? m.chunkBeforeSql : m.chunkAfterSql);
        s.bindInt(1, id);
        while (s.step()) {
            m.chunkIds.push_back(s.columnInt(0));
            std::vector<Cell> row;
            row.reserve(m.cols.size());
            for (size_t i = 0; i < m.cols.size(); ++i) row.push_back(s.column(static_cast<int>(i + 1)));
            m.chunkRows.push_back(std::move(row));
        }
        if (backwards) {
            std::reverse(m.chunkIds.begin(), m.chunkIds.end());
            std::reverse(m.chunkRows.begin(), m.chunkRows.end());
        }
        if (std::vector<Cell>* row = m.chunkRow(id)) return (*row)[col];
    }
    // Not where it should be: added or removed by another connection.
    Stmt s = c.prepare(m.selectRowSql);
    s.bindInt(1, id);
    m.single.clear();
    if (s.step()) {
        for (size_t i = 0; i < m.cols.size(); ++i) m.single.push_back(s.column(static_cast<int>(i)));
    } else {
        for (const Column& c2 : m.cols) m.single.push_back(emptyCell(c2.type));
    }
    return m.single[col];
}

}  // namespace

std::string Table::asString(const std::string& field) const {
    requireActive(*this, impl_->active);
    size_t col = findColumn(impl_->cols, name_, field);
    const Cell& c = readCell(*impl_, db_, name_, col);
    switch (c.kind) {
    case Cell::Kind::Null: return {};
    case Cell::Kind::Bytes: return c.s;
    case Cell::Kind::Int: break;
    }
    if (impl_->cols[col].type == FieldType::Boolean) return c.i ? "True" : "False";
    return std::to_string(c.i);
}

int Table::asInteger(const std::string& field) const {
    requireActive(*this, impl_->active);
    size_t col = findColumn(impl_->cols, name_, field);
    const Cell& c = readCell(*impl_, db_, name_, col);
    switch (c.kind) {
    case Cell::Kind::Null: return 0;
    case Cell::Kind::Int: return clampInt(c.i);
    case Cell::Kind::Bytes: break;
    }
    if (c.s.empty()) return 0;
    std::int64_t n = 0;
    if (!parseInt(c.s, n))
        throw EStoreError("table " + name_ + ": field " + field + " does not hold a number");
    return clampInt(n);
}

bool Table::asBoolean(const std::string& field) const {
    requireActive(*this, impl_->active);
    size_t col = findColumn(impl_->cols, name_, field);
    const Cell& c = readCell(*impl_, db_, name_, col);
    switch (c.kind) {
    case Cell::Kind::Null: return false;
    case Cell::Kind::Int: return c.i != 0;
    case Cell::Kind::Bytes: break;
    }
    return textAsBool(c.s);
}

namespace {

void writeCell(Table::Impl& m, const std::string& table, const std::string& field, Cell value) {
    size_t col = findColumn(m.cols, table, field);
    if (m.state == Table::Impl::State::Browse)
        throw EStoreError("table " + table + ": field " + field +
                          " written without edit, append or insert");
    if (m.cols[col].type == FieldType::AutoNumber)
        throw EStoreError("table " + table + ": field " + field + " is numbered by the store");
    m.pending[col] = std::move(value);
    m.changed[col] = 1;
}

}  // namespace

void Table::setString(const std::string& field, const std::string& value) {
    requireActive(*this, impl_->active);
    size_t col = findColumn(impl_->cols, name_, field);
    FieldType t = impl_->cols[col].type;
    Cell c;
    if (t == FieldType::Text) {
        c = bytesCell(value);
    } else if (t == FieldType::Boolean) {
        c = intCell(textAsBool(value) ? 1 : 0);
    } else {
        std::int64_t n = 0;
        if (!value.empty() && !parseInt(value, n))
            throw EStoreError("table " + name_ + ": field " + field + " takes a number, not \"" +
                              value + "\"");
        c = intCell(clampInt(n));
    }
    writeCell(*impl_, name_, field, std::move(c));
}

void Table::setInteger(const std::string& field, int value) {
    requireActive(*this, impl_->active);
    size_t col = findColumn(impl_->cols, name_, field);
    FieldType t = impl_->cols[col].type;
    Cell c = t == FieldType::Text      ? bytesCell(std::to_string(value))
             : t == FieldType::Boolean ? intCell(value != 0)
                                       : intCell(value);
    writeCell(*impl_, name_, field, std::move(c));
}

void Table::setBoolean(const std::string& field, bool value) {
    requireActive(*this, impl_->active);
    size_t col = findColumn(impl_->cols, name_, field);
    Cell c = impl_->cols[col].type == FieldType::Text ? bytesCell(value ? "True" : "False")
                                                      : intCell(value ? 1 : 0);
    writeCell(*impl_, name_, field, std::move(c));
}

// ---------------------------------------------------------------- Database

Database::Database() : impl_(std::make_unique<Impl>()) {}

Database::~Database() { disconnect(); }

Database::Impl& Database::impl() { return *impl_; }

void Database::setFileName(const std::string& path) { fileName_ = path; }

void Database::connect() {
    if (impl_->conn) return;
    try {
        impl_->conn = engine::OpenStoreFile(fileName_);
        impl_->conn->setBusyTimeout(busyTimeoutMs_);
    } catch (const EStoreError& e) {
        std::cerr << "Ostrafen store: " << e.what() << std::endl;
        throw;
    }
}

void Database::disconnect() {
    for (Table* t : impl_->tables) t->close();
    if (impl_->batchDepth > 0) {
        try {
            impl_->commitBatch();
        } catch (const EStoreError& e) {
            std::cerr << "Ostrafen store: " << e.what() << std::endl;
        }
    }
    impl_->conn.reset();
}

bool Database::connected() const { return impl_->conn != nullptr; }

// ---------------------------------------------------------------- WriteBatch

WriteBatch::WriteBatch(Database& db) : db_(db), exceptionsAtStart_(std::uncaught_exceptions()) {
    Database::Impl& d = db_.impl();
    if (!d.conn) return;
    if (d.batchDepth == 0) {
        d.conn->exec("BEGIN IMMEDIATE");
        d.batchFailed = false;
    }
    ++d.batchDepth;
    begun_ = true;
}

void WriteBatch::commit() {
    if (!begun_ || ended_) return;
    ended_ = true;
    Database::Impl& d = db_.impl();
    // A disconnect in between has already ended the batch.
    if (d.batchDepth == 0) return;
    if (--d.batchDepth == 0) d.commitBatch();
}

WriteBatch::~WriteBatch() {
    if (!begun_ || ended_) return;
    ended_ = true;
    Database::Impl& d = db_.impl();
    if (d.batchDepth == 0) return;
    if (std::uncaught_exceptions() > exceptionsAtStart_) d.batchFailed = true;
    if (--d.batchDepth > 0) return;
    if (d.batchFailed) {
        d.rollbackBatch();
        return;
    }
    try {
        d.commitBatch();
    } catch (const EStoreError& e) {
        std::cerr << "Ostrafen store: " << e.what() << std::endl;
    }
}

// ---------------------------------------------------------------- Tdm

Tdm::Tdm()
    : ftpsite_(db_, "ftpsite"), options_(db_, "options"), proxy_(db_, "proxy"),
      socks_(db_, "socks"), antiidle_(db_, "antiidle"), ascext_(db_, "ascext"),
      hmaster_(db_, "hmaster"), hdital_(db_, "hdital"), task_(db_, "task"),
      taskd_(db_, "taskd"), taskd2_(db_, "taskd2"), quickftp_(db_, "quickftp") {}

Tdm::~Tdm() = default;

Table& Tdm::table(const std::string& name) {
    Table* all[] = {&ftpsite_, &options_, &proxy_, &socks_,  &antiidle_, &ascext_,
                    &hmaster_, &hdital_,  &task_,  &taskd_,  &taskd2_,   &quickftp_};
    for (Table* t : all)
        if (t->name() == name) return *t;
    throw EStoreError("no table named " + name);
}

}  // namespace store
