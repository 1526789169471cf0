// Every operation of a page, interrupted at every wait that runs the event
// loop (each command's reply, each box): the server drops the connection,
// the timers fire, the user disconnects, aborts or closes the page. The
// server's script is exact, so a command sent in another folder, or any
// command after the interruption that was not asked for, fails the run; the
// page must end usable.
#include "frame_fixture.h"

#include <QTimer>

#include <algorithm>

using namespace frametest;

namespace {

const std::string kHome = dirLine("top") + fileLine("a.txt", 1) + dirLine("pics");

// One command of an operation and the server's answer.
struct Cmd {
    std::string line, reply;
    bool list = false;  // a LIST over a passive data connection, sending `data`
    std::string data{};
};

enum class Op { Browse, DeleteWalk, Export, MakeFolder, Rename };
enum class Cut { Drop, Timers, Disconnect, Abort, ClosePage };

struct Scenario {
    bool box = false;  // the operation asks first (a confirmation, a file, a name)
    std::vector<Cmd> cmds;
};

Scenario scenario(Op op) {
    switch (op) {
    case Op::Browse:
        return {false, {{"CWD /home", "250 ok"}, {"PWD", "257 \"/home\""}, {"LIST", "150 here", true, kHome}}};
    case Op::DeleteWalk:
        return {true,
                {{"CWD top", "250 ok"},
                 {"LIST", "150 here", true, fileLine("x", 1)},
                 {"DELE x", "250 gone"},
                 {"CWD ..", "250 ok"},
                 {"RMD top", "250 gone"}}};
    case Op::Export:
        return {true,
                {{"CWD /home", "250 ok"},
                 {"LIST", "150 here", true, dirLine("d") + fileLine("f", 1)},
                 {"CWD d", "250 ok"},
                 {"LIST", "150 here", true, ""},
                 {"CWD ..", "250 ok"},
                 {"CWD ..", "250 ok"},
                 {"CWD /home", "250 ok"}}};
    case Op::MakeFolder:
        return {true, {{"MKD newdir", "257 \"/home/newdir\" created"}}};
    case Op::Rename:
        return {false, {{"RNFR a.txt", "350 ready"}, {"RNTO b.txt", "250 renamed"}}};
    }
    return {};
}

class PageSweep : public FrameTest, public ::testing::WithParamInterface<std::tuple<Op, Cut>> {
protected:
    int runs = 0;

    // Lines of the script so far, to know when the server has read command k.
    int lines = 0;
    void add(Server& s, const Cmd& c) {
        if (c.list) s.expectPasv();
        s.expect(c.line, c.reply);
        if (c.list) s.sendData(c.data).closeData().reply("226 done");
        lines += c.list ? 2 : 1;
    }
    void connectScript(Server& s, bool again) {
        connectAndList(s, "/home", kHome, again);
        lines += again ? 10 : 11;
    }
    // What brings the page back after the cut, and the listing it ends with.
    void recovery(Server& s, Cut cut) {
        s.acceptControl();
        if (cut == Cut::Abort) {
            login(s, "TYPE A");
            s.expect("CWD /home", "250 ok");
            pwd(s, "/home");
            list(s, kHome);
        } else {
            connectAndList(s, "/home", kHome, true);
        }
    }

    void start(Op op) {
        switch (op) {
        case Op::Browse: frame->Refresh(); break;
        case Op::DeleteWalk:
            selectRows({rowOf("top")});
            frame->DeleteSelected();
            break;
        case Op::Export:
            app.dialogs().saveAnswers.push_back(app.path("export.txt"));
            frame->ExportWhole();
            break;
        case Op::MakeFolder:
            app.dialogs().inputAnswers.push_back(QStringLiteral("newdir"));
            frame->MakeNewDirectory();
            break;
        case Op::Rename: frame->RenameRemote("a.txt", "b.txt"); break;
        }
    }

    // The user's or the timers' part of a cut, run inside the operation's wait.
    void interrupt(Cut cut) {
        switch (cut) {
        case Cut::Drop: break;  // the server's part
        case Cut::Timers: {
            int retries = 0, idles = 0;
            auto a = QObject::connect(session().retryTimer(), &QTimer::timeout, [&] { ++retries; });
            auto b = QObject::connect(session().antiIdleTimer(), &QTimer::timeout, [&] { ++idles; });
            session().retryTimer()->start(0);
            session().antiIdleTimer()->start(0);
            EXPECT_TRUE(waitFor([&] { return retries > 0 && idles > 2; }));
            QObject::disconnect(a);
            QObject::disconnect(b);
            session().retryTimer()->stop();
            session().antiIdleTimer()->start(60000);
            break;
        }
        case Cut::Disconnect: frame->DisconnectButton(); break;
        case Cut::Abort: frame->AbortOperation(); break;
        case Cut::ClosePage: frame->ClosePage(); break;
        }
    }

