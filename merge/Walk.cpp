#include "merge/Walk.h"

#include "platform/db/Data.h"
#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/Recordset.h"
#include "platform/db/Text.h"
#include "platform/db/Value.h"

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

std::int32_t mergeTable(Host& host, const TableDef& table, const std::string& DBLocation,
                        const std::string& UPDLocation, ChangeLog* changes) {
    const Running running(host, table);
    std::int32_t& counter = host.count(table.counter);
    counter = 0;

    // Reaching Data2 first loads an unloaded window, and with it the password.
    db::Data& update = host.Data2();
    const std::string connect = "MS Access;PWD=" + host.password() + ";";
    const std::string query = table.query();
    open(update, connect, UPDLocation, query, true);
    if (update.Recordset().RecordCount() < 1)
        return 0;
    open(host.Data1(), connect, DBLocation, query, false);
    const HeldAlone held(host.Data1());

    db::Recordset& records = update.Recordset();
    records.MoveLast();
    host.setProgressMin(0);
    host.setProgressMax(static_cast<float>(records.RecordCount()));
    host.setProgressValue(1);
    std::int64_t position = 0;

    host.setStatusText(table.statusText);
    host.repaint();
    records.MoveFirst();

    const std::vector<std::string> addFields = table.addFields();
    while (!host.Data2().Recordset().Eof()) {
        host.yield();
        // A confirmed "Cancel" unloads the window and its connections with it,
        // so nothing the window owned may be touched once the flag is up.
        if (host.abortRequested())
            return 0;
        const Side source{table, host.Data2().Recordset(), UpdateRole, UPDLocation};
        const Side target{table, host.Data1().Recordset(), MainRole, DBLocation};

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
            target.records.AddNew();
            copyFields(source, target, addFields);
            save(target.records, RecordWrite::Kind::Add, addFields, table, counter, changes);
        } else if (sourceIsNewer(source, target, table.dateField)) {
            target.records.Edit();
            copyFields(source, target, table.overwriteFields);
            save(target.records, RecordWrite::Kind::Overwrite, table.overwriteFields, table,
                 counter, changes);
        }
        source.records.MoveNext();
        ++position;
        host.setProgressValue(static_cast<float>(position));
    }
    if (table.closeSourceAtEnd) {
        db::Data& source = host.Data2();
        source.Refresh();
        source.Close();
    }
    return counter;
}

} // namespace merge
