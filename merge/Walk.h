#pragma once

#include "merge/ChangeLog.h"
#include "merge/Tables.h"

#include <cstdint>
#include <string>

namespace db {
class Recordset;
}

namespace merge {

class Merger;

// The search criteria that find the source record's key in the target: one
// term per key field joined by " AND ". A quote inside a value is doubled, so
// the criteria state the key exactly; a null key part becomes "F1 Is Null".
std::string criteriaFor(const TableDef& table, db::Recordset& source);

// Merges the table from the update database (UPDLocation) into the main
// database (DBLocation) record by record: a key missing from the target is
// added, a found record is overwritten when the source's date stamp falls on
// a later calendar day. Every record is saved at once. Returns the number of
// records written, or 0 when the source is empty or the user cancelled (the
// records saved before a cancel stay saved, and the merger's count keeps
// their number). A table that closes its source at the end does so only
// after the whole source was walked. A failure is thrown as DbError. The
// merger's change log, when set, is told of each record right before and
// right after it is saved.
std::int32_t mergeTable(Merger& merger, const TableDef& table, const std::string& DBLocation,
                        const std::string& UPDLocation);

} // namespace merge
