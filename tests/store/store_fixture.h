#pragma once
// A private folder per test with a data module that can be pointed at it.
#include "store/table.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
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

class TempDir {
public:
    TempDir() {
        std::random_device rd;
        dir_ = std::filesystem::temp_directory_path() /
               ("ostrafen-store-" + std::to_string(rd()) + std::to_string(rd()));
        std::filesystem::create_directories(dir_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    std::filesystem::path path(const std::string& name) const { return dir_ / name; }
    const std::filesystem::path& dir() const { return dir_; }

private:
    std::filesystem::path dir_;
};

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
