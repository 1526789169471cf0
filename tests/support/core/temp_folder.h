#pragma once
// A private folder for one test, removed with everything in it at the end.
#include <filesystem>
#include <random>
#include <string>

namespace testing_support {

class TempFolder {
public:
    TempFolder() {
        std::random_device rd;
        dir_ = std::filesystem::temp_directory_path() /
               ("ostrafen-test-" + std::to_string(rd()) + std::to_string(rd()));
        std::filesystem::create_directories(dir_);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::filesystem::path path(const std::string& name) const { return dir_ / name; }
    const std::filesystem::path& dir() const { return dir_; }

private:
    std::filesystem::path dir_;
};

}  // namespace testing_support
