#pragma once
// A browser frame in an isolated program environment, with the site row it
// connects by and helpers that script the server's side of its conversations.
#include "browser/browser_frame.h"
#include "browser/connection_log.h"
#include "browser/remote_list_model.h"
#include "ftp/ftp_client.h"
#include "tests/support/core/scripted_ftp_server.h"
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

// A reconnect logs in with the type set by the last listing ("TYPE A").
inline Server& login(Server& s, const char* type = "TYPE I") {
    return s.greet("220 ready")
        .expect("USER bob", "331 password please")
        .expect("PASS pw", "230 logged in")
        .expect(type, "200 type set")
        .expect("SYST", "215 UNIX Type: L8");
}

// One "LIST" over a passive data connection.
inline Server& list(Server& s, const std::string& lines) {
    return s.expectPasv().expect("LIST", "150 here").sendData(lines).closeData().reply("226 done");
}

inline Server& pwd(Server& s, const std::string& dir) {
    return s.expect("PWD", "257 \"" + dir + "\" is current");
}

// Login, the two PWDs and the first listing of the login folder.
inline Server& connectAndList(Server& s, const std::string& dir, const std::string& lines, bool again = false) {
    login(s, again ? "TYPE A" : "TYPE I");
    pwd(s, dir);
    pwd(s, dir);
    s.expect("CWD " + dir, "250 ok");
    if (!again) s.expect("TYPE A", "200 ascii");
    pwd(s, dir);
    return list(s, lines);
}

inline std::string dirLine(const std::string& name) {
    return "drwxr-xr-x   2 u g     4096 Jan 02  2024 " + name + "\r\n";
}
inline std::string fileLine(const std::string& name, long long size, const std::string& date = "Jan 03  2024") {
    return "-rw-r--r--   1 u g " + std::to_string(size) + " " + date + " " + name + "\r\n";
}

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
