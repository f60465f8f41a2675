// The four tables as vhdb create makes them and vhdb check expects them.
#include "merge/Schema.h"

#include "platform/db/Database.h"
#include "tests/support/DbHelpers.h"
#include "tests/support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace testing_support {
namespace {

using testing::HasSubstr;
using testing::IsEmpty;

TEST(VarnholtSchemaTest, MakesTheFourTablesWithTheirTypesAndKeyIndexes) {
    TempDir dir;
    auto database = db::Database::create(dir.file("Varnholt.mdb"), VarnholtPassword);
    merge::createVarnholtSchema(*database);
    EXPECT_THAT(merge::checkVarnholtSchema(*database), IsEmpty());

    const auto& activities = database->columns("activities");
    ASSERT_EQ(activities.size(), 6u);
    EXPECT_TRUE(activities[4].isDate);
    EXPECT_TRUE(activities[5].isNumeric);
    EXPECT_TRUE(database->columns("Lodges")[11].isDate);
    EXPECT_TRUE(database->columns("Issues")[8].isDate);
    EXPECT_TRUE(database->columns("MValues")[3].isDate);

    // Keys compare without regard to letter case, other text fields exactly.
    database->exec("INSERT INTO Activities (F1, F2, F3) VALUES ('ABC', 'XY', 'Mint');"
                   "INSERT INTO MValues (IDNUM, ISSUE, CONDITION) VALUES ('ABC', 'XY', 'Mint')",
                   "test setup");
    EXPECT_EQ(rowsOf(*database, "SELECT count(*) FROM Activities WHERE F1 = 'abc' AND F2 = "
                                "'xy'")[0][0],
              db::Value::integer(1));
    EXPECT_EQ(rowsOf(*database, "SELECT count(*) FROM MValues WHERE IDNUM = 'abc' AND ISSUE = "
                                "'xy'")[0][0],
              db::Value::integer(1));
    EXPECT_EQ(rowsOf(*database, "SELECT count(*) FROM Activities WHERE F3 = 'mint'")[0][0],
              db::Value::integer(0));

    // The merges look records up by these keys; without the indexes every
    // look-up reads the whole table.
    const auto indexed = [&](const std::string& table) {
        std::string columns;
        for (const auto& index :
             rowsOf(*database, "SELECT name FROM sqlite_master WHERE type = 'index' AND "
                               "tbl_name = '" +
                                   table + "'"))
            for (const auto& column :
                 rowsOf(*database,
                        "PRAGMA index_info(" + db::quoteIdentifier(index[0].asText()) + ")"))
                columns += (columns.empty() ? "" : ",") + column[2].asText();
        return columns;
    };
    EXPECT_EQ(indexed("Lodges"), "F1");
    EXPECT_EQ(indexed("Issues"), "F1,F2");
    EXPECT_EQ(indexed("Activities"), "F1,F2,F6");
    EXPECT_EQ(indexed("MValues"), "IDNUM,ISSUE");
}

TEST(VarnholtSchemaTest, CheckNamesEachMissingTableAndField) {
    TempDir dir;
    auto database = db::Database::create(dir.file("Partial.mdb"), VarnholtPassword);
    database->exec("CREATE TABLE Lodges (F1 TEXT, F2 TEXT)", "test setup");
    const auto problems = merge::checkVarnholtSchema(*database);
    EXPECT_THAT(problems, testing::Contains(HasSubstr("Issues")));
    EXPECT_THAT(problems, testing::Contains(HasSubstr("MValues")));
    EXPECT_THAT(problems, testing::Contains(HasSubstr("F13")));
    EXPECT_THAT(problems, testing::Not(testing::Contains(HasSubstr("field F2."))));
}

} // namespace
} // namespace testing_support
