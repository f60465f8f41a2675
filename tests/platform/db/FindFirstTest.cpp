#include "platform/db/Criteria.h"
#include "tests/platform/db/DbFixture.h"

#include <gmock/gmock.h>

using db::Recordset;
using db::Value;
using testing::HasSubstr;
using namespace testing_support;

namespace {

// Activities with repeated keys, mixed letter case, quotes in texts, and
// numbers of every sign; F3 tells the records apart. The searches only read,
// so the whole suite shares one file and one connection.
class FindFirstTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = std::make_unique<TempDir>();
        database = db::Database::create(folder->file("Varnholt.mdb"), VarnholtPassword);
        testing_support::makeVarnholtTables(*database);
        database->exec(R"(INSERT INTO Activities (rowid, F1, F2, F3, F4, F6) VALUES
            (1, 'ABC', 'X1', 'first', NULL, -12),
            (2, 'ABC', 'X1', 'second', 'note', 12.0),
            (3, 'abc', 'x2', 'Mint', NULL, 12),
            (4, 'DEF', 'X1', 'O''Brien', 'say "hi"', -3),
            (5, 'DEF', 'X2', 'zero', 'n', 0),
            (6, 'GHI', 'X1', 'half', 'n', 2.5),
            (7, 'GHI', 'X2', 'none', 'n', NULL),
            (8, 'JKL', 'X1', 'x'' OR 1=1 --', 'n', NULL);
            INSERT INTO Lodges (F1) VALUES ('ABC'), ('DEF');
            CREATE TABLE Prices (K TEXT, V REAL, W);
            INSERT INTO Prices VALUES ('k', 12.0, 12.0))",
                       "test setup");
    }

    static void TearDownTestSuite() {
        database.reset();
        folder.reset();
    }

    // F3 of the record FindFirst stands on, or "no match".
    static std::string find(Recordset& records, const std::string& criteria) {
        records.FindFirst(criteria);
        return records.NoMatch() ? "no match" : records.Fields("F3").Value().toText();
    }

    static std::string findInRowidOrder(const std::string& criteria) {
        Recordset records(database, "SELECT * FROM Activities ORDER BY rowid");
        return find(records, criteria);
    }

    static inline std::unique_ptr<TempDir> folder;
    static inline std::shared_ptr<db::Database> database;
};

// ---- which record is found ----

TEST_F(FindFirstTest, PicksFirstMatchInRecordSetOrderNotRowIdOrder) {
    Recordset descending(database, "SELECT * FROM Activities ORDER BY F1, F3 DESC");
    EXPECT_EQ(find(descending, "F1 = 'ABC' AND F2 = 'X1'"), "second");
    Recordset ascending(database, "SELECT * FROM Activities ORDER BY F1, F3");
    EXPECT_EQ(find(ascending, "F1 = 'ABC' AND F2 = 'X1'"), "first");
}

TEST_F(FindFirstTest, FindsOnlyRecordsOfTheRecordSet) {
    Recordset records(database, "SELECT * FROM Activities WHERE F6 > 0 ORDER BY F3");
    EXPECT_EQ(find(records, "F1 = 'ABC' AND F2 = 'X1'"), "second");
    EXPECT_EQ(find(records, "F3 = 'first'"), "no match");
}

TEST_F(FindFirstTest, NoMatchIsSetAndClearedByEachSearch) {
    Recordset records(database, "SELECT * FROM Activities ORDER BY rowid");
    records.FindFirst("F3 = 'absent'");
    EXPECT_TRUE(records.NoMatch());
    records.FindFirst("F3 = 'zero'");
    EXPECT_FALSE(records.NoMatch());
    EXPECT_EQ(records.Fields("F1").Value(), Value::text("DEF"));
}

using FindFirstAfterAddNewTest = VarnholtFileTest;

TEST_F(FindFirstAfterAddNewTest, RecordAddedThroughTheRecordSetIsFoundAfterTheOthers) {
    exec("INSERT INTO Activities (F1, F2, F3) VALUES ('ABC', 'X1', 'first'), ('ABC', 'X1', 'b')");
    Recordset records(database, "SELECT * FROM Activities ORDER BY F3");
    records.AddNew();
    records.Fields("F1") = Value::text("ABC");
    records.Fields("F2") = Value::text("X1");
    records.Fields("F3") = Value::text("a");
    records.Update();
    records.FindFirst("F1 = 'ABC' AND F2 = 'X1'");
    EXPECT_EQ(records.Fields("F3").Value(), Value::text("b"));
    records.FindFirst("F3 = 'a'");
    ASSERT_FALSE(records.NoMatch());
    records.MoveNext();
    EXPECT_TRUE(records.Eof());
}

