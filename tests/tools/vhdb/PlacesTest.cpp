// vhdb in the places a user's files may lie: folders the user may not write
// (run as the unprivileged user nobody), a full disk (a small tmpfs), and
// update files in WAL mode or with a crash's journal beside them. Tests that
// need root skip with the reason where they cannot run.
#include "merge/Schema.h"
#include "platform/db/Database.h"
#include "platform/db/SideFiles.h"
#include "tests/support/Crash.h"
#include "tests/support/DbHelpers.h"
#include "tests/support/TempDir.h"
#include "tests/support/UpdateTexts.h"
#include "tests/tools/vhdb/VhdbProcess.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sys/mount.h>

namespace {

namespace fs = std::filesystem;
using testing_support::countLines;
using testing_support::Outcome;
using testing_support::readFile;
using testing_support::sideFilesOf;
using testing_support::VarnholtPassword;
using testing_support::VhdbProgram;

// Every file of a folder with its content: what a user would compare.
std::map<std::string, std::string> filesIn(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(folder))
        files[entry.path().filename().string()] = readFile(entry.path().string());
    return files;
}

void makeFile(const std::string& path, const std::string& sql) {
    db::Database::create(path, VarnholtPassword, [&](db::Database& database) {
        merge::createVarnholtSchema(database);
        database.exec(sql, "test data");
    });
}

class VhdbPlaces : public ::testing::Test {
protected:
    void SetUp() override { fs::permissions(dir.path(), fs::perms(0755)); }

    // A folder of the test's own, with the given permissions.
    std::string folder(const std::string& name, int mode) {
        const std::string path = dir.file(name);
        fs::create_directory(path);
        fs::permissions(path, fs::perms(mode));
        return path;
    }

    Outcome vhdb(std::vector<std::string> args, std::vector<std::string> launcher = {}) {
        return VhdbProgram(dir, std::move(args), std::move(launcher)).wait();
    }

    // The launcher that runs vhdb as nobody; skips the test where that
    // cannot be done.
    std::vector<std::string> asNobody() {
        const std::vector<std::string> launcher = {"/usr/bin/setpriv", "--reuid=65534",
                                                   "--regid=65534", "--clear-groups"};
        if (geteuid() != 0 || !fs::exists(launcher[0]))
            return {};
        return vhdb({"--help"}, launcher).exitCode == 0 ? launcher : std::vector<std::string>{};
    }

    testing_support::TempDir dir;
};

#define SKIP_UNLESS_NOBODY(launcher)                                                               \
    if ((launcher).empty())                                                                        \
    GTEST_SKIP() << "needs root, /usr/bin/setpriv and a vhdb that the user nobody may run, to "    \
                    "run vhdb as a user who may not write the folder"

TEST_F(VhdbPlaces, MainDatabaseInAFolderThatCannotBeWrittenIsRefusedWithWhatToDo) {
    const auto nobody = asNobody();
    SKIP_UNLESS_NOBODY(nobody);
    const std::string folderPath = folder("locked", 0777);
    const std::string mainPath = folderPath + "/Varnholt.mdb";
    const std::string updatePath = dir.file("VHUpdate.mdb");
    makeFile(mainPath, "");
    makeFile(updatePath, "INSERT INTO Lodges (F1) VALUES ('L1');");
    fs::permissions(mainPath, fs::perms(0666));
    fs::permissions(updatePath, fs::perms(0644));
    fs::permissions(folderPath, fs::perms(0555));

    for (const bool walMode : {false, true}) {
        SCOPED_TRACE(walMode ? "main database in WAL mode" : "main database in rollback mode");
        if (walMode) {
            fs::permissions(folderPath, fs::perms(0777));
            ASSERT_EQ(testing_support::runAsAnotherProgram(mainPath, VarnholtPassword,
                                                           "PRAGMA journal_mode = WAL;"),
                      SQLITE_OK);
            ASSERT_EQ(testing_support::journalModeOnDisk(mainPath), "wal");
            ASSERT_TRUE(sideFilesOf(mainPath).empty());
            fs::permissions(folderPath, fs::perms(0555));
        }
        const auto before = filesIn(folderPath);
        const Outcome run = vhdb({"merge", mainPath, updatePath}, nobody);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find("The folder \"" + folderPath + "\""), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("so its folder must be writable"), std::string::npos) << run.err;
        EXPECT_EQ(filesIn(folderPath), before);
    }

    // A main file that may not be written, in a folder that may.
    fs::permissions(folderPath, fs::perms(0777));
    fs::permissions(mainPath, fs::perms(0444));
    const Outcome run = vhdb({"merge", mainPath, updatePath}, nobody);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("can only be read, not written"), std::string::npos) << run.err;
}

