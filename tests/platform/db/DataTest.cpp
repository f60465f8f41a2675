#include "platform/db/Data.h"

#include "platform/db/ConnectText.h"
#include "tests/platform/db/DbFixture.h"

#include <gmock/gmock.h>

using db::Data;
using db::Value;
using testing::HasSubstr;
using testing::IsEmpty;
using namespace testing_support;

namespace {

const std::string VarnholtConnect = "MS Access;PWD=" + VarnholtPassword + ";";

// ---- connect texts ----

TEST(ConnectText, PasswordRunsToTheFinalSemicolon) {
    EXPECT_EQ(db::passwordFromConnect(VarnholtConnect), VarnholtPassword);
    EXPECT_EQ(db::passwordFromConnect("ms access;pwd=Kor240853;"), "Kor240853");
    EXPECT_EQ(db::passwordFromConnect("MS Access;PWD=a'b;c\"d;"), "a'b;c\"d");
    EXPECT_EQ(db::passwordFromConnect("MS Access;PWD=ends in;;"), "ends in;");
}

TEST(ConnectText, FormsWithoutAPasswordGiveAnEmptyOne) {
    for (const std::string connect : {"", "Access", "MS Access;", "MS Access;PWD=;"})
        EXPECT_EQ(db::passwordFromConnect(connect), "") << connect;
}

TEST(ConnectText, OtherTextsAreAnErrorQuotingThem) {
    for (const std::string connect :
         {"ODBC;DSN=Varnholt", "MS Access;UID=admin;", "Excel 8.0;", "MS Access PWD=x;"}) {
        SCOPED_TRACE(connect);
        const auto error = dbErrorOf([&] { db::passwordFromConnect(connect); });
        ASSERT_TRUE(error);
        EXPECT_THAT(error->message, HasSubstr("\"" + connect + "\""));
    }
}

// ---- data connections ----

class DataTest : public VarnholtFileTest {
protected:
    void SetUp() override {
        VarnholtFileTest::SetUp();
        exec("INSERT INTO Lodges (F1, F2) VALUES ('B', 'Bergen'), ('A', 'Oslo')");
        database->Close();
        data.Connect = VarnholtConnect;
        data.DatabaseName = path;
        data.RecordSource = "SELECT * FROM Lodges ORDER BY F1";
    }

