#include "tests/platform/db/DbFixture.h"

#include <gmock/gmock.h>

using db::Recordset;
using db::Value;
using testing::ElementsAre;
using testing::HasSubstr;
using namespace testing_support;

namespace {

class RecordsetTest : public VarnholtFileTest {
protected:
    // The first column of `sql` as text, row by row, run straight on the file.
    std::vector<std::string> column(const std::string& sql) {
        std::vector<std::string> values;
        for (const auto& row : rowsOf(*database, sql))
            values.push_back(row[0].toText());
        return values;
    }
};

Value date(const char* text) {
    return Value::date(*db::DateTime::parse(text));
}

// ---- order and membership ----

TEST_F(RecordsetTest, RecordsComeInQueryOrder) {
    exec("INSERT INTO Lodges (F1) VALUES ('C'), ('A'), ('B')");
    Recordset ascending(database, "SELECT * FROM Lodges ORDER BY F1");
    EXPECT_THAT(walk(ascending, "F1"), ElementsAre("A", "B", "C"));
    Recordset descending(database, "SELECT * FROM Lodges ORDER BY F1 DESC");
    EXPECT_THAT(walk(descending, "F1"), ElementsAre("C", "B", "A"));
    EXPECT_EQ(descending.RecordCount(), 3);
}

// The key index holds every row id, so SQLite may read row ids through it in
// key order while the query itself reads the table in row id order.
TEST_F(RecordsetTest, WithoutOrderByRecordsComeAsTheQueryGivesThem) {
    exec("INSERT INTO Lodges (F1) VALUES ('C'), ('B'), ('A')");
    const std::string query = "SELECT * FROM Lodges";
    Recordset records(database, query);
    EXPECT_EQ(walk(records, "F1"), column(query));
}

TEST_F(RecordsetTest, OrderByColumnNumberKeepsQueryOrder) {
    exec("INSERT INTO Lodges (F1, F2) VALUES ('L1', 'c'), ('L2', 'a'), ('L3', 'b')");
    Recordset records(database, "SELECT F2, F1 FROM Lodges ORDER BY 1");
    EXPECT_THAT(walk(records, "F1"), ElementsAre("L2", "L3", "L1"));
}

TEST_F(RecordsetTest, OrderByAnAliasStaysUpdatable) {
    exec("INSERT INTO Lodges (F1, F2) VALUES ('L1', 'b'), ('L2', 'a')");
    Recordset records(database, "SELECT F1, F2 AS Town FROM Lodges ORDER BY Town");
    EXPECT_THAT(walk(records, "F1"), ElementsAre("L2", "L1"));
    records.MoveFirst();
    records.Edit();
    records.Fields("Town") = Value::text("c");
    records.Update();
    EXPECT_THAT(column("SELECT F2 FROM Lodges WHERE F1 = 'L2'"), ElementsAre("c"));
}

TEST_F(RecordsetTest, RecordsAddedAfterOpeningAreNotInIt) {
    exec("INSERT INTO Lodges (F1) VALUES ('A')");
    Recordset records(database, "SELECT * FROM Lodges");
    exec("INSERT INTO Lodges (F1) VALUES ('B')");
    EXPECT_EQ(records.RecordCount(), 1);
    EXPECT_THAT(walk(records, "F1"), ElementsAre("A"));
}

TEST_F(RecordsetTest, AddNewAppendsAtTheEndNotInSortOrder) {
    exec("INSERT INTO Lodges (F1) VALUES ('C'), ('B')");
    Recordset records(database, "SELECT * FROM Lodges ORDER BY F1");
    records.AddNew();
    records.Fields("F1") = Value::text("A");
    records.Update();
    EXPECT_EQ(records.RecordCount(), 3);
    EXPECT_THAT(walk(records, "F1"), ElementsAre("B", "C", "A"));
}

TEST_F(RecordsetTest, AfterAddNewTheCurrentRecordIsTheOneBefore) {
    exec("INSERT INTO Lodges (F1, F2) VALUES ('A', 'first'), ('B', 'second')");
    Recordset records(database, "SELECT * FROM Lodges ORDER BY F1");
    records.MoveNext();
    records.AddNew();
    // The new record starts empty, whatever the current record holds.
    EXPECT_TRUE(records.Fields("F2").Value().isNull());
    records.Fields("F1") = Value::text("C");
    records.Update();
    EXPECT_EQ(records.Fields("F2").Value(), Value::text("second"));
}

TEST_F(RecordsetTest, TellsTheRowIdOfTheCurrentRecordAndOfTheRecordJustAdded) {
    exec("INSERT INTO Lodges (F1) VALUES ('C'), ('A'), ('B')");
    Recordset records(database, "SELECT * FROM Lodges ORDER BY F1");
    records.FindFirst("F1 = 'b'");
    EXPECT_EQ(records.currentRowId(), 3); // row ids 1 C, 2 A, 3 B
    records.AddNew();
    records.Fields("F1") = Value::text("D");
    records.Update();
    EXPECT_EQ(records.lastRowId(), 4);
    EXPECT_EQ(records.currentRowId(), 3);
    EXPECT_EQ(column("SELECT _rowid_ FROM Lodges WHERE F1 = 'D'"), std::vector<std::string>{"4"});
    records.MoveLast();
    records.MoveNext();
    EXPECT_THROW(records.currentRowId(), db::DbError);
    Recordset empty(database, "SELECT * FROM Issues");
    EXPECT_THROW(empty.lastRowId(), db::DbError);
}

// A merge walks a record set to its end and adds what it did not find; the
// record it adds must not put the walk back on a record.
TEST_F(RecordsetTest, AddNewAtTheEndLeavesTheRecordSetAtItsEnd) {
    exec("INSERT INTO Lodges (F1) VALUES ('A')");
    Recordset records(database, "SELECT * FROM Lodges");
    records.MoveNext();
    ASSERT_TRUE(records.Eof());
    records.AddNew();
    records.Fields("F1") = Value::text("B");
    records.Update();
    EXPECT_TRUE(records.Eof());
    EXPECT_EQ(records.RecordCount(), 2);
}

// ---- moving ----

TEST_F(RecordsetTest, EmptyRecordSetIsAtItsEndAndRefusesMovesAndReads) {
    Recordset records(database, "SELECT * FROM Lodges");
    EXPECT_EQ(records.RecordCount(), 0);
    EXPECT_TRUE(records.Eof());
    EXPECT_TRUE(dbErrorOf([&] { records.MoveFirst(); }));
    EXPECT_TRUE(dbErrorOf([&] { records.MoveLast(); }));
    EXPECT_TRUE(dbErrorOf([&] { records.MoveNext(); }));
    EXPECT_TRUE(dbErrorOf([&] { records.Fields("F1").Value(); }));
    EXPECT_TRUE(dbErrorOf([&] { records.Edit(); }));
}

TEST_F(RecordsetTest, MovesWalkTheRecordsAndStopPastTheEnd) {
    exec("INSERT INTO Lodges (F1) VALUES ('A'), ('B'), ('C')");
    Recordset records(database, "SELECT * FROM Lodges ORDER BY F1");
    EXPECT_EQ(records.Fields("F1").Value(), Value::text("A"));
    records.MoveLast();
    EXPECT_EQ(records.Fields("F1").Value(), Value::text("C"));
    records.MoveNext();
    EXPECT_TRUE(records.Eof());
    EXPECT_TRUE(dbErrorOf([&] { records.Fields("F1").Value(); }));
    EXPECT_TRUE(dbErrorOf([&] { records.MoveNext(); }));
    records.MoveFirst();
    EXPECT_EQ(records.Fields("F1").Value(), Value::text("A"));
    records.MoveNext();
    EXPECT_EQ(records.Fields("F1").Value(), Value::text("B"));
}

// ---- fields, tables and queries that are not there ----

TEST_F(RecordsetTest, FieldNamesIgnoreLetterCaseAndUnknownOnesNameTableAndField) {
    exec("INSERT INTO Lodges (F1) VALUES ('A')");
    Recordset records(database, "SELECT * FROM Lodges");
    EXPECT_EQ(records.Fields("f1").Value(), Value::text("A"));
    const auto error = dbErrorOf([&] { records.Fields("Founded"); });
    ASSERT_TRUE(error);
    EXPECT_THAT(error->message, HasSubstr("Lodges"));
    EXPECT_THAT(error->message, HasSubstr("Founded"));
}

TEST_F(RecordsetTest, MissingTableIsNamedWithTheFile) {
    const auto error = dbErrorOf([&] { Recordset records(database, "SELECT * FROM Chapters"); });
    ASSERT_TRUE(error);
    EXPECT_THAT(error->message, HasSubstr("Chapters"));
    EXPECT_THAT(error->message, HasSubstr(path));
}

TEST_F(RecordsetTest, MissingFieldInTheQueryIsNamed) {
    const auto error =
        dbErrorOf([&] { Recordset records(database, "SELECT F1, Founded FROM Lodges"); });
    ASSERT_TRUE(error);
    EXPECT_THAT(error->message, HasSubstr("Founded"));
}

// A record source is read, never run for its effect: a statement that would
// change the file must not empty a table on the way to an error.
TEST_F(RecordsetTest, RecordSourceThatChangesTheFileIsRefusedAndChangesNothing) {
    exec("INSERT INTO Lodges (F1) VALUES ('A'), ('B')");
    EXPECT_TRUE(dbErrorOf([&] { Recordset records(database, "DELETE FROM Lodges"); }));
    EXPECT_THAT(column("SELECT F1 FROM Lodges ORDER BY F1"), ElementsAre("A", "B"));
}

// ---- changing records ----

TEST_F(RecordsetTest, EditSavesOnlyTheFieldsThatWereSet) {
    exec("INSERT INTO Activities (F1, F2, F3, F4) VALUES ('L1', 'X1', 'old', 'old')");
    Recordset records(database, "SELECT * FROM Activities");
    ASSERT_EQ(records.Fields("F4").Value(), Value::text("old"));
    // F4 changes behind the record set's back; the value it read must not be
    // written back over it.
    exec("UPDATE Activities SET F4 = 'theirs'");
    records.Edit();
    records.Fields("F3") = Value::text("mine");
    EXPECT_EQ(records.Fields("F3").Value(), Value::text("mine"));
    records.Update();
    EXPECT_EQ(records.Fields("F3").Value(), Value::text("mine"));
    const auto rows = rowsOf(*database, "SELECT F3, F4 FROM Activities");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], Value::text("mine"));
    EXPECT_EQ(rows[0][1], Value::text("theirs"));
}

