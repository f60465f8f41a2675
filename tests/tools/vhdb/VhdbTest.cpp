// Runs the real vhdb program and checks what it prints, its exit code and
// what it leaves in the files.
#include "platform/db/Database.h"
#include "platform/db/SideFiles.h"
#include "tests/support/TempDir.h"
#include "tests/tools/vhdb/VhdbProcess.h"

#include <fmt/format.h>
#include <fstream>
#include <gtest/gtest.h>

namespace {

using testing_support::Outcome;
using testing_support::readFile;
using testing_support::writeFile;

class Vhdb : public ::testing::Test {
protected:
    Outcome vhdb(std::vector<std::string> args) {
        return testing_support::VhdbProgram(dir, std::move(args)).wait();
    }

    // Asserts success with nothing on standard error; returns standard output.
    std::string ok(std::vector<std::string> args) {
        const Outcome run = vhdb(std::move(args));
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, "");
        return run.out;
    }

    // Asserts exit code 1 with one "vhdb: " line on standard error holding
    // `words`, nothing on standard output.
    void fails(std::vector<std::string> args, const std::string& words) {
        const Outcome run = vhdb(std::move(args));
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(run.err.starts_with("vhdb: ")) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_LT(run.err.size(), 600u) << run.err.substr(0, 600);
        EXPECT_NE(run.err.find(words), std::string::npos) << run.err.substr(0, 600);
    }

    std::string csv(const std::string& content) {
        const std::string path = dir.file(fmt::format("in{}.csv", ++csvCount));
        writeFile(path, content);
        return path;
    }

    testing_support::TempDir dir;
    const std::string db = dir.file("v.mdb");
    int csvCount = 0;
};

const std::string activitiesCsv = "F1,F2,F3,F4,F5,F6\r\n"
                                  "K1,\"comma, and \"\"quotes\"\"\",\"CRLF\r\nLF\nend\",,"
                                  "2021-05-06 07:08:09,3.25\r\n"
                                  "k'2,\"\",Zürich ✓,\" both \",,-17\r\n"
                                  ",,,,1999-12-31 23:59:59,\r\n";

TEST_F(Vhdb, CreateMakesAnEmptyDatabaseThatChecksClean) {
    EXPECT_EQ(ok({"create", db}), "");
    EXPECT_EQ(ok({"check", db}),
              "Lodges: 0 records\nIssues: 0 records\nActivities: 0 records\nMValues: 0 records\n");
}

TEST_F(Vhdb, CreateRefusesToOverwriteAFile) {
    ok({"create", db});
    const std::string before = readFile(db);
    fails({"create", db}, "already exists");
    EXPECT_EQ(readFile(db), before);
}

TEST_F(Vhdb, ImportThenExportGivesBackTheSameBytes) {
    ok({"create", db});
    EXPECT_EQ(ok({"import", db, "activities", csv(activitiesCsv)}), "");
    EXPECT_EQ(ok({"export", db, "Activities"}), activitiesCsv);
    ok({"export", db, "ACTIVITIES", "--out", dir.file("out.csv")});
    EXPECT_EQ(readFile(dir.file("out.csv")), activitiesCsv);
}

TEST_F(Vhdb, ImportTakesSomeFieldsInAnyOrderAndNormalizesDatesAndNumbers) {
    ok({"create", db});
    ok({"import", db, "MValues",
        csv("\xEF\xBB\xBFmktval,lUpdate,IDNUM\n1.50,2020-01-02,A\n"
            "007,2020-01-02T03:04,B\n")});
    ok({"import", db, "MValues", csv("IDNUM\nC\n")});
    EXPECT_EQ(ok({"export", db, "MValues"}), "IDNUM,ISSUE,CONDITION,LUPDATE,MKTVAL\r\n"
                                             "A,,,2020-01-02 00:00:00,1.5\r\n"
                                             "B,,,2020-01-02 03:04:00,7\r\n"
                                             "C,,,,\r\n");
}

