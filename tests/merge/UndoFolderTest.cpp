// The folder of the window's undo files: names, which database, the newest kept.
#include "merge/UndoFolder.h"

#include "tests/support/TempDir.h"

#include <chrono>
#include <fstream>
#include <gtest/gtest.h>

namespace testing_support {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::system_clock;

void touch(const fs::path& path) {
    std::ofstream(path) << "x";
}

TEST(UndoFolderTest, NamesSayWhichDatabaseAndWhenAndTwoDatabasesOfOneNameStayApart) {
    TempDir dir;
    const merge::UndoFolder folder(fs::path(dir.file("data")) / "varnholt-updater");
    const std::string first = dir.file("a/Varnholt.mdb");
    const std::string second = dir.file("b/Varnholt.mdb");
    const Clock::time_point when = Clock::now();

    const fs::path made = folder.newFileFor(first, when);
    EXPECT_TRUE(fs::is_directory(folder.folder()));
    EXPECT_EQ(made.parent_path(), folder.folder());
    EXPECT_EQ(made.filename().string().rfind("Varnholt_20", 0), 0u) << made;
    EXPECT_EQ(made.extension(), ".undo");
    touch(made);
    // The same moment again gets another name.
    const fs::path next = folder.newFileFor(first, when);
    EXPECT_NE(next, made);
    touch(next);
    touch(folder.newFileFor(second, when));

    const auto files = folder.filesFor(first);
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0], next); // newest first
    EXPECT_EQ(files[1], made);
    EXPECT_EQ(folder.filesFor(second).size(), 1u);
    EXPECT_NE(merge::UndoFolder::tagOf(first), merge::UndoFolder::tagOf(second));
    // Spelled otherwise, the same file.
    EXPECT_EQ(merge::UndoFolder::tagOf(first),
              merge::UndoFolder::tagOf(dir.file("a/../a/Varnholt.mdb")));
    EXPECT_TRUE(merge::UndoFolder(dir.file("none")).filesFor(first).empty());
}

TEST(UndoFolderTest, AFileTakenBackIsNoLongerOfferedAndOnlyTheNewestTenAreKept) {
    TempDir dir;
    const merge::UndoFolder folder(dir.file("undo"));
    const std::string main = dir.file("Varnholt.mdb");
    const std::string other = dir.file("Other.mdb");
    Clock::time_point when = Clock::now() - std::chrono::hours(24);
    std::vector<fs::path> made;
    for (int i = 0; i < 12; ++i) {
        made.push_back(folder.newFileFor(main, when += std::chrono::minutes(1)));
        touch(made.back());
        touch(made.back().string() + "-wal"); // left by a killed run
    }
    const fs::path otherFile = folder.newFileFor(other, when);
    touch(otherFile);

    const fs::path undone = merge::UndoFolder::markUndone(made.back());
    EXPECT_EQ(undone.extension(), ".undone");
    EXPECT_EQ(folder.filesFor(main).front(), made[10]);

    folder.prune(main);
    // Taken back or not, the newest ten stay, with what lies beside them.
    EXPECT_TRUE(fs::exists(undone));
    for (int i = 0; i < 12; ++i) {
        const bool kept = i >= 2;
        if (i != 11) {
            EXPECT_EQ(fs::exists(made[i]), kept) << i;
        }
        EXPECT_EQ(fs::exists(made[i].string() + "-wal"), kept) << i;
    }
    EXPECT_EQ(folder.filesFor(main).size(), 9u);
    EXPECT_TRUE(fs::exists(otherFile));
}

} // namespace
} // namespace testing_support
