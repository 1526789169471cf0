#include "dialogs/name_match.h"

#include <QString>

namespace names {

namespace {

QString text(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

}  // namespace

bool FindMatches(const std::string& name, const std::string& search, bool caseSensitive,
                 bool wholeWords) {
    if (search.empty()) return false;
    if (wholeWords) return name == search;
    if (caseSensitive) return name.find(search) != std::string::npos;
    return text(name).toUpper().contains(text(search).toUpper());
}

std::vector<int> FindRows(const std::vector<std::string>& rows, const std::string& search,
                          bool caseSensitive, bool wholeWords) {
    std::vector<int> out;
    for (size_t i = 0; i < rows.size(); ++i)
        if (FindMatches(rows[i], search, caseSensitive, wholeWords)) out.push_back(static_cast<int>(i));
    return out;
}

std::string NameExtension(const std::string& name) {
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

bool PassesFilter(const std::string& name, const std::string& pattern) {
    return "*" + NameExtension(name) == pattern;
}

std::vector<bool> FilterVisible(const std::vector<FilterRow>& rows, const std::string& pattern) {
    std::vector<bool> out;
    out.reserve(rows.size());
    const bool all = pattern == "*.*";
    for (const FilterRow& r : rows)
        out.push_back(r.visible && (all || !r.file || PassesFilter(r.name, pattern)));
    return out;
}

}  // namespace names
