#include "store/recent_list.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace store {

std::string CutRecentText(const std::string& text) {
    if (text.size() <= static_cast<size_t>(kRecentTextMax)) return text;
    size_t cut = kRecentTextMax;
    // Back off over continuation bytes so no character is split; a UTF-8
    // character has at most three of them, so other bytes cost at most three.
    for (int i = 0; i < 3 && cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80; ++i)
        --cut;
    if ((static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) cut = kRecentTextMax;
    return text.substr(0, cut);
}

std::vector<std::string> LoadRecentList(const std::string& path) {
    std::vector<std::string> items;
    std::ifstream in(fs::path(path), std::ios::binary);
    if (!in) return items;
    unsigned char head[4];
    if (!in.read(reinterpret_cast<char*>(head), 4)) return items;
    std::int32_t count = static_cast<std::int32_t>(
        std::uint32_t(head[0]) | (std::uint32_t(head[1]) << 8) | (std::uint32_t(head[2]) << 16) |
        (std::uint32_t(head[3]) << 24));
    // The count is only a bound: the entries present in the file decide, so a
    // damaged count never makes us allocate or read beyond the file.
    char entry[kRecentEntrySize];
    for (std::int32_t i = 0; i < count; ++i) {
        if (!in.read(entry, kRecentEntrySize)) break;
        size_t len = std::min<size_t>(static_cast<unsigned char>(entry[0]), kRecentTextMax);
        items.emplace_back(entry + 1, len);
    }
    return items;
}

namespace {

bool flushToDisk(std::FILE* f) {
    if (std::fflush(f) != 0) return false;
#ifdef _WIN32
    return _commit(_fileno(f)) == 0;
#else
    return ::fsync(fileno(f)) == 0;
#endif
}

}  // namespace

bool SaveRecentList(const std::string& path, const std::vector<std::string>& items) {
    if (items.size() > static_cast<size_t>(INT32_MAX)) return false;
    std::string data;
    data.reserve(4 + items.size() * kRecentEntrySize);
    std::uint32_t n = static_cast<std::uint32_t>(items.size());
    for (int i = 0; i < 4; ++i) data += static_cast<char>((n >> (8 * i)) & 0xFF);
    for (const std::string& item : items) {
        std::string text = CutRecentText(item);
        data += static_cast<char>(text.size());
        data += text;
        data.append(kRecentTextMax - text.size(), '\0');
    }

    // Written beside the target and renamed over it, so a crash or a full
    // disk never leaves a half-written list.
    std::string tmp = path + ".tmp";
    std::FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    ok = flushToDisk(f) && ok;
    ok = std::fclose(f) == 0 && ok;
    std::error_code ec;
    if (ok) {
        fs::rename(fs::path(tmp), fs::path(path), ec);
        ok = !ec;
    }
    if (!ok) fs::remove(fs::path(tmp), ec);
    return ok;
}

bool ClearRecentList(const std::string& path) { return SaveRecentList(path, {}); }

bool AddRecentUnique(std::vector<std::string>& items, const std::string& text) {
    // Entries come back from the file cut; compared whole, a long text would
    // be added again after every reload.
    const std::string stored = CutRecentText(text);
    for (const std::string& item : items)
        if (CutRecentText(item) == stored) return false;
    items.push_back(text);
    return true;
}

}  // namespace store
