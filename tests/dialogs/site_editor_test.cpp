// Site editor: what OK stores for new and edited sites, the checks it makes
// first, and the controls' own rules.
#include "app/site_list_pane.h"
#include "dialogs/site_editor.h"
#include "tests/support/gui/app_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <gtest/gtest.h>

using testing_support::AppTest;
using testing_support::onNextModal;

namespace {

std::string s(const QString& q) { return q.toUtf8().toStdString(); }

struct SiteRow {
    std::string name{}, address = "host.example", username = "u", password = "p";
    std::string proxy = "None", socks = "None", comment{}, defaultpath{};
    int port = 21, timeout = 30, nor = 20, rd = 10, maxc = 1;
    bool vp = true, pasv = true, autorefresh = false, cnc = false;
};

void addSite(store::Tdm& dm, const SiteRow& r) {
    store::TableScope t(dm.ftpsite());
    t->append();
    t->setString("name", r.name);
    t->setString("address", r.address);
    t->setInteger("port", r.port);
    t->setString("username", r.username);
    t->setString("password", r.password);
    t->setString("cdate", "2001-02-03 04:05:06");
    t->setString("zdate", "2001-02-03 04:05:06");
    t->setString("comment", r.comment);
    t->setInteger("timeout", r.timeout);
    t->setInteger("nor", r.nor);
    t->setInteger("rd", r.rd);
    t->setBoolean("vp", r.vp);
    t->setString("defaultpath", r.defaultpath);
    t->setString("proxy", r.proxy);
    t->setString("socks", r.socks);
    t->setBoolean("pasv", r.pasv);
    t->setBoolean("autorefresh", r.autorefresh);
    t->setBoolean("cnc", r.cnc);
    t->setInteger("maxc", r.maxc);
    t->post();
}

void addProfile(store::Table& table, const std::string& name) {
    store::TableScope t(table);
    t->append();
    t->setString("name", name);
    t->post();
}

std::vector<std::string> siteNames(store::Tdm& dm) {
    std::vector<std::string> out;
    store::TableScope t(dm.ftpsite());
    for (t->first(); !t->eof(); t->next()) out.push_back(t->asString("name"));
    return out;
}

int siteCount(store::Tdm& dm) { return static_cast<int>(siteNames(dm).size()); }

// Runs the editor the way the site list does and lets `fill` act on it.
template <class Open>
void withEditor(Open open, std::function<void(TForm4&)> fill) {
    onNextModal([fill](QDialog& d) {
        auto* e = qobject_cast<TForm4*>(&d);
        ASSERT_NE(e, nullptr);
        fill(*e);
    });
    open();
}

QString nowText() {
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

class SiteEditorTest : public AppTest {};

TEST_F(SiteEditorTest, NewSiteStoresDefaultsAndSaveTime) {
    const QString before = nowText();
    withEditor([] { TForm4::NewSite(nullptr); }, [](TForm4& e) {
        EXPECT_EQ(e.windowTitle(), QStringLiteral("New FTP Site"));
        EXPECT_EQ(e.proxyCombo()->currentText(), QStringLiteral("None"));
        e.nameEdit()->setText(QStringLiteral("Home"));
        e.addressEdit()->setText(QStringLiteral("ftp.example.org"));
        e.okButton()->click();
        EXPECT_EQ(e.result(), QDialog::Accepted);
    });
    const QString after = nowText();

    store::TableScope t(app.dm().ftpsite());
    ASSERT_TRUE(t->locate("name", {std::string("Home")}));
    EXPECT_EQ(t->asString("address"), "ftp.example.org");
    EXPECT_EQ(t->asInteger("port"), 21);
    EXPECT_EQ(t->asString("username"), "anonymous");
    EXPECT_EQ(t->asString("password"), "anonymous@ostrafen.example");
    EXPECT_TRUE(t->asBoolean("vp"));
    EXPECT_TRUE(t->asBoolean("pasv"));
    EXPECT_FALSE(t->asBoolean("autorefresh"));
    EXPECT_EQ(t->asInteger("timeout"), 30);
    EXPECT_EQ(t->asInteger("nor"), 20);
    EXPECT_EQ(t->asInteger("rd"), 10);
    EXPECT_FALSE(t->asBoolean("cnc"));
    EXPECT_EQ(t->asInteger("maxc"), 1);
    EXPECT_EQ(t->asString("proxy"), "None");
    EXPECT_EQ(t->asString("socks"), "None");
    EXPECT_EQ(t->asString("comment"), "");
    EXPECT_EQ(t->asString("defaultpath"), "");
    const QString cdate = QString::fromUtf8(t->asString("cdate"));
    EXPECT_EQ(cdate, QString::fromUtf8(t->asString("zdate")));
    EXPECT_GE(cdate, before);
    EXPECT_LE(cdate, after);
}

TEST_F(SiteEditorTest, ChecksRunInOrderAndKeepTheEditorOpen) {
    withEditor([] { TForm4::NewSite(nullptr); }, [this](TForm4& e) {
        e.pages()->setCurrentWidget(e.advancePage());
        e.okButton()->click();
        EXPECT_EQ(app.dialogs().messageTexts(), QStringList{QStringLiteral("Please enter name.")});
        EXPECT_EQ(app.dialogs().messages.at(0).kind, ui::MsgKind::Warning);
        EXPECT_EQ(e.pages()->currentWidget(), e.loginPage());
        EXPECT_EQ(e.focusWidget(), e.nameEdit());
        EXPECT_NE(e.result(), QDialog::Accepted);

        app.dialogs().clear();
        e.nameEdit()->setText(QStringLiteral("A"));
        e.pages()->setCurrentWidget(e.advancePage());
        e.okButton()->click();
        EXPECT_EQ(app.dialogs().messageTexts(),
                  QStringList{QStringLiteral("Please enter the address of the FTP site.")});
        EXPECT_EQ(e.pages()->currentWidget(), e.loginPage());
        EXPECT_EQ(e.focusWidget(), e.addressEdit());
        e.reject();
    });
    EXPECT_EQ(siteCount(app.dm()), 0);
}

TEST_F(SiteEditorTest, NewSiteNameMustBeUniqueButCaseCounts) {
    addSite(app.dm(), {.name = "Site"});
    withEditor([] { TForm4::NewSite(nullptr); }, [this](TForm4& e) {
        e.nameEdit()->setText(QStringLiteral("Site"));
        e.addressEdit()->setText(QStringLiteral("other.example"));
        e.okButton()->click();
        EXPECT_EQ(app.dialogs().messageTexts(),
                  QStringList{QStringLiteral("The name Site was existed, please re-enter.")});
        EXPECT_EQ(e.focusWidget(), e.nameEdit());
        EXPECT_NE(e.result(), QDialog::Accepted);
        // Letter case makes it another name.
        e.nameEdit()->setText(QStringLiteral("site"));
        e.okButton()->click();
        EXPECT_EQ(e.result(), QDialog::Accepted);
    });
    EXPECT_EQ(siteNames(app.dm()), (std::vector<std::string>{"Site", "site"}));
    store::TableScope t(app.dm().ftpsite());
    ASSERT_TRUE(t->locate("name", {std::string("Site")}));
    EXPECT_EQ(t->asString("address"), "host.example");
}

TEST_F(SiteEditorTest, EditRenameToAnotherSitesNameChangesNeitherRow) {
    addSite(app.dm(), {.name = "One", .address = "one.example"});
    addSite(app.dm(), {.name = "Two", .address = "two.example"});
    withEditor([] { TForm4::EditSite(nullptr, QStringLiteral("One")); }, [this](TForm4& e) {
        EXPECT_EQ(e.windowTitle(), QStringLiteral("Edit FTP Site"));
        EXPECT_EQ(e.addressEdit()->text(), QStringLiteral("one.example"));
        e.nameEdit()->setText(QStringLiteral("Two"));
        e.addressEdit()->setText(QStringLiteral("changed.example"));
        e.okButton()->click();
        EXPECT_EQ(app.dialogs().messageTexts(),
                  QStringList{QStringLiteral("The name Two was existed, please re-enter.")});
        e.reject();
    });
    store::TableScope t(app.dm().ftpsite());
    ASSERT_TRUE(t->locate("name", {std::string("One")}));
    EXPECT_EQ(t->asString("address"), "one.example");
    ASSERT_TRUE(t->locate("name", {std::string("Two")}));
    EXPECT_EQ(t->asString("address"), "two.example");
}

TEST_F(SiteEditorTest, SavingUnderItsOwnNameSucceedsAndRestampsDates) {
    addSite(app.dm(), {.name = "One"});
    const QString before = nowText();
    withEditor([] { TForm4::EditSite(nullptr, QStringLiteral("One")); },
               [](TForm4& e) { e.okButton()->click(); EXPECT_EQ(e.result(), QDialog::Accepted); });
    EXPECT_TRUE(app.dialogs().messages.empty());
    EXPECT_EQ(siteCount(app.dm()), 1);
    store::TableScope t(app.dm().ftpsite());
    ASSERT_TRUE(t->locate("name", {std::string("One")}));
    EXPECT_GE(QString::fromUtf8(t->asString("cdate")), before);
    EXPECT_EQ(t->asString("cdate"), t->asString("zdate"));
}

TEST_F(SiteEditorTest, RenameInEditorCarriesTasksAndOpenPages) {
    addSite(app.dm(), {.name = "Old"});
    {
        store::TableScope t(app.dm().taskd());
        for (const char* site : {"Old", "Other", "Old"}) {
            t->append();
            t->setString("name", "task");
            t->setString("ftp", site);
            t->post();
        }
    }
    QStringList renames;
    sites::setMainWindowCalls({nullptr, [&](const QString& a, const QString& b) {
                                   renames << a + QStringLiteral("->") + b;
                               }});
    withEditor([] { TForm4::EditSite(nullptr, QStringLiteral("Old")); }, [](TForm4& e) {
        e.nameEdit()->setText(QStringLiteral("New"));
        e.okButton()->click();
    });
    sites::setMainWindowCalls({});
    EXPECT_EQ(siteNames(app.dm()), std::vector<std::string>{"New"});
    EXPECT_EQ(renames, QStringList{QStringLiteral("Old->New")});
    std::vector<std::string> taskSites;
    store::TableScope t(app.dm().taskd());
    for (t->first(); !t->eof(); t->next()) taskSites.push_back(t->asString("ftp"));
    EXPECT_EQ(taskSites, (std::vector<std::string>{"New", "Other", "New"}));
}

TEST_F(SiteEditorTest, ProfileListsAndAVanishedProfileStoresNone) {
    addProfile(app.dm().proxy(), "P1");
    addProfile(app.dm().proxy(), "P2");
    addProfile(app.dm().socks(), "S1");
    addSite(app.dm(), {.name = "Kept", .proxy = "P2", .socks = "S1"});
    addSite(app.dm(), {.name = "Gone", .proxy = "Removed", .socks = "s1"});

    withEditor([] { TForm4::EditSite(nullptr, QStringLiteral("Kept")); }, [](TForm4& e) {
        QStringList items;
        for (int i = 0; i < e.proxyCombo()->count(); ++i) items << e.proxyCombo()->itemText(i);
        EXPECT_EQ(items, (QStringList{"None", "P1", "P2"}));
        EXPECT_EQ(e.socksCombo()->count(), 2);
        EXPECT_EQ(e.proxyCombo()->currentText(), QStringLiteral("P2"));
        EXPECT_EQ(e.socksCombo()->currentText(), QStringLiteral("S1"));
        e.okButton()->click();
    });
    withEditor([] { TForm4::EditSite(nullptr, QStringLiteral("Gone")); }, [](TForm4& e) {
        EXPECT_EQ(e.proxyCombo()->currentText(), QStringLiteral("None"));
        // Profile names compare exactly: "s1" is not "S1".
        EXPECT_EQ(e.socksCombo()->currentText(), QStringLiteral("None"));
        e.okButton()->click();
    });
    store::TableScope t(app.dm().ftpsite());
    ASSERT_TRUE(t->locate("name", {std::string("Kept")}));
    EXPECT_EQ(t->asString("proxy"), "P2");
    EXPECT_EQ(t->asString("socks"), "S1");
    ASSERT_TRUE(t->locate("name", {std::string("Gone")}));
    EXPECT_EQ(t->asString("proxy"), "None");
    EXPECT_EQ(t->asString("socks"), "None");
}

TEST_F(SiteEditorTest, HiddenFieldsAndLongCommentsSurviveAnEdit) {
    QString comment;
    for (int i = 0; i < 400; ++i) comment += QStringLiteral("line %1 of a long comment\n").arg(i);
    comment += QStringLiteral("last line without break, ümlaut");
    addSite(app.dm(), {.name = "H", .comment = s(comment), .defaultpath = "/tmp/dl", .maxc = 7,
                       .vp = false, .autorefresh = true, .cnc = true});
    withEditor([] { TForm4::EditSite(nullptr, QStringLiteral("H")); }, [&](TForm4& e) {
        EXPECT_FALSE(e.defaultPathEdit()->isVisibleTo(&e));
        EXPECT_FALSE(e.newConnectionCheck()->isVisibleTo(&e));
        EXPECT_FALSE(e.maxJobsBox()->isVisibleTo(&e));
        EXPECT_EQ(e.commentEdit()->toPlainText(), comment);
        e.okButton()->click();
    });
    store::TableScope t(app.dm().ftpsite());
    ASSERT_TRUE(t->locate("name", {std::string("H")}));
    EXPECT_EQ(QString::fromUtf8(t->asString("comment")), comment);
    EXPECT_EQ(t->asString("defaultpath"), "/tmp/dl");
    EXPECT_TRUE(t->asBoolean("cnc"));
    EXPECT_EQ(t->asInteger("maxc"), 7);
    EXPECT_FALSE(t->asBoolean("vp"));
    EXPECT_TRUE(t->asBoolean("autorefresh"));
}

TEST_F(SiteEditorTest, ControlRules) {
    TForm4 e;
    // View Password acts at once.
    EXPECT_EQ(e.passwordEdit()->echoMode(), QLineEdit::Normal);
    e.viewPasswordCheck()->setChecked(false);
    EXPECT_EQ(e.passwordEdit()->echoMode(), QLineEdit::Password);
    // Max simultaneous jobs follows "Create new connection...".
    EXPECT_FALSE(e.maxJobsBox()->isEnabled());
    e.newConnectionCheck()->setChecked(true);
    EXPECT_TRUE(e.maxJobsBox()->isEnabled());
    e.newConnectionCheck()->setChecked(false);
    EXPECT_FALSE(e.maxJobsBox()->isEnabled());
    // Text that is not a number counts as the lower bound.
    for (TIntBox* box : {e.portBox(), e.timeoutBox(), e.retriesBox(), e.retryDelayBox()}) {
        box->findChild<QLineEdit*>()->setText(QStringLiteral("abc"));
        EXPECT_EQ(box->number(), 0);
        box->findChild<QLineEdit*>()->setText(QString());
        EXPECT_EQ(box->number(), 0);
    }
    e.maxJobsBox()->findChild<QLineEdit*>()->setText(QStringLiteral("x"));
    EXPECT_EQ(e.maxJobsBox()->number(), 1);
    e.maxJobsBox()->findChild<QLineEdit*>()->setText(QStringLiteral("99"));
    EXPECT_EQ(e.maxJobsBox()->number(), 10);
    // Boxes without range take large and negative values.
    e.portBox()->setNumber(70000);
    EXPECT_EQ(e.portBox()->number(), 70000);
    e.timeoutBox()->setNumber(-5);
    EXPECT_EQ(e.timeoutBox()->number(), -5);
}

TEST_F(SiteEditorTest, EditingMaskedSiteAndNonNumericBoxesStore) {
    addSite(app.dm(), {.name = "M", .vp = false});
    withEditor([] { TForm4::EditSite(nullptr, QStringLiteral("M")); }, [](TForm4& e) {
        EXPECT_EQ(e.passwordEdit()->echoMode(), QLineEdit::Password);
        e.timeoutBox()->findChild<QLineEdit*>()->setText(QStringLiteral("soon"));
        e.okButton()->click();
    });
    store::TableScope t(app.dm().ftpsite());
    ASSERT_TRUE(t->locate("name", {std::string("M")}));
    EXPECT_EQ(t->asInteger("timeout"), 0);
}

TEST_F(SiteEditorTest, CancelHelpAndMissingSites) {
    addSite(app.dm(), {.name = "C", .address = "c.example"});
    withEditor([] { TForm4::EditSite(nullptr, QStringLiteral("C")); }, [](TForm4& e) {
        EXPECT_EQ(TForm4::openEditors(), QList<TForm4*>{&e});
        e.addressEdit()->setText(QStringLiteral("x.example"));
        e.helpButton()->click();
        e.cancelButton()->click();
    });
    EXPECT_TRUE(TForm4::openEditors().isEmpty());
    ASSERT_EQ(app.dialogs().helpRequests.size(), 1);
    EXPECT_TRUE(app.dialogs().helpRequests[0].endsWith(QStringLiteral("Ostrafen.hlp|Overview")));
    {
        store::TableScope t(app.dm().ftpsite());
        ASSERT_TRUE(t->locate("name", {std::string("C")}));
        EXPECT_EQ(t->asString("address"), "c.example");
    }

    // No such site: no editor at all.
    bool opened = false;
    onNextModal([&](QDialog& d) { opened = true; d.reject(); });
    TForm4::EditSite(nullptr, QStringLiteral("c"));
    EXPECT_FALSE(opened);
    testing_support::clearModalHandlers();

    // Deleted while the editor was open: OK writes nothing and adds no row.
    withEditor([] { TForm4::EditSite(nullptr, QStringLiteral("C")); }, [this](TForm4& e) {
        {
            store::TableScope t(app.dm().ftpsite());
            ASSERT_TRUE(t->locate("name", {std::string("C")}));
            t->del();
        }
        e.okButton()->click();
    });
    EXPECT_EQ(siteCount(app.dm()), 0);
}

TEST_F(SiteEditorTest, SavingRefillsTheSiteList) {
    SiteListPane pane(nullptr);
    pane.FillList();
    ASSERT_EQ(pane.rowCount(), 1);
    withEditor([] { TForm4::NewSite(nullptr); }, [](TForm4& e) {
        e.nameEdit()->setText(QStringLiteral("Fresh"));
        e.addressEdit()->setText(QStringLiteral("fresh.example"));
        e.okButton()->click();
    });
    ASSERT_EQ(pane.rowCount(), 2);
    EXPECT_EQ(pane.rowText(1), QStringLiteral("Fresh"));
    EXPECT_EQ(pane.rowText(1, 1), QStringLiteral("fresh.example"));
}

}  // namespace
