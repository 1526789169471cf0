// A page's queue against real servers: types by extension both ways on a
// quick connection, failures that leave an entry for Resume (a full disk,
// "Stop"), the page going away under a run, and two pages at once.
#include "tests/transfer/engine_fixture.h"

#include <QLabel>
#include <QProgressBar>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace enginetest;

namespace {

using Strings = std::vector<std::string>;

std::string pattern(std::size_t n) { return testing_support::randomBytes(n, 2463534242u); }

// The bytes the page's gauge shows moved (the file itself is written in large blocks).
int moved(Tfb& page) { return page.progressGauge()->value(); }

std::uintmax_t sizeOf(const std::string& path) {
    std::error_code ec;
    const auto n = fs::file_size(path, ec);
    return ec ? 0 : n;
}

class RealServerQueue : public EngineTest {
protected:
    // vsftpd moving 300 KB/s, so a test can act in the middle of a transfer.
    bool startSlow(std::string* why) {
        vsftpd.LocalMaxRate = 300 * 1024;
        if (!vsftpd.Start(why)) return false;
        open(vsftpd.Port(), testing_support::kSystemTestUser, testing_support::kSystemTestPassword);
        return true;
    }
    std::string serverFile(const std::string& name, const std::string& bytes) {
        const std::string path = vsftpd.Account().Home + "/" + name;
        testing_support::WriteWholeFile(path, bytes);
        ::chmod(path.c_str(), 0644);
        return path;
    }
    void transferWith(DuplicateButton b) {
        answer(b);
        frame->queueList()->selectAll();
        frame->action(QStringLiteral("queue/Transfer"))->trigger();
    }
    // The run ended with its log line and "Abort operation" connected again.
    void expectFailedAndReconnected(std::uint64_t id) {
        ASSERT_TRUE(waitFor([&] { return idle() && frame->connected() && frame->browsingEnabled(); }));
        EXPECT_TRUE(logEndsWith(", the operation cancel."));
        EXPECT_EQ(state(id), 1);
        EXPECT_TRUE(history("ftpfile").empty());
    }
    testing_support::VsftpdServer vsftpd;
};

TEST_F(RealServerQueue, QuickPageMovesTypesByExtensionAndFoldersBothWaysUnderSiteZero) {
    testing_support::PyftpdlibServer server;
    std::string why;
    if (!server.Start(&why)) GTEST_SKIP() << why;
    const std::string home = server.Account().Home;
    frame = std::make_unique<Tfb>(app.dm());
    engine = new transfer::FrameTransfers(*frame, app.dm());
    browser::ConnectSettings quick;
    quick.quick = true;
    quick.host = "127.0.0.1";
    quick.port = server.Port();
    quick.username = server.Account().User;
    quick.password = server.Account().Password;
    quick.timeoutms = 5000;
    frame->StartConnect(quick);
    ASSERT_TRUE(waitFor([&] { return frame->browsingEnabled(); }));

    const std::string crlf = "a\r\nb\r\n";
    fs::create_directories(local.File("tree/one/two"));
    testing_support::WriteWholeFile(local.File("tree/one/two/deep.bin"), crlf);
    engine->DropLocalFiles({upFile("notes.htm", crlf), upFile("data.bin", crlf),
                            QString::fromStdString(local.File("tree"))},
                           {});
    ASSERT_TRUE(waitFor([&] { return idle(); }));
    EXPECT_EQ(testing_support::ReadWholeFile(home + "/notes.htm"), "a\nb\n");
    EXPECT_EQ(testing_support::ReadWholeFile(home + "/data.bin"), crlf);
    EXPECT_EQ(testing_support::ReadWholeFile(home + "/tree/one/two/deep.bin"), crlf);

    testing_support::WriteWholeFile(home + "/unix.htm", "x\ny\n");
    testing_support::WriteWholeFile(home + "/unix.bin", "x\ny\n");
    fs::create_directories(local.File("back"));
    std::vector<rupdown> downs;
    for (const std::string name : {"unix.htm", "unix.bin", "tree"}) {
        downs.push_back(down(name, 0, frame->currentdir()));
        downs.back().localpath = local.File("back/" + name);
        downs.back().isfolder = name == "tree";
    }
    engine->enqueue(downs);
    engine->requestRun(false);
    ASSERT_TRUE(waitFor([&] { return idle() && engine->model().rowCount() == 0; }));
    EXPECT_EQ(testing_support::ReadWholeFile(local.File("back/unix.htm")), "x\r\ny\r\n");
    EXPECT_EQ(testing_support::ReadWholeFile(local.File("back/unix.bin")), "x\ny\n");
    EXPECT_EQ(testing_support::ReadWholeFile(local.File("back/tree/one/two/deep.bin")), crlf);

    EXPECT_EQ(history("lofile"), (Strings{"notes.htm", "data.bin", "tree", "unix.htm", "unix.bin", "tree"}));
    EXPECT_EQ(history("isfolder"), (Strings{"False", "False", "True", "False", "False", "True"}));
    EXPECT_EQ(testing_support::column(app.dm().hmaster(), "id"), (Strings{"0", "0"}));
    EXPECT_EQ(testing_support::column(app.dm().hmaster(), "type"), (Strings{"Upload", "Download"}));
}

TEST_F(RealServerQueue, AFullDiskAndStopLeaveAFailedEntryThatResumesByteForByte) {
    std::string why;
    if (!startSlow(&why)) GTEST_SKIP() << why;
    const std::string content = pattern(600 * 1024);
    serverFile("big.bin", content);
    const std::string target = local.File("big.bin");
    const auto ids = engine->enqueue({down("big.bin", 0, frame->currentdir())});

    // A file-size limit stands in for a full disk: writes past it fail.
    rlimit before{};
    ::getrlimit(RLIMIT_FSIZE, &before);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = before;
    small.rlim_cur = 100 * 1024;
    ::setrlimit(RLIMIT_FSIZE, &small);
    engine->requestRun(false);
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);
    expectFailedAndReconnected(ids[0]);
    EXPECT_EQ(sizeOf(target), 100u * 1024);

