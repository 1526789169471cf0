#pragma once
// What happens when a transfer's target already exists: the facts the
// "Duplicate file found" dialog compares, the answer it gives, and how that
// answer lands on the page's queue state. Plain functions; the dialog itself
// is transfer/duplicate_dialog.h.
#include "browser/listing_row.h"
#include "browser/queue_state.h"
#include "transfer/remote_listing.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace transfer {

// Stored in QueueState::dupchoice as its int value.
enum class DuplicateAnswer { Rename = 0, Cancel, Overwrite, Skip, Resume };

enum class DuplicateButton { Overwrite, OverwriteAll, Skip, SkipAll, Rename, Resume, Cancel };

struct DuplicateSide {
    std::string name;
    std::int64_t size = 0;
    std::string modified;  // "yyyy-mm-dd hh:mm:ss"
    std::string type;      // "Folder" or the file-type name
};

// The two blocks of the dialog: the top one is the local side for uploads
// and the remote side for downloads.
struct DuplicateView {
    bool download = false;
    bool isfolder = false;
    DuplicateSide top, bottom;
    // A download onto a shorter local file may go on from its end.
    bool resumeEnabled = false;
    std::int64_t resumeat = 0, remaining = 0;

    const char* topHeading() const { return download ? "Remote file" : "Local file"; }
    const char* bottomHeading() const { return download ? "Local file" : "Remote file"; }
};

// Reads the local item at info.path (size, last-write time) and fills both
// sides. For downloads info.remotesize is what the server said (-1 unknown).
DuplicateView BuildDuplicateView(const rtmpinfo& info, bool isfolder, bool download);

struct DuplicateChoice {
    DuplicateButton button = DuplicateButton::Cancel;
    std::string newname;  // "Rename": the accepted name
};
using DuplicateAsker = std::function<DuplicateChoice(const DuplicateView&)>;

// Clears resumeat; returns the remembered answer of "Overwrite all" or "Skip
// all" without asking; otherwise asks and applies the choice.
DuplicateAnswer ResolveDuplicate(QueueState& st, const rtmpinfo& info, bool isfolder, bool download,
                                 const DuplicateAsker& ask);

// The answer of a choice and its effects on the state: "... all" sticks for
// the rest of the run, "Rename" sets newname, "Resume" sets resumeat and
// remaining. resumeat stays 0 for every other answer, so an Overwrite shows
// the whole file's progress.
DuplicateAnswer ApplyDuplicateChoice(QueueState& st, const DuplicateView& view, const DuplicateChoice& choice);

// The checks of a name typed after "Rename"; each refusal shows its message
// and keeps the dialog open.
struct RenameRules {
    bool download = false;
    // Downloads: the folder of the entry's local path.
    std::string localFolder;
    // Uploads: whether a fresh listing of the current remote folder holds the
    // name. An error here refuses the name without a message.
    std::function<bool(const std::string& name)> remoteExists;
    // Uploads: the remote list's rows, for the duplicate-name check.
    std::vector<rdatalist> listing;
};
bool AcceptNewName(const RenameRules& rules, const std::string& name, QWidget* parent = nullptr);

}  // namespace transfer
