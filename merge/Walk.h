#pragma once

#include "merge/Host.h"

#include <cstdint>
#include <string>
#include <vector>

namespace db {
class Recordset;
}

namespace merge {

// How one key field of a source record is put into the search criteria.
enum class KeyCompare {
    Text, // F1 = 'value', the value's text form in quotes
    Str,  // Str(F6) = ' 12', a number compared through its Str() form
};

struct KeyField {
    std::string name;
    KeyCompare compare = KeyCompare::Text;
};

// Everything in which the table merges differ. Each table's own file states
// its description; the walk below does the rest.
struct TableMerge {
    std::string query;                        // both record sets, source and target
    std::vector<KeyField> key;                // the terms of the search, in order
    std::string dateField;                    // the date stamp the day rule compares
    std::vector<std::string> addFields;       // written by AddNew, in this order
    std::vector<std::string> overwriteFields; // written by Edit, in this order
    std::string statusText;
    Counter counter;
    // At the normal end of the walk, run the source query once more and
    // close the update database. A cancel or an empty source closes nothing.
    bool closeSourceAtEnd = false;
};

// The search criteria that find the source record's key in the target: one
// term per key field joined by " AND ". A quote inside a value is doubled, so
// the criteria state the key exactly; a null key part becomes "F1 Is Null".
std::string criteriaFor(const TableMerge& table, db::Recordset& source);

// Merges the table from the update database (UPDLocation) into the main
// database (DBLocation) record by record: a key missing from the target is
// added, a found record is overwritten when the source's date stamp falls on
// a later calendar day. Every record is saved at once. Returns the number of
// records written, or 0 when the source is empty or the user cancelled (the
// records saved before a cancel stay saved, and the host's counter keeps
// their number). A table that closes its source at the end does so only
// after the whole source was walked. A failure is thrown as DbError.
std::int32_t runMerge(Host& host, const TableMerge& table, const std::string& DBLocation,
                      const std::string& UPDLocation);

} // namespace merge
