// The frame against a real server (pyftpdlib on loopback): browse, create,
// rename, delete and export on an actual file tree.
#include "frame_fixture.h"

#include "tests/support/core/real_servers.h"

#include <QDir>
#include <QFile>

#include <filesystem>
#include <fstream>

using namespace frametest;
namespace fs = std::filesystem;

class RealServerFrameTest : public FrameTest {};

TEST_F(RealServerFrameTest, BrowseCreateRenameDeleteExport) {
    testing_support::PyftpdlibServer ftp;
    std::string why;
    if (!ftp.Start(&why)) GTEST_SKIP() << why;
    const fs::path home = ftp.Account().Home;
    fs::create_directories(home / "tree" / "mid" / "low");
    std::ofstream(home / "tree" / "a.txt") << "hello";
    std::ofstream(home / "tree" / "mid" / "b.bin") << std::string(3000, 'x');
    std::ofstream(home / "tree" / "mid" / "low" / "c") << "";
    std::ofstream(home / "old name.txt") << "12345";

    SiteRow site;
    site.port = ftp.Port();
    site.user = ftp.Account().User;
    site.password = ftp.Account().Password;
    site.pasv = true;
    makeFrame(site);
    frame->StartConnect(false);
    ASSERT_TRUE(frame->browsingEnabled()) << ftp.Log();
    EXPECT_EQ(frame->currentdir(), "/");
    EXPECT_EQ(names(), (std::vector<std::string>{"tree", "old name.txt"}));

    // Into the tree and back.
    selectRows({rowOf("tree")});
    frame->OpenSelectedFolder();
    EXPECT_EQ(frame->currentdir(), "/tree");
    EXPECT_EQ(names(), (std::vector<std::string>{"mid", "a.txt"}));
    frame->GoBack();
    EXPECT_EQ(frame->currentdir(), "/");

    // A new folder exists on disk and shows at the end.
    app.dialogs().inputAnswers.push_back(QStringLiteral("made"));
    frame->MakeNewDirectory();
    EXPECT_TRUE(fs::is_directory(home / "made"));
    EXPECT_EQ(names().back(), "made");

    // Rename keeps spaces in both names.
    frame->RenameRemote("old name.txt", "new name.txt");
    EXPECT_TRUE(fs::exists(home / "new name.txt"));
    EXPECT_GE(rowOf("new name.txt"), 0);

    // Export (the empty "made" counts as a file), then delete the tree.
    app.dialogs().saveAnswers.push_back(app.path("real.txt"));
    frame->ExportWhole();
    const std::string text = app.readFile("real.txt").toStdString();
    EXPECT_NE(text.find("<tree>"), std::string::npos) << text;
    EXPECT_NE(text.find("b.bin    3KB    "), std::string::npos) << text;
    EXPECT_NE(text.find("a.txt    5bytes    "), std::string::npos) << text;
    EXPECT_NE(text.find(" 3 folders, 5 files, export date: "), std::string::npos) << text;

    selectRows({rowOf("tree")});
    frame->DeleteSelected();
    EXPECT_FALSE(fs::exists(home / "tree")) << ftp.Log();
    EXPECT_EQ(rowOf("tree"), -1);
    EXPECT_TRUE(frame->browsingEnabled());
    frame->Refresh();
    EXPECT_EQ(names(), (std::vector<std::string>{"made", "new name.txt"}));
}