TEST_F(Vhdb, ABadRowRejectsTheWholeFileAndNamesItsLine) {
    ok({"create", db});
    ok({"import", db, "Activities", csv(activitiesCsv)});
    const std::string before = readFile(db);
    const std::string good = "F1,F3,F5,F6\nA,\"two\nlines\",2020-01-01,1\n";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {good + "B,x,2020-02-30,2\n", "line 4: the field F5 cannot read \"2020-02-30\" as a date"},
        {good + "B,x,,1.2.3\n", "line 4: the field F6 cannot read \"1.2.3\" as a number"},
        {good + "B,x,\"\",\n", "line 4: the field F5 cannot read \"\" as a date"},
        {good + "\nB,x,\n", "line 5: the row has 3 cells, but the first row names 4 fields"},
        {good + "B,x\"y,,\n", "line 4: the quoting is malformed"},
        {good + "B,\"x\n,,\n", "line 4: a quoted cell is never closed"},
        {"F1,Nope\nA,B\n", "line 1: the table Activities has no field \"Nope\""},
        {"F1,f1\nA,B\n", "line 1: the field F1 is named twice"},
        {good + "B" + std::string(2000, ',') + "\n",
         "line 4: the row has more than 2,000 cells, the most a row may have"},
        // Values quoted in the message: shortened, and on one line.
        {"F1,\"Bad\r\nName\"\nA,B\n",
         "line 1: the table Activities has no field \"Bad\\r\\nName\"."},
        {"F1," + std::string(1 << 20, 'N') + "\nA,B\n",
         "line 1: the table Activities has no field \"" + std::string(50, 'N') +
             "…\" (1,048,576 characters)."},
        {good + "B,x,,\"1\n" + std::string(999'998, '2') + "\"\n",
         "line 4: the field F6 cannot read \"1\\n" + std::string(48, '2') +
             "…\" (1,000,000 characters) as a number"},
    };
    for (const auto& [content, words] : cases) {
        SCOPED_TRACE(content);
        fails({"import", db, "Activities", csv(content)}, words);
        EXPECT_EQ(readFile(db), before);
    }
    EXPECT_EQ(ok({"export", db, "Activities"}), activitiesCsv);
}

TEST_F(Vhdb, ACellBeyondTheLimitIsRefusedWithTheDatabaseUnchanged) {
    ok({"create", db});
    ok({"import", db, "Lodges", csv("F1,F2\nA,B\n")});
    const std::string before = readFile(db);
    const std::string path = dir.file("huge.csv");
    {
        std::ofstream out(path, std::ios::binary);
        out << "F1,F2\r\nK,\"";
        const std::string mebibyte(1 << 20, 'x');
        for (int i = 0; i < 256; ++i)
            out << mebibyte;
        out << "x\"\r\n";
    }
    fails({"import", db, "Lodges", path},
          "\"" + path +
              "\", line 2, field F2: the cell holds more than 268,435,456 bytes (256 MiB), the "
              "most a cell may hold. Nothing was imported.");
    EXPECT_EQ(readFile(db), before);
    EXPECT_FALSE(std::filesystem::exists(db::walOf(db)));
}

TEST_F(Vhdb, ImportWritesAFileOfManyRowsWhole) {
    ok({"create", db});
    std::string rows = "F1,F2,F3,F4,F5,F6\r\n";
    for (int i = 0; i < 3000; ++i)
        rows +=
            fmt::format("K{0},\"two\r\nlines, \"\"{0}\"\"\",Zürich ✓,,2021-05-06 07:08:09,{1}\r\n",
                        i, i - 1500);
    ASSERT_GT(rows.size(), 128u * 1024);
    ok({"import", db, "Activities", csv(rows)});
    EXPECT_EQ(ok({"export", db, "Activities"}), rows);
}

TEST_F(Vhdb, ARowTheDatabaseRefusesStopsTheImportWithNothingWritten) {
    auto database = db::Database::create(db, "Kor240853");
    database->exec("CREATE TABLE Lodges (F1 TEXT NOT NULL, F2 TEXT);"
                   "INSERT INTO Lodges VALUES ('kept', NULL)",
                   "making a table by hand");
    database.reset();
    fails({"import", db, "Lodges", csv("F1,F2\nA,1\nB,2\n,3\nD,4\n")},
          "Cannot add line 4 of \"" + dir.file("in1.csv") +
              "\" to table Lodges; nothing was imported. (NOT NULL constraint failed: Lodges.F1)");
    EXPECT_EQ(ok({"export", db, "Lodges"}), "F1,F2\r\nkept,\r\n");
    EXPECT_FALSE(std::filesystem::exists(db::walOf(db)));
}

TEST_F(Vhdb, AMissingTableIsNamed) {
    ok({"create", db});
    fails({"import", db, "Members", csv("F1\nA\n")}, "has no table Members");
    fails({"export", db, "Members"}, "has no table Members");
}

TEST_F(Vhdb, FilesThatAreNoVarnholtDatabaseAreLeftAlone) {
    ok({"create", db, "--password", "other"});
    writeFile(dir.file("text.mdb"), "just some text\n");
    writeFile(dir.file("empty.mdb"), "");
    const std::string missing = dir.file("missing.mdb"), rows = csv("F1\nA\n");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {db, "the password is wrong"},
        {dir.file("text.mdb"), "the password is wrong, or the file is not a Varnholt database"},
        {dir.file("empty.mdb"), "Lodges"},
        {missing, "does not exist"},
    };
    for (const auto& [file, words] : cases) {
        SCOPED_TRACE(file);
        const std::string before = readFile(file);
        fails({"import", file, "Lodges", rows}, words);
        fails({"export", file, "Lodges"}, words);
        const Outcome check = vhdb({"check", file});
        EXPECT_EQ(check.exitCode, 1);
        EXPECT_NE(check.err.find(words), std::string::npos) << check.err;
        EXPECT_EQ(readFile(file), before);
    }
    EXPECT_FALSE(std::filesystem::exists(missing));
    EXPECT_EQ(ok({"export", db, "Lodges", "--password", "other"}).substr(0, 7), "F1,F2,F");
}

