#pragma once

#include "merge/Schema.h"
#include "merge/Update.h"
#include "platform/db/Database.h"
#include "platform/db/Statement.h"
#include "platform/db/Transaction.h"
#include "platform/db/Value.h"
#include "tests/support/DbHelpers.h"
#include "tests/support/FakeHost.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace testing_support {

// One Lodges record: F1 to F13.
using Lodge = std::vector<db::Value>;

inline db::Value text(const std::string& value) {
    return db::Value::text(value);
}

// A record whose data fields F2..F11 and F13 carry `tag`, so that a test can
// tell which file a stored record came from.
inline Lodge lodge(const db::Value& key, const db::Value& stamp, const std::string& tag) {
    Lodge record{key};
    for (int field = 2; field <= 11; ++field)
        record.push_back(text(tag + "-F" + std::to_string(field)));
    record.push_back(stamp);
    record.push_back(text(tag + "-F13"));
    return record;
}

inline Lodge lodge(const std::string& key, const std::string& stamp, const std::string& tag) {
    return lodge(text(key), stamp.empty() ? db::Value() : text(stamp), tag);
}

// A main database and an update database side by side, both with the four
// tables, for the merges to run on.
class MergeFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        makeFile(mainPath);
        makeFile(updatePath);
    }

    static void makeFile(const std::string& path) {
        auto database = db::Database::create(path, VarnholtPassword);
        merge::createVarnholtSchema(*database);
    }

    static void execOn(const std::string& path, const std::string& sql) {
        auto database = db::Database::open(path, VarnholtPassword, db::OpenMode::ReadWrite);
        database->exec(sql, "test setup");
    }

    // Appends whole records (every column of the table, in order).
    static void insertRows(const std::string& path, const std::string& table,
                           const std::vector<std::vector<db::Value>>& records) {
        if (records.empty())
            return;
        std::string placeholders = "?";
        for (std::size_t i = 1; i < records.front().size(); ++i)
            placeholders += ", ?";
        auto database = db::Database::open(path, VarnholtPassword, db::OpenMode::ReadWrite);
        db::Transaction transaction(*database);
        db::Statement insert(database->handle(),
                             "INSERT INTO " + table + " VALUES (" + placeholders + ")");
        for (const auto& record : records) {
            for (std::size_t i = 0; i < record.size(); ++i)
                insert.bind(static_cast<int>(i + 1), record[i]);
            insert.run("test setup");
            insert.reset();
        }
        transaction.commit();
    }

    static void insertLodges(const std::string& path, const std::vector<Lodge>& records) {
        insertRows(path, "Lodges", records);
    }

    // Every Lodges record of a file, in the order they were stored.
    static std::vector<Lodge> lodgesOf(const std::string& path) {
        auto database = db::Database::open(path, VarnholtPassword, db::OpenMode::ReadOnly);
        return rowsOf(*database, "SELECT F1, F2, F3, F4, F5, F6, F7, F8, F9, F10, F11, F12, F13 "
                                 "FROM Lodges ORDER BY _rowid_");
    }

    // Runs the update of the two files behind `host`, telling `changes` of
    // every record written, and then closes the host's connections, as the
    // window does when it unloads.
    merge::Outcome runUpdate(FakeHost& host, merge::ChangeLog* changes = nullptr) const {
        const merge::Outcome outcome = merge::runUpdate(
            host.merger,
            [this] {
                return merge::Locations{mainPath, updatePath};
            },
            changes);
        host.data1.Close();
        host.data2.Close();
        return outcome;
    }

    TempDir dir;
    std::string mainPath = dir.file("Varnholt.mdb");
    std::string updatePath = dir.file("VHUpdate.mdb");
};

} // namespace testing_support
