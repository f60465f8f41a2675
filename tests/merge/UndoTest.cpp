// An undo file kept while an update runs, and the update taken back with it.
#include "merge/Undo.h"

#include "merge/Changes.h"
#include "merge/UndoFile.h"
#include "merge/UndoLog.h"
#include "merge/Update.h"
#include "tests/support/FakeHost.h"
#include "tests/support/MergeFiles.h"
#include "tests/support/StoredTables.h"

#include <algorithm>
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sstream>

namespace testing_support {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// The main database: values of every storage class (binary data, a real, a
// date stored without its time), a null key part, a field of the user's
// own with a default, and a record no update touches.
const std::string mainSql =
    "ALTER TABLE Lodges ADD COLUMN Note TEXT DEFAULT 'kept';"
    "INSERT INTO Lodges (F1, F2, F5, F12, Note) VALUES ('L1', X'00FF', 'five', '1996-08-04', "
    "'mine');"
    "INSERT INTO Lodges (F1, F2, F12) VALUES ('L2', 'two', '2000-01-01 10:00:00'), "
    "(NULL, 'null key', '2000-01-01'), ('L3', 'untouched', '2030-01-01');"
    "INSERT INTO Issues (F1, F2, F3, F9) VALUES ('I1', NULL, 'null part', '2000-01-01');"
    "INSERT INTO Activities (F1, F2, F3, F5, F6) VALUES ('A1', 'x', 'main', '2000-01-01', 12);"
    "INSERT INTO MValues VALUES ('V1', 'A', 'fine', '2000-01-01', 12.5), "
    "('V2', 'A', 'good', '2000-01-01', 3);";

// The update: keys in other letter case, a key twice (the second a day
// later than the first), a key added and then overwritten, null key parts.
// It writes 6 Lodges, 2 Issues, 2 Activities and 3 MValues.
const std::string updateSql =
    "INSERT INTO Lodges (F1, F2, F12) VALUES ('l1', 'one', '1997-01-01'), "
    "('L2', 'two later', '2000-02-01'), ('l2', 'two latest', '2000-03-01'), "
    "(NULL, 'null later', '2001-01-01'), ('N1', 'new', '2000-01-01'), "
    "('n1', 'new later', '2000-05-01'), ('L3', 'older', '2001-01-01');"
    "INSERT INTO Issues (F1, F2, F3, F9) VALUES ('i1', NULL, 'later', '2000-02-02'), "
    "('I2', 'B', 'new', NULL);"
    "INSERT INTO Activities (F1, F2, F3, F5, F6) VALUES ('a1', 'X', 'later', '2000-02-02', 12), "
    "('A2', 'y', 'new', '2000-01-01', 7.5);"
    "INSERT INTO MValues VALUES ('v1', 'a', 'better', '2000-02-02', 7), "
    "('V2', 'A', 'best', '2000-03-03', 2.25), ('V3', 'B', 'new', '2000-01-01', NULL);";

const merge::Counts updateCounts{6, 2, 2, 3};

class UndoTest : public MergeFilesTest {
protected:
    void SetUp() override {
        MergeFilesTest::SetUp();
        execOn(mainPath, mainSql);
        execOn(updatePath, updateSql);
        before = storedTables(mainPath);
    }

    merge::Outcome merge(merge::ChangeLog& log) {
        const merge::Outcome outcome = runUpdate(host, &log);
        log.finish();
        return outcome;
    }

    merge::Outcome mergeWithUndo() {
        merge::UndoLog log(undoPath, VarnholtPassword, mainPath, updatePath);
        return merge(log);
    }

    merge::UndoReport undo(bool force = false) {
        return merge::undoUpdate(mainPath, undoPath, VarnholtPassword, force);
    }

    static merge::Counts written(const merge::UndoReport& report) {
        merge::Counts counts;
        for (const auto& table : report.tables) {
            const std::int32_t total = table.restored + table.removed;
            if (table.table == "Lodges")
                counts.Lodges = total;
            else if (table.table == "Issues")
                counts.Issues = total;
            else if (table.table == "Activities")
                counts.Activities = total;
            else if (table.table == "MValues")
                counts.Values = total;
        }
        return counts;
    }

