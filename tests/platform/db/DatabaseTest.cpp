#include "platform/db/CrashRecovery.h"
#include "platform/db/FileSystem.h"
#include "platform/db/SideFiles.h"
#include "platform/db/Sqlite.h"
#include "platform/db/Waiting.h"
#include "tests/platform/db/DbFixture.h"
#include "tests/support/Crash.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using db::Database;
using db::OpenMode;
using testing::HasSubstr;
using testing::IsEmpty;
using namespace testing_support;

namespace {

const char* const BothCauses = "the password is wrong, or the file is not a Varnholt database";

// ---- files that cannot be opened ----

TEST(WriteDurably, AWriteThatStoresLessThanItWasGivenIsAFullDiskAndLeavesNoFile) {
    TempDir dir;
    const std::string path = dir.file("Varnholt.mdb-journalmode");
    // In a child, whose file size limit makes the write store 3 of 7 bytes.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{3, 3};
        setrlimit(RLIMIT_FSIZE, &limit);
        errno = EACCES; // what a failure must not report
        try {
            db::writeDurably(path, "delete\n");
            _exit(1);
        } catch (const db::DbError& e) {
            _exit(e.primaryCode() != SQLITE_FULL ? 2 : std::filesystem::exists(path) ? 3 : 0);
        }
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: no failure, 2: not a full disk, 3: the file stays";
}

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
        // As a careful program does: its commit waits for our readers.
        sqlite3_busy_timeout(handle_, 10000);
    }
    ~OtherProgram() { sqlite3_close_v2(handle_); }
    OtherProgram(const OtherProgram&) = delete;
    OtherProgram& operator=(const OtherProgram&) = delete;

    int exec(const char* sql) { return sqlite3_exec(handle_, sql, nullptr, nullptr, nullptr); }

private:
    sqlite3* handle_ = nullptr;
};

// The kinds of lock another program may hold on a file in rollback mode.
struct LockKind {
    const char* name;
    const char* begin; // the SQL that takes it
};
const LockKind lockKinds[] = {{"Reading", "BEGIN; SELECT count(*) FROM Lodges;"},
                              {"Writing", "BEGIN IMMEDIATE"},
                              {"Exclusive", "BEGIN EXCLUSIVE"}};

class BusyFileTest : public ClosedVarnholtFileTest, public testing::WithParamInterface<LockKind> {};

// Opening for writing reads the file, checks it and switches it to WAL; each
// step meets the lock, and waits for it within the one budget.
TEST_P(BusyFileTest, LockReleasedWithinTheWaitIsWaitedOnAndTheOpenSucceeds) {
    OtherProgram other(path);
    ASSERT_EQ(other.exec(GetParam().begin), SQLITE_OK);
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        other.exec("COMMIT");
    });
    std::shared_ptr<Database> opened;
    const auto error =
        dbErrorOf([&] { opened = Database::open(path, VarnholtPassword, OpenMode::ReadWrite); });
    release.join();
    ASSERT_FALSE(error) << error->message;
    EXPECT_EQ(opened->journalMode(), "wal");
}

TEST_P(BusyFileTest, LockHeldPastTheWaitIsReportedAsInUseWithNothingChanged) {
    const std::string before = readFile(path);
    OtherProgram other(path);
    ASSERT_EQ(other.exec(GetParam().begin), SQLITE_OK);
    const auto error =
        dbErrorOf([&] { Database::open(path, VarnholtPassword, OpenMode::ReadWrite, 300); });
    ASSERT_TRUE(error);
    EXPECT_THAT(error->message, HasSubstr("in use by another program"));
    EXPECT_THAT(error->message, HasSubstr(path));
    EXPECT_EQ(error->code & 0xff, SQLITE_BUSY);
    other.exec("COMMIT");
    EXPECT_EQ(readFile(path), before);
    EXPECT_THAT(sideFilesOf(path), IsEmpty());
}