    // Resumed, then stopped half way.
    once([&] { return moved(*frame) > 200 * 1024; }, [&] { frame->action(QStringLiteral("queue/Stop"))->trigger(); });
    transferWith(DuplicateButton::Resume);
    expectFailedAndReconnected(ids[0]);
    const auto partial = sizeOf(target);
    EXPECT_GT(partial, 300u * 1024);
    EXPECT_LT(partial, content.size());

    transferWith(DuplicateButton::Resume);
    ASSERT_TRUE(waitFor([&] { return idle() && engine->model().rowCount() == 0; }));
    EXPECT_EQ(testing_support::ReadWholeFile(target), content);
    EXPECT_EQ(history("ftpfile"), Strings{"big.bin"});
    EXPECT_EQ(frame->progressBox()->text().toStdString(),
              std::to_string(content.size() - partial) + "/" + std::to_string(content.size() - partial));
}

TEST_F(RealServerQueue, DisconnectOrClosingThePageEndsARunWithoutAWord) {
    std::string why;
    if (!startSlow(&why)) GTEST_SKIP() << why;
    serverFile("big.bin", pattern(600 * 1024));
    const std::string target = local.File("big.bin");
    const auto ids = engine->enqueue({down("big.bin", 0, frame->currentdir())});
    once([&] { return moved(*frame) > 30 * 1024; }, [&] { frame->DisconnectButton(); });
    engine->requestRun(false);
    ASSERT_TRUE(waitFor([&] { return idle(); }));
    EXPECT_FALSE(logEndsWith(", the operation cancel."));
    EXPECT_EQ(logLines(2).back(), "Disconnected from server.");
    EXPECT_FALSE(frame->connected());
    EXPECT_EQ(state(ids[0]), 1);
    EXPECT_TRUE(history("ftpfile").empty());

    frame->DisconnectButton();
    ASSERT_TRUE(waitFor([&] { return frame->browsingEnabled(); }));
    once([&] { return moved(*frame) > 30 * 1024; }, [&] { frame->ClosePage(); });
    transferWith(DuplicateButton::Overwrite);
    ASSERT_TRUE(waitFor([&] { return idle(); }));
    EXPECT_EQ(engine->model().rowCount(), 0);
    EXPECT_TRUE(frame->log()->entries().empty());
    EXPECT_FALSE(frame->connected());
    EXPECT_TRUE(history("ftpfile").empty());
}

TEST_F(RealServerQueue, TwoPagesRunAtOnceEachOnItsOwnConnection) {
    std::string why;
    if (!startSlow(&why)) GTEST_SKIP() << why;
    const std::string big = pattern(400 * 1024), small = pattern(20 * 1024);
    serverFile("big.bin", big);
    serverFile("small.bin", small);
    Tfb second(app.dm());
    auto* engine2 = new transfer::FrameTransfers(second, app.dm());
    open(vsftpd.Port(), testing_support::kSystemTestUser, testing_support::kSystemTestPassword, &second, "Other");
    engine->enqueue({down("big.bin", 0, frame->currentdir())});
    rupdown e = down("small.bin", 0, second.currentdir());
    e.localpath = local.File("other.bin");
    engine2->enqueue({e});

    once([&] { return moved(*frame) > 30 * 1024; }, [&] { engine2->requestRun(false); });
    engine->requestRun(false);
    ASSERT_TRUE(waitFor([&] { return idle() && !engine2->running(); }));
    EXPECT_EQ(testing_support::ReadWholeFile(local.File("big.bin")), big);
    EXPECT_EQ(testing_support::ReadWholeFile(local.File("other.bin")), small);
    // The second page finished while the first was still moving its file.
    EXPECT_EQ(history("lofile"), (Strings{"small.bin", "big.bin"}));
}

}  // namespace