TEST_F(RecordsetTest, AddNewSavesOnlyTheFieldsThatWereSet) {
    exec("CREATE TABLE Notes (K TEXT, Body TEXT DEFAULT 'none', Stamp DATETIME)");
    Recordset records(database, "SELECT * FROM Notes");
    records.AddNew();
    records.Fields("K") = Value::text("k1");
    records.Update();
    const auto rows = rowsOf(*database, "SELECT K, Body, Stamp FROM Notes");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][1], Value::text("none"));
    EXPECT_TRUE(rows[0][2].isNull());
}

TEST_F(RecordsetTest, MovingCancelsAPendingEdit) {
    exec("INSERT INTO Lodges (F1, F2) VALUES ('A', 'kept'), ('B', 'kept')");
    Recordset records(database, "SELECT * FROM Lodges ORDER BY F1");
    records.Edit();
    records.Fields("F2") = Value::text("dropped");
    records.MoveNext();
    EXPECT_TRUE(dbErrorOf([&] { records.Update(); }));
    records.MoveFirst();
    EXPECT_EQ(records.Fields("F2").Value(), Value::text("kept"));
    EXPECT_THAT(column("SELECT F2 FROM Lodges"), ElementsAre("kept", "kept"));
}

TEST_F(RecordsetTest, FieldsCanOnlyBeSetBetweenEditOrAddNewAndUpdate) {
    exec("INSERT INTO Lodges (F1) VALUES ('A')");
    Recordset records(database, "SELECT * FROM Lodges");
    const auto error = dbErrorOf([&] { records.Fields("F2") = Value::text("x"); });
    ASSERT_TRUE(error);
    EXPECT_THAT(error->message, HasSubstr("F2"));
    EXPECT_TRUE(dbErrorOf([&] { records.Update(); }));
    records.Edit();
    records.Fields("F2") = Value::text("x");
    records.MoveFirst(); // leaves the edit unsaved
    EXPECT_TRUE(dbErrorOf([&] { records.Fields("F2") = Value::text("y"); }));
    EXPECT_THAT(column("SELECT F2 FROM Lodges"), ElementsAre(""));
}

