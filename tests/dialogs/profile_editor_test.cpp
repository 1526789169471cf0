#include "dialogs/options_dialog.h"
#include "dialogs/proxy_editor.h"
#include "dialogs/site_editor.h"
#include "dialogs/socks_editor.h"

#include "store/table.h"
#include "tests/support/gui/app_fixture.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

struct Proxy {
    std::string name, server;
    int port = 0;
    bool login = false;
    std::string username, password;
    int type = 0;
    std::string typeName;
    bool operator==(const Proxy&) const = default;
};

struct Socks {
    std::string name, host;
    int port = 0;
    bool login = false;
    std::string user, pass;
    int sv = 0;
    std::string svName;
    bool operator==(const Socks&) const = default;
};

class ProfileEditorTest : public testing_support::AppTest {
protected:
    void SetUp() override {
        for (auto* t : {&dm().proxy(), &dm().socks(), &dm().ftpsite()}) {
            store::TableScope s(*t);
            t->empty();
        }
    }

    store::Tdm& dm() { return app.dm(); }
    testing_support::ScriptedDialogs& dialogs() { return app.dialogs(); }

    void addProxy(const Proxy& p) {
        store::Table& t = dm().proxy();
        store::TableScope s(t);
        t.append();
        t.setString("name", p.name);
        t.setString("server", p.server);
        t.setInteger("port", p.port);
        t.setBoolean("login", p.login);
        t.setString("username", p.username);
        t.setString("password", p.password);
        t.setInteger("type", p.type);
        t.setString("typename", p.typeName);
        t.post();
    }

    void addSocks(const Socks& p) {
        store::Table& t = dm().socks();
        store::TableScope s(t);
        t.append();
        t.setString("name", p.name);
        t.setString("host", p.host);
        t.setInteger("port", p.port);
        t.setBoolean("login", p.login);
        t.setString("user", p.user);
        t.setString("pass", p.pass);
        t.setInteger("sv", p.sv);
        t.setString("svname", p.svName);
        t.post();
    }

    std::vector<Proxy> proxies() {
        std::vector<Proxy> out;
        store::Table& t = dm().proxy();
        store::TableScope s(t);
        for (t.first(); !t.eof(); t.next())
            out.push_back({t.asString("name"), t.asString("server"), t.asInteger("port"),
                           t.asBoolean("login"), t.asString("username"), t.asString("password"),
                           t.asInteger("type"), t.asString("typename")});
        return out;
    }

    std::vector<Socks> socks() {
        std::vector<Socks> out;
        store::Table& t = dm().socks();
        store::TableScope s(t);
        for (t.first(); !t.eof(); t.next())
            out.push_back({t.asString("name"), t.asString("host"), t.asInteger("port"),
                           t.asBoolean("login"), t.asString("user"), t.asString("pass"),
                           t.asInteger("sv"), t.asString("svname")});
        return out;
    }

    void addSite(const std::string& name, const std::string& proxy, const std::string& socks) {
        store::Table& t = dm().ftpsite();
        store::TableScope s(t);
        t.append();
        t.setString("name", name);
        t.setString("address", "127.0.0.1");
        t.setString("proxy", proxy);
        t.setString("socks", socks);
        t.post();
    }

    std::vector<std::string> siteProfiles() {
        std::vector<std::string> out;
        store::Table& t = dm().ftpsite();
        store::TableScope s(t);
        for (t.first(); !t.eof(); t.next())
            out.push_back(t.asString("proxy") + "|" + t.asString("socks"));
        return out;
    }

    template <typename Dialog>
    static void next(std::function<void(Dialog&)> fn) {
        testing_support::onNextModal([fn](QDialog& d) { fn(dynamic_cast<Dialog&>(d)); });
    }

    static QStringList rowsOf(QTreeWidget* list) {
        QStringList out;
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* it = list->topLevelItem(i);
            out << it->text(0) + "|" + it->text(1) + "|" + it->text(2);
        }
        return out;
    }

    static QStringList entries(QComboBox* box) {
        QStringList out;
        for (int i = 0; i < box->count(); ++i) out << box->itemText(i);
        return out;
    }
};

// --- Editors on their own ----------------------------------------------------

