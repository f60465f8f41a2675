#pragma once

#include "merge/Tables.h"

#include <string>
#include <vector>

namespace db {
class Database;
}

namespace merge {

// "INSERT INTO table (every column) VALUES (?, ...)": one parameter per
// column, in the table's column order.
std::string insertSql(const TableDef& table);

// Makes the four tables and their key indexes, in one transaction.
void createVarnholtSchema(db::Database& database);

// What keeps the file from being a Varnholt database: each missing table and
// each missing field, one sentence each. Empty when all is there. Files may
// hold more tables and more columns; those are left alone.
std::vector<std::string> checkVarnholtSchema(db::Database& database);

} // namespace merge