TEST_F(Vhdb, CheckCountsRecordsAndFailsOnAMissingTable) {
    ok({"create", db});
    ok({"import", db, "Activities", csv(activitiesCsv)});
    ok({"import", db, "Lodges", csv("F1\nA\n")});
    EXPECT_EQ(ok({"check", db}),
              "Lodges: 1 record\nIssues: 0 records\nActivities: 3 records\nMValues: 0 records\n");
    db::Database::open(db, "Kor240853", db::OpenMode::ReadWrite)
        ->exec("DROP TABLE Issues", "dropping a table");
    const Outcome run = vhdb({"check", db});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "Lodges: 1 record\nActivities: 3 records\nMValues: 0 records\n");
    EXPECT_EQ(run.err, "vhdb: The table Issues is missing.\n");
}

TEST_F(Vhdb, CheckReportsTheValuesAnUpdateWouldStopAt) {
    ok({"create", db});
    ok({"import", db, "Activities", csv(activitiesCsv)});
    // Values no import lets in: a number key that is no number, binary data.
    db::Database::open(db, "Kor240853", db::OpenMode::ReadWrite)
        ->exec("INSERT INTO Activities (F1, F2, F6) VALUES ('K9', 'x', 'twelve');"
               "INSERT INTO MValues (IDNUM, ISSUE, CONDITION) VALUES ('1', 'A', x'00')",
               "test setup");
    const Outcome run = vhdb({"check", db});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "Lodges: 0 records\nIssues: 0 records\nActivities: 4 records\nMValues: 1 "
                       "record\n");
    EXPECT_EQ(run.err, "vhdb: Table Activities, field F6, row 4 (F1 \"K9\", F2 \"x\", F6 "
                       "\"twelve\"): \"twelve\" is not a number; an update would stop there.\n"
                       "vhdb: Table MValues, field CONDITION, row 1 (IDNUM \"1\", ISSUE \"A\"): "
                       "binary data this program cannot read; an update would stop there.\n");
}

TEST_F(Vhdb, ExportReadsATableMadeByHand) {
    auto database = db::Database::create(db, "Kor240853");
    database->exec("CREATE TABLE MValues (IDNUM TEXT COLLATE NOCASE, ISSUE TEXT COLLATE NOCASE, "
                   "CONDITION TEXT, LUPDATE DATETIME, MKTVAL NUMERIC, Extra TEXT);"
                   "INSERT INTO MValues VALUES ('X', 'I,1', NULL, '2001-02-03 04:05:06', 0.1, '');"
                   "INSERT INTO MValues VALUES ('Y', NULL, 'fine', NULL, 12, NULL);",
                   "making a table by hand");
    database.reset();
    EXPECT_EQ(ok({"export", db, "mvalues"}), "IDNUM,ISSUE,CONDITION,LUPDATE,MKTVAL,Extra\r\n"
                                             "X,\"I,1\",,2001-02-03 04:05:06,0.1,\"\"\r\n"
                                             "Y,,fine,,12,\r\n");
}

TEST_F(Vhdb, ExportRefusesToWriteOverTheDatabase) {
    ok({"create", db});
    const std::string before = readFile(db);
    fails({"export", db, "Lodges", "--out", db}, "is the database file itself");
    EXPECT_EQ(readFile(db), before);
}

TEST_F(Vhdb, CommandLineHelpAndUsageErrors) {
    for (const std::string command : {"create", "import", "export", "check"}) {
        const std::string out = ok({command, "--help"});
        EXPECT_NE(out.find("Usage: vhdb " + command), std::string::npos) << out;
        EXPECT_NE(out.find("--password"), std::string::npos) << out;
    }
    EXPECT_NE(ok({"--help"}).find("import"), std::string::npos);
    EXPECT_NE(ok({"import", "--help"})
                  .find("A cell may hold at most 256 MiB, and the cells of a "
                        "row together at most 256 MiB."),
              std::string::npos);
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"frobnicate", db}, {}, {"create"}, {"export", db}, {"check", db, "--bogus"}}) {
        const Outcome run = vhdb(args);
        EXPECT_EQ(run.exitCode, 2) << run.err;
        EXPECT_TRUE(run.err.starts_with("vhdb: ")) << run.err;
        EXPECT_EQ(run.out, "");
    }
    EXPECT_FALSE(std::filesystem::exists(db));
}

} // namespace
