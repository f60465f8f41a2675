#include "merge/UndoFile.h"

#include "merge/UndoFolder.h"
#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/FileSystem.h"
#include "platform/db/SideFiles.h"
#include "platform/db/Sqlite.h"
#include "platform/db/Statement.h"
#include "platform/db/Text.h"
#include "platform/db/Transaction.h"

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace merge {

namespace undo {

std::string fileSalt(const std::string& path) {
    static const char* const hex = "0123456789abcdef";
    std::ifstream in(path, std::ios::binary);
    char bytes[16] = {};
    in.read(bytes, sizeof bytes);
    std::string salt;
    for (std::streamsize i = 0; i < in.gcount(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        salt += hex[byte >> 4];
        salt += hex[byte & 0xf];
    }
    return salt;
}

bool isPlainHeader(const std::string& salt) {
    // "SQLite format 3" and a NUL
    return salt == "53514c69746520666f726d6174203300";
}

} // namespace undo

namespace {

// Format 2 keeps each record's note in one row of its table's notes; format
// 1 kept it in three tables, and is still read.
constexpr int FormatVersion = 2;
constexpr int FirstFormat = 1;
constexpr const char* Added = "added";
constexpr const char* Overwritten = "overwritten";

std::string notesTable(const std::string& table) {
    return fmt::format("Notes {}", table);
}
std::string beforeColumn(std::size_t position) {
    return fmt::format("B{}", position + 1);
}
std::string afterColumn(std::size_t position) {
    return fmt::format("A{}", position + 1);
}
// The columns of a notes row before the record's own.
constexpr int NoteColumns = 7;
std::string beforeTable(const std::string& table) {
    return fmt::format("Before {}", table);
}
std::string afterTable(const std::string& table) {
    return fmt::format("After {}", table);
}

// The local time now, as a person reads it: "2026-12-10 16:04:12".
std::string localTimeNow() {
    const std::tm local = localTimeOf(std::chrono::system_clock::now());
    char text[32] = {};
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

std::string absolutePath(const std::string& path) {
    std::error_code ec;
    const fs::path canonical = fs::weakly_canonical(path, ec);
    return ec ? fs::absolute(path).lexically_normal().string() : canonical.string();
}

std::string insertInto(const std::string& table, std::size_t columns) {
    std::string marks;
    for (std::size_t i = 0; i <= columns; ++i)
        marks += i ? ", ?" : "?";
    return "INSERT INTO " + db::quoteIdentifier(table) + " VALUES (" + marks + ")";
}

void makeTables(db::Database& file, const std::string& path, const std::string& mainPath,
                const std::string& updatePath) {
    const std::string what = "Cannot make the undo file " + db::inQuotes(path) + ".";
    // Held alone from the start, as the update holds the main database: no
    // other program has any business in the file while it is written, and
    // each note's transaction then costs no file locking. Taken before the
    // file enters WAL mode, the engine keeps the WAL's index in memory
    // rather than in a shared-memory file beside it.
    file.exec("PRAGMA locking_mode=EXCLUSIVE", what);
    db::Transaction transaction(file);
    file.exec("CREATE TABLE UndoFile (Name TEXT PRIMARY KEY, Value);"
              "CREATE TABLE UndoColumns (TableName TEXT NOT NULL, Position INTEGER NOT NULL, "
              "Name TEXT NOT NULL, DeclaredType TEXT NOT NULL, "
              "PRIMARY KEY (TableName, Position));",
              what);
    db::Statement note(file.handle(), "INSERT INTO UndoFile (Name, Value) VALUES (?, ?)");
    const auto set = [&](const char* name, const db::Value& value) {
        note.bind(1, db::Value::text(name));
        note.bind(2, value);
        note.run(what);
        note.reset();
    };
    set("format", db::Value::integer(FormatVersion));
    set("main", db::Value::text(absolutePath(mainPath)));
    set("main salt", db::Value::text(undo::fileSalt(mainPath)));
    set("update", db::Value::text(absolutePath(updatePath)));
    set("started", db::Value::text(localTimeNow()));
    transaction.commit();
    // Each note is committed before the record it notes is saved, so that
    // a program killed at any moment leaves every saved record noted. Like
    // the main database's own saves, a note is not synced to the disk one
    // by one: a sync takes milliseconds, many times a record's save.
    file.exec("PRAGMA journal_mode=WAL", what);
    file.exec("PRAGMA synchronous=NORMAL", what);
}

// A run that was killed leaves the last records it noted in the WAL beside
// the undo file. They are taken into the file itself, so that the file alone
// holds them however it is copied or moved later; where that cannot be done
// now, they are read from the WAL all the same.
void takeInWal(const std::string& path, const std::string& password) {
    if (db::sizeOf(db::walOf(path)) == 0 || !db::mayWrite(path) ||
        !db::mayWrite(db::folderOf(path)))
        return;
    try {
        const auto file = db::Database::open(path, password, db::OpenMode::ReadWrite);
        file->exec("PRAGMA journal_mode=DELETE", "Cannot take in the WAL of the undo file.");
    } catch (const db::DbError&) {
        // Read as it lies, which names what is wrong with it.
    }
}

// A fault while the file leaves WAL mode can leave its WAL, or the journal of
// that switch, beside it, with the engine reporting success. The file is
// sound either way: the next program that opens it takes them in. They are
// taken in now, by a connection of its own; what is still there then is a
// failure, told with `what`, for the file is not closed as it must be.
void settle(const std::string& path, const std::string& password, const std::string& what) {
    const auto leftOver = [&path] {
        std::error_code ec;
        return fs::exists(db::walOf(path), ec) || fs::exists(db::rollbackJournalOf(path), ec);
    };
    if (!leftOver())
        return;
    std::string engine;
    if (db::Connection again = db::connectForWriting(path, password, 1000)) {
        try {
            db::journalModePragma(again.get(), "PRAGMA journal_mode=DELETE");
        } catch (const db::DbError& e) {
            engine = e.engineMessage();
        }
    }
    if (leftOver())
        throw db::DbError(what + " " +
                              (fs::exists(db::walOf(path))
                                   ? db::inQuotes(db::walOf(path))
                                   : db::inQuotes(db::rollbackJournalOf(path))) +
                              " is left beside it, holding part of it; the undo file is read "
                              "with it, and \"vhdb undo\" takes it in.",
                          SQLITE_IOERR, engine);
}

// Lets go of the file however finishing ends; later use of it is refused.
class Closing {
public:
    explicit Closing(std::shared_ptr<db::Database>& file) : file_(file) {}
    ~Closing() { file_.reset(); }
    Closing(const Closing&) = delete;
    Closing& operator=(const Closing&) = delete;

private:
    std::shared_ptr<db::Database>& file_;
};

} // namespace

UndoFile::UndoFile(std::string path, std::shared_ptr<db::Database> file, std::string password)
    : path_(std::move(path)), file_(std::move(file)), password_(std::move(password)) {}

UndoFile::~UndoFile() = default;
UndoFile::UndoFile(UndoFile&&) noexcept = default;

UndoFile UndoFile::create(const std::string& path, const std::string& password,
                          const std::string& mainPath, const std::string& updatePath) {
    std::error_code ec;
    if (fs::exists(fs::symlink_status(path, ec)))
        throw db::DbError("The undo file " + db::inQuotes(path) +
                          " already exists; it is left as it is. An undo file is never written "
                          "over: name another file.");
    auto file = db::Database::create(
        path, password, [&](db::Database& made) { makeTables(made, path, mainPath, updatePath); });
    return UndoFile(path, std::move(file), password);
}

UndoFile UndoFile::open(const std::string& path, const std::string& password) {
    std::error_code ec;
    db::requireExists(path, "The undo file");
    if (fs::is_directory(path, ec))
        throw db::DbError(db::inQuotes(path) + " is a folder, not an undo file.");
    takeInWal(path, password);
    std::shared_ptr<db::Database> file;
    try {
        file = db::Database::open(path, password, db::OpenMode::ReadOnly);
    } catch (const db::DbError& e) {
        if (e.primaryCode() != db::code::NotADatabase)
            throw;
        throw db::DbError("Cannot open the undo file " + db::inQuotes(path) +
                              ": the password is wrong, or the file is no undo file.",
                          e.code(), e.engineMessage());
    }
    if (!file->hasTable("UndoFile") || !file->hasTable("UndoColumns"))
        throw db::DbError(db::inQuotes(path) +
                          " is no undo file: it holds no update's changes to take back.");
    UndoFile undo(path, std::move(file), password);
    const db::Value format = undo.setting("format");
    if (!format.isInteger() || format.asInteger() < FirstFormat ||
        format.asInteger() > FormatVersion)
        throw db::DbError("The undo file " + db::inQuotes(path) +
                          " was made by another version of this program, which kept the "
                          "changes otherwise.");
    undo.format_ = static_cast<int>(format.asInteger());
    if (undo.format_ == 1 && !undo.file_->hasTable("UndoEntries"))
        throw db::DbError(db::inQuotes(path) +
                          " is no undo file: it holds no update's changes to take back.");
    return undo;
}

std::string UndoFile::writeFailure() const {
    return "Cannot write the undo file " + db::inQuotes(path_) + ".";
}

std::string UndoFile::readFailure() const {
    return "Cannot read the undo file " + db::inQuotes(path_) + ".";
}

// ---- writing ----

void UndoFile::noteTable(const std::string& table, const std::vector<db::Column>& columns) {
    const std::string what = writeFailure();
    std::string notes = "CREATE TABLE " + db::quoteIdentifier(notesTable(table)) +
                        " (Seq INTEGER PRIMARY KEY, Change TEXT NOT NULL, Written TEXT NOT NULL, "
                        "RowId INTEGER, RowIdBound INTEGER, Saved INTEGER NOT NULL DEFAULT 0, "
                        "Prior INTEGER";
    db::Statement note(file_->handle(), "INSERT INTO UndoColumns VALUES (?, ?, ?, ?)");
    for (std::size_t i = 0; i < columns.size(); ++i) {
        // Stored as they are.
        notes += ", " + beforeColumn(i);
        note.bind(1, db::Value::text(table));
        note.bind(2, db::Value::integer(static_cast<std::int64_t>(i)));
        note.bind(3, db::Value::text(columns[i].name));
        note.bind(4, db::Value::text(columns[i].declaredType));
        note.run(what);
        note.reset();
    }
    // Written values as the main table stores them.
    for (std::size_t i = 0; i < columns.size(); ++i)
        notes += ", " + afterColumn(i) + " " + db::affinityOf(columns[i].declaredType);
    file_->exec(notes + ")", what);
}

void UndoFile::append(const Note& note, std::int64_t seq, const std::optional<Saved>& previous) {
    if (!file_)
        throw db::DbError("The undo file " + db::inQuotes(path_) +
                          " was closed before the update ended.");
    // One new row of one table, which also tells the row id the record
    // noted just before was saved with: a note changes no row written
    // before, and costs the engine as few pages as it can.
    db::Transaction transaction(*file_);
    if (note.firstOfTable)
        noteTable(note.table, *note.firstOfTable);
    const bool prior = previous && previous->seq == seq - 1;
    if (previous && !prior)
        noteSaved(*previous);
    const std::size_t columns = note.written.size();
    const db::CachedStatement insert =
        file_->cached(insertInto(notesTable(note.table), NoteColumns - 1 + 2 * columns));
    insert->bind(1, db::Value::integer(seq));
    insert->bind(2, db::Value::text(note.added ? Added : Overwritten));
    insert->bind(3, db::Value::text(note.written));
    if (note.added)
        insert->bind(5, db::Value::integer(note.rowidBound));
    else
        insert->bind(4, db::Value::integer(note.rowid));
    insert->bind(6, db::Value::integer(0));
    if (prior)
        insert->bind(7, db::Value::integer(previous->rowid));
    const int before = NoteColumns + 1;
    if (note.before)
        for (std::size_t i = 0; i < note.before->size() && i < columns; ++i)
            (*note.before)[i].bindTo(*insert, before + static_cast<int>(i));
    const int after = before + static_cast<int>(columns);
    for (const auto& [position, value] : note.after)
        insert->bind(after + static_cast<int>(position), value);
    insert->run(writeFailure());
    transaction.commit();
}

void UndoFile::noteSaved(const Saved& saved) {
    const db::CachedStatement note =
        file_->cached("UPDATE " + db::quoteIdentifier(notesTable(saved.table)) +
                      " SET RowId = ?, Saved = 1 WHERE Seq = ?");
    note->bind(1, db::Value::integer(saved.rowid));
    note->bind(2, db::Value::integer(saved.seq));
    note->run(writeFailure());
}

void UndoFile::finish(const std::optional<Saved>& last, const Settings& settings) {
    if (!file_)
        return;
    // Closed however this ends.
    const std::shared_ptr<db::Database> file = file_;
    const Closing closing(file_);
    if (last || !settings.empty()) {
        db::Transaction transaction(*file_);
        if (last)
            noteSaved(*last);
        db::Statement note(file_->handle(),
                           "INSERT OR REPLACE INTO UndoFile (Name, Value) VALUES (?, ?)");
        for (const auto& [name, value] : settings) {
            note.bind(1, db::Value::text(name));
            note.bind(2, value);
            note.run(writeFailure());
            note.reset();
        }
        transaction.commit();
    }
    file->exec("PRAGMA journal_mode=DELETE", writeFailure());
    file->Close();
    settle(path_, password_, writeFailure());
}

// ---- reading ----

db::Value UndoFile::setting(const std::string& name) {
    db::Statement select(file_->handle(), "SELECT Value FROM UndoFile WHERE Name = ?");
    select.bind(1, db::Value::text(name));
    return select.step(readFailure()) ? select.columnValue(0) : db::Value();
}

std::string UndoFile::text(const std::string& name) {
    const db::Value value = setting(name);
    return value.isText() ? value.asText() : std::string();
}

std::optional<std::int64_t> UndoFile::number(const std::string& name) {
    const db::Value value = setting(name);
    if (!value.isInteger())
        return std::nullopt;
    return value.asInteger();
}

std::vector<std::pair<std::string, std::vector<std::string>>> UndoFile::columns() {
    db::Statement select(file_->handle(), "SELECT TableName, Name FROM UndoColumns "
                                          "ORDER BY TableName, Position");
    std::vector<std::pair<std::string, std::vector<std::string>>> tables;
    while (select.step(readFailure())) {
        const std::string table = select.columnText(0);
        if (tables.empty() || tables.back().first != table)
            tables.emplace_back(table, std::vector<std::string>{});
        tables.back().second.push_back(select.columnText(1));
    }
    // In the order the update first wrote them.
    std::vector<std::pair<std::int64_t, std::size_t>> order;
    for (std::size_t i = 0; i < tables.size(); ++i) {
        db::Statement first(file_->handle(),
                            format_ == 1 ? "SELECT min(Seq) FROM UndoEntries WHERE TableName = ?"
                                         : "SELECT min(Seq) FROM " +
                                               db::quoteIdentifier(notesTable(tables[i].first)));
        if (format_ == 1)
            first.bind(1, db::Value::text(tables[i].first));
        first.step(readFailure());
        order.emplace_back(first.isNull(0) ? INT64_MAX : first.columnInt64(0), i);
    }
    std::stable_sort(order.begin(), order.end());
    std::vector<std::pair<std::string, std::vector<std::string>>> ordered;
    for (const auto& [seq, i] : order)
        ordered.push_back(std::move(tables[i]));
    return ordered;
}

namespace {

// The entry a row of UndoEntries (format 1) or of a table's notes holds
// from its column `first` on: Seq, Change, Written, RowId, RowIdBound, Saved.
// In format 2 the save of a record is mostly noted with the next record
// (savedRowids).
UndoFile::Entry entryOf(const db::Statement& row, int first, std::string table) {
    UndoFile::Entry entry;
    entry.seq = row.columnInt64(first);
    entry.table = std::move(table);
    entry.added = row.columnText(first + 1) == Added;
    entry.written = row.columnText(first + 2);
    entry.rowid = row.columnInt64(first + 3);
    entry.rowidBound = row.columnInt64(first + 4);
    entry.saved = row.columnInt64(first + 5) != 0;
    return entry;
}

} // namespace

const std::map<std::int64_t, std::int64_t>& UndoFile::savedRowids() {
    // A file opened to read does not change: read once.
    if (saved_)
        return *saved_;
    std::map<std::int64_t, std::int64_t>& saved = saved_.emplace();
    if (format_ == 1)
        return saved;
    for (const auto& [table, columns] : this->columns()) {
        db::Statement select(file_->handle(), "SELECT Seq - 1, Prior FROM " +
                                                  db::quoteIdentifier(notesTable(table)) +
                                                  " WHERE Prior IS NOT NULL");
        while (select.step(readFailure()))
            saved.emplace(select.columnInt64(0), select.columnInt64(1));
    }
    return saved;
}

void UndoFile::takeSave(Entry& entry, const std::map<std::int64_t, std::int64_t>& saved) {
    const auto found = saved.find(entry.seq);
    if (found == saved.end())
        return;
    entry.saved = true;
    entry.rowid = found->second;
}

std::vector<UndoFile::Entry> UndoFile::entries() {
    std::vector<Entry> entries;
    if (format_ == 1) {
        db::Statement select(file_->handle(),
                             "SELECT Seq, Change, Written, RowId, RowIdBound, Saved, TableName "
                             "FROM UndoEntries ORDER BY Seq");
        while (select.step(readFailure()))
            entries.push_back(entryOf(select, 0, select.columnText(6)));
        return entries;
    }
    const auto& saved = savedRowids();
    for (const auto& [table, columns] : this->columns()) {
        db::Statement select(file_->handle(),
                             "SELECT Seq, Change, Written, RowId, RowIdBound, Saved FROM " +
                                 db::quoteIdentifier(notesTable(table)) + " ORDER BY Seq");
        while (select.step(readFailure())) {
            entries.push_back(entryOf(select, 0, table));
            takeSave(entries.back(), saved);
        }
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.seq < b.seq; });
    return entries;
}

db::StoredRow UndoFile::firstFormatRow(const std::string& table, const Entry& entry,
                                       std::size_t columns) {
    const int n = static_cast<int>(columns);
    const db::CachedStatement select =
        file_->cached("SELECT * FROM " + db::quoteIdentifier(table) + " WHERE Seq = ?");
    select->bind(1, db::Value::integer(entry.seq));
    if (!select->step(readFailure()) || select->columnCount() != n + 1)
        throw damaged();
    return db::storedRow(*select, 1, n);
}

UndoFile::Record UndoFile::record(const Entry& entry, std::size_t columns) {
    Record record;
    if (format_ == 1) {
        record.after = firstFormatRow(afterTable(entry.table), entry, columns);
        if (!entry.added)
            record.before = firstFormatRow(beforeTable(entry.table), entry, columns);
        return record;
    }
    // Both parts are one row.
    const int n = static_cast<int>(columns);
    const db::CachedStatement select = file_->cached(
        "SELECT * FROM " + db::quoteIdentifier(notesTable(entry.table)) + " WHERE Seq = ?");
    select->bind(1, db::Value::integer(entry.seq));
    if (!select->step(readFailure()) || select->columnCount() != NoteColumns + 2 * n)
        throw damaged();
    record.after = db::storedRow(*select, NoteColumns + n, n);
    if (!entry.added)
        record.before = db::storedRow(*select, NoteColumns, n);
    return record;
}

void UndoFile::eachRecord(const std::string& table, std::size_t columns, const Visit& visit) {
    const int n = static_cast<int>(columns);
    // Format 1: the entry, then the values written, then the record before.
    // Format 2: the entry, then the record before, then the values written.
    const bool first = format_ == 1;
    db::Statement select(
        file_->handle(),
        first ? "SELECT e.Seq, e.Change, e.Written, e.RowId, e.RowIdBound, e.Saved, a.*, b.* "
                "FROM UndoEntries e JOIN " +
                    db::quoteIdentifier(afterTable(table)) + " a ON a.Seq = e.Seq LEFT JOIN " +
                    db::quoteIdentifier(beforeTable(table)) +
                    " b ON b.Seq = e.Seq WHERE e.TableName = ? ORDER BY e.Seq"
              : "SELECT * FROM " + db::quoteIdentifier(notesTable(table)) + " ORDER BY Seq");
    if (select.columnCount() != (first ? 6 + 2 * (n + 1) : NoteColumns + 2 * n))
        throw damaged();
    if (first)
        select.bind(1, db::Value::text(table));
    const int afterAt = first ? 7 : NoteColumns + n;
    const int beforeAt = first ? 8 + n : NoteColumns;
    const auto& saved = savedRowids();
    while (select.step(readFailure())) {
        Entry entry = entryOf(select, 0, table);
        takeSave(entry, saved);
        if (entry.written.size() != columns)
            throw damaged();
        const db::StoredRow after = db::storedRow(select, afterAt, n);
        if (entry.added) {
            visit(entry, nullptr, after);
            continue;
        }
        if (first && select.columnValue(7 + n).isNull())
            throw damaged();
        const db::StoredRow before = db::storedRow(select, beforeAt, n);
        visit(entry, &before, after);
    }
}

db::DbError UndoFile::damaged() const {
    return db::DbError("The undo file " + db::inQuotes(path_) +
                       " is damaged: it lacks a part of what it noted.");
}

} // namespace merge
