#pragma once

#include "platform/db/Column.h"
#include "platform/db/StoredValue.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace db {
class Database;
}

namespace merge {

// The records of one table of a database exactly as the file stores them,
// every column in the table's order, reached by row id. It reads through the
// database's own connection, so inside a transaction it sees what the
// transaction changed.
class StoredRecords {
public:
    // A DbError when the database has no such table.
    StoredRecords(db::Database& database, std::string table);

    db::Database& database() const { return database_; }
    const std::string& table() const { return table_; }
    const std::vector<db::Column>& columns() const { return columns_; }
    // The position of the column of that name (letter case ignored); a
    // DbError naming the table when there is none.
    std::size_t position(const std::string& field) const;

    // The record with that row id; nothing when there is none.
    std::optional<db::StoredRow> read(std::int64_t rowid);
    // The row ids above `rowid`, in order.
    std::vector<std::int64_t> rowidsAbove(std::int64_t rowid);
    // The highest row id of the table; 0 when it is empty.
    std::int64_t maxRowid();

    // Writes `row` over every column of the record with that row id.
    void overwrite(std::int64_t rowid, const db::StoredRow& row);
    void remove(std::int64_t rowid);

private:
    db::Database& database_;
    std::string table_;
    std::vector<db::Column> columns_;
    std::string select_; // every column of one record, by row id
};

} // namespace merge
