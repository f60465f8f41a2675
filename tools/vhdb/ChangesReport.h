#pragma once

#include "merge/ChangeLog.h"
#include "merge/StoredRecords.h"
#include "tools/vhdb/Csv.h"

#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vhdb {

// The changes an update makes to the main database, as CSV in the dialect
// of `vhdb export`: one row per record written, in the order written, with
// the values as the file stores them before and after the save.
//
//   Table,Change,Key 1,Key 2,Key 3,Field 1,Old 1,New 1,...,Field 14,Old 14,New 14
//
// Change is "added" or "overwritten"; Key 1 to 3 hold the record's key
// fields in the table's order (Lodges F1; Issues F1, F2; Activities F1, F2,
// F6; MValues IDNUM, ISSUE): an added record's as saved, an overwritten
// one's as they were before. An overwritten record then names each field
// whose stored value changed, with its old and new value. Cells past the
// last are null, so that every row has all the header's cells.
class ChangesReport final : public merge::ChangeLog {
public:
    // Writes the header; a Failure when the file cannot be written.
    explicit ChangesReport(std::string path);

    void aboutToWrite(const merge::RecordWrite& write) override;
    void written(const merge::RecordWrite& write, std::int64_t rowid) override;
    void finish() override;

    // The header row; every row has as many cells.
    static std::vector<CsvCell> header();

private:
    merge::StoredRecords& recordsOf(const merge::RecordWrite& write);
    void writeRow(const std::vector<CsvCell>& cells);

    std::string path_;
    std::ofstream out_;
    struct Table {
        std::uint64_t database = 0; // the id of the connection it is read on
        std::unique_ptr<merge::StoredRecords> records;
    };
    std::map<std::string, Table> tables_;
    std::optional<db::StoredRow> before_; // the record about to be overwritten
};

} // namespace vhdb
