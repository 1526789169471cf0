// Folder trees both ways: the exact command order against a scripted server,
// names that must not become local paths, links that must not be followed,
// a walk stopped by its caller, and a byte-exact round trip on a real server.
#include "tests/transfer/walk_fixture.h"

#include "ftp/id_exceptions.h"
#include "tests/support/core/real_servers.h"

#include <filesystem>

namespace fs = std::filesystem;
using namespace walktest;
using transfer::DownloadMode;

namespace {

std::vector<std::string> filesUnder(const std::string& root) {
    std::vector<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root))
        out.push_back(fs::relative(e.path(), root).string());
    std::sort(out.begin(), out.end());
    return out;
}

TEST_F(WalkTest, DownloadTreeWalksThreeLevelsPastDotsAndRefusesUnsafeNames) {
    srv.expect("CWD top", "250 ok");
    // "." in the middle must not end the folder; the odd names are skipped.
    list(srv, fileLine("a.txt", 3) + dirLine(".") + dirLine("sub") + fileLine("a/b", 1) +
                  fileLine("up\\x", 1));
    srv.expect("CWD sub", "250 ok");
    list(srv, fileLine("b.bin", 4) + dirLine("deep"));
    srv.expect("CWD deep", "250 ok");
    list(srv, fileLine("c.txt", 1));
    srv.expect("TYPE A", "200 ok");
    retr(srv, "c.txt", "c").expect("CWD ..", "250 ok");
    srv.expect("TYPE I", "200 ok");
    retr(srv, "b.bin", "bbbb").expect("CWD ..", "250 ok");
    srv.expect("TYPE A", "200 ok");
    retr(srv, "a.txt", "aaa").expect("CWD ..", "250 ok");
    connect();
    std::vector<std::int64_t> sizes;
    ctx.expectSize = [&](std::int64_t s) { sizes.push_back(s); };

    transfer::DownloadTree(ftp, ctx, "top", local.File("top"), DownloadMode::New);
    finish();

    EXPECT_EQ(filesUnder(local.Path()), (std::vector<std::string>{"top", "top/a.txt", "top/sub", "top/sub/b.bin",
                                                                  "top/sub/deep", "top/sub/deep/c.txt"}));
    EXPECT_EQ(testing_support::ReadWholeFile(local.File("top/sub/b.bin")), "bbbb");
    EXPECT_EQ(sizes, (std::vector<std::int64_t>{1, 4, 3}));
    ASSERT_EQ(logged.size(), 2u);
    EXPECT_EQ(logged[0], std::make_pair(std::string("Skipped <up\\x>: the name can not be used as a local file name."), 2));
    EXPECT_NE(logged[1].first.find("<a/b>"), std::string::npos);
}

TEST_F(WalkTest, RenameModeNamesOnlyTheTopFolderAndNewModeRefusesExistingFiles) {
    srv.expect("CWD top", "250 ok");
    list(srv, dirLine("sub"));
    srv.expect("CWD sub", "250 ok");
    list(srv, fileLine("x.bin", 1));
    retr(srv, "x.bin", "x").expect("CWD ..", "250 ok").expect("CWD ..", "250 ok");
    srv.expect("CWD top", "250 ok");
    list(srv, fileLine("x.bin", 1));
    connect();

    transfer::DownloadTree(ftp, ctx, "top", local.File("top"), DownloadMode::Rename, "renamed");
    EXPECT_EQ(filesUnder(local.Path()), (std::vector<std::string>{"renamed", "renamed/sub", "renamed/sub/x.bin"}));
    // New mode onto a file that is there already ends the walk.
    fs::create_directories(local.File("again"));
    testing_support::WriteWholeFile(local.File("again/x.bin"), "mine");
    EXPECT_THROW(transfer::DownloadTree(ftp, ctx, "top", local.File("again"), DownloadMode::New),
                 EIdFTPFileAlreadyExists);
    EXPECT_EQ(testing_support::ReadWholeFile(local.File("again/x.bin")), "mine");
    finish();
}

