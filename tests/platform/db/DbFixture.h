#pragma once

#include "TempDir.h"
#include "db/Database.h"
#include "db/DbError.h"
#include "db/Recordset.h"
#include "db/Schema.h"
#include "db/Statement.h"
#include "db/Value.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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

// The text form of one field of every record, walking from the first to the
// end of the record set.
inline std::vector<std::string> walk(db::Recordset& records, const std::string& field) {
    std::vector<std::string> seen;
    if (records.RecordCount() == 0)
        return seen;
    for (records.MoveFirst(); !records.Eof(); records.MoveNext())
        seen.push_back(records.Fields(field).Value().toText());
    return seen;
}

// Files SQLite may leave beside a database: a journal, a WAL or its index.
inline std::vector<std::string> sideFilesOf(const std::string& path) {
    std::vector<std::string> found;
    for (const char* suffix : {"-journal", "-wal", "-shm"})
        if (std::filesystem::exists(path + suffix))
            found.push_back(path + suffix);
    return found;
}

// A fresh folder with one Varnholt database file (the four tables, empty).
// The connection that made the file stays open as `database`, so that a test
// pays for the key derivation only once.
class VarnholtFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        database = db::Database::create(path, VarnholtPassword);
        db::createVarnholtSchema(*database);
    }

    std::shared_ptr<db::Database> openFile(db::OpenMode mode = db::OpenMode::ReadWrite) {
        return db::Database::open(path, VarnholtPassword, mode);
    }

    void exec(const std::string& sql) { database->exec(sql, "test setup"); }

    TempDir dir;
    std::string path = dir.file("Varnholt.mdb");
    std::shared_ptr<db::Database> database;
};

// The same file, closed before the test starts: for what opening and closing
// do to a file that nothing else holds.
class ClosedVarnholtFileTest : public VarnholtFileTest {
protected:
    void SetUp() override {
        VarnholtFileTest::SetUp();
        database->Close();
    }
};

} // namespace testing_support
