#include "merge/Undo.h"

#include "merge/StoredRecords.h"
#include "merge/Tables.h"
#include "merge/UndoFormat.h"
#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/FileSystem.h"
#include "platform/db/Sqlite.h"
#include "platform/db/Statement.h"
#include "platform/db/Text.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <system_error>

namespace fs = std::filesystem;

namespace merge {

namespace {

// One record the update noted, as the undo file holds it.
struct Entry {
    std::int64_t seq = 0;
    std::string table;
    bool added = false;
    std::string written; // '1' for each column the update wrote
    std::int64_t rowid = 0;
    std::int64_t rowidBound = 0; // an add: the highest row id before it
    bool saved = false;          // the save was noted, and with it the row id
};

// The undo file, only read.
class UndoFile {
public:
    UndoFile(const std::string& path, const std::string& password) : path_(path) {
        std::error_code ec;
        if (!fs::exists(path, ec))
            throw db::DbError("The undo file " + db::inQuotes(path) + " does not exist.");
        if (fs::is_directory(path, ec))
            throw db::DbError(db::inQuotes(path) + " is a folder, not an undo file.");
        takeInWal(path, password);
        try {
            file_ = db::Database::open(path, password, db::OpenMode::ReadOnly);
        } catch (const db::DbError& e) {
            if ((e.code() & 0xff) != SQLITE_NOTADB)
                throw;
            throw db::DbError("Cannot open the undo file " + db::inQuotes(path) +
                                  ": the password is wrong, or the file is no undo file.",
                              e.code(), e.engineMessage());
        }
        if (!file_->hasTable("UndoFile") || !file_->hasTable("UndoEntries") ||
            !file_->hasTable("UndoColumns"))
            throw db::DbError(db::inQuotes(path) +
                              " is no undo file: it holds no update's changes to take back.");
        const db::Value format = setting("format");
        if (!format.isInteger() || format.asInteger() != undo::FormatVersion)
            throw db::DbError("The undo file " + db::inQuotes(path) +
                              " was made by another version of this program, which kept the "
                              "changes otherwise.");
    }

    std::string text(const std::string& name) {
        const db::Value value = setting(name);
        return value.isText() ? value.asText() : std::string();
    }

    // The columns each table had when the update wrote it, the tables in
    // the order they were first written.
    std::vector<std::pair<std::string, std::vector<std::string>>> columns() {
        db::Statement select(file_->handle(),
                             "SELECT TableName, Name FROM UndoColumns ORDER BY "
                             "(SELECT min(Seq) FROM UndoEntries WHERE UndoEntries.TableName = "
                             "UndoColumns.TableName), TableName, Position");
        std::vector<std::pair<std::string, std::vector<std::string>>> tables;
        while (select.step(failure())) {
            const std::string table = select.columnText(0);
            if (tables.empty() || tables.back().first != table)
                tables.emplace_back(table, std::vector<std::string>{});
            tables.back().second.push_back(select.columnText(1));
        }
        return tables;
    }

    // Every record noted, in the order written.
    std::vector<Entry> entries() {
        db::Statement select(file_->handle(),
                             "SELECT Seq, TableName, Change, Written, RowId, RowIdBound, Saved "
                             "FROM UndoEntries ORDER BY Seq");
        std::vector<Entry> entries;
        while (select.step(failure())) {
            Entry entry;
            entry.seq = select.columnInt64(0);
            entry.table = select.columnText(1);
            entry.added = select.columnText(2) == undo::Added;
            entry.written = select.columnText(3);
            entry.rowid = select.columnInt64(4);
            entry.rowidBound = select.columnInt64(5);
            entry.saved = select.columnInt64(6) != 0;
            entries.push_back(std::move(entry));
        }
        return entries;
    }

    // What the undo table `table` holds for `entry`: the whole record
    // before an overwrite, or the values written.
    db::StoredRow row(const std::string& table, const Entry& entry, std::size_t columns) {
        db::Statement& select =
            file_->cached("SELECT * FROM " + db::quoteIdentifier(table) + " WHERE Seq = ?");
        db::Statement::ResetGuard guard(select);
        select.bind(1, db::Value::integer(entry.seq));
        if (!select.step(failure()) || select.columnCount() != static_cast<int>(columns) + 1)
            throw damaged();
        return db::storedRow(select, 1, static_cast<int>(columns));
    }

