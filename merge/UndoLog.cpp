#include "merge/UndoLog.h"

#include "merge/Tables.h"
#include "merge/UndoFormat.h"
#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/Statement.h"
#include "platform/db/Text.h"

#include <filesystem>
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

void run(db::Statement& statement, const std::string& what) {
    statement.step(what);
}

std::string absolutePath(const std::string& path) {
    std::error_code ec;
    const fs::path canonical = fs::weakly_canonical(path, ec);
    return ec ? fs::absolute(path).lexically_normal().string() : canonical.string();
}

} // namespace

UndoLog::UndoLog(std::string path, const std::string& password, const std::string& mainPath,
                 const std::string& updatePath)
    : path_(std::move(path)) {
    std::error_code ec;
    if (fs::exists(fs::symlink_status(path_, ec)))
        throw db::DbError("The undo file " + db::inQuotes(path_) +
                          " already exists; it is left as it is. An undo file is never written "
                          "over: name another file.");
    file_ = db::Database::create(
        path_, password, [&](db::Database& file) { initialise(file, mainPath, updatePath); });
}

UndoLog::~UndoLog() {
    try {
        finish();
    } catch (...) {
        // The file holds every record it noted; only the last save's row id
        // is missing, which undoing finds without it.
    }
}

void UndoLog::initialise(db::Database& file, const std::string& mainPath,
                         const std::string& updatePath) {
    const std::string what = "Cannot make the undo file " + db::inQuotes(path_) + ".";
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
        db::Statement::ResetGuard guard(note);
        note.bind(1, db::Value::text(name));
        note.bind(2, value);
        run(note, what);
    };
    set("format", db::Value::integer(undo::FormatVersion));
    set("main", db::Value::text(absolutePath(mainPath)));
    set("main salt", db::Value::text(undo::fileSalt(mainPath)));
    set("update", db::Value::text(absolutePath(updatePath)));
    transaction.commit();
    // Each note is committed before the record it notes is saved, so that
    // a program killed at any moment leaves every saved record noted. Like
    // the main database's own saves, a note is not synced to the disk one
    // by one: a sync takes milliseconds, many times a record's save.
    file.exec("PRAGMA journal_mode=WAL", what);
    file.exec("PRAGMA synchronous=NORMAL", what);
}

UndoLog::Table& UndoLog::tableFor(const RecordWrite& write) {
    auto& slot = tables_[write.table.name];
    if (!slot || &slot->main.database() != &write.main) {
        const bool known = slot && slot->noted;
        slot = std::make_unique<Table>(Table{StoredRecords(write.main, write.table.name), {}, {}});
        slot->noted = known;
        const std::size_t count = slot->main.columns().size();
        std::string marks;
        for (std::size_t i = 0; i <= count; ++i)
            marks += i ? ", ?" : "?";
        slot->insertBefore = "INSERT INTO " +
                             db::quoteIdentifier(undo::beforeTable(write.table.name)) +
                             " VALUES (" + marks + ")";
        slot->insertAfter = "INSERT INTO " +
                            db::quoteIdentifier(undo::afterTable(write.table.name)) + " VALUES (" +
                            marks + ")";
    }
    return *slot;
}

// The table's columns and its two tables of records, made with its first
// record in the same transaction.
void UndoLog::noteTable(const Table& table) {
    const std::string what = "Cannot write the undo file " + db::inQuotes(path_) + ".";
    const auto& columns = table.main.columns();
    std::string before = "CREATE TABLE " +
                         db::quoteIdentifier(undo::beforeTable(table.main.table())) +
                         " (Seq INTEGER PRIMARY KEY";
    std::string after = "CREATE TABLE " +
                        db::quoteIdentifier(undo::afterTable(table.main.table())) +
                        " (Seq INTEGER PRIMARY KEY";
    db::Statement note(file_->handle(), "INSERT INTO UndoColumns VALUES (?, ?, ?, ?)");
    for (std::size_t i = 0; i < columns.size(); ++i) {
        // Stored as they are; written values as the main table stores them.
        before += ", " + undo::column(i);
        after += ", " + undo::column(i) + " " + db::affinityOf(columns[i].declaredType);
        db::Statement::ResetGuard guard(note);
        note.bind(1, db::Value::text(table.main.table()));
        note.bind(2, db::Value::integer(static_cast<std::int64_t>(i)));
        note.bind(3, db::Value::text(columns[i].name));
        note.bind(4, db::Value::text(columns[i].declaredType));
        run(note, what);
    }
    file_->exec(before + ")", what);
    file_->exec(after + ")", what);
}

