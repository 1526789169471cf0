#pragma once
// A browser frame in an isolated program environment, with the site row it
// connects by and helpers that script the server's side of its conversations.
#include "browser/browser_frame.h"
#include "browser/connection_log.h"
#include "browser/remote_list_model.h"
#include "ftp/ftp_client.h"
#include "tests/support/core/ftp_script.h"
#include "tests/support/gui/app_fixture.h"
#include "tests/support/gui/store_rows.h"

#include <QItemSelectionModel>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace frametest {

inline bool waitFor(const std::function<bool()>& cond, int ms = 8000) {
    return testing_support::waitUntil(cond, ms);
}

struct SiteRow {
    std::string name = "Site";
    int port = 21;
    int rd = 1;
    int timeout = 5;
    bool pasv = true;
    bool autorefresh = false;
    std::string user = "bob", password = "pw";
    std::string proxy = "None", socks = "None";
};

inline void addSite(store::Tdm& dm, const SiteRow& s) {
    store::SiteRecord r = testing_support::loopbackSite(s.name, s.port);
    r.rd = s.rd;
    r.timeout = s.timeout;
    r.pasv = s.pasv;
    r.autorefresh = s.autorefresh;
    r.username = s.user;
    r.password = s.password;
    r.proxy = s.proxy;
    r.socks = s.socks;
    store::appendSite(dm, r);
}

using testing_support::setAntiIdle;

using Server = testing_support::ScriptedFtpServer;

inline Server& login(Server& s, const char* type = "TYPE I") { return testing_support::scriptLogin(s, type); }
inline Server& list(Server& s, const std::string& lines) { return testing_support::scriptList(s, lines); }
inline Server& pwd(Server& s, const std::string& dir) { return testing_support::scriptPwd(s, dir); }
inline Server& connectAndList(Server& s, const std::string& dir, const std::string& lines, bool again = false) {
    return testing_support::scriptConnectAndList(s, dir, lines, again);
}
using testing_support::dirLine;
using testing_support::fileLine;

class FrameTest : public ::testing::Test {
protected:
    testing_support::AppFixture app;
    std::unique_ptr<Tfb> frame;
    std::vector<int> tabImages;

    void makeFrame(const SiteRow& site) {
        addSite(app.dm(), site);
        frame = std::make_unique<Tfb>(app.dm());
        frame->setSitename(QString::fromStdString(site.name));
        QObject::connect(frame.get(), &Tfb::connectedChanged, [this](bool on) { tabImages.push_back(on ? 1 : 0); });
    }

    // Starts the scripted server and opens a page on it (the site's port set
    // to the server's), connecting unless told not to.
    void openOn(Server& srv, SiteRow site = {}, bool connectNow = true) {
        srv.start();
        site.port = srv.port();
        makeFrame(site);
        if (connectNow) frame->StartConnect(false);
    }

    browser::ConnectionSession& session() { return frame->session(); }

    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& r : frame->listing()) out.push_back(r.name);
        return out;
    }

    std::vector<std::string> logLines(int kind = -1) const {
        std::vector<std::string> out;
        for (const auto& e : frame->log()->entries())
            if (kind < 0 || e.kind == kind) out.push_back(e.text);
        return out;
    }

    bool logHas(const std::string& text, int kind) const {
        for (const auto& e : frame->log()->entries())
            if (e.text == text && e.kind == kind) return true;
        return false;
    }

    void selectRows(const std::vector<int>& rows) {
        QItemSelectionModel* sel = frame->remoteSelection();
        sel->clearSelection();
        for (int r : rows)
            sel->select(frame->remoteModel()->index(r, 0),
                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    int rowOf(const std::string& name) const {
        for (std::size_t i = 0; i < frame->listing().size(); ++i)
            if (frame->listing()[i].name == name) return static_cast<int>(i);
        return -1;
    }

    void expectModelConsistent() const {
        const auto* m = frame->remoteModel();
        ASSERT_EQ(m->rowCount(), static_cast<int>(frame->listing().size()));
        for (int i = 0; i < m->rowCount(); ++i)
            EXPECT_EQ(m->data(m->index(i, 0), Qt::DisplayRole).toString(),
                      browser::fromBytes(frame->listing()[static_cast<std::size_t>(i)].name));
    }
};

}  // namespace frametest
