#pragma once

#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/SideFiles.h"
#include "platform/db/Sqlite.h"
#include "platform/db/Statement.h"
#include "platform/db/Value.h"

#include <filesystem>
#include <functional>
#include <memory>
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

// The journal mode that the file itself holds, asked over a connection of
// the engine's own, as another program would see it (a connection of the
// database layer that only reads the file cannot tell WAL mode). Empty when
// the file cannot be read.
inline std::string journalModeOnDisk(const std::string& path,
                                     const std::string& password = VarnholtPassword) {
    sqlite3* raw = nullptr;
    sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    const std::unique_ptr<sqlite3, int (*)(sqlite3*)> handle(raw, sqlite3_close_v2);
    if (!password.empty())
        sqlite3_key(raw, password.data(), static_cast<int>(password.size()));
    // The mode shows once the engine has read the file's header.
    sqlite3_exec(raw, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    sqlite3_stmt* statement = nullptr;
    std::string mode;
    if (sqlite3_prepare_v2(raw, "PRAGMA journal_mode", -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
        mode = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    sqlite3_finalize(statement);
    return mode;
}

// Files that may be left beside a database: SQLite's journal, WAL or its
// index, and the note of the journal mode to restore.
inline std::vector<std::string> sideFilesOf(const std::string& path) {
    std::vector<std::string> found;
    for (const std::string& side : db::sideFilesOf(path))
        if (std::filesystem::exists(side))
            found.push_back(side);
    return found;
}

} // namespace testing_support
