#include "transfer/duplicate_resolution.h"

#include "browser/name_validation.h"
#include "browser/remote_list_model.h"
#include "platform/ui/dialog_service.h"
#include "platform/ui/file_type.h"
#include "transfer/local_target.h"

#include <QDateTime>
#include <QFileInfo>

#include <filesystem>

namespace transfer {

namespace {

QString text(const std::string& s) { return browser::fromBytes(s); }

struct LocalFacts {
    std::int64_t size = 0;
    std::string modified;
};

LocalFacts localFacts(const std::string& path, bool isfolder) {
    LocalFacts f;
    const QFileInfo fi(text(path));
    if (!fi.exists()) return f;
    if (!isfolder) f.size = fi.size();
    f.modified = fi.lastModified().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")).toStdString();
    return f;
}

void sayTaken(const std::string& name, QWidget* parent) {
    ui::warning(parent, QStringLiteral("The name %1 was existed, please re-enter.").arg(text(name)));
}

void sayForbidden(QWidget* parent) {
    ui::error(parent,
              QStringLiteral("The following characters can not be contained in the name of files: \\/:*?\"<>|"));
}

}  // namespace

DuplicateView BuildDuplicateView(const rtmpinfo& info, bool isfolder, bool download) {
    DuplicateView v;
    v.download = download;
    v.isfolder = isfolder;
    const std::string name = LocalLastPart(info.path);
    const std::string type =
        isfolder ? std::string("Folder") : ui::fileTypeName(text(info.path)).toUtf8().toStdString();
    const LocalFacts local = localFacts(info.path, isfolder);
    const DuplicateSide remoteSide{name, info.remotesize, info.remotedate, type};
    if (download) {
        v.top = remoteSide;
        v.bottom = {name, local.size, local.modified, type};
        if (!isfolder && local.size < info.remotesize) {
            v.resumeEnabled = true;
            v.resumeat = local.size;
            v.remaining = info.remotesize - local.size;
        }
    } else {
        v.top = {name, info.localsize, local.modified, type};
        v.bottom = remoteSide;
    }
    return v;
}

DuplicateAnswer ApplyDuplicateChoice(QueueState& st, const DuplicateView& view, const DuplicateChoice& choice) {
    st.resumeat = 0;
    switch (choice.button) {
    case DuplicateButton::OverwriteAll:
        st.askdup = false;
        st.dupchoice = static_cast<int>(DuplicateAnswer::Overwrite);
        return DuplicateAnswer::Overwrite;
    case DuplicateButton::Overwrite:
        return DuplicateAnswer::Overwrite;
    case DuplicateButton::SkipAll:
        st.askdup = false;
        st.dupchoice = static_cast<int>(DuplicateAnswer::Skip);
        return DuplicateAnswer::Skip;
    case DuplicateButton::Skip:
        return DuplicateAnswer::Skip;
    case DuplicateButton::Rename:
        st.newname = choice.newname;
        return DuplicateAnswer::Rename;
    case DuplicateButton::Resume:
        // Only offered onto a shorter local file of a download.
        if (!view.resumeEnabled) return DuplicateAnswer::Cancel;
        st.resumeat = view.resumeat;
        st.remaining = view.remaining;
        return DuplicateAnswer::Resume;
    case DuplicateButton::Cancel:
        break;
    }
    return DuplicateAnswer::Cancel;
}

DuplicateAnswer ResolveDuplicate(QueueState& st, const rtmpinfo& info, bool isfolder, bool download,
                                 const DuplicateAsker& ask) {
    st.resumeat = 0;
    const auto overwrite = static_cast<int>(DuplicateAnswer::Overwrite);
    const auto skip = static_cast<int>(DuplicateAnswer::Skip);
    if (!st.askdup && (st.dupchoice == overwrite || st.dupchoice == skip))
        return static_cast<DuplicateAnswer>(st.dupchoice);
    const DuplicateView view = BuildDuplicateView(info, isfolder, download);
    return ApplyDuplicateChoice(st, view, ask(view));
}

bool AcceptNewName(const RenameRules& rules, const std::string& name, QWidget* parent) {
    // "", "." and ".." always name something that is there already.
    if (name.empty() || name == "." || name == "..") {
        sayTaken(name, parent);
        return false;
    }
    if (rules.download) {
        // A file of that name is refused like a folder: the download could
        // only end the run on it.
        std::error_code ec;
        const std::string target = WithSeparator(rules.localFolder) + name;
        if (std::filesystem::exists(std::filesystem::symlink_status(target, ec))) {
            sayTaken(name, parent);
            return false;
        }
        if (browser::hasForbiddenNameChar(name) || !IsSafeLocalName(name)) {
            sayForbidden(parent);
            return false;
        }
        return true;
    }
    bool taken = false;
    try {
        taken = rules.remoteExists && rules.remoteExists(name);
    } catch (const std::exception&) {
        return false;
    }
    if (taken) {
        sayTaken(name, parent);
        return false;
    }
    return browser::ValidateNewName(name, rules.listing, parent);
}

}  // namespace transfer