// The wait for each lock answers the program a few times a second, and
// giving it up there ends the open at once with nothing written.
TEST_P(BusyFileTest, TheWaitAsksTheProgramAndGivingUpCancelsWithNothingChanged) {
    const std::string before = readFile(path);
    OtherProgram other(path);
    ASSERT_EQ(other.exec(GetParam().begin), SQLITE_OK);
    std::vector<db::WaitReason> asked;
    const auto started = std::chrono::steady_clock::now();
    {
        const db::WhileWaiting waiting([&](db::WaitReason why) {
            asked.push_back(why);
            return asked.size() < 5;
        });
        EXPECT_THROW(Database::open(path, VarnholtPassword, OpenMode::ReadWrite, 10000),
                     db::Cancelled);
    }
    const auto waited = std::chrono::steady_clock::now() - started;
    // Five asks, a few tens of milliseconds apart: nowhere near the 10 s budget.
    EXPECT_LT(waited, std::chrono::seconds(5));
    ASSERT_EQ(asked.size(), 5u);
    // A lock that lets readers in lets the check run first.
    EXPECT_EQ(asked.back(), db::WaitReason::FileInUse);
    EXPECT_LE(std::count(asked.begin(), asked.end(), db::WaitReason::CheckingFile), 1);
    other.exec("COMMIT");
    EXPECT_TRUE(readFile(path) == before) << "the file changed";
    EXPECT_THAT(sideFilesOf(path), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(EachLock, BusyFileTest, testing::ValuesIn(lockKinds),
                         [](const auto& info) { return std::string(info.param.name); });

using BusyWhileWritingTest = ClosedVarnholtFileTest;

TEST_F(BusyWhileWritingTest, UpdateWaitsForAnotherProgramsWriteToEnd) {
    database = openFile();
    db::Recordset records(database, "SELECT * FROM Lodges");
    OtherProgram other(path);
    ASSERT_EQ(other.exec("BEGIN IMMEDIATE"), SQLITE_OK);
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        other.exec("COMMIT");
    });
    records.AddNew();
    records.Fields("F1") = db::Value::text("L1");
    const auto error = dbErrorOf([&] { records.Update(); });
    release.join();
    ASSERT_FALSE(error) << error->message;
    EXPECT_EQ(rowsOf(*database, "SELECT F1 FROM Lodges")[0][0], db::Value::text("L1"));
}

TEST_F(BusyWhileWritingTest, UpdateWhileAnotherProgramWritesIsReportedAsInUse) {
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

// A file that only is read meets the lock of a program in another process
// (this one's own connections share their locks).
class LockingChild {
public:
    // Holds an exclusive lock on `path` until released.
    explicit LockingChild(const std::string& path) {
        int ready[2];
        if (pipe(ready) != 0 || pipe(release_) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            close(release_[1]);
            OtherProgram other(path);
            const char locked = other.exec("BEGIN EXCLUSIVE") == SQLITE_OK ? 'y' : 'n';
            char ignored = 0;
            if (write(ready[1], &locked, 1) != 1 || read(release_[0], &ignored, 1) < 0)
                _exit(1);
            other.exec("COMMIT");
            _exit(0);
        }
        close(ready[1]);
        close(release_[0]);
        char locked = 0;
        locked_ = read(ready[0], &locked, 1) == 1 && locked == 'y';
        close(ready[0]);
    }
    ~LockingChild() {
        release();
        int status = 0;
        if (pid_ > 0)
            waitpid(pid_, &status, 0);
    }
    bool locked() const { return locked_; }
    void release() {
        if (release_[1] >= 0)
            close(release_[1]);
        release_[1] = -1;
    }

private:
    pid_t pid_ = -1;
    int release_[2] = {-1, -1};
    bool locked_ = false;
};

TEST_F(BusyWhileWritingTest, AFileReadAsItLiesIsWrittenByNoOtherProgramUntilItIsClosed) {
    std::shared_ptr<Database> reader = openFile(OpenMode::ReadOnly);
    OtherProgram other(path);
    ASSERT_EQ(other.exec("BEGIN IMMEDIATE; INSERT INTO Lodges (F1) VALUES ('L1');"), SQLITE_OK);
    std::atomic<bool> closed{false};
    std::thread close([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        // Still what it was when opened: the other program's commit waits.
        EXPECT_TRUE(rowsOf(*reader, "SELECT F1 FROM Lodges").empty());
        closed = true;
        reader->Close();
    });
    // The commit waits for the reader, however long it reads.
    EXPECT_EQ(other.exec("COMMIT"), SQLITE_OK);
    EXPECT_TRUE(closed) << "another program wrote the file while it was read as it lies";
    close.join();
    EXPECT_EQ(rowsOf(*openFile(OpenMode::ReadOnly), "SELECT F1 FROM Lodges").size(), 1u);
}

TEST_F(BusyWhileWritingTest, ReaderWaitsForAnotherProgramsExclusiveLockThenReads) {
    LockingChild other(path);
    ASSERT_TRUE(other.locked());
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        other.release();
    });
    const auto error = dbErrorOf([&] { openFile(OpenMode::ReadOnly)->tableNames(); });
    release.join();
    EXPECT_FALSE(error) << error->message;
}