    FakeHost host;
    std::string undoPath = dir.file("update.undo");
    StoredTables before;
};

TEST_F(UndoTest, AfterACompleteUpdateEveryValueItsTypeAndTheOrderOfRecordsComeBack) {
    EXPECT_EQ(mergeWithUndo().counts, updateCounts);
    ASSERT_NE(storedTables(mainPath), before);
    EXPECT_THAT(sideFilesOf(undoPath), IsEmpty());

    // Every save is noted with the row id the record has in the main
    // database: an add's new one, noted with the next record, in its own
    // table or the next, and the last record's at the end. The key added
    // and then overwritten ("N1", "n1") is one record.
    {
        merge::UndoFile file = merge::UndoFile::open(undoPath, VarnholtPassword);
        const auto main = db::Database::open(mainPath, VarnholtPassword, db::OpenMode::ReadOnly);
        const std::vector<merge::UndoFile::Entry> entries = file.entries();
        ASSERT_EQ(entries.size(), 13u);
        std::vector<std::int64_t> addedLodges;
        for (const merge::UndoFile::Entry& entry : entries) {
            SCOPED_TRACE(entry.table + " " + std::to_string(entry.seq));
            EXPECT_TRUE(entry.saved);
            EXPECT_EQ(rowsOf(*main, "SELECT count(*) FROM " + entry.table +
                                        " WHERE _rowid_ = " + std::to_string(entry.rowid))[0][0],
                      db::Value::integer(1));
            if (entry.added) {
                EXPECT_GT(entry.rowid, entry.rowidBound);
            }
            if (entry.table == "Lodges" && entry.added)
                addedLodges.push_back(entry.rowid);
        }
        ASSERT_EQ(addedLodges.size(), 1u);
        EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                                [&](const merge::UndoFile::Entry& e) {
                                    return e.table == "Lodges" && e.rowid == addedLodges[0];
                                }),
                  2);
        EXPECT_EQ(entries.back().table, "MValues");
        EXPECT_TRUE(entries.back().added);
    }

    const merge::UndoReport report = undo();
    EXPECT_TRUE(report.applied);
    EXPECT_THAT(report.changed, IsEmpty());
    EXPECT_EQ(report.alreadyBack, 0);
    EXPECT_EQ(written(report), updateCounts);
    ASSERT_EQ(report.tables.size(), 4u);
    EXPECT_EQ(report.tables[0].table, "Lodges");
    EXPECT_EQ(report.tables[0].removed, 1);
    EXPECT_EQ(report.updatePath, std::filesystem::canonical(updatePath).string());
    EXPECT_EQ(storedTables(mainPath), before);
    EXPECT_THAT(sideFilesOf(mainPath), IsEmpty());
    EXPECT_EQ(journalModeOnDisk(mainPath), "delete");

    // Taking it back once more finds every record as it was before.
    const merge::UndoReport again = undo();
    EXPECT_TRUE(again.applied);
    EXPECT_EQ(written(again), merge::Counts{});
    EXPECT_EQ(again.alreadyBack, 13);
    EXPECT_EQ(storedTables(mainPath), before);
}

TEST_F(UndoTest, RecordsChangedSinceAreListedAndNothingChangesUnlessForced) {
    mergeWithUndo();
    // By hand: a record the update overwrote twice, one it added, and one it
    // overwrote, removed.
    execOn(mainPath, "UPDATE Lodges SET F3 = 'by hand' WHERE F1 = 'l2';"
                     "UPDATE MValues SET CONDITION = 'by hand' WHERE IDNUM = 'V3';"
                     "DELETE FROM Issues WHERE F1 = 'i1';");
    const StoredTables changed = storedTables(mainPath);
    const std::string bytes = readFile(mainPath);

    const merge::UndoReport refused = undo();
    EXPECT_FALSE(refused.applied);
    // Refused, it leaves the file byte for byte, header and all.
    EXPECT_TRUE(readFile(mainPath) == bytes) << "the refused undo changed the file";
    EXPECT_THAT(sideFilesOf(mainPath), IsEmpty());
    EXPECT_THAT(refused.changed,
                ElementsAre("MValues record 3 (IDNUM \"V3\", ISSUE \"B\"): changed since the "
                            "update wrote it",
                            "Issues record 1 (F1 \"i1\", F2 null): removed since the update "
                            "wrote it",
                            "Lodges record 2 (F1 \"l2\"): changed since the update wrote it"));
    EXPECT_EQ(storedTables(mainPath), changed);

    const merge::UndoReport forced = undo(true);
    EXPECT_TRUE(forced.applied);
    EXPECT_EQ(forced.changed, refused.changed);
    StoredTables expected = before;
    expected["Lodges"][1] = changed.at("Lodges")[1];
    expected["Issues"].clear();
    expected["MValues"].push_back(changed.at("MValues").back());
    EXPECT_EQ(storedTables(mainPath), expected);
}

