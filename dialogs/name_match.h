#pragma once
// The rules of the find and filter dialogs, on the names of a remote view's
// rows. Names are the bytes the server sent; typed texts arrive as UTF-8.
#include <string>
#include <vector>

namespace names {

// Whether `name` is found by `text`. Without "whole words" the text may occur
// anywhere in the name, in any letter case unless `caseSensitive`; with it the
// name must equal the text exactly, letter case included. An empty text finds
// nothing.
bool FindMatches(const std::string& name, const std::string& text, bool caseSensitive,
                 bool wholeWords);
// Indexes of the names found, in the order given.
std::vector<int> FindRows(const std::vector<std::string>& names, const std::string& text,
                          bool caseSensitive, bool wholeWords);

// The part of a name from its last "." on, the "." included; "" without one.
std::string NameExtension(const std::string& name);

// One row of a remote view as the filter sees it.
struct FilterRow {
    std::string name;
    // A file row the filter may hide: not a folder, with a size text.
    bool file = false;
    // Shown now; a row an earlier filter hid stays hidden.
    bool visible = true;
};

// Whether a file row named `name` passes `pattern`: "*" followed by the
// name's extension equals the pattern, letter case included.
bool PassesFilter(const std::string& name, const std::string& pattern);
// The rows' visibility after filtering with `pattern`, one flag per row. The
// listing keeps every row: the view hides the others, and checks made against
// the folder's contents (a rename) still see them. "*.*" changes nothing.
std::vector<bool> FilterVisible(const std::vector<FilterRow>& rows, const std::string& pattern);

}  // namespace names