TEST_F(VhdbPlaces, AFileBehindAFolderThatMayNotBeOpenedIsNotCalledMissing) {
    const auto nobody = asNobody();
    SKIP_UNLESS_NOBODY(nobody);
    const std::string folderPath = folder("closed", 0777);
    const std::string mainPath = folderPath + "/Varnholt.mdb";
    const std::string updatePath = dir.file("VHUpdate.mdb");
    makeFile(mainPath, "");
    makeFile(updatePath, "INSERT INTO Lodges (F1) VALUES ('L1');");
    fs::permissions(mainPath, fs::perms(0666));
    fs::permissions(updatePath, fs::perms(0644));
    fs::permissions(folderPath, fs::perms(0700));

    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"merge", mainPath, updatePath},
          std::vector<std::string>{"check", mainPath},
          std::vector<std::string>{"undo", updatePath, folderPath + "/u.db"}}) {
        SCOPED_TRACE(command.front() + " " + command[1]);
        const Outcome run = vhdb(command, nobody);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find("cannot be reached: a folder on its way may not be opened"),
                  std::string::npos)
            << run.err;
        EXPECT_EQ(run.err.find("does not exist"), std::string::npos) << run.err;
    }
    // A file that is truly not there is still called missing.
    const Outcome missing = vhdb({"check", dir.file("none.mdb")}, nobody);
    EXPECT_NE(missing.err.find("does not exist"), std::string::npos) << missing.err;
}

TEST_F(VhdbPlaces, UpdateFilesInWalModeAreReadFromAReadOnlyFolderAndLeftAsTheyWere) {
    const auto nobody = asNobody();
    SKIP_UNLESS_NOBODY(nobody);
    const std::string publisher = folder("publisher", 0777);
    // One update file left with records in its WAL by a killed program, one
    // closed cleanly in WAL mode.
    const std::string unfinished = publisher + "/Unfinished.mdb";
    const std::string clean = publisher + "/Clean.mdb";
    makeFile(unfinished, "INSERT INTO Lodges (F1, F12) VALUES ('In the file', '2021-01-01');");
    ASSERT_TRUE(testing_support::killAfterRunning(unfinished, VarnholtPassword,
                                                  testing_support::UnfinishedWalSql));
    ASSERT_GT(fs::file_size(db::walOf(unfinished)), 0u);
    makeFile(clean, "INSERT INTO Issues (F1, F2) VALUES ('I1', 'A');");
    ASSERT_EQ(
        testing_support::runAsAnotherProgram(clean, VarnholtPassword, "PRAGMA journal_mode = WAL;"),
        SQLITE_OK);
    ASSERT_TRUE(sideFilesOf(clean).empty());
    ASSERT_EQ(testing_support::journalModeOnDisk(clean), "wal");
    for (const auto& entry : fs::directory_iterator(publisher))
        fs::permissions(entry.path(), fs::perms(0644));
    fs::permissions(publisher, fs::perms(0555));
    const auto published = filesIn(publisher);

    const std::string mine = folder("mine", 0777);
    const std::string mainPath = mine + "/Varnholt.mdb";
    makeFile(mainPath, "");
    fs::permissions(mainPath, fs::perms(0666));

    const Outcome first = vhdb({"merge", mainPath, unfinished}, nobody);
    EXPECT_EQ(first.exitCode, 0) << first.err;
    EXPECT_EQ(first.out, "Varnholt 2000 Update Complete!\r\n\r\n" + countLines(2, 0, 0, 0) + "\n");
    const Outcome second = vhdb({"merge", mainPath, clean}, nobody);
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(second.out, "Varnholt 2000 Update Complete!\r\n\r\n" + countLines(0, 1, 0, 0) + "\n");
    // Root may write the folder, and still nothing is written there.
    const Outcome again = vhdb({"merge", mainPath, unfinished});
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(filesIn(publisher), published);
    EXPECT_TRUE(sideFilesOf(mainPath).empty());
}