// ---- values by the type the column declares ----

TEST_F(RecordsetTest, DateFieldReadsStoredTextInAllThreeSpellings) {
    exec("INSERT INTO Activities (F1, F5) VALUES ('a', '2024-03-01'), "
         "('b', '2024-03-01T10:11:12'), ('c', '2024-03-01 10:11:12'), ('d', NULL)");
    Recordset records(database, "SELECT * FROM Activities ORDER BY F1");
    std::vector<Value> seen;
    for (; !records.Eof(); records.MoveNext())
        seen.push_back(records.Fields("F5").Value());
    EXPECT_THAT(seen, ElementsAre(date("2024-03-01"), date("2024-03-01 10:11:12"),
                                  date("2024-03-01 10:11:12"), Value()));
}

TEST_F(RecordsetTest, DateFieldHoldingJunkIsAnErrorNamingTableFieldAndValue) {
    exec("INSERT INTO Activities (F1, F5) VALUES ('L1', 'next Tuesday')");
    Recordset records(database, "SELECT * FROM Activities");
    EXPECT_EQ(records.Fields("F1").Value(), Value::text("L1"));
    const auto error = dbErrorOf([&] { records.Fields("F5").Value(); });
    ASSERT_TRUE(error);
    EXPECT_THAT(error->message, HasSubstr("Activities"));
    EXPECT_THAT(error->message, HasSubstr("F5"));
    EXPECT_THAT(error->message, HasSubstr("next Tuesday"));
}

