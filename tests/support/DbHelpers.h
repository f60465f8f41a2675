#pragma once

#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/Statement.h"
#include "platform/db/Value.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace db {

// How a failed expectation shows a field value: its kind and its text.
inline void PrintTo(const Value& value, std::ostream* out) {
    if (value.isNull())
        *out << "null";
    else if (value.isText())
        *out << "text " << value.describe();
    else
        *out << (value.isNumber() ? "number " : "date ") << value.toText();
}

} // namespace db

namespace testing_support {

// The password the Varnholt files are handed out with.
inline const std::string VarnholtPassword = "Kor240853";

// What a DbError carried, or nothing when the action threw none. Any other
// exception escapes and fails the test by itself.
struct CaughtError {
    std::string message;
    int code = 0;
};

inline std::optional<CaughtError> dbErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const db::DbError& e) {
        return CaughtError{e.what(), e.code()};
    }
    return std::nullopt;
}

// Every row of `sql`, read straight from the connection: what the file holds,
// seen past any record set.
inline std::vector<std::vector<db::Value>> rowsOf(db::Database& database, const std::string& sql) {
    db::Statement statement(database.handle(), sql);
    std::vector<std::vector<db::Value>> rows;
    while (statement.step("test query")) {
        std::vector<db::Value> row;
        for (int i = 0; i < statement.columnCount(); ++i)
            row.push_back(statement.columnValue(i));
        rows.push_back(std::move(row));
    }
    return rows;
}

// Files SQLite may leave beside a database: a journal, a WAL or its index.
inline std::vector<std::string> sideFilesOf(const std::string& path) {
    std::vector<std::string> found;
    for (const char* suffix : {"-journal", "-wal", "-shm"})
        if (std::filesystem::exists(path + suffix))
            found.push_back(path + suffix);
    return found;
}

} // namespace testing_support
