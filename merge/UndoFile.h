#pragma once

#include "platform/db/Column.h"
#include "platform/db/DbError.h"
#include "platform/db/StoredValue.h"
#include "platform/db/Value.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace db {
class Database;
}

namespace merge {

// The undo file of an update: a database of its own, encrypted with the main
// database's password since it holds the user's records, that keeps what it
// takes to take back every record the update wrote. This class alone knows
// how the file keeps it; UndoLog decides what to note and when, undoUpdate()
// what to restore. Its tables:
//
//   UndoFile(Name, Value)        "format" 2; "main", the main database's
//                                path; "main salt", its fileSalt();
//                                "update", the update's path; "started",
//                                the local time the file was made
//                                ("2026-12-10 16:04:12"); at the end of the
//                                run "ended" ("complete", "cancelled",
//                                "failed") and "left alone <table>", the
//                                update records a table kept as they were
//                                (files without these read as a run that
//                                never ended)
//   UndoColumns(TableName, Position, Name, DeclaredType)
//                                the columns of each main table written
//   "Notes <table>"(Seq, Change, Written, RowId, RowIdBound, Saved, Prior,
//                   B1..Bn, A1..An)
//                                one row per record, in the order written:
//                                B an overwritten record as it was stored,
//                                A the values written, columns declared with
//                                the main table's affinities; Prior the row
//                                id the record noted just before (Seq - 1,
//                                in any table) was saved with, null when its
//                                save was not seen; the last record's save
//                                is noted in its own row (Saved 1, RowId)
//
// Files of format 1 are read as well: they kept a record's entry in
// UndoEntries(Seq, TableName, Change, Written, RowId, RowIdBound, Saved),
// its stored record in "Before <table>"(Seq, C1..Cn) and the values written
// in "After <table>"(Seq, C1..Cn).
class UndoFile {
public:
    // One record the update noted.
    struct Entry {
        std::int64_t seq = 0;
        std::string table;
        bool added = false;
        std::string written; // '1' for each column the update wrote
        std::int64_t rowid = 0;
        std::int64_t rowidBound = 0; // an add: the highest row id before it
        bool saved = false;          // the save was noted, and with it the row id
    };

    // A record about to be written, to note.
    struct Note {
        const std::string& table;
        bool added;
        std::string written;         // '1' for each column written
        std::int64_t rowid = 0;      // an overwrite: the record's row id
        std::int64_t rowidBound = 0; // an add: the table's highest row id before it
        const db::StoredRow* before; // an overwrite: the record as stored
        // The values written, by the position of their column.
        std::vector<std::pair<std::size_t, db::Value>> after;
        // The table's columns, with its first note; nullptr after it.
        const std::vector<db::Column>* firstOfTable = nullptr;
    };

    // The row id a noted record was saved with.
    struct Saved {
        std::string table;
        std::int64_t seq;
        std::int64_t rowid;
    };

    // Makes a new undo file naming the main database and the update; a
    // DbError when anything exists at `path` already or the file cannot be
    // made. Each note is committed before it returns.
    static UndoFile create(const std::string& path, const std::string& password,
                           const std::string& mainPath, const std::string& updatePath);
    // Opens an undo file to read it, taking in first what a killed run left
    // in its WAL; a DbError when there is none, the password is wrong, it is
    // no undo file or another version of the program made it.
    static UndoFile open(const std::string& path, const std::string& password);

    ~UndoFile();
    UndoFile(UndoFile&&) noexcept;
    UndoFile& operator=(UndoFile&&) = delete;
    UndoFile(const UndoFile&) = delete;

    const std::string& path() const { return path_; }

    // Notes a record, and the save of the one noted before it, in one
    // transaction that is committed before it returns.
    void append(const Note& note, std::int64_t seq, const std::optional<Saved>& previous);
    // Notes the last save, if any, and `settings` (UndoFile rows), in one
    // transaction, and closes the file as one file, without a WAL beside
    // it. Closing twice is harmless.
    using Settings = std::vector<std::pair<std::string, db::Value>>;
    void finish(const std::optional<Saved>& last, const Settings& settings = {});

    // Reading.
    std::string text(const std::string& name);
    std::optional<std::int64_t> number(const std::string& name);
    // The columns each table had when the update wrote it, the tables in
    // the order they were first written.
    std::vector<std::pair<std::string, std::vector<std::string>>> columns();
    // Every record noted, in the order written.
    std::vector<Entry> entries();
    // What was noted of a record: for an overwrite the whole record before
    // it (empty for an add), and the values written (the other columns
    // null).
    struct Record {
        db::StoredRow before;
        db::StoredRow after;
    };
    Record record(const Entry& entry, std::size_t columns);
    // Every record of `table` noted, in the order written, in one pass:
    // the record before an overwrite (nullptr for an add) and the values
    // written (the other columns null).
    using Visit =
        std::function<void(const Entry&, const db::StoredRow* before, const db::StoredRow& after)>;
    void eachRecord(const std::string& table, std::size_t columns, const Visit& visit);
    db::DbError damaged() const;

private:
    UndoFile(std::string path, std::shared_ptr<db::Database> file, std::string password);
    void noteTable(const std::string& table, const std::vector<db::Column>& columns);
    void noteSaved(const Saved& saved);
    db::StoredRow firstFormatRow(const std::string& table, const Entry& entry, std::size_t columns);
    // Format 2: the row ids that records were saved with, by their Seq, as
    // the notes after them tell; takeSave() gives one to its entry.
    const std::map<std::int64_t, std::int64_t>& savedRowids();
    static void takeSave(Entry& entry, const std::map<std::int64_t, std::int64_t>& saved);
    db::Value setting(const std::string& name);
    std::string writeFailure() const;
    std::string readFailure() const;

    std::string path_;
    std::shared_ptr<db::Database> file_;
    std::string password_;
    int format_ = 0;                                            // of a file opened to read
    std::optional<std::map<std::int64_t, std::int64_t>> saved_; // savedRowids()
};

namespace undo {

// The first 16 bytes of a database file, in hex. An encrypted file begins
// with the random salt it was made with: every copy of the file has it, no
// other file does. A file without encryption begins with the engine's fixed
// header instead (isPlainHeader).
std::string fileSalt(const std::string& path);
bool isPlainHeader(const std::string& salt);

} // namespace undo

} // namespace merge
