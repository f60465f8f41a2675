#include "platform/db/SqlFunctions.h"

#include "platform/db/DbError.h"
#include "platform/db/Sqlite.h"
#include "platform/db/Text.h"
#include "platform/db/Value.h"

#include <algorithm>
#include <string>

namespace db {

namespace {

// Str() in SQL, as db::Str() does it: a text held where a number is expected
// is read as the number it spells.
void strFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    Value value;
    switch (sqlite3_value_type(argv[0])) {
    case SQLITE_NULL:
        sqlite3_result_null(context);
        return;
    case SQLITE_INTEGER:
        value = Value::integer(sqlite3_value_int64(argv[0]));
        break;
    case SQLITE_FLOAT:
        value = Value::number(sqlite3_value_double(argv[0]));
        break;
    default: {
        const auto* raw = static_cast<const char*>(sqlite3_value_blob(argv[0]));
        value = Value::text(
            std::string(raw ? raw : "", static_cast<std::size_t>(sqlite3_value_bytes(argv[0]))));
    }
    }
    try {
        const std::string result = *Str(value);
        sqlite3_result_text(context, result.data(), static_cast<int>(result.size()),
                            SQLITE_TRANSIENT);
    } catch (const DbError& e) {
        sqlite3_result_error(context, e.what(), -1);
    }
}

// Text compared whole, every character, ignoring ASCII letter case only.
// NOCASE stops at a NUL inside texts of the same length; a key search pairs
// it (which its index serves) with this.
int wholeNoCase(void*, int leftSize, const void* left, int rightSize, const void* right) {
    const auto* a = static_cast<const unsigned char*>(left);
    const auto* b = static_cast<const unsigned char*>(right);
    const int common = std::min(leftSize, rightSize);
    for (int i = 0; i < common; ++i) {
        const int x = asciiLower(a[i]), y = asciiLower(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return leftSize == rightSize ? 0 : (leftSize < rightSize ? -1 : 1);
}

} // namespace

void registerSqlFunctions(sqlite3* handle) {
    int rc = sqlite3_create_function(handle, "Str", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                     strFunction, nullptr, nullptr);
    check(handle, rc, "Cannot prepare the database connection.");
    rc = sqlite3_create_collation(handle, WholeNoCase, SQLITE_UTF8, nullptr, wholeNoCase);
    check(handle, rc, "Cannot prepare the database connection.");
}

} // namespace db
