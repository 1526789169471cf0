#include "browser/name_validation.h"

#include "browser/remote_list_model.h"
#include "platform/ui/dialog_service.h"

#include <algorithm>

namespace browser {

bool hasForbiddenNameChar(const std::string& name) {
    return name.find_first_of("\\/:*?\"<>|") != std::string::npos;
}

bool ValidateNewName(const std::string& name, const std::vector<rdatalist>& listing,
                     QWidget* parent) {
    bool ok = true;
    if (hasForbiddenNameChar(name)) {
        ui::error(parent, QStringLiteral(
            "The following characters can not be contained in the name of files: \\/:*?\"<>|"));
        ok = false;
    }
    const bool taken = std::any_of(listing.begin(), listing.end(),
                                   [&](const rdatalist& r) { return r.name == name; });
    if (taken) {
        ui::error(parent, QStringLiteral("The name %1 was existed, please re-enter.")
                              .arg(fromBytes(name)));
        ok = false;
    }
    return ok;
}

}  // namespace browser
