#include "merge/Walk.h"

#include "merge/Host.h"
#include "merge/Merger.h"
#include "platform/db/Data.h"
#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/Recordset.h"
#include "platform/db/Text.h"
#include "platform/db/Value.h"
#include "platform/db/Waiting.h"

#include <limits>
#include <memory>

namespace merge {
namespace {

// One side of the merge, for messages about a value found there: a record of
// the table in the main database or in the update database, named by its key.
struct Side {
    const TableDef& table;
    db::Recordset& records;
    const char* role; // "main database", "update database"
    std::string path;

    // " with F1 "B", F2 "X1"": the key fields of the current record, but
    // `except` (the one whose value is in question), read as stored.
    std::string recordKey(const std::string& except) const {
        std::string key;
        for (const KeyField& part : table.key) {
            if (db::equalsNoCase(part.name, except))
                continue;
            std::string shown;
            try {
                shown = records.Fields(part.name).Value().describe();
            } catch (const db::DbError&) {
                continue; // a key that cannot be read itself names nothing
            }
            key += (key.empty() ? " with " : ", ") + part.name + " " + shown;
        }
        return key;
    }

    // The message about `shown` in `field` of the current record: where it
    // is (file, table, record by its key, field) and why it stops the merge.
    [[noreturn]] void fail(const std::string& field, const std::string& shown,
                           const std::string& why) const {
        const bool key = table.isKey(field);
        const char* kind = key ? "key field" : field == table.dateField ? "date field" : "field";
        throw db::DbError("The " + table.name + " record" + recordKey(key ? field : "") +
                          " in the " + role + " " + db::inQuotes(path) + " has " + shown +
                          " in its " + kind + " " + field + ", which " + why + ".");
    }

    // A value error the engine found in this side's current record, said
    // again with the record.
    [[noreturn]] void fail(const db::ValueError& error) const {
        fail(error.place().field, error.shown(), error.why());
    }

