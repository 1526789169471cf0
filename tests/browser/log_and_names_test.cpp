// The connection log's line rules and the check of typed names.
#include "browser/connection_log.h"
#include "browser/name_validation.h"
#include "tests/support/gui/scripted_dialogs.h"

#include <gtest/gtest.h>

using browser::ConnectionLog;

TEST(ConnectionLogTest, DataSplitsAtCarriageReturns) {
    using V = std::vector<std::string>;
    EXPECT_EQ(browser::splitLogData("220 a\r\n"), V{"220 a"});
    EXPECT_EQ(browser::splitLogData("220-a\r\n220 b\r\n"), (V{"220-a", "220 b"}));
    EXPECT_EQ(browser::splitLogData("part"), V{"part"});            // a piece without CR
    EXPECT_EQ(browser::splitLogData("a\rb"), (V{"a", "b"}));        // LF optional
    EXPECT_EQ(browser::splitLogData("a\r\r\nb\n"), (V{"a", "", "b\n"}));  // lone LF stays
    EXPECT_TRUE(browser::splitLogData("").empty());
}

TEST(ConnectionLogTest, SixHundredthLineStartsOver) {
    ConnectionLog log;
    int resets = 0;
    QObject::connect(&log, &QAbstractItemModel::modelReset, [&] { ++resets; });
    for (int i = 0; i < 599; ++i) log.LogLine("l" + std::to_string(i), i % 3);
    EXPECT_EQ(log.rowCount(), 599);
    EXPECT_EQ(resets, 0);
    log.LogLine("six hundred", 2);
    ASSERT_EQ(log.rowCount(), 1);
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(log.entries()[0].text, "six hundred");
    EXPECT_EQ(log.data(log.index(0, 0), Qt::UserRole).toInt(), 2);
    EXPECT_EQ(log.data(log.index(0, 0), Qt::DisplayRole).toString(), "six hundred");
    EXPECT_FALSE(log.data(log.index(5, 0), Qt::DisplayRole).isValid());
}

TEST(ValidateNewNameTest, BothChecksReportEachFailure) {
    testing_support::ScriptedDialogs dialogs;
    std::vector<rdatalist> rows(2);
    rows[0].name = "taken";
    rows[1].name = "a:b";
    EXPECT_TRUE(browser::ValidateNewName("fresh", rows));
    EXPECT_TRUE(browser::ValidateNewName("Taken", rows));  // case counts
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_FALSE(browser::ValidateNewName("taken", rows));
    EXPECT_FALSE(browser::ValidateNewName("a:b", rows));
    ASSERT_EQ(dialogs.messages.size(), 3u);
    EXPECT_EQ(dialogs.messages[0].text, "The name taken was existed, please re-enter.");
    EXPECT_EQ(dialogs.messages[1].text,
              "The following characters can not be contained in the name of files: \\/:*?\"<>|");
    EXPECT_EQ(dialogs.messages[2].text, "The name a:b was existed, please re-enter.");
    for (const auto& m : dialogs.messages) EXPECT_EQ(m.kind, ui::MsgKind::Error);
    for (const char* bad : {"a\\b", "a/b", "a*", "a?", "a\"", "a<", "a>", "a|"})
        EXPECT_TRUE(browser::hasForbiddenNameChar(bad)) << bad;
    EXPECT_FALSE(browser::hasForbiddenNameChar("plain name.txt"));
}
