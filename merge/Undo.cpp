#include "merge/Undo.h"

#include "merge/StoredRecords.h"
#include "merge/Tables.h"
#include "merge/UndoFile.h"
#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/FileSystem.h"
#include "platform/db/Text.h"
#include "platform/db/Transaction.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <system_error>

namespace fs = std::filesystem;

namespace merge {

namespace {

using Entry = UndoFile::Entry;

// The main database is the one the update wrote: the same file, moved or
// copied as it may be, or, without encryption, the same path.
void requireSameDatabase(UndoFile& file, const std::string& undoPath, const std::string& mainPath) {
    std::error_code ec;
    db::requireExists(mainPath, "The database file");
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
    // With `apply` false nothing is written: the pass only tells what taking
    // the update back would do.
    Undoing(db::Database& main, UndoFile& file, UndoReport& report, bool apply)
        : main_(main), file_(file), report_(report), apply_(apply) {}

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
        const std::optional<std::int64_t> rowid = recordOf(table, chain, states.front());
        if (!rowid)
            return;
        const auto now = table.records.read(*rowid);
        const std::size_t held = writesHeld(chain, states, now);
        const Entry& first = *chain.entries.front();
        const bool untouched = first.added ? !now : now && *now == states.front().before;
        if (held == 0 && !untouched) {
            leftAlone(table, *rowid, now ? *now : states.back().row,
                      now ? "changed since the update wrote it"
                          : "removed since the update wrote it");
            return;
        }
        report_.alreadyBack += static_cast<std::int32_t>(chain.entries.size() - held);
        if (held > 0)
            restore(table, chain, held, *rowid, states.front());
    }

private:
    struct State;

    // The row id of the record the chain wrote. An add whose save was never
    // noted is looked for by what it wrote; nothing when it is not there
    // (never saved, or taken back before) or was changed since, and that is
    // accounted for.
    std::optional<std::int64_t> recordOf(Table& table, const Chain& chain, const State& first) {
        const Entry& entry = *chain.entries.front();
        if (!entry.added || entry.saved)
            return entry.rowid;
        const Found found = findAdded(table, entry, first);
        if (found.written)
            return found.written;
        if (found.sameKey)
            leftAlone(table, *found.sameKey, *table.records.read(*found.sameKey),
                      "changed since the update wrote it");
        else
            report_.alreadyBack += static_cast<std::int32_t>(chain.entries.size());
        return std::nullopt;
    }

    // How many of the chain's writes the record holds: all up to the last
    // one it matches.
    static std::size_t writesHeld(const Chain& chain, const std::vector<State>& states,
                                  const std::optional<db::StoredRow>& now) {
        std::size_t held = chain.entries.size();
        while (held > 0 && !(now && states[held - 1].matches(*now)))
            --held;
        return held;
    }

    // Removes an added record, or gives an overwritten one back what it held
    // before, and counts the `held` writes taken back.
    void restore(Table& table, const Chain& chain, std::size_t held, std::int64_t rowid,
                 const State& first) {
        if (apply_ && chain.entries.front()->added)
            table.records.remove(rowid);
        else if (apply_)
            table.records.overwrite(rowid, first.before);
        for (std::size_t i = 0; i < held; ++i)
            ++(chain.entries[i]->added ? report_.tables[table.counts].removed
                                       : report_.tables[table.counts].restored);
    }

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
        UndoFile::Record noted = file_.record(entry, table.columns);
        State state;
        state.row = std::move(noted.after);
        if (entry.added) {
            state.known = entry.written;
            return state;
        }
        state.before = std::move(noted.before);
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
    bool apply_;
    std::map<std::string, Table> tables_;
};

// One pass over the chains, newest first, told to `progress` as the part
// from `offset` on of `total` steps.
void takeBackAll(Undoing& undoing, const std::vector<Chain>& chains, const UndoProgress& progress,
                 std::size_t offset, std::size_t total) {
    for (std::size_t done = 0; done < chains.size(); ++done) {
        if (progress && done % 256 == 0)
            progress(offset + done, total);
        undoing.takeBack(chains[done]);
    }
    if (progress)
        progress(offset + chains.size(), total);
}

} // namespace

UndoReport undoUpdate(const std::string& mainPath, const std::string& undoPath,
                      const std::string& password, bool force, const UndoProgress& progress) {
    UndoFile file = UndoFile::open(undoPath, password);
    requireSameDatabase(file, undoPath, mainPath);
    UndoReport report;
    report.updatePath = file.text("update");
    const std::vector<Entry> entries = file.entries();
    const std::vector<Chain> chains = chainsOf(entries);
    const auto tables = file.columns();
    const std::size_t steps = force ? chains.size() : 2 * chains.size();

    // Unless forced, the main database is first only read: an undo that is
    // refused leaves it byte for byte as it was, not even opened for writing.
    if (!force) {
        UndoReport planned = report;
        const auto reading = db::Database::open(mainPath, password, db::OpenMode::ReadOnly);
        Undoing plan(*reading, file, planned, false);
        for (const auto& [table, columns] : tables)
            plan.addTable(table, columns);
        takeBackAll(plan, chains, progress, 0, steps);
        if (!planned.changed.empty())
            return planned;
    }

    const auto main = db::Database::open(mainPath, password, db::OpenMode::ReadWrite);
    Undoing undoing(*main, file, report, true);
    for (const auto& [table, columns] : tables)
        undoing.addTable(table, columns);
    db::Transaction transaction(*main);
    takeBackAll(undoing, chains, progress, steps - chains.size(), steps);
    if (report.changed.empty() || force) {
        transaction.commit();
        report.applied = true;
    }
    report.closing = main->Close();
    return report;
}

} // namespace merge
