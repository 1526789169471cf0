#include "store/recent_list.h"
#include "tests/store/store_fixture.h"

#include <filesystem>

using store::AddRecentUnique;
using store::LoadRecentList;
using store::SaveRecentList;
using store_test::readAll;
using store_test::TempDir;
using store_test::writeAll;

namespace {

std::string le32(std::int32_t v) {
    std::string out;
    for (int i = 0; i < 4; ++i) out += static_cast<char>((static_cast<std::uint32_t>(v) >> (8 * i)) & 0xFF);
    return out;
}

std::string entry(const std::string& text) {
    std::string e(1, static_cast<char>(text.size()));
    e += text;
    e.append(50 - text.size(), 'z');  // filler carries no meaning
    return e;
}

class RecentList : public ::testing::Test {
protected:
    std::string file(const std::string& name = "Find.dat") const { return tmp.path(name).string(); }
    std::uintmax_t size(const std::string& p) const { return std::filesystem::file_size(p); }
    TempDir tmp;
};

TEST_F(RecentList, FileSizesFollowTheEntryCountAndTheDuplicateRule) {
    std::vector<std::string> items;
    ASSERT_TRUE(SaveRecentList(file(), items));
    EXPECT_EQ(readAll(file()), le32(0));

    EXPECT_TRUE(AddRecentUnique(items, std::string(50, 'a')));
    ASSERT_TRUE(SaveRecentList(file(), items));
    EXPECT_EQ(size(file()), 55u);
    EXPECT_FALSE(AddRecentUnique(items, std::string(50, 'a')));
    ASSERT_TRUE(SaveRecentList(file(), items));
    EXPECT_EQ(size(file()), 55u);
    EXPECT_TRUE(AddRecentUnique(items, std::string(50, 'A')));
    ASSERT_TRUE(SaveRecentList(file(), items));
    EXPECT_EQ(size(file()), 106u);
    EXPECT_EQ(LoadRecentList(file()), items);
    ASSERT_TRUE(store::ClearRecentList(file()));
    EXPECT_EQ(readAll(file()), le32(0));
}

TEST_F(RecentList, LayoutIsCountThenLengthPrefixedEntries) {
    ASSERT_TRUE(SaveRecentList(file(), {"C:\\data", ""}));
    std::string bytes = readAll(file());
    ASSERT_EQ(bytes.size(), 4u + 2 * 51);
    EXPECT_EQ(bytes.substr(0, 4), le32(2));
    EXPECT_EQ(bytes[4], 7);
    EXPECT_EQ(bytes.substr(5, 7), "C:\\data");
    EXPECT_EQ(bytes[55], 0);
    EXPECT_EQ(LoadRecentList(file()), (std::vector<std::string>{"C:\\data", ""}));
}

TEST_F(RecentList, LongTextsAreCutWithoutSplittingACharacter) {
    std::string sixty(60, 'x');
    // 49 ASCII bytes then a two-byte character straddling byte 50.
    std::string straddle = std::string(49, 'b') + "\xc3\xa9" + "tail";
    // Bytes that are not UTF-8 at all are cut at 50 exactly.
    std::string raw(60, '\x80');
    ASSERT_TRUE(SaveRecentList(file(), {sixty, straddle, raw}));
    EXPECT_EQ(size(file()), 4u + 3 * 51);
    std::vector<std::string> back = LoadRecentList(file());
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[0], std::string(50, 'x'));
    EXPECT_EQ(back[1], std::string(49, 'b'));
    EXPECT_EQ(back[2], std::string(50, '\x80'));
    // Compared as the file keeps them, long texts are not added again after a
    // reload, nor is another text that differs only after byte 50.
    EXPECT_FALSE(AddRecentUnique(back, sixty));
    EXPECT_FALSE(AddRecentUnique(back, std::string(50, 'x') + "other tail"));
    EXPECT_EQ(back.size(), 3u);
}

TEST_F(RecentList, DamagedFilesLoadOnlyWholeEntries) {
    EXPECT_TRUE(LoadRecentList(file("missing.dat")).empty());
    writeAll(file(), "");
    EXPECT_TRUE(LoadRecentList(file()).empty());
    writeAll(file(), "\x01\x00");
    EXPECT_TRUE(LoadRecentList(file()).empty());

    writeAll(file(), le32(3) + entry("one") + entry("two") + entry("three").substr(0, 20));
    EXPECT_EQ(LoadRecentList(file()), (std::vector<std::string>{"one", "two"}));

    writeAll(file(), le32(-1) + entry("one"));
    EXPECT_TRUE(LoadRecentList(file()).empty());
    writeAll(file(), le32(INT32_MAX) + entry("one"));
    EXPECT_EQ(LoadRecentList(file()), (std::vector<std::string>{"one"}));

    // A length byte beyond 50 reads no further than its own entry.
    std::string bad = entry("abc");
    bad[0] = static_cast<char>(200);
    writeAll(file(), le32(2) + bad + entry("next"));
    std::vector<std::string> back = LoadRecentList(file());
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].size(), 50u);
    EXPECT_EQ(back[1], "next");
}

TEST_F(RecentList, SaveReplacesTheWholeFileOrNothing) {
    ASSERT_TRUE(SaveRecentList(file(), {"a", "b", "c"}));
    ASSERT_TRUE(SaveRecentList(file(), {"d"}));
    EXPECT_EQ(LoadRecentList(file()), (std::vector<std::string>{"d"}));
    EXPECT_FALSE(std::filesystem::exists(file() + ".tmp"));

    // A folder that cannot be written: the call fails and the old list stays.
    EXPECT_FALSE(SaveRecentList(tmp.path("no/such/dir/Find.dat").string(), {"x"}));
    std::filesystem::create_directory(file() + ".tmp");
    EXPECT_FALSE(SaveRecentList(file(), {"e"}));
    EXPECT_EQ(LoadRecentList(file()), (std::vector<std::string>{"d"}));
}

}  // namespace