// SQLite gives DATETIME columns numeric affinity, so a stray "45000" or
// "2024" lands there as a number; it is no more a date than a stray word.
TEST_F(RecordsetTest, DateFieldHoldingANumberIsAnErrorNamingTableFieldAndValue) {
    exec("INSERT INTO Activities (F1, F5) VALUES ('L1', '45000')");
    ASSERT_EQ(rowsOf(*database, "SELECT typeof(F5) FROM Activities")[0][0], Value::text("integer"));
    Recordset records(database, "SELECT * FROM Activities");
    const auto error = dbErrorOf([&] { records.Fields("F5").Value(); });
    ASSERT_TRUE(error);
    EXPECT_THAT(error->message, HasSubstr("Activities"));
    EXPECT_THAT(error->message, HasSubstr("F5"));
    EXPECT_THAT(error->message, HasSubstr("45000"));
}

TEST_F(RecordsetTest, DateFieldIsWrittenInTheFullFormAndRefusesNonDates) {
    exec("INSERT INTO Activities (F1) VALUES ('L1')");
    Recordset records(database, "SELECT * FROM Activities");
    records.Edit();
    for (const Value& refused : {Value::text("soon"), Value::integer(45000)}) {
        const auto error = dbErrorOf([&] {
            records.Fields("F5") = refused;
            records.Update();
        });
        ASSERT_TRUE(error) << refused.describe();
        EXPECT_THAT(error->message, HasSubstr("F5"));
        EXPECT_THAT(error->message, HasSubstr(refused.toText()));
    }
    EXPECT_TRUE(rowsOf(*database, "SELECT F5 FROM Activities")[0][0].isNull());

    records.MoveFirst();
    records.Edit();
    records.Fields("F5") = date("2024-03-01");
    records.Update();
    EXPECT_THAT(column("SELECT F5 FROM Activities"), ElementsAre("2024-03-01 00:00:00"));
    records.Edit();
    records.Fields("F5") = Value::text("2024-03-02T10:11:12");
    records.Update();
    EXPECT_THAT(column("SELECT F5 FROM Activities"), ElementsAre("2024-03-02 10:11:12"));
    EXPECT_EQ(records.Fields("F5").Value(), date("2024-03-02 10:11:12"));
}

TEST_F(RecordsetTest, NumericFieldTakesNumbersAndNumericTextOnly) {
    exec("INSERT INTO Activities (F1) VALUES ('L1')");
    Recordset records(database, "SELECT * FROM Activities");
    records.Edit();
    for (const Value& refused : {Value::text("twelve"), date("2024-03-01")}) {
        const auto error = dbErrorOf([&] {
            records.Fields("F6") = refused;
            records.Update();
        });
        ASSERT_TRUE(error) << refused.describe();
        EXPECT_THAT(error->message, HasSubstr("F6"));
        EXPECT_THAT(error->message, HasSubstr(refused.toText()));
    }
    records.MoveFirst();
    records.Edit();
    records.Fields("F6") = Value::text("12.5");
    records.Update();
    const auto stored = rowsOf(*database, "SELECT F6, typeof(F6) FROM Activities")[0];
    EXPECT_EQ(stored[0], Value::number(12.5));
    EXPECT_EQ(stored[1], Value::text("real"));
}

