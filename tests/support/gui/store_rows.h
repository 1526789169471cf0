#pragma once
// Rows tests put into the store, and what they read back from it.
#include "store/options_records.h"
#include "store/site_records.h"

#include <algorithm>
#include <string>
#include <vector>

namespace testing_support {

// A site on this machine with short waits, as the page tests want it.
inline store::SiteRecord loopbackSite(const std::string& name, int port) {
    store::SiteRecord s;
    s.name = name;
    s.address = "127.0.0.1";
    s.port = port;
    s.username = "bob";
    s.password = "pw";
    s.timeout = 5;
    s.rd = 1;
    return s;
}

// Keeps only the named anti-idle commands enabled; sets the idle interval.
inline void setAntiIdle(store::Tdm& dm, const std::vector<std::string>& enabled, int interval) {
    std::vector<store::TickedText> cmds = store::antiIdleCommands(dm);
    for (auto& c : cmds) c.tf = std::find(enabled.begin(), enabled.end(), c.text) != enabled.end();
    store::OptionsRecord o = store::readOptions(dm);
    o.interval = interval;
    store::saveOptions(dm, cmds, store::asciiExtensions(dm), o);
}

// One field of every row, in table order.
inline std::vector<std::string> column(store::Table& table, const std::string& field) {
    std::vector<std::string> out;
    store::TableScope t(table);
    for (t->first(); !t->eof(); t->next()) out.push_back(t->asString(field));
    return out;
}

}  // namespace testing_support
