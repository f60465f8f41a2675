#include "platform/db/Schema.h"

#include "platform/db/Database.h"

#include <fmt/format.h>

namespace db {

namespace {

std::vector<ColumnSpec> textColumns(int from, int to) {
    std::vector<ColumnSpec> columns;
    for (int i = from; i <= to; ++i)
        columns.push_back({fmt::format("F{}", i), "TEXT"});
    return columns;
}

std::vector<ColumnSpec> join(std::initializer_list<std::vector<ColumnSpec>> parts) {
    std::vector<ColumnSpec> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

ColumnSpec keyText(const char* name) {
    return {name, "TEXT COLLATE NOCASE"};
}

} // namespace

const std::vector<TableSpec>& varnholtTables() {
    static const std::vector<TableSpec> tables = {
        {"Lodges",
         join({{keyText("F1")}, textColumns(2, 11), {{"F12", "DATETIME"}, {"F13", "TEXT"}}}),
         {"F1"}},
        {"Issues",
         join({{keyText("F1"), keyText("F2")},
               textColumns(3, 8),
               {{"F9", "DATETIME"}},
               textColumns(10, 14)}),
         {"F1", "F2"}},
        {"Activities",
         {keyText("F1"),
          keyText("F2"),
          {"F3", "TEXT"},
          {"F4", "TEXT"},
          {"F5", "DATETIME"},
          {"F6", "NUMERIC"}},
         {"F1", "F2", "F6"}},
        {"MValues",
         {keyText("IDNUM"),
          keyText("ISSUE"),
          {"CONDITION", "TEXT"},
          {"LUPDATE", "DATETIME"},
          {"MKTVAL", "NUMERIC"}},
         {"IDNUM", "ISSUE"}},
    };
    return tables;
}

const TableSpec* findVarnholtTable(const std::string& name) {
    for (const auto& table : varnholtTables())
        if (equalsNoCase(table.name, name))
            return &table;
    return nullptr;
}

std::string insertSql(const TableSpec& table) {
    std::string names, marks;
    for (const ColumnSpec& column : table.columns) {
        names += (names.empty() ? "" : ", ") + quoteIdentifier(column.name);
        marks += marks.empty() ? "?" : ", ?";
    }
    return "INSERT INTO " + quoteIdentifier(table.name) + " (" + names + ") VALUES (" + marks + ")";
}

void createVarnholtSchema(Database& database) {
    Transaction transaction(database);
    for (const auto& table : varnholtTables()) {
        std::string sql = "CREATE TABLE " + quoteIdentifier(table.name) + " (";
        for (std::size_t i = 0; i < table.columns.size(); ++i)
            sql += (i ? ", " : "") + quoteIdentifier(table.columns[i].name) + " " +
                   table.columns[i].type;
        sql += ")";
        database.exec(sql, "Cannot create table " + table.name + ".");
        std::string index = "CREATE INDEX " + quoteIdentifier(table.name + "_key") + " ON " +
                            quoteIdentifier(table.name) + " (";
        for (std::size_t i = 0; i < table.keyColumns.size(); ++i)
            index += (i ? ", " : "") + quoteIdentifier(table.keyColumns[i]);
        index += ")";
        database.exec(index, "Cannot create the key index of table " + table.name + ".");
    }
    transaction.commit();
}

std::vector<std::string> checkVarnholtSchema(Database& database) {
    std::vector<std::string> problems;
    for (const auto& table : varnholtTables()) {
        const auto& columns = database.columns(table.name);
        if (columns.empty()) {
            problems.push_back("The table " + table.name + " is missing.");
            continue;
        }
        for (const auto& wanted : table.columns) {
            bool found = false;
            for (const auto& column : columns)
                found = found || equalsNoCase(column.name, wanted.name);
            if (!found)
                problems.push_back("The table " + table.name + " has no field " + wanted.name +
                                   ".");
        }
    }
    return problems;
}

} // namespace db