    db::DbError damaged() const {
        return db::DbError("The undo file " + db::inQuotes(path_) +
                           " is damaged: it lacks a part of what it noted.");
    }

private:
    // A run that was killed leaves the last records it noted in the WAL
    // beside the undo file. They are taken into the file itself, so that
    // the file alone holds them however it is copied or moved later; where
    // that cannot be done now, they are read from the WAL all the same.
    static void takeInWal(const std::string& path, const std::string& password) {
        if (db::sizeOf(path + "-wal") == 0 || !db::mayWrite(path) ||
            !db::mayWrite(db::folderOf(path)))
            return;
        try {
            const auto file = db::Database::open(path, password, db::OpenMode::ReadWrite);
            file->exec("PRAGMA journal_mode=DELETE", "Cannot take in the WAL of the undo file.");
        } catch (const db::DbError&) {
            // Read as it lies, below, which names what is wrong with it.
        }
    }

    db::Value setting(const std::string& name) {
        db::Statement select(file_->handle(), "SELECT Value FROM UndoFile WHERE Name = ?");
        select.bind(1, db::Value::text(name));
        return select.step(failure()) ? select.columnValue(0) : db::Value();
    }

    std::string failure() const { return "Cannot read the undo file " + db::inQuotes(path_) + "."; }

    std::string path_;
    std::shared_ptr<db::Database> file_;
};

// The main database is the one the update wrote: the same file, moved or
// copied as it may be, or, without encryption, the same path.
void requireSameDatabase(UndoFile& file, const std::string& undoPath, const std::string& mainPath) {
    std::error_code ec;
    if (!fs::exists(mainPath, ec))
        throw db::DbError("The database file " + db::inQuotes(mainPath) + " does not exist.");
    const std::string updated = file.text("main");
    const std::string salt = file.text("main salt");
    const bool same = undo::isPlainHeader(salt) ? fs::equivalent(updated, mainPath, ec)
                                                : !salt.empty() && undo::fileSalt(mainPath) == salt;
    if (!same)
        throw db::DbError("The undo file " + db::inQuotes(undoPath) + " was not made for " +
                          db::inQuotes(mainPath) + ": it takes back an update of " +
                          db::inQuotes(updated) + ", another database. Nothing was changed.");
}

// A main table as the update wrote it, and its records now.
struct Table {
    StoredRecords records;
    std::size_t columns;
    std::size_t counts; // its place in UndoReport::tables
};

// The writes of one record, oldest first: an overwrite, or an add, then
// any overwrites of what it added. A record is known by its row id; an add
// whose save was never noted stands alone until it is found.
struct Chain {
    std::string table;
    std::vector<const Entry*> entries;
};

// The chains of `entries`, the one written to last first.
std::vector<Chain> chainsOf(const std::vector<Entry>& entries) {
    std::vector<Chain> chains;
    std::map<std::pair<std::string, std::int64_t>, std::size_t> byRecord;
    for (const Entry& entry : entries) {
        if (entry.added && !entry.saved) {
            chains.push_back({entry.table, {&entry}});
            continue;
        }
        const auto key = std::make_pair(entry.table, entry.rowid);
        const auto found = byRecord.find(key);
        if (entry.added || found == byRecord.end()) {
            byRecord[key] = chains.size();
            chains.push_back({entry.table, {&entry}});
        } else {
            chains[found->second].entries.push_back(&entry);
        }
    }
    std::sort(chains.begin(), chains.end(), [](const Chain& a, const Chain& b) {
        return a.entries.back()->seq > b.entries.back()->seq;
    });
    return chains;
}

class Undoing {
public:
    Undoing(db::Database& main, UndoFile& file, UndoReport& report)
        : main_(main), file_(file), report_(report) {}

    void addTable(const std::string& name, const std::vector<std::string>& columns) {
        Table table{StoredRecords(main_, name), columns.size(), report_.tables.size()};
        const auto& now = table.records.columns();
        bool same = now.size() == columns.size();
        for (std::size_t i = 0; same && i < columns.size(); ++i)
            same = now[i].name == columns[i];
        if (!same)
            throw db::DbError("The table " + name + " of " + db::inQuotes(main_.path()) +
                              " has other fields than when the update wrote it, so its records "
                              "cannot be taken back. Nothing was changed.");
        report_.tables.push_back({name, 0, 0});
        tables_.emplace(name, std::move(table));
    }

