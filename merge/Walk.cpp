#include "merge/Walk.h"

#include "platform/db/Data.h"
#include "platform/db/DbError.h"
#include "platform/db/Recordset.h"
#include "platform/db/Text.h"
#include "platform/db/Value.h"

#include <limits>

namespace merge {
namespace {

// The number key field in its Str() form. A value that is no number is an
// error that names the record by its other key fields, so it can be found.
std::string strOf(const TableDef& table, db::Recordset& source, const std::string& field,
                  const db::Value& value) {
    try {
        return *db::Str(value);
    } catch (const db::DbError&) {
        std::string record;
        for (const KeyField& key : table.key)
            if (key.name != field)
                record += (record.empty() ? " with " : ", ") + key.name + " " +
                          source.Fields(key.name).Value().describe();
        throw db::DbError("The " + source.table() + " record" + record +
                          " in the update database has " + value.describe() + " in its key field " +
                          field + ", which must be a number.");
    }
}

void open(db::Data& data, const std::string& connect, const std::string& path,
          const std::string& query, bool readOnly) {
    data.Connect = connect;
    data.DatabaseName = path;
    data.RecordSource = query;
    data.ReadOnly = readOnly;
    data.Refresh();
}

void copyFields(db::Recordset& source, db::Recordset& target,
                const std::vector<std::string>& fields) {
    for (const std::string& field : fields)
        target.Fields(field) = source.Fields(field).Value();
}

void countOne(std::int32_t& counter, const std::string& table) {
    if (counter == std::numeric_limits<std::int32_t>::max())
        throw db::DbError("More records of " + table + " were written than can be counted.");
    ++counter;
}

// Overwrite only when the source's date stamp falls on a later calendar day;
// the same day, an earlier one or a null on either side leaves the record.
bool sourceIsNewer(db::Recordset& source, db::Recordset& target, const std::string& dateField) {
    const auto days =
        db::dayDifference(target.Fields(dateField).Value(), source.Fields(dateField).Value());
    return days && *days > 0;
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

} // namespace

std::string criteriaFor(const TableDef& table, db::Recordset& source) {
    std::string criteria;
    for (const KeyField& key : table.key) {
        if (!criteria.empty())
            criteria += " AND ";
        const db::Value value = source.Fields(key.name).Value();
        if (value.isNull())
            criteria += key.name + " Is Null";
        else if (key.compare == KeyCompare::Str)
            criteria += "Str(" + key.name +
                        ") = " + db::enclosed(strOf(table, source, key.name, value), '\'');
        else
            criteria += key.name + " = " + db::enclosed(value.toText(), '\'');
    }
    return criteria;
}

std::int32_t mergeTable(Host& host, const TableDef& table, const std::string& DBLocation,
                        const std::string& UPDLocation) {
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
        db::Recordset& source = host.Data2().Recordset();
        db::Recordset& target = host.Data1().Recordset();

        target.FindFirst(criteriaFor(table, source));
        if (target.NoMatch()) {
            target.AddNew();
            copyFields(source, target, addFields);
            target.Update();
            countOne(counter, source.table());
        } else if (sourceIsNewer(source, target, table.dateField)) {
            target.Edit();
            copyFields(source, target, table.overwriteFields);
            target.Update();
            countOne(counter, source.table());
        }
        source.MoveNext();
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
