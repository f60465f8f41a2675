#include "merge/UndoFile.h"

#include "merge/UndoFolder.h"
#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/FileSystem.h"
#include "platform/db/SideFiles.h"
#include "platform/db/Statement.h"
#include "platform/db/Text.h"
#include "platform/db/Transaction.h"

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

constexpr int FormatVersion = 1;
constexpr const char* Added = "added";
constexpr const char* Overwritten = "overwritten";

std::string beforeTable(const std::string& table) {
    return fmt::format("Before {}", table);
}
std::string afterTable(const std::string& table) {
    return fmt::format("After {}", table);
}
std::string column(std::size_t position) {
    return fmt::format("C{}", position + 1);
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
    db::Transaction transaction(file);
    file.exec("CREATE TABLE UndoFile (Name TEXT PRIMARY KEY, Value);"
              "CREATE TABLE UndoColumns (TableName TEXT NOT NULL, Position INTEGER NOT NULL, "
              "Name TEXT NOT NULL, DeclaredType TEXT NOT NULL, "
              "PRIMARY KEY (TableName, Position));"
              "CREATE TABLE UndoEntries (Seq INTEGER PRIMARY KEY, TableName TEXT NOT NULL, "
              "Change TEXT NOT NULL, Written TEXT NOT NULL, RowId INTEGER, "
              "RowIdBound INTEGER, Saved INTEGER NOT NULL DEFAULT 0);",
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

UndoFile::UndoFile(std::string path, std::shared_ptr<db::Database> file)
    : path_(std::move(path)), file_(std::move(file)) {}

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
    return UndoFile(path, std::move(file));
}

UndoFile UndoFile::open(const std::string& path, const std::string& password) {
    std::error_code ec;
    if (!fs::exists(path, ec))
        throw db::DbError("The undo file " + db::inQuotes(path) + " does not exist.");
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
    if (!file->hasTable("UndoFile") || !file->hasTable("UndoEntries") ||
        !file->hasTable("UndoColumns"))
        throw db::DbError(db::inQuotes(path) +
                          " is no undo file: it holds no update's changes to take back.");
    UndoFile undo(path, std::move(file));
    const db::Value format = undo.setting("format");
    if (!format.isInteger() || format.asInteger() != FormatVersion)
        throw db::DbError("The undo file " + db::inQuotes(path) +
                          " was made by another version of this program, which kept the "
                          "changes otherwise.");
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
    std::string before =
        "CREATE TABLE " + db::quoteIdentifier(beforeTable(table)) + " (Seq INTEGER PRIMARY KEY";
    std::string after =
        "CREATE TABLE " + db::quoteIdentifier(afterTable(table)) + " (Seq INTEGER PRIMARY KEY";
    db::Statement note(file_->handle(), "INSERT INTO UndoColumns VALUES (?, ?, ?, ?)");
    for (std::size_t i = 0; i < columns.size(); ++i) {
        // Stored as they are; written values as the main table stores them.
        before += ", " + column(i);
        after += ", " + column(i) + " " + db::affinityOf(columns[i].declaredType);
        note.bind(1, db::Value::text(table));
        note.bind(2, db::Value::integer(static_cast<std::int64_t>(i)));
        note.bind(3, db::Value::text(columns[i].name));
        note.bind(4, db::Value::text(columns[i].declaredType));
        note.run(what);
        note.reset();
    }
    file_->exec(before + ")", what);
    file_->exec(after + ")", what);
}

void UndoFile::append(const Note& note, std::int64_t seq, const std::optional<Saved>& previous) {
    if (!file_)
        throw db::DbError("The undo file " + db::inQuotes(path_) +
                          " was closed before the update ended.");
    db::Transaction transaction(*file_);
    if (note.firstOfTable)
        noteTable(note.table, *note.firstOfTable);
    if (previous)
        noteSaved(*previous);
    insertEntry(note, seq);
    const std::size_t columns = note.written.size();
    if (note.before) {
        const db::CachedStatement insert =
            file_->cached(insertInto(beforeTable(note.table), columns));
        insert->bind(1, db::Value::integer(seq));
        for (std::size_t i = 0; i < note.before->size(); ++i)
            (*note.before)[i].bindTo(*insert, static_cast<int>(i + 2));
        insert->run(writeFailure());
    }
    {
        const db::CachedStatement insert =
            file_->cached(insertInto(afterTable(note.table), columns));
        insert->bind(1, db::Value::integer(seq));
        for (const auto& [position, value] : note.after)
            insert->bind(static_cast<int>(position + 2), value);
        insert->run(writeFailure());
    }
    transaction.commit();
}

void UndoFile::insertEntry(const Note& note, std::int64_t seq) {
    const db::CachedStatement entry =
        file_->cached("INSERT INTO UndoEntries (Seq, TableName, Change, Written, RowId, "
                      "RowIdBound) VALUES (?, ?, ?, ?, ?, ?)");
    entry->bind(1, db::Value::integer(seq));
    entry->bind(2, db::Value::text(note.table));
    entry->bind(3, db::Value::text(note.added ? Added : Overwritten));
    entry->bind(4, db::Value::text(note.written));
    entry->bind(5, note.added ? db::Value() : db::Value::integer(note.rowid));
    entry->bind(6, note.added ? db::Value::integer(note.rowidBound) : db::Value());
    entry->run(writeFailure());
}

void UndoFile::noteSaved(const Saved& saved) {
    const db::CachedStatement note =
        file_->cached("UPDATE UndoEntries SET RowId = ?, Saved = 1 WHERE Seq = ?");
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
    db::Statement select(file_->handle(),
                         "SELECT TableName, Name FROM UndoColumns ORDER BY "
                         "(SELECT min(Seq) FROM UndoEntries WHERE UndoEntries.TableName = "
                         "UndoColumns.TableName), TableName, Position");
    std::vector<std::pair<std::string, std::vector<std::string>>> tables;
    while (select.step(readFailure())) {
        const std::string table = select.columnText(0);
        if (tables.empty() || tables.back().first != table)
            tables.emplace_back(table, std::vector<std::string>{});
        tables.back().second.push_back(select.columnText(1));
    }
    return tables;
}

std::vector<UndoFile::Entry> UndoFile::entries() {
    db::Statement select(file_->handle(),
                         "SELECT Seq, TableName, Change, Written, RowId, RowIdBound, Saved "
                         "FROM UndoEntries ORDER BY Seq");
    std::vector<Entry> entries;
    while (select.step(readFailure())) {
        Entry entry;
        entry.seq = select.columnInt64(0);
        entry.table = select.columnText(1);
        entry.added = select.columnText(2) == Added;
        entry.written = select.columnText(3);
        entry.rowid = select.columnInt64(4);
        entry.rowidBound = select.columnInt64(5);
        entry.saved = select.columnInt64(6) != 0;
        entries.push_back(std::move(entry));
    }
    return entries;
}

db::StoredRow UndoFile::row(const std::string& table, const Entry& entry, std::size_t columns) {
    const db::CachedStatement select =
        file_->cached("SELECT * FROM " + db::quoteIdentifier(table) + " WHERE Seq = ?");
    select->bind(1, db::Value::integer(entry.seq));
    if (!select->step(readFailure()) || select->columnCount() != static_cast<int>(columns) + 1)
        throw damaged();
    return db::storedRow(*select, 1, static_cast<int>(columns));
}

db::StoredRow UndoFile::before(const Entry& entry, std::size_t columns) {
    return row(beforeTable(entry.table), entry, columns);
}

db::StoredRow UndoFile::after(const Entry& entry, std::size_t columns) {
    return row(afterTable(entry.table), entry, columns);
}

void UndoFile::eachRecord(const std::string& table, std::size_t columns, const Visit& visit) {
    const int n = static_cast<int>(columns);
    db::Statement select(file_->handle(),
                         "SELECT e.Seq, e.Change, e.Written, e.RowId, e.RowIdBound, e.Saved, a.*, "
                         "b.* FROM UndoEntries e JOIN " +
                             db::quoteIdentifier(afterTable(table)) +
                             " a ON a.Seq = e.Seq LEFT JOIN " +
                             db::quoteIdentifier(beforeTable(table)) +
                             " b ON b.Seq = e.Seq WHERE e.TableName = ? ORDER BY e.Seq");
    if (select.columnCount() != 6 + 2 * (n + 1))
        throw damaged();
    select.bind(1, db::Value::text(table));
    while (select.step(readFailure())) {
        Entry entry;
        entry.seq = select.columnInt64(0);
        entry.table = table;
        entry.added = select.columnText(1) == Added;
        entry.written = select.columnText(2);
        entry.rowid = select.columnInt64(3);
        entry.rowidBound = select.columnInt64(4);
        entry.saved = select.columnInt64(5) != 0;
        if (entry.written.size() != columns)
            throw damaged();
        const db::StoredRow after = db::storedRow(select, 7, n);
        if (entry.added) {
            visit(entry, nullptr, after);
            continue;
        }
        if (select.columnValue(7 + n).isNull())
            throw damaged();
        const db::StoredRow before = db::storedRow(select, 8 + n, n);
        visit(entry, &before, after);
    }
}

db::DbError UndoFile::damaged() const {
    return db::DbError("The undo file " + db::inQuotes(path_) +
                       " is damaged: it lacks a part of what it noted.");
}

} // namespace merge
