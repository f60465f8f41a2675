// The four table merges, each on real files: what every table merge must do,
// run once per table, then what is each table's own.

#include "merge/Tables.h"
#include "merge/Walk.h"
#include "platform/db/Data.h"
#include "tests/support/FakeHost.h"
#include "tests/support/MergeFiles.h"

#include <algorithm>
#include <filesystem>
#include <fmt/format.h>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <iterator>
#include <random>

namespace testing_support {
namespace {

using merge::Counter;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Row = std::vector<db::Value>;

// What a table's merge must do, stated apart from the merge's own description.
struct TableCase {
    std::string table;
    std::vector<std::string> key;
    std::string stamp;
    std::vector<std::string> overwritten; // an add writes every column
    std::string status;
    Counter counter;
    bool closesUpdate;
};

const TableCase lodges{
    "Lodges",
    {"F1"},
    "F12",
    {"F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8", "F9", "F10", "F11", "F12", "F13"},
    "Updating Varnholt Lodges Table",
    Counter::Lodges,
    false};
const TableCase issues{
    "Issues",
    {"F1", "F2"},
    "F9",
    {"F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8", "F9", "F10", "F11", "F12", "F13", "F14"},
    "Updating Varnholt Issues Table",
    Counter::Issues,
    false};
const TableCase activities{"Activities",
                           {"F1", "F2", "F6"},
                           "F5",
                           {"F2", "F3", "F4", "F5"},
                           "Updating Varnholt Activities Table",
                           Counter::Activities,
                           false};
const TableCase values{"MValues",
                       {"IDNUM", "ISSUE"},
                       "LUPDATE",
                       {"IDNUM", "ISSUE", "CONDITION", "LUPDATE", "MKTVAL"},
                       "Updating Varnholt Values Table",
                       Counter::Values,
                       true};

void PrintTo(const TableCase& table, std::ostream* out) {
    *out << table.table;
}

const merge::TableDef& definitionOf(const TableCase& table) {
    return *merge::findVarnholtTable(table.table);
}

std::vector<std::string> columnsOf(const TableCase& table) {
    return definitionOf(table).addFields();
}

bool contains(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::string joined(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& name : names)
        out += (out.empty() ? "" : ", ") + name;
    return out;
}

class TableMergeTest : public MergeFilesTest, public ::testing::WithParamInterface<TableCase> {
protected:
    const TableCase& table() const { return GetParam(); }

    // A key of the table: the given texts, then (Activities) the number 7. A
    // table keyed on one field takes both texts in it ("1" standing for no
    // second part), so that each part still tells keys apart.
    std::vector<db::Value> key(const std::string& first, const std::string& second) const {
        if (table().key.size() == 1)
            return {text(first + (second == "1" ? "" : second))};
        std::vector<db::Value> parts{text(first), text(second)};
        if (table().key.size() == 3)
            parts.push_back(db::Value::integer(7));
        return parts;
    }

