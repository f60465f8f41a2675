#include "merge/UndoLog.h"

#include "merge/Tables.h"
#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/Text.h"

namespace merge {

UndoLog::UndoLog(std::string path, const std::string& password, const std::string& mainPath,
                 const std::string& updatePath)
    : path_(std::move(path)), file_(UndoFile::create(path_, password, mainPath, updatePath)) {}

UndoLog::~UndoLog() {
    try {
        finish();
    } catch (...) {
        // The file holds every record it noted; only the last save's row id
        // is missing, which undoing finds without it.
    }
}

UndoLog::Table& UndoLog::tableFor(const RecordWrite& write) {
    auto& slot = tables_[write.table.name];
    // The window opens the main database afresh for each merge: the table
    // is read again on the connection the merge writes through.
    if (!slot || slot->database != write.main.id()) {
        const bool known = slot && slot->noted;
        slot = std::make_unique<Table>(
            Table{write.main.id(), StoredRecords(write.main, write.table.name), known});
    }
    return *slot;
}

UndoFile::Note UndoLog::noteOf(Table& table, const RecordWrite& write,
                               std::optional<db::StoredRow>& before) {
    const bool adding = write.kind == RecordWrite::Kind::Add;
    UndoFile::Note note{write.table.name, adding, {}, 0, 0, nullptr, {}};
    note.written.assign(table.main.columns().size(), '0');
    for (std::size_t i = 0; i < write.fields.size(); ++i) {
        const std::size_t position = table.main.position(write.fields[i]);
        note.written[position] = '1';
        note.after.emplace_back(position, write.values[i]);
    }
    if (adding) {
        note.rowidBound = table.main.maxRowid();
    } else {
        before = table.main.read(write.rowid);
        if (!before)
            throw db::DbError("A record of table " + write.table.name + " in " +
                              db::inQuotes(write.main.path()) +
                              " was deleted by another program; the change was not saved.");
        note.rowid = write.rowid;
        note.before = &*before;
    }
    if (!table.noted)
        note.firstOfTable = &table.main.columns();
    return note;
}

void UndoLog::aboutToWrite(const RecordWrite& write) {
    Table& table = tableFor(write);
    std::optional<db::StoredRow> before;
    const UndoFile::Note note = noteOf(table, write, before);
    const std::int64_t seq = lastSeq_ + 1;
    file_.append(note, seq, saved_);
    table.noted = true;
    saved_.reset();
    lastSeq_ = seq;
    ++entries_;
}

void UndoLog::written(const RecordWrite& write, std::int64_t rowid) {
    saved_ = UndoFile::Saved{write.table.name, lastSeq_, rowid};
}

void UndoLog::leftAlone(const TableDef& table) {
    ++leftAlone_[table.name];
}

void UndoLog::ended(UpdateEnding ending) {
    ending_ = ending;
}

void UndoLog::finish() {
    tables_.clear();
    const std::optional<UndoFile::Saved> last = saved_;
    saved_.reset();
    UndoFile::Settings settings;
    if (ending_) {
        const char* ended = *ending_ == UpdateEnding::Complete    ? "complete"
                            : *ending_ == UpdateEnding::Cancelled ? "cancelled"
                                                                  : "failed";
        settings.emplace_back("ended", db::Value::text(ended));
        for (const TableDef* table : varnholtTables()) {
            const auto found = leftAlone_.find(table->name);
            settings.emplace_back(
                "left alone " + table->name,
                db::Value::integer(found == leftAlone_.end() ? 0 : found->second));
        }
    }
    file_.finish(last, settings);
}

} // namespace merge