TEST_F(BusyWhileWritingTest, ReaderReportsAnExclusiveLockHeldPastTheWait) {
    LockingChild other(path);
    ASSERT_TRUE(other.locked());
    const auto error =
        dbErrorOf([&] { Database::open(path, VarnholtPassword, OpenMode::ReadOnly, 300); });
    ASSERT_TRUE(error);
    EXPECT_THAT(error->message, HasSubstr("in use by another program"));
}

TEST_F(VarnholtFileTest, TheCheckBeforeTheFirstWriteAsksTheProgramAndCanBeGivenUp) {
    // Enough records for the check to take a moment.
    exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
         "INSERT INTO Lodges (F1, F2) SELECT 'L' || i, hex(randomblob(40)) FROM n");
    database->Close();
    const std::string before = readFile(path);
    std::vector<db::WaitReason> asked;
    {
        // Asked as soon as the check begins.
        const db::WhileWaiting waiting(
            [&](db::WaitReason why) {
                asked.push_back(why);
                return false;
            },
            std::chrono::milliseconds(0));
        EXPECT_THROW(openFile(), db::Cancelled);
    }
    EXPECT_THAT(asked, testing::ElementsAre(db::WaitReason::CheckingFile));
    EXPECT_TRUE(readFile(path) == before) << "the file changed";
    EXPECT_THAT(sideFilesOf(path), IsEmpty());
    // Without a hook, or with one that goes on, the same file opens.
    const db::WhileWaiting waiting([](db::WaitReason) { return true; });
    EXPECT_EQ(openFile()->journalMode(), "wal");
}

// ---- a file damaged on the disk ----

TEST_F(ClosedVarnholtFileTest, DamagedFileIsRefusedBeforeAnythingIsWritten) {
    {
        auto writer = openFile();
        writer->exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                     "WHERE i < 2000) INSERT INTO Lodges (F1, F2) SELECT 'L' || i, "
                     "hex(randomblob(100)) FROM n",
                     "test setup");
    }
    std::string content = readFile(path);
    content[content.size() / 2] ^= 0x5a;
    writeFile(path, content);

    const auto error = dbErrorOf([&] { openFile(); });
    ASSERT_TRUE(error);
    EXPECT_THAT(error->message, HasSubstr(path));
    EXPECT_THAT(error->message, HasSubstr("damaged"));
    EXPECT_THAT(error->message, HasSubstr("Restore it from a backup"));
    EXPECT_EQ(readFile(path), content);
    EXPECT_THAT(sideFilesOf(path), IsEmpty());
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

class KilledWriterTest : public ClosedVarnholtFileTest {
protected:
    // A child saves one record over the database layer and is killed with
    // the file open: in WAL mode, the mode to restore noted beside it.
    void killAfterSavingOneRecord() {
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
        ASSERT_TRUE(std::filesystem::exists(db::journalMarkerOf(path)));
    }

