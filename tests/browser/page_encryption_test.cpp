// A page's encryption setting on the wire: plain sites as before, the
// certificate question and its three answers against a real TLS server, a
// certificate that changed, and a server that refuses required TLS.
#include "frame_fixture.h"

#include "dialogs/certificate_dialog.h"
#include "platform/ui/dialog_service.h"
#include "tests/support/core/tls_servers.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <fstream>

using namespace frametest;

namespace {

class EncryptedPage : public FrameTest {
protected:
    ~EncryptedPage() override { ui::setModalHandler({}); }

    void openPage(const store::SiteRecord& site) {
        store::appendSite(app.dm(), site);
        frame = std::make_unique<Tfb>(app.dm());
        frame->setSitename(QString::fromStdString(site.name));
    }
    static store::SiteRecord site(int port, const std::string& encryption, const std::string& name = "Site") {
        store::SiteRecord s = testing_support::loopbackSite(name, port);
        s.encryption = encryption;
        return s;
    }
    // The next certificate questions get `answer`; what they showed is kept.
    void answerPrompts(TForm16::Answer answer) {
        ui::setModalHandler([this, answer](QDialog& d) {
            auto& w = dynamic_cast<TForm16&>(d);
            ++prompts;
            shownFingerprint = w.fingerprintEdit()->text().toStdString();
            shownProblem = w.problemEdit()->text().toStdString();
            quickNote = w.quickNote() != nullptr;
            (answer == TForm16::TrustOnce     ? w.trustOnceButton()
             : answer == TForm16::TrustAlways ? w.trustAlwaysButton()
                                              : w.cancelButton())
                ->click();
        });
    }
    bool logContains(const std::string& part, int kind) const {
        const auto lines = logLines(kind);
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != l.npos; });
    }
    int logins() const {
        const auto sent = logLines(0);
        return static_cast<int>(std::count_if(sent.begin(), sent.end(), [](const auto& l) { return l.rfind("USER", 0) == 0; }));
    }

    int prompts = 0;
    bool quickNote = false;
    std::string shownFingerprint, shownProblem;
};

// A row from before the setting speaks exactly as before; a site saved with
// "plain" asks for the server's features and tries EPSV.
TEST_F(EncryptedPage, StoredPlainSitesSendNoAuthAndNewOnesAskFeatures) {
    {
        Server srv;
        connectAndList(srv, "/", fileLine("a", 1));
        srv.start();
        openPage(site(srv.port(), ""));
        frame->StartConnect(false);
        ASSERT_TRUE(srv.waitDone()) << srv.failure();
        EXPECT_EQ(session().encryptionState(), "Not encrypted");
    }
    Server srv;
    srv.greet("220 ready").expect("USER bob", "331 pw").expect("PASS pw", "230 in").expect("TYPE I", "200 ok");
    srv.expect("FEAT", "211-Features:\n SIZE\n211 End").expect("SYST", "215 UNIX");
    pwd(pwd(srv, "/"), "/").expect("CWD /", "250 ok").expect("TYPE A", "200 ok");
    pwd(srv, "/").expect("EPSV", "500 no").expectPasv().expect("LIST", "150 here");
    srv.sendData(fileLine("b", 1)).closeData().reply("226 done");
    srv.start();
    openPage(site(srv.port(), "plain", "Plain"));
    frame->StartConnect(false);
    ASSERT_TRUE(srv.waitDone()) << srv.failure();
    EXPECT_EQ(names(), std::vector<std::string>{"b"});
    EXPECT_TRUE(logHas("The connection is not encrypted.", 2));
}

// Retrying would meet the same refusal: no retry, and a setting this version
// does not know is not guessed at.
TEST_F(EncryptedPage, RefusedRequiredTlsAndUnknownModesAreNotRetried) {
    Server srv;
    srv.greet("220 ready").expect("AUTH TLS", "500 AUTH not understood").expectClosed();
    srv.start();
    openPage(site(srv.port(), "explicit"));
    frame->StartConnect(false);
    ASSERT_TRUE(srv.waitDone()) << srv.failure();
    EXPECT_FALSE(frame->browsingEnabled());
    EXPECT_TRUE(logContains("The server refused FTP over TLS (500 AUTH not understood)", 2));
    EXPECT_FALSE(logContains("Error occured", 2));
    EXPECT_FALSE(session().retryTimer()->isActive());

    openPage(site(1, "quantum", "Newer"));
    frame->StartConnect(false);
    EXPECT_EQ(logLines(), std::vector<std::string>{"The encryption setting <quantum> is not known to this version, so "
                                                   "the site is not connected. Choose one in the site editor."});
    EXPECT_FALSE(session().retryTimer()->isActive());
}

// --- against vsftpd with TLS required and session reuse on data connections

class RealServerTlsPage : public EncryptedPage {
protected:
    testing_support::VsftpdTlsServer ftp;
    std::string why;

