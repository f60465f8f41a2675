#pragma once

#include "merge/Schema.h"
#include "platform/db/Database.h"
#include "platform/db/Statement.h"
#include "platform/db/Transaction.h"

#include <cstdio>
#include <string>
#include <vector>

namespace bench {

// Appends `records` records to `table`, keyed K0000000 upwards (second key
// part "S", a number 7 in number fields), stamped `stamp`, every other field
// filled with text.
inline void fillTable(db::Database& database, const merge::TableDef& table, int records,
                      const char* stamp) {
    db::Statement insert(database.handle(), merge::insertSql(table));
    for (int i = 0; i < records; ++i) {
        char key[16];
        std::snprintf(key, sizeof key, "K%07d", i);
        for (std::size_t c = 0; c < table.columns.size(); ++c) {
            const merge::ColumnDef& column = table.columns[c];
            const int slot = static_cast<int>(c + 1);
            if (c == 0)
                insert.bind(slot, db::Value::text(key));
            else if (c == 1)
                insert.bind(slot, db::Value::text("S"));
            else if (column.type.find("DATE") != std::string::npos)
                insert.bind(slot, db::Value::text(stamp));
            else if (column.type == "NUMERIC")
                insert.bind(slot, db::Value::integer(7));
            else
                insert.bind(slot, db::Value::text(column.name + " of record " + std::to_string(i)));
        }
        insert.run("fill");
        insert.reset();
    }
}

// A new Varnholt database at `path` whose named tables hold `records` records
// each, as fillTable makes them.
inline void makeFilled(const std::string& path, const std::string& password,
                       const std::vector<std::string>& tables, int records, const char* stamp) {
    auto database = db::Database::create(path, password, merge::createVarnholtSchema);
    db::Transaction transaction(*database);
    for (const std::string& table : tables)
        fillTable(*database, *merge::findVarnholtTable(table), records, stamp);
    transaction.commit();
}

} // namespace bench
