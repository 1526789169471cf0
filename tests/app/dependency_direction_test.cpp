// The folders depend one way. Every source file may include headers of its
// own folder and of the folders below it, never of one above: a window that
// reached up would tie the layers into a circle again.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The folder an include path or a source path belongs to.
std::string folderOf(const std::string& path) {
    const auto first = path.find('/');
    if (first == std::string::npos) return {};
    const std::string top = path.substr(0, first);
    const auto second = path.find('/', first + 1);
    if ((top == "platform" || top == "tests") && second != std::string::npos) {
        const std::string sub = path.substr(0, second);
        if (top == "tests" && sub == "tests/support") {
            const auto third = path.find('/', second + 1);
            return third == std::string::npos ? sub : path.substr(0, third);
        }
        return sub;
    }
    return top;
}

using Rules = std::map<std::string, std::set<std::string>>;

// What each folder may include besides itself.
Rules rules() {
    const std::set<std::string> core = {"platform"};
    Rules r;
    r["platform"] = {};
    r["platform/net"] = core;
    r["platform/ui"] = core;
    r["platform/net/win32"] = {"platform", "platform/net"};
    r["ftp"] = {"platform", "platform/net"};
    r["store"] = core;
    r["store/engine"] = {"platform", "store"};
    r["dialogs"] = {"platform", "platform/ui", "store"};
    r["browser"] = {"platform", "platform/ui", "store", "ftp", "dialogs"};
    r["transfer"] = r["browser"];
    r["transfer"].insert("browser");
    r["tasks"] = r["transfer"];
    r["tasks"].insert("transfer");
    r["app"] = r["tasks"];
    r["app"].insert("tasks");
    // Tests use their folder's rules and the shared support.
    r["tests/support/core"] = {"platform", "platform/net", "ftp"};
    r["tests/support/gui"] = {"platform", "platform/ui", "store", "tests/support/core"};
    // Header-only rows for the store, shared by the store tests and the panes' tests.
    r["tests/support/store"] = {"platform", "store"};
    for (const char* f : {"platform/net", "ftp", "store"}) {
        r[std::string("tests/") + f] = r[f];
        r[std::string("tests/") + f].insert({f, "tests/support/core"});
    }
    r["tests/store"].insert("tests/support/store");
    for (const char* f : {"platform/ui", "dialogs", "browser", "transfer", "tasks", "app"}) {
        r[std::string("tests/") + f] = r[f];
        r[std::string("tests/") + f].insert({f, "tests/support/core", "tests/support/gui", "tests/support/store"});
    }
    return r;
}

struct Breach {
    std::string file, include;
};

std::vector<Breach> breaches(const fs::path& root, const Rules& r) {
    std::vector<Breach> out;
    const std::regex includeLine(R"(^\s*#\s*include\s*"([^"]+)\")");
    const std::regex trick(R"(^\s*#\s*(el)?if.*__has_include)");
    for (const auto& [folder, allowed] : r) {
        const fs::path dir = root / folder;
        if (!fs::is_directory(dir)) continue;
        for (const auto& entry : fs::directory_iterator(dir)) {
            const std::string ext = entry.path().extension().string();
            if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp")) continue;
            const std::string rel = fs::relative(entry.path(), root).generic_string();
            std::ifstream in(entry.path());
            std::string line;
            while (std::getline(in, line)) {
                std::smatch m;
                if (std::regex_search(line, trick)) out.push_back({rel, "__has_include"});
                if (!std::regex_search(line, m, includeLine)) continue;
                const std::string target = m[1].str();
                const std::string to = folderOf(target);
                // Same-folder includes without a path ("frame_fixture.h").
                if (to.empty() || to == folder || allowed.count(to)) continue;
                out.push_back({rel, target});
            }
        }
    }
    return out;
}

}  // namespace

TEST(DependencyDirection, NoFileIncludesAFolderAboveItsOwn) {
    const fs::path root = OSTRAFEN_SOURCE_DIR;
    ASSERT_TRUE(fs::is_directory(root / "browser")) << root;
    for (const Breach& b : breaches(root, rules()))
        ADD_FAILURE() << b.file << " includes " << b.include;
}

TEST(DependencyDirection, TheCheckSeesABreach) {
    // A dialog reaching into the main window, written into a scratch tree.
    const fs::path root = fs::temp_directory_path() / ("ostrafen-deps-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::create_directories(root / "dialogs");
    fs::create_directories(root / "browser");
    std::ofstream(root / "dialogs" / "x.cpp") << "#include \"store/table.h\"\n#include \"app/main_window.h\"\n";
    std::ofstream(root / "browser" / "y.cpp") << "#if __has_include(\"dialogs/z.h\")\n#endif\n";
    const auto found = breaches(root, rules());
    fs::remove_all(root);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].include + found[1].include, "__has_includeapp/main_window.h");
}