    bool startServer() {
        if (!ftp.Start(&why)) return false;
        std::ofstream(std::filesystem::path(ftp.Account().Home) / "inside.txt") << "x";
        return true;
    }
    store::SiteRecord tlsSite(const std::string& encryption) {
        store::SiteRecord s = site(ftp.Port(), encryption);
        s.username = ftp.Account().User;
        s.password = ftp.Account().Password;
        return s;
    }
    void reconnect(TForm16::Answer answer) {
        answerPrompts(answer);
        frame->Disconnect();
        frame->StartConnect(false);
    }
    std::string storedFingerprint() { return store::findSite(app.dm(), "Site")->certfp; }
};

TEST_F(RealServerTlsPage, CancelTrustOnceAndTrustAlwaysWhichIsStoredAndNotAskedAgain) {
    if (!startServer()) GTEST_SKIP() << why;
    openPage(tlsSite("auto"));
    answerPrompts(TForm16::Cancel);
    frame->StartConnect(false);
    EXPECT_EQ(prompts, 1);
    EXPECT_NE(shownProblem.find("signed by itself"), std::string::npos) << shownProblem;
    EXPECT_EQ(shownFingerprint.size(), 95u) << shownFingerprint;  // 32 hex pairs and 31 colons
    EXPECT_FALSE(frame->browsingEnabled());
    EXPECT_TRUE(logContains("The server's certificate is not trusted", 2));
    EXPECT_EQ(logins(), 0);
    EXPECT_FALSE(session().retryTimer()->isActive());

    reconnect(TForm16::TrustOnce);
    ASSERT_TRUE(frame->browsingEnabled()) << ftp.Log();
    EXPECT_EQ(names(), std::vector<std::string>{"inside.txt"});
    EXPECT_EQ(session().encryptionState().rfind("Encrypted (TLSv1.", 0), 0u) << session().encryptionState();
    EXPECT_EQ(storedFingerprint(), "");

    // A site deleted while the question is open cannot keep it; the log says so.
    const store::SiteRecord copy = *store::findSite(app.dm(), "Site");
    frame->Disconnect();
    ui::setModalHandler([&](QDialog& d) {
        ++prompts;
        store::deleteSiteWithHistory(app.dm(), "Site");
        dynamic_cast<TForm16&>(d).trustAlwaysButton()->click();
    });
    frame->StartConnect(false);
    ASSERT_TRUE(frame->browsingEnabled());
    EXPECT_TRUE(logContains("saving it with the site failed: the site is no longer saved", 2));
    store::appendSite(app.dm(), copy);
    reconnect(TForm16::TrustAlways);
    ASSERT_TRUE(frame->browsingEnabled());
    EXPECT_EQ(prompts, 4);
    EXPECT_EQ(storedFingerprint(), shownFingerprint);
    // A new page finds the certificate in the store.
    frame = std::make_unique<Tfb>(app.dm());
    frame->setSitename(QStringLiteral("Site"));
    reconnect(TForm16::Cancel);
    ASSERT_TRUE(frame->browsingEnabled());
    EXPECT_EQ(prompts, 4);
}

TEST_F(RealServerTlsPage, AChangedCertificateIsRefusedWithAWarningAndNoQuestion) {
    if (!startServer()) GTEST_SKIP() << why;
    const std::string old = "AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89";
    store::SiteRecord s = tlsSite("explicit");
    s.certfp = old;
    openPage(s);
    answerPrompts(TForm16::TrustAlways);
    frame->StartConnect(false);
    EXPECT_EQ(prompts, 0);
    EXPECT_FALSE(frame->browsingEnabled());
    EXPECT_EQ(logins(), 0);
    ASSERT_EQ(app.dialogs().messages.size(), 1u);
    EXPECT_EQ(app.dialogs().messages[0].kind, ui::MsgKind::Warning);
    EXPECT_TRUE(app.dialogs().messages[0].text.contains(QString::fromStdString(old)));
    EXPECT_EQ(storedFingerprint(), old);
}

// Quick connections have no site row: "trust always" lasts for the page.
TEST_F(RealServerTlsPage, QuickConnectionTrustsAlwaysForThePageOnly) {
    if (!startServer()) GTEST_SKIP() << why;
    frame = std::make_unique<Tfb>(app.dm());
    frame->setSitename(QStringLiteral("127.0.0.1"));
    answerPrompts(TForm16::TrustAlways);
    store::QuickConnection typed{"127.0.0.1", ftp.Account().User, ftp.Account().Password, ftp.Port(), true, "explicit"};
    frame->StartConnect(browser::quickSettings(typed));
    ASSERT_TRUE(frame->browsingEnabled()) << ftp.Log();
    EXPECT_TRUE(quickNote);
    EXPECT_TRUE(logHas("The certificate is trusted until this page is closed.", 2));
    // The page's own reconnect trusts it without asking.
    frame->AbortOperation();
    ASSERT_TRUE(waitFor([&] { return logins() == 2 && frame->browsingEnabled(); })) << ftp.Log();
    EXPECT_EQ(prompts, 1);
    EXPECT_TRUE(store::allSites(app.dm()).empty());
}

}  // namespace
