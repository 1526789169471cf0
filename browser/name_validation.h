#pragma once
// Check of a name the user typed for a remote file or folder.
#include "browser/listing_row.h"

#include <string>
#include <vector>

class QWidget;

namespace browser {

// True when the name holds one of \ / : * ? " < > |.
bool hasForbiddenNameChar(const std::string& name);

// Both checks are made, each with its own error box: forbidden characters,
// and a row of `listing` with exactly this name. True when both pass.
bool ValidateNewName(const std::string& name, const std::vector<rdatalist>& listing,
                     QWidget* parent = nullptr);

}  // namespace browser
