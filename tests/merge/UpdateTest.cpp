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
        return merge::runUpdate(host.merger, [this] {
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
    host.merger.counts = {99, 99, 99, 99}; // what an earlier update left
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

// The main file is held alone while a merge writes it: another program is
// told it is in use. However the update ends, with the window's connections
// still open, other programs may read and write the file again.
TEST_F(UpdateTest, TheMainFileIsHeldAloneWhileAMergeWritesAndLetGoHoweverTheUpdateEnds) {
    const auto otherProgramWrites = [this] {
        try {
            auto other = db::Database::open(mainPath, VarnholtPassword, db::OpenMode::ReadWrite,
                                            /*busyTimeoutMs=*/100);
            other->exec("UPDATE Issues SET F3 = F3", "another program's write");
            return std::string("written");
        } catch (const db::DbError& e) {
            return std::string(e.what());
        }
    };
    insertLodges(updatePath,
                 {lodge("A", "2024-01-01 00:00:00", "u"), lodge("B", "2024-01-01 00:00:00", "u")});
    insertRows(updatePath, "Activities",
               {{text("B"), text("X1"), text("u"), text("u"), text("2024-01-01"), text("twelve")}});
    std::string during;
    host.onYield = [&](int yield) {
        if (yield == 2) // the first Lodges record is saved
            during = otherProgramWrites();
    };

    const Outcome failed = run();
    ASSERT_EQ(failed.ending, Outcome::Ending::Failed);
    EXPECT_THAT(during, HasSubstr("in use by another program"));
    EXPECT_EQ(otherProgramWrites(), "written");
    EXPECT_EQ(lodgesOf(mainPath).size(), 2u);

    host.onYield = nullptr;
    host.data1.Close();
    host.data2.Close();
    auto update = db::Database::open(updatePath, VarnholtPassword, db::OpenMode::ReadWrite);
    update->exec("DELETE FROM Activities", "test setup");
    update->Close();
    const Outcome complete = run();
    ASSERT_EQ(complete.ending, Outcome::Ending::Complete) << complete.error;
    EXPECT_EQ(otherProgramWrites(), "written");
}

} // namespace
} // namespace testing_support