    // The record is brought back to what it held before the update's first
    // write of it, when it holds what one of the writes left (the later
    // ones then never saved, or taken back before).
    void takeBack(const Chain& chain) {
        const auto found = tables_.find(chain.table);
        if (found == tables_.end())
            throw file_.damaged();
        Table& table = found->second;
        std::vector<State> states;
        for (const Entry* entry : chain.entries)
            states.push_back(stateAfter(table, *entry));
        const Entry& first = *chain.entries.front();
        std::int64_t rowid = first.rowid;
        if (first.added && !first.saved) {
            const Found found = findAdded(table, first, states.front());
            if (found.sameKey && !found.written) {
                leftAlone(table, *found.sameKey, *table.records.read(*found.sameKey),
                          "changed since the update wrote it");
                return;
            }
            if (!found.written) {
                report_.alreadyBack += static_cast<std::int32_t>(chain.entries.size());
                return;
            }
            rowid = *found.written;
        }
        const auto now = table.records.read(rowid);
        // The writes that the record holds: all up to the last it matches.
        std::size_t held = chain.entries.size();
        while (held > 0 && !(now && states[held - 1].matches(*now)))
            --held;
        const bool untouched = first.added ? !now : now && *now == states.front().before;
        if (held == 0 && !untouched) {
            leftAlone(table, rowid, now ? *now : states.back().row,
                      now ? "changed since the update wrote it"
                          : "removed since the update wrote it");
            return;
        }
        report_.alreadyBack += static_cast<std::int32_t>(chain.entries.size() - held);
        if (held == 0)
            return;
        if (first.added)
            table.records.remove(rowid);
        else
            table.records.overwrite(rowid, states.front().before);
        for (std::size_t i = 0; i < held; ++i)
            ++(chain.entries[i]->added ? report_.tables[table.counts].removed
                                       : report_.tables[table.counts].restored);
    }

private:
    // What a record held right after one of the update's writes: every
    // field, or after an add only the fields written (the others took their
    // defaults); and, for an overwrite, what it held right before.
    struct State {
        db::StoredRow row;
        std::string known; // '1' for each field of `row` known
        db::StoredRow before;

        bool matches(const db::StoredRow& stored) const {
            for (std::size_t i = 0; i < row.size(); ++i)
                if (known[i] == '1' && !(stored[i] == row[i]))
                    return false;
            return true;
        }
    };

    State stateAfter(Table& table, const Entry& entry) {
        if (entry.written.size() != table.columns)
            throw file_.damaged();
        State state;
        state.row = file_.row(undo::afterTable(entry.table), entry, table.columns);
        if (entry.added) {
            state.known = entry.written;
            return state;
        }
        state.before = file_.row(undo::beforeTable(entry.table), entry, table.columns);
        for (std::size_t i = 0; i < state.row.size(); ++i)
            if (entry.written[i] != '1')
                state.row[i] = state.before[i];
        state.known.assign(table.columns, '1');
        return state;
    }

    // Where an add noted without its save may be: saved, it is the first
    // record added since that holds what was written; a record there with
    // the same key but other values is one changed since.
    struct Found {
        std::optional<std::int64_t> written;
        std::optional<std::int64_t> sameKey;
    };

    Found findAdded(Table& table, const Entry& entry, const State& added) {
        Found found;
        for (const std::int64_t rowid : table.records.rowidsAbove(entry.rowidBound)) {
            const auto now = table.records.read(rowid);
            if (!now)
                continue;
            if (added.matches(*now)) {
                found.written = rowid;
                return found;
            }
            if (!found.sameKey && sameKeyAs(table, *now, added.row))
                found.sameKey = rowid;
        }
        return found;
    }

    bool sameKeyAs(const Table& table, const db::StoredRow& row,
                   const db::StoredRow& written) const {
        const TableDef* def = findVarnholtTable(table.records.table());
        if (!def)
            return false;
        for (const KeyField& key : def->key) {
            const std::size_t at = table.records.position(key.name);
            if (!(row[at] == written[at]))
                return false;
        }
        return true;
    }

    // "Lodges record 17 (F1 "L1"): changed since the update wrote it".
    void leftAlone(const Table& table, std::int64_t rowid, const db::StoredRow& row,
                   const std::string& why) {
        std::string key;
        if (const TableDef* def = findVarnholtTable(table.records.table()))
            for (const KeyField& part : def->key)
                key += (key.empty() ? " (" : ", ") + part.name + " " +
                       row[table.records.position(part.name)].describe();
        report_.changed.push_back(table.records.table() + " record " + std::to_string(rowid) +
                                  (key.empty() ? "" : key + ")") + ": " + why);
    }

    db::Database& main_;
    UndoFile& file_;
    UndoReport& report_;
    std::map<std::string, Table> tables_;
};

} // namespace

UndoReport undoUpdate(const std::string& mainPath, const std::string& undoPath,
                      const std::string& password, bool force) {
    UndoFile file(undoPath, password);
    requireSameDatabase(file, undoPath, mainPath);
    UndoReport report;
    report.updatePath = file.text("update");
    const std::vector<Entry> entries = file.entries();

    const auto main = db::Database::open(mainPath, password, db::OpenMode::ReadWrite);
    Undoing undoing(*main, file, report);
    for (const auto& [table, columns] : file.columns())
        undoing.addTable(table, columns);
    db::Transaction transaction(*main);
    for (const Chain& chain : chainsOf(entries))
        undoing.takeBack(chain);
    if (report.changed.empty() || force) {
        transaction.commit();
        report.applied = true;
    }
    return report;
}

} // namespace merge
