#include "merge/Tables.h"
#include "tests/merge/FakeHost.h"
#include "tests/merge/LodgesFiles.h"

#include <filesystem>
#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace testing_support {
namespace {

using merge::Counter;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

class LodgesMergeTest : public MergeFilesTest {
protected:
    std::int32_t merge() { return merge::LodgeUpdate(host, mainPath, updatePath); }

    FakeHost host;
};

TEST_F(LodgesMergeTest, AddsAMissingKeyWithAllThirteenFields) {
    insertLodges(mainPath, {lodge("L100", "2024-01-01 10:00:00", "main")});
    const Lodge added = lodge("L200", "2024-02-01 08:30:00", "update");
    insertLodges(updatePath, {added});

    EXPECT_EQ(merge(), 1);
    EXPECT_EQ(host.counted(Counter::Lodges), 1);
    EXPECT_THAT(lodgesOf(mainPath),
                ElementsAre(lodge("L100", "2024-01-01 10:00:00", "main"), added));
}

TEST_F(LodgesMergeTest, OverwritesWhenTheUpdateIsOnALaterDayEvenMinutesLater) {
    insertLodges(mainPath, {lodge("L1", "2024-03-01 23:58:00", "main")});
    const Lodge newer = lodge("L1", "2024-03-02 00:01:00", "update");
    insertLodges(updatePath, {newer});

    EXPECT_EQ(merge(), 1);
    EXPECT_THAT(lodgesOf(mainPath), ElementsAre(newer));
}

TEST_F(LodgesMergeTest, LeavesTheRecordOnTheSameDayAnEarlierDayOrANullStamp) {
    const std::vector<Lodge> main = {
        lodge("A", "2024-03-01 08:00:00", "main"), // update later the same day
        lodge("B", "2024-03-05 08:00:00", "main"), // update a day earlier
        lodge("C", "", "main"),                    // null here
        lodge("D", "2024-03-01 08:00:00", "main"), // null in the update
    };
    insertLodges(mainPath, main);
    insertLodges(updatePath,
                 {lodge("A", "2024-03-01 23:59:59", "update"),
                  lodge("B", "2024-03-04 23:00:00", "update"),
                  lodge("C", "2024-03-09 08:00:00", "update"), lodge("D", "", "update")});

    EXPECT_EQ(merge(), 0);
    EXPECT_EQ(host.counted(Counter::Lodges), 0);
    EXPECT_EQ(lodgesOf(mainPath), main);
}

TEST_F(LodgesMergeTest, AKeyInOtherLetterCaseMatchesAndTakesTheUpdatesSpelling) {
    insertLodges(mainPath, {lodge("abc lodge", "2024-01-01 00:00:00", "main")});
    insertLodges(updatePath, {lodge("ABC Lodge", "2024-01-02 00:00:00", "update")});

    EXPECT_EQ(merge(), 1);
    EXPECT_THAT(lodgesOf(mainPath),
                ElementsAre(lodge("ABC Lodge", "2024-01-02 00:00:00", "update")));
}

TEST_F(LodgesMergeTest, ASecondUpdateRecordWithTheSameKeyMeetsWhatTheFirstLeft) {
    // Same key and day twice: the first adds, the second finds it and skips.
    // Then a key whose second record is a day later overwrites the first.
    insertLodges(updatePath, {lodge("K", "2024-05-01 09:00:00", "first"),
                              lodge("K", "2024-05-01 17:00:00", "second"),
                              lodge("M", "2024-05-01 09:00:00", "first"),
                              lodge("M", "2024-05-02 09:00:00", "second")});

    EXPECT_EQ(merge(), 3);
    EXPECT_THAT(lodgesOf(mainPath), ElementsAre(lodge("K", "2024-05-01 09:00:00", "first"),
                                                lodge("M", "2024-05-02 09:00:00", "second")));
}

TEST_F(LodgesMergeTest, OnlyTheFirstOfSeveralMainRecordsWithTheKeyIsTouched) {
    insertLodges(mainPath, {lodge("K", "2024-01-01 00:00:00", "one"),
                            lodge("k", "2024-01-01 00:00:00", "two")});
    insertLodges(updatePath, {lodge("K", "2024-06-01 00:00:00", "update")});

    EXPECT_EQ(merge(), 1);
    EXPECT_THAT(lodgesOf(mainPath), ElementsAre(lodge("K", "2024-06-01 00:00:00", "update"),
                                                lodge("k", "2024-01-01 00:00:00", "two")));
}

TEST_F(LodgesMergeTest, KeysWithQuotesAreFoundNotAddedAgain) {
    insertLodges(mainPath, {lodge("O'Brien's", "2024-01-01 00:00:00", "main"),
                            lodge("Say \"hi\"", "2024-01-01 00:00:00", "main")});
    insertLodges(updatePath, {lodge("O'Brien's", "2024-01-02 00:00:00", "update"),
                              lodge("Say \"hi\"", "2024-01-02 00:00:00", "update")});

    EXPECT_EQ(merge(), 2);
    EXPECT_THAT(lodgesOf(mainPath),
                ElementsAre(lodge("O'Brien's", "2024-01-02 00:00:00", "update"),
                            lodge("Say \"hi\"", "2024-01-02 00:00:00", "update")));
}

TEST_F(LodgesMergeTest, ANullKeyIsAddedOnceAndFoundOnTheNextRun) {
    const Lodge nullKey = lodge(db::Value(), text("2024-01-01 00:00:00"), "update");
    insertLodges(mainPath, {lodge("", "2024-01-01 00:00:00", "empty key")});
    insertLodges(updatePath, {nullKey});

    EXPECT_EQ(merge(), 1);
    EXPECT_EQ(merge(), 0);
    EXPECT_THAT(lodgesOf(mainPath),
                ElementsAre(lodge("", "2024-01-01 00:00:00", "empty key"), nullKey));
}

TEST_F(LodgesMergeTest, AnEmptyUpdateReturnsZeroWithoutOpeningTheMainDatabase) {
    host.setProgressValue(7); // what an earlier merge left showing
    host.shown.clear();

    EXPECT_EQ(merge::LodgeUpdate(host, dir.file("no such folder/Varnholt.mdb"), updatePath), 0);
    EXPECT_EQ(host.counted(Counter::Lodges), 0);
    EXPECT_TRUE(host.shown.empty()); // bar and status line left as they were
    EXPECT_FALSE(host.data1.hasRecordset());
}

TEST_F(LodgesMergeTest, ShowsTheStatusThenMovesTheBarOncePerRecord) {
    insertLodges(updatePath,
                 {lodge("A", "2024-01-01 00:00:00", "u"), lodge("B", "2024-01-01 00:00:00", "u"),
                  lodge("C", "2024-01-01 00:00:00", "u")});

    EXPECT_EQ(merge(), 3);
    EXPECT_THAT(host.shown,
                ElementsAre("min 0", "max 3", "value 1", "status Updating Varnholt Lodges Table",
                            "repaint", "yield", "value 1", "yield", "value 2", "yield", "value 3"));
}

TEST_F(LodgesMergeTest, ACancelStopsBeforeTheNextRecordAndKeepsWhatWasSaved) {
    std::vector<Lodge> update;
    for (char key = 'A'; key <= 'F'; ++key)
        update.push_back(lodge(std::string(1, key), "2024-01-01 00:00:00", "u"));
    insertLodges(updatePath, update);
    host.onYield = [&](int yield) {
        if (yield == 4) // "Cancel" confirmed while the fourth record waits
            host.abort = true;
    };

    EXPECT_EQ(merge(), 0);
    EXPECT_EQ(host.counted(Counter::Lodges), 3);
    EXPECT_EQ(lodgesOf(mainPath), std::vector<Lodge>(update.begin(), update.begin() + 3));
    EXPECT_THAT(host.progressValues(), ElementsAre("1", "1", "2", "3"));
}

TEST_F(LodgesMergeTest, WritesOnlyToTheMainDatabase) {
    insertLodges(updatePath, {lodge("A", "2024-01-01 00:00:00", "u")});
    const std::string before = readFile(updatePath);

    EXPECT_EQ(merge(), 1);
    host.data2.close();
    EXPECT_EQ(readFile(updatePath), before);
    EXPECT_TRUE(sideFilesOf(updatePath).empty());
}

TEST_F(LodgesMergeTest, MergingAFileIntoItselfChangesNothing) {
    const std::vector<Lodge> records = {lodge("A", "2024-01-01 00:00:00", "one"),
                                        lodge("B", "2024-01-02 00:00:00", "two")};
    insertLodges(mainPath, records);

    EXPECT_EQ(merge::LodgeUpdate(host, mainPath, mainPath), 0);
    host.data1.close();
    host.data2.close();
    EXPECT_EQ(lodgesOf(mainPath), records);
    EXPECT_TRUE(sideFilesOf(mainPath).empty());
}

TEST_F(LodgesMergeTest, AnUnreadableDateStampIsAnErrorNamingTheValue) {
    insertLodges(mainPath, {lodge("A", "2024-01-01 00:00:00", "main")});
    insertLodges(updatePath, {lodge("A", "next tuesday", "update")});

    const auto error = dbErrorOf([&] { merge(); });
    ASSERT_TRUE(error);
    EXPECT_THAT(error->message, HasSubstr("F12"));
    EXPECT_THAT(error->message, HasSubstr("next tuesday"));
}

TEST_F(LodgesMergeTest, AWrongPasswordIsAnErrorAndWritesNothing) {
    insertLodges(updatePath, {lodge("A", "2024-01-01 00:00:00", "u")});
    host.dbPassword = "wrong";

    EXPECT_TRUE(dbErrorOf([&] { merge(); }));
    EXPECT_TRUE(lodgesOf(mainPath).empty());
}

TEST_F(LodgesMergeTest, CountsPastTheSixteenBitLimit) {
    constexpr int records = 32'800;
    std::vector<Lodge> update;
    update.reserve(records);
    for (int i = 0; i < records; ++i)
        update.push_back({text(fmt::format("K{}", i))});
    for (Lodge& record : update)
        record.resize(13);
    insertLodges(updatePath, update);

    EXPECT_EQ(merge(), records);
    EXPECT_EQ(host.counted(Counter::Lodges), records);
    EXPECT_EQ(lodgesOf(mainPath).size(), static_cast<std::size_t>(records));
}

} // namespace
} // namespace testing_support
