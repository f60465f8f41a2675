// Keys compared whole, numbers and dates held as text, and the place every
// error about a value names: file, table, field and record.
#include "merge/Schema.h"
#include "merge/Walk.h"
#include "tests/support/FakeHost.h"
#include "tests/support/MergeFiles.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace testing_support {
namespace {

using namespace std::string_literals;
using ::testing::ElementsAre;
using Row = std::vector<db::Value>;

db::Value integer(std::int64_t number) {
    return db::Value::integer(number);
}

Row activity(const db::Value& f1, const db::Value& f6, const std::string& stamp,
             const std::string& tag) {
    return {f1, text("X1"), text(tag), text(tag), text(stamp), f6};
}

class KeysAndValuesTest : public MergeFilesTest {
protected:
    // A file of the four tables whose `table` is made by `ddl` instead.
    static void remakeWith(const std::string& path, const std::string& table,
                           const std::string& ddl) {
        auto database = db::Database::open(path, VarnholtPassword, db::OpenMode::ReadWrite);
        database->exec("DROP TABLE " + table + "; " + ddl, "test setup");
    }

    std::int32_t merge(const merge::TableDef& table) {
        return merge::mergeTable(host.merger, table, mainPath, updatePath);
    }

    std::vector<Row> stored(const std::string& sql) {
        auto database = db::Database::open(mainPath, VarnholtPassword, db::OpenMode::ReadOnly);
        return rowsOf(*database, sql);
    }

    // The message of the merge's error; the connections are closed after
    // it, as at the end of an update, so that the test may change the files.
    std::string errorOf(const merge::TableDef& table) {
        const auto error = dbErrorOf([&] { merge(table); });
        host.data1.Close();
        host.data2.Close();
        return error ? error->message : "no error";
    }

