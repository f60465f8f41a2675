#pragma once

#include <string>
#include <vector>

namespace db {

class Database;

// The four tables of a Varnholt database, as this program makes and expects
// them. Files may hold more tables and more columns; those are left alone.
struct ColumnSpec {
    std::string name;
    std::string type; // declared type, collation included
};

struct TableSpec {
    std::string name;
    std::vector<ColumnSpec> columns;
    std::vector<std::string> keyColumns; // the non-unique index
};

const std::vector<TableSpec>& varnholtTables();

// The table of that name (letter case ignored), or nullptr.
const TableSpec* findVarnholtTable(const std::string& name);

// "INSERT INTO table (every column) VALUES (?, ...)": one parameter per
// column, in the table's column order.
std::string insertSql(const TableSpec& table);

// Makes the four tables and their key indexes, in one transaction.
void createVarnholtSchema(Database& database);

// What keeps the file from being a Varnholt database: each missing table and
// each missing field, one sentence each. Empty when all is there.
std::vector<std::string> checkVarnholtSchema(Database& database);

} // namespace db
