#pragma once

#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/Recordset.h"
#include "platform/db/Statement.h"
#include "platform/db/Value.h"
#include "tests/support/DbHelpers.h"
#include "tests/support/TempDir.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

// The four tables of a Varnholt database with their key indexes, written out
// here so that the engine layer is tested on files made without the
// application's own statement of them.
inline void makeVarnholtTables(db::Database& database) {
    database.exec(
        "CREATE TABLE Lodges (F1 TEXT COLLATE NOCASE, F2 TEXT, F3 TEXT, F4 TEXT, F5 TEXT, "
        "F6 TEXT, F7 TEXT, F8 TEXT, F9 TEXT, F10 TEXT, F11 TEXT, F12 DATETIME, F13 TEXT);"
        "CREATE INDEX Lodges_key ON Lodges (F1);"
        "CREATE TABLE Issues (F1 TEXT COLLATE NOCASE, F2 TEXT COLLATE NOCASE, F3 TEXT, F4 TEXT, "
        "F5 TEXT, F6 TEXT, F7 TEXT, F8 TEXT, F9 DATETIME, F10 TEXT, F11 TEXT, F12 TEXT, "
        "F13 TEXT, F14 TEXT);"
        "CREATE INDEX Issues_key ON Issues (F1, F2);"
        "CREATE TABLE Activities (F1 TEXT COLLATE NOCASE, F2 TEXT COLLATE NOCASE, F3 TEXT, "
        "F4 TEXT, F5 DATETIME, F6 NUMERIC);"
        "CREATE INDEX Activities_key ON Activities (F1, F2, F6);"
        "CREATE TABLE MValues (IDNUM TEXT COLLATE NOCASE, ISSUE TEXT COLLATE NOCASE, "
        "CONDITION TEXT, LUPDATE DATETIME, MKTVAL NUMERIC);"
        "CREATE INDEX MValues_key ON MValues (IDNUM, ISSUE);",
        "test setup");
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

// A fresh folder with one Varnholt database file (the four tables, empty).
// The connection that made the file stays open as `database`, so that a test
// pays for the key derivation only once.
class VarnholtFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        database = db::Database::create(path, VarnholtPassword);
        makeVarnholtTables(*database);
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
