// Quick connect: the quickftp history, what "C&onnect" hands over and
// records, and "Save ftp site".
#include "dialogs/quick_connect.h"
#include "dialogs/site_editor.h"
#include "store/site_records.h"
#include "tests/support/gui/app_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <gtest/gtest.h>

using testing_support::AppTest;
using testing_support::onNextModal;

namespace {

struct QuickRow {
    std::string ftp{}, user{}, pass{};
    int port = 21;
    bool pasv = true;
};

void addQuick(store::Tdm& dm, const QuickRow& r) {
    store::TableScope t(dm.quickftp());
    t->append();
    t->setString("ftp", r.ftp);
    t->setString("user", r.user);
    t->setString("pass", r.pass);
    t->setInteger("port", r.port);
    t->setBoolean("pasv", r.pasv);
    t->post();
}

std::vector<QuickRow> quickRows(store::Tdm& dm) {
    std::vector<QuickRow> out;
    store::TableScope t(dm.quickftp());
    for (t->first(); !t->eof(); t->next())
        out.push_back({t->asString("ftp"), t->asString("user"), t->asString("pass"),
                       t->asInteger("port"), t->asBoolean("pasv")});
    return out;
}

QStringList items(QComboBox* box) {
    QStringList out;
    for (int i = 0; i < box->count(); ++i) out << box->itemText(i);
    return out;
}

class QuickConnectTest : public AppTest {
protected:
    // Runs the dialog as the main window does; `open` stands for opening the page.
    TForm15::Outcome run(TForm15::OpenPage open = {}) {
        if (!open) open = [](const store::QuickConnection&) {};
        return TForm15::Execute(nullptr, app.dm(), open);
    }
};

TEST_F(QuickConnectTest, HistoryFillsTheListAndMatchingTextFillsTheRest) {
    addQuick(app.dm(), {"a.example", "alice", "pa", 2121, false});
    addQuick(app.dm(), {"b.example", "bob", "pb", 21, true});
    onNextModal([](QDialog& d) {
        auto& q = static_cast<TForm15&>(d);
        EXPECT_EQ(items(q.serverCombo()), (QStringList{"a.example", "b.example"}));
        // The box starts empty and the defaults stand.
        EXPECT_EQ(q.address(), QString());
        EXPECT_EQ(q.port(), 21);
        EXPECT_TRUE(q.passive());

        q.serverCombo()->setEditText(QStringLiteral("a.exampl"));
        EXPECT_EQ(q.user(), QString());
        q.serverCombo()->setEditText(QStringLiteral("a.example"));
        EXPECT_EQ(q.user(), QStringLiteral("alice"));
        EXPECT_EQ(q.password(), QStringLiteral("pa"));
        EXPECT_EQ(q.port(), 2121);
        EXPECT_FALSE(q.passive());
        // Typing on past a match keeps what was filled in.
        q.serverCombo()->setEditText(QStringLiteral("a.example.net"));
        EXPECT_EQ(q.user(), QStringLiteral("alice"));
        EXPECT_EQ(q.port(), 2121);
        // Choosing from the list fills as well.
        q.serverCombo()->setCurrentIndex(1);
        EXPECT_EQ(q.user(), QStringLiteral("bob"));
        EXPECT_TRUE(q.passive());
        q.cancelButton()->click();
    });
    EXPECT_EQ(run().result, QDialog::Rejected);
    EXPECT_EQ(quickRows(app.dm()).size(), 2u);
}

TEST_F(QuickConnectTest, ConnectHandsOverWhileOpenThenRecordsOneRowPerAddress) {
    QStringList seen;
    TForm15* open = nullptr;
    const auto page = [&](const store::QuickConnection& t) {
        // The window is still open while the page is made.
        ASSERT_NE(open, nullptr);
        EXPECT_NE(open->result(), QDialog::Accepted);
        seen << QStringLiteral("%1|%2|%3|%4|%5")
                    .arg(QString::fromStdString(t.ftp), QString::fromStdString(t.user),
                         QString::fromStdString(t.pass))
                    .arg(t.port)
                    .arg(t.pasv);
    };
    auto connectWith = [&](const QString& host, const QString& user, int port, bool pasv) {
        onNextModal([=, &open](QDialog& d) {
            auto& q = static_cast<TForm15&>(d);
            open = &q;
            q.serverCombo()->setEditText(host);
            q.userEdit()->setText(user);
            q.passwordEdit()->setText(QStringLiteral("secret"));
            q.portBox()->setNumber(port);
            q.passiveCheck()->setChecked(pasv);
            q.connectButton()->click();
            EXPECT_EQ(q.result(), QDialog::Accepted);
        });
        run(page);
    };
    connectWith(QStringLiteral("h.example"), QStringLiteral("first"), 21, true);
    connectWith(QStringLiteral("other.example"), QStringLiteral("o"), 990, true);
    connectWith(QStringLiteral("h.example"), QStringLiteral("second"), 2121, false);

    EXPECT_EQ(seen, (QStringList{"h.example|first|secret|21|1", "other.example|o|secret|990|1",
                                 "h.example|second|secret|2121|0"}));
    const auto rows = quickRows(app.dm());
    ASSERT_EQ(rows.size(), 2u);
    int h = rows[0].ftp == "h.example" ? 0 : 1;
    EXPECT_EQ(rows[h].ftp, "h.example");
    EXPECT_EQ(rows[h].user, "second");
    EXPECT_EQ(rows[h].pass, "secret");
    EXPECT_EQ(rows[h].port, 2121);
    EXPECT_FALSE(rows[h].pasv);
}

TEST_F(QuickConnectTest, EmptyAddressIsRefusedAndAPressWhileConnectingIsIgnored) {
    QStringList names;
    TForm15* open = nullptr;
    // Opening the page pumps messages, so the button can be pressed again meanwhile.
    const auto page = [&](const store::QuickConnection& t) {
        names << QString::fromStdString(t.ftp);
        open->connectButton()->click();
    };
    onNextModal([&](QDialog& d) {
        open = &static_cast<TForm15&>(d);
        for (const char* typed : {"", "   "}) {
            open->serverCombo()->setEditText(QString::fromLatin1(typed));
            open->connectButton()->click();
            EXPECT_NE(open->result(), QDialog::Accepted);
        }
        EXPECT_EQ(app.dialogs().messageTexts(),
                  QStringList(2, QStringLiteral("Please enter the address of the FTP site.")));
        EXPECT_EQ(app.dialogs().messages.at(0).kind, ui::MsgKind::Warning);
        open->serverCombo()->setEditText(QStringLiteral("h.example"));
        open->connectButton()->click();
    });
    run(page);
    EXPECT_EQ(names, QStringList{QStringLiteral("h.example")});
    EXPECT_EQ(quickRows(app.dm()).size(), 1u);
}

TEST_F(QuickConnectTest, ClearHistoryEmptiesTableAndListButKeepsTyping) {
    addQuick(app.dm(), {"a.example", "alice", "pa", 2121, false});
    onNextModal([this](QDialog& d) {
        auto& q = static_cast<TForm15&>(d);
        q.serverCombo()->setEditText(QStringLiteral("a.example"));
        q.clearHistoryButton()->click();
        EXPECT_EQ(q.serverCombo()->count(), 0);
        EXPECT_EQ(q.address(), QStringLiteral("a.example"));
        EXPECT_EQ(q.user(), QStringLiteral("alice"));
        EXPECT_TRUE(quickRows(app.dm()).empty());
        q.cancelButton()->click();
    });
    run();
    EXPECT_TRUE(quickRows(app.dm()).empty());

    // After clearing, a connect adds exactly one row again.
    onNextModal([](QDialog& d) {
        auto& q = static_cast<TForm15&>(d);
        q.serverCombo()->setEditText(QStringLiteral("z.example"));
        q.connectButton()->click();
    });
    run();
    ASSERT_EQ(quickRows(app.dm()).size(), 1u);
    EXPECT_EQ(quickRows(app.dm())[0].ftp, "z.example");
}

TEST_F(QuickConnectTest, SaveFtpSiteOpensAPrefilledEditor) {
    int editors = 0;
    onNextModal([&](QDialog& d) {
        auto& q = static_cast<TForm15&>(d);
        // Nothing typed: no editor.
        onNextModal([&](QDialog& e) { ++editors; e.reject(); });
        q.saveSiteButton()->click();
        EXPECT_EQ(editors, 0);
        testing_support::clearModalHandlers();

        q.serverCombo()->setEditText(QStringLiteral("s.example"));
        q.userEdit()->clear();
        q.passwordEdit()->clear();
        q.portBox()->setNumber(2100);
        q.passiveCheck()->setChecked(false);
        onNextModal([&](QDialog& e) {
            ++editors;
            auto& ed = static_cast<TForm4&>(e);
            EXPECT_EQ(ed.windowTitle(), QStringLiteral("New FTP Site"));
            EXPECT_EQ(ed.nameEdit()->text(), QString());
            EXPECT_EQ(ed.addressEdit()->text(), QStringLiteral("s.example"));
            EXPECT_EQ(ed.userEdit()->text(), QString());
            EXPECT_EQ(ed.passwordEdit()->text(), QString());
            EXPECT_EQ(ed.portBox()->number(), 2100);
            EXPECT_FALSE(ed.passiveCheck()->isChecked());
            EXPECT_EQ(ed.proxyCombo()->currentText(), QStringLiteral("None"));
            ed.nameEdit()->setText(QStringLiteral("Saved"));
            ed.okButton()->click();
        });
        q.saveSiteButton()->click();
        EXPECT_EQ(editors, 1);
        // The quick-connect window is unchanged and still open.
        EXPECT_EQ(q.address(), QStringLiteral("s.example"));
        EXPECT_EQ(q.port(), 2100);
        EXPECT_NE(q.result(), QDialog::Accepted);
        q.cancelButton()->click();
    });
    // The opener refills its site list: a site was saved.
    EXPECT_TRUE(run().siteSaved);

    store::TableScope t(app.dm().ftpsite());
    ASSERT_TRUE(t->locate("name", {std::string("Saved")}));
    EXPECT_EQ(t->asString("address"), "s.example");
    EXPECT_EQ(t->asString("username"), "");
    EXPECT_EQ(t->asString("password"), "");
    EXPECT_EQ(t->asInteger("port"), 2100);
    EXPECT_FALSE(t->asBoolean("pasv"));
    EXPECT_TRUE(quickRows(app.dm()).empty());
}

// New addresses default to TLS if available; a history row brings its mode
// back (a row from before the setting: plain) without moving its port, and
// the mode travels to the page and the history.
TEST_F(QuickConnectTest, EncryptionDefaultsRecallsAndTravels) {
    addQuick(app.dm(), {"old.example", "o", "p", 21, true});
    store::recordQuickConnection(app.dm(), {"tls.example", "", "", 21, true, "implicit"});
    std::string handed;
    onNextModal([&](QDialog& d) {
        auto& q = static_cast<TForm15&>(d);
        EXPECT_EQ(q.encryption(), "auto");
        q.serverCombo()->setEditText(QStringLiteral("old.example"));
        EXPECT_EQ(q.encryption(), "plain");
        q.serverCombo()->setEditText(QStringLiteral("tls.example"));
        EXPECT_EQ(q.encryption(), "implicit");
        EXPECT_EQ(q.port(), 21);
        q.encryptionCombo()->setCurrentIndex(1);
        q.connectButton()->click();
    });
    run([&](const store::QuickConnection& t) { handed = t.encryption; });
    EXPECT_EQ(handed, "explicit");
    EXPECT_EQ(store::findQuickConnection(app.dm(), "tls.example")->encryption, "explicit");
}

}  // namespace
