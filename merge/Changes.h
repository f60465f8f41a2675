#pragma once

#include "merge/ChangeLog.h"
#include "merge/CsvText.h"
#include "merge/StoredRecords.h"

#include <array>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace merge {

class UndoFile;

// One record an update wrote (or, on a private copy, would write), as a
// person reads it: the values as the file stores them, in the text form of
// `vhdb export`.
struct Change {
    static constexpr std::size_t KeyCells = 3;
    struct Field {
        std::string name;
        CsvCell before;
        CsvCell after;
    };
    std::string table;
    bool added = false;
    // The key fields in the table's order (Lodges F1; Issues F1, F2;
    // Activities F1, F2, F6; MValues IDNUM, ISSUE), null past the last: an
    // added record's as saved, an overwritten one's as they were before.
    std::array<CsvCell, KeyCells> key;
    // An overwrite: each field whose stored value changed, in column order.
    std::vector<Field> fields;
};

// What an update did, or would do, to one table.
struct TableChanges {
    std::string table;
    std::int32_t added = 0;
    std::int32_t overwritten = 0;
    // Update records whose main record is not older; unknown for an update
    // read back from an undo file of a run that never ended.
    std::optional<std::int32_t> leftAlone = 0;
};

// The changes of one update: the four tables in the order an update merges
// them, and every record written, in the order written.
struct ChangeList {
    std::vector<TableChanges> tables;
    std::vector<Change> changes;

    ChangeList();
    TableChanges& table(const std::string& name);
    void add(Change change);
};

// The changes as CSV, in the dialect of `vhdb export`: one row per record
// written, in the order written.
//
//   Table,Change,Key 1,Key 2,Key 3,Field 1,Old 1,New 1,...,Field 14,Old 14,New 14
//
// Change is "added" or "overwritten"; then the key cells, then for an
// overwrite each field whose stored value changed, with its old and new
// value. Cells past the last are null, so that every row has all the
// header's cells.
std::vector<CsvCell> changesHeader();
std::vector<CsvCell> csvRowOf(const Change& change);
// The header and every row.
void writeChangesCsv(std::ostream& out, const ChangeList& list);

// Turns every record an update writes into a Change, handed to `sink` right
// after its save (so that a report of a run that stopped holds every record
// saved before the stop), and counts per table what was added, overwritten
// and left alone.
class ChangeRecorder final : public ChangeLog {
public:
    using Sink = std::function<void(const Change&)>;
    explicit ChangeRecorder(Sink sink);
    ~ChangeRecorder() override;

    void aboutToWrite(const RecordWrite& write) override;
    void written(const RecordWrite& write, std::int64_t rowid) override;
    void leftAlone(const TableDef& table) override;
    void finish() override;

    // Per table, in update order, what the changes handed out came to.
    const std::vector<TableChanges>& tables() const { return counts_.tables; }

private:
    StoredRecords& recordsOf(const RecordWrite& write);

    Sink sink_;
    ChangeList counts_; // its tables only
    struct Table {
        std::uint64_t database = 0; // the id of the connection it is read on
        std::unique_ptr<StoredRecords> records;
    };
    std::map<std::string, Table> tables_;
    std::optional<db::StoredRow> before_; // the record about to be overwritten
};

// The changes an undo file noted, read back: every record in the order
// written, the counts of what was added and overwritten, and what was left
// alone when the run noted it at its end.
ChangeList changesOf(UndoFile& file);

} // namespace merge
