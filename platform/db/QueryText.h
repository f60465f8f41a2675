#pragma once

#include <string>
#include <string_view>

namespace db {

// What a record source query looks like from outside: whether it is a plain
// SELECT from one table, which a record set can update through, and the text
// from its top-level FROM on.
struct QueryShape {
    bool singleTable = false;
    std::string selectList;      // "*" for "SELECT * FROM Lodges ORDER BY F1"
    std::string fromClause;      // "Lodges ORDER BY F1"
    std::string tableName;       // "Lodges", unquoted
    bool ordersBy = false;       // has a top-level ORDER BY
    bool ordersByNumber = false; // ORDER BY names a column by its number
    std::string reason;          // why records cannot be updated through it
};

QueryShape analyseQuery(std::string_view sql);

} // namespace db
