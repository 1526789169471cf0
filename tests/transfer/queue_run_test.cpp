// A page's queue runs against a scripted server: the exact commands of each
// branch and duplicate answer, the history rows, and what a run does when
// another operation, the connection or the local disk gets in its way.
#include "tests/transfer/engine_fixture.h"

#include <QComboBox>
#include <QLabel>

using namespace enginetest;

namespace {

using Strings = std::vector<std::string>;

Server& stor(Server& s, const std::string& name) {
    return s.expectPasv().expect("STOR " + name, "150 go").receiveData().reply("226 stored");
}
Server& retr(Server& s, const std::string& name, const std::string& data) {
    return s.expectPasv().expect("RETR " + name, "150 here").sendData(data).closeData().reply("226 done");
}
Server& refresh(Server& s, const std::string& lines, bool typeA = true) {
    s.expect("CWD /home", "250 ok");
    if (typeA) s.expect("TYPE A", "200 ok");
    return list(pwd(s, "/home"), lines);
}

class QueueRun : public EngineTest {
protected:
    Server srv;
};

TEST_F(QueueRun, UploadsGoInQueueOrderAndOverwriteAllHoldsForOneRunOnly) {
    const std::string listed = fileLine("b.bin", 5) + fileLine("c.bin", 6);
    const std::string after = fileLine("a.htm", 3) + listed;
    connectAndList(srv, "/home", listed);
    list(srv, listed);  // one look at the folder serves the whole run
    stor(srv, "a.htm").expect("TYPE I", "200 ok");
    stor(stor(srv, "b.bin"), "c.bin");
    refresh(srv, after);
    // The next run asks again; "Rename" checks a fresh listing first.
    list(list(srv, after), after).expect("TYPE I", "200 ok");
    refresh(stor(srv, "b2.bin"), after);
    srv.start();
    open(srv.port());

    const QStringList files{upFile("a.htm", "a\r\n"), upFile("b.bin", "bbbbb"), upFile("c.bin", "cc")};
    answer(DuplicateButton::OverwriteAll);
    engine->DropLocalFiles(files, {});
    EXPECT_EQ(asked, 1);
    answer(DuplicateButton::Rename);
    app.dialogs().inputAnswers.push_back(QStringLiteral("b2.bin"));
    engine->DropLocalFiles({files[1]}, {});
    EXPECT_EQ(asked, 2);

    EXPECT_TRUE(srv.waitDone()) << srv.failure();
    EXPECT_EQ(srv.receivedData(), (Strings{"a\r\n", "bbbbb", "cc", "bbbbb"}));
    EXPECT_EQ(history("ftpfile"), (Strings{"a.htm", "b.bin", "c.bin", "b2.bin"}));
    EXPECT_EQ(history("lofile"), (Strings{"a.htm", "b.bin", "c.bin", "b.bin"}));
    EXPECT_EQ(history("ftppath"), Strings(4, "/home"));
    EXPECT_EQ(testing_support::column(app.dm().hmaster(), "id"), Strings{"1"});
    EXPECT_EQ(engine->model().rowCount(), 0);
    EXPECT_TRUE(frame->progressStrip()->isHidden());
    EXPECT_TRUE(frame->browsingEnabled());
}

TEST_F(QueueRun, DownloadDialogRunsResumeRenameAndSkip) {
    std::string content;
    for (int i = 0; i < 1000; ++i) content += static_cast<char>('a' + i % 26);
    connectAndList(srv, "/home", fileLine("big.bin", 1000) + fileLine("r.htm", 3) + fileLine("s.bin", 2));
    srv.expect("CWD /home", "250 ok").expect("TYPE I", "200 ok");
    srv.expect("REST 1", "350 ok").expect("REST 0", "350 ok");
    srv.expectPasv().expect("REST 400", "350 ok").expect("RETR big.bin", "150 here");
    srv.sendData(content.substr(400)).closeData().reply("226 done");
    srv.expect("CWD /home", "250 ok").expect("TYPE A", "200 ok");
    retr(srv, "r.htm", "new").expect("CWD /home", "250 ok").expect("TYPE I", "200 ok");
    srv.start();
    open(srv.port());
    testing_support::WriteWholeFile(local.File("big.bin"), content.substr(0, 400));
    testing_support::WriteWholeFile(local.File("r.htm"), "old");
    testing_support::WriteWholeFile(local.File("s.bin"), "ss");

    const std::pair<const char*, DuplicateButton> steps[] = {
        {"big.bin", DuplicateButton::Resume}, {"r.htm", DuplicateButton::Rename}, {"s.bin", DuplicateButton::Skip}};
    app.dialogs().inputAnswers.push_back(QStringLiteral("r2.htm"));
    for (const auto& [name, button] : steps) {
        selectRow(name);
        testing_support::onNextModal([this](QDialog& d) {
            auto& dialog = static_cast<TForm10&>(d);
            dialog.folderCombo()->setEditText(QString::fromStdString(local.Path()));
            dialog.onOk();
        });
        answer(button);
        frame->action(QStringLiteral("Download..."))->trigger();
        if (std::string(name) == "big.bin") {
            EXPECT_EQ(frame->progressBox()->text(), "600/600");
        }
    }

    EXPECT_TRUE(srv.waitDone()) << srv.failure();
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(testing_support::ReadWholeFile(local.File("big.bin")), content);
    EXPECT_EQ(testing_support::ReadWholeFile(local.File("r2.htm")), "new");
    EXPECT_EQ(testing_support::ReadWholeFile(local.File("r.htm")), "old");
    EXPECT_EQ(testing_support::ReadWholeFile(local.File("s.bin")), "ss");
    EXPECT_EQ(history("ftpfile"), (Strings{"big.bin", "r.htm"}));
    EXPECT_EQ(history("lofile"), (Strings{"big.bin", "r2.htm"}));
    EXPECT_EQ(history("type"), (Strings{"Download", "Download"}));
}

TEST_F(QueueRun, ARunWaitsForTheListingUnderWayAndItsEntryOutlivesDeleteAndClear) {
    const std::string listed = fileLine("a.bin", 2);
    connectAndList(srv, "/home", listed);
    srv.expect("CWD /home", "250 ok");
    pwd(srv, "/home").expectPasv().expect("LIST", "150 here").hold().sendData(listed).closeData().reply("226 done");
    // Only once the listing is over: a.bin, held while the queue changes.
    srv.expect("CWD /home", "250 ok").expect("TYPE I", "200 ok");
    srv.expectPasv().expect("RETR a.bin", "150 here").hold().sendData("aa").closeData().reply("226 done");
    retr(srv.expect("CWD /home", "250 ok"), "d.bin", "dd");
    srv.start();
    open(srv.port());

    std::vector<std::uint64_t> ids;
    once([] { return true; }, [&] {
        ids = engine->enqueue({down("a.bin", 2), down("b.bin", 2), down("c.bin", 2)});
        engine->requestRun(false);
        EXPECT_FALSE(engine->running());
        srv.release();
    });
    once([&] { return !ids.empty() && state(ids[0]) == 0; }, [&] {
        // "Delete" with the running entry selected, then "Clear": only it stays.
        frame->queueList()->selectAll();
        frame->action(QStringLiteral("queue/Delete"))->trigger();
        EXPECT_EQ(engine->model().rowCount(), 1);
        EXPECT_FALSE(frame->action(QStringLiteral("queue/Delete"))->isEnabled());
        engine->enqueue({down("c.bin", 2)});
        frame->action(QStringLiteral("queue/Clear"))->trigger();
        EXPECT_EQ(engine->model().rowCount(), 1);
        engine->enqueue({down("d.bin", 2)});  // taken by this run
        srv.release();
    });
    frame->Refresh();
    ASSERT_TRUE(waitFor([&] { return history("ftpfile").size() == 2 && idle(); }));

    EXPECT_TRUE(srv.waitDone()) << srv.failure();
    EXPECT_EQ(history("ftpfile"), (Strings{"a.bin", "d.bin"}));
    EXPECT_EQ(testing_support::ReadWholeFile(local.File("a.bin")), "aa");
    EXPECT_FALSE(std::filesystem::exists(local.File("b.bin")));
    EXPECT_EQ(engine->model().rowCount(), 0);
}

TEST_F(QueueRun, AConnectionLostBetweenEntriesOrMidDownloadLeavesTheRestQueued) {
    connectAndList(srv, "/home", fileLine("a.bin", 2));
    retr(srv.expect("CWD /home", "250 ok").expect("TYPE I", "200 ok"), "a.bin", "aa").closeControl();
    // The user connects again and presses "Transfer"; the server drops
    // mid-download, and the run's end connects once more.
    srv.acceptControl();
    connectAndList(srv, "/home", fileLine("a.bin", 2));
    pwd(srv.expect("CWD /home", "250 ok"), "/home").expect("CWD /home", "250 ok").expect("TYPE I", "200 ok");
    srv.expectPasv().expect("RETR b.bin", "150 here").sendData("b").closeData().closeControl();
    srv.acceptControl();
    login(srv).expect("CWD /home", "250 ok").expect("TYPE A", "200 ok");
    list(pwd(srv, "/home"), fileLine("a.bin", 2));
    srv.start();
    open(srv.port());

    const auto ids = engine->enqueue({down("a.bin", 2), down("b.bin", 3), down("c.bin", 3)});
    engine->requestRun(false);
    EXPECT_EQ(history("ftpfile"), Strings{"a.bin"});
    EXPECT_EQ(engine->model().statusOf(ids[1]), "No connection");
    EXPECT_EQ(state(ids[1]), 1);
    EXPECT_EQ(state(ids[2]), -1);
    EXPECT_FALSE(logEndsWith(", the operation cancel."));

    frame->StartConnect(false);
    ASSERT_TRUE(waitFor([&] { return frame->browsingEnabled(); }));
    frame->queueList()->selectAll();
    frame->action(QStringLiteral("queue/Transfer"))->trigger();
    EXPECT_TRUE(logEndsWith(", the operation cancel."));
    EXPECT_EQ(state(ids[1]), 1);
    EXPECT_EQ(state(ids[2]), -1);
    EXPECT_EQ(testing_support::ReadWholeFile(local.File("b.bin")), "b");  // kept for Resume
    EXPECT_EQ(history("ftpfile"), Strings{"a.bin"});
    EXPECT_TRUE(waitFor([&] { return srv.done() && frame->browsingEnabled(); }));
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
}

TEST_F(QueueRun, AMissingRemoteFileIsDroppedAndAVanishedLocalFileEndsTheRunWithItsOwnMessage) {
    connectAndList(srv, "/home", fileLine("y.bin", 1));
    list(srv.expect("CWD /home", "250 ok"), fileLine("y.bin", 1));
    srv.expect("ABOR", "226 nothing to abort").expectClosed().acceptControl();
    login(srv, "TYPE A").expect("CWD /home", "250 ok");
    list(pwd(srv, "/home"), fileLine("y.bin", 1));
    srv.start();
    open(srv.port());

    rupdown x = down("x.bin", 0);
    x.checkremote = true;
    rupdown up;
    up.name = "gone.htm";
    up.localpath = upFile("gone.htm", "g").toStdString();
    up.remotedir = "0";
    const auto ids = engine->enqueue({x, up, down("y.bin", 1)});
    std::filesystem::remove(up.localpath);
    engine->requestRun(true);

    EXPECT_EQ(app.dialogs().messageTexts(), QStringList{"The file x.bin was not exists."});
    EXPECT_EQ(engine->model().rowOf(ids[0]), -1);
    EXPECT_EQ(state(ids[1]), 1);
    EXPECT_EQ(state(ids[2]), -1);
    const Strings lines = logLines(2);
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find(up.localpath), std::string::npos) << lines.back();
    EXPECT_TRUE(logEndsWith(", the operation cancel."));
    EXPECT_TRUE(history("ftpfile").empty());
    // "Abort operation" connects again and lists the folder.
    EXPECT_TRUE(waitFor([&] { return srv.done() && frame->browsingEnabled(); }));
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
}

TEST_F(QueueRun, ClosingTheMainWindowEndsARunWithoutAWordOrAReconnect) {
    connectAndList(srv, "/home", fileLine("a.bin", 2));
    srv.expect("CWD /home", "250 ok").expect("TYPE I", "200 ok");
    srv.expectPasv().expect("RETR a.bin", "150 here").hold();
    srv.start();
    open(srv.port());
    const auto ids = engine->enqueue({down("a.bin", 2)});
    once([&] { return state(ids[0]) == 0; }, [&] { frame->Shutdown(); });
    engine->requestRun(true);
    QCoreApplication::processEvents();  // a reconnect asked for now would start here
    srv.release();
    EXPECT_TRUE(idle());
    EXPECT_FALSE(logEndsWith(", the operation cancel."));
    const Strings sent = logLines(0);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "Connecting 127.0.0.1"), 1);
    EXPECT_TRUE(history("ftpfile").empty());
    EXPECT_EQ(srv.controlConnections(), 1);
}

}  // namespace
