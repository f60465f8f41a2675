#include "merge/Schema.h"

#include "platform/db/Database.h"

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

} // namespace merge