    // One run: the operation cut at command `at` (-1: while its box is open).
    void runCutAt(Op op, Cut cut, int at) {
        SCOPED_TRACE("cut at " + std::to_string(at));
        Server srv;
        lines = 0;
        connectScript(srv, false);
        const Scenario sc = scenario(op);
        bool recovers = cut != Cut::Timers;
        int target = -1;  // transcript length at which the cut happens
        if (at < 0 && cut == Cut::Drop) {
            // The server goes away while the box is open; the operation then
            // connects again and returns to /home before it acts.
            srv.hold().closeControl().acceptControl();
            login(srv, "TYPE A");
            pwd(srv, "/home");
            srv.expect("CWD /home", "250 ok");
            for (const Cmd& c : sc.cmds) add(srv, c);
            recovers = false;
        } else if (at < 0) {
            if (cut == Cut::Abort) srv.expect("ABOR");
            if (cut != Cut::Timers) srv.expectClosed();
            if (cut == Cut::Timers)
                for (const Cmd& c : sc.cmds) add(srv, c);
        } else {
            for (int i = 0; i < at; ++i) add(srv, sc.cmds[static_cast<std::size_t>(i)]);
            const Cmd& c = sc.cmds[static_cast<std::size_t>(at)];
            if (c.list) srv.expectPasv();
            srv.expect(c.line);
            target = lines + (c.list ? 2 : 1);
            if (cut == Cut::Drop) {
                // The failing call notices by itself; nothing to do on this side.
                target = -1;
                srv.closeControl();
            } else {
                srv.hold();
                if (cut == Cut::Abort) srv.expect("ABOR");
                if (cut == Cut::Timers) {
                    srv.reply(c.reply);
                    if (c.list) srv.sendData(c.data).closeData().reply("226 done");
                    for (std::size_t i = static_cast<std::size_t>(at) + 1; i < sc.cmds.size(); ++i)
                        add(srv, sc.cmds[i]);
                } else {
                    srv.expectClosed();
                }
            }
        }
        if (recovers) recovery(srv, cut);
        srv.start();

        SiteRow site;
        site.name = "Sweep" + std::to_string(++runs);
        site.port = srv.port();
        makeFrame(site);
        frame->StartConnect(false);
        ASSERT_TRUE(frame->browsingEnabled()) << srv.failure();

        bool cutDone = at >= 0 && cut == Cut::Drop;
        QTimer poller;
        poller.setInterval(2);
        QObject::connect(&poller, &QTimer::timeout, [&] {
            if (cutDone || target < 0 || static_cast<int>(srv.transcript().size()) < target) return;
            cutDone = true;
            interrupt(cut);
            srv.release();
        });
        if (at < 0) {
            app.dialogs().whileOpen = [&] {
                cutDone = true;
                if (cut == Cut::Drop) {
                    srv.release();
                    EXPECT_TRUE(waitFor([&] { return !session().isOpen(); }));
                } else {
                    interrupt(cut);
                }
            };
        }
        poller.start();
        start(op);
        poller.stop();
        app.dialogs().whileOpen = nullptr;
        EXPECT_TRUE(cutDone);

        if (recovers && cut != Cut::Abort) {
            ASSERT_TRUE(waitFor([&] { return session().idle(); }));
            if (cut == Cut::Disconnect)
                frame->DisconnectButton();
            else if (cut == Cut::ClosePage)
                frame->StartConnect(false);
            else
                frame->Refresh();
        }
        ASSERT_TRUE(waitFor([&] { return srv.done() && session().idle() && frame->browsingEnabled(); }))
            << srv.failure();
        EXPECT_TRUE(srv.failure().empty()) << srv.failure();
        EXPECT_TRUE(frame->connected());
        EXPECT_EQ(frame->currentdir(), "/home");
        if (recovers) {
            std::vector<std::string> shown = names();
            std::sort(shown.begin(), shown.end());
            EXPECT_EQ(shown, (std::vector<std::string>{"a.txt", "pics", "top"}));
        }
        expectModelConsistent();
        frame.reset();
    }
};

TEST_P(PageSweep, EveryWaitOfTheOperation) {
    const auto [op, cut] = GetParam();
    const Scenario sc = scenario(op);
    if (sc.box) runCutAt(op, cut, -1);
    for (int at = 0; at < static_cast<int>(sc.cmds.size()); ++at) {
        runCutAt(op, cut, at);
        if (HasFatalFailure()) return;
    }
}

std::string caseName(const ::testing::TestParamInfo<std::tuple<Op, Cut>>& info) {
    static const char* ops[] = {"Browse", "DeleteWalk", "Export", "MakeFolder", "Rename"};
    static const char* cuts[] = {"Drop", "Timers", "Disconnect", "Abort", "ClosePage"};
    return std::string(ops[static_cast<int>(std::get<0>(info.param))]) +
           cuts[static_cast<int>(std::get<1>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(Page, PageSweep,
                         ::testing::Combine(::testing::Values(Op::Browse, Op::DeleteWalk, Op::Export,
                                                              Op::MakeFolder, Op::Rename),
                                            ::testing::Values(Cut::Drop, Cut::Timers, Cut::Disconnect,
                                                              Cut::Abort, Cut::ClosePage)),
                         caseName);

}  // namespace
