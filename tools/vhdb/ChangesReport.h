#pragma once

#include "merge/Changes.h"
#include "tools/vhdb/Csv.h"

#include <fstream>
#include <string>
#include <vector>

namespace vhdb {

// The changes an update makes to the main database, as the CSV of
// merge::writeChangesCsv (the window's "Save as CSV..." writes the same),
// written to a file row by row as the records are saved, so that a report
// of a run that was stopped holds every record saved before the stop.
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
    void writeRow(const std::vector<CsvCell>& cells);

    std::string path_;
    std::ofstream out_;
    merge::ChangeRecorder recorder_;
};

} // namespace vhdb
