#include "transfer/transfer_type.h"

#include "store/table.h"

#include <algorithm>

namespace transfer {

std::vector<std::string> LoadAsciiExtensions(store::Tdm& dm) {
    std::vector<std::string> out;
    store::TableScope t(dm.ascext());
    for (t->first(); !t->eof(); t->next()) out.push_back(t->asString("ext"));
    return out;
}

TIdFTPTransferType ChooseTransferType(const std::string& transfermode, const std::string& extension,
                                      const std::vector<std::string>& asciiExts) {
    if (transfermode == "ascii") return ftASCII;
    if (transfermode != "auto") return ftBinary;
    std::string key = extension.empty() ? std::string() : extension.substr(1);
    std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    });
    return std::find(asciiExts.begin(), asciiExts.end(), key) != asciiExts.end() ? ftASCII : ftBinary;
}

}  // namespace transfer