    Data data{"Data1"};
};

TEST_F(DataTest, RefreshOpensWithThePasswordOfTheConnectTextAndStandsOnTheFirstRecord) {
    data.Refresh();
    EXPECT_EQ(data.Recordset().RecordCount(), 2);
    EXPECT_EQ(data.Recordset().Fields("F2").Value(), Value::text("Oslo"));
    EXPECT_EQ(data.Database().path(), path);
}

TEST_F(DataTest, SavedRecordsAreInTheFileAndCloseRestoresTheJournalMode) {
    data.Refresh();
    data.Recordset().AddNew();
    data.Recordset().Fields("F1") = Value::text("C");
    data.Recordset().Update();
    data.Close();
    EXPECT_THAT(sideFilesOf(path), IsEmpty());
    EXPECT_EQ(testing_support::journalModeOnDisk(path), "delete");
    database = openFile(db::OpenMode::ReadOnly);
    EXPECT_EQ(rowsOf(*database, "SELECT count(*) FROM Lodges WHERE F1 = 'C'")[0][0],
              Value::integer(1));
}

TEST_F(DataTest, PasswordWithQuotesAndSemicolonsWorksEndToEnd) {
    const std::string password = "a'b;c\"d";
    const std::string file = dir.file("Quoted.mdb");
    testing_support::makeVarnholtTables(*db::Database::create(file, password));
    data.DatabaseName = file;
    data.Connect = "MS Access;PWD=a'b;c\"d;";
    data.Refresh();
    data.Recordset().AddNew();
    data.Recordset().Fields("F1") = Value::text("Q");
    data.Recordset().Update();
    data.Close();
    EXPECT_EQ(rowsOf(*db::Database::open(file, password, db::OpenMode::ReadOnly),
                     "SELECT F1 FROM Lodges")[0][0],
              Value::text("Q"));
}

TEST_F(DataTest, UnreadableConnectTextIsAnErrorQuotingItAndTheFileIsNotTouched) {
    const std::string before = readFile(path);
    data.Connect = "ODBC;DSN=Varnholt;PWD=" + VarnholtPassword;
    const auto error = dbErrorOf([&] { data.Refresh(); });
    ASSERT_TRUE(error);
    EXPECT_THAT(error->message, HasSubstr("\"" + data.Connect + "\""));
    EXPECT_FALSE(data.hasRecordset());
    EXPECT_EQ(readFile(path), before);
}

TEST_F(DataTest, WrongPasswordIsReportedAndLeavesTheFileByteForByte) {
    const std::string before = readFile(path);
    data.Connect = "MS Access;PWD=Kor240854;";
    const auto error = dbErrorOf([&] { data.Refresh(); });
    ASSERT_TRUE(error);
    EXPECT_THAT(error->message, HasSubstr(path));
    EXPECT_THAT(error->message,
                HasSubstr("the password is wrong, or the file is not a Varnholt database"));
    EXPECT_EQ(readFile(path), before);
    EXPECT_THAT(sideFilesOf(path), IsEmpty());
}

TEST_F(DataTest, MissingFileIsReportedAndNotCreated) {
    data.DatabaseName = dir.file("Elsewhere.mdb");
    const auto error = dbErrorOf([&] { data.Refresh(); });
    ASSERT_TRUE(error);
    EXPECT_THAT(error->message, HasSubstr("does not exist"));
    EXPECT_FALSE(std::filesystem::exists(data.DatabaseName));
}

TEST_F(DataTest, ConnectTextsWithoutPasswordOpenAnUnencryptedFile) {
    const std::string plain = dir.file("Plain.mdb");
    {
        auto unencrypted = db::Database::create(plain, "");
        testing_support::makeVarnholtTables(*unencrypted);
        unencrypted->exec("INSERT INTO Lodges (F1) VALUES ('P')", "test setup");
    }
    Data plainData;
    EXPECT_EQ(plainData.Connect, "Access");
    plainData.DatabaseName = plain;
    plainData.RecordSource = "SELECT * FROM Lodges";
    for (const std::string connect : {"Access", "", "MS Access;", "MS Access;PWD=;"}) {
        SCOPED_TRACE(connect);
        plainData.Connect = connect;
        ASSERT_FALSE(dbErrorOf([&] { plainData.Refresh(); }));
        EXPECT_EQ(plainData.Recordset().Fields("F1").Value(), Value::text("P"));
    }
}

TEST_F(DataTest, ReadOnlyConnectionRefusesChangesAndLeavesTheFileByteForByte) {
    const std::string before = readFile(path);
    data.ReadOnly = true;
    data.Refresh();
    db::Recordset& records = data.Recordset();
    records.FindFirst("F1 = 'b'");
    EXPECT_EQ(records.Fields("F2").Value(), Value::text("Bergen"));
    EXPECT_TRUE(dbErrorOf([&] { records.Edit(); }));
    EXPECT_TRUE(dbErrorOf([&] { records.AddNew(); }));
    data.Close();
    EXPECT_EQ(readFile(path), before);
    EXPECT_THAT(sideFilesOf(path), IsEmpty());
}

// A temporary table lives only as long as its connection: finding it again
// after Refresh proves the connection was kept.
bool connectionKept(Data& data) {
    return rowsOf(data.Database(),
                  "SELECT count(*) FROM sqlite_temp_master WHERE name = 'marker'")[0][0] ==
           Value::integer(1);
}

TEST_F(DataTest, RefreshKeepsTheOpenDatabaseOnlyForTheSameFilePasswordAndMode) {
    data.Refresh();
    data.Database().exec("CREATE TEMP TABLE marker (x)", "test setup");
    data.RecordSource = "SELECT * FROM Lodges ORDER BY F1 DESC";
    data.Refresh();
    EXPECT_TRUE(connectionKept(data));
    EXPECT_EQ(data.Recordset().Fields("F1").Value(), Value::text("B"));

    data.ReadOnly = true;
    data.Refresh();
    EXPECT_FALSE(connectionKept(data));
    EXPECT_TRUE(data.Database().readOnly());
    EXPECT_TRUE(dbErrorOf([&] { data.Recordset().AddNew(); }));
}

} // namespace
