#pragma once
// Recursive walks over the server's folder tree on the frame's connection:
// deleting a folder tree and building the tree of a listing export. They talk
// to the server through RemoteOps so they can be driven by a fake as well.
#include "browser/listing_row.h"

#include <memory>
#include <string>
#include <vector>

namespace browser {

class RemoteOps {
public:
    virtual ~RemoteOps() = default;
    virtual void changeFolder(const std::string& path) = 0;
    // "LIST" of the current folder, parsed.
    virtual std::vector<RemoteEntry> listCurrent() = 0;
    virtual void removeFile(const std::string& name) = 0;
    virtual void removeFolder(const std::string& name) = 0;
    // Lets waiting window messages run between folders.
    virtual void processMessages() {}
    // A refused entry name (one that would leave the folder being walked).
    virtual void skipped(const std::string& name) { (void)name; }
};

// Names that would make "CWD name" leave the folder being walked ("a/../..").
bool unsafeEntryName(const std::string& name);

// Deletes `folder` (a child of the current remote folder) with everything in
// it, from the last listed entry back to the first; ends in the folder it
// started from.
void DeleteTree(RemoteOps& ops, const std::string& folder);

// The export tree: folders are nodes "<name>", files are leaves.
struct ExportNode {
    std::string text;
    std::vector<std::unique_ptr<ExportNode>> children;
    ExportNode* add(std::string t) {
        children.push_back(std::make_unique<ExportNode>());
        children.back()->text = std::move(t);
        return children.back().get();
    }
};

// Text of a file leaf: name, four blanks, size text, four blanks, date.
std::string exportLeafText(const std::string& name, const std::string& sizeText,
                           const std::string& modified);

// Lists `folder` and adds its entries below `parent`; a folder other than
// `initialdir` gets a node of its own first.
void BuildTree(RemoteOps& ops, const std::string& folder, const std::string& initialdir,
               ExportNode& parent);

// The bytes of the export file: root line, tree lines, closing rule and the
// summary line (with `exportDate` as "yyyy/mm/dd hh:mm"), each ended by CR LF.
std::string WriteTreeBytes(const ExportNode& root, const std::string& exportDate);

}  // namespace browser
