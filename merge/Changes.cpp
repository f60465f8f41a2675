#include "merge/Changes.h"

#include "merge/Tables.h"
#include "merge/UndoFile.h"
#include "platform/db/Database.h"
#include "platform/db/Text.h"

#include <algorithm>
#include <fmt/format.h>
#include <ostream>
#include <utility>

namespace merge {

namespace {

// The most fields an overwrite writes, in any of the tables.
std::size_t changedFieldCells() {
    std::size_t most = 0;
    for (const TableDef* table : varnholtTables())
        most = std::max(most, table->overwriteFields.size());
    return most;
}

// The key cells of `row`, whose columns are `columns`.
std::array<CsvCell, Change::KeyCells>
keyOf(const TableDef& table, const std::vector<std::string>& columns, const db::StoredRow& row) {
    std::array<CsvCell, Change::KeyCells> key;
    std::size_t cell = 0;
    for (const KeyField& part : table.key) {
        for (std::size_t i = 0; i < columns.size() && cell < key.size(); ++i)
            if (db::equalsNoCase(columns[i], part.name)) {
                key[cell] = row[i].exportText();
                break;
            }
        ++cell;
    }
    return key;
}

std::vector<std::string> namesOf(const std::vector<db::Column>& columns) {
    std::vector<std::string> names;
    for (const db::Column& column : columns)
        names.push_back(column.name);
    return names;
}

} // namespace

ChangeList::ChangeList() {
    for (const TableDef* table : varnholtTables())
        tables.push_back({table->name});
}

TableChanges& ChangeList::table(const std::string& name) {
    for (TableChanges& counts : tables)
        if (db::equalsNoCase(counts.table, name))
            return counts;
    tables.push_back({name});
    return tables.back();
}

void ChangeList::add(Change change) {
    TableChanges& counts = table(change.table);
    ++(change.added ? counts.added : counts.overwritten);
    changes.push_back(std::move(change));
}

std::vector<CsvCell> changesHeader() {
    std::vector<CsvCell> cells{"Table", "Change"};
    for (std::size_t i = 1; i <= Change::KeyCells; ++i)
        cells.emplace_back(fmt::format("Key {}", i));
    for (std::size_t i = 1; i <= changedFieldCells(); ++i) {
        cells.emplace_back(fmt::format("Field {}", i));
        cells.emplace_back(fmt::format("Old {}", i));
        cells.emplace_back(fmt::format("New {}", i));
    }
    return cells;
}

std::vector<CsvCell> csvRowOf(const Change& change) {
    static const std::size_t width = changesHeader().size();
    std::vector<CsvCell> cells{change.table, change.added ? "added" : "overwritten"};
    cells.insert(cells.end(), change.key.begin(), change.key.end());
    for (const Change::Field& field : change.fields) {
        cells.emplace_back(field.name);
        cells.push_back(field.before);
        cells.push_back(field.after);
    }
    cells.resize(std::max(width, cells.size()));
    return cells;
}

void writeChangesCsv(std::ostream& out, const ChangeList& list) {
    writeCsvRow(out, changesHeader());
    for (const Change& change : list.changes)
        writeCsvRow(out, csvRowOf(change));
}

ChangeRecorder::ChangeRecorder(Sink sink) : sink_(std::move(sink)) {}
ChangeRecorder::~ChangeRecorder() = default;

StoredRecords& ChangeRecorder::recordsOf(const RecordWrite& write) {
    auto& slot = tables_[write.table.name];
    // Read again on the connection the merge writes through: the window
    // opens the main database afresh for each merge.
    if (!slot.records || slot.database != write.main.id())
        slot = {write.main.id(), std::make_unique<StoredRecords>(write.main, write.table.name)};
    return *slot.records;
}

void ChangeRecorder::aboutToWrite(const RecordWrite& write) {
    before_.reset();
    if (write.kind == RecordWrite::Kind::Overwrite)
        before_ = recordsOf(write).read(write.rowid);
}

void ChangeRecorder::written(const RecordWrite& write, std::int64_t rowid) {
    StoredRecords& records = recordsOf(write);
    const auto after = records.read(rowid);
    const bool added = write.kind == RecordWrite::Kind::Add;
    TableChanges& counts = counts_.table(write.table.name);
    ++(added ? counts.added : counts.overwritten);
    if (!after)
        return; // another program removed it at once: nothing of it to show
    Change change;
    change.table = write.table.name;
    change.added = added;
    // An overwritten record by the key it had, as the user knows it.
    const db::StoredRow& known = added || !before_ ? *after : *before_;
    change.key = keyOf(write.table, namesOf(records.columns()), known);
    if (!added && before_)
        for (std::size_t i = 0; i < after->size(); ++i)
            if (!((*before_)[i] == (*after)[i]))
                change.fields.push_back({records.columns()[i].name, (*before_)[i].exportText(),
                                         (*after)[i].exportText()});
    sink_(change);
}

void ChangeRecorder::leftAlone(const TableDef& table) {
    auto& leftAlone = counts_.table(table.name).leftAlone;
    leftAlone = leftAlone.value_or(0) + 1;
}

void ChangeRecorder::finish() {
    tables_.clear();
}

ChangeList changesOf(UndoFile& file) {
    ChangeList list;
    const bool ended = !file.text("ended").empty();
    std::vector<std::pair<std::int64_t, Change>> noted;
    for (const auto& [table, columns] : file.columns()) {
        const TableDef* def = findVarnholtTable(table);
        file.eachRecord(table, columns.size(),
                        [&](const UndoFile::Entry& entry, const db::StoredRow* before,
                            const db::StoredRow& written) {
                            Change change;
                            change.table = table;
                            change.added = entry.added;
                            const db::StoredRow& known = before ? *before : written;
                            if (def)
                                change.key = keyOf(*def, columns, known);
                            if (before)
                                for (std::size_t i = 0; i < columns.size(); ++i)
                                    if (entry.written[i] == '1' && !((*before)[i] == written[i]))
                                        change.fields.push_back({columns[i],
                                                                 (*before)[i].exportText(),
                                                                 written[i].exportText()});
                            noted.emplace_back(entry.seq, std::move(change));
                        });
    }
    std::sort(noted.begin(), noted.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    list.changes.reserve(noted.size());
    for (auto& [seq, change] : noted)
        list.add(std::move(change));
    for (TableChanges& counts : list.tables) {
        counts.leftAlone.reset();
        if (ended) {
            const auto number = file.number("left alone " + counts.table);
            counts.leftAlone = static_cast<std::int32_t>(number.value_or(0));
        }
    }
    return list;
}

} // namespace merge
