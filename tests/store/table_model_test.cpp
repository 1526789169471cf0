// Random sequences of cursor operations checked step by step against a plain
// vector that behaves as the table should.
#include "tests/store/store_fixture.h"

#include <random>
#include <vector>

using store::TableScope;
using store_test::StoreTest;

namespace {

struct Model {
    std::vector<int> values;
    size_t pos = 0;
    bool eof = true, bof = true;

    bool empty() const { return values.empty(); }
    void open() {
        pos = 0;
        eof = bof = empty();
    }
    void first() { open(); }
    void last() {
        pos = empty() ? 0 : values.size() - 1;
        eof = bof = empty();
    }
    void next() {
        if (empty()) { eof = bof = true; return; }
        if (pos + 1 < values.size()) { ++pos; eof = bof = false; }
        else eof = true;
    }
    void prior() {
        if (empty()) { eof = bof = true; return; }
        if (pos > 0) { --pos; eof = bof = false; }
        else bof = true;
    }
    void del() {
        values.erase(values.begin() + static_cast<std::ptrdiff_t>(pos));
        if (pos < values.size()) { eof = bof = false; }
        else if (!values.empty()) { pos = values.size() - 1; eof = true; bof = false; }
        else { pos = 0; eof = bof = true; }
    }
    void append(int v) {
        values.push_back(v);
        pos = values.size() - 1;
        eof = bof = false;
    }
    bool locate(int v) {
        for (size_t i = 0; i < values.size(); ++i)
            if (values[i] == v) { pos = i; eof = bof = false; return true; }
        return false;
    }
    void edit(int v) {
        if (empty()) append(v);
        else values[pos] = v;
    }
    int current() const { return empty() ? 0 : values[pos]; }
};

using TableModel = StoreTest;

TEST_F(TableModel, RandomCursorWorkMatchesTheModel) {
    // hdital numbers its rows itself; taskd2 has plain row ids, which SQLite
    // hands out again after the last row was deleted.
    for (unsigned seed : {1u, 2u, 3u, 4u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        Model m;
        store::Table& t = seed % 2 ? dm->hdital() : dm->taskd2();
        store::WriteBatch batch(dm->database());
        t.open();
        t.empty();
        m.values.clear();
        m.open();
        for (int step = 0; step < 3000; ++step) {
            int op = static_cast<int>(rng() % 100);
            int v = static_cast<int>(rng() % 50);
            // The last runs delete more and never reopen, so that deleted
            // entries pile up and get swept.
            if (seed >= 3 && op >= 50 && op < 62) op = 40;
            if (seed >= 3 && op >= 97) op = 60;
            std::string what;
            if (op < 30) {
                what = "append";
                t.append();
                t.setInteger("id", v);
                t.post();
                m.append(v);
            } else if (op < 50) {
                what = "del";
                if (m.empty()) {
                    EXPECT_THROW(t.del(), store::EStoreError);
                } else {
                    t.del();
                    m.del();
                }
            } else if (op < 62) {
                what = "next";
                t.next();
                m.next();
            } else if (op < 70) {
                what = "prior";
                t.prior();
                m.prior();
            } else if (op < 75) {
                what = "first";
                t.first();
                m.first();
            } else if (op < 80) {
                what = "last";
                t.last();
                m.last();
            } else if (op < 90) {
                what = "locate";
                EXPECT_EQ(t.locate("id", {v}), m.locate(v));
            } else if (op < 97) {
                what = "edit";
                t.edit();
                t.setInteger("id", v);
                t.post();
                m.edit(v);
            } else {
                what = "reopen";
                t.close();
                t.open();
                m.open();
            }
            ASSERT_EQ(t.asInteger("id"), m.current()) << "step " << step << " " << what;
            ASSERT_EQ(t.eof(), m.eof) << "step " << step << " " << what;
            ASSERT_EQ(t.bof(), m.bof) << "step " << step << " " << what;
        }
        // Table order as stored equals the model's order.
        t.close();
        t.open();
        std::vector<int> stored;
        for (t.first(); !t.eof(); t.next()) stored.push_back(t.asInteger("id"));
        EXPECT_EQ(stored, m.values);
        std::vector<int> backwards;
        for (t.last(); !t.bof(); t.prior()) backwards.insert(backwards.begin(), t.asInteger("id"));
        EXPECT_EQ(backwards, m.values);
        t.close();
    }
}

}  // namespace
