#include "transfer/local_target.h"

#include <QDir>
#include <QFileInfo>
#include <QString>

namespace transfer {

namespace {

bool isSeparator(char c) {
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

}  // namespace

bool IsSafeLocalName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    if (name.find_first_of(std::string("/\\\0", 3)) != std::string::npos) return false;
#ifdef _WIN32
    if (name.find(':') != std::string::npos) return false;
    if (name.find_first_not_of(". ") == std::string::npos) return false;
#endif
    return true;
}

std::optional<std::string> LocalTarget(const std::string& folder, const std::string& name) {
    if (!IsSafeLocalName(name)) return std::nullopt;
    return WithSeparator(folder) + name;
}

std::string RefusedNameLine(const std::string& name) {
    // A NUL would cut the line short wherever it is shown.
    std::string shown;
    for (char c : name) shown += c == '\0' ? std::string("\\0") : std::string(1, c);
    return "Skipped <" + shown + ">: the name can not be used as a local file name.";
}

std::string LocalFolderPart(const std::string& path) {
    for (std::size_t i = path.size(); i > 0; --i)
        if (isSeparator(path[i - 1])) return path.substr(0, i);
    return {};
}

std::string LocalLastPart(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && isSeparator(p.back())) p.pop_back();
    for (std::size_t i = p.size(); i > 0; --i)
        if (isSeparator(p[i - 1])) return p.substr(i);
    return p;
}

std::string WithSeparator(const std::string& folder) {
    if (folder.empty() || isSeparator(folder.back())) return folder;
    return folder + kLocalSeparator;
}

bool CreateFolderPath(const std::string& path) {
    if (path.empty()) return true;
    const QString native =
        QDir::toNativeSeparators(QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size())));
    const QChar sep = QDir::separator();
    // The part that names the volume: "C:" or "\\server\share" on Windows,
    // nothing before the root "/" elsewhere.
    qsizetype start = 0;
#ifdef _WIN32
    if (native.size() >= 2 && native[1] == QLatin1Char(':')) {
        start = 2;
    } else if (native.startsWith(QStringLiteral("\\\\"))) {
        const qsizetype server = native.indexOf(sep, 2);
        if (server <= 2) return false;
        const qsizetype share = native.indexOf(sep, server + 1);
        if (share == server + 1) return false;
        start = share < 0 ? native.size() : share;
    } else {
        return false;
    }
#else
    if (!native.startsWith(sep)) return false;
#endif
    QString full = native;
    if (!full.endsWith(sep)) full += sep;
    // Skip the separator right after the volume part.
    qsizetype from = start;
    if (from < full.size() && full[from] == sep) ++from;
    for (qsizetype i = from; i < full.size(); ++i) {
        if (full[i] != sep) continue;
        if (i == from || full[i - 1] == sep) return false;  // an empty level
        const QString level = full.left(i);
        const QFileInfo info(level);
        if (info.isDir()) continue;
        if (info.exists()) return false;
        if (!QDir().mkdir(level)) return false;
    }
    return true;
}

std::string ExtensionOf(const std::string& name) {
    const auto dot = name.find_last_of('.');
    if (dot == std::string::npos) return {};
    return name.substr(dot);
}

}  // namespace transfer
