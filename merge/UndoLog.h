#pragma once

#include "merge/ChangeLog.h"
#include "merge/StoredRecords.h"
#include "merge/UndoFile.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace merge {

// Keeps what it takes to take back every record an update writes, in an
// undo file of its own (UndoFile). Before each record is saved, one
// transaction, committed before it returns, notes the record: an overwritten
// one's every field as stored, and the values about to be written. After the
// save, the record's row id is noted with the next record, or by finish().
// So whenever the update stops, killed included, the file holds every record
// saved, and at most the last one without its row id, which undoUpdate()
// then finds by what was written.
class UndoLog final : public ChangeLog {
public:
    // Makes the file at once, before the update writes anything, naming the
    // main database and the update; a DbError when anything exists at `path`
    // already or the file cannot be made.
    UndoLog(std::string path, const std::string& password, const std::string& mainPath,
            const std::string& updatePath);
    ~UndoLog() override;
    UndoLog(const UndoLog&) = delete;
    UndoLog& operator=(const UndoLog&) = delete;

    void aboutToWrite(const RecordWrite& write) override;
    void written(const RecordWrite& write, std::int64_t rowid) override;
    void leftAlone(const TableDef& table) override;
    void ended(UpdateEnding ending) override;

    // Notes the last record's row id, and how the update ended with what
    // each table left alone when it was told, and closes the file, which is left
    // as one file, without a WAL beside it. Closing twice is harmless.
    void finish() override;

    const std::string& path() const { return path_; }
    // The records noted so far.
    std::int64_t entries() const { return entries_; }

private:
    // A main table as this log reads it, on the connection it was read on.
    struct Table {
        std::uint64_t database; // the connection's id
        StoredRecords main;
        bool noted = false; // its columns are in the file
    };

    Table& tableFor(const RecordWrite& write);
    UndoFile::Note noteOf(Table& table, const RecordWrite& write,
                          std::optional<db::StoredRow>& before);

    std::string path_;
    UndoFile file_;
    std::map<std::string, std::unique_ptr<Table>> tables_;
    std::optional<UndoFile::Saved> saved_; // a save not yet noted in the file
    std::int64_t lastSeq_ = 0;
    std::int64_t entries_ = 0;
    std::optional<UpdateEnding> ending_;
    std::map<std::string, std::int64_t> leftAlone_;
};

} // namespace merge
