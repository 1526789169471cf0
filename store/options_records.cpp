#include "store/options_records.h"

namespace store {
namespace {

std::vector<TickedText> readTicked(Table& table, const char* field) {
    std::vector<TickedText> out;
    TableScope t(table);
    for (t->first(); !t->eof(); t->next()) out.push_back({t->asString(field), t->asBoolean("tf")});
    return out;
}

bool setTick(Table& table, const char* field, const std::string& text, bool tf) {
    TableScope t(table);
    if (!t->locate(field, {text})) return false;
    t->edit();
    t->setBoolean("tf", tf);
    t->post();
    return true;
}

void rewrite(Table& table, const char* field, const std::vector<TickedText>& rows) {
    TableScope t(table);
    t->empty();
    for (const TickedText& r : rows) {
        t->append();
        t->setString(field, r.text);
        t->setBoolean("tf", r.tf);
        t->post();
    }
}

}  // namespace

OptionsRecord readOptions(Tdm& dm) {
    OptionsRecord o;
    TableScope t(dm.options());
    t->first();
    o.eanti = t->asBoolean("eanti");
    o.interval = t->asInteger("interval");
    o.transfermode = t->asString("transfermode");
    o.transferc = t->asString("transferc");
    o.recvb = t->asInteger("recvb");
    o.sendb = t->asInteger("sendb");
    o.appe = t->asBoolean("appe");
    return o;
}

std::vector<TickedText> antiIdleCommands(Tdm& dm) { return readTicked(dm.antiidle(), "command"); }
std::vector<TickedText> asciiExtensions(Tdm& dm) { return readTicked(dm.ascext(), "ext"); }

std::vector<std::string> enabledAntiIdleCommands(Tdm& dm) {
    std::vector<std::string> out;
    for (TickedText& c : antiIdleCommands(dm))
        if (c.tf) out.push_back(std::move(c.text));
    return out;
}

bool setAntiIdleTick(Tdm& dm, const std::string& text, bool tf) {
    return setTick(dm.antiidle(), "command", text, tf);
}

bool setAsciiExtensionTick(Tdm& dm, const std::string& text, bool tf) {
    return setTick(dm.ascext(), "ext", text, tf);
}

void saveOptions(Tdm& dm, const std::vector<TickedText>& commands,
                 const std::vector<TickedText>& extensions, const OptionsRecord& o) {
    WriteBatch batch(dm.database());
    rewrite(dm.antiidle(), "command", commands);
    rewrite(dm.ascext(), "ext", extensions);
    TableScope t(dm.options());
    t->first();
    t->edit();
    t->setBoolean("eanti", o.eanti);
    t->setInteger("interval", o.interval);
    t->setString("transfermode", o.transfermode);
    t->setString("transferc", o.transferc);
    t->setInteger("recvb", o.recvb);
    t->setInteger("sendb", o.sendb);
    t->setBoolean("appe", o.appe);
    t->post();
    t->close();
    batch.commit();
}

}  // namespace store