TEST_F(WalkTest, AWalkStopsAtOnceWhenItsPageIsNoLongerValid) {
    srv.expect("CWD top", "250 ok");
    connect();
    ctx.stillValid = [] { return false; };
    EXPECT_THROW(transfer::DownloadTree(ftp, ctx, "top", local.File("top"), DownloadMode::New),
                 transfer::ERunStopped);
    finish();
    EXPECT_EQ(commands(), (std::vector<std::string>{"CWD top"}));
}

TEST_F(WalkTest, UploadTreeMakesMissingFoldersEntersExistingOnesAndSkipsLinkedFolders) {
    fs::create_directories(local.File("top/sub/deep"));
    testing_support::WriteWholeFile(local.File("top/a.txt"), "a\n");
    testing_support::WriteWholeFile(local.File("top/sub/b.bin"), "bin");
    testing_support::WriteWholeFile(local.File("top/sub/deep/c.txt"), "c\n");
    // A link back to an ancestor would recurse without end.
    fs::create_directory_symlink("..", local.File("top/sub/loop"));

    srv.expect("TYPE A", "200 ok");
    stor(srv, "a.txt");
    list(srv, fileLine("other", 1)).expect("MKD sub", "257 made").expect("CWD sub", "250 ok");
    srv.expect("TYPE I", "200 ok");
    stor(srv, "b.bin");
    list(srv, dirLine("deep")).expect("CWD deep", "250 ok");
    srv.expect("TYPE A", "200 ok");
    stor(srv, "c.txt").expect("CWD ..", "250 ok").expect("CWD ..", "250 ok").expect("CWD ..", "250 ok");
    connect();

    transfer::UploadTree(ftp, ctx, local.File("top") + "/");
    finish();
    EXPECT_EQ(srv.receivedData(), (std::vector<std::string>{"a\n", "bin", "c\n"}));
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].first.find("loop>: links to folders are not followed."), std::string::npos);
    EXPECT_EQ(logged[0].second, 2);
}

TEST(WalkRealServer, TreeGoesUpAndComesBackByteForByteWithTypesByExtension) {
    testing_support::PyftpdlibServer server;
    std::string why;
    if (!server.Start(&why)) GTEST_SKIP() << why;
    testing_support::TempDir local;
    fs::create_directories(local.File("tree/one/two"));
    const std::string crlf = "line 1\r\nline 2\r\n";
    testing_support::WriteWholeFile(local.File("tree/notes.txt"), crlf);
    testing_support::WriteWholeFile(local.File("tree/one/data.bin"), crlf + std::string("\0\xff", 2));
    testing_support::WriteWholeFile(local.File("tree/one/two/deep.txt"), "deep\r\n");

    TIdFTP ftp;
    ftp.Host = "127.0.0.1";
    ftp.Port = server.Port();
    ftp.Username = server.Account().User;
    ftp.Password = server.Account().Password;
    ftp.Passive = true;
    ftp.ReadTimeout = 5000;
    ftp.OpenConnection();
    transfer::WalkContext ctx;
    ctx.typeFor = [](const std::string& ext) { return ext == ".txt" ? ftASCII : ftBinary; };
    ftp.CreateFolder("tree");
    ftp.ChangeFolder("tree");
    transfer::UploadTree(ftp, ctx, local.File("tree"));
    transfer::DownloadTree(ftp, ctx, "tree", local.File("back"), DownloadMode::New);
    ftp.CloseConnection();

    const std::string home = server.Account().Home;
    // ASCII stores lines the server's way; binary keeps every byte.
    EXPECT_EQ(testing_support::ReadWholeFile(home + "/tree/notes.txt"), "line 1\nline 2\n");
    EXPECT_EQ(testing_support::ReadWholeFile(home + "/tree/one/data.bin"), crlf + std::string("\0\xff", 2));
    for (const char* f : {"notes.txt", "one/data.bin", "one/two/deep.txt"})
        EXPECT_EQ(testing_support::ReadWholeFile(local.File(std::string("back/") + f)),
                  testing_support::ReadWholeFile(local.File(std::string("tree/") + f)))
            << f;
}

}  // namespace
