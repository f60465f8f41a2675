#pragma once

#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/Recordset.h"
#include "platform/db/Schema.h"
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
