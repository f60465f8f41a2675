#include "merge/StoredRecords.h"

#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/Statement.h"
#include "platform/db/Text.h"

namespace merge {

StoredRecords::StoredRecords(db::Database& database, std::string table)
    : database_(database), table_(std::move(table)), columns_(database.columns(table_)) {
    if (columns_.empty())
        throw db::DbError("The database file " + db::inQuotes(database.path()) + " has no table " +
                          table_ + ".");
    select_ = "SELECT ";
    for (std::size_t i = 0; i < columns_.size(); ++i)
        select_ += (i ? ", " : "") + db::quoteIdentifier(columns_[i].name);
    select_ += " FROM " + db::quoteIdentifier(table_) + " WHERE _rowid_ = ?";
}

std::size_t StoredRecords::position(const std::string& field) const {
    for (std::size_t i = 0; i < columns_.size(); ++i)
        if (db::equalsNoCase(columns_[i].name, field))
            return i;
    throw db::DbError("The table " + table_ + " of " + db::inQuotes(database_.path()) +
                      " has no field " + field + ".");
}

std::optional<db::StoredRow> StoredRecords::read(std::int64_t rowid) {
    const db::CachedStatement select = database_.cached(select_);
    select->bind(1, db::Value::integer(rowid));
    if (!select->step([&] {
            return "Cannot read a record of table " + table_ + " in " +
                   db::inQuotes(database_.path()) + ".";
        }))
        return std::nullopt;
    return db::storedRow(*select, 0, static_cast<int>(columns_.size()));
}

std::vector<std::int64_t> StoredRecords::rowidsAbove(std::int64_t rowid) {
    const db::CachedStatement select =
        database_.cached("SELECT _rowid_ FROM " + db::quoteIdentifier(table_) +
                         " WHERE _rowid_ > ? ORDER BY _rowid_");
    select->bind(1, db::Value::integer(rowid));
    std::vector<std::int64_t> rowids;
    while (select->step("Cannot read the records of table " + table_ + " in " +
                        db::inQuotes(database_.path()) + "."))
        rowids.push_back(select->columnInt64(0));
    return rowids;
}

std::int64_t StoredRecords::maxRowid() {
    const db::CachedStatement select =
        database_.cached("SELECT max(_rowid_) FROM " + db::quoteIdentifier(table_));
    select->step("Cannot read the records of table " + table_ + " in " +
                 db::inQuotes(database_.path()) + ".");
    return select->isNull(0) ? 0 : select->columnInt64(0);
}

void StoredRecords::overwrite(std::int64_t rowid, const db::StoredRow& row) {
    std::string sql = "UPDATE " + db::quoteIdentifier(table_) + " SET ";
    for (std::size_t i = 0; i < columns_.size(); ++i)
        sql += (i ? ", " : "") + db::quoteIdentifier(columns_[i].name) + " = ?";
    const db::CachedStatement update = database_.cached(sql + " WHERE _rowid_ = ?");
    for (std::size_t i = 0; i < row.size(); ++i)
        row[i].bindTo(*update, static_cast<int>(i + 1));
    update->bind(static_cast<int>(row.size() + 1), db::Value::integer(rowid));
    update->run("Cannot write a record of table " + table_ + " in " +
                db::inQuotes(database_.path()) + ".");
}

void StoredRecords::remove(std::int64_t rowid) {
    const db::CachedStatement remove =
        database_.cached("DELETE FROM " + db::quoteIdentifier(table_) + " WHERE _rowid_ = ?");
    remove->bind(1, db::Value::integer(rowid));
    remove->run("Cannot remove a record of table " + table_ + " in " +
                db::inQuotes(database_.path()) + ".");
}

} // namespace merge
