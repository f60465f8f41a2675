// The walk tells a change log of each record it writes, right before and
// right after the save.
#include "merge/ChangeLog.h"

#include "merge/StoredRecords.h"
#include "merge/Update.h"
#include "tests/support/FakeHost.h"
#include "tests/support/MergeFiles.h"
#include "tests/support/StoredTables.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace testing_support {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// Notes each call, with what the main database held at that moment.
class RecordingLog final : public merge::ChangeLog {
public:
    struct Call {
        std::string what; // "about to add Lodges", "written 3"
        std::int64_t rowid = 0;
        std::vector<db::Value> values;
        std::optional<db::StoredRow> stored; // the record's row then, if it has one
    };
    std::vector<Call> calls;
    std::function<void()> beforeSave;

    void aboutToWrite(const merge::RecordWrite& write) override {
        const bool adding = write.kind == merge::RecordWrite::Kind::Add;
        merge::StoredRecords records(write.main, write.table.name);
        calls.push_back(
            {std::string(adding ? "about to add " : "about to overwrite ") + write.table.name,
             write.rowid, write.values, adding ? std::nullopt : records.read(write.rowid)});
        if (beforeSave)
            beforeSave();
    }
    void written(const merge::RecordWrite& write, std::int64_t rowid) override {
        merge::StoredRecords records(write.main, write.table.name);
        calls.push_back({"written", rowid, {}, records.read(rowid)});
    }
};

class ChangeLogTest : public MergeFilesTest {
protected:
    merge::Outcome run() { return runUpdate(host, &log); }

    FakeHost host;
    RecordingLog log;
};

TEST_F(ChangeLogTest, EachRecordIsToldBeforeItsSaveAndAfterItWithItsRowId) {
    insertLodges(mainPath, {lodge("A", "2024-01-01", "main")});
    // In the update's order (nulls first): a null key, added; the null key
    // again a day later, which finds what the first one added; A in other
    // letter case a day later.
    insertLodges(updatePath,
                 {lodge("a", "2024-01-02", "u1"), lodge(db::Value(), text("2024-01-01"), "u2"),
                  lodge(db::Value(), text("2024-01-05"), "u3")});

    EXPECT_EQ(run().counts, (merge::Counts{3, 0, 0, 0}));
    ASSERT_EQ(log.calls.size(), 6u);
    EXPECT_EQ(log.calls[0].what, "about to add Lodges");
    EXPECT_EQ(log.calls[0].rowid, 0);
    EXPECT_EQ(log.calls[0].values.size(), merge::lodges().addFields().size());
    EXPECT_EQ(log.calls[1].what, "written");
    EXPECT_EQ(log.calls[1].rowid, 2);
    ASSERT_TRUE(log.calls[1].stored);
    EXPECT_EQ((*log.calls[1].stored)[1], db::StoredValue::text("u2-F2"));
    // The record added earlier in the run is the one overwritten.
    EXPECT_EQ(log.calls[2].what, "about to overwrite Lodges");
    EXPECT_EQ(log.calls[2].rowid, 2);
    EXPECT_EQ(log.calls[3].rowid, 2);

    // Before the overwrite the record still holds what it held.
    EXPECT_EQ(log.calls[4].what, "about to overwrite Lodges");
    EXPECT_EQ(log.calls[4].rowid, 1);
    ASSERT_TRUE(log.calls[4].stored);
    EXPECT_EQ((*log.calls[4].stored)[1], db::StoredValue::text("main-F2"));
    // The values written, in the overwrite's order (F2 first, F1 in the
    // middle), as the main database takes them: the stamp as a date.
    ASSERT_EQ(log.calls[4].values.size(), merge::lodges().overwriteFields.size());
    EXPECT_EQ(log.calls[4].values[0], text("u1-F2"));
    EXPECT_EQ(log.calls[4].values[6], text("a"));
    EXPECT_TRUE(log.calls[4].values[11].isDate());
    EXPECT_EQ(log.calls[5].what, "written");
    EXPECT_EQ(log.calls[5].rowid, 1);
    ASSERT_TRUE(log.calls[5].stored);
    EXPECT_EQ((*log.calls[5].stored)[0], db::StoredValue::text("a"));
    EXPECT_EQ((*log.calls[5].stored)[11], db::StoredValue::text("2024-01-02 00:00:00"));
}

TEST_F(ChangeLogTest, AFailureBeforeTheSaveStopsTheUpdateWithTheRecordUnsaved) {
    insertLodges(updatePath,
                 {lodge("A", "2024-01-01 00:00:00", "u"), lodge("B", "2024-01-01 00:00:00", "u")});
    int told = 0;
    log.beforeSave = [&] {
        if (++told == 2)
            throw db::DbError("The undo file is full.");
    };

    const merge::Outcome outcome = run();
    EXPECT_EQ(outcome.ending, merge::Outcome::Ending::Failed);
    EXPECT_EQ(outcome.failedTable, "Lodges");
    EXPECT_THAT(outcome.error, HasSubstr("The undo file is full."));
    EXPECT_EQ(outcome.counts, (merge::Counts{1, 0, 0, 0}));
    EXPECT_THAT(lodgesOf(mainPath), ElementsAre(lodge("A", "2024-01-01 00:00:00", "u")));
}

} // namespace
} // namespace testing_support