    // The file as a careful user expects it after the crash was put right:
    // the mode it had, nothing beside it, sound, with the saved record.
    void expectAsBeforeWithTheSavedRecord() {
        EXPECT_EQ(journalModeOnDisk(path), "delete");
        EXPECT_THAT(sideFilesOf(path), IsEmpty());
        auto reader = openFile(OpenMode::ReadOnly);
        EXPECT_EQ(rowsOf(*reader, "PRAGMA integrity_check")[0][0], db::Value::text("ok"));
        const auto rows = rowsOf(*reader, "SELECT F1, F12 FROM Lodges");
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0][0], db::Value::text("Survivor"));
        EXPECT_EQ(rows[0][1], db::Value::text("2024-05-06 07:08:09"));
    }
};

TEST_F(KilledWriterTest, NextWriterRestoresTheJournalModeTheFileHadBeforeTheCrash) {
    killAfterSavingOneRecord();
    // Killed in WAL mode, the file's mode now says WAL: the marker tells.
    openFile()->Close();
    expectAsBeforeWithTheSavedRecord();
    // and a second run finds it as the first one did.
    database = openFile();
    EXPECT_EQ(database->journalMode(), "wal");
    database->Close();
    expectAsBeforeWithTheSavedRecord();
}

TEST_F(KilledWriterTest, RecoveryBeforeAReadRestoresTheJournalMode) {
    killAfterSavingOneRecord();
    db::recoverAfterCrash(path, VarnholtPassword);
    expectAsBeforeWithTheSavedRecord();
}

// Killed in the middle of a transaction, a program leaves a hot journal.
class HotJournalTest : public ClosedVarnholtFileTest {
protected:
    void SetUp() override {
        ClosedVarnholtFileTest::SetUp();
        openFile()->exec("INSERT INTO Lodges (F1) VALUES ('Kept')", "test setup");
        ASSERT_TRUE(killAfterRunning(path, VarnholtPassword, HotJournalSql));
        ASSERT_GT(std::filesystem::file_size(db::rollbackJournalOf(path)), 0u);
    }

    void expectOnlyTheCommittedRecord(Database& database) {
        EXPECT_EQ(rowsOf(database, "SELECT F1 FROM Lodges"),
                  std::vector<std::vector<db::Value>>{{db::Value::text("Kept")}});
        EXPECT_EQ(rowsOf(database, "PRAGMA integrity_check")[0][0], db::Value::text("ok"));
    }
};

TEST_F(HotJournalTest, ReaderReadsTheRecoveredFileWithoutTouchingIt) {
    const std::string file = readFile(path);
    const std::string journal = readFile(db::rollbackJournalOf(path));
    {
        auto reader = openFile(OpenMode::ReadOnly);
        expectOnlyTheCommittedRecord(*reader);
    }
    EXPECT_EQ(readFile(path), file);
    EXPECT_EQ(readFile(db::rollbackJournalOf(path)), journal);
    EXPECT_THAT(sideFilesOf(path), testing::ElementsAre(db::rollbackJournalOf(path)));
}

TEST_F(HotJournalTest, WriterAndRecoveryRollItBack) {
    db::recoverAfterCrash(path, VarnholtPassword);
    EXPECT_THAT(sideFilesOf(path), IsEmpty());
    database = openFile();
    expectOnlyTheCommittedRecord(*database);
}

// A connection kept in a static outlives every other static of the program.
std::shared_ptr<Database>& keptUntilExit() {
    static std::shared_ptr<Database> kept;
    return kept;
}

TEST_F(ClosedVarnholtFileTest, ConnectionOpenAtProgramExitClosesSafelyAndRestoresTheMode) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Made before the first open, so destroyed after what it makes.
        auto& kept = keptUntilExit();
        try {
            kept = openFile();
            kept->exec("INSERT INTO Lodges (F1) VALUES ('L1')", "test");
        } catch (...) {
            _exit(3);
        }
        std::exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "the child ended by a signal";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(journalModeOnDisk(path), "delete");
    EXPECT_THAT(sideFilesOf(path), IsEmpty());
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