TEST_F(ProfileEditorTest, NewProxyStartsEmptyAndStoresNoTypeAsMinusOne) {
    TForm5 ed(app.dm());
    ed.setWindowTitle("Add Proxy");
    EXPECT_EQ(ed.sePort->value(), 0);
    EXPECT_EQ(ed.cbType->currentIndex(), -1);
    EXPECT_FALSE(ed.cbType->isEditable());
    EXPECT_FALSE(ed.gbLogin->isChecked());
    EXPECT_FALSE(ed.edUsername->isEnabled());
    EXPECT_FALSE(ed.edPassword->isEnabled());
    EXPECT_EQ(ed.edPassword->echoMode(), QLineEdit::Normal);
    ed.edName->setText("corp");
    ed.edServer->setText("proxy.local");
    ed.btOk->click();
    EXPECT_EQ(ed.result(), QDialog::Accepted);
    EXPECT_EQ(proxies(), (std::vector<Proxy>{{"corp", "proxy.local", 0, false, "", "", -1, ""}}));
    EXPECT_TRUE(dialogs().messages.empty());
}

TEST_F(ProfileEditorTest, NewSocksWithOnlyNameAndHostStoresTheStartValues) {
    TForm7 ed(app.dm());
    ed.setWindowTitle("Add Socks");
    ed.edName->setText("s1");
    ed.edHost->setText("10.0.0.1");
    ed.btOk->click();
    EXPECT_EQ(ed.result(), QDialog::Accepted);
    EXPECT_EQ(socks(), (std::vector<Socks>{{"s1", "10.0.0.1", 1080, false, "", "", 0, "NoSocks"}}));
}

TEST_F(ProfileEditorTest, LoginEnablesTheBoxesAndTheirTextsAreSavedEitherWay) {
    TForm5 ed(app.dm());
    ed.setWindowTitle("Add Proxy");
    ed.gbLogin->setChecked(true);
    EXPECT_TRUE(ed.edUsername->isEnabled());
    EXPECT_TRUE(ed.edPassword->isEnabled());
    ed.edUsername->setText("bob");
    ed.edPassword->setText("pw");
    ed.gbLogin->setChecked(false);
    EXPECT_FALSE(ed.edUsername->isEnabled());
    ed.edName->setText("p");
    ed.edServer->setText("h");
    ed.cbType->setCurrentIndex(4);
    ed.btOk->click();
    EXPECT_EQ(proxies(), (std::vector<Proxy>{{"p", "h", 0, false, "bob", "pw", 4, "UserPass"}}));
}

TEST_F(ProfileEditorTest, ProxyChecksRunInOrderAndSaveNothing) {
    addProxy({"Taken", "x", 1, false, "", "", 0, "None"});
    struct Case {
        QString name, server, message;
        bool focusName;
    };
    const std::vector<Case> cases{
        {"", "", "Please enter the name.", true},
        {"", "srv", "Please enter the name.", true},
        {"new", "", "Please enter the address of proxy.", false},
        {"Taken", "srv", "The name Taken was existed, please re-enter.", true},
    };
    for (const Case& c : cases) {
        dialogs().clear();
        TForm5 ed(app.dm());
        ed.setWindowTitle("Add Proxy");
        ed.edName->setText(c.name);
        ed.edServer->setText(c.server);
        ed.btOk->click();
        EXPECT_NE(ed.result(), QDialog::Accepted) << c.message.toStdString();
        ASSERT_EQ(dialogs().messages.size(), 1u);
        EXPECT_EQ(dialogs().messages[0].text, c.message);
        EXPECT_EQ(dialogs().messages[0].kind, ui::MsgKind::Warning);
        EXPECT_EQ(dialogs().messages[0].buttons, ui::MsgButtons::Ok);
        EXPECT_EQ(ed.focusWidget(), c.focusName ? static_cast<QWidget*>(ed.edName)
                                                : static_cast<QWidget*>(ed.edServer));
        // Contents stay for another try.
        EXPECT_EQ(ed.edName->text(), c.name);
    }
    EXPECT_EQ(proxies().size(), 1u);
}

TEST_F(ProfileEditorTest, SocksChecksRunInOrder) {
    addSocks({"Taken", "x", 1, false, "", "", 0, "NoSocks"});
    TForm7 ed(app.dm());
    ed.setWindowTitle("Add Socks");
    ed.btOk->click();
    ed.edName->setText("Taken");
    ed.btOk->click();
    EXPECT_EQ(ed.focusWidget(), ed.edHost);
    ed.edHost->setText("h");
    ed.btOk->click();
    EXPECT_EQ(dialogs().messageTexts(),
              (QStringList{"Please enter the name.", "Please enter the host.",
                           "The name Taken was existed, please re-enter."}));
    // Letter case makes another name; a proxy of the same name is no clash.
    addProxy({"taken", "x", 1, false, "", "", 0, "None"});
    ed.edName->setText("taken");
    ed.btOk->click();
    EXPECT_EQ(ed.result(), QDialog::Accepted);
    EXPECT_EQ(socks().size(), 2u);
}

