#pragma once

#include "merge/ChangeLog.h"
#include "merge/StoredRecords.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace db {
class Database;
}

namespace merge {

// Keeps what it takes to take back every record an update writes, in an
// undo file of its own (UndoFormat.h), a database encrypted with the main
// database's password since it holds the user's records. Before each record
// is saved, one transaction, on the disk before it returns, notes the
// record: an overwritten one's every field as stored, and the values about
// to be written. After the save, the record's row id is noted with the next
// record, or by finish(). So whenever the update stops, killed included, the
// file holds every record saved, and at most the last one without its row
// id, which undoUpdate() then finds by what was written.
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

    // Notes the last record's row id and closes the file, which is left
    // as one file, without a WAL beside it. Closing twice is harmless.
    void finish() override;

    const std::string& path() const { return path_; }
    // The records noted so far.
    std::int64_t entries() const { return entries_; }

private:
    struct Table {
        StoredRecords main;
        std::string insertBefore;
        std::string insertAfter;
        bool noted = false; // its columns and tables are in the file
    };
    struct Saved {
        std::int64_t seq;
        std::int64_t rowid;
    };

    void initialise(db::Database& file, const std::string& mainPath, const std::string& updatePath);
    Table& tableFor(const RecordWrite& write);
    void noteTable(const Table& table);
    void noteSaved(db::Database& file);
    std::string writtenMask(const Table& table, const RecordWrite& write) const;

    std::string path_;
    std::shared_ptr<db::Database> file_;
    std::map<std::string, std::unique_ptr<Table>> tables_;
    std::optional<Saved> saved_; // a save not yet noted in the file
    std::int64_t lastSeq_ = 0;
    std::int64_t entries_ = 0;
};

} // namespace merge
