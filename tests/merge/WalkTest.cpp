#include "merge/walk.h"

#include "FakeHost.h"
#include "LodgesFiles.h"
#include "db/Data.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace testing_support {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// A table keyed on two texts and a number compared through Str, with an
// overwrite narrower than the add: what the walk must carry for any table.
const merge::TableMerge& numberKeyed() {
    static const merge::TableMerge table{
        .query = "SELECT * FROM Activities ORDER BY F1",
        .key = {{"F1", merge::KeyCompare::Text},
                {"F2", merge::KeyCompare::Text},
                {"F6", merge::KeyCompare::Str}},
        .dateField = "F5",
        .addFields = {"F1", "F2", "F3", "F4", "F5", "F6"},
        .overwriteFields = {"F2", "F3", "F4", "F5"},
        .statusText = "Updating the test table",
        .counter = merge::Counter::Activities,
    };
    return table;
}

using Activity = std::vector<db::Value>;

Activity activity(const std::string& f1, const std::string& f2, const db::Value& f6,
                  const std::string& stamp, const std::string& tag) {
    return {text(f1), text(f2), text(tag + "-F3"), text(tag + "-F4"), text(stamp), f6};
}

class WalkTest : public MergeFilesTest {
protected:
    static void insertActivities(const std::string& path, const std::vector<Activity>& records) {
        insertRows(path, "Activities", records);
    }

    static std::vector<Activity> activitiesOf(const std::string& path) {
        auto database = db::Database::open(path, VarnholtPassword, db::OpenMode::ReadOnly);
        return rowsOf(*database, "SELECT F1, F2, F3, F4, F5, F6 FROM Activities ORDER BY _rowid_");
    }

    // The criteria for each record of the update's Activities, in order.
    std::vector<std::string> criteriaOfUpdate() {
        db::Data source("Data2");
        source.Connect = "MS Access;PWD=Kor240853;";
        source.DatabaseName = updatePath;
        source.RecordSource = numberKeyed().query + ", _rowid_";
        source.ReadOnly = true;
        source.Refresh();
        std::vector<std::string> criteria;
        for (; !source.Recordset().Eof(); source.Recordset().MoveNext())
            criteria.push_back(merge::criteriaFor(numberKeyed(), source.Recordset()));
        return criteria;
    }

    FakeHost host;
};

TEST_F(WalkTest, CriteriaQuoteTextDoubleQuotesAndCompareNumbersThroughStr) {
    insertActivities(updatePath, {activity("ABC", "X1", db::Value::integer(12), "2024-01-01", "u"),
                                  activity("ABD", "X1", db::Value::integer(-3), "2024-01-01", "u"),
                                  activity("ABE", "O'Neil", db::Value(), "2024-01-01", "u"),
                                  activity("ABF", "", db::Value::number(2.5), "2024-01-01", "u")});

    EXPECT_THAT(criteriaOfUpdate(), ElementsAre("F1 = 'ABC' AND F2 = 'X1' AND Str(F6) = ' 12'",
                                                "F1 = 'ABD' AND F2 = 'X1' AND Str(F6) = '-3'",
                                                "F1 = 'ABE' AND F2 = 'O''Neil' AND F6 Is Null",
                                                "F1 = 'ABF' AND F2 = '' AND Str(F6) = ' 2.5'"));
}

TEST_F(WalkTest, ANumberKeyThatIsNoNumberIsAnErrorNamingTheTableAndValue) {
    insertActivities(updatePath, {activity("ABC", "X1", text("twelve"), "2024-01-01", "u")});

    const auto error = dbErrorOf([&] { criteriaOfUpdate(); });
    ASSERT_TRUE(error);
    EXPECT_THAT(error->message, HasSubstr("Activities"));
    EXPECT_THAT(error->message, HasSubstr("F6"));
    EXPECT_THAT(error->message, HasSubstr("\"twelve\""));
}

TEST_F(WalkTest, ANumberKeyMatchesOnlyTheSameNumber) {
    insertActivities(mainPath,
                     {activity("A", "B", db::Value::integer(-12), "2024-01-01", "minus"),
                      activity("A", "B", db::Value::number(12.5), "2024-01-01", "half"),
                      activity("A", "B", db::Value::integer(12), "2024-01-01", "twelve")});
    insertActivities(updatePath, {activity("A", "B", db::Value::integer(12), "2024-02-01", "u")});

    EXPECT_EQ(merge::runMerge(host, numberKeyed(), mainPath, updatePath), 1);
    const auto stored = activitiesOf(mainPath);
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(stored[0][2], text("minus-F3"));
    EXPECT_EQ(stored[1][2], text("half-F3"));
    EXPECT_EQ(stored[2][2], text("u-F3"));
}

TEST_F(WalkTest, AnOverwriteWritesOnlyItsOwnFields) {
    // The key matches without regard to letter case; F1 and F6 are not in the
    // overwrite list, so the main spelling of F1 stays.
    insertActivities(mainPath,
                     {activity("abc", "x1", db::Value::integer(5), "2024-01-01", "main")});
    insertActivities(updatePath, {activity("ABC", "X1", db::Value::integer(5), "2024-01-02", "u")});

    EXPECT_EQ(merge::runMerge(host, numberKeyed(), mainPath, updatePath), 1);
    EXPECT_THAT(activitiesOf(mainPath),
                ElementsAre(Activity{text("abc"), text("X1"), text("u-F3"), text("u-F4"),
                                     text("2024-01-02 00:00:00"), db::Value::integer(5)}));
    EXPECT_EQ(host.counted(merge::Counter::Activities), 1);
}

TEST_F(WalkTest, TwoKeysSharingTheFirstFieldAreSeparateRecords) {
    insertActivities(mainPath, {activity("A", "X1", db::Value::integer(1), "2024-01-01", "main")});
    insertActivities(updatePath, {activity("A", "X2", db::Value::integer(1), "2024-01-05", "u")});

    EXPECT_EQ(merge::runMerge(host, numberKeyed(), mainPath, updatePath), 1);
    EXPECT_THAT(activitiesOf(mainPath),
                ElementsAre(activity("A", "X1", db::Value::integer(1), "2024-01-01", "main"),
                            Activity{text("A"), text("X2"), text("u-F3"), text("u-F4"),
                                     text("2024-01-05 00:00:00"), db::Value::integer(1)}));
}

} // namespace
} // namespace testing_support
