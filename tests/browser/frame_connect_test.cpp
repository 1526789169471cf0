// Connecting, retrying, the log, anti-idle and disconnecting, against a
// scripted server.
#include "frame_fixture.h"

#include "tests/support/core/real_servers.h"

#include <QAction>
#include <QSignalSpy>
#include <QTimer>

using namespace frametest;

TEST_F(FrameTest, ConnectLogsInListsAndEnablesBrowsing) {
    Server srv;
    connectAndList(srv, "/home/u", dirLine("sub") + fileLine("a.txt", 1536));
    openOn(srv, {}, false);
    QSignalSpy connectedSpy(frame.get(), &Tfb::connectedChanged);
    frame->StartConnect(false);
    ASSERT_TRUE(srv.waitDone()) << srv.failure();
    EXPECT_TRUE(srv.failure().empty()) << srv.failure();

    EXPECT_TRUE(frame->connected());
    EXPECT_EQ(frame->currentdir(), "/home/u");
    EXPECT_EQ(frame->initialdir(), "/home/u");
    EXPECT_EQ(frame->tabImage(), 1);
    ASSERT_EQ(connectedSpy.count(), 1);
    EXPECT_TRUE(frame->browsingEnabled());
    EXPECT_TRUE(frame->action("Refresh")->isEnabled());
    EXPECT_TRUE(frame->action("Abort operation")->isEnabled());
    // Folders come first (sorted by type), and rows carry display texts.
    EXPECT_EQ(names(), (std::vector<std::string>{"sub", "a.txt"}));
    EXPECT_EQ(frame->listing()[1].sizetext, "2KB");
    EXPECT_EQ(frame->listing()[1].modified, "2024-01-03 00:00:00");
    expectModelConsistent();

    const auto lines = logLines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "Connecting 127.0.0.1");
    EXPECT_TRUE(logHas("Connecting 127.0.0.1", 0));
    EXPECT_TRUE(logHas("220 ready", 1));
    EXPECT_TRUE(logHas("USER bob", 0));
    EXPECT_TRUE(logHas("LIST", 0));
    EXPECT_TRUE(logHas("226 done", 1));
    // The zdate of the site row was written.
    store::TableScope t(app.dm().ftpsite());
    ASSERT_TRUE(t->locate("name", {std::string("Site")}));
    EXPECT_EQ(t->asString("zdate").size(), 19u);
}

TEST_F(FrameTest, MissingSiteShowsErrorAndLogsNothing) {
    makeFrame(SiteRow{});
    frame->setSitename("Gone");
    frame->StartConnect(false);
    EXPECT_EQ(app.dialogs().messageTexts(), QStringList{"Can not read the information of the FTP site."});
    EXPECT_TRUE(logLines().empty());
    EXPECT_FALSE(session().retryTimer()->isActive());
}

TEST_F(FrameTest, RefusedConnectionIsRetriedEveryDelay) {
    const int port = testing_support::FreeLoopbackPort();
    SiteRow site;
    site.port = port;
    site.rd = 1;
    makeFrame(site);
    QElapsedTimer clock;
    clock.start();
    frame->StartConnect(false);
    EXPECT_EQ(logLines(), (std::vector<std::string>{"Connecting 127.0.0.1", "Error occured,wait 1 second for retry"}));
    EXPECT_TRUE(logHas("Error occured,wait 1 second for retry", 2));
    EXPECT_TRUE(session().retryTimer()->isActive());
    ASSERT_TRUE(waitFor([&] { return logLines().size() >= 4; }, 5000));
    EXPECT_GE(clock.elapsed(), 900);
    EXPECT_EQ(logLines()[2], "Connecting 127.0.0.1");
    EXPECT_EQ(logLines()[3], "Error occured,wait 1 second for retry");
    EXPECT_TRUE(session().retryTimer()->isActive());

    // "Disconnect" stops the retries.
    frame->DisconnectButton();
    EXPECT_FALSE(session().retryTimer()->isActive());
    EXPECT_TRUE(logHas("Disconnected from server.", 2));
    EXPECT_TRUE(frame->disconnectShowsConnect());
}

TEST_F(FrameTest, RetryDelayZeroNeverRetries) {
    SiteRow site;
    site.port = testing_support::FreeLoopbackPort();
    site.rd = 0;
    makeFrame(site);
    frame->StartConnect(false);
    EXPECT_TRUE(logHas("Error occured,wait 0 second for retry", 2));
    EXPECT_FALSE(session().retryTimer()->isActive());
}