// Forwards what the update is about to write, but never its save: as if the
// program were killed after every save, before it could note it.
class SavesUnnoted final : public merge::ChangeLog {
public:
    explicit SavesUnnoted(merge::ChangeLog& log) : log_(log) {}
    void aboutToWrite(const merge::RecordWrite& write) override { log_.aboutToWrite(write); }
    void written(const merge::RecordWrite&, std::int64_t) override {}
    void finish() override { log_.finish(); }

private:
    merge::ChangeLog& log_;
};

TEST_F(UndoTest, RecordsSavedButNeverNotedAsSavedAreFoundByWhatWasWritten) {
    {
        merge::UndoLog log(undoPath, VarnholtPassword, mainPath, updatePath);
        SavesUnnoted unnoted(log);
        EXPECT_EQ(merge(unnoted).counts, updateCounts);
    }
    // An added record changed by hand is still told from one never saved.
    execOn(mainPath, "UPDATE MValues SET CONDITION = 'by hand' WHERE IDNUM = 'V3'");
    const merge::UndoReport refused = undo();
    EXPECT_FALSE(refused.applied);
    EXPECT_THAT(refused.changed,
                ElementsAre("MValues record 3 (IDNUM \"V3\", ISSUE \"B\"): changed since the "
                            "update wrote it"));

    execOn(mainPath, "UPDATE MValues SET CONDITION = 'new' WHERE IDNUM = 'V3'");
    const merge::UndoReport report = undo();
    EXPECT_TRUE(report.applied);
    EXPECT_EQ(written(report), updateCounts);
    EXPECT_EQ(storedTables(mainPath), before);
}

TEST_F(UndoTest, ARecordWhoseSaveFailedIsNotedButPassedOver) {
    execOn(mainPath, "CREATE TRIGGER Refuse BEFORE INSERT ON MValues WHEN NEW.IDNUM = 'V3' "
                     "BEGIN SELECT RAISE(ABORT, 'refused by the user''s own rule'); END;");
    const merge::Outcome outcome = mergeWithUndo();
    EXPECT_EQ(outcome.ending, merge::Outcome::Ending::Failed);
    EXPECT_EQ(outcome.counts, (merge::Counts{6, 2, 2, 2}));

    const merge::UndoReport report = undo();
    EXPECT_TRUE(report.applied);
    EXPECT_EQ(report.alreadyBack, 1);
    EXPECT_EQ(written(report), (merge::Counts{6, 2, 2, 2}));
    EXPECT_EQ(storedTables(mainPath), before);
}

TEST_F(UndoTest, TheUndoFileIsKeptOnlyForItsOwnDatabaseAndNeverWrittenOver) {
    // An update that writes nothing leaves a file that takes nothing back.
    {
        const std::string empty = dir.file("empty.mdb");
        makeFile(empty);
        merge::UndoLog log(undoPath, VarnholtPassword, mainPath, empty);
        merge::runUpdate(
            host.merger,
            [&] {
                return merge::Locations{mainPath, empty};
            },
            &log);
        host.data1.Close();
        host.data2.Close();
        log.finish();
        EXPECT_EQ(log.entries(), 0);
        const merge::UndoReport nothing = undo();
        EXPECT_TRUE(nothing.applied);
        EXPECT_THAT(nothing.tables, IsEmpty());
        EXPECT_EQ(storedTables(mainPath), before);
        std::filesystem::remove(undoPath);
    }
    mergeWithUndo();
    const std::string undoFile = readFile(undoPath);
    auto refused =
        dbErrorOf([&] { merge::UndoLog(undoPath, VarnholtPassword, mainPath, updatePath); });
    ASSERT_TRUE(refused);
    EXPECT_THAT(refused->message, HasSubstr("already exists"));
    EXPECT_EQ(readFile(undoPath), undoFile);

    // Another database, even with the same records, is not the one.
    const std::string other = dir.file("Other.mdb");
    std::filesystem::copy_file(mainPath, dir.file("copy.mdb"));
    makeFile(other);
    execOn(other, mainSql);
    refused = dbErrorOf([&] { merge::undoUpdate(other, undoPath, VarnholtPassword, false); });
    ASSERT_TRUE(refused);
    EXPECT_THAT(refused->message, HasSubstr("was not made for \"" + other + "\""));
    EXPECT_THAT(refused->message, HasSubstr(std::filesystem::canonical(mainPath).string()));
    refused = dbErrorOf([&] { merge::undoUpdate(mainPath, updatePath, VarnholtPassword, false); });
    ASSERT_TRUE(refused);
    EXPECT_THAT(refused->message, HasSubstr("is no undo file"));
    refused = dbErrorOf(
        [&] { merge::undoUpdate(mainPath, dir.file("none.undo"), VarnholtPassword, false); });
    ASSERT_TRUE(refused);
    EXPECT_THAT(refused->message, HasSubstr("does not exist"));

    // A table with other fields now cannot be taken back; nothing changes.
    const std::string copy = dir.file("copy.mdb");
    execOn(copy, "ALTER TABLE Issues ADD COLUMN Later TEXT");
    const StoredTables changed = storedTables(copy);
    refused = dbErrorOf([&] { merge::undoUpdate(copy, undoPath, VarnholtPassword, false); });
    ASSERT_TRUE(refused);
    EXPECT_THAT(refused->message, HasSubstr("Issues"));
    EXPECT_THAT(refused->message, HasSubstr("other fields"));
    EXPECT_EQ(storedTables(copy), changed);

    // The same database moved elsewhere is still the one.
    const std::string moved = dir.file("moved.mdb");
    std::filesystem::rename(mainPath, moved);
    EXPECT_TRUE(merge::undoUpdate(moved, undoPath, VarnholtPassword, false).applied);
    EXPECT_EQ(storedTables(moved), before);
}

} // namespace
} // namespace testing_support