TEST_F(VhdbPlaces, CheckAndExportReadAFileWithAHotJournalWhereverItLies) {
    const std::string folderPath = folder("files", 0777);
    const std::string path = folderPath + "/Varnholt.mdb";
    makeFile(path, "INSERT INTO Lodges (F1) VALUES ('Kept');");
    ASSERT_TRUE(
        testing_support::killAfterRunning(path, VarnholtPassword, testing_support::HotJournalSql));
    ASSERT_GT(fs::file_size(db::rollbackJournalOf(path)), 0u);
    const std::string counts =
        "Lodges: 1 record\nIssues: 0 records\nActivities: 0 records\nMValues: 0 records\n";

    if (const auto nobody = asNobody(); !nobody.empty()) {
        fs::permissions(path, fs::perms(0644));
        fs::permissions(db::rollbackJournalOf(path), fs::perms(0644));
        fs::permissions(folderPath, fs::perms(0555));
        const auto before = filesIn(folderPath);
        const Outcome check = vhdb({"check", path}, nobody);
        EXPECT_EQ(check.exitCode, 0) << check.err;
        EXPECT_EQ(check.out, counts);
        const Outcome csv = vhdb({"export", path, "Lodges"}, nobody);
        EXPECT_EQ(csv.exitCode, 0) << csv.err;
        EXPECT_NE(csv.out.find("\r\nKept,"), std::string::npos) << csv.out;
        EXPECT_EQ(csv.out.find("Lost"), std::string::npos);
        EXPECT_EQ(filesIn(folderPath), before);
        fs::permissions(folderPath, fs::perms(0777));
    }
    // Where the file may be written, the journal is rolled back for good.
    const Outcome check = vhdb({"check", path});
    EXPECT_EQ(check.exitCode, 0) << check.err;
    EXPECT_EQ(check.out, counts);
    EXPECT_TRUE(sideFilesOf(path).empty());
}

// A small file system of its own, mounted for the test and gone after it.
class SmallDisk {
public:
    SmallDisk(const std::string& folder, const char* size) : folder_(folder) {
        fs::create_directory(folder_);
        const std::string options = std::string("size=") + size;
        if (::mount("tmpfs", folder_.c_str(), "tmpfs", 0, options.c_str()) == 0)
            mounted_ = true;
        else
            error_ = std::strerror(errno);
    }
    ~SmallDisk() {
        if (mounted_)
            ::umount2(folder_.c_str(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& error() const { return error_; }

    // Fills the disk, then frees `bytesFree` again.
    void leaveFree(std::uintmax_t bytesFree) const {
        const std::string filler = folder_ + "/filler";
        fs::remove(filler);
        {
            std::ofstream out(filler, std::ios::binary);
            const std::string block(4096, 'x');
            while (out.write(block.data(), block.size()))
                ;
        }
        const auto size = fs::file_size(filler);
        fs::resize_file(filler, size > bytesFree ? size - bytesFree : 0);
    }
    void makeRoom() const { fs::remove(folder_ + "/filler"); }

private:
    std::string folder_;
    bool mounted_ = false;
    std::string error_;
};

TEST_F(VhdbPlaces, AFullDiskIsNamedAndTheFileOnItCanStillBeChecked) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to mount a small tmpfs as a disk to fill";
    const SmallDisk disk(dir.file("disk"), "3m");
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a tmpfs here: " << disk.error();
    const std::string mainPath = dir.file("disk") + "/Varnholt.mdb";
    const std::string updatePath = dir.file("VHUpdate.mdb");
    makeFile(mainPath, "INSERT INTO Lodges (F1) VALUES ('L0');");
    makeFile(updatePath, "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                         "WHERE i < 3000) INSERT INTO Lodges (F1, F2) SELECT 'L' || i, "
                         "hex(randomblob(100)) FROM n;");
    const std::string pristine = readFile(mainPath);

    // A few KB: no room for the WAL's index; a few hundred: room for some
    // records.
    for (const std::uintmax_t bytesFree : {8u * 1024, 300u * 1024}) {
        SCOPED_TRACE(std::to_string(bytesFree) + " bytes free");
        disk.makeRoom();
        for (const auto& side : sideFilesOf(mainPath))
            fs::remove(side);
        testing_support::writeFile(mainPath, pristine);
        disk.leaveFree(bytesFree);

        const Outcome run = vhdb({"merge", "--quiet", mainPath, updatePath});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find("The disk is full"), std::string::npos) << run.err;
        const Outcome check = vhdb({"check", mainPath});
        EXPECT_EQ(check.exitCode, 0) << check.err;
        EXPECT_TRUE(check.out.starts_with("Lodges: ")) << check.out;
    }
    // With room again, the update finishes and the file is as it was found.
    disk.makeRoom();
    const Outcome run = vhdb({"merge", "--quiet", mainPath, updatePath});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const Outcome check = vhdb({"check", mainPath});
    EXPECT_EQ(
        check.out,
        "Lodges: 3001 records\nIssues: 0 records\nActivities: 0 records\nMValues: 0 records\n");
    EXPECT_EQ(testing_support::journalModeOnDisk(mainPath), "delete");
    EXPECT_TRUE(sideFilesOf(mainPath).empty());
}

} // namespace