    db::Value value(const std::string& field) const {
        try {
            return records.Fields(field).Value();
        } catch (const db::ValueError& e) {
            fail(e);
        }
    }
};

// The number key field in its Str() form, a number held as text read as the
// number it spells. A value that is no number stops the merge, naming the
// record by its other key fields so that it can be found.
std::string strOf(const Side& source, const std::string& field, const db::Value& value) {
    try {
        return *db::Str(value);
    } catch (const db::DbError&) {
        source.fail(field, value.describe(), "must be a number");
    }
}

// The record's date stamp as a date: a date, or text that reads as one; a
// null stays null.
db::Value stampOf(const Side& side, const std::string& field) {
    const db::Value value = side.value(field);
    if (value.isNull() || value.isDate())
        return value;
    if (auto date = db::dateOf(value))
        return db::Value::date(*date);
    side.fail(field, value.describe(), "is not a date");
}

// Points a connection at a file and a query, and runs it.
void open(db::Data& data, const std::string& connect, const std::string& path,
          const std::string& query, bool readOnly) {
    data.Connect = connect;
    data.DatabaseName = path;
    data.RecordSource = query;
    data.ReadOnly = readOnly;
    data.Refresh();
}

void copyFields(const Side& source, const Side& target, const std::vector<std::string>& fields) {
    for (const std::string& field : fields) {
        const db::Value value = source.value(field);
        try {
            target.records.Fields(field) = value;
        } catch (const db::ValueError& e) {
            source.fail(field, value.describe(),
                        "the " + std::string(target.role) + " " + db::inQuotes(target.path) +
                            " cannot take: it " + e.why());
        }
    }
}

void countOne(std::int32_t& counter, const std::string& table) {
    if (counter == std::numeric_limits<std::int32_t>::max())
        throw db::DbError("More records of " + table + " were written than can be counted.");
    ++counter;
}

// Overwrite only when the source's date stamp falls on a later calendar day;
// the same day, an earlier one or a null on either side leaves the record.
bool sourceIsNewer(const Side& source, const Side& target, const std::string& dateField) {
    const auto days = db::dayDifference(stampOf(target, dateField), stampOf(source, dateField));
    return days && *days > 0;
}

// Saves the record the target's AddNew or Edit opened, and counts it. A
// change log is told of it before and after; without one nothing more is
// read.
void save(db::Recordset& target, RecordWrite::Kind kind, const std::vector<std::string>& fields,
          const TableDef& table, std::int32_t& counter, ChangeLog* changes) {
    if (!changes) {
        target.Update();
        countOne(counter, table.name);
        return;
    }
    const bool adding = kind == RecordWrite::Kind::Add;
    RecordWrite write{table, kind, target.database(), 0, fields, {}};
    if (!adding)
        write.rowid = target.currentRowId();
    // The record set hands back a field it is about to write as the main
    // database takes it.
    for (const std::string& field : fields)
        write.values.push_back(target.Fields(field).Value());
    changes->aboutToWrite(write);
    target.Update();
    countOne(counter, table.name);
    changes->written(write, adding ? target.lastRowId() : write.rowid);
}

// Tells the host that a merge runs, for as long as it runs.
class Running {
public:
    Running(Host& host, const TableDef& table) : host_(host) { host_.mergeStarted(table); }
    ~Running() { host_.mergeEnded(); }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

private:
    Host& host_;
};

// Holds the main database alone while a merge writes to it, so that each
// record's own transaction costs no file locking, and lets other programs in
// again however the merge ends. A window unloaded by a cancel has closed the
// database already.
class HeldAlone {
public:
    explicit HeldAlone(db::Data& data) : database_(data.weakDatabase()) {
        data.Database().holdExclusively();
    }
    ~HeldAlone() {
        if (const auto database = database_.lock()) {
            try {
                database->releaseExclusively();
            } catch (const db::DbError&) {
                // Closing the database lets other programs in all the same.
            }
        }
    }
    HeldAlone(const HeldAlone&) = delete;
    HeldAlone& operator=(const HeldAlone&) = delete;

private:
    std::weak_ptr<db::Database> database_;
};

constexpr const char* MainRole = "main database";
constexpr const char* UpdateRole = "update database";

// The connect text of both connections: "MS Access;PWD=<password>;".
std::string connectText(const Merger& merger) {
    return "MS Access;PWD=" + merger.DBPassword + ";";
}

} // namespace

std::string criteriaFor(const TableDef& table, db::Recordset& source) {
    const Side side{table, source, UpdateRole, source.database().path()};
    std::string criteria;
    for (const KeyField& key : table.key) {
        if (!criteria.empty())
            criteria += " AND ";
        const db::Value value = side.value(key.name);
        if (value.isNull())
            criteria += key.name + " Is Null";
        else if (key.compare == KeyCompare::Str)
            criteria +=
                "Str(" + key.name + ") = " + db::enclosed(strOf(side, key.name, value), '\'');
        else
            criteria += key.name + " = " + db::enclosed(value.toText(), '\'');
    }
    return criteria;
}

namespace {

// The update table (the source) on Data2; false when it has no records, and
// then nothing else is opened or shown.
bool openSource(Merger& merger, const TableDef& table, const std::string& UPDLocation) {
    // Reaching Data2 first loads an unloaded window, and with it the password.
    db::Data& update = merger.Data2();
    open(update, connectText(merger), UPDLocation, table.query(), true);
    return update.Recordset().RecordCount() >= 1;
}

// The bar runs from 1 to the number of update records, and the status line
// names the table at once.
void showStart(Host& host, const TableDef& table, db::Recordset& source) {
    source.MoveLast();
    host.setProgressMin(0);
    host.setProgressMax(static_cast<float>(source.RecordCount()));
    host.setProgressValue(1);
    host.setStatusText(table.statusText);
    host.repaint();
    source.MoveFirst();
}

// One update record: searched in the main table by its key, then added when
// missing, or written over the record found when it is newer.
void mergeRecord(Merger& merger, const TableDef& table, const std::string& DBLocation,
                 const std::string& UPDLocation, std::int32_t& counter) {
    const Side source{table, merger.Data2().Recordset(), UpdateRole, UPDLocation};
    const Side target{table, merger.Data1().Recordset(), MainRole, DBLocation};
    ChangeLog* changes = merger.changeLog();

    const std::string criteria = criteriaFor(table, source.records);
    try {
        target.records.FindFirst(criteria);
    } catch (const db::ValueError& e) {
        // The main record the search stopped at has the update record's
        // other key fields, ignoring letter case.
        const Side found{table, source.records, MainRole, DBLocation};
        found.fail(e.place().field, e.shown(), e.why());
    }
    if (target.records.NoMatch()) {
        const std::vector<std::string> fields = table.addFields();
        target.records.AddNew();
        copyFields(source, target, fields);
        save(target.records, RecordWrite::Kind::Add, fields, table, counter, changes);
    } else if (sourceIsNewer(source, target, table.dateField)) {
        target.records.Edit();
        copyFields(source, target, table.overwriteFields);
        save(target.records, RecordWrite::Kind::Overwrite, table.overwriteFields, table, counter,
             changes);
    } else if (changes) {
        changes->leftAlone(table);
    }
}

// At the normal end of the last merge: the source query once more, then the
// update database closed.
void closeSource(Merger& merger) {
    db::Data& source = merger.Data2();
    source.Refresh();
    source.Close();
}

std::int32_t walk(Merger& merger, const TableDef& table, const std::string& DBLocation,
                  const std::string& UPDLocation);

} // namespace

std::int32_t mergeTable(Merger& merger, const TableDef& table, const std::string& DBLocation,
                        const std::string& UPDLocation) {
    Host& host = merger.host();
    const Running running(host, table);
    const db::WhileWaiting waiting([&host](db::WaitReason why) { return host.whileWaiting(why); });
    try {
        return walk(merger, table, DBLocation, UPDLocation);
    } catch (const db::Cancelled&) {
        // Given up while the engine waited: as a cancel before the first
        // record, nothing written.
        return 0;
    }
}

namespace {

std::int32_t walk(Merger& merger, const TableDef& table, const std::string& DBLocation,
                  const std::string& UPDLocation) {
    Host& host = merger.host();
    std::int32_t& counter = merger.counts[table.counter];
    counter = 0;

    if (!openSource(merger, table, UPDLocation))
        return 0;
    open(merger.Data1(), connectText(merger), DBLocation, table.query(), false);
    const HeldAlone held(merger.Data1());
    showStart(host, table, merger.Data2().Recordset());

    std::int64_t position = 0;
    while (!merger.Data2().Recordset().Eof()) {
        host.yield();
        // A confirmed "Cancel" unloads the window and its connections with it,
        // so nothing the window owned may be touched once the flag is up.
        if (host.abortRequested())
            return 0;
        mergeRecord(merger, table, DBLocation, UPDLocation, counter);
        merger.Data2().Recordset().MoveNext();
        ++position;
        host.setProgressValue(static_cast<float>(position));
    }
    if (table.closeSourceAtEnd)
        closeSource(merger);
    return counter;
}

} // namespace

} // namespace merge
