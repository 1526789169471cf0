#pragma once
// A connected page with its transfer engine, and the entries and answers the
// engine tests need.
#include "tests/browser/frame_fixture.h"
#include "tests/support/core/real_servers.h"
#include "transfer/download_dialog.h"
#include "transfer/duplicate_dialog.h"
#include "transfer/frame_transfers.h"
#include "transfer/queue_model.h"

#include <QTimer>
#include <QTreeView>

#include <functional>

namespace enginetest {

using transfer::DuplicateButton;

class EngineTest : public frametest::FrameTest {
protected:
    transfer::FrameTransfers* engine = nullptr;
    testing_support::TempDir local;
    int asked = 0;

    // A page connected to 127.0.0.1:port as `user`, with its engine.
    void open(int port, const std::string& user = "bob", const std::string& password = "pw") {
        frametest::SiteRow site;
        site.port = port;
        site.user = user;
        site.password = password;
        makeFrame(site);
        engine = new transfer::FrameTransfers(*frame, app.dm());
        frame->StartConnect(false);
        ASSERT_TRUE(frametest::waitFor([&] { return frame->browsingEnabled(); }));
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