void UndoLog::noteSaved(db::Database& file) {
    if (!saved_)
        return;
    db::Statement& note = file.cached("UPDATE UndoEntries SET RowId = ?, Saved = 1 WHERE Seq = ?");
    db::Statement::ResetGuard guard(note);
    note.bind(1, db::Value::integer(saved_->rowid));
    note.bind(2, db::Value::integer(saved_->seq));
    run(note, "Cannot write the undo file " + db::inQuotes(path_) + ".");
}

std::string UndoLog::writtenMask(const Table& table, const RecordWrite& write) const {
    std::string mask(table.main.columns().size(), '0');
    for (const std::string& field : write.fields)
        mask[table.main.position(field)] = '1';
    return mask;
}

void UndoLog::aboutToWrite(const RecordWrite& write) {
    if (!file_)
        throw db::DbError("The undo file " + db::inQuotes(path_) +
                          " was closed before the update ended.");
    Table& table = tableFor(write);
    const bool adding = write.kind == RecordWrite::Kind::Add;
    std::optional<db::StoredRow> before;
    std::int64_t bound = 0;
    if (adding) {
        bound = table.main.maxRowid();
    } else {
        before = table.main.read(write.rowid);
        if (!before)
            throw db::DbError("A record of table " + write.table.name + " in " +
                              db::inQuotes(write.main.path()) +
                              " was deleted by another program; the change was not saved.");
    }
    const std::string what = "Cannot write the undo file " + db::inQuotes(path_) + ".";
    const std::int64_t seq = lastSeq_ + 1;

    db::Transaction transaction(*file_);
    if (!table.noted)
        noteTable(table);
    noteSaved(*file_);
    {
        db::Statement& entry = file_->cached(
            "INSERT INTO UndoEntries (Seq, TableName, Change, Written, RowId, RowIdBound) "
            "VALUES (?, ?, ?, ?, ?, ?)");
        db::Statement::ResetGuard guard(entry);
        entry.bind(1, db::Value::integer(seq));
        entry.bind(2, db::Value::text(write.table.name));
        entry.bind(3, db::Value::text(adding ? undo::Added : undo::Overwritten));
        entry.bind(4, db::Value::text(writtenMask(table, write)));
        entry.bind(5, adding ? db::Value() : db::Value::integer(write.rowid));
        entry.bind(6, adding ? db::Value::integer(bound) : db::Value());
        run(entry, what);
    }
    if (before) {
        db::Statement& insert = file_->cached(table.insertBefore);
        db::Statement::ResetGuard guard(insert);
        insert.bind(1, db::Value::integer(seq));
        for (std::size_t i = 0; i < before->size(); ++i)
            (*before)[i].bindTo(insert, static_cast<int>(i + 2));
        run(insert, what);
    }
    {
        db::Statement& insert = file_->cached(table.insertAfter);
        db::Statement::ResetGuard guard(insert);
        insert.bind(1, db::Value::integer(seq));
        for (std::size_t i = 0; i < write.fields.size(); ++i)
            insert.bind(static_cast<int>(table.main.position(write.fields[i]) + 2),
                        write.values[i]);
        run(insert, what);
    }
    transaction.commit();
    table.noted = true;
    saved_.reset();
    lastSeq_ = seq;
    ++entries_;
}

void UndoLog::written(const RecordWrite&, std::int64_t rowid) {
    saved_ = Saved{lastSeq_, rowid};
}

void UndoLog::finish() {
    tables_.clear();
    if (!file_)
        return;
    // Closed however this ends.
    const std::shared_ptr<db::Database> file = std::move(file_);
    if (saved_) {
        db::Transaction transaction(*file);
        noteSaved(*file);
        transaction.commit();
        saved_.reset();
    }
    file->exec("PRAGMA journal_mode=DELETE",
               "Cannot write the undo file " + db::inQuotes(path_) + ".");
    file->Close();
}

} // namespace merge
