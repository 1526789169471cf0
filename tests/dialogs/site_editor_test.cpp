// Site editor: what OK stores for new and edited sites, the checks it makes
// first, and the controls' own rules.
#include "dialogs/site_editor.h"
#include "tests/support/gui/app_fixture.h"
#include "tests/support/gui/store_rows.h"

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

// A site row with the editor's defaults; `extra` changes fields before saving.
void addSite(store::Tdm& dm, const std::string& name, const std::string& address = "h.example",
             const std::function<void(store::Table&)>& extra = {}) {
    store::TableScope t(dm.ftpsite());
    t->append();
    t->setString("name", name);
    t->setString("address", address);
    t->setString("proxy", "None");
    t->setString("socks", "None");
    t->setString("cdate", "2001-02-03 04:05:06");
    t->setBoolean("vp", true);
    t->setInteger("maxc", 1);
    if (extra) extra(*t);
    t->post();
}

using testing_support::column;

std::string field(store::Tdm& dm, const std::string& site, const std::string& name) {
    store::TableScope t(dm.ftpsite());
    if (!t->locate("name", {site})) return "<no site>";
    return t->asString(name);
}

QString nowText() {
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

class SiteEditorTest : public AppTest {
protected:
    // Runs the editor as its callers do, with `fill` acting on it instead of the user.
    TForm4::Outcome newSite(std::function<void(TForm4&)> fill) {
        onNextModal([fill](QDialog& d) { fill(static_cast<TForm4&>(d)); });
        return TForm4::NewSite(nullptr, app.dm());
    }
    TForm4::Outcome editSite(const char* name, std::function<void(TForm4&)> fill) {
        onNextModal([fill](QDialog& d) { fill(static_cast<TForm4&>(d)); });
        return TForm4::EditSite(nullptr, app.dm(), QString::fromUtf8(name));
    }
};

TEST_F(SiteEditorTest, NewSiteStoresDefaultsAndSaveTime) {
    const QString before = nowText();
    newSite([](TForm4& e) {
        EXPECT_EQ(e.windowTitle(), QStringLiteral("New FTP Site"));
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
    EXPECT_TRUE(t->asBoolean("vp") && t->asBoolean("pasv"));
    EXPECT_FALSE(t->asBoolean("autorefresh") || t->asBoolean("cnc"));
    EXPECT_EQ(t->asInteger("timeout"), 30);
    EXPECT_EQ(t->asInteger("nor"), 20);
    EXPECT_EQ(t->asInteger("rd"), 10);
    EXPECT_EQ(t->asInteger("maxc"), 1);
    EXPECT_EQ(t->asString("proxy"), "None");
    EXPECT_EQ(t->asString("socks"), "None");
    EXPECT_EQ(t->asString("comment") + t->asString("defaultpath"), "");
    const QString cdate = QString::fromUtf8(t->asString("cdate"));
    EXPECT_EQ(cdate, QString::fromUtf8(t->asString("zdate")));
    EXPECT_TRUE(cdate >= before && cdate <= after) << cdate.toStdString();
}

TEST_F(SiteEditorTest, ChecksRunInOrderAndKeepTheEditorOpen) {
    addSite(app.dm(), "Site");
    newSite([this](TForm4& e) {
        auto pressOk = [&] {
            app.dialogs().clear();
            e.pages()->setCurrentWidget(e.advancePage());
            e.okButton()->click();
            EXPECT_NE(e.result(), QDialog::Accepted);
            return app.dialogs().messageTexts();
        };
        EXPECT_EQ(pressOk(), QStringList{"Please enter name."});
        EXPECT_EQ(app.dialogs().messages.at(0).kind, ui::MsgKind::Warning);
        EXPECT_EQ(e.pages()->currentWidget(), e.loginPage());
        EXPECT_EQ(e.focusWidget(), e.nameEdit());

        e.nameEdit()->setText(QStringLiteral("Site"));
        EXPECT_EQ(pressOk(), QStringList{"Please enter the address of the FTP site."});
        EXPECT_EQ(e.pages()->currentWidget(), e.loginPage());
        EXPECT_EQ(e.focusWidget(), e.addressEdit());

        e.addressEdit()->setText(QStringLiteral("other.example"));
        EXPECT_EQ(pressOk(), QStringList{"The name Site was existed, please re-enter."});
        EXPECT_EQ(e.focusWidget(), e.nameEdit());

        // Letter case makes it another name.
        e.nameEdit()->setText(QStringLiteral("site"));
        e.okButton()->click();
        EXPECT_EQ(e.result(), QDialog::Accepted);
    });
    EXPECT_EQ(column(app.dm().ftpsite(), "name"), (std::vector<std::string>{"Site", "site"}));
    EXPECT_EQ(field(app.dm(), "Site", "address"), "h.example");
}

TEST_F(SiteEditorTest, EditRenameChecksOnlyChangedNamesAndCarriesTasksAndPages) {
    addSite(app.dm(), "One", "one.example");
    addSite(app.dm(), "Two", "two.example");
    {
        store::TableScope t(app.dm().taskd());
        for (const char* site : {"One", "Other", "One"}) {
            t->append();
            t->setString("ftp", site);
            t->post();
        }
    }
    editSite("One", [this](TForm4& e) {
        EXPECT_EQ(e.windowTitle(), QStringLiteral("Edit FTP Site"));
        EXPECT_EQ(e.addressEdit()->text(), QStringLiteral("one.example"));
        e.nameEdit()->setText(QStringLiteral("Two"));
        e.addressEdit()->setText(QStringLiteral("changed.example"));
        e.okButton()->click();
        EXPECT_EQ(app.dialogs().messageTexts(), QStringList{"The name Two was existed, please re-enter."});
        e.reject();
    });
    EXPECT_EQ(field(app.dm(), "One", "address"), "one.example");
    EXPECT_EQ(field(app.dm(), "Two", "address"), "two.example");

    // Saved under its own name: no check, and both dates restamped.
    const QString before = nowText();
    editSite("Two", [](TForm4& e) { e.okButton()->click(); });
    EXPECT_EQ(app.dialogs().messages.size(), 1u);
    EXPECT_GE(QString::fromUtf8(field(app.dm(), "Two", "cdate")), before);
    EXPECT_EQ(field(app.dm(), "Two", "cdate"), field(app.dm(), "Two", "zdate"));

    const TForm4::Outcome renamed = editSite("One", [](TForm4& e) {
        e.nameEdit()->setText(QStringLiteral("New"));
        e.okButton()->click();
    });
    EXPECT_EQ(column(app.dm().ftpsite(), "name"), (std::vector<std::string>{"New", "Two"}));
    // The opener makes open pages follow the new name.
    EXPECT_EQ(renamed.savedName, QStringLiteral("New"));
    EXPECT_EQ(column(app.dm().taskd(), "ftp"), (std::vector<std::string>{"New", "Other", "New"}));
}

TEST_F(SiteEditorTest, ProfileListsAndAVanishedProfileStoresNone) {
    for (const char* p : {"P1", "P2"}) {
        store::TableScope t(app.dm().proxy());
        t->append();
        t->setString("name", p);
        t->post();
    }
    {
        store::TableScope t(app.dm().socks());
        t->append();
        t->setString("name", "S1");
        t->post();
    }
    auto profiles = [](const char* proxy, const char* socks) {
        return [=](store::Table& t) {
            t.setString("proxy", proxy);
            t.setString("socks", socks);
        };
    };
    addSite(app.dm(), "Kept", "k", profiles("P2", "S1"));
    addSite(app.dm(), "Gone", "g", profiles("Removed", "s1"));

    editSite("Kept", [](TForm4& e) {
        QStringList items;
        for (int i = 0; i < e.proxyCombo()->count(); ++i) items << e.proxyCombo()->itemText(i);
        EXPECT_EQ(items, (QStringList{"None", "P1", "P2"}));
        EXPECT_EQ(e.socksCombo()->count(), 2);
        EXPECT_EQ(e.proxyCombo()->currentText(), QStringLiteral("P2"));
        EXPECT_EQ(e.socksCombo()->currentText(), QStringLiteral("S1"));
        e.okButton()->click();
    });
    // Profile names compare exactly: "s1" is not "S1".
    editSite("Gone", [](TForm4& e) {
        EXPECT_EQ(e.proxyCombo()->currentText() + e.socksCombo()->currentText(), "NoneNone");
        e.okButton()->click();
    });
    EXPECT_EQ(field(app.dm(), "Kept", "proxy") + field(app.dm(), "Kept", "socks"), "P2S1");
    EXPECT_EQ(field(app.dm(), "Gone", "proxy") + field(app.dm(), "Gone", "socks"), "NoneNone");
}

TEST_F(SiteEditorTest, HiddenFieldsLongCommentsAndMaskingSurviveAnEdit) {
    QString comment;
    for (int i = 0; i < 400; ++i) comment += QStringLiteral("line %1 of a long comment\n").arg(i);
    comment += QStringLiteral("last line without break, ümlaut");
    addSite(app.dm(), "H", "h", [&](store::Table& t) {
        t.setString("comment", comment.toUtf8().toStdString());
        t.setString("defaultpath", "/tmp/dl");
        t.setBoolean("cnc", true);
        t.setInteger("maxc", 7);
        t.setBoolean("vp", false);
        t.setBoolean("autorefresh", true);
    });
    editSite("H", [&](TForm4& e) {
        EXPECT_FALSE(e.defaultPathEdit()->isVisibleTo(&e));
        EXPECT_FALSE(e.newConnectionCheck()->isVisibleTo(&e));
        EXPECT_FALSE(e.maxJobsBox()->isVisibleTo(&e));
        EXPECT_EQ(e.commentEdit()->toPlainText(), comment);
        EXPECT_EQ(e.passwordEdit()->echoMode(), QLineEdit::Password);
        e.timeoutBox()->findChild<QLineEdit*>()->setText(QStringLiteral("soon"));
        e.okButton()->click();
    });
    EXPECT_EQ(QString::fromUtf8(field(app.dm(), "H", "comment")), comment);
    EXPECT_EQ(field(app.dm(), "H", "defaultpath"), "/tmp/dl");
    EXPECT_EQ(field(app.dm(), "H", "maxc"), "7");
    EXPECT_EQ(field(app.dm(), "H", "timeout"), "0");
    store::TableScope t(app.dm().ftpsite());
    ASSERT_TRUE(t->locate("name", {std::string("H")}));
    EXPECT_TRUE(t->asBoolean("cnc") && t->asBoolean("autorefresh"));
    EXPECT_FALSE(t->asBoolean("vp"));
}

TEST_F(SiteEditorTest, ControlRules) {
    TForm4 e(app.dm());
    EXPECT_EQ(e.passwordEdit()->echoMode(), QLineEdit::Normal);
    e.viewPasswordCheck()->setChecked(false);
    EXPECT_EQ(e.passwordEdit()->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(e.maxJobsBox()->isEnabled());
    e.newConnectionCheck()->setChecked(true);
    EXPECT_TRUE(e.maxJobsBox()->isEnabled());
    // Text that is not a number counts as the lower bound.
    for (TIntBox* box : {e.portBox(), e.timeoutBox(), e.retriesBox(), e.retryDelayBox()}) {
        for (const char* text : {"abc", ""}) {
            box->findChild<QLineEdit*>()->setText(QString::fromLatin1(text));
            EXPECT_EQ(box->number(), 0) << text;
        }
    }
    QLineEdit* jobs = e.maxJobsBox()->findChild<QLineEdit*>();
    jobs->setText(QStringLiteral("x"));
    EXPECT_EQ(e.maxJobsBox()->number(), 1);
    jobs->setText(QStringLiteral("99"));
    EXPECT_EQ(e.maxJobsBox()->number(), 10);
    // Boxes without range take any value.
    e.portBox()->setNumber(70000);
    e.timeoutBox()->setNumber(-5);
    EXPECT_EQ(e.portBox()->number() + e.timeoutBox()->number(), 69995);
}

TEST_F(SiteEditorTest, CancelHelpAndSitesThatAreGone) {
    addSite(app.dm(), "C", "c.example");
    const TForm4::Outcome cancelled = editSite("C", [](TForm4& e) {
        e.addressEdit()->setText(QStringLiteral("x.example"));
        e.helpButton()->click();
        e.cancelButton()->click();
    });
    EXPECT_EQ(cancelled.result, QDialog::Rejected);
    EXPECT_TRUE(cancelled.savedName.isEmpty());
    EXPECT_EQ(app.dialogs().helpRequests.size(), 1);
    EXPECT_TRUE(app.dialogs().helpRequests.value(0).endsWith("Ostrafen.hlp|Overview"));
    EXPECT_EQ(field(app.dm(), "C", "address"), "c.example");

    bool opened = false;
    editSite("c", [&](TForm4& e) { opened = true; e.reject(); });
    EXPECT_FALSE(opened);
    testing_support::clearModalHandlers();

    // Deleted while the editor was open: OK writes nothing and adds no row.
    const TForm4::Outcome gone = editSite("C", [this](TForm4& e) {
        {
            store::TableScope t(app.dm().ftpsite());
            ASSERT_TRUE(t->locate("name", {std::string("C")}));
            t->del();
        }
        e.okButton()->click();
    });
    EXPECT_TRUE(column(app.dm().ftpsite(), "name").empty());
    EXPECT_TRUE(gone.savedName.isEmpty());
}

}  // namespace

namespace {

// New sites default to TLS if available; implicit TLS moves a port left at 21
// to 990 and back, never a port of the user's own nor one being loaded.
TEST_F(SiteEditorTest, EncryptionDefaultsAndMovesOnlyTheUsualPort) {
    addSite(app.dm(), "Implicit", "i.example", [](store::Table& t) {
        t.setString("encryption", "implicit");
        t.setInteger("port", 21);
    });
    newSite([](TForm4& e) {
        EXPECT_EQ(e.encryptionCombo()->currentIndex(), 0);
        e.encryptionCombo()->setCurrentIndex(2);
        EXPECT_EQ(e.portBox()->number(), 990);
        e.encryptionCombo()->setCurrentIndex(1);
        EXPECT_EQ(e.portBox()->number(), 21);
        e.portBox()->setNumber(2121);
        e.encryptionCombo()->setCurrentIndex(2);
        EXPECT_EQ(e.portBox()->number(), 2121);
        e.encryptionCombo()->setCurrentIndex(0);
        e.nameEdit()->setText(QStringLiteral("Default"));
        e.addressEdit()->setText(QStringLiteral("d.example"));
        e.okButton()->click();
    });
    EXPECT_EQ(field(app.dm(), "Default", "encryption"), "auto");
    editSite("Implicit", [](TForm4& e) {
        EXPECT_EQ(e.encryptionCombo()->currentIndex(), 2);
        EXPECT_EQ(e.portBox()->number(), 21);
        e.encryptionCombo()->setCurrentIndex(3);
        e.okButton()->click();
    });
    EXPECT_EQ(field(app.dm(), "Implicit", "encryption"), "plain");
}

// Rows from before the setting stay plain FTP as spoken before, and a word
// from a newer version survives, until a mode is chosen; a trusted
// certificate stays until "Forget", also one a page saved meanwhile.
TEST_F(SiteEditorTest, StoredEncryptionAndCertificateSurviveUnchosenEdits) {
    const std::string pin(95, 'A');
    addSite(app.dm(), "Old");
    addSite(app.dm(), "Newer", "n.example", [&](store::Table& t) {
        t.setString("encryption", "quantum");
        t.setString("certfp", pin);
    });
    editSite("Old", [&](TForm4& e) {
        EXPECT_EQ(e.encryptionCombo()->currentIndex(), 3);
        EXPECT_FALSE(e.forgetCertificateButton()->isEnabled());
        store::setSiteCertificate(app.dm(), store::findSite(app.dm(), "Old")->id, pin);
        e.okButton()->click();
    });
    EXPECT_EQ(field(app.dm(), "Old", "encryption"), "");
    EXPECT_EQ(field(app.dm(), "Old", "certfp"), pin);
    editSite("Newer", [&](TForm4& e) {
        EXPECT_EQ(e.encryptionCombo()->currentIndex(), -1);
        EXPECT_EQ(e.certificateEdit()->text().toStdString(), pin);
        e.okButton()->click();
    });
    EXPECT_EQ(field(app.dm(), "Newer", "encryption"), "quantum");
    EXPECT_EQ(field(app.dm(), "Newer", "certfp"), pin);
    editSite("Newer", [](TForm4& e) {
        e.encryptionCombo()->setCurrentIndex(1);
        e.forgetCertificateButton()->click();
        e.okButton()->click();
    });
    EXPECT_EQ(field(app.dm(), "Newer", "encryption"), "explicit");
    EXPECT_EQ(field(app.dm(), "Newer", "certfp"), "");
}

}  // namespace