TEST_F(ProfileEditorTest, EditUnderItsOwnNameSavesAndUnderAnotherTakenNameRefuses) {
    addProxy({"a", "ha", 21, false, "", "", 1, "UserSite"});
    addProxy({"b", "hb", 21, false, "", "", 2, "Site"});
    {
        TForm5 ed(app.dm());
        ed.setWindowTitle("Edit Proxy");
        ed.setOpeningName(std::string("a"));
        ed.edName->setText("a");
        ed.edServer->setText("ha2");
        ed.btOk->click();
        EXPECT_EQ(ed.result(), QDialog::Accepted);
    }
    EXPECT_TRUE(dialogs().messages.empty());
    {
        TForm5 ed(app.dm());
        ed.setWindowTitle("Edit Proxy");
        ed.setOpeningName(std::string("a"));
        ed.edName->setText("b");
        ed.edServer->setText("zzz");
        ed.btOk->click();
        EXPECT_NE(ed.result(), QDialog::Accepted);
    }
    EXPECT_EQ(dialogs().messageTexts(), QStringList{"The name b was existed, please re-enter."});
    const auto rows = proxies();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].server, "ha2");
    EXPECT_EQ(rows[1].server, "hb");
}

TEST_F(ProfileEditorTest, EditingAProfileThatVanishedClosesAndWritesNothing) {
    addSocks({"other", "h", 1, false, "", "", 0, "NoSocks"});
    TForm7 ed(app.dm());
    ed.setWindowTitle("Edit Socks");
    ed.setOpeningName(std::string("gone"));
    ed.edName->setText("gone2");
    ed.edHost->setText("h2");
    ed.btOk->click();
    EXPECT_EQ(ed.result(), QDialog::Accepted);
    EXPECT_EQ(socks(), (std::vector<Socks>{{"other", "h", 1, false, "", "", 0, "NoSocks"}}));
}

TEST_F(ProfileEditorTest, PortTextThatIsNotANumberStoresZeroAndLongNamesFitWhole) {
    const QString longName(1000, QChar('n'));
    TForm7 ed(app.dm());
    ed.setWindowTitle("Add Socks");
    ed.edName->setText(longName);
    ed.edHost->setText("h");
    ed.sePort->findChild<QLineEdit*>()->setText("port");
    ed.btOk->click();
    ASSERT_EQ(socks().size(), 1u);
    EXPECT_EQ(socks()[0].name, std::string(1000, 'n'));
    EXPECT_EQ(socks()[0].port, 0);

    TForm7 again(app.dm());
    again.setWindowTitle("Add Socks");
    again.edName->setText(longName);
    again.edHost->setText("h");
    again.btOk->click();
    EXPECT_EQ(dialogs().messageTexts(),
              QStringList{"The name " + longName + " was existed, please re-enter."});
    EXPECT_EQ(socks().size(), 1u);
}

// --- Through the options dialog ------------------------------------------------

TEST_F(ProfileEditorTest, OptionsListsShowTheProfilesAndTakeNewOnesAfterCancel) {
    addProxy({"p1", "srv1", 8021, false, "", "", 1, "UserSite"});
    addSocks({"s1", "sh1", 1080, false, "", "", 3, "Socks5"});
    next<TForm2>([&](TForm2& f) {
        EXPECT_EQ(rowsOf(f.lvProxy), QStringList{"p1|srv1|UserSite"});
        EXPECT_EQ(rowsOf(f.lvSocks), QStringList{"s1|sh1|Socks5"});
        f.btAddProxy->click();
        EXPECT_EQ(rowsOf(f.lvProxy), (QStringList{"p1|srv1|UserSite", "p2|srv2|Open"}));
        f.btAddSocks->click();
        EXPECT_EQ(rowsOf(f.lvSocks), (QStringList{"s1|sh1|Socks5", "s2|sh2|Socks4A"}));
        f.btCancel->click();
    });
    next<TForm5>([&](TForm5& e) {
        EXPECT_EQ(e.windowTitle(), "Add Proxy");
        e.edName->setText("p2");
        e.edServer->setText("srv2");
        e.cbType->setCurrentIndex(3);
        e.btOk->click();
    });
    next<TForm7>([&](TForm7& e) {
        EXPECT_EQ(e.windowTitle(), "Add Socks");
        e.edName->setText("s2");
        e.edHost->setText("sh2");
        e.cbVersion->setCurrentIndex(2);
        e.btOk->click();
    });
    EXPECT_EQ(TForm2::Execute(nullptr, app.dm(), TForm2::PageProxy), QDialog::Rejected);
    EXPECT_EQ(proxies().size(), 2u);
    EXPECT_EQ(socks().size(), 2u);
    EXPECT_EQ(socks()[1], (Socks{"s2", "sh2", 1080, false, "", "", 2, "Socks4A"}));
}

