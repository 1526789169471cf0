// Find and filter: the matching rules on names, what the dialogs hand back to
// the view, and their histories.
#include "dialogs/filter_dialog.h"
#include "dialogs/find_dialog.h"
#include "dialogs/name_match.h"
#include "tests/support/gui/app_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <gtest/gtest.h>

using names::FilterRow;
using names::FilterVisible;
using names::FindRows;
using testing_support::AppTest;

namespace {

TEST(NameMatch, FindByCaseAndWholeWords) {
    const std::vector<std::string> rows{"Readme.TXT", "readme.txt", "README", "notes.txt", "readme"};
    EXPECT_EQ(FindRows(rows, "readme", true, false), (std::vector<int>{1, 4}));
    EXPECT_EQ(FindRows(rows, "README", false, false), (std::vector<int>{0, 1, 2, 4}));
    // Whole words: the exact name, letter case counting whatever the other box says.
    EXPECT_EQ(FindRows(rows, "readme", false, true), (std::vector<int>{4}));
    EXPECT_EQ(FindRows(rows, "readme.tx", false, true), (std::vector<int>{}));
    EXPECT_EQ(FindRows(rows, "", false, false), (std::vector<int>{}));
    EXPECT_EQ(FindRows({"Ärger"}, "äR", false, false), (std::vector<int>{0}));
}

TEST(NameMatch, FilterHidesFileRowsOnlyAndNarrowsEarlierResults) {
    const std::vector<FilterRow> rows{{"a.txt", true},   {"b.TXT", true}, {"Makefile", true},
                                      {"dir.txt", false}, {"c.tar.gz", true}, {".profile", true}};
    auto shown = [&](const std::string& pattern) {
        std::vector<std::string> out;
        const auto v = FilterVisible(rows, pattern);
        for (size_t i = 0; i < rows.size(); ++i)
            if (v[i]) out.push_back(rows[i].name);
        return out;
    };
    using L = std::vector<std::string>;
    EXPECT_EQ(shown("*.txt"), (L{"a.txt", "dir.txt"}));
    EXPECT_EQ(shown("*.TXT"), (L{"b.TXT", "dir.txt"}));
    EXPECT_EQ(shown("*"), (L{"Makefile", "dir.txt"}));
    EXPECT_EQ(shown(""), (L{"dir.txt"}));
    EXPECT_EQ(shown("*.gz"), (L{"dir.txt", "c.tar.gz"}));
    EXPECT_EQ(shown("*.profile"), (L{"dir.txt", ".profile"}));
    EXPECT_EQ(shown("*.*"), (L{"a.txt", "b.TXT", "Makefile", "dir.txt", "c.tar.gz", ".profile"}));

    // A hidden row stays hidden: "*.*" after "*.txt" brings nothing back.
    std::vector<FilterRow> again = rows;
    const auto first = FilterVisible(rows, "*.txt");
    for (size_t i = 0; i < again.size(); ++i) again[i].visible = first[i];
    EXPECT_EQ(FilterVisible(again, "*.*"), first);
}

class FindFilterDialogs : public AppTest {};

TEST_F(FindFilterDialogs, FindReturnsTheRowsAndKeepsEachTextOnce) {
    EXPECT_EQ(TForm3().cbName->count(), 0);  // no Find.dat yet
    auto search = [](const QString& text, bool caseSensitive) {
        TForm3 d;
        d.setNames({"a.txt", "B.TXT", "c.bin"});
        d.cbName->setEditText(text);
        d.cbCase->setChecked(caseSensitive);
        d.btFind->click();
        EXPECT_EQ(d.result(), QDialog::Accepted);
        return d.matches();
    };
    EXPECT_EQ(search(QStringLiteral(".TXT"), false), (std::vector<int>{0, 1}));
    EXPECT_EQ(app.readFile(QStringLiteral("Find.dat")).size(), 55);
    EXPECT_EQ(search(QStringLiteral(".TXT"), true), (std::vector<int>{1}));
    EXPECT_EQ(app.readFile(QStringLiteral("Find.dat")).size(), 55);
    search(QStringLiteral(".txt"), true);
    EXPECT_EQ(app.readFile(QStringLiteral("Find.dat")).size(), 106);

    // No view to search: the text is kept, the dialog stays open.
    TForm3 d;
    EXPECT_EQ(d.cbName->count(), 2);
    EXPECT_EQ(d.cbName->currentText(), QString());
    d.cbName->setEditText(QStringLiteral("new"));
    d.btFind->click();
    EXPECT_EQ(d.result(), 0);
    EXPECT_EQ(d.cbName->count(), 3);

    d.btClear->click();
    EXPECT_EQ(d.cbName->count(), 0);
    EXPECT_EQ(d.cbName->currentText(), QStringLiteral("new"));
    EXPECT_EQ(app.readFile(QStringLiteral("Find.dat")), QByteArray(4, '\0'));
}

TEST_F(FindFilterDialogs, FilterReturnsVisibilityAndRemembersPatterns) {
    TForm6 d;
    d.setRows({{"a.txt", true}, {"b.bin", true}, {"sub", false}});
    d.cbPattern->setEditText(QStringLiteral("*.txt"));
    d.btOk->click();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(d.visible(), (std::vector<bool>{true, false, true}));

    TForm6 again;
    ASSERT_EQ(again.cbPattern->count(), 1);
    EXPECT_EQ(again.cbPattern->itemText(0), QStringLiteral("*.txt"));
    again.cbPattern->setEditText(QStringLiteral("*.bin"));
    again.btClear->click();
    EXPECT_EQ(app.readFile(QStringLiteral("Filter.dat")), QByteArray(4, '\0'));
    again.btClose->click();
    EXPECT_EQ(again.result(), QDialog::Rejected);
    EXPECT_EQ(app.readFile(QStringLiteral("Filter.dat")), QByteArray(4, '\0'));
}

}  // namespace
