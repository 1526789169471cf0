#pragma once
// Whole folder trees moved over the page's one connection, one file at a
// time. The walks use absolute local paths and never change the process's
// current folder, so runs of different pages can interleave.
#include "ftp/ftp_client.h"
#include "platform/exceptions.h"

#include <cstdint>
#include <functional>
#include <string>

namespace transfer {

// Raised when the caller's validity check fails after a network call (the
// page was disconnected or closed, or its connection was replaced): the run
// ends without a log line, a row update or a history row.
class ERunStopped : public EIdException {
public:
    ERunStopped() : EIdException("The run was stopped.") {}
};

// What a walk needs besides the client. Every member may be left empty.
struct WalkContext {
    // A line for the page's log: text and kind (2: error or status).
    std::function<void(const std::string& text, int kind)> log;
    // Asked after every call that waited for the server; false stops the
    // walk at once with ERunStopped.
    std::function<bool()> stillValid;
    // The transfer type for a file's extension (".txt", or empty).
    std::function<TIdFTPTransferType(const std::string& extension)> typeFor;
    // The size of the file about to be downloaded, as listed.
    std::function<void(std::int64_t size)> expectSize;
    // Lets waiting window messages run (once per folder).
    std::function<void()> processMessages;
    // An error box.
    std::function<void(const std::string& text)> errorBox;
};

enum class DownloadMode { New, Overwrite, Rename };

// Downloads the remote folder `remote` (a child of the server's current
// folder) into `local`, or, in rename mode, into the folder `newname` beside
// `local`; only the top folder takes the new name. In new and rename modes an
// existing local file ends the walk with EIdFTPFileAlreadyExists. The server
// ends in the folder it started in.
void DownloadTree(TIdFTP& ftp, const WalkContext& ctx, const std::string& remote, const std::string& local,
                  DownloadMode mode, const std::string& newname = {});

// Uploads the contents of the local folder `localFolder` into the server's
// current folder, which must be its remote counterpart; existing remote
// files are replaced and existing subfolders entered. The server ends one
// level up. Links to folders are listed in the log, never followed.
void UploadTree(TIdFTP& ftp, const WalkContext& ctx, const std::string& localFolder);

}  // namespace transfer
