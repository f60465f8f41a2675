#pragma once

#include "platform/db/Value.h"

#include <cstdint>
#include <string>
#include <vector>

namespace db {
class Database;
}

namespace merge {

struct TableDef;

// One record a merge is about to write to the main database.
struct RecordWrite {
    enum class Kind { Add, Overwrite };

    const TableDef& table;
    Kind kind;
    db::Database& main;                     // the main database the record is written to
    std::int64_t rowid;                     // the overwritten record's row id; 0 for an add
    const std::vector<std::string>& fields; // the fields written, in the order written
    std::vector<db::Value> values;          // their new values, as the main database takes them
};

// How an update ended.
enum class UpdateEnding { Complete, Cancelled, Failed };

// Told of every record an update writes, around its save: to report what
// the update changes, or to keep what it takes to change it back. An update
// runs without one unless asked to, and then reads and writes nothing more
// than the merges need. What either call throws stops the update as any
// failure does: before the record is saved, or after it.
class ChangeLog {
public:
    virtual ~ChangeLog() = default;

    // Right before the record is saved.
    virtual void aboutToWrite(const RecordWrite& write) = 0;
    // Right after it was saved, with the row id it has in the main database.
    virtual void written(const RecordWrite& write, std::int64_t rowid) = 0;
    // An update record whose main record was found but is not older, so
    // the merge left it as it is.
    virtual void leftAlone(const TableDef& table) { (void)table; }
    // Once, from the update, when it has ended.
    virtual void ended(UpdateEnding ending) { (void)ending; }
    // Once the update ended, however it ended, from whoever ran it: writes
    // what is left and closes what the log writes to. Throws on failure.
    virtual void finish() {}
};

} // namespace merge
