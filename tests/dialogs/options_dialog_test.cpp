#include "dialogs/options_dialog.h"

#include "platform/ui/app_paths.h"
#include "store/table.h"
#include "tests/support/gui/app_fixture.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

using Rows = std::vector<std::pair<std::string, bool>>;

class OptionsDialogTest : public testing_support::AppTest {
protected:
    store::Tdm& dm() { return app.dm(); }
    testing_support::ScriptedDialogs& dialogs() { return app.dialogs(); }

    void seed(store::Table& t, const char* field, const Rows& rows) {
        store::TableScope s(t);
        t.empty();
        for (const auto& [text, tf] : rows) {
            t.append();
            t.setString(field, text);
            t.setBoolean("tf", tf);
            t.post();
        }
    }

    Rows rows(store::Table& t, const char* field) {
        Rows out;
        store::TableScope s(t);
        for (t.first(); !t.eof(); t.next()) out.emplace_back(t.asString(field), t.asBoolean("tf"));
        return out;
    }

    int optionsRowCount() {
        store::Table& t = dm().options();
        store::TableScope s(t);
        int n = 0;
        for (t.first(); !t.eof(); t.next()) ++n;
        return n;
    }

    void writeOptions(bool eanti, int interval, const std::string& mode, const std::string& complete,
                      int recvb, int sendb, bool appe) {
        store::Table& t = dm().options();
        store::TableScope s(t);
        t.empty();
        t.append();
        t.setBoolean("eanti", eanti);
        t.setInteger("interval", interval);
        t.setString("transfermode", mode);
        t.setString("transferc", complete);
        t.setInteger("recvb", recvb);
        t.setInteger("sendb", sendb);
        t.setBoolean("appe", appe);
        t.post();
    }

    int run(int page, std::function<void(TForm2&)> fn) {
        testing_support::onNextModal([fn](QDialog& d) { fn(dynamic_cast<TForm2&>(d)); });
        return TForm2::Execute(nullptr, app.dm(), page);
    }

    static QStringList texts(QListWidget* list) {
        QStringList out;
        for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
        return out;
    }

    static void typeInto(QSpinBox* box, const QString& text) {
        box->findChild<QLineEdit*>()->setText(text);
    }
};

TEST_F(OptionsDialogTest, ShowsTheTablesInsteadOfTheDesignTimeEntries) {
    seed(dm().antiidle(), "command", {{"STAT", true}, {"NOOP", false}, {"SYST", true}});
    seed(dm().ascext(), "ext", {{"TXT", false}, {"XML", true}});
    writeOptions(true, 45, "binary", "disconnect", 4096, 512, false);

    run(TForm2::PageAntiIdle, [&](TForm2& f) {
        EXPECT_EQ(texts(f.lbCommands), (QStringList{"STAT", "NOOP", "SYST"}));
        EXPECT_EQ(f.lbCommands->item(0)->checkState(), Qt::Checked);
        EXPECT_EQ(f.lbCommands->item(1)->checkState(), Qt::Unchecked);
        EXPECT_EQ(texts(f.lbExtensions), (QStringList{"TXT", "XML"}));
        EXPECT_EQ(f.lbExtensions->item(1)->checkState(), Qt::Checked);
        EXPECT_TRUE(f.cbAntiIdle->isChecked());
        EXPECT_EQ(f.seInterval->value(), 45);
        EXPECT_TRUE(f.rbBinary->isChecked());
        EXPECT_TRUE(f.rbDisconnect->isChecked());
        EXPECT_EQ(f.seRecv->value(), 4096);
        EXPECT_EQ(f.seSend->value(), 512);
        EXPECT_FALSE(f.cbAppe->isChecked());
        // Carried, never shown.
        EXPECT_TRUE(f.gbTransferComplete->isHidden());
        EXPECT_TRUE(f.cbAppe->isHidden());
        EXPECT_EQ(f.windowTitle(), "Options");
        f.btCancel->click();
    });
    // Loading alone writes nothing.
    EXPECT_EQ(rows(dm().antiidle(), "command"),
              (Rows{{"STAT", true}, {"NOOP", false}, {"SYST", true}}));
}

