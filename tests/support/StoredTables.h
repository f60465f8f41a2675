#pragma once

#include "merge/Tables.h"
#include "platform/db/Database.h"
#include "platform/db/Statement.h"
#include "platform/db/StoredValue.h"
#include "tests/support/DbHelpers.h"

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace db {

// How a failed expectation shows a stored value: its storage class and its text.
inline void PrintTo(const StoredValue& value, std::ostream* out) {
    static const char* const types[] = {"null", "integer", "real", "text", "blob"};
    *out << types[static_cast<int>(value.type())];
    if (!value.isNull())
        *out << ' ' << value.describe();
}

} // namespace db

namespace testing_support {

// One record as the file stores it: its row id and every column's value.
struct StoredRecord {
    std::int64_t rowid = 0;
    db::StoredRow values;
    friend bool operator==(const StoredRecord&, const StoredRecord&) = default;
};

inline void PrintTo(const StoredRecord& record, std::ostream* out) {
    *out << "row " << record.rowid << ":";
    for (const db::StoredValue& value : record.values) {
        *out << ' ';
        db::PrintTo(value, out);
    }
}

// The four tables, each record in row id order, every column as stored: two
// of these are equal only when every value, its type and the records' order
// are.
using StoredTables = std::map<std::string, std::vector<StoredRecord>>;

inline StoredTables storedTables(const std::string& path,
                                 const std::string& password = VarnholtPassword) {
    auto database = db::Database::open(path, password, db::OpenMode::ReadOnly);
    StoredTables tables;
    for (const merge::TableDef* table : merge::varnholtTables()) {
        db::Statement select(database->handle(),
                             "SELECT _rowid_, * FROM " + table->name + " ORDER BY _rowid_");
        auto& records = tables[table->name];
        while (select.step("test query"))
            records.push_back(
                {select.columnInt64(0), db::storedRow(select, 1, select.columnCount() - 1)});
    }
    return tables;
}

} // namespace testing_support