TEST_F(ProfileEditorTest, EditFillsTheEditorAndRewritesTheSelectedRow) {
    addProxy({"first", "f", 1, false, "", "", 0, "None"});
    addProxy({"corp", "old.host", 3128, true, "u", "p", 5, "Transparent"});
    addProxy({"weird", "w", 1, false, "", "", 9, "Bogus"});
    next<TForm2>([&](TForm2& f) {
        f.lvProxy->setCurrentItem(f.lvProxy->topLevelItem(1));
        f.btEditProxy->click();
        EXPECT_EQ(rowsOf(f.lvProxy),
                  (QStringList{"first|f|None", "corp2|new.host|Site", "weird|w|Bogus"}));
        // A double click edits too; a type position outside the list selects none.
        f.lvProxy->setCurrentItem(f.lvProxy->topLevelItem(2));
        emit f.lvProxy->itemDoubleClicked(f.lvProxy->topLevelItem(2), 0);
        f.btCancel->click();
    });
    next<TForm5>([&](TForm5& e) {
        EXPECT_EQ(e.windowTitle(), "Edit Proxy");
        EXPECT_EQ(e.openingName(), "corp");
        EXPECT_EQ(e.edName->text(), "corp");
        EXPECT_EQ(e.edServer->text(), "old.host");
        EXPECT_EQ(e.sePort->value(), 3128);
        EXPECT_TRUE(e.gbLogin->isChecked());
        EXPECT_TRUE(e.edUsername->isEnabled());
        EXPECT_EQ(e.edUsername->text(), "u");
        EXPECT_EQ(e.edPassword->text(), "p");
        EXPECT_EQ(e.cbType->currentIndex(), 5);
        e.edName->setText("corp2");
        e.edServer->setText("new.host");
        e.cbType->setCurrentIndex(2);
        e.btOk->click();
    });
    next<TForm5>([&](TForm5& e) {
        EXPECT_EQ(e.cbType->currentIndex(), -1);
        e.btCancel->click();
    });
    TForm2::Execute(nullptr, app.dm(), TForm2::PageProxy);
    const auto rows = proxies();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1], (Proxy{"corp2", "new.host", 3128, true, "u", "p", 2, "Site"}));
    EXPECT_EQ(rows[2].typeName, "Bogus");  // the cancelled editor wrote nothing
}

TEST_F(ProfileEditorTest, EditAndRemoveWithoutASelectedRowDoNothing) {
    addSocks({"s", "h", 1, false, "", "", 0, "NoSocks"});
    next<TForm2>([&](TForm2& f) {
        f.lvSocks->clearSelection();
        f.btEditSocks->click();
        f.btRemoveSocks->click();
        EXPECT_EQ(f.lvSocks->topLevelItemCount(), 1);
        f.btOk->click();
    });
    next<TForm7>([](TForm7&) { ADD_FAILURE() << "an editor opened without a selected row"; });
    TForm2::Execute(nullptr, app.dm(), TForm2::PageSocks);
    EXPECT_EQ(socks().size(), 1u);
}

TEST_F(ProfileEditorTest, RemovingAProfileSitesUseAsksFirstAndTheSitesKeepItsName) {
    addProxy({"p", "h", 1, false, "", "", 0, "None"});
    addProxy({"unused", "h", 1, false, "", "", 0, "None"});
    addSocks({"s", "h", 1, false, "", "", 0, "NoSocks"});
    addSite("site1", "p", "s");
    addSite("site2", "p", "None");
    dialogs().confirmAnswers = {ui::MsgResult::No, ui::MsgResult::Yes};
    next<TForm2>([&](TForm2& f) {
        f.lvProxy->setCurrentItem(f.lvProxy->topLevelItem(0));
        f.btRemoveProxy->click();  // No: stays
        f.lvProxy->setCurrentItem(f.lvProxy->topLevelItem(1));
        f.btRemoveProxy->click();  // no site uses it: goes without a question
        f.lvSocks->setCurrentItem(f.lvSocks->topLevelItem(0));
        f.btRemoveSocks->click();  // Yes
        EXPECT_EQ(rowsOf(f.lvProxy), QStringList{"p|h|None"});
        EXPECT_EQ(f.lvSocks->topLevelItemCount(), 0);
        f.btCancel->click();
    });
    TForm2::Execute(nullptr, app.dm(), TForm2::PageProxy);
    EXPECT_EQ(dialogs().messageTexts(),
              (QStringList{"2 FTP sites use the profile <p>. Remove it anyway?",
                           "1 FTP site uses the profile <s>. Remove it anyway?"}));
    EXPECT_EQ(dialogs().messages[0].kind, ui::MsgKind::Confirmation);
    EXPECT_EQ(proxies().size(), 1u);
    EXPECT_TRUE(socks().empty());
    // The site still names it, so it will not connect around it.
    EXPECT_EQ(siteProfiles(), (std::vector<std::string>{"p|s", "p|None"}));
}

