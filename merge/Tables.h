#pragma once

#include "merge/Counts.h"

#include <array>
#include <string>
#include <vector>

namespace merge {

// The password Varnholt databases are handed out with.
inline constexpr const char* DatabasePassword = "Kor240853";

// How one key field of an update record is put into the search criteria.
enum class KeyCompare {
    Text, // F1 = 'value', the value's text form in quotes
    Str,  // Str(F6) = ' 12', a number compared through its Str() form
};

struct KeyField {
    std::string name;
    KeyCompare compare = KeyCompare::Text;
};

// A column as `vhdb create` declares it.
struct ColumnDef {
    std::string name;
    std::string type; // declared type, collation included
};

// One table of a Varnholt database, stated once: the columns a file holds,
// its key (the index `vhdb create` makes, and the terms the merge searches
// by), and how an update merges it. Each table's own file states its
// description; the walk (Walk.h) runs every merge on it, and `vhdb create`,
// `vhdb check` and the demo read the columns from it.
struct TableDef {
    std::string name;               // as the files name it
    std::vector<ColumnDef> columns; // in order; a new record gets all of them, in this order
    std::vector<KeyField> key;      // the key fields, in the order of the search terms
    std::string dateField;          // the date stamp the day rule compares
    std::vector<std::string> overwriteFields; // written by an overwrite, in this order
    std::string statusText;                   // the progress window's line while it runs
    std::string label; // as the summary names it: "Lodges" in "Lodges Updated"
    Counter counter;
    // At the normal end of the walk, run the source query once more and
    // close the update database. A cancel or an empty source closes nothing.
    bool closeSourceAtEnd = false;

    // Both record sets of the merge: the whole table in the order of its
    // first key field.
    std::string query() const;
    // The fields a new record is written with, in order: every column.
    std::vector<std::string> addFields() const;
    bool isKey(const std::string& field) const;
};

// Lodges: keyed on F1, dated by F12.
const TableDef& lodges();
// Issues: keyed on F1 and F2, dated by F9.
const TableDef& issues();
// Activities: keyed on F1, F2 and the number F6, dated by F5. An overwrite
// leaves F1 and F6 alone.
const TableDef& activities();
// MValues: keyed on IDNUM and ISSUE, dated by LUPDATE. The last merge of an
// update: at its normal end it closes the update database.
const TableDef& values();

// The four tables, in the order an update merges them.
const std::array<const TableDef*, 4>& varnholtTables();

// The table of that name (letter case ignored), or nullptr.
const TableDef* findVarnholtTable(const std::string& name);

} // namespace merge
