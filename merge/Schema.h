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

// The values of the four tables that an update would stop at, whichever side
// of the merge the file is on: binary data, a date column's value or a date
// stamp that is no date, a number column's value or a number key that is no
// number (text that spells one is read as it). One sentence each, naming
// table, field, row (its row id) and key, at most `limit` a table and then
// how many more.
std::vector<std::string> checkVarnholtValues(db::Database& database, std::size_t limit = 20);

} // namespace merge
