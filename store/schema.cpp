#include "store/schema.h"

namespace store {
namespace {

constexpr FieldType T = FieldType::Text;
constexpr FieldType I = FieldType::Integer;
constexpr FieldType B = FieldType::Boolean;
constexpr FieldType A = FieldType::AutoNumber;

std::vector<TableDef> makeDefs() {
    return {
        {"ftpsite",
         {{"id", A}, {"name", T}, {"address", T}, {"port", I}, {"username", T},
          {"password", T}, {"cdate", T}, {"zdate", T}, {"comment", T}, {"timeout", I},
          {"nor", I}, {"rd", I}, {"vp", B}, {"defaultpath", T}, {"proxy", T},
          {"socks", T}, {"pasv", B}, {"autorefresh", B}, {"cnc", B}, {"maxc", I},
          {"encryption", T, true}, {"certfp", T, true}},
         {"name"}},
        {"options",
         {{"eanti", B}, {"interval", I}, {"transfermode", T}, {"transferc", T},
          {"recvb", I}, {"sendb", I}, {"appe", B}},
         {}},
        {"proxy",
         {{"name", T}, {"server", T}, {"port", I}, {"login", B}, {"username", T},
          {"password", T}, {"type", I}, {"typename", T}},
         {"name"}},
        {"socks",
         {{"name", T}, {"host", T}, {"port", I}, {"login", B}, {"user", T},
          {"pass", T}, {"sv", I}, {"svname", T}},
         {"name"}},
        {"antiidle", {{"command", T}, {"tf", B}}, {"command"}},
        {"ascext", {{"ext", T}, {"tf", B}}, {"ext"}},
        {"hmaster", {{"id", I}, {"date", T}, {"type", T}, {"key", A}}, {"id;date;type"}},
        {"hdital",
         {{"id", I}, {"key", A}, {"type", T}, {"ftpfile", T}, {"lofile", T},
          {"date", T}, {"date2", T}, {"ftppath", T}, {"lopath", T}, {"usetime", T},
          {"speed", T}, {"isfolder", B}},
         {"id"}},
        {"task", {{"id", A}, {"name", T}, {"desc", T}}, {"name"}},
        {"taskd",
         {{"id", A}, {"taskid", I}, {"name", T}, {"ftp", T}, {"type", T}, {"common", T}},
         {"taskid"}},
        {"taskd2",
         {{"id", I}, {"files", T}, {"local", T}, {"ftp", T}, {"isfolder", B}},
         {"id"}},
        {"quickftp",
         {{"ftp", T}, {"user", T}, {"pass", T}, {"port", I}, {"pasv", B},
          {"encryption", T, true}},
         {"ftp"}},
    };
}

}  // namespace

const std::vector<TableDef>& TableDefs() {
    static const std::vector<TableDef> defs = makeDefs();
    return defs;
}

const TableDef* FindTableDef(const std::string& name) {
    for (const TableDef& d : TableDefs())
        if (d.name == name) return &d;
    return nullptr;
}

}  // namespace store