    FakeHost host;
};

// ---- keys ----

TEST_F(KeysAndValuesTest, AKeyIsComparedWholeEvenPastANul) {
    insertLodges(mainPath, {lodge("A\0BC"s, "2024-01-01 00:00:00", "main")});
    insertLodges(updatePath, {lodge("A\0BD"s, "2024-02-01 00:00:00", "other key"),
                              lodge("a\0bc"s, "2024-03-01 00:00:00", "same key")});

    EXPECT_EQ(merge(merge::lodges()), 2);
    EXPECT_THAT(lodgesOf(mainPath),
                ElementsAre(lodge("a\0bc"s, "2024-03-01 00:00:00", "same key"),
                            lodge("A\0BD"s, "2024-02-01 00:00:00", "other key")));
}

TEST_F(KeysAndValuesTest, ANumberKeyHeldAsTextIsTheNumberItSpellsOnEitherSide) {
    // The main file's F6 is declared TEXT, so "12" stays text there.
    remakeWith(mainPath, "Activities",
               "CREATE TABLE Activities (F1 TEXT COLLATE NOCASE, F2 TEXT COLLATE NOCASE, F3 TEXT, "
               "F4 TEXT, F5 DATETIME, F6 TEXT)");
    insertRows(mainPath, "Activities",
               {activity(text("A"), text("12"), "2024-01-01", "main text"),
                activity(text("B"), integer(1000), "2024-01-01", "main number")}); // held as "1000"
    remakeWith(
        updatePath, "Activities",
        "CREATE TABLE Activities (F1 TEXT, F2 TEXT, F3 TEXT, F4 TEXT, F5 DATETIME, F6 TEXT)");
    insertRows(updatePath, "Activities",
               {activity(text("A"), integer(12), "2024-01-02", "u1"),
                activity(text("A"), text(" 12"), "2024-01-03", "u2"),
                activity(text("A"), text("12.0"), "2024-01-04", "u3"),
                activity(text("B"), text("1e3"), "2024-01-05", "u4"),
                activity(text("B"), text("1000 "), "2024-01-06", "u5")});

    EXPECT_EQ(merge(merge::activities()), 5); // five overwrites, nothing added
    EXPECT_THAT(stored("SELECT F1, F3, F6 FROM Activities ORDER BY _rowid_"),
                ElementsAre(Row{text("A"), text("u3"), text("12")},
                            Row{text("B"), text("u5"), text("1000")}));
}

// ---- dates ----

TEST_F(KeysAndValuesTest, ADateStampHeldAsTextIsTheDateItSpellsOnEitherSide) {
    const std::string lodgesText =
        "CREATE TABLE Lodges (F1 TEXT COLLATE NOCASE, F2 TEXT, F3 TEXT, "
        "F4 TEXT, F5 TEXT, F6 TEXT, F7 TEXT, F8 TEXT, F9 TEXT, F10 TEXT, "
        "F11 TEXT, F12 TEXT, F13 TEXT)";
    remakeWith(mainPath, "Lodges", lodgesText);
    remakeWith(updatePath, "Lodges", lodgesText);
    insertLodges(mainPath, {lodge("A", "1996-08-03 23:59:00", "main"),
                            lodge("B", "1996-08-04 08:00:00", "main")});
    insertLodges(updatePath, {lodge("A", "1996-08-04 03:11:44", "update"),
                              lodge("B", "1996-08-04T23:00:00", "update")});

    EXPECT_EQ(merge(merge::lodges()), 1);
    EXPECT_THAT(lodgesOf(mainPath), ElementsAre(lodge("A", "1996-08-04 03:11:44", "update"),
                                                lodge("B", "1996-08-04 08:00:00", "main")));
}

// ---- what each error about a value names ----

TEST_F(KeysAndValuesTest, EachValueErrorNamesTheFileTableFieldAndRecord) {
    const std::string update = "in the update database \"" + updatePath + "\"";
    const std::string main = "in the main database \"" + mainPath + "\"";

    // A stamp that is no date, in a date column and in a text column.
    insertLodges(mainPath, {lodge("A", "2024-01-01", "main")});
    insertLodges(updatePath, {lodge("A", "next tuesday", "update")});
    EXPECT_EQ(errorOf(merge::lodges()), "The Lodges record with F1 \"A\" " + update +
                                            " has \"next tuesday\" in its date field F12, which "
                                            "is not a date.");
    remakeWith(mainPath, "Issues",
               "CREATE TABLE Issues (F1 TEXT, F2 TEXT, F3 TEXT, F4 TEXT, F5 TEXT, F6 TEXT, "
               "F7 TEXT, F8 TEXT, F9 TEXT, F10 TEXT, F11 TEXT, F12 TEXT, F13 TEXT, F14 TEXT)");
    Row issue{text("I"), text("P-1")};
    issue.resize(14);
    issue[8] = text("soon");
    insertRows(mainPath, "Issues", {issue});
    issue[8] = text("2024-01-01");
    insertRows(updatePath, "Issues", {issue});
    EXPECT_EQ(errorOf(merge::issues()), "The Issues record with F1 \"I\", F2 \"P-1\" " + main +
                                            " has \"soon\" in its date field F9, which is not a "
                                            "date.");

    // A number key that is no number, on either side.
    insertRows(updatePath, "Activities", {activity(text("B"), text("twelve"), "2024-01-01", "u")});
    EXPECT_EQ(errorOf(merge::activities()), "The Activities record with F1 \"B\", F2 \"X1\" " +
                                                update +
                                                " has \"twelve\" in its key field F6, which must "
                                                "be a number.");
    remakeWith(
        mainPath, "Activities",
        "CREATE TABLE Activities (F1 TEXT, F2 TEXT, F3 TEXT, F4 TEXT, F5 DATETIME, F6 TEXT)");
    remakeWith(updatePath, "Activities",
               "CREATE TABLE Activities (F1 TEXT, F2 TEXT, F3 TEXT, F4 TEXT, F5 DATETIME, F6)");
    insertRows(mainPath, "Activities", {activity(text("C"), text("abc"), "2024-01-01", "m")});
    insertRows(updatePath, "Activities", {activity(text("C"), integer(3), "2024-01-01", "u")});
    EXPECT_EQ(errorOf(merge::activities()), "The Activities record with F1 \"C\", F2 \"X1\" " +
                                                main +
                                                " has \"abc\" in its key field F6, which is not a "
                                                "number.");

    // Binary data, and a value the main database's field cannot take.
    remakeWith(updatePath, "MValues",
               "CREATE TABLE MValues (IDNUM TEXT, ISSUE TEXT, CONDITION, LUPDATE DATETIME, "
               "MKTVAL TEXT)");
    {
        auto database = db::Database::open(updatePath, VarnholtPassword, db::OpenMode::ReadWrite);
        database->exec("INSERT INTO MValues VALUES ('1', 'A', x'00ff', NULL, '2');"
                       "INSERT INTO MValues VALUES ('2', 'A', 'Fine', NULL, 'lots')",
                       "test setup");
    }
    EXPECT_EQ(errorOf(merge::values()), "The MValues record with IDNUM \"1\", ISSUE \"A\" " +
                                            update +
                                            " has binary data in its field CONDITION, which this "
                                            "program cannot read.");
    {
        auto database = db::Database::open(updatePath, VarnholtPassword, db::OpenMode::ReadWrite);
        database->exec("DELETE FROM MValues WHERE IDNUM = '1'", "test setup");
    }
    EXPECT_EQ(errorOf(merge::values()), "The MValues record with IDNUM \"2\", ISSUE \"A\" " +
                                            update +
                                            " has \"lots\" in its field MKTVAL, which the main "
                                            "database \"" +
                                            mainPath + "\" cannot take: it is not a number.");
}

// ---- what vhdb check reports ----

TEST_F(KeysAndValuesTest, TheValuesCheckFindsWhatTheMergeWouldStopAt) {
    remakeWith(updatePath, "Activities",
               "CREATE TABLE Activities (F1 TEXT, F2 TEXT, F3 TEXT, F4 TEXT, F5 TEXT, F6 TEXT)");
    insertRows(updatePath, "Activities",
               {activity(text("A"), text(" 12"), "2024-01-01T10:00:00", "fine"),
                activity(text("B"), text("twelve"), "2024-01-01", "bad number"),
                activity(text("C"), integer(1), "yesterday", "bad date")});
    insertLodges(updatePath, {lodge("L", "2024-13-01", "bad date")});
    insertRows(updatePath, "MValues",
               {{text("1"), text("A"), text("Fine"), db::Value(), text("x")}});
    auto database = db::Database::open(updatePath, VarnholtPassword, db::OpenMode::ReadOnly);

    EXPECT_THAT(merge::checkVarnholtValues(*database),
                ElementsAre("Table Lodges, field F12, row 1 (F1 \"L\"): \"2024-13-01\" is not a "
                            "date; an update would stop there.",
                            "Table Activities, field F6, row 2 (F1 \"B\", F2 \"X1\", F6 "
                            "\"twelve\"): \"twelve\" is not a number; an update would stop there.",
                            "Table Activities, field F5, row 3 (F1 \"C\", F2 \"X1\", F6 \"1\"): "
                            "\"yesterday\" is not a date; an update would stop there.",
                            "Table MValues, field MKTVAL, row 1 (IDNUM \"1\", ISSUE \"A\"): \"x\" "
                            "is not a number; an update would stop there."));
    EXPECT_THAT(merge::checkVarnholtValues(*database, 1),
                ::testing::Contains("Table Activities holds 1 more such values."));
}

} // namespace
} // namespace testing_support
