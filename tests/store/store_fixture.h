#pragma once
// A private folder per test with a data module that can be pointed at it.
#include "store/table.h"
#include "tests/support/core/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

namespace store_test {

inline std::string readAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeAll(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

using TempDir = testing_support::TempFolder;

class StoreTest : public ::testing::Test {
protected:
    std::string storePath() const { return tmp.path("all.dat").string(); }

    // A fresh data module on all.dat of this test's folder.
    std::unique_ptr<store::Tdm> openModule() {
        auto dm = std::make_unique<store::Tdm>();
        dm->database().setFileName(storePath());
        dm->database().connect();
        return dm;
    }

    void SetUp() override { dm = openModule(); }

    TempDir tmp;
    std::unique_ptr<store::Tdm> dm;
};

}  // namespace store_test
