#pragma once
// Store operations on the global options: the options row, the anti-idle
// commands and the ASCII extensions. Each opens and closes its own tables.
#include "store/table.h"

#include <string>
#include <vector>

namespace store {

// The single row of options; a missing row reads as empty values.
struct OptionsRecord {
    bool eanti = false;
    int interval = 0;
    std::string transfermode, transferc;
    int recvb = 0, sendb = 0;
    bool appe = false;
};

// An anti-idle command or an ASCII extension with its tick.
struct TickedText {
    std::string text;
    bool tf = false;
};

OptionsRecord readOptions(Tdm& dm);
std::vector<TickedText> antiIdleCommands(Tdm& dm);
std::vector<TickedText> asciiExtensions(Tdm& dm);
// The ticked anti-idle commands, in table order.
std::vector<std::string> enabledAntiIdleCommands(Tdm& dm);

// Writes the tick of the row holding `text`; false when there is none.
bool setAntiIdleTick(Tdm& dm, const std::string& text, bool tf);
bool setAsciiExtensionTick(Tdm& dm, const std::string& text, bool tf);

// Replaces both lists and writes the options row (creating it on an empty
// table), in one write: all of it is saved, or nothing and EStoreError.
void saveOptions(Tdm& dm, const std::vector<TickedText>& commands,
                 const std::vector<TickedText>& extensions, const OptionsRecord& options);

}  // namespace store
