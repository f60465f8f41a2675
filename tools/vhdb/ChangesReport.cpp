#include "tools/vhdb/ChangesReport.h"

#include "merge/Tables.h"
#include "platform/db/Database.h"
#include "tools/vhdb/Command.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fmt/format.h>

namespace vhdb {

namespace {

constexpr std::size_t KeyCells = 3;

// The most fields an overwrite writes, in any of the tables.
std::size_t changedFieldCells() {
    std::size_t most = 0;
    for (const merge::TableDef* table : merge::varnholtTables())
        most = std::max(most, table->overwriteFields.size());
    return most;
}

} // namespace

std::vector<CsvCell> ChangesReport::header() {
    std::vector<CsvCell> cells{"Table", "Change"};
    for (std::size_t i = 1; i <= KeyCells; ++i)
        cells.emplace_back(fmt::format("Key {}", i));
    for (std::size_t i = 1; i <= changedFieldCells(); ++i) {
        cells.emplace_back(fmt::format("Field {}", i));
        cells.emplace_back(fmt::format("Old {}", i));
        cells.emplace_back(fmt::format("New {}", i));
    }
    return cells;
}

ChangesReport::ChangesReport(std::string path)
    : path_(std::move(path)), out_(path_, std::ios::binary | std::ios::trunc) {
    if (!out_)
        throw Failure(fmt::format("Cannot write the changes report \"{}\" ({}).", path_,
                                  std::strerror(errno)));
    writeRow(header());
}

merge::StoredRecords& ChangesReport::recordsOf(const merge::RecordWrite& write) {
    auto& slot = tables_[write.table.name];
    // Read again on the connection the merge writes through: the window
    // opens the main database afresh for each merge.
    if (!slot.records || slot.database != write.main.id())
        slot = {write.main.id(),
                std::make_unique<merge::StoredRecords>(write.main, write.table.name)};
    return *slot.records;
}

void ChangesReport::aboutToWrite(const merge::RecordWrite& write) {
    before_.reset();
    if (write.kind == merge::RecordWrite::Kind::Overwrite)
        before_ = recordsOf(write).read(write.rowid);
}

void ChangesReport::written(const merge::RecordWrite& write, std::int64_t rowid) {
    merge::StoredRecords& records = recordsOf(write);
    const auto after = records.read(rowid);
    if (!after)
        return; // another program removed it at once: nothing of it to show
    const bool added = write.kind == merge::RecordWrite::Kind::Add;
    std::vector<CsvCell> cells{write.table.name, added ? "added" : "overwritten"};
    // An overwritten record by the key it had, as the user knows it.
    const db::StoredRow& known = added || !before_ ? *after : *before_;
    for (const merge::KeyField& key : write.table.key)
        cells.push_back(known[records.position(key.name)].exportText());
    cells.resize(2 + KeyCells);
    if (!added && before_) {
        for (std::size_t i = 0; i < after->size(); ++i) {
            if ((*before_)[i] == (*after)[i])
                continue;
            cells.emplace_back(records.columns()[i].name);
            cells.push_back((*before_)[i].exportText());
            cells.push_back((*after)[i].exportText());
        }
    }
    static const std::size_t width = header().size();
    cells.resize(width);
    writeRow(cells);
}

void ChangesReport::writeRow(const std::vector<CsvCell>& cells) {
    // Each row goes out as it is written, so a report of a run that was
    // stopped holds every record saved before the stop.
    writeCsvRow(out_, cells);
    out_.flush();
    if (!out_)
        throw Failure(fmt::format("Cannot write the changes report \"{}\" ({}).", path_,
                                  std::strerror(errno)));
}

void ChangesReport::finish() {
    tables_.clear();
    if (!out_.is_open())
        return;
    out_.close();
    if (!out_)
        throw Failure(fmt::format("Cannot write the changes report \"{}\" ({}).", path_,
                                  std::strerror(errno)));
}

} // namespace vhdb