// ---- keys compared whole ----

using WholeTextTest = VarnholtFileTest;

TEST_F(WholeTextTest, TextComparesEveryCharacterPastANulIgnoringOnlyAsciiLetterCase) {
    using namespace std::string_literals;
    db::Statement insert(database->handle(), "INSERT INTO Lodges (F1, F2) VALUES (?, ?)");
    for (const auto& [key, tag] : std::vector<std::pair<std::string, std::string>>{
             {"A\0BC"s, "nul"}, {"\xc3\x89t\xc3\xa9"s, "accented"}, {"plain"s, "plain"}}) {
        insert.bind(1, Value::text(key));
        insert.bind(2, Value::text(tag));
        insert.run("test setup");
        insert.reset();
    }
    Recordset records(database, "SELECT * FROM Lodges ORDER BY F1");
    const auto found = [&](const std::string& key) {
        records.FindFirst("F1 = '" + key + "'");
        return records.NoMatch() ? "no match" : records.Fields("F2").Value().toText();
    };
    EXPECT_EQ(found("A\0BC"s), "nul");
    EXPECT_EQ(found("a\0bc"s), "nul");
    EXPECT_EQ(found("A\0BD"s), "no match"); // same length, differs after the NUL
    EXPECT_EQ(found("A\0B"s), "no match");
    EXPECT_EQ(found("A\0BC\0"s), "no match");
    EXPECT_EQ(found("A"), "no match");
    EXPECT_EQ(found("\xc3\x89t\xc3\xa9"s), "accented");
    EXPECT_EQ(found("\xc3\xa9t\xc3\xa9"s), "no match"); // not an ASCII letter
    EXPECT_EQ(found("PLAIN"), "plain");
}

TEST_F(WholeTextTest, KeySearchesAreServedByTheKeyIndexes) {
    const auto plan = [&](const std::string& table, const std::string& criteria) {
        const std::string condition =
            db::sqlCondition(db::parseCriteria(criteria), db::quoteIdentifier);
        std::string detail;
        for (const auto& row : rowsOf(*database, "EXPLAIN QUERY PLAN SELECT _rowid_ FROM " + table +
                                                     " WHERE " + condition))
            detail += row.back().asText() + "\n";
        return detail;
    };
    EXPECT_THAT(plan("Lodges", "F1 = 'x'"), HasSubstr("INDEX Lodges_key (F1=?)"));
    EXPECT_THAT(plan("Issues", "F1 = 'x' AND F2 = 'y'"),
                HasSubstr("INDEX Issues_key (F1=? AND F2=?)"));
    EXPECT_THAT(plan("Issues", "F1 = 'x' AND F2 Is Null"),
                HasSubstr("INDEX Issues_key (F1=? AND F2=?)"));
    EXPECT_THAT(plan("Activities", "F1 = 'x' AND F2 = 'y' AND Str(F6) = ' 1'"),
                HasSubstr("INDEX Activities_key (F1=? AND F2=?)"));
    EXPECT_THAT(plan("MValues", "IDNUM = 'x' AND ISSUE = 'y'"),
                HasSubstr("INDEX MValues_key (IDNUM=? AND ISSUE=?)"));
}

// ---- the criteria ----

TEST_F(FindFirstTest, TextComparisonIgnoresLetterCaseEvenWithoutNocaseColumn) {
    EXPECT_EQ(findInRowidOrder("F3 = 'MINT'"), "Mint");
    EXPECT_EQ(findInRowidOrder("F3 = 'mint'"), "Mint");
    EXPECT_EQ(findInRowidOrder("F1 = 'abc' AND F2 = 'X2'"), "Mint");
}

TEST_F(FindFirstTest, QuotedTextTakesADoubledQuoteForOne) {
    EXPECT_EQ(findInRowidOrder("F3 = 'O''Brien'"), "O'Brien");
    EXPECT_EQ(findInRowidOrder("F4 = 'say \"hi\"'"), "O'Brien");
}