TEST_F(RecordsetTest, TextFieldStoresNumbersAsTheirText) {
    exec("INSERT INTO Activities (F1) VALUES ('L1')");
    Recordset records(database, "SELECT * FROM Activities");
    records.Edit();
    // A whole number held as a real is written without ".0", as it reads.
    records.Fields("F3") = Value::number(12.0);
    records.Fields("F4") = Value::number(2.5);
    records.Update();
    const auto stored =
        rowsOf(*database, "SELECT F3, typeof(F3), F4, typeof(F4) FROM Activities")[0];
    EXPECT_THAT(stored, ElementsAre(Value::text("12"), Value::text("text"), Value::text("2.5"),
                                    Value::text("text")));
}

TEST_F(RecordsetTest, NumbersKeepWhetherTheyWereStoredWhole) {
    exec("INSERT INTO Activities (F1, F6) VALUES ('a', 12), ('b', 2.5)");
    Recordset records(database, "SELECT * FROM Activities ORDER BY F1");
    EXPECT_EQ(records.Fields("F6").Value(), Value::integer(12));
    records.MoveNext();
    EXPECT_EQ(records.Fields("F6").Value(), Value::number(2.5));
}

// A file held alone skips the fields whose stored value an overwrite keeps;
// a file not held writes every field given. Both must end up the same, value
// by value, storage class by storage class, index entry by index entry, and
// the skip must happen exactly where nothing changes.
TEST_F(RecordsetTest, OverwriteThatSkipsUnchangedFieldsLeavesWhatWritingEveryFieldLeaves) {
    const std::string schema =
        "CREATE TABLE T (K TEXT COLLATE NOCASE, U, R REAL, I INTEGER, N NUMERIC, X TEXT, "
        "D DATETIME); CREATE INDEX T_key ON T (K); CREATE INDEX T_values ON T (U, R, I, N, D)";
    exec(schema);
    const auto held = db::Database::create(dir.file("held.mdb"), VarnholtPassword);
    held->exec(schema, "test setup");
    held->holdExclusively();

    struct Case {
        const char* field;
        const char* stored; // an SQL literal
        Value written;
        bool skipped; // the record needs no writing at all
    };
    const std::vector<Case> cases = {
        {"K", "'ABC'", Value::text("abc"), false},
        {"K", "'abc'", Value::text("abc"), true},
        {"U", "12", Value::number(12.0), false},
        {"U", "12.0", Value::integer(12), false},
        {"U", "12", Value::integer(12), true},
        {"U", "'12'", Value::integer(12), false},
        {"U", "12", Value::text("12"), false},
        {"U", "NULL", Value::text(""), false},
        {"U", "''", Value(), false},
        {"U", "0.0", Value::number(-0.0), false},
        {"U", "2.5", Value::number(2.5), true},
        {"R", "12.0", Value::integer(12), false},
        {"R", "12", Value::number(12.0), true},
        {"I", "12", Value::number(12.0), false},
        {"I", "12.5", Value::number(12.5), true},
        {"N", "12", Value::text("12"), true},
        {"N", "12", Value::text("12.0"), false},
        {"X", "'12'", Value::integer(12), true},
        {"X", "'12.0'", Value::number(12.0), false},
        {"D", "'2026-12-10'", date("2026-12-10"), false},
        {"D", "'2026-12-10 00:00:00'", date("2026-12-10"), true},
        {"D", "'2026-12-10 00:00:00'", Value::text("2026-12-10"), true},
        {"D", "'2026-12-10T00:00:00'", date("2026-12-10"), false},
    };
    const std::string stored = "SELECT quote(K), typeof(K), quote(U), typeof(U), quote(R), "
                               "typeof(R), quote(I), typeof(I), quote(N), typeof(N), quote(X), "
                               "typeof(X), quote(D), typeof(D) FROM T";
    const std::string indexed = "SELECT quote(K) FROM T INDEXED BY T_key WHERE K IS NOT NULL "
                                "UNION ALL SELECT quote(U) || quote(R) || quote(I) || quote(N) "
                                "|| quote(D) FROM T INDEXED BY T_values WHERE U IS NOT NULL "
                                "OR U IS NULL";
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.field) + " holding " + c.stored + ", given " +
                     c.written.describe());
        std::vector<int> changes;
        for (db::Database* file : {database.get(), held.get()}) {
            file->exec("DELETE FROM T; INSERT INTO T (K, U, R, I, N, X, D) VALUES ('k', 1, 1, "
                       "1, 1, 'x', '2026-01-01 00:00:00')",
                       "test setup");
            file->exec(std::string("UPDATE T SET ") + c.field + " = " + c.stored, "test setup");
            const int before = sqlite3_total_changes(file->handle());
            Recordset records(file == held.get() ? held : database, "SELECT * FROM T");
            ASSERT_FALSE(records.Fields("K").Value().isNull());
            records.Edit();
            records.Fields(c.field) = c.written;
            if (std::string(c.field) != "K")
                records.Fields("K") = Value::text("k"); // the key, as an update gives it
            records.Update();
            changes.push_back(sqlite3_total_changes(file->handle()) - before);
        }
        held->commitTransaction();
        EXPECT_EQ(changes[0], 1);
        EXPECT_EQ(changes[1], c.skipped ? 0 : 1);
        EXPECT_EQ(rowsOf(*held, stored), rowsOf(*database, stored));
        EXPECT_EQ(rowsOf(*held, indexed), rowsOf(*database, indexed));
        EXPECT_EQ(rowsOf(*held, "PRAGMA integrity_check"),
                  rowsOf(*database, "PRAGMA integrity_check"));
    }
}

