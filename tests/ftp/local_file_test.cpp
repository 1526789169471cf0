// Local files of transfers: buffering must never reorder, lose or hide bytes.
#include "tests/ftp/ftp_test_util.h"

#include "ftp/local_file.h"

using testing_support::ScriptedFtpServer;
using namespace ftptest;

TEST(LocalFile, MixedChunkSizesKeepOrderAndPositions) {
    TempDir dir;
    const std::string path = dir.file("f");
    std::string want;
    {
        LocalFile f(path, LocalFile::CreateTruncate);
        for (int i = 0; i < 40; ++i) {
            // Alternate small chunks with ones that bypass the buffer.
            std::string chunk(i % 3 == 0 ? 100000 : 777, static_cast<char>('a' + i % 26));
            f.Write(chunk.data(), chunk.size());
            want += chunk;
            EXPECT_EQ(f.Position(), static_cast<std::int64_t>(want.size()));
        }
        f.Close();
    }
    EXPECT_EQ(readFile(path), want);
    {
        LocalFile f(path, LocalFile::Append);
        EXPECT_EQ(f.Position(), static_cast<std::int64_t>(want.size()));
        f.Write("tail", 4);
        f.Close();
    }
    want += "tail";
    LocalFile r(path, LocalFile::ReadOnly);
    EXPECT_EQ(r.Size(), static_cast<std::int64_t>(want.size()));
    std::string got;
    std::vector<char> buf(200000);
    for (int i = 0;; ++i) {
        std::size_t n = r.Read(buf.data(), i % 2 ? 1000 : buf.size());
        if (n == 0) break;
        got.append(buf.data(), n);
        EXPECT_EQ(r.Position(), static_cast<std::int64_t>(got.size()));
    }
    EXPECT_EQ(got, want);
    r.Rewind();
    EXPECT_EQ(r.Read(buf.data(), 3), 3u);
    EXPECT_EQ(std::string(buf.data(), 3), want.substr(0, 3));
}

TEST(LocalFile, AFullDiskIsAFailureNotASuccess) {
#ifdef _WIN32
    GTEST_SKIP() << "needs /dev/full";
#endif
    LocalFile f("/dev/full", LocalFile::CreateTruncate);
    f.Write("abc", 3);  // buffered
    EXPECT_THROW(f.Close(), EIdLocalFileError);

    // The same through a download: the transfer fails and the server's
    // closing reply is read, so the next command gets its own reply.
    ScriptedFtpServer srv;
    loginScript(srv)
        .expectPasv()
        .expect("RETR f", "150 ok")
        .sendData(std::string(200000, 'x'))
        .closeData()
        .reply("226 done")
        .expect("NOOP", "200 ok");
    srv.start();
    TIdFTP ftp;
    configure(ftp, srv);
    ftp.Passive = true;
    ftp.OpenConnection(true, 5000);
    EXPECT_THROW(ftp.DownloadToFile("f", "/dev/full", true, false), EIdLocalFileError);
    EXPECT_EQ(ftp.RunCommand("NOOP", 200), 200);
    EXPECT_TRUE(srv.waitDone()) << srv.failure();
}
