#include "browser/remote_walk.h"

#include "browser/size_text.h"

namespace browser {

namespace {

std::string trimmed(const std::string& s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    const auto e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

bool isDotEntry(const std::string& name) {
    const std::string t = trimmed(name);
    return t == "." || t == "..";
}

}  // namespace

bool unsafeEntryName(const std::string& name) {
    return name.empty() || name.find('/') != std::string::npos ||
           name.find('\0') != std::string::npos || isDotEntry(name);
}

// Servers may list "." and ".." anywhere, so they are skipped rather than
// taken as the end of the folder.
void DeleteTree(RemoteOps& ops, const std::string& folder) {
    ops.processMessages();
    ops.changeFolder(folder);
    std::vector<RemoteEntry> copy = ops.listCurrent();
    while (!copy.empty()) {
        const RemoteEntry e = std::move(copy.back());
        copy.pop_back();
        if (isDotEntry(e.name)) continue;
        if (unsafeEntryName(e.name)) {
            ops.skipped(e.name);
            continue;
        }
        if (e.kind == RemoteEntry::KindFolder)
            DeleteTree(ops, e.name);
        else
            ops.removeFile(e.name);
    }
    ops.changeFolder("..");
    ops.removeFolder(folder);
}

std::string exportLeafText(const std::string& name, const std::string& sizeText,
                           const std::string& modified) {
    return name + "    " + sizeText + "    " + modified;
}

void BuildTree(RemoteOps& ops, const std::string& folder, const std::string& initialdir,
               ExportNode& parent) {
    ops.processMessages();
    ExportNode* node = &parent;
    if (folder != initialdir) node = parent.add("<" + folder + ">");
    ops.changeFolder(folder);
    std::vector<RemoteEntry> copy = ops.listCurrent();
    while (!copy.empty()) {
        const RemoteEntry e = std::move(copy.back());
        copy.pop_back();
        if (isDotEntry(e.name)) continue;
        if (e.kind == RemoteEntry::KindFolder) {
            if (unsafeEntryName(e.name)) {
                ops.skipped(e.name);
                continue;
            }
            BuildTree(ops, e.name, initialdir, *node);
        } else {
            node->add(exportLeafText(e.name, SizeText(e.size), e.modified));
        }
    }
    ops.changeFolder("..");
}

namespace {

// GB2312 byte pairs of the box-drawing characters.
const std::string kTee = "\xA9\xC0";     // U+251C
const std::string kDash = "\xA9\xA4";    // U+2500
const std::string kBar = "\xA9\xA6";     // U+2502
const std::string kCorner = "\xA9\xB8";  // U+2514

struct Writer {
    std::string out;
    std::size_t longest = 0;
    long folders = 0, files = 0;

    void line(const std::string& s) {
        longest = std::max(longest, s.size());
        out += s;
        out += "\r\n";
    }

    void walk(const ExportNode& node, int level, std::string& prefix) {
        for (const auto& child : node.children) {
            const bool hasChildren = !child->children.empty();
            // Segments above the node's own level are always the bar.
            std::string p = prefix;
            p += hasChildren ? kTee + kDash : kBar + "    ";
            line(p + child->text);
            if (hasChildren) {
                ++folders;
                std::string deeper = prefix + kBar + "    ";
                walk(*child, level + 1, deeper);
            } else {
                ++files;
            }
        }
    }
};

}  // namespace

std::string WriteTreeBytes(const ExportNode& root, const std::string& exportDate) {
    Writer w;
    w.line(root.text);
    std::string prefix;
    w.walk(root, 1, prefix);
    const std::size_t a = w.longest / 2;
    std::string rule = kCorner;
    for (std::size_t i = 1; i < a; ++i) rule += kDash;
    w.out += rule + "\r\n";
    w.out += "    " + std::to_string(w.folders) + " folders, " + std::to_string(w.files) +
             " files, export date: " + exportDate + "\r\n";
    return w.out;
}

}  // namespace browser
