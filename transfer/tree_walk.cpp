#include "transfer/tree_walk.h"

#include "ftp/id_exceptions.h"
#include "transfer/local_target.h"
#include "transfer/remote_listing.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace transfer {

namespace {

const char* const kCannotCreate = "Can not create the folder. Downloading cancel.";

void log(const WalkContext& ctx, const std::string& text) {
    if (ctx.log) ctx.log(text, 2);
}

void check(const WalkContext& ctx) {
    if (ctx.stillValid && !ctx.stillValid()) throw ERunStopped();
}

void pump(const WalkContext& ctx) {
    if (ctx.processMessages) {
        ctx.processMessages();
        check(ctx);
    }
}

void setType(TIdFTP& ftp, const WalkContext& ctx, const std::string& name) {
    ftp.SetTransferType(ctx.typeFor ? ctx.typeFor(ExtensionOf(name)) : ftBinary);
    check(ctx);
}

// The command line ends at CR or LF: such a name would smuggle a second
// command to the server.
bool sendableName(const std::string& name) { return name.find_first_of("\r\n") == std::string::npos; }

bool isLink(const fs::path& p) {
    std::error_code ec;
    return fs::is_symlink(fs::symlink_status(p, ec));
}

// Makes `dir` exist as a folder (one level). False when it cannot.
bool ensureFolder(const fs::path& dir) {
    std::error_code ec;
    if (fs::is_directory(fs::status(dir, ec))) return true;
    if (fs::exists(fs::symlink_status(dir, ec))) return false;  // a file, or a dangling link
    fs::create_directory(dir, ec);
    return !ec && fs::is_directory(fs::status(dir, ec));
}

void downloadFolder(TIdFTP& ftp, const WalkContext& ctx, const std::string& remote, const fs::path& target,
                    DownloadMode mode) {
    pump(ctx);
    if (!ensureFolder(target)) {
        if (ctx.errorBox) ctx.errorBox(kCannotCreate);
        throw EIdLocalFileError(kCannotCreate);
    }
    const fs::path folder = fs::absolute(target);
    ftp.ChangeFolder(remote);
    check(ctx);
    std::vector<RemoteEntry> entries = FetchRemoteEntries(ftp);
    check(ctx);
    // From the last entry back to the first, as the delete walk does.
    while (!entries.empty()) {
        const RemoteEntry e = std::move(entries.back());
        entries.pop_back();
        if (IsDotEntry(e.name)) continue;
        const std::optional<std::string> where = LocalTarget(folder.string(), e.name);
        if (!where || !sendableName(e.name)) {
            log(ctx, RefusedNameLine(e.name));
            continue;
        }
        const fs::path local(*where);
        if (isLink(local)) {
            // A link placed in the download folder would carry the data elsewhere.
            log(ctx, "Skipped <" + *where + ">: the local name is a link.");
            continue;
        }
        if (e.kind == RemoteEntry::KindFolder) {
            downloadFolder(ftp, ctx, e.name, local, mode);
            continue;
        }
        if (ctx.expectSize) ctx.expectSize(e.size);
        setType(ftp, ctx, e.name);
        ftp.DownloadToFile(e.name, *where, mode == DownloadMode::Overwrite, false);
        check(ctx);
    }
    ftp.ChangeFolder("..");
    check(ctx);
}

struct LocalItem {
    std::string name;
    fs::path path;
    fs::file_type type;
    bool link = false;
};

std::vector<LocalItem> localItems(const fs::path& folder) {
    std::vector<LocalItem> out;
    std::error_code ec;
    fs::directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        LocalItem item;
        item.path = it->path();
        item.name = item.path.filename().string();
        std::error_code sec;
        item.link = it->is_symlink(sec);
        item.type = fs::status(item.path, sec).type();
        out.push_back(std::move(item));
    }
    if (ec) throw EIdLocalFileError("Can not read the folder " + folder.string() + ": " + ec.message());
    // Name order, so that a tree goes up the same way on every platform.
    std::sort(out.begin(), out.end(), [](const LocalItem& a, const LocalItem& b) { return a.name < b.name; });
    return out;
}

void uploadFolder(TIdFTP& ftp, const WalkContext& ctx, const fs::path& folder) {
    pump(ctx);
    const std::vector<LocalItem> items = localItems(folder);
    // One listing per folder serves every subfolder of it: only this walk
    // adds to it meanwhile, and it remembers what it made.
    bool listed = false;
    std::vector<RemoteEntry> remote;
    for (const LocalItem& item : items) {
        if (item.name == "." || item.name == "..") continue;
        if (!sendableName(item.name)) {
            log(ctx, "Skipped <" + item.path.string() + ">: the name can not be sent to the server.");
            continue;
        }
        if (item.type == fs::file_type::directory) {
            if (item.link) {
                // A link to an ancestor would recurse without end.
                log(ctx, "Skipped <" + item.path.string() + ">: links to folders are not followed.");
                continue;
            }
            if (!listed) {
                remote = FetchRemoteEntries(ftp);
                check(ctx);
                listed = true;
            }
            rtmpinfo info;
            if (FindRemoteEntry(remote, item.name, info, true) < 0) {
                ftp.CreateFolder(item.name);
                check(ctx);
                RemoteEntry made;
                made.name = item.name;
                made.kind = RemoteEntry::KindFolder;
                remote.push_back(made);
            }
            ftp.ChangeFolder(item.name);
            check(ctx);
            uploadFolder(ftp, ctx, item.path);
        } else if (item.type == fs::file_type::regular) {
            setType(ftp, ctx, item.name);
            ftp.UploadFromFile(item.path.string(), item.name, false);
            check(ctx);
        } else {
            // Pipes, sockets and devices would block or never end.
            log(ctx, "Skipped <" + item.path.string() + ">: not a file or folder.");
        }
    }
    ftp.ChangeFolder("..");
    check(ctx);
}

}  // namespace

void DownloadTree(TIdFTP& ftp, const WalkContext& ctx, const std::string& remote, const std::string& local,
                  DownloadMode mode, const std::string& newname) {
    std::string top = local;
    if (mode == DownloadMode::Rename) {
        std::optional<std::string> renamed = LocalTarget(LocalFolderPart(local), newname);
        if (!renamed) {
            log(ctx, RefusedNameLine(newname));
            throw EIdLocalFileError(kCannotCreate);
        }
        top = *renamed;
    }
    // Below the top folder a renamed tree is simply new.
    downloadFolder(ftp, ctx, remote, fs::path(top), mode == DownloadMode::Rename ? DownloadMode::New : mode);
}

void UploadTree(TIdFTP& ftp, const WalkContext& ctx, const std::string& localFolder) {
    uploadFolder(ftp, ctx, fs::absolute(fs::path(localFolder)));
}

}  // namespace transfer
