// The one update runner behind the window and the terminal: the four merges
// in order, and how the update ended.
#include "merge/Update.h"

#include "tests/support/FakeHost.h"
#include "tests/support/MergeFiles.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace testing_support {
namespace {

using merge::Outcome;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

class UpdateTest : public MergeFilesTest {
protected:
    Outcome run() {
        return merge::runUpdate(host, [this] {
            ++asked;
            return merge::Locations{mainPath, updatePath};
        });
    }

    std::vector<std::string> statusLines() const {
        std::vector<std::string> lines;
        for (const std::string& event : host.shown)
            if (event.starts_with("status "))
                lines.push_back(event.substr(7));
        return lines;
    }

    FakeHost host;
    int asked = 0;
};

TEST_F(UpdateTest, RunsTheFourMergesInOrderAndCountsEach) {
    insertLodges(updatePath, {lodge("A", "2024-01-01 00:00:00", "u")});
    insertRows(updatePath, "MValues",
               {{text("1001"), text("A2"), text("Fine"), text("2024-01-01"), db::Value()},
                {text("1002"), text("A2"), text("Fine"), text("2024-01-01"), db::Value()}});

    const Outcome outcome = run();
    EXPECT_EQ(outcome.ending, Outcome::Ending::Complete);
    EXPECT_EQ(outcome.counts, (merge::Counts{1, 0, 0, 2}));
    EXPECT_EQ(asked, 4); // the files are asked for right before each merge
    EXPECT_THAT(statusLines(),
                ElementsAre("Updating Varnholt Lodges Table", "Updating Varnholt Values Table"));
    EXPECT_THAT(merge::outcomeText(outcome), HasSubstr("Update Complete!"));
}

TEST_F(UpdateTest, ACancelEndsTheUpdateAfterTheMergeInHandAndCountersStartAtZero) {
    for (std::int32_t& count : host.counts)
        count = 99; // what an earlier update left
    insertLodges(updatePath,
                 {lodge("A", "2024-01-01 00:00:00", "u"), lodge("B", "2024-01-01 00:00:00", "u")});
    insertRows(updatePath, "MValues", {{text("1001"), text("A2"), text("Fine"), db::Value(), {}}});
    host.onYield = [&](int yield) { host.abort = yield == 2; };

    const Outcome outcome = run();
    EXPECT_EQ(outcome.ending, Outcome::Ending::Cancelled);
    EXPECT_EQ(outcome.counts, (merge::Counts{1, 0, 0, 0}));
    EXPECT_EQ(asked, 1);
    EXPECT_THAT(merge::outcomeText(outcome), HasSubstr("Update Cancelled!"));
}

TEST_F(UpdateTest, AnErrorEndsTheUpdateInTheTableThatFailedWithWhatWasSaved) {
    insertLodges(updatePath, {lodge("A", "2024-01-01 00:00:00", "u")});
    insertRows(updatePath, "Activities",
               {{text("B"), text("X1"), text("u"), text("u"), text("2024-01-01"), text("twelve")}});

    const Outcome outcome = run();
    EXPECT_EQ(outcome.ending, Outcome::Ending::Failed);
    EXPECT_EQ(outcome.failedTable, "Activities");
    EXPECT_THAT(outcome.error, HasSubstr("\"twelve\""));
    EXPECT_EQ(outcome.counts, (merge::Counts{1, 0, 0, 0}));
    EXPECT_EQ(asked, 3);
    EXPECT_THAT(merge::outcomeText(outcome),
                HasSubstr("The update of the Activities table failed:\r\n" + outcome.error));
}

} // namespace
} // namespace testing_support