TEST_F(OptionsDialogTest, StoredValuesOutOfRangeOrUnknownFallBackToFormDefaults) {
    for (const auto& [stored, shown] : std::vector<std::pair<int, int>>{{0, 1}, {150, 99}, {-7, 1}}) {
        writeOptions(false, stored, "Binary", "reboot", 1, 1, true);
        run(0, [&, shown = shown](TForm2& f) {
            EXPECT_EQ(f.seInterval->value(), shown);
            // Words compare exactly; anything else leaves "Auto" and "None".
            EXPECT_TRUE(f.rbAuto->isChecked());
            EXPECT_TRUE(f.rbNone->isChecked());
            f.btCancel->click();
        });
    }
}

TEST_F(OptionsDialogTest, EmptyOptionsTableShowsEmptyValuesAndOkCreatesOneRow) {
    {
        store::TableScope s(dm().options());
        dm().options().empty();
    }
    const int result = run(0, [&](TForm2& f) {
        EXPECT_FALSE(f.cbAntiIdle->isChecked());
        EXPECT_EQ(f.seInterval->value(), 1);
        EXPECT_TRUE(f.rbAuto->isChecked());
        EXPECT_TRUE(f.rbNone->isChecked());
        EXPECT_EQ(f.seRecv->value(), 0);
        EXPECT_EQ(f.seSend->value(), 0);
        f.btOk->click();
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(optionsRowCount(), 1);

    run(0, [&](TForm2& f) {
        f.seInterval->setValue(12);
        f.rbAscii->setChecked(true);
        f.btOk->click();
    });
    EXPECT_EQ(optionsRowCount(), 1);
    store::Table& o = dm().options();
    store::TableScope s(o);
    EXPECT_EQ(o.asInteger("interval"), 12);
    EXPECT_EQ(o.asString("transfermode"), "ascii");
    EXPECT_EQ(o.asString("transferc"), "none");
}

TEST_F(OptionsDialogTest, OkWritesEveryOptionAndCarriesTheHiddenOnes) {
    writeOptions(false, 30, "auto", "quit", 2048, 1024, false);
    run(1, [&](TForm2& f) {
        f.cbAntiIdle->setChecked(true);
        f.seInterval->setValue(77);
        f.rbBinary->setChecked(true);
        f.seRecv->setValue(65536);
        f.seSend->setValue(8192);
        f.btOk->click();
    });
    store::Table& o = dm().options();
    store::TableScope s(o);
    EXPECT_TRUE(o.asBoolean("eanti"));
    EXPECT_EQ(o.asInteger("interval"), 77);
    EXPECT_EQ(o.asString("transfermode"), "binary");
    EXPECT_EQ(o.asString("transferc"), "quit");
    EXPECT_EQ(o.asInteger("recvb"), 65536);
    EXPECT_EQ(o.asInteger("sendb"), 8192);
    EXPECT_FALSE(o.asBoolean("appe"));
}

TEST_F(OptionsDialogTest, TypedNumbersAreBroughtIntoRangeAndOtherTextCountsAsTheLowerBound) {
    writeOptions(true, 30, "auto", "none", 2048, 1024, true);
    run(0, [&](TForm2& f) {
        typeInto(f.seInterval, "150");
        typeInto(f.seRecv, "lots");
        typeInto(f.seSend, "-5");
        f.btOk->click();
    });
    {
        store::Table& o = dm().options();
        store::TableScope s(o);
        EXPECT_EQ(o.asInteger("interval"), 99);
        EXPECT_EQ(o.asInteger("recvb"), 0);
        EXPECT_EQ(o.asInteger("sendb"), 0);
    }
    run(0, [&](TForm2& f) {
        typeInto(f.seInterval, "0");
        f.seInterval->interpretText();  // what leaving the box does
        EXPECT_EQ(f.seInterval->text(), "1");
        typeInto(f.seInterval, "abc");
        typeInto(f.seRecv, " 4096 ");
        typeInto(f.seSend, "99999999999999");
        f.btOk->click();
    });
    store::Table& o = dm().options();
    store::TableScope s(o);
    EXPECT_EQ(o.asInteger("interval"), 1);
    EXPECT_EQ(o.asInteger("recvb"), 4096);
    EXPECT_EQ(o.asInteger("sendb"), INT_MAX);
}

TEST_F(OptionsDialogTest, AddingCommandsUpperCasesAndSelectsDuplicates) {
    seed(dm().antiidle(), "command", {{"NOOP", false}, {"PWD", true}});
    auto& in = dialogs().inputAnswers;
    in.push_back(QString("noop"));      // listed, other case: selected, not added
    in.push_back(QString(" noop"));     // leading blank: a different command
    in.push_back(QString("stat"));      // new: upper case, ticked
    in.push_back(QString("   "));       // blanks only: nothing
    in.push_back(QString(""));          // empty: nothing
    in.push_back(std::nullopt);         // cancelled: nothing
    in.push_back(QString("NOOP\r\nDELE x"));  // a second command smuggled in: nothing
    run(0, [&](TForm2& f) {
        f.btAddCommand->click();
        EXPECT_EQ(f.lbCommands->currentRow(), 0);
        for (int i = 0; i < 6; ++i) f.btAddCommand->click();
        EXPECT_EQ(texts(f.lbCommands), (QStringList{"NOOP", "PWD", " NOOP", "STAT"}));
        EXPECT_EQ(f.lbCommands->item(3)->checkState(), Qt::Checked);
        f.btOk->click();
    });
    EXPECT_EQ(dialogs().inputPrompts.value(0), "Input Command||");
    EXPECT_EQ(rows(dm().antiidle(), "command"),
              (Rows{{"NOOP", false}, {"PWD", true}, {" NOOP", true}, {"STAT", true}}));
}

TEST_F(OptionsDialogTest, AddingExtensionsFollowsTheSameRules) {
    seed(dm().ascext(), "ext", {{"HTML", true}});
    auto& in = dialogs().inputAnswers;
    in.push_back(QString("  \t "));
    in.push_back(QString("html"));
    in.push_back(QString("md"));
    in.push_back(QString(1000, QChar('x')));
    run(1, [&](TForm2& f) {
        for (int i = 0; i < 4; ++i) f.btAddExt->click();
        EXPECT_EQ(f.lbExtensions->count(), 3);
        f.lbExtensions->clearSelection();
        f.btDeleteExt->click();  // nothing selected: nothing removed
        f.btOk->click();
    });
    EXPECT_EQ(dialogs().inputPrompts.value(0), "Input filename extension||");
    EXPECT_EQ(rows(dm().ascext(), "ext"),
              (Rows{{"HTML", true}, {"MD", true}, {std::string(1000, 'X'), true}}));
}

TEST_F(OptionsDialogTest, TicksAreKeptAfterCancelButListChangesAreNot) {
    seed(dm().antiidle(), "command", {{"NOOP", true}, {"PWD", true}});
    seed(dm().ascext(), "ext", {{"C", false}, {"PL", false}});
    dialogs().inputAnswers.push_back(QString("stat"));
    const int result = run(0, [&](TForm2& f) {
        f.lbCommands->item(1)->setCheckState(Qt::Unchecked);  // PWD
        f.lbExtensions->item(0)->setCheckState(Qt::Checked);  // C
        f.lbCommands->setCurrentRow(1);
        f.btDeleteCommand->click();
        f.btAddCommand->click();
        EXPECT_EQ(texts(f.lbCommands), (QStringList{"NOOP", "STAT"}));
        f.btCancel->click();
    });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(rows(dm().antiidle(), "command"), (Rows{{"NOOP", true}, {"PWD", false}}));
    EXPECT_EQ(rows(dm().ascext(), "ext"), (Rows{{"C", true}, {"PL", false}}));
}

TEST_F(OptionsDialogTest, TickingAnEntryAddedInThisSessionWritesNoRow) {
    seed(dm().antiidle(), "command", {{"PWD", true}});
    dialogs().inputAnswers.push_back(QString("pwd "));  // differs by a trailing blank
    dialogs().inputAnswers.push_back(QString("PWD"));
    run(0, [&](TForm2& f) {
        // Delete the stored entry, add it again and untick the new one: the
        // old row is not the new entry's row.
        f.lbCommands->setCurrentRow(0);
        f.btDeleteCommand->click();
        f.btAddCommand->click();
        f.btAddCommand->click();
        ASSERT_EQ(texts(f.lbCommands), (QStringList{"PWD ", "PWD"}));
        f.lbCommands->item(0)->setCheckState(Qt::Unchecked);
        f.lbCommands->item(1)->setCheckState(Qt::Unchecked);
        f.btCancel->click();
    });
    EXPECT_EQ(rows(dm().antiidle(), "command"), (Rows{{"PWD", true}}));
}

TEST_F(OptionsDialogTest, OkRewritesBothListsInListOrder) {
    seed(dm().antiidle(), "command", {{"NOOP", true}, {"PWD", false}, {"STAT", true}});
    seed(dm().ascext(), "ext", {{"ASP", true}, {"BAT", true}});
    dialogs().inputAnswers.push_back(QString("list"));
    dialogs().inputAnswers.push_back(QString("c"));
    run(0, [&](TForm2& f) {
        f.lbCommands->setCurrentRow(0);
        f.btDeleteCommand->click();
        f.btAddCommand->click();
        f.lbCommands->item(0)->setCheckState(Qt::Checked);  // PWD
        f.lbExtensions->setCurrentRow(1);
        f.btDeleteExt->click();
        f.btAddExt->click();
        f.btOk->click();
    });
    EXPECT_EQ(rows(dm().antiidle(), "command"),
              (Rows{{"PWD", true}, {"STAT", true}, {"LIST", true}}));
    EXPECT_EQ(rows(dm().ascext(), "ext"), (Rows{{"ASP", true}, {"C", true}}));
}

TEST_F(OptionsDialogTest, StoredBytesThatAreNotUtf8SurviveASave) {
    const std::string odd = "SITE \xff\xfe";
    seed(dm().antiidle(), "command", {{odd, false}});
    run(0, [&](TForm2& f) {
        f.lbCommands->item(0)->setCheckState(Qt::Checked);
        f.btOk->click();
    });
    EXPECT_EQ(rows(dm().antiidle(), "command"), (Rows{{odd, true}}));
}

TEST_F(OptionsDialogTest, OpensOnTheRequestedPageAndHelpFollowsThePage) {
    const std::vector<std::pair<int, int>> opened{{0, 0}, {2, 2}, {3, 3}, {9, 0}, {-1, 0}};
    for (const auto& [asked, shown] : opened) {
        run(asked, [&, shown = shown](TForm2& f) {
            EXPECT_EQ(f.pages->currentIndex(), shown);
            f.btCancel->click();
        });
    }
    run(0, [&](TForm2& f) {
        for (int page = 0; page < 4; ++page) {
            f.pages->setCurrentIndex(page);
            f.btHelp->click();
        }
        f.btCancel->click();
    });
    const QString file = ui::dataFile("Ostrafen.hlp");
    EXPECT_EQ(dialogs().helpRequests,
              (QStringList{file + "|item29", file + "|item30", file + "|item31", file + "|item32"}));
    EXPECT_TRUE(dialogs().messages.empty());
}

}  // namespace