    // A whole record: the key, the stamp (empty: null), and data fields that
    // carry `tag` so that a test can tell where a stored value came from (a
    // number column holds a number made from it).
    Row record(const std::vector<db::Value>& keyParts, const std::string& stamp,
               const std::string& tag) const {
        Row row;
        for (const merge::ColumnDef& column : definitionOf(table()).columns) {
            const auto part = std::find(table().key.begin(), table().key.end(), column.name);
            if (part != table().key.end())
                row.push_back(keyParts[static_cast<std::size_t>(part - table().key.begin())]);
            else if (column.name == table().stamp)
                row.push_back(stamp.empty() ? db::Value() : text(stamp));
            else if (column.type == "NUMERIC")
                row.push_back(db::Value::integer(
                    static_cast<std::int64_t>(std::hash<std::string>{}(tag) % 100'000)));
            else
                row.push_back(text(tag + "-" + column.name));
        }
        return row;
    }

    // `target` as an overwrite from `source` leaves it.
    Row overwritten(const Row& target, const Row& source) const {
        Row row = target;
        const auto columns = columnsOf(table());
        for (std::size_t i = 0; i < columns.size(); ++i)
            if (contains(table().overwritten, columns[i]))
                row[i] = source[i];
        return row;
    }

    void insert(const std::string& path, const std::vector<Row>& rows) {
        insertRows(path, table().table, rows);
    }

    std::vector<Row> stored(const std::string& extra = {}) {
        auto database = db::Database::open(mainPath, VarnholtPassword, db::OpenMode::ReadOnly);
        return rowsOf(*database, "SELECT " + joined(columnsOf(table())) + extra + " FROM " +
                                     table().table + " ORDER BY _rowid_");
    }

    std::int32_t merge(const std::string& main, const std::string& update) {
        return merge::mergeTable(host.merger, definitionOf(table()), main, update);
    }
    std::int32_t merge() { return merge(mainPath, updatePath); }

    FakeHost host;
};

TEST_P(TableMergeTest, AddAndOverwriteWriteExactlyTheirFields) {
    // The main table has a column of its own, which no merge may write.
    const Row main = record(key("abc", "x1"), "2024-03-01 23:58:00", "main");
    insert(mainPath, {main});
    {
        auto database = db::Database::open(mainPath, VarnholtPassword, db::OpenMode::ReadWrite);
        database->exec("ALTER TABLE " + table().table + " ADD COLUMN Note TEXT DEFAULT 'new'",
                       "test setup");
        database->exec("UPDATE " + table().table + " SET Note = 'mine'", "test setup");
    }
    // Found in other letter case, minutes later across midnight; then a new key.
    const Row newer = record(key("ABC", "X1"), "2024-03-02 00:01:00", "update");
    const Row added = record(key("ABD", "X1"), "2024-01-01 00:00:00", "update");
    insert(updatePath, {newer, added});

    EXPECT_EQ(merge(), 2);
    EXPECT_EQ(host.counted(table().counter), 2);
    Row expectedMain = overwritten(main, newer);
    expectedMain.push_back(text("mine"));
    Row expectedAdded = added;
    expectedAdded.push_back(text("new"));
    EXPECT_THAT(stored(", Note"), ElementsAre(expectedMain, expectedAdded));
}

TEST_P(TableMergeTest, LeavesTheRecordOnTheSameDayAnEarlierDayOrANullStamp) {
    const std::vector<Row> main = {
        record(key("A", "1"), "2024-03-01 08:00:00", "main"), // update later that day
        record(key("B", "1"), "2024-03-05 08:00:00", "main"), // update a day earlier
        record(key("C", "1"), "", "main"),                    // null here
        record(key("D", "1"), "2024-03-01 08:00:00", "main"), // null in the update
    };
    insert(mainPath, main);
    insert(updatePath, {record(key("A", "1"), "2024-03-01 23:59:59", "update"),
                        record(key("B", "1"), "2024-03-04 23:00:00", "update"),
                        record(key("C", "1"), "2024-03-09 08:00:00", "update"),
                        record(key("D", "1"), "", "update")});

    EXPECT_EQ(merge(), 0);
    EXPECT_EQ(host.counted(table().counter), 0);
    EXPECT_EQ(stored(), main);
}

TEST_P(TableMergeTest, OnlyTheFirstMainRecordWithTheKeyIsTouchedAndEveryKeyPartCounts) {
    const Row first = record(key("A", "X"), "2024-01-01 00:00:00", "one");
    const Row second = record(key("a", "x"), "2024-01-01 00:00:00", "two");
    const Row otherSecondPart = record(key("A", "Y"), "2024-01-01 00:00:00", "other");
    insert(mainPath, {first, second, otherSecondPart});
    const Row newer = record(key("A", "X"), "2024-06-01 00:00:00", "update");
    const Row added = record(key("A", "Z"), "2024-06-01 00:00:00", "update");
    insert(updatePath, {newer, added});

    EXPECT_EQ(merge(), 2);
    EXPECT_THAT(stored(), ElementsAre(overwritten(first, newer), second, otherSecondPart, added));
}

TEST_P(TableMergeTest, ASecondUpdateRecordWithTheSameKeyMeetsWhatTheFirstLeft) {
    // K: the first adds, the second finds it the same day and skips.
    // M: the second is a day later and overwrites what the first added.
    const Row addedK = record(key("K", "1"), "2024-05-01 09:00:00", "first");
    const Row addedM = record(key("M", "1"), "2024-05-01 09:00:00", "first");
    const Row laterM = record(key("M", "1"), "2024-05-02 09:00:00", "second");
    insert(updatePath,
           {addedK, record(key("K", "1"), "2024-05-01 17:00:00", "second"), addedM, laterM});

    EXPECT_EQ(merge(), 3);
    EXPECT_THAT(stored(), ElementsAre(addedK, overwritten(addedM, laterM)));
}

TEST_P(TableMergeTest, KeysWithQuotesOrNullsAreFoundOnTheNextRun) {
    // A null key part is not the empty text of the main record.
    const Row emptyKey = record(key("", "1"), "2024-01-01 00:00:00", "main");
    insert(mainPath, {emptyKey});
    const Row quoted = record(key("O'Brien's", "Say \"hi\""), "2024-01-01 00:00:00", "update");
    std::vector<db::Value> nullParts = key("", "1");
    nullParts[0] = db::Value();
    const Row nullKey = record(nullParts, "2024-01-01 00:00:00", "update");
    insert(updatePath, {quoted, nullKey});

    EXPECT_EQ(merge(), 2);
    EXPECT_EQ(merge(), 0);
    EXPECT_EQ(host.counted(table().counter), 0);
    EXPECT_THAT(stored(), ElementsAre(emptyKey, nullKey, quoted)); // null sorts first
}

TEST_P(TableMergeTest, ShowsItsStatusThenMovesTheBarOncePerRecord) {
    insert(updatePath, {record(key("A", "1"), "2024-01-01 00:00:00", "u"),
                        record(key("B", "1"), "2024-01-01 00:00:00", "u"),
                        record(key("C", "1"), "2024-01-01 00:00:00", "u")});

    EXPECT_EQ(merge(), 3);
    EXPECT_THAT(host.shown,
                ElementsAre("min 0", "max 3", "value 1", "status " + table().status, "repaint",
                            "yield", "value 1", "yield", "value 2", "yield", "value 3"));
}

TEST_P(TableMergeTest, AnEmptyUpdateTouchesNothingAndClosesNothing) {
    // What an earlier merge left open on the update database.
    host.data2.Connect = "MS Access;PWD=" + VarnholtPassword + ";";
    host.data2.DatabaseName = updatePath;
    host.data2.RecordSource = "SELECT * FROM Lodges";
    host.data2.Refresh();
    host.merger.counts[table().counter] = 5;

    EXPECT_EQ(merge(dir.file("no such folder/Varnholt.mdb"), updatePath), 0);
    EXPECT_EQ(host.counted(table().counter), 0);
    EXPECT_TRUE(host.shown.empty()); // bar and status line left as they were
    EXPECT_FALSE(host.data1.hasRecordset());
    EXPECT_TRUE(host.data2.hasRecordset());
}

TEST_P(TableMergeTest, ACancelStopsBeforeTheNextRecordKeepsWhatWasSavedAndClosesNothing) {
    std::vector<Row> update;
    for (char first = 'A'; first <= 'F'; ++first)
        update.push_back(record(key(std::string(1, first), "1"), "2024-01-01 00:00:00", "u"));
    insert(updatePath, update);
    host.onYield = [&](int yield) {
        if (yield == 4) // "Cancel" confirmed while the fourth record waits
            host.abort = true;
    };

    EXPECT_EQ(merge(), 0);
    EXPECT_EQ(host.counted(table().counter), 3);
    EXPECT_EQ(stored(), std::vector<Row>(update.begin(), update.begin() + 3));
    EXPECT_THAT(host.progressValues(), ElementsAre("1", "1", "2", "3"));
    EXPECT_TRUE(host.data1.hasRecordset());
    EXPECT_TRUE(host.data2.hasRecordset());
}

TEST_P(TableMergeTest, AtItsNormalEndOnlyTheLastMergeClosesTheUpdate) {
    insert(updatePath, {record(key("A", "1"), "2024-01-01 00:00:00", "u")});
    const std::string before = readFile(updatePath);

    EXPECT_EQ(merge(), 1);
    EXPECT_TRUE(host.data1.hasRecordset()); // the main database stays open
    EXPECT_EQ(host.data2.hasRecordset(), !table().closesUpdate);
    host.data2.Close();
    EXPECT_EQ(readFile(updatePath), before);
    EXPECT_TRUE(sideFilesOf(updatePath).empty());
}

TEST_P(TableMergeTest, AnUnreadableDateStampIsAnErrorNamingTheFieldAndValue) {
    insert(mainPath, {record(key("A", "1"), "2024-01-01 00:00:00", "main")});
    insert(updatePath, {record(key("A", "1"), "next tuesday", "update")});

    const auto error = dbErrorOf([&] { merge(); });
    ASSERT_TRUE(error);
    EXPECT_THAT(error->message, HasSubstr(table().stamp));
    EXPECT_THAT(error->message, HasSubstr("next tuesday"));
}

TEST_P(TableMergeTest, MergingAFileIntoItselfChangesNothing) {
    const std::vector<Row> records = {record(key("A", "1"), "2024-01-01 00:00:00", "one"),
                                      record(key("B", "1"), "2024-01-02 00:00:00", "two")};
    insert(mainPath, records);

    EXPECT_EQ(merge(mainPath, mainPath), 0);
    host.data1.Close();
    host.data2.Close();
    EXPECT_EQ(stored(), records);
    EXPECT_TRUE(sideFilesOf(mainPath).empty());
}

TEST_P(TableMergeTest, AWrongPasswordIsAnErrorAndWritesNothing) {
    insert(updatePath, {record(key("A", "1"), "2024-01-01 00:00:00", "u")});
    host.dbPassword = "wrong";

    EXPECT_TRUE(dbErrorOf([&] { merge(); }));
    EXPECT_TRUE(stored().empty());
}

// An independent statement of the merge rules, record by record, checked on
// random files full of repeated keys, letter-case variants, quotes, nulls and
// stamps around the same few days.
class ModelTest : public TableMergeTest {
protected:
    // The records of a table in the order the merge walks them.
    std::vector<Row> inWalkOrder(const std::string& path) {
        db::Data data("model");
        data.Connect = "MS Access;PWD=" + VarnholtPassword + ";";
        data.DatabaseName = path;
        data.RecordSource = "SELECT * FROM " + table().table + " ORDER BY " + table().key[0];
        data.ReadOnly = true;
        data.Refresh();
        std::vector<Row> rows;
        for (; !data.Recordset().Eof(); data.Recordset().MoveNext()) {
            Row row;
            for (const std::string& column : columnsOf(table())) {
                const db::Value value = data.Recordset().Fields(column).Value();
                row.push_back(value.isDate() ? text(value.asDate().text()) : value);
            }
            rows.push_back(row);
        }
        return rows;
    }

    static std::string folded(std::string text) {
        for (char& c : text)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        return text;
    }

    static bool samePart(const db::Value& source, const db::Value& target) {
        if (source.isNull() || target.isNull())
            return source.isNull() && target.isNull();
        if (source.isText())
            return target.isText() && folded(source.asText()) == folded(target.asText());
        return target.isNumber() && source.asNumber() == target.asNumber();
    }

    std::size_t indexOf(const std::string& column) const {
        const auto columns = columnsOf(table());
        return static_cast<std::size_t>(std::find(columns.begin(), columns.end(), column) -
                                        columns.begin());
    }

    // Applies the update to `target` (in record set order) as the rules say;
    // returns the number of records written.
    int applyModel(std::vector<Row>& target, const std::vector<Row>& update) const {
        int written = 0;
        const std::size_t stamp = indexOf(table().stamp);
        for (const Row& source : update) {
            auto found = std::find_if(target.begin(), target.end(), [&](const Row& row) {
                for (const std::string& part : table().key)
                    if (!samePart(source[indexOf(part)], row[indexOf(part)]))
                        return false;
                return true;
            });
            if (found == target.end()) {
                target.push_back(source);
                ++written;
                continue;
            }
            const db::Value& was = (*found)[stamp];
            const db::Value& now = source[stamp];
            // Both stamps are stored "YYYY-MM-DD HH:MM:SS": the date is the first ten.
            if (was.isNull() || now.isNull() ||
                now.asText().substr(0, 10) <= was.asText().substr(0, 10))
                continue;
            *found = overwritten(*found, source);
            ++written;
        }
        return written;
    }

    Row randomRecord(std::mt19937& random, const std::string& tag) const {
        auto pick = [&](const auto& choices) { return choices[random() % choices.size()]; };
        const std::vector<db::Value> firsts = {text("A"), text("a"),         text("B"),
                                               text("b"), text("O'Neil"),    text("o'NEIL"),
                                               text(""),  text("Say \"x\""), db::Value()};
        const std::vector<db::Value> seconds = {text("X"), text("x"), text("Y"), db::Value()};
        const std::vector<db::Value> numbers = {db::Value::integer(1),  db::Value::integer(2),
                                                db::Value::number(2.5), db::Value::integer(-2),
                                                db::Value::integer(0),  db::Value()};
        std::vector<db::Value> parts{pick(firsts), pick(seconds)};
        if (table().key.size() == 3)
            parts.push_back(pick(numbers));
        std::string stamp;
        if (random() % 8 != 0) {
            const int day = 1 + static_cast<int>(random() % 4);
            const int hour = static_cast<int>(random() % 24);
            stamp = fmt::format("2024-02-0{} {:02}:30:00", day, hour);
        }
        return record(parts, stamp, tag);
    }
};

TEST_P(ModelTest, MatchesTheRulesRecordByRecordOnRandomFiles) {
    for (unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(fmt::format("seed {}", seed));
        std::mt19937 random(seed);
        std::vector<Row> main, update;
        for (int i = 0; i < 80; ++i)
            main.push_back(randomRecord(random, fmt::format("main{}", i)));
        for (int i = 0; i < 120; ++i)
            update.push_back(randomRecord(random, fmt::format("update{}", i)));
        std::filesystem::remove(mainPath);
        std::filesystem::remove(updatePath);
        makeFile(mainPath);
        makeFile(updatePath);
        insert(mainPath, main);
        insert(updatePath, update);

        std::vector<Row> expected = inWalkOrder(mainPath);
        const int written = applyModel(expected, inWalkOrder(updatePath));
        ASSERT_GT(written, 0);

        EXPECT_EQ(merge(), written);
        host.data1.Close();
        host.data2.Close();
        // The records of one side that the other lacks, so that a failure
        // shows only what differs.
        auto printed = [](const std::vector<Row>& rows) {
            std::vector<std::string> lines;
            for (const Row& row : rows)
                lines.push_back(::testing::PrintToString(row));
            std::sort(lines.begin(), lines.end());
            return lines;
        };
        const auto actualLines = printed(stored());
        const auto expectedLines = printed(expected);
        std::vector<std::string> unexpected, missing;
        std::set_difference(actualLines.begin(), actualLines.end(), expectedLines.begin(),
                            expectedLines.end(), std::back_inserter(unexpected));
        std::set_difference(expectedLines.begin(), expectedLines.end(), actualLines.begin(),
                            actualLines.end(), std::back_inserter(missing));
        EXPECT_THAT(unexpected, ::testing::IsEmpty());
        EXPECT_THAT(missing, ::testing::IsEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(, ModelTest, ::testing::Values(lodges, issues, activities, values),
                         [](const auto& info) { return info.param.table; });

INSTANTIATE_TEST_SUITE_P(, TableMergeTest, ::testing::Values(lodges, issues, activities, values),
                         [](const auto& info) { return info.param.table; });

// What is each table's own.

class OwnRulesTest : public MergeFilesTest {
protected:
    // The criteria of each record of an update table, in order.
    std::vector<std::string> criteriaOf(const merge::TableDef& table) {
        db::Data source("Data2");
        source.Connect = "MS Access;PWD=" + VarnholtPassword + ";";
        source.DatabaseName = updatePath;
        source.RecordSource = table.query() + ", _rowid_";
        source.ReadOnly = true;
        source.Refresh();
        std::vector<std::string> criteria;
        for (; !source.Recordset().Eof(); source.Recordset().MoveNext())
            criteria.push_back(merge::criteriaFor(table, source.Recordset()));
        return criteria;
    }

    std::vector<Row> activitiesOf(const std::string& path) {
        auto database = db::Database::open(path, VarnholtPassword, db::OpenMode::ReadOnly);
        return rowsOf(*database, "SELECT F1, F2, F3, F4, F5, F6 FROM Activities ORDER BY _rowid_");
    }

    FakeHost host;
};

Row activity(const std::string& f1, const std::string& f2, const db::Value& f6,
             const std::string& stamp, const std::string& tag) {
    return {text(f1), text(f2), text(tag + "-F3"), text(tag + "-F4"), text(stamp), f6};
}

Row issue(const db::Value& f1, const db::Value& f2) {
    Row row{f1, f2};
    row.resize(14);
    return row;
}

TEST_F(OwnRulesTest, TheCriteriaOfEachTableLetterForLetter) {
    insertLodges(updatePath, {lodge("St. John's", "", "u"), lodge(db::Value(), db::Value(), "u")});
    insertRows(updatePath, "Issues",
               {issue(text("A1"), text("B2")), issue(text("O'Neil"), db::Value())});
    insertRows(updatePath, "Activities",
               {activity("ABC", "X1", db::Value::integer(12), "2024-01-01", "u"),
                activity("ABD", "X1", db::Value::integer(-3), "2024-01-01", "u"),
                activity("ABE", "X1", db::Value(), "2024-01-01", "u"),
                activity("ABF", "", db::Value::number(2.5), "2024-01-01", "u"),
                activity("ABG", "X1", db::Value::integer(0), "2024-01-01", "u")});
    insertRows(updatePath, "MValues",
               {{db::Value::integer(1001), text("A2"), text("Fine"), text("2024-01-01"),
                 db::Value::number(12.5)}});

    EXPECT_THAT(criteriaOf(merge::lodges()), ElementsAre("F1 Is Null", "F1 = 'St. John''s'"));
    EXPECT_THAT(criteriaOf(merge::issues()),
                ElementsAre("F1 = 'A1' AND F2 = 'B2'", "F1 = 'O''Neil' AND F2 Is Null"));
    EXPECT_THAT(criteriaOf(merge::activities()),
                ElementsAre("F1 = 'ABC' AND F2 = 'X1' AND Str(F6) = ' 12'",
                            "F1 = 'ABD' AND F2 = 'X1' AND Str(F6) = '-3'",
                            "F1 = 'ABE' AND F2 = 'X1' AND F6 Is Null",
                            "F1 = 'ABF' AND F2 = '' AND Str(F6) = ' 2.5'",
                            "F1 = 'ABG' AND F2 = 'X1' AND Str(F6) = ' 0'"));
    EXPECT_THAT(criteriaOf(merge::values()), ElementsAre("IDNUM = '1001' AND ISSUE = 'A2'"));
}

TEST_F(OwnRulesTest, AnActivityNumberMatchesOnlyTheSameNumberAndKeepsTheMainF1AndF6) {
    // 12.0 is 12 and comes first; -12 and 12.5 are other numbers. The second
    // record with 12 is never reached.
    insertRows(mainPath, "Activities",
               {activity("abc", "x1", db::Value::integer(-12), "2024-01-01", "minus"),
                activity("abc", "x1", db::Value::number(12.5), "2024-01-01", "half"),
                activity("abc", "x1", db::Value::number(12.0), "2024-01-01", "twelve point zero"),
                activity("abc", "x1", db::Value::integer(12), "2024-01-01", "twelve")});
    insertRows(updatePath, "Activities",
               {activity("ABC", "X1", db::Value::integer(12), "2024-02-01", "u")});

    EXPECT_EQ(merge::mergeTable(host.merger, merge::activities(), mainPath, updatePath), 1);
    EXPECT_THAT(activitiesOf(mainPath),
                ElementsAre(activity("abc", "x1", db::Value::integer(-12), "2024-01-01", "minus"),
                            activity("abc", "x1", db::Value::number(12.5), "2024-01-01", "half"),
                            Row{text("abc"), text("X1"), text("u-F3"), text("u-F4"),
                                text("2024-02-01 00:00:00"), db::Value::integer(12)},
                            activity("abc", "x1", db::Value::integer(12), "2024-01-01", "twelve")));
}

TEST_F(OwnRulesTest, AnActivityNumberThatIsNoNumberStopsTheMergeWithItsValue) {
    const Row saved = activity("A", "X1", db::Value::integer(1), "2024-01-01 00:00:00", "u");
    insertRows(updatePath, "Activities",
               {saved, activity("B", "X1", text("twelve"), "2024-01-01", "u"),
                activity("C", "X1", db::Value::integer(3), "2024-01-01", "u")});

    const auto error = dbErrorOf(
        [&] { merge::mergeTable(host.merger, merge::activities(), mainPath, updatePath); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->message, "The Activities record with F1 \"B\", F2 \"X1\" in the update "
                              "database \"" +
                                  updatePath +
                                  "\" has \"twelve\" in its key field F6, which must be a "
                                  "number.");
    EXPECT_THAT(activitiesOf(mainPath), ElementsAre(saved)); // saved before the error
    EXPECT_EQ(host.counted(Counter::Activities), 1);
}

TEST_F(OwnRulesTest, ValuesAreCopiedAsTheyAreHeld) {
    const Row numbers{text("1001"), text("A2"), db::Value(), text("2024-01-01 00:00:00"),
                      db::Value::number(12.75)};
    const Row integer{text("1002"), text("A2"), text("Mint"), text("2024-01-01 00:00:00"),
                      db::Value::integer(40)};
    insertRows(updatePath, "MValues", {numbers, integer});

    EXPECT_EQ(merge::mergeTable(host.merger, merge::values(), mainPath, updatePath), 2);
    auto database = db::Database::open(mainPath, VarnholtPassword, db::OpenMode::ReadOnly);
    EXPECT_THAT(rowsOf(*database, "SELECT * FROM MValues ORDER BY _rowid_"),
                ElementsAre(numbers, integer));
}

TEST_F(OwnRulesTest, LodgesCountPastTheSixteenBitLimit) {
    constexpr int records = 32'800;
    std::vector<Lodge> update;
    update.reserve(records);
    for (int i = 0; i < records; ++i)
        update.push_back({text(fmt::format("K{}", i))});
    for (Lodge& record : update)
        record.resize(13);
    insertLodges(updatePath, update);

    EXPECT_EQ(merge::mergeTable(host.merger, merge::lodges(), mainPath, updatePath), records);
    EXPECT_EQ(host.counted(Counter::Lodges), records);
    EXPECT_EQ(lodgesOf(mainPath).size(), static_cast<std::size_t>(records));
}

} // namespace
} // namespace testing_support