TEST_F(FrameTest, RefusedLoginIsRetriedUntilItSucceeds) {
    Server srv;
    srv.greet("220 ready").expect("USER bob", "530 not now").acceptControl();
    connectAndList(srv, "/", fileLine("x", 1));
    openOn(srv);
    EXPECT_TRUE(logHas("Error occured,wait 1 second for retry", 2));
    ASSERT_TRUE(waitFor([&] { return frame->connected() && frame->browsingEnabled(); }, 6000)) << srv.failure();
    ASSERT_TRUE(srv.waitDone()) << srv.failure();
    EXPECT_TRUE(srv.failure().empty()) << srv.failure();
    EXPECT_EQ(tabImages, (std::vector<int>{1, 0, 1}));
    EXPECT_EQ(names(), std::vector<std::string>{"x"});
    EXPECT_EQ(srv.controlConnections(), 2);
}

TEST_F(FrameTest, AntiIdleSendsAnEnabledCommandAfterTheIdleTime) {
    setAntiIdle(app.dm(), {"NOOP"}, 2);
    Server srv;
    connectAndList(srv, "/", "").expect("NOOP", "200 fine");
    openOn(srv, {}, false);
    session().antiIdleTimer()->setInterval(30);  // one idle "second" per 30 ms
    frame->StartConnect(false);
    EXPECT_EQ(session().options().antiidlecmds, std::vector<std::string>{"NOOP"});
    EXPECT_EQ(session().options().antiidleinterval, 2);
    ASSERT_TRUE(waitFor([&] { return srv.done(); })) << srv.failure();
    EXPECT_TRUE(srv.failure().empty()) << srv.failure();
    ASSERT_TRUE(waitFor([&] { return logHas("200 fine", 1); }));
    EXPECT_EQ(session().queue().idlecount, 0);
    frame->Disconnect();
}

TEST_F(FrameTest, AntiIdleWithoutEnabledCommandsSendsNothing) {
    setAntiIdle(app.dm(), {}, 1);
    Server srv;
    connectAndList(srv, "/", "");
    openOn(srv, {}, false);
    session().antiIdleTimer()->setInterval(10);
    frame->StartConnect(false);
    ASSERT_TRUE(srv.waitDone());
    // Several idle periods pass; the script would fail on any line.
    int ticks = 0;
    QObject::connect(session().antiIdleTimer(), &QTimer::timeout, [&] { ++ticks; });
    ASSERT_TRUE(waitFor([&] { return ticks >= 5; }));
    EXPECT_TRUE(srv.failure().empty()) << srv.failure();
}

TEST_F(FrameTest, DisconnectEmptiesTheViewAndSecondPressReconnects) {
    Server srv;
    connectAndList(srv, "/", fileLine("x", 1));
    srv.acceptControl();
    connectAndList(srv, "/", fileLine("y", 1), true);
    openOn(srv);
    ASSERT_EQ(names(), std::vector<std::string>{"x"});
    frame->DisconnectButton();
    EXPECT_TRUE(frame->listing().empty());
    EXPECT_TRUE(frame->listingcache().empty());
    EXPECT_EQ(frame->tabImage(), 0);
    EXPECT_FALSE(frame->browsingEnabled());
    EXPECT_FALSE(frame->action("Abort operation")->isEnabled());
    EXPECT_EQ(frame->remoteModel()->rowCount(), 0);
    frame->DisconnectButton();
    ASSERT_TRUE(srv.waitDone()) << srv.failure();
    EXPECT_TRUE(srv.failure().empty()) << srv.failure();
    EXPECT_EQ(names(), std::vector<std::string>{"y"});
    EXPECT_FALSE(frame->disconnectShowsConnect());
}

TEST_F(FrameTest, RefusedListingIsLoggedAndBrowsingStaysUsable) {
    Server srv;
    connectAndList(srv, "/", dirLine("d"));
    srv.expect("CWD /", "550 Permission denied");
    openOn(srv);
    frame->Refresh();
    ASSERT_TRUE(srv.waitDone()) << srv.failure();
    EXPECT_TRUE(logHas("550:Permission denied", 2));
    EXPECT_TRUE(frame->browsingEnabled());
    EXPECT_TRUE(frame->listing().empty());
}

TEST_F(FrameTest, SilentServerTimesOutAndTheNextActionReconnects) {
    Server srv;
    connectAndList(srv, "/", fileLine("a", 1));
    srv.silentUntilClosed();  // no answer to "CWD /": the read times out
    srv.acceptControl();
    connectAndList(srv, "/", fileLine("b", 1), true);
    SiteRow site;
    site.timeout = 1;
    openOn(srv, site);
    frame->Refresh();
    EXPECT_TRUE(logHas("Read Timeout", 2));
    EXPECT_TRUE(frame->browsingEnabled());
    EXPECT_FALSE(frame->connected());
    frame->Refresh();  // finds the client closed and connects again
    ASSERT_TRUE(srv.waitDone()) << srv.failure();
    EXPECT_TRUE(srv.failure().empty()) << srv.failure();
    EXPECT_EQ(names(), std::vector<std::string>{"b"});
}

