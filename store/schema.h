#pragma once
// The twelve tables of "all.dat": their fields, the fields worth an index, and
// the rows a brand-new store starts with.
#include <string>
#include <vector>

namespace store {

enum class FieldType { Text, Integer, Boolean, AutoNumber };

struct FieldDef {
    std::string name;
    FieldType type;
    // Came after the first stores were written: a table that lacks it gets
    // it as a new, empty column when the store is opened; its rows are left
    // as they are.
    bool addedLater = false;
};

struct TableDef {
    std::string name;
    std::vector<FieldDef> fields;
    // Each entry is one index; several fields of one index are joined by ";".
    std::vector<std::string> indexes;
};

// All twelve tables, in a fixed order.
const std::vector<TableDef>& TableDefs();
// nullptr for a name that is not one of the twelve.
const TableDef* FindTableDef(const std::string& name);

}  // namespace store