namespace testing_support {
namespace {

// Tells two change logs of each record, the undo file first.
class BothLogs final : public merge::ChangeLog {
public:
    BothLogs(merge::ChangeLog& first, merge::ChangeLog& second) : first_(first), second_(second) {}
    void aboutToWrite(const merge::RecordWrite& write) override {
        first_.aboutToWrite(write);
        second_.aboutToWrite(write);
    }
    void written(const merge::RecordWrite& write, std::int64_t rowid) override {
        first_.written(write, rowid);
        second_.written(write, rowid);
    }
    void leftAlone(const merge::TableDef& table) override {
        first_.leftAlone(table);
        second_.leftAlone(table);
    }
    void ended(merge::UpdateEnding ending) override {
        first_.ended(ending);
        second_.ended(ending);
    }
    void finish() override {
        first_.finish();
        second_.finish();
    }

private:
    merge::ChangeLog& first_;
    merge::ChangeLog& second_;
};

std::string csvOf(const merge::ChangeList& list) {
    std::ostringstream out;
    merge::writeChangesCsv(out, list);
    return out.str();
}

TEST_F(UndoTest, TheChangesReadBackFromTheUndoFileAreTheOnesTheRunReported) {
    merge::ChangeList reported;
    merge::ChangeRecorder recorder(
        [&](const merge::Change& change) { reported.changes.push_back(change); });
    {
        merge::UndoLog undoLog(undoPath, VarnholtPassword, mainPath, updatePath);
        BothLogs logs(undoLog, recorder);
        EXPECT_EQ(merge(logs).counts, updateCounts);
    }
    reported.tables = recorder.tables();

    merge::UndoFile file = merge::UndoFile::open(undoPath, VarnholtPassword);
    EXPECT_EQ(file.text("ended"), "complete");
    EXPECT_THAT(file.text("started"), ::testing::MatchesRegex("20[0-9-]+ [0-9:]+"));
    const merge::ChangeList read = merge::changesOf(file);
    ASSERT_EQ(read.changes.size(), 13u);
    // Value by value, in the order written: repeated keys, other letter
    // case and null key parts included.
    EXPECT_EQ(csvOf(read), csvOf(reported));
    ASSERT_EQ(read.tables.size(), 4u);
    for (std::size_t i = 0; i < read.tables.size(); ++i) {
        EXPECT_EQ(read.tables[i].table, reported.tables[i].table);
        EXPECT_EQ(read.tables[i].added, reported.tables[i].added);
        EXPECT_EQ(read.tables[i].overwritten, reported.tables[i].overwritten);
        EXPECT_EQ(read.tables[i].leftAlone, reported.tables[i].leftAlone);
    }
    // Lodges: "L3" (older) is left alone; the null-keyed record is overwritten.
    EXPECT_EQ(read.tables[0].leftAlone, 1);
    const auto nullKeyed = std::find_if(read.changes.begin(), read.changes.end(), [](auto& c) {
        return c.table == "Lodges" && !c.added && !c.key[0];
    });
    ASSERT_NE(nullKeyed, read.changes.end());
    ASSERT_FALSE(nullKeyed->fields.empty());
    EXPECT_EQ(nullKeyed->fields[0].name, "F2");
    EXPECT_EQ(nullKeyed->fields[0].before, "null key");
    EXPECT_EQ(nullKeyed->fields[0].after, "null later");
}

TEST_F(UndoTest, AnUndoFileOfARunThatNeverEndedReadsAsSuch) {
    // Closed without the update telling how it ended, as a run that was
    // killed leaves it.
    const std::string unended = dir.file("unended.undo");
    {
        merge::UndoLog undoLog(unended, VarnholtPassword, mainPath, updatePath);
        undoLog.finish();
    }
    merge::UndoFile never = merge::UndoFile::open(unended, VarnholtPassword);
    EXPECT_EQ(never.text("ended"), "");
    const merge::ChangeList list = merge::changesOf(never);
    EXPECT_TRUE(list.changes.empty());
    for (const merge::TableChanges& table : list.tables)
        EXPECT_FALSE(table.leftAlone.has_value()) << table.table;
}

// The undo file as the first format kept it: a record's entry in one table
// for all, its stored record and the values written in a table each. Made
// from a file of today's format by moving its notes there.
void toFirstFormat(const std::string& undoPath) {
    auto undo = db::Database::open(undoPath, VarnholtPassword, db::OpenMode::ReadWrite);
    std::vector<std::pair<std::string, std::int64_t>> tables;
    for (const auto& row : rowsOf(*undo, "SELECT TableName, count(*) FROM UndoColumns "
                                         "GROUP BY TableName"))
        tables.emplace_back(row[0].asText(), row[1].asInteger());
    // A record's save is noted with it there, not with the next record.
    std::string sql = "CREATE TEMP TABLE Saves (Seq INTEGER PRIMARY KEY, RowId INTEGER);";
    for (const auto& [table, n] : tables)
        sql += "INSERT INTO Saves SELECT Seq - 1, Prior FROM \"Notes " + table +
               "\" WHERE Prior IS NOT NULL;";
    sql += "CREATE TABLE UndoEntries (Seq INTEGER PRIMARY KEY, TableName TEXT NOT "
           "NULL, Change TEXT NOT NULL, Written TEXT NOT NULL, RowId INTEGER, "
           "RowIdBound INTEGER, Saved INTEGER NOT NULL DEFAULT 0);";
    for (const auto& [table, n] : tables) {
        std::string columns, befores, afters;
        for (std::int64_t i = 1; i <= n; ++i) {
            const std::string at = std::to_string(i);
            columns += ", C" + at;
            befores += ", B" + at;
            afters += ", A" + at;
        }
        const std::string notes = "\"Notes " + table + "\"";
        sql += "INSERT INTO UndoEntries SELECT n.Seq, '" + table +
               "', Change, Written, coalesce(s.RowId, n.RowId), RowIdBound, "
               "s.RowId IS NOT NULL OR Saved FROM " +
               notes + " n LEFT JOIN Saves s ON s.Seq = n.Seq;";
        sql += "CREATE TABLE \"Before " + table + "\" (Seq INTEGER PRIMARY KEY" + columns + ");";
        sql += "INSERT INTO \"Before " + table + "\" SELECT Seq" + befores + " FROM " + notes +
               " WHERE Change = 'overwritten';";
        sql += "CREATE TABLE \"After " + table + "\" (Seq INTEGER PRIMARY KEY" + columns + ");";
        sql += "INSERT INTO \"After " + table + "\" SELECT Seq" + afters + " FROM " + notes + ";";
        sql += "DROP TABLE " + notes + ";";
    }
    sql += "UPDATE UndoFile SET Value = 1 WHERE Name = 'format';";
    undo->exec(sql, "test setup");
}

TEST_F(UndoTest, AnUndoFileOfTheFirstFormatIsStillReadAndTakesTheUpdateBack) {
    EXPECT_EQ(mergeWithUndo().counts, updateCounts);
    merge::ChangeList today;
    {
        merge::UndoFile current = merge::UndoFile::open(undoPath, VarnholtPassword);
        EXPECT_EQ(current.number("format"), 2);
        today = merge::changesOf(current);
    }
    toFirstFormat(undoPath);
    {
        merge::UndoFile first = merge::UndoFile::open(undoPath, VarnholtPassword);
        EXPECT_EQ(first.number("format"), 1);
        const merge::ChangeList read = merge::changesOf(first);
        EXPECT_EQ(csvOf(read), csvOf(today));
        ASSERT_EQ(read.tables.size(), today.tables.size());
        for (std::size_t i = 0; i < read.tables.size(); ++i)
            EXPECT_EQ(read.tables[i].table, today.tables[i].table);
    }
    const merge::UndoReport report = undo();
    EXPECT_TRUE(report.applied);
    EXPECT_EQ(written(report), updateCounts);
    EXPECT_EQ(storedTables(mainPath), before);
}

} // namespace
} // namespace testing_support