// --- With a site editor open ----------------------------------------------------

TEST_F(ProfileEditorTest, OpenSiteEditorFollowsAddRenameAndRemove) {
    addProxy({"a", "h", 1, false, "", "", 0, "None"});
    addProxy({"b", "h", 1, false, "", "", 0, "None"});
    addProxy({"c", "h", 1, false, "", "", 0, "None"});
    addSite("site1", "b", "None");
    TForm4 site(app.dm());
    site.FillProfileLists();
    site.proxyCombo()->setCurrentIndex(3);  // "c"

    next<TForm2>([&](TForm2& f) {
        EXPECT_EQ(f.pages->currentIndex(), TForm2::PageProxy);
        f.btAddProxy->click();
        f.lvProxy->setCurrentItem(f.lvProxy->topLevelItem(1));
        f.btEditProxy->click();
        f.lvProxy->setCurrentItem(f.lvProxy->topLevelItem(2));
        f.btRemoveProxy->click();
        f.btCancel->click();
    });
    next<TForm5>([&](TForm5& e) {
        e.edName->setText("d");
        e.edServer->setText("h");
        e.btOk->click();
    });
    next<TForm5>([&](TForm5& e) {
        e.edName->setText("b-renamed");
        e.btOk->click();
    });
    site.onProxyOption();

    EXPECT_EQ(entries(site.proxyCombo()), (QStringList{"None", "a", "b-renamed", "d"}));
    // The removed profile was the one chosen; the site now has none.
    EXPECT_EQ(site.proxyCombo()->currentText(), "None");
    // Saved sites follow the new name.
    EXPECT_EQ(siteProfiles(), std::vector<std::string>{"b-renamed|None"});
}

TEST_F(ProfileEditorTest, RenameInOpenSiteEditorKeepsPositionAndSelection) {
    addSocks({"x", "h", 1, false, "", "", 0, "NoSocks"});
    addSocks({"y", "h", 1, false, "", "", 0, "NoSocks"});
    TForm4 site(app.dm());
    site.FillProfileLists();
    site.socksCombo()->setCurrentIndex(1);
    next<TForm2>([&](TForm2& f) {
        EXPECT_EQ(f.pages->currentIndex(), TForm2::PageSocks);
        f.lvSocks->setCurrentItem(f.lvSocks->topLevelItem(0));
        f.btEditSocks->click();
        f.btCancel->click();
    });
    next<TForm7>([&](TForm7& e) {
        e.edName->setText("x2");
        e.btOk->click();
    });
    site.onSocksOption();
    EXPECT_EQ(entries(site.socksCombo()), (QStringList{"None", "x2", "y"}));
    EXPECT_EQ(site.socksCombo()->currentIndex(), 1);
}

TEST_F(ProfileEditorTest, AProfileNamedNoneNeverTakesThePlaceholder) {
    addProxy({"None", "h", 1, false, "", "", 0, "None"});
    TForm4 site(app.dm());
    site.FillProfileLists();
    ASSERT_EQ(entries(site.proxyCombo()), (QStringList{"None", "None"}));
    next<TForm2>([&](TForm2& f) {
        f.lvProxy->setCurrentItem(f.lvProxy->topLevelItem(0));
        f.btEditProxy->click();
        f.btCancel->click();
    });
    next<TForm5>([&](TForm5& e) {
        e.edName->setText("NotNone");
        e.btOk->click();
    });
    site.onProxyOption();
    EXPECT_EQ(entries(site.proxyCombo()), (QStringList{"None", "NotNone"}));

    // A "None" profile the site editor never listed: removing it keeps the placeholder.
    addProxy({"None", "h", 1, false, "", "", 0, "None"});
    next<TForm2>([&](TForm2& f) {
        f.lvProxy->setCurrentItem(f.lvProxy->topLevelItem(1));
        f.btRemoveProxy->click();
        f.btCancel->click();
    });
    site.onProxyOption();
    EXPECT_EQ(entries(site.proxyCombo()), (QStringList{"None", "NotNone"}));
}

}  // namespace