TEST_F(FindFirstTest, FieldNamesAndKeywordsIgnoreLetterCase) {
    EXPECT_EQ(findInRowidOrder("f3 = 'half' and f1='GHI'"), "half");
    EXPECT_EQ(findInRowidOrder("str(f6) = ' 2.5'"), "half");
}

TEST_F(FindFirstTest, IsNull) {
    EXPECT_EQ(findInRowidOrder("F4 Is Null"), "first");
    EXPECT_EQ(findInRowidOrder("F6 is null"), "none");
    EXPECT_EQ(findInRowidOrder("F1 = 'GHI' AND F6 IS NULL"), "none");
}

TEST_F(FindFirstTest, StrGivesABlankBeforeZeroAndPositiveNumbersAndAMinusBeforeNegative) {
    EXPECT_EQ(findInRowidOrder("F1 = 'ABC' AND F2 = 'X1' AND Str(F6) = ' 12'"), "second");
    EXPECT_EQ(findInRowidOrder("Str(F6) = '-12'"), "first");
    EXPECT_EQ(findInRowidOrder("Str(F6) = '-3'"), "O'Brien");
    EXPECT_EQ(findInRowidOrder("Str(F6)='-3'"), "O'Brien");
    EXPECT_EQ(findInRowidOrder("Str(F6) = ' 0'"), "zero");
    EXPECT_EQ(findInRowidOrder("Str(F6) = ' 2.5'"), "half");
    EXPECT_EQ(findInRowidOrder("str(F6) = '12'"), "no match");
}

TEST_F(FindFirstTest, StrOfAWholeNumberStoredAsRealHasNoDecimals) {
    Recordset records(database, "SELECT * FROM Prices");
    records.FindFirst("Str(V) = ' 12' AND Str(W) = ' 12'");
    EXPECT_FALSE(records.NoMatch());
}

// Literals are bound, never pasted into the SQL: a text that reads like SQL
// only ever matches itself.
TEST_F(FindFirstTest, LiteralThatReadsLikeSqlMatchesOnlyThatText) {
    EXPECT_EQ(findInRowidOrder("F3 = 'x'' OR 1=1 --'"), "x' OR 1=1 --");
    EXPECT_EQ(rowsOf(*database, "SELECT count(*) FROM Activities")[0][0], Value::integer(8));
}

// ---- criteria that cannot be used ----

TEST_F(FindFirstTest, CriteriaThatDoNotParseAreAnErrorQuotingThem) {
    Recordset records(database, "SELECT * FROM Activities ORDER BY rowid");
    for (const std::string criteria : {
             "F3 = 'Mint",
             "F3 = \"Mint",
             "F3 =",
             "F3 = 'Mint' extra",
             "F3 = 'Mint')",
             "(F3 = 'Mint'",
             "F3 'Mint'",
             "F3 = 'a' AND",
             "F3 = AND F1 = 'ABC'",
             "F3 == 'Mint'",
             "F3 Is Empty",
             "Left(F3, 1) = 'M'",
             "F3 = 'Mint'; DROP TABLE Activities",
             // Only what the merges write is read: no other operator, no OR,
             // NOT or parentheses, text only in single quotes.
             "F3 = 'zero' OR F3 = 'half'",
             "NOT F1 = 'ABC'",
             "(F1 = 'DEF') AND F2 = 'X2'",
             "F6 <> 12",
             "F6 > 0",
             "F6 = 12",
             "F3 = \"Mint\"",
             "[F3] = 'half'",
             "F4 Is Not Null",
             "Str(F6) Is Null",
             "",
             "   ",
         }) {
        SCOPED_TRACE(criteria);
        const auto error = dbErrorOf([&] { records.FindFirst(criteria); });
        ASSERT_TRUE(error);
        EXPECT_THAT(error->message, HasSubstr("\"" + criteria + "\""));
    }
    EXPECT_EQ(rowsOf(*database, "SELECT count(*) FROM Activities")[0][0], Value::integer(8));
}

TEST_F(FindFirstTest, UnknownFieldIsAnErrorNamingIt) {
    Recordset records(database, "SELECT F1, F2, F3 FROM Activities");
    for (const std::string criteria : {"Founded = 'x'", "Str(F6) = ' 12'"}) {
        SCOPED_TRACE(criteria);
        const auto error = dbErrorOf([&] { records.FindFirst(criteria); });
        ASSERT_TRUE(error);
        EXPECT_THAT(error->message, HasSubstr(criteria));
    }
}

} // namespace
