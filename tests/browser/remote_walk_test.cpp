// Delete-tree walk and listing export, driven by an in-memory server.
#include "browser/remote_walk.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

using browser::ExportNode;

namespace {

// A folder tree with a current folder and a transcript of what was asked.
class FakeServer : public browser::RemoteOps {
public:
    std::map<std::string, std::vector<RemoteEntry>> folders;  // absolute path -> entries in listing order
    std::string cwd = "/";
    std::vector<std::string> log;
    std::vector<std::string> refused;  // commands to refuse, e.g. "RMD x"

    void changeFolder(const std::string& path) override {
        log.push_back("CWD " + path);
        check("CWD " + path);
        std::string next;
        if (path == "..") {
            next = cwd == "/" ? "/" : cwd.substr(0, cwd.rfind('/'));
            if (next.empty()) next = "/";
        } else if (!path.empty() && path[0] == '/') {
            next = path;
        } else {
            next = cwd == "/" ? "/" + path : cwd + "/" + path;
        }
        if (!folders.count(next)) throw std::runtime_error("550 no such folder");
        cwd = next;
    }
    std::vector<RemoteEntry> listCurrent() override {
        log.push_back("LIST");
        check("LIST");
        return folders[cwd];
    }
    void removeFile(const std::string& name) override {
        log.push_back("DELE " + name);
        check("DELE " + name);
    }
    void removeFolder(const std::string& name) override {
        log.push_back("RMD " + name);
        check("RMD " + name);
    }
    void skipped(const std::string& name) override { log.push_back("SKIP " + name); }

private:
    void check(const std::string& line) {
        for (const auto& r : refused)
            if (r == line) throw std::runtime_error("550 refused");
    }
};

RemoteEntry file(std::string n, std::int64_t size = 1, std::string date = "2024-01-04 09:00:00") {
    return {std::move(n), RemoteEntry::KindFile, size, std::move(date)};
}
RemoteEntry dir(std::string n) { return {std::move(n), RemoteEntry::KindFolder, 0, "2024-01-01 00:00:00"}; }

}  // namespace

TEST(DeleteTreeWalk, ThreeLevelsFromTheLastEntryBack) {
    FakeServer s;
    s.folders["/"] = {dir("top")};
    s.folders["/top"] = {dir("."), dir(".."), file("a"), dir("mid"), file("b")};
    s.folders["/top/mid"] = {file("c"), dir("low")};
    s.folders["/top/mid/low"] = {file("d"), file("e")};
    browser::DeleteTree(s, "top");
    const std::vector<std::string> expected = {
        "CWD top", "LIST", "DELE b", "CWD mid", "LIST", "CWD low", "LIST", "DELE e", "DELE d",
        "CWD ..", "RMD low", "DELE c", "CWD ..", "RMD mid", "DELE a", "CWD ..", "RMD top"};
    EXPECT_EQ(s.log, expected);
    EXPECT_EQ(s.cwd, "/");
}

TEST(DeleteTreeWalk, DotEntriesAnywhereAreSkippedNotTheEnd) {
    FakeServer s;
    s.folders["/"] = {dir("t")};
    s.folders["/t"] = {file("first"), dir(" . "), dir(".."), file("last")};
    browser::DeleteTree(s, "t");
    const std::vector<std::string> expected = {"CWD t", "LIST", "DELE last", "DELE first", "CWD ..", "RMD t"};
    EXPECT_EQ(s.log, expected);
}

TEST(DeleteTreeWalk, NamesThatLeaveTheFolderAreRefused) {
    FakeServer s;
    s.folders["/"] = {dir("t")};
    s.folders["/t"] = {dir("x/../../etc"), file("ok")};
    browser::DeleteTree(s, "t");
    const std::vector<std::string> expected = {"CWD t", "LIST", "DELE ok", "SKIP x/../../etc", "CWD ..", "RMD t"};
    EXPECT_EQ(s.log, expected);
}