TEST_F(FrameTest, AbortDuringALongListingReconnectsAndLists) {
    Server srv;
    connectAndList(srv, "/pub", fileLine("a", 1));
    srv.expect("CWD /pub", "250 ok");
    pwd(srv, "/pub");
    srv.expectPasv().expect("LIST", "150 here").sendData(fileLine("partial", 1)).expect("ABOR");
    srv.acceptControl().greet("220 again")
        .expect("USER bob", "331 pw")
        .expect("PASS pw", "230 in")
        .expect("TYPE A", "200 ascii")  // the type set for the listing survives
        .expect("SYST", "215 UNIX");
    srv.expect("CWD /pub", "250 ok");
    pwd(srv, "/pub");
    list(srv, fileLine("fresh", 1));
    openOn(srv);
    ASSERT_EQ(names(), std::vector<std::string>{"a"});

    QTimer presser;
    presser.setInterval(10);
    bool pressed = false;
    QObject::connect(&presser, &QTimer::timeout, [&] {
        const auto t = srv.transcript();
        if (!pressed && std::count(t.begin(), t.end(), std::string("LIST")) == 2 && session().busyCount() > 0) {
            pressed = true;
            frame->action("Abort operation")->trigger();
        }
    });
    presser.start();
    frame->Refresh();
    EXPECT_TRUE(pressed);
    ASSERT_TRUE(waitFor([&] { return srv.done(); }, 8000)) << srv.failure();
    ASSERT_TRUE(waitFor([&] { return session().busyCount() == 0 && !frame->listing().empty(); }));
    EXPECT_TRUE(srv.failure().empty()) << srv.failure();
    EXPECT_EQ(names(), std::vector<std::string>{"fresh"});
    EXPECT_TRUE(frame->connected());
    EXPECT_TRUE(frame->browsingEnabled());
}

TEST_F(FrameTest, ClosingThePageWhileAListingBlocksUnwindsSafely) {
    Server srv;
    connectAndList(srv, "/", fileLine("a", 1));
    srv.expect("CWD /", "250 ok");
    pwd(srv, "/");
    srv.expectPasv().expect("LIST", "150 here").sendData(fileLine("part", 1)).expectClosed();
    openOn(srv);
    bool closed = false;
    QTimer closer;
    closer.setInterval(10);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        const auto t = srv.transcript();
        if (!closed && std::count(t.begin(), t.end(), std::string("LIST")) == 2 && session().busyCount() > 0) {
            closed = true;
            // What the main window does when the page is closed.
            frame->ClosePage();
        }
    });
    closer.start();
    frame->Refresh();
    closer.stop();
    EXPECT_TRUE(closed);
    EXPECT_EQ(session().busyCount(), 0);
    EXPECT_TRUE(frame->listing().empty());
    EXPECT_FALSE(frame->browsingEnabled());
    ASSERT_TRUE(srv.waitDone()) << srv.failure();
    frame.reset();
}

TEST_F(FrameTest, LogSavesAndClears) {
    makeFrame(SiteRow{});
    frame->LogLine("one", 0);
    frame->LogText("two\r\nthree", 1);
    const QString path = app.path("log");
    app.dialogs().saveAnswers.push_back(path);
    frame->SaveLog();
    EXPECT_EQ(app.readFile("log.txt"), QByteArray("one\ntwo\nthree\n"));
    frame->ClearLog();
    EXPECT_TRUE(logLines().empty());
}

TEST_F(FrameTest, HelpOpensTheFramesTopic) {
    makeFrame(SiteRow{});
    frame->Help();
    ASSERT_EQ(app.dialogs().helpRequests.size(), 1);
    EXPECT_TRUE(app.dialogs().helpRequests[0].endsWith("Ostrafen.hlp|Newitem6"));
}

TEST_F(FrameTest, ViewButtonCyclesAndLayoutCodes) {
    makeFrame(SiteRow{});
    std::vector<int> seen;
    for (int i = 0; i < 5; ++i) {
        frame->ViewButton();
        seen.push_back(frame->listViewStyle());
    }
    EXPECT_EQ(seen, (std::vector<int>{2, 1, 0, 3, 2}));
    frame->setListViewStyle(7);
    EXPECT_EQ(frame->listViewStyle(), 2);
    frame->setListViewStyle(0);
    EXPECT_EQ(frame->listViewStyle(), 0);
    EXPECT_TRUE(frame->action("view/Large icon")->isChecked());
    EXPECT_TRUE(frame->action("popup/view/Large icon")->isChecked());
    frame->setInfoHeight(120);
    EXPECT_EQ(frame->infoHeight(), 120);
}