// ---- record sources a record set refuses ----

TEST_F(RecordsetTest, QueriesOverSeveralTablesGroupsAndViewsAreRefusedSayingWhy) {
    exec("INSERT INTO Lodges (F1) VALUES ('L1'), ('L2')");
    exec("INSERT INTO Activities (F1, F2, F3) VALUES ('L1', 'X1', 'a'), ('L1', 'X2', 'b')");
    exec("CREATE VIEW Towns AS SELECT F1, F2 FROM Lodges WHERE F2 <> 'Oslo'");
    for (const std::string query : {
             "SELECT L.F1, A.F3 FROM Lodges L JOIN Activities A ON A.F1 = L.F1 ORDER BY A.F3",
             "SELECT L.F1, A.F3 FROM Lodges L, Activities A WHERE A.F1 = L.F1",
             "SELECT F1, count(*) AS N FROM Activities GROUP BY F1",
             "SELECT DISTINCT F1 FROM Activities",
             "SELECT max(F1) AS F1 FROM Activities",
             "SELECT * FROM Towns",
         }) {
        SCOPED_TRACE(query);
        const auto error = dbErrorOf([&] { Recordset records(database, query); });
        ASSERT_TRUE(error);
        EXPECT_THAT(error->message, HasSubstr("\"" + query + "\" cannot be opened: "));
        EXPECT_THAT(error->message, HasSubstr("one table"));
    }
    EXPECT_THAT(column("SELECT count(*) FROM Activities"), ElementsAre("2"));
}

TEST_F(RecordsetTest, ReadOnlyConnectionRefusesChangesAndLeavesTheFileByteForByte) {
    exec("INSERT INTO Lodges (F1) VALUES ('A')");
    database->Close();
    const std::string before = readFile(path);
    {
        Recordset records(openFile(db::OpenMode::ReadOnly), "SELECT * FROM Lodges");
        EXPECT_EQ(records.Fields("F1").Value(), Value::text("A"));
        records.FindFirst("F1 = 'a'");
        EXPECT_FALSE(records.NoMatch());
        const auto error = dbErrorOf([&] { records.Edit(); });
        ASSERT_TRUE(error);
        EXPECT_THAT(error->message, HasSubstr(path));
        EXPECT_TRUE(dbErrorOf([&] { records.AddNew(); }));
    }
    EXPECT_EQ(readFile(path), before);
    EXPECT_THAT(sideFilesOf(path), testing::IsEmpty());
}

} // namespace
