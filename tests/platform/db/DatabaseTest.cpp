#include "platform/db/Sqlite.h"
#include "tests/platform/db/DbFixture.h"

#include <chrono>
#include <csignal>
#include <gmock/gmock.h>
#include <sys/wait.h>
#include <unistd.h>

using db::Database;
using db::OpenMode;
using testing::HasSubstr;
using testing::IsEmpty;
using namespace testing_support;

namespace {

const char* const BothCauses = "the password is wrong, or the file is not a Varnholt database";

// ---- files that cannot be opened ----

TEST(DatabaseOpen, MissingFileIsReportedAndNotCreated) {
    TempDir dir;
    const std::string path = dir.file("Missing.mdb");
    for (OpenMode mode : {OpenMode::ReadWrite, OpenMode::ReadOnly}) {
        const auto error = dbErrorOf([&] { Database::open(path, VarnholtPassword, mode); });
        ASSERT_TRUE(error);
        EXPECT_THAT(error->message, HasSubstr(path));
        EXPECT_THAT(error->message, HasSubstr("does not exist"));
    }
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_THAT(sideFilesOf(path), IsEmpty());
}

TEST(DatabaseOpen, FolderIsRefused) {
    TempDir dir;
    const auto error = dbErrorOf(
        [&] { Database::open(dir.path().string(), VarnholtPassword, OpenMode::ReadWrite); });
    ASSERT_TRUE(error);
    EXPECT_THAT(error->message, HasSubstr(dir.path().string()));
    EXPECT_THAT(error->message, HasSubstr("folder"));
}

class UnreadableFileTest : public ClosedVarnholtFileTest {
protected:
    // Opens `file` with `password` in both modes and expects, each time, the
    // one message that names the file and both possible causes, with the file
    // left exactly as it was.
    void expectWrongPasswordOrNotADatabase(const std::string& file, const std::string& password) {
        SCOPED_TRACE(file + " opened with \"" + password + "\"");
        const std::string before = readFile(file);
        for (OpenMode mode : {OpenMode::ReadWrite, OpenMode::ReadOnly}) {
            SCOPED_TRACE(mode == OpenMode::ReadWrite ? "read-write" : "read-only");
            const auto error = dbErrorOf([&] { Database::open(file, password, mode); });
            ASSERT_TRUE(error);
            EXPECT_THAT(error->message, HasSubstr(file));
            EXPECT_THAT(error->message, HasSubstr(BothCauses));
            EXPECT_EQ(error->code, SQLITE_NOTADB);
        }
        EXPECT_EQ(readFile(file), before);
        EXPECT_THAT(sideFilesOf(file), IsEmpty());
    }
};

TEST_F(UnreadableFileTest, WrongPasswordNamesFileAndBothCausesAndLeavesFileUnchanged) {
    expectWrongPasswordOrNotADatabase(path, "Kor240854");
}

TEST_F(UnreadableFileTest, EncryptedFileOpenedWithoutPasswordIsRefusedTheSameWay) {
    expectWrongPasswordOrNotADatabase(path, "");
}

TEST_F(UnreadableFileTest, TextFileIsRefusedWithOrWithoutPassword) {
    const std::string text = dir.file("Notes.mdb");
    std::string content;
    for (int i = 0; i < 200; ++i)
        content += "Lodge " + std::to_string(i) + ", founded long ago\n";
    writeFile(text, content);
    expectWrongPasswordOrNotADatabase(text, VarnholtPassword);
    expectWrongPasswordOrNotADatabase(text, "");

    // Shorter than the file header that SQLite looks for.
    const std::string shortText = dir.file("Short.mdb");
    writeFile(shortText, "not a database\n");
    expectWrongPasswordOrNotADatabase(shortText, VarnholtPassword);
}

TEST_F(UnreadableFileTest, UnencryptedDatabaseOpenedWithPasswordIsRefused) {
    const std::string plain = dir.file("Plain.mdb");
    makeVarnholtTables(*Database::create(plain, ""));
    expectWrongPasswordOrNotADatabase(plain, VarnholtPassword);
}

TEST(DatabaseOpen, ZeroLengthFileOpensEmptyAndNothingIsWrittenToIt) {
    TempDir dir;
    const std::string path = dir.file("Empty.mdb");
    writeFile(path, "");
    {
        auto database = Database::open(path, VarnholtPassword, OpenMode::ReadWrite);
        EXPECT_THAT(database->tableNames(), IsEmpty());
        EXPECT_NE(database->journalMode(), "wal");
        const auto error =
            dbErrorOf([&] { db::Recordset records(database, "SELECT * FROM Lodges"); });
        ASSERT_TRUE(error);
        EXPECT_THAT(error->message, HasSubstr("Lodges"));
        EXPECT_THAT(error->message, HasSubstr(path));
    }
    EXPECT_EQ(std::filesystem::file_size(path), 0u);
    EXPECT_THAT(sideFilesOf(path), IsEmpty());
}

// ---- making files ----

TEST(DatabaseCreate, RefusesAnExistingFileAndLeavesItAsItWas) {
    TempDir dir;
    const std::string text = dir.file("Taken.mdb");
    writeFile(text, "someone's notes");
    const auto error = dbErrorOf([&] { Database::create(text, VarnholtPassword); });
    ASSERT_TRUE(error);
    EXPECT_THAT(error->message, HasSubstr(text));
    EXPECT_EQ(readFile(text), "someone's notes");

    const std::string database = dir.file("Varnholt.mdb");
    makeVarnholtTables(*Database::create(database, VarnholtPassword));
    const std::string before = readFile(database);
    EXPECT_TRUE(dbErrorOf([&] { Database::create(database, "other"); }));
    EXPECT_EQ(readFile(database), before);
    EXPECT_THAT(sideFilesOf(database), IsEmpty());
}

TEST(DatabaseCreate, FileIsEncryptedWithItsPassword) {
    TempDir dir;
    const std::string path = dir.file("Varnholt.mdb");
    makeVarnholtTables(*Database::create(path, VarnholtPassword));
    EXPECT_FALSE(readFile(path).starts_with("SQLite format 3"));
    EXPECT_THAT(Database::open(path, VarnholtPassword, OpenMode::ReadOnly)->tableNames(),
                testing::UnorderedElementsAre("Activities", "Issues", "Lodges", "MValues"));
}

// ---- journal mode ----

using JournalModeTest = ClosedVarnholtFileTest;

TEST_F(JournalModeTest, ReadWriteConnectionWritesInWalModeWithNormalSync) {
    database = openFile();
    EXPECT_EQ(database->journalMode(), "wal");
    // 1 is NORMAL: a saved record survives the program being killed.
    EXPECT_EQ(rowsOf(*database, "PRAGMA synchronous")[0][0], db::Value::integer(1));
}

TEST_F(JournalModeTest, CloseRestoresThePreviousModeAndLeavesNoWalFile) {
    ASSERT_EQ(journalModeOnDisk(path), "delete");
    database = openFile();
    exec("INSERT INTO Lodges (F1) VALUES ('L1')");
    database->Close();
    EXPECT_EQ(journalModeOnDisk(path), "delete");
    EXPECT_THAT(sideFilesOf(path), IsEmpty());
}

TEST_F(JournalModeTest, RestoredOnlyWhenTheLastReadWriteConnectionCloses) {
    auto first = openFile();
    auto second = openFile();
    first->Close();
    EXPECT_EQ(second->journalMode(), "wal");
    second->Close();
    EXPECT_EQ(journalModeOnDisk(path), "delete");
    EXPECT_THAT(sideFilesOf(path), IsEmpty());
}

// The writer has switched the file to WAL but not yet read it when a reader
// comes and goes; the WAL files the reader made must still go at the end.
TEST_F(JournalModeTest, NoWalFileLingersWhenAReaderCameWhileTheWriterWasIdle) {
    auto writer = openFile();
    openFile(OpenMode::ReadOnly)->Close();
    writer->Close();
    EXPECT_EQ(journalModeOnDisk(path), "delete");
    EXPECT_THAT(sideFilesOf(path), IsEmpty());
}

// The updater opens the main file for writing and the update file for
// reading; a user who names the same file twice gets both on one file, and
// the read-only one is closed last.
TEST_F(JournalModeTest, RestoredWhenAReadOnlyConnectionOutlivesTheReadWriteOne) {
    auto writer = openFile();
    auto reader = openFile(OpenMode::ReadOnly);
    writer->exec("INSERT INTO Lodges (F1) VALUES ('L1')", "test setup");
    writer->Close();
    reader->Close();
    EXPECT_EQ(journalModeOnDisk(path), "delete");
    EXPECT_THAT(sideFilesOf(path), IsEmpty());
}

TEST_F(JournalModeTest, ReadOnlyConnectionLeavesTheFileByteForByte) {
    const std::string before = readFile(path);
    database = openFile(OpenMode::ReadOnly);
    EXPECT_EQ(database->journalMode(), "delete");
    EXPECT_EQ(db::Recordset(database, "SELECT * FROM Lodges").RecordCount(), 0);
    database->Close();
    EXPECT_EQ(readFile(path), before);
    EXPECT_THAT(sideFilesOf(path), IsEmpty());
}

// ---- a file in use ----

// A raw connection, as another program holding the file would have it.
class OtherProgram {
public:
    explicit OtherProgram(const std::string& path) {
        sqlite3_open_v2(path.c_str(), &handle_, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_key(handle_, VarnholtPassword.data(), static_cast<int>(VarnholtPassword.size()));
    }
    ~OtherProgram() { sqlite3_close_v2(handle_); }
    OtherProgram(const OtherProgram&) = delete;
    OtherProgram& operator=(const OtherProgram&) = delete;

    int exec(const char* sql) { return sqlite3_exec(handle_, sql, nullptr, nullptr, nullptr); }

private:
    sqlite3* handle_ = nullptr;
};

using BusyFileTest = ClosedVarnholtFileTest;

TEST_F(BusyFileTest, LockedFileIsWaitedOnThenReportedAsInUse) {
    OtherProgram other(path);
    ASSERT_EQ(other.exec("BEGIN EXCLUSIVE"), SQLITE_OK);
    const auto start = std::chrono::steady_clock::now();
    const auto error =
        dbErrorOf([&] { Database::open(path, VarnholtPassword, OpenMode::ReadWrite, 200); });
    const auto waited = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(error);
    EXPECT_THAT(error->message, HasSubstr("in use by another program"));
    EXPECT_THAT(error->message, HasSubstr(path));
    EXPECT_EQ(error->code & 0xff, SQLITE_BUSY);
    EXPECT_GE(waited, std::chrono::milliseconds(150));
    EXPECT_LT(waited, std::chrono::milliseconds(3000));
}

TEST_F(BusyFileTest, UpdateWhileAnotherProgramWritesIsReportedAsInUse) {
    database = Database::open(path, VarnholtPassword, OpenMode::ReadWrite, 200);
    db::Recordset records(database, "SELECT * FROM Lodges");
    OtherProgram other(path);
    ASSERT_EQ(other.exec("BEGIN IMMEDIATE"), SQLITE_OK);
    records.AddNew();
    records.Fields("F1") = db::Value::text("L1");
    const auto error = dbErrorOf([&] { records.Update(); });
    ASSERT_TRUE(error);
    EXPECT_THAT(error->message, HasSubstr("in use by another program"));
    EXPECT_THAT(error->message, HasSubstr("Lodges"));
}

// ---- a kill right after a save ----

// Runs in a child process: saves one record, tells the parent through
// `savedFd`, and waits with the connection still open until it is killed.
[[noreturn]] void saveOneRecordThenWait(const std::string& path, int savedFd) {
    std::unique_ptr<db::Recordset> records;
    try {
        records = std::make_unique<db::Recordset>(
            Database::open(path, VarnholtPassword, OpenMode::ReadWrite), "SELECT * FROM Lodges");
        records->AddNew();
        records->Fields("F1") = db::Value::text("Survivor");
        records->Fields("F12") = db::Value::text("2024-05-06 07:08:09");
        records->Update();
    } catch (...) {
        _exit(1);
    }
    const char saved = 'x';
    if (write(savedFd, &saved, 1) != 1)
        _exit(1);
    for (;;)
        pause();
}

TEST_F(ClosedVarnholtFileTest, RecordSavedByUpdateSurvivesTheProgramBeingKilled) {
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(pipeEnds[0]);
        saveOneRecordThenWait(path, pipeEnds[1]);
    }
    close(pipeEnds[1]);
    char saved = 0;
    const auto got = read(pipeEnds[0], &saved, 1);
    close(pipeEnds[0]);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_EQ(got, 1) << "the child did not save its record";
    ASSERT_TRUE(WIFSIGNALED(status));

    database = openFile();
    EXPECT_EQ(rowsOf(*database, "PRAGMA integrity_check")[0][0], db::Value::text("ok"));
    const auto rows = rowsOf(*database, "SELECT F1, F12 FROM Lodges");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], db::Value::text("Survivor"));
    EXPECT_EQ(rows[0][1], db::Value::text("2024-05-06 07:08:09"));
}

// ---- closed connections ----

TEST_F(VarnholtFileTest, UseAfterCloseIsADbErrorAndClosingTwiceIsHarmless) {
    exec("INSERT INTO Lodges (F1) VALUES ('L1')");
    db::Recordset records(database, "SELECT * FROM Lodges");
    database->Close();
    database->Close();
    EXPECT_FALSE(database->isOpen());
    EXPECT_TRUE(dbErrorOf([&] { database->handle(); }));
    EXPECT_TRUE(dbErrorOf([&] { records.Fields("F1").Value(); }));
    EXPECT_TRUE(dbErrorOf([&] { records.FindFirst("F1 = 'L1'"); }));
    EXPECT_TRUE(dbErrorOf([&] { records.AddNew(); }));
}

} // namespace
