// Faults of a page's connection that came from user actions running inside
// blocking calls: each test drives the frame into the event loop at the
// moment the fault needed, and checks the exact commands the server got.
#include "frame_fixture.h"

#include "ftp/ftp_client.h"

#include <QTimer>

#include <atomic>

using namespace frametest;

namespace {

// The login a reconnect makes: the type of the last listing survives.
Server& relogin(Server& s) { return login(s.acceptControl(), "TYPE A"); }

}  // namespace

// The confirmation box runs the event loop: a retry that reconnected there
// replaced the listing, and the row numbers taken before the box named
// other files afterwards.
TEST_F(FrameTest, DeleteActsOnTheConfirmedNameWhateverTimersDoMeanwhile) {
    Server srv;
    connectAndList(srv, "/", fileLine("c.txt", 1) + fileLine("precious.txt", 1));
    std::atomic<int> drops{0};
    srv.closeControl().call([&] { ++drops; });
    srv.acceptControl().greet("421 busy");  // the reconnect of "Refresh" fails: retry armed
    relogin(srv);
    pwd(srv, "/");
    srv.expect("CWD /", "250 ok").expect("DELE c.txt", "250 deleted");
    openOn(srv);
    ASSERT_EQ(names(), (std::vector<std::string>{"c.txt", "precious.txt"}));
    // The server is gone; "Refresh" finds out and its reconnect is refused.
    ASSERT_TRUE(waitFor([&] { return drops == 1 && !session().isOpen(); }));
    frame->Refresh();
    ASSERT_TRUE(session().retryTimer()->isActive());
    selectRows({rowOf("c.txt")});
    int ticks = 0;
    QObject::connect(session().retryTimer(), &QTimer::timeout, [&] { ++ticks; });
    app.dialogs().whileOpen = [&] {
        session().retryTimer()->start(0);
        waitFor([&] { return ticks > 0; });
    };
    frame->DeleteSelected();
    app.dialogs().whileOpen = nullptr;
    EXPECT_EQ(ticks, 1);
    ASSERT_TRUE(waitFor([&] { return srv.done(); })) << srv.failure();
    EXPECT_TRUE(srv.failure().empty()) << srv.failure();
    EXPECT_EQ(names(), std::vector<std::string>{"precious.txt"});
}

// An operation that must reconnect first acts in the folder on screen.
TEST_F(FrameTest, DeleteAfterALostConnectionReturnsToTheShownFolder) {
    Server srv;
    connectAndList(srv, "/home", dirLine("sub"));
    srv.expect("CWD sub", "250 ok");
    pwd(srv, "/home/sub");
    srv.expect("CWD /home/sub", "250 ok");
    pwd(srv, "/home/sub");
    list(srv, fileLine("x.txt", 1));
    std::atomic<int> drops{0};
    srv.closeControl().call([&] { ++drops; });
    relogin(srv);
    pwd(srv, "/home");
    srv.expect("CWD /home/sub", "250 ok").expect("DELE x.txt", "250 deleted");
    // A folder that cannot be entered again stops the operation.
    srv.closeControl().call([&] { ++drops; });
    relogin(srv);
    pwd(srv, "/home");
    srv.expect("CWD /home/sub", "550 gone");
    openOn(srv);
    selectRows({rowOf("sub")});
    frame->OpenSelectedFolder();
    ASSERT_EQ(names(), std::vector<std::string>{"x.txt"});
    ASSERT_TRUE(waitFor([&] { return drops == 1 && !session().isOpen(); }));
    selectRows({0});
    frame->DeleteSelected();
    EXPECT_TRUE(names().empty());
    EXPECT_EQ(frame->currentdir(), "/home/sub");

    ASSERT_TRUE(waitFor([&] { return drops == 2 && !session().isOpen(); }));
    app.dialogs().inputAnswers.push_back(QStringLiteral("newdir"));
    frame->MakeNewDirectory();
    ASSERT_TRUE(waitFor([&] { return srv.done(); })) << srv.failure();
    EXPECT_TRUE(srv.failure().empty()) << srv.failure();
    EXPECT_TRUE(logHas("550:gone", 2));
    EXPECT_TRUE(names().empty());
}

// A keep-alive command whose reply never came left the replies one behind.
TEST_F(FrameTest, AntiIdleTimeOutClosesTheConnection) {
    setAntiIdle(app.dm(), {"NOOP"}, 1);
    Server srv;
    connectAndList(srv, "/", "");
    srv.expect("NOOP").expectClosed();
    SiteRow site;
    site.timeout = 1;
    openOn(srv, site, false);
    session().antiIdleTimer()->setInterval(20);
    frame->StartConnect(false);
    ASSERT_TRUE(waitFor([&] { return srv.done(); }, 6000)) << srv.failure();
    EXPECT_TRUE(srv.failure().empty()) << srv.failure();
    EXPECT_TRUE(waitFor([&] { return !frame->connected(); }));
    EXPECT_TRUE(logHas("Read Timeout", 2));
}

// Closing and reopening a page while its connect still unwinds.
TEST_F(FrameTest, ReopeningDuringAnUnwindingConnectEndsConnectedAndListed) {
    Server srv;
    srv.silentUntilClosed();  // the first attempt waits for a greeting
    srv.acceptControl();
    connectAndList(srv, "/", fileLine("x", 1));
    SiteRow site;
    site.timeout = 8;
    openOn(srv, site, false);
    bool reopened = false;
    QTimer closer;
    closer.setInterval(5);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (reopened || session().busyCount() == 0 || srv.controlConnections() < 1) return;
        reopened = true;
        // What the main window does on "Close current page", then on opening the site again.
        frame->ClosePage();
        frame->StartConnect(false);
    });
    closer.start();
    frame->StartConnect(false);
    ASSERT_TRUE(waitFor([&] { return reopened; }));
    closer.stop();
    ASSERT_TRUE(waitFor([&] { return srv.done() && session().busyCount() == 0; })) << srv.failure();
    EXPECT_TRUE(srv.failure().empty()) << srv.failure();
    EXPECT_TRUE(frame->connected());
    EXPECT_EQ(names(), std::vector<std::string>{"x"});
    EXPECT_TRUE(frame->browsingEnabled());
}
