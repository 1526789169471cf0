#pragma once
// ASCII or binary for one file, by the page's transfer mode and the stored
// list of ASCII extensions.
#include "ftp/ftp_client.h"

#include <string>
#include <vector>

namespace store { class Tdm; }

namespace transfer {

// The `ext` values of the ascext table, in table order.
std::vector<std::string> LoadAsciiExtensions(store::Tdm& dm);

// "ascii": ASCII; "auto": ASCII when the extension without its dot, in upper
// case, is one of `asciiExts` (exactly); anything else is binary, so a missing
// or odd mode never leaves the ASCII type of the last listing in force.
TIdFTPTransferType ChooseTransferType(const std::string& transfermode, const std::string& extension,
                                      const std::vector<std::string>& asciiExts);

}  // namespace transfer
