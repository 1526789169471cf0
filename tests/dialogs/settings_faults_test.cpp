// The settings dialogs against a store that fails or is shared, what they
// refuse, and what an unchanged dialog writes back.
#include "dialogs/options_dialog.h"
#include "dialogs/proxy_editor.h"
#include "dialogs/site_editor.h"
#include "tests/support/gui/app_fixture.h"
#include "tests/support/gui/store_rows.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <memory>

using testing_support::AppTest;
using testing_support::onNextModal;

namespace {

template <typename Dialog>
void next(std::function<void(Dialog&)> fn) {
    onNextModal([fn](QDialog& d) { fn(dynamic_cast<Dialog&>(d)); });
}

std::vector<std::string> texts(const std::vector<store::TickedText>& rows) {
    std::vector<std::string> out;
    for (const auto& r : rows) out.push_back(r.text + (r.tf ? "+" : "-"));
    return out;
}

class SettingsFaults : public AppTest {};

// Another running copy holds the file: the save waits, then says why it
// failed, and a second try once the lock is gone saves.
TEST_F(SettingsFaults, ALockOfAnotherCopyIsReportedAndTheSaveCanBeRepeated) {
    app.dm().database().setBusyTimeout(200);
    ASSERT_TRUE(app.connectStore());
    store::Tdm other;
    other.database().setFileName(app.path("all.dat").toStdString());
    other.database().connect();
    auto lock = std::make_unique<store::WriteBatch>(other.database());
    next<TForm4>([&](TForm4& e) {
        e.nameEdit()->setText(QStringLiteral("A"));
        e.addressEdit()->setText(QStringLiteral("h.example"));
        e.okButton()->click();
        EXPECT_NE(e.result(), QDialog::Accepted);
        ASSERT_EQ(app.dialogs().messages.size(), 1u);
        EXPECT_EQ(app.dialogs().messages[0].kind, ui::MsgKind::Error);
        EXPECT_TRUE(app.dialogs().messages[0].text.contains(QStringLiteral("is in use by another program")));
        lock.reset();
        e.okButton()->click();
        EXPECT_EQ(e.result(), QDialog::Accepted);
    });
    EXPECT_EQ(TForm4::NewSite(nullptr, app.dm()).savedName, QStringLiteral("A"));
    EXPECT_EQ(testing_support::column(app.dm().ftpsite(), "name"), std::vector<std::string>{"A"});
}

// "&OK" of the options writes both lists and the row in one write: a step
// that fails leaves all three as they were, and the dialog open.
TEST_F(SettingsFaults, OptionsOkIsAllOrNothing) {
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(app.path("all.dat").toUtf8().constData(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db,
                               "CREATE TRIGGER refuse BEFORE INSERT ON ascext WHEN CAST(NEW.ext AS TEXT) = 'BAD' "
                               "BEGIN SELECT RAISE(ABORT, 'refused by the test'); END",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
    }
    const auto commands = texts(store::antiIdleCommands(app.dm()));
    const auto extensions = texts(store::asciiExtensions(app.dm()));
    app.dialogs().inputAnswers = {QStringLiteral("stat"), QStringLiteral("bad")};
    next<TForm2>([&](TForm2& f) {
        f.btAddCommand->click();
        f.btAddExt->click();
        f.seInterval->setValue(42);
        f.btOk->click();
        EXPECT_NE(f.result(), QDialog::Accepted);
        f.btCancel->click();
    });
    TForm2::Execute(nullptr, app.dm(), TForm2::PageAntiIdle);
    ASSERT_EQ(app.dialogs().messages.size(), 1u);
    EXPECT_TRUE(app.dialogs().messages[0].text.startsWith(QStringLiteral("The change was not saved: ")));
    EXPECT_EQ(texts(store::antiIdleCommands(app.dm())), commands);
    EXPECT_EQ(texts(store::asciiExtensions(app.dm())), extensions);
    EXPECT_EQ(store::readOptions(app.dm()).interval, 30);
}

TEST_F(SettingsFaults, LineBreaksAndNulInCommandsAndExtensionsAreRefusedWithAWarning) {
    app.dialogs().inputAnswers = {QStringLiteral("NOOP\r\nDELE x"), QStringLiteral("TX") + QChar(0) + "T"};
    next<TForm2>([](TForm2& f) {
        f.btAddCommand->click();
        f.btAddExt->click();
        f.btOk->click();
    });
    TForm2::Execute(nullptr, app.dm(), TForm2::PageAntiIdle);
    EXPECT_EQ(app.dialogs().messageTexts(),
              (QStringList{"A command can not contain a line break or a NUL character: it would reach the "
                           "server as more than one command.",
                           "An extension can not contain a line break or a NUL character: no file name "
                           "ends that way."}));
    EXPECT_EQ(app.dialogs().messages[0].kind, ui::MsgKind::Warning);
    EXPECT_EQ(store::antiIdleCommands(app.dm()).size(), 2u);
}

// Stored values a box cannot show, and bytes that are no UTF-8, survive a
// dialog the user confirms without changing them.
TEST_F(SettingsFaults, UnchangedDialogsWriteBackWhatTheyRead) {
    store::SiteRecord site = testing_support::loopbackSite("S", 70000);
    site.maxc = 0;
    site.comment = "first\r\nsecond\r\n";
    site.password = "p\xe4ss";  // a password typed in an 8-bit code page
    store::appendSite(app.dm(), site);
    store::ProxyRecord proxy{"P", "proxy\xff.example", 70000, true, "u", "pw", 9, "Bogus"};
    store::appendProxy(app.dm(), proxy);
    store::OptionsRecord options = store::readOptions(app.dm());
    options.interval = 0;
    options.recvb = -5;
    store::saveOptions(app.dm(), store::antiIdleCommands(app.dm()), store::asciiExtensions(app.dm()), options);

    next<TForm4>([](TForm4& e) { e.okButton()->click(); });
    TForm4::EditSite(nullptr, app.dm(), QStringLiteral("S"));
    const store::SiteRecord after = *store::findSite(app.dm(), "S");
    EXPECT_EQ(after.port, 70000);
    EXPECT_EQ(after.maxc, 0);
    EXPECT_EQ(after.comment, site.comment);
    EXPECT_EQ(after.password, site.password);

    next<TForm2>([](TForm2& f) {
        f.lvProxy->setCurrentItem(f.lvProxy->topLevelItem(0));
        f.btEditProxy->click();
        f.btOk->click();
    });
    next<TForm5>([](TForm5& e) { e.btOk->click(); });
    TForm2::Execute(nullptr, app.dm(), TForm2::PageProxy);
    const store::ProxyRecord p = *store::findProxy(app.dm(), "P");
    EXPECT_EQ(p.server, proxy.server);
    EXPECT_EQ(p.port, 70000);
    EXPECT_EQ(p.type, 9);
    EXPECT_EQ(p.typeName, "Bogus");
    EXPECT_EQ(store::readOptions(app.dm()).interval, 0);
    EXPECT_EQ(store::readOptions(app.dm()).recvb, -5);

    // A changed comment keeps the stored line breaks.
    next<TForm4>([](TForm4& e) {
        e.commentEdit()->setPlainText(QStringLiteral("one\ntwo"));
        e.okButton()->click();
    });
    TForm4::EditSite(nullptr, app.dm(), QStringLiteral("S"));
    EXPECT_EQ(store::findSite(app.dm(), "S")->comment, "one\r\ntwo");
}

// A "Port" box the user empties holds 0, whether the dialog is then
// confirmed by a click (the box loses the focus first) or by Enter.
TEST_F(SettingsFaults, AnEmptiedPortBoxIsZeroWhicheverWayTheDialogIsConfirmed) {
    for (const bool byEnter : {false, true}) {
        const std::string name = byEnter ? "Enter" : "click";
        store::appendSite(app.dm(), testing_support::loopbackSite(name, 2121));
        next<TForm4>([byEnter](TForm4& e) {
            e.show();
            QLineEdit* port = e.portBox()->findChild<QLineEdit*>();
            QTest::keyClick(port, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(port, Qt::Key_Backspace);
            if (byEnter) {
                QTest::keyClick(e.portBox(), Qt::Key_Return);
            } else {
                QFocusEvent out(QEvent::FocusOut, Qt::MouseFocusReason);
                QApplication::sendEvent(e.portBox(), &out);
                e.okButton()->click();
            }
            EXPECT_EQ(e.result(), QDialog::Accepted);
        });
        TForm4::EditSite(nullptr, app.dm(), QString::fromStdString(name));
        EXPECT_EQ(store::findSite(app.dm(), name)->port, 0) << name;
    }
}

}  // namespace