TEST_F(FrameTest, AbortOnAnIdleConnectionReconnectsAtOnce) {
    Server srv;
    connectAndList(srv, "/w", fileLine("a", 1));
    srv.expect("ABOR").acceptControl();
    login(srv, "TYPE A");
    srv.expect("CWD /w", "250 ok");
    pwd(srv, "/w");
    list(srv, fileLine("b", 1));
    openOn(srv);
    frame->AbortOperation();
    ASSERT_TRUE(waitFor([&] { return srv.done() && session().busyCount() == 0; })) << srv.failure();
    EXPECT_TRUE(srv.failure().empty()) << srv.failure();
    EXPECT_EQ(names(), std::vector<std::string>{"b"});
    EXPECT_TRUE(frame->connected());
    EXPECT_EQ(frame->tabImage(), 1);
    EXPECT_FALSE(frame->disconnectShowsConnect());
}

TEST_F(FrameTest, ServerClosingMidListingLeavesAFrameThatReconnects) {
    Server srv;
    connectAndList(srv, "/", fileLine("a", 1));
    srv.expect("CWD /", "250 ok");
    pwd(srv, "/");
    srv.expectPasv().expect("LIST", "150 here").sendData(fileLine("part", 1)).closeData().closeControl();
    srv.acceptControl();
    connectAndList(srv, "/", fileLine("again", 1), true);
    openOn(srv);
    frame->Refresh();
    ASSERT_TRUE(waitFor([&] { return session().busyCount() == 0; }));
    EXPECT_FALSE(frame->connected());
    EXPECT_EQ(frame->tabImage(), 0);
    EXPECT_TRUE(frame->browsingEnabled());
    frame->Refresh();
    ASSERT_TRUE(waitFor([&] { return srv.done(); })) << srv.failure();
    EXPECT_TRUE(srv.failure().empty()) << srv.failure();
    EXPECT_EQ(names(), std::vector<std::string>{"again"});
}

TEST_F(FrameTest, QuickConnectPageReconnectsWithItsOwnSettings) {
    Server srv;
    connectAndList(srv, "/", fileLine("x", 1));
    srv.acceptControl();
    connectAndList(srv, "/", fileLine("y", 1), true);
    srv.start();
    frame = std::make_unique<Tfb>(app.dm());
    frame->setSitename("127.0.0.1");  // no site row has this name
    frame->StartConnect(browser::quickSettings({"127.0.0.1", "bob", "pw", srv.port(), true, ""}));
    EXPECT_EQ(session().settings().timeoutms, 30000);
    EXPECT_EQ(session().settings().retrydelayms, 10000);
    EXPECT_EQ(session().settings().siteid, 0);
    ASSERT_EQ(names(), std::vector<std::string>{"x"});
    frame->DisconnectButton();
    frame->DisconnectButton();
    EXPECT_TRUE(app.dialogs().messages.empty()) << app.dialogs().messageTexts().join("|").toStdString();
    ASSERT_TRUE(waitFor([&] { return srv.done(); })) << srv.failure();
    EXPECT_TRUE(srv.failure().empty()) << srv.failure();
    EXPECT_EQ(names(), std::vector<std::string>{"y"});
}

TEST_F(FrameTest, UnreadableListingIsReportedNotShownAsEmpty) {
    Server srv;
    connectAndList(srv, "/", "total 0\r\n");  // an empty folder is fine
    srv.expect("CWD /", "250 ok");
    pwd(srv, "/");
    list(srv, "this is not a listing line\r\n");
    openOn(srv);
    EXPECT_FALSE(logHas("The listing could not be read.", 2));
    frame->Refresh();
    ASSERT_TRUE(waitFor([&] { return srv.done(); })) << srv.failure();
    EXPECT_TRUE(logHas("The listing could not be read.", 2));
    EXPECT_TRUE(frame->browsingEnabled());
    EXPECT_TRUE(frame->connected());
}

TEST_F(FrameTest, WindowKeepsHandlingEventsWhileAListingBlocks) {
    Server srv;
    connectAndList(srv, "/", "");
    srv.expect("CWD /", "250 ok");
    pwd(srv, "/");
    srv.expectPasv().expect("LIST", "150 here").sendData(fileLine("slow", 1)).hold().closeData().reply("226 done");
    openOn(srv);
    QElapsedTimer blocked, gap;
    qint64 longest = 0;
    int ticks = 0;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (session().busyCount() == 0) return;
        if (!blocked.isValid()) blocked.start();
        if (gap.isValid()) longest = std::max(longest, gap.elapsed());
        gap.start();
        ++ticks;
        if (blocked.elapsed() > 400) srv.release();
    });
    ticker.start();
    frame->Refresh();
    ticker.stop();
    ASSERT_TRUE(waitFor([&] { return srv.done(); })) << srv.failure();
    EXPECT_EQ(names(), std::vector<std::string>{"slow"});
    EXPECT_GT(ticks, 8);
    EXPECT_LT(longest, 250);  // events run at least every 50 ms; slack for a loaded machine
}
