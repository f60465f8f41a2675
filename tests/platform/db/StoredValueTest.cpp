#include "platform/db/StoredValue.h"

#include "tests/platform/db/DbFixture.h"

#include <gmock/gmock.h>

using db::StoredValue;
using testing::ElementsAre;
using namespace testing_support;

namespace {

using Type = StoredValue::Type;

class StoredValueTest : public VarnholtFileTest {
protected:
    std::vector<db::StoredRow> rows(const std::string& sql) {
        db::Statement select(database->handle(), sql);
        std::vector<db::StoredRow> found;
        while (select.step("test query"))
            found.push_back(db::storedRow(select, 0, select.columnCount()));
        return found;
    }
};

TEST_F(StoredValueTest, KeepsEveryStorageClassAndWritesItBackTheSame) {
    exec("INSERT INTO Lodges (F1, F2, F3, F4, F5, F12) "
         "VALUES ('1', 12.5, X'00FF10', NULL, 7, '1996-08-04')");
    const auto stored = rows("SELECT F1, F2, F3, F4, F5, F12 FROM Lodges");
    ASSERT_EQ(stored.size(), 1u);
    const db::StoredRow& row = stored.front();
    EXPECT_EQ(row[0], StoredValue::text("1"));
    EXPECT_EQ(row[1], StoredValue::text("12.5")); // a TEXT column stores numbers as text
    EXPECT_EQ(row[2], StoredValue::blob(std::string("\0\xff\x10", 3)));
    EXPECT_TRUE(row[3].isNull());
    EXPECT_EQ(row[4], StoredValue::text("7"));
    EXPECT_EQ(row[5], StoredValue::text("1996-08-04"));

    db::Statement insert(database->handle(),
                         "INSERT INTO Lodges (F1, F2, F3, F4, F5, F12) VALUES (?, ?, ?, ?, ?, ?)");
    for (std::size_t i = 0; i < row.size(); ++i)
        row[i].bindTo(insert, static_cast<int>(i + 1));
    insert.step("test insert");
    const auto both = rows("SELECT F1, F2, F3, F4, F5, F12 FROM Lodges ORDER BY _rowid_");
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(both[1], both[0]);
}

TEST_F(StoredValueTest, TellsAnIntegerFromARealAndTextFromANumber) {
    EXPECT_NE(StoredValue::integer(1), StoredValue::real(1.0));
    EXPECT_NE(StoredValue::text("1"), StoredValue::integer(1));
    EXPECT_NE(StoredValue::text("ab"), StoredValue::blob("ab"));
    EXPECT_EQ(StoredValue::integer(1).type(), Type::Integer);
    EXPECT_EQ(StoredValue::real(1).type(), Type::Real);
}

TEST_F(StoredValueTest, IsShownAsExportWritesIt) {
    EXPECT_EQ(StoredValue().exportText(), std::nullopt);
    EXPECT_EQ(StoredValue::text("").exportText(), std::optional<std::string>(""));
    EXPECT_EQ(StoredValue::integer(-7).exportText(), std::optional<std::string>("-7"));
    EXPECT_EQ(StoredValue::real(12.5).exportText(), std::optional<std::string>("12.5"));
    EXPECT_EQ(StoredValue::real(3).exportText(), std::optional<std::string>("3"));
    EXPECT_EQ(StoredValue::blob(std::string("\0\xff", 2)).exportText(),
              std::optional<std::string>("X'00FF'"));
    EXPECT_EQ(StoredValue::blob("x").describe(), "binary data");
}

// A column declared with affinityOf() of another's declared type stores
// every value as that other column does: checked by the engine itself.
TEST_F(StoredValueTest, AColumnOfTheAffinityStoresValuesAsTheDeclaredTypeDoes) {
    const std::vector<std::string> declared = {"TEXT",
                                               "TEXT COLLATE NOCASE",
                                               "VARCHAR(20)",
                                               "DATETIME",
                                               "NUMERIC",
                                               "DECIMAL(10,2)",
                                               "INTEGER",
                                               "BIGINT",
                                               "REAL",
                                               "DOUBLE PRECISION",
                                               "FLOAT",
                                               "BLOB",
                                               "",
                                               "BOOLEAN",
                                               "CHARINT"};
    std::string original = "CREATE TABLE Original (", mirror = "CREATE TABLE Mirror (";
    for (std::size_t i = 0; i < declared.size(); ++i) {
        const std::string name = (i ? ", c" : "c") + std::to_string(i);
        original += name + " " + declared[i];
        mirror += name + " " + db::affinityOf(declared[i]);
    }
    exec(original + "); " + mirror + ");");
    for (const char* value : {"'12'", "' 12 '", "'12.0'", "12.0", "12.5", "'abc'", "X'01'",
                              "'2020-01-01 10:00:00'", "NULL", "'1e3'"}) {
        std::string values;
        for (std::size_t i = 0; i < declared.size(); ++i)
            values += std::string(i ? ", " : "") + value;
        exec("INSERT INTO Original VALUES (" + values + "); INSERT INTO Mirror VALUES (" + values +
             ");");
    }
    EXPECT_EQ(rows("SELECT * FROM Mirror ORDER BY _rowid_"),
              rows("SELECT * FROM Original ORDER BY _rowid_"));
    EXPECT_EQ(db::affinityOf("CHARINT"), "INTEGER"); // "INT" is looked for first
}

} // namespace
