#pragma once
// A connected page with its transfer engine, the server's side of its
// conversations, and the entries and answers the engine tests need. (The
// browser tests' frame fixture is out of reach here: test folders include
// only their own folder's rules and tests/support.)
#include "browser/browser_frame.h"
#include "browser/connection_log.h"
#include "browser/remote_list_model.h"
#include "tests/support/core/real_servers.h"
#include "tests/support/core/ftp_script.h"
#include "tests/support/gui/app_fixture.h"
#include "tests/support/gui/store_rows.h"
#include "transfer/download_dialog.h"
#include "transfer/duplicate_dialog.h"
#include "transfer/frame_transfers.h"
#include "transfer/queue_model.h"

#include <QItemSelectionModel>
#include <QTimer>
#include <QTreeView>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace enginetest {

using transfer::DuplicateButton;
using Server = testing_support::ScriptedFtpServer;

inline bool waitFor(const std::function<bool()>& cond, int ms = 8000) { return testing_support::waitUntil(cond, ms); }

inline Server& login(Server& s, const char* type = "TYPE I") { return testing_support::scriptLogin(s, type); }
inline Server& list(Server& s, const std::string& lines) { return testing_support::scriptList(s, lines); }
inline Server& pwd(Server& s, const std::string& dir) { return testing_support::scriptPwd(s, dir); }
inline Server& connectAndList(Server& s, const std::string& dir, const std::string& lines) {
    return testing_support::scriptConnectAndList(s, dir, lines);
}
using testing_support::fileLine;

class EngineTest : public ::testing::Test {
protected:
    testing_support::AppFixture app;
    std::unique_ptr<Tfb> frame;
    transfer::FrameTransfers* engine = nullptr;
    testing_support::TempDir local;
    int asked = 0;

    // A page of the site `name` on 127.0.0.1:port, connected, with its engine.
    void open(int port, const std::string& user = "bob", const std::string& password = "pw",
              Tfb* page = nullptr, const std::string& name = "Site") {
        store::SiteRecord site = testing_support::loopbackSite(name, port);
        site.username = user;
        site.password = password;
        store::appendSite(app.dm(), site);
        if (!page) {
            frame = std::make_unique<Tfb>(app.dm());
            page = frame.get();
            engine = new transfer::FrameTransfers(*page, app.dm());
        }
        page->setSitename(QString::fromStdString(name));
        page->StartConnect(false);
        ASSERT_TRUE(waitFor([&] { return page->browsingEnabled(); }));
    }
    // The next duplicate dialog answers with this button.
    void answer(DuplicateButton b) {
        testing_support::onNextModal([this, b](QDialog& d) {
            ++asked;
            auto& dialog = static_cast<TForm9&>(d);
            if (b == DuplicateButton::Rename)
                dialog.onRename();
            else
                dialog.onButton(b);
        });
    }
    rupdown down(const std::string& name, std::int64_t size, const std::string& folder = "/home") {
        rupdown e;
        e.direction = 1;
        e.name = name;
        e.size = size;
        e.remotedir = folder;
        e.localpath = local.File(name);
        return e;
    }
    QString upFile(const std::string& name, const std::string& bytes) {
        testing_support::WriteWholeFile(local.File(name), bytes);
        return QString::fromStdString(local.File(name));
    }
    int state(std::uint64_t id) { return engine->model().stateOf(id); }
    std::vector<std::string> history(const char* field) { return testing_support::column(app.dm().hdital(), field); }
    bool idle() { return !engine->running() && frame->progressStrip()->isHidden(); }
    std::vector<std::string> logLines(int kind) const {
        std::vector<std::string> out;
        for (const auto& e : frame->log()->entries())
            if (e.kind == kind) out.push_back(e.text);
        return out;
    }
    void selectRow(const std::string& name) {
        QItemSelectionModel* sel = frame->remoteSelection();
        sel->clearSelection();
        for (std::size_t i = 0; i < frame->listing().size(); ++i)
            if (frame->listing()[i].name == name)
                sel->select(frame->remoteModel()->index(static_cast<int>(i), 0),
                            QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    bool logEndsWith(const std::string& tail) {
        for (const std::string& l : logLines(2))
            if (l.size() >= tail.size() && l.compare(l.size() - tail.size(), tail.size(), tail) == 0) return true;
        return false;
    }
    // Runs `act` once `cond` holds, from inside whatever wait the page is in
    // (as a click or a timer would).
    void once(std::function<bool()> cond, std::function<void()> act) {
        auto* t = new QTimer(frame.get());
        t->setInterval(1);
        QObject::connect(t, &QTimer::timeout, t, [t, cond, act] {
            if (!cond()) return;
            t->stop();
            act();
        });
        t->start();
    }
};

}  // namespace enginetest
