#pragma once
// One row of a remote listing or of the listing cache. Names are kept as the
// bytes the server sent; they become text only when shown.
#include <cstdint>
#include <string>

struct rdatalist {
    std::string name;
    std::string typetext;   // "Folder", or the file-type name (cache rows: empty for files)
    int image = 1;          // 0 folder, 1 file
    std::string sizetext;   // "12KB" in the listing; a plain byte count in the cache
    std::int64_t size = 0;  // bytes; 0 for folders
    std::string sorttype;   // files: the type name; folders: empty
    std::string modified;   // "yyyy-mm-dd hh:mm:ss"
    std::string folder;     // cache rows only: the remote folder of the row

    // How the view's actions tell a folder from a file.
    bool isFolder() const { return typetext == "Folder" && sizetext.empty(); }
};

// One parsed listing entry, as far as the browser needs it.
struct RemoteEntry {
    enum Kind { KindFolder = 0, KindFile = 1, KindLink = 2 };
    std::string name;
    Kind kind = KindFile;
    std::int64_t size = 0;
    std::string modified;   // "yyyy-mm-dd hh:mm:ss"
};