TEST(DeleteTreeWalk, RefusalStopsTheWalkAndRaises) {
    FakeServer s;
    s.folders["/"] = {dir("t")};
    s.folders["/t"] = {file("a"), file("b"), file("c")};
    s.refused = {"DELE b"};
    EXPECT_THROW(browser::DeleteTree(s, "t"), std::runtime_error);
    const std::vector<std::string> expected = {"CWD t", "LIST", "DELE c", "DELE b"};
    EXPECT_EQ(s.log, expected);
}

TEST(ListingExport, ExampleTreeByteForByte) {
    FakeServer s;
    s.cwd = "/home";
    s.folders["/home"] = {dir("u")};
    s.folders["/home/u"] = {dir("."), dir(".."), file("a.txt", 100, "2024-01-04 09:00:00"), dir("pics")};
    s.folders["/home/u/pics"] = {file("x.jpg", 2048, "2024-01-05 10:20:30")};
    s.cwd = "/home/u";
    ExportNode root;
    root.text = "Docs(ftp://H/home/u)";
    browser::BuildTree(s, "/home/u", "/home/u", root);
    const std::string bar = "\xA9\xA6", tee = "\xA9\xC0", dash = "\xA9\xA4", corner = "\xA9\xB8";
    std::string rule = corner;
    for (int i = 0; i < 22; ++i) rule += dash;
    const std::string expected = "Docs(ftp://H/home/u)\r\n" + tee + dash + "<pics>\r\n" + bar + "    " + bar +
                                 "    x.jpg    2KB    2024-01-05 10:20:30\r\n" + bar +
                                 "    a.txt    100bytes    2024-01-04 09:00:00\r\n" + rule + "\r\n" +
                                 "    1 folders, 2 files, export date: 2024/01/06 08:15\r\n";
    EXPECT_EQ(browser::WriteTreeBytes(root, "2024/01/06 08:15"), expected);
}

TEST(ListingExport, EmptyRootAndEmptySubfolder) {
    ExportNode root;
    root.text = "S(ftp://h/)";
    const std::string corner = "\xA9\xB8", dash = "\xA9\xA4", bar = "\xA9\xA6";
    // Root line of 11 bytes: a = 5, four dashes.
    EXPECT_EQ(browser::WriteTreeBytes(root, "D"),
              "S(ftp://h/)\r\n" + corner + dash + dash + dash + dash + "\r\n    0 folders, 0 files, export date: D\r\n");

    root.add("<empty>");
    const std::string out = browser::WriteTreeBytes(root, "D");
    EXPECT_NE(out.find("\r\n" + bar + "    <empty>\r\n"), std::string::npos);
    EXPECT_NE(out.find("0 folders, 1 files"), std::string::npos);
}

TEST(ListingExport, SecondLevelFolderPrefixAndShortRule) {
    ExportNode root;
    root.text = "R";
    ExportNode* a = root.add("<a>");
    ExportNode* b = a->add("<b>");
    b->add("f");
    const std::string bar = "\xA9\xA6", tee = "\xA9\xC0", dash = "\xA9\xA4", corner = "\xA9\xB8";
    const std::string out = browser::WriteTreeBytes(root, "D");
    EXPECT_NE(out.find("\r\n" + tee + dash + "<a>\r\n" + bar + "    " + tee + dash + "<b>\r\n" + bar + "    " +
                       bar + "    " + bar + "    f\r\n"),
              std::string::npos);
    EXPECT_NE(out.find("    2 folders, 1 files"), std::string::npos);

    ExportNode tiny;
    tiny.text = "ab";  // a = 1: just the corner
    EXPECT_EQ(browser::WriteTreeBytes(tiny, "D").substr(4, 4), corner + "\r\n");
}

TEST(ListingExport, RefusedListingRaisesOutOfTheWalk) {
    FakeServer s;
    s.cwd = "/";
    s.folders["/"] = {dir("a")};
    s.folders["/a"] = {dir("b")};
    s.folders["/a/b"] = {};
    s.refused = {"CWD b"};
    ExportNode root;
    s.cwd = "/";
    EXPECT_THROW(browser::BuildTree(s, "a", "/", root), std::runtime_error);
}
