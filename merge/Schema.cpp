#include "merge/Schema.h"

#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/Statement.h"
#include "platform/db/Transaction.h"

#include <fmt/format.h>

namespace merge {

std::string insertSql(const TableDef& table) {
    std::string names, marks;
    for (const ColumnDef& column : table.columns) {
        names += (names.empty() ? "" : ", ") + db::quoteIdentifier(column.name);
        marks += marks.empty() ? "?" : ", ?";
    }
    return "INSERT INTO " + db::quoteIdentifier(table.name) + " (" + names + ") VALUES (" + marks +
           ")";
}

void createVarnholtSchema(db::Database& database) {
    db::Transaction transaction(database);
    for (const TableDef* table : varnholtTables()) {
        std::string sql = "CREATE TABLE " + db::quoteIdentifier(table->name) + " (";
        for (std::size_t i = 0; i < table->columns.size(); ++i)
            sql += (i ? ", " : "") + db::quoteIdentifier(table->columns[i].name) + " " +
                   table->columns[i].type;
        database.exec(sql + ")", "Cannot create table " + table->name + ".");
        std::string index = "CREATE INDEX " + db::quoteIdentifier(table->name + "_key") + " ON " +
                            db::quoteIdentifier(table->name) + " (";
        for (std::size_t i = 0; i < table->key.size(); ++i)
            index += (i ? ", " : "") + db::quoteIdentifier(table->key[i].name);
        database.exec(index + ")", "Cannot create the key index of table " + table->name + ".");
    }
    transaction.commit();
}

std::vector<std::string> checkVarnholtSchema(db::Database& database) {
    std::vector<std::string> problems;
    for (const TableDef* table : varnholtTables()) {
        const auto& columns = database.columns(table->name);
        if (columns.empty()) {
            problems.push_back("The table " + table->name + " is missing.");
            continue;
        }
        for (const ColumnDef& wanted : table->columns) {
            bool found = false;
            for (const auto& column : columns)
                found = found || db::equalsNoCase(column.name, wanted.name);
            if (!found)
                problems.push_back("The table " + table->name + " has no field " + wanted.name +
                                   ".");
        }
    }
    return problems;
}

namespace {

// Why the merge would stop at `value` in `column` of `table`, or nothing.
std::optional<std::string> refusal(const TableDef& table, const ColumnDef& column,
                                   const db::Value& value) {
    if (value.isNull())
        return std::nullopt;
    const db::Column type = db::columnOfType(column.name, column.type);
    if (column.name == table.dateField && !db::dateOf(value))
        return "is not a date";
    for (const KeyField& key : table.key)
        if (key.compare == KeyCompare::Str && key.name == column.name &&
            !(value.isNumber() || (value.isText() && db::numberFromText(value.asText()))))
            return "is not a number";
    if (!db::readAs(type, value))
        return "is not a date";
    std::string why;
    if (!db::takenAs(type, value, why))
        return why;
    return std::nullopt;
}

void checkTable(db::Database& database, const TableDef& table, std::size_t limit,
                std::vector<std::string>& problems) {
    // Only the fields the file has; checkVarnholtSchema() names missing ones.
    std::vector<const ColumnDef*> present;
    for (const ColumnDef& column : table.columns)
        for (const db::Column& found : database.columns(table.name))
            if (db::equalsNoCase(found.name, column.name))
                present.push_back(&column);
    std::string sql = "SELECT _rowid_";
    for (const ColumnDef* column : present)
        sql += ", " + db::quoteIdentifier(column->name);
    db::Statement rows(database.handle(),
                       sql + " FROM " + db::quoteIdentifier(table.name) + " ORDER BY _rowid_");
    std::size_t found = 0;
    while (rows.step("Cannot read table " + table.name + " of \"" + database.path() + "\".")) {
        std::string key;
        std::vector<std::pair<const ColumnDef*, std::string>> refused;
        for (std::size_t i = 0; i < present.size(); ++i) {
            const int at = static_cast<int>(i + 1);
            std::optional<std::string> why;
            std::string shown;
            try {
                const db::Value value = rows.columnValue(at);
                shown = value.describe();
                why = refusal(table, *present[i], value);
            } catch (const db::ValueError& e) {
                shown = e.shown();
                why = e.why();
            }
            if (table.isKey(present[i]->name))
                key += (key.empty() ? " (" : ", ") + present[i]->name + " " + shown;
            if (why)
                refused.emplace_back(present[i], shown + " " + *why);
        }
        if (!key.empty())
            key += ")";
        for (const auto& [column, what] : refused)
            if (++found <= limit)
                problems.push_back(
                    fmt::format("Table {}, field {}, row {}{}: {}; an update would stop there.",
                                table.name, column->name, rows.columnInt64(0), key, what));
    }
    if (found > limit)
        problems.push_back(
            fmt::format("Table {} holds {} more such values.", table.name, found - limit));
}

} // namespace

std::vector<std::string> checkVarnholtValues(db::Database& database, std::size_t limit) {
    std::vector<std::string> problems;
    for (const TableDef* table : varnholtTables())
        if (database.hasTable(table->name))
            checkTable(database, *table, limit, problems);
    return problems;
}

} // namespace merge
