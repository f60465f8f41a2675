#pragma once

#include "platform/db/DbError.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace merge {

// What taking back an update did, or found.
struct UndoReport {
    struct TableCounts {
        std::string table;
        std::int32_t restored = 0; // overwritten records given their previous values back
        std::int32_t removed = 0;  // added records removed
    };
    std::string updatePath;          // the update that was taken back, as the undo file names it
    std::vector<TableCounts> tables; // each table the update wrote, in the order it wrote them
    // Records that already held what they held before the update: a record
    // whose save never happened, or that was taken back before.
    std::int32_t alreadyBack = 0;
    // Records changed since the update wrote them, one line each (table,
    // row, key): left as they are.
    std::vector<std::string> changed;
    // Whether anything was saved: false when records had changed and
    // `force` was not given, and then nothing was.
    bool applied = false;
    // What kept the main database from being put back in its own journal
    // mode once the undo was saved (db::Database::Close()); what was taken
    // back stays taken back.
    std::optional<db::DbError> closing;
};

// Takes back, in the main database at `mainPath`, the update that the undo
// file at `undoPath` noted (UndoLog): newest record first, all in one
// transaction, an overwritten record gets every field back as it was
// stored, by row id, and an added record is removed. A record that no longer
// holds what the update wrote has changed since: with any such record
// nothing is changed, unless `force`, which takes back the others and leaves
// those as they are. Afterwards the tables hold what they held before the
// update, values, types and order of records alike. Throws DbError when the
// undo file is none, or was made for another database, or a table has other
// fields now; nothing is changed then.
// `progress`, when given, is told now and then how many of the records
// have been seen (done, of total), from 0 to the total.
using UndoProgress = std::function<void(std::size_t done, std::size_t total)>;
UndoReport undoUpdate(const std::string& mainPath, const std::string& undoPath,
                      const std::string& password, bool force, const UndoProgress& progress = {});

} // namespace merge
