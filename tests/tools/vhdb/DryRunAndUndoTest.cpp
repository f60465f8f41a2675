// vhdb merge --dry-run, --changes and --undo, and vhdb undo: the real program
// on hand-made files, stopped by Ctrl+C and killed too.
#include "merge/Schema.h"
#include "platform/db/Database.h"
#include "platform/db/SideFiles.h"
#include "tests/support/DbHelpers.h"
#include "tests/support/StoredTables.h"
#include "tests/support/TempDir.h"
#include "tests/tools/vhdb/VhdbProcess.h"
#include "tools/vhdb/ChangesReport.h"
#include "tools/vhdb/Csv.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;
using testing_support::Outcome;
using testing_support::readFile;
using testing_support::StoredTables;
using testing_support::storedTables;
using testing_support::VarnholtPassword;
using testing_support::VhdbProgram;

void makeFile(const std::string& path, const std::string& sql) {
    db::Database::create(path, VarnholtPassword, [&](db::Database& database) {
        merge::createVarnholtSchema(database);
        database.exec(sql, "test data");
    });
}

void execOn(const std::string& path, const std::string& sql) {
    db::Database::open(path, VarnholtPassword, db::OpenMode::ReadWrite)->exec(sql, "test data");
}

std::set<std::string> namesIn(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// Main records of every kind an update meets, each key once, letter case
// ignored; an update that meets them with keys in other letter case,
// repeated keys (the second a day later), a key added and then overwritten,
// null key parts, stamps the same day, earlier and null.
const std::string mainSql =
    "INSERT INTO Lodges (F1, F2, F5, F12) VALUES ('L1', X'00FF', 'five', '1996-08-04');"
    "INSERT INTO Lodges (F1, F2, F12) VALUES ('L2', 'two', '2000-01-01 10:00:00'), "
    "(NULL, 'null key', '2000-01-01'), ('L3', 'untouched', '2030-01-01'), "
    "('L4', 'same day', '2000-01-01 08:00:00');"
    "INSERT INTO Issues (F1, F2, F3, F9) VALUES ('I1', NULL, 'null part', '2000-01-01'), "
    "('I2', 'a', 'kept', NULL);"
    "INSERT INTO Activities (F1, F2, F3, F5, F6) VALUES ('A1', 'x', 'main', '2000-01-01', 12), "
    "('A1', 'x', 'other number', '2000-01-01', 13);"
    "INSERT INTO MValues VALUES ('V1', 'A', 'fine', '2000-01-01', 12.5), "
    "('V2', 'A', 'good', '2000-01-01', 3);";
const std::string updateSql =
    "INSERT INTO Lodges (F1, F2, F12) VALUES ('l1', 'one', '1997-01-01'), "
    "('L2', 'two later', '2000-02-01'), ('l2', 'two latest', '2000-03-01'), "
    "(NULL, 'null later', '2001-01-01'), ('N1', 'new', '2000-01-01'), "
    "('n1', 'new later', '2000-05-01'), ('L3', 'older', '2001-01-01'), "
    "('l4', 'same day', '2000-01-01 23:00:00');"
    "INSERT INTO Issues (F1, F2, F3, F9) VALUES ('i1', NULL, 'later', '2000-02-02'), "
    "('I3', 'B', 'new', NULL), ('i2', 'A', 'null stamp', '2001-01-01');"
    "INSERT INTO Activities (F1, F2, F3, F5, F6) VALUES ('a1', 'X', 'later', '2000-02-02', 12), "
    "('A2', 'y', 'new', '2000-01-01', 7.5), ('A2', 'Y', 'new later', '2000-01-09', 7.5);"
    "INSERT INTO MValues VALUES ('v1', 'a', 'better', '2000-02-02', 7), "
    "('V2', 'A', 'best', '2000-03-03', 2.25), ('V3', NULL, 'new', '2000-01-01', NULL), "
    "('V3', NULL, 'newer', '2000-01-02', 1);";

// The summary of an update that wrote as the one above does.
const std::string summary = "Varnholt 2000 Update Complete!\r\n\r\n"
                            " 6  Lodges Updated\r\n 2  Issues Updated\r\n"
                            " 3  Activities Updated\r\n 4  Values Updated\n";

class VhdbUndo : public ::testing::Test {
protected:
    Outcome vhdb(std::vector<std::string> args) { return VhdbProgram(dir, std::move(args)).wait(); }

    testing_support::TempDir dir;
    const std::string mainFolder = dir.file("data");
    const std::string mainPath = mainFolder + "/Varnholt.mdb";
    const std::string updatePath = dir.file("VHUpdate.mdb");
    const std::string undoPath = dir.file("update.undo");
};

// The changes an update made to one record, as the report tells them:
// added, or each field's value before the first write and after the last.
struct RecordChange {
    std::string change;
    std::map<std::string, std::pair<vhdb::CsvCell, vhdb::CsvCell>> fields;
    friend bool operator==(const RecordChange&, const RecordChange&) = default;
};
// By table and key, letter case ignored: an overwrite may change a key's
// letter case.
using Changes = std::map<std::vector<std::string>, RecordChange>;

std::string lowered(const vhdb::CsvCell& cell) {
    return cell ? "=" + db::toLower(*cell) : "null";
}

Changes reported(const std::string& path) {
    std::istringstream in(readFile(path));
    vhdb::CsvReader reader(in);
    const auto header = reader.next();
    EXPECT_TRUE(header && header->cells == vhdb::ChangesReport::header());
    Changes changes;
    while (const auto row = reader.next()) {
        const auto& cells = row->cells;
        EXPECT_EQ(cells.size(), vhdb::ChangesReport::header().size());
        std::vector<std::string> key{*cells[0]};
        for (std::size_t i = 2; i < 5; ++i)
            key.push_back(lowered(cells[i]));
        RecordChange& record = changes[key];
        if (record.change.empty())
            record.change = *cells[1];
        for (std::size_t i = 5; i + 2 < cells.size() && cells[i]; i += 3) {
            auto [field, isNew] = record.fields.try_emplace(*cells[i], cells[i + 1], cells[i + 2]);
            field->second.second = cells[i + 2];
        }
    }
    for (auto& [key, record] : changes) {
        if (record.change == "added")
            record.fields.clear();
        std::erase_if(record.fields,
                      [](const auto& field) { return field.second.first == field.second.second; });
    }
    return changes;
}

// The same, found by comparing the tables before and after, record by
// record: a row id not there before was added.
Changes compared(const StoredTables& before, const StoredTables& after, const std::string& path) {
    auto database = db::Database::open(path, VarnholtPassword, db::OpenMode::ReadOnly);
    Changes changes;
    for (const merge::TableDef* table : merge::varnholtTables()) {
        const auto& columns = database->columns(table->name);
        std::map<std::int64_t, const db::StoredRow*> old;
        for (const auto& record : before.at(table->name))
            old[record.rowid] = &record.values;
        for (const auto& record : after.at(table->name)) {
            const auto was = old.find(record.rowid);
            if (was != old.end() && *was->second == record.values)
                continue;
            std::vector<std::string> key{table->name};
            for (const merge::KeyField& part : table->key)
                for (std::size_t i = 0; i < columns.size(); ++i)
                    if (columns[i].name == part.name)
                        key.push_back(lowered(record.values[i].exportText()));
            key.resize(4, "null");
            RecordChange& change = changes[key];
            change.change = was == old.end() ? "added" : "overwritten";
            if (was == old.end())
                continue;
            for (std::size_t i = 0; i < columns.size(); ++i)
                if (!((*was->second)[i] == record.values[i]))
                    change.fields[columns[i].name] = {(*was->second)[i].exportText(),
                                                      record.values[i].exportText()};
        }
    }
    return changes;
}

// The system's temporary folder, for vhdb started while it lives.
class TemporaryFolder {
public:
    explicit TemporaryFolder(const std::string& path) {
        if (const char* was = std::getenv("TMPDIR"))
            saved_ = was;
        setenv("TMPDIR", path.c_str(), 1);
    }
    ~TemporaryFolder() {
        if (saved_)
            setenv("TMPDIR", saved_->c_str(), 1);
        else
            unsetenv("TMPDIR");
    }

private:
    std::optional<std::string> saved_;
};

TEST_F(VhdbUndo, ADryRunWritesNothingAndEndsAsTheRealRunDoesWithTheSameChanges) {
    fs::create_directory(mainFolder);
    makeFile(mainPath, mainSql);
    makeFile(updatePath, updateSql);
    const std::string bytes = readFile(mainPath);
    const std::set<std::string> listing = namesIn(mainFolder);
    const std::string temporary = dir.file("tmp");
    fs::create_directory(temporary);
    const StoredTables before = storedTables(mainPath);

    Outcome dry;
    {
        const TemporaryFolder tmp(temporary);
        dry = vhdb({"merge", mainPath, updatePath, "--dry-run", "--changes", dir.file("dry.csv")});
    }
    EXPECT_EQ(dry.exitCode, 0) << dry.err;
    EXPECT_EQ(dry.out, "Dry run: nothing was written to \"" + mainPath + "\".\r\n\r\n" + summary);
    EXPECT_EQ(readFile(mainPath), bytes);
    EXPECT_EQ(namesIn(mainFolder), listing);
    EXPECT_EQ(testing_support::journalModeOnDisk(mainPath), "delete");
    EXPECT_THAT(namesIn(temporary), IsEmpty()) << "the private copy was left behind";

    const Outcome real = vhdb({"merge", mainPath, updatePath, "--changes", dir.file("real.csv")});
    EXPECT_EQ(real.exitCode, 0) << real.err;
    EXPECT_EQ(real.out, summary);
    EXPECT_EQ(readFile(dir.file("real.csv")), readFile(dir.file("dry.csv")));

    // The report names exactly the records that differ, and how.
    const Changes changes = reported(dir.file("real.csv"));
    EXPECT_EQ(changes, compared(before, storedTables(mainPath), mainPath));
    EXPECT_EQ(changes.size(), 11u); // 15 writes, four of them of a record written before
    const RecordChange& l1 = changes.at({"Lodges", "=l1", "null", "null"});
    EXPECT_EQ(l1.fields.at("F1"), std::make_pair(vhdb::CsvCell("L1"), vhdb::CsvCell("l1")));
    EXPECT_EQ(l1.fields.at("F2"), std::make_pair(vhdb::CsvCell("X'00FF'"), vhdb::CsvCell("one")));
    EXPECT_EQ(l1.fields.at("F5"), std::make_pair(vhdb::CsvCell("five"), vhdb::CsvCell()));
    EXPECT_EQ(l1.fields.at("F12"),
              std::make_pair(vhdb::CsvCell("1996-08-04"), vhdb::CsvCell("1997-01-01 00:00:00")));
}

TEST_F(VhdbUndo, ADryRunStoppedByCtrlCOrAFailureLeavesNoCopyBehind) {
    fs::create_directory(mainFolder);
    makeFile(mainPath, "");
    makeFile(updatePath, "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                         "WHERE i < 20000) INSERT INTO Lodges (F1) SELECT 'L' || i FROM n;"
                         "INSERT INTO Issues (F1, F9) VALUES ('I1', 'next tuesday');");
    const std::string temporary = dir.file("tmp");
    fs::create_directory(temporary);
    const TemporaryFolder tmp(temporary);

    VhdbProgram program(dir, {"merge", "--dry-run", mainPath, updatePath});
    ASSERT_TRUE(program.waitForError("Updating Varnholt Lodges Table\n"));
    program.signal(SIGINT);
    const Outcome cancelled = program.wait();
    EXPECT_EQ(cancelled.exitCode, 130);
    EXPECT_THAT(cancelled.out, StartsWith("Dry run: nothing was written to \"" + mainPath +
                                          "\".\r\n\r\nVarnholt 2000 Update Cancelled!\r\n"));
    EXPECT_THAT(namesIn(temporary), IsEmpty());

    makeFile(dir.file("small.mdb"), "INSERT INTO Issues (F1, F9) VALUES ('I1', 'next tuesday');");
    execOn(mainPath, "INSERT INTO Issues (F1, F9) VALUES ('I1', '2000-01-01')");
    const Outcome failed = vhdb({"merge", "--dry-run", mainPath, dir.file("small.mdb")});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_THAT(failed.err, HasSubstr("Dry run: nothing was written to \"" + mainPath +
                                      "\".\r\n\r\nVarnholt 2000 Update Stopped!"));
    EXPECT_THAT(failed.err, HasSubstr("next tuesday"));
    EXPECT_THAT(namesIn(temporary), IsEmpty());
    EXPECT_THAT(namesIn(mainFolder), testing::ElementsAre("Varnholt.mdb"));
}

// An update long enough to be stopped in the middle: Lodges records that
// overwrite main records of every storage class, and new ones.
class VhdbUndoStopped : public VhdbUndo {
protected:
    void SetUp() override {
        fs::create_directory(mainFolder);
        makeFile(original,
                 "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300) "
                 "INSERT INTO Lodges (F1, F2, F3, F4, F12) SELECT printf('L%04d', i), "
                 "CASE i % 4 WHEN 0 THEN i WHEN 1 THEN i + 0.5 WHEN 2 THEN randomblob(3) "
                 "ELSE NULL END, '', 'main', printf('2000-01-%02d', 1 + i % 28) FROM n;"
                 "INSERT INTO MValues VALUES ('V1', 'A', 'fine', '2000-01-01', 12.5);");
        makeFile(updatePath,
                 "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 600) "
                 "INSERT INTO Lodges (F1, F2, F12) SELECT printf('l%04d', i), 'update', "
                 "'2001-01-01' FROM n;"
                 "INSERT INTO MValues VALUES ('v1', 'a', 'better', '2000-02-02', 7);");
        before = storedTables(original);
    }

    // Waits until the undo file notes some records: its WAL holds a few
    // dozen pages. False when a minute passed first.
    bool waitForSomeRecords() const {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        std::error_code ec;
        while (fs::file_size(db::walOf(undoPath), ec) < 40'000 || ec) {
            if (std::chrono::steady_clock::now() > giveUp)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

    // The update run on a fresh copy of the main database with an undo file,
    // stopped by `stop` once it began, then taken back.
    // A run that ends by itself also reports exactly the records it saved;
    // a killed one may miss the last.
    void runStoppedAndUndo(const std::function<void(VhdbProgram&)>& stop, bool killed = false) {
        fs::remove(mainPath);
        fs::copy_file(original, mainPath);
        fs::remove(undoPath);
        const std::string report = dir.file("changes.csv");
        {
            VhdbProgram program(
                dir, {"merge", mainPath, updatePath, "--undo", undoPath, "--changes", report});
            ASSERT_TRUE(program.waitForError("Updating Varnholt Lodges Table\n"));
            stop(program);
        }
        ASSERT_NE(storedTables(mainPath), before) << "nothing was saved before the stop";
        if (!killed) {
            EXPECT_EQ(reported(report), compared(before, storedTables(mainPath), mainPath));
        }
        const Outcome undo = vhdb({"undo", mainPath, undoPath});
        EXPECT_EQ(undo.exitCode, 0) << undo.err;
        EXPECT_THAT(undo.out, StartsWith("Update undone in \"" + mainPath + "\""));
        EXPECT_EQ(storedTables(mainPath), before);
        EXPECT_THAT(testing_support::sideFilesOf(mainPath), IsEmpty());
        // What a killed run left in the WAL beside the undo file is in the
        // file itself now, so the file alone can be kept or moved.
        EXPECT_THAT(testing_support::sideFilesOf(undoPath), IsEmpty());
    }

    const std::string original = dir.file("original.mdb");
    StoredTables before;
};

TEST_F(VhdbUndoStopped, UndoAfterACompleteACancelledAndAKilledRunGivesBackTheTablesExactly) {
    {
        SCOPED_TRACE("complete");
        runStoppedAndUndo([](VhdbProgram& program) { EXPECT_EQ(program.wait().exitCode, 0); });
    }
    {
        SCOPED_TRACE("Ctrl+C");
        runStoppedAndUndo([this](VhdbProgram& program) {
            ASSERT_TRUE(waitForSomeRecords());
            program.signal(SIGINT);
            EXPECT_EQ(program.wait().exitCode, 130);
        });
    }
    {
        SCOPED_TRACE("SIGKILL");
        runStoppedAndUndo(
            [this](VhdbProgram& program) {
                ASSERT_TRUE(waitForSomeRecords());
                program.signal(SIGKILL);
                EXPECT_EQ(program.waitForSignal(), SIGKILL) << "the update ended before the kill";
            },
            true);
    }
}

TEST_F(VhdbUndo, UndoRefusesRecordsChangedSinceAndForceLeavesThemAlone) {
    fs::create_directory(mainFolder);
    makeFile(mainPath, mainSql);
    makeFile(updatePath, updateSql);
    const StoredTables before = storedTables(mainPath);
    const Outcome merged = vhdb({"merge", mainPath, updatePath, "--undo", undoPath});
    EXPECT_EQ(merged.exitCode, 0);
    EXPECT_THAT(merged.err, HasSubstr("The undo file \"" + undoPath + "\" notes the 15 records"));
    execOn(mainPath, "UPDATE Lodges SET F3 = 'by hand' WHERE F1 = 'l2'");
    const StoredTables changed = storedTables(mainPath);

    const Outcome refused = vhdb({"undo", mainPath, undoPath});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err, "vhdb: 1 record of \"" + mainPath +
                               "\" changed since the update wrote it, so nothing was undone. To "
                               "undo the others and leave it as it is, run it again with "
                               "--force:\n  Lodges record 2 (F1 \"l2\"): changed since the "
                               "update wrote it\n");
    EXPECT_EQ(storedTables(mainPath), changed);

    const Outcome forced = vhdb({"undo", "--force", mainPath, undoPath});
    EXPECT_EQ(forced.exitCode, 0) << forced.err;
    EXPECT_EQ(forced.out, "Update undone in \"" + mainPath + "\" (the update from \"" +
                              fs::canonical(updatePath).string() +
                              "\").\n"
                              " Lodges: 3 records restored, 1 record removed\n"
                              " Issues: 1 record restored, 1 record removed\n"
                              " Activities: 2 records restored, 1 record removed\n"
                              " MValues: 3 records restored, 1 record removed\n"
                              " Left as they are, changed since the update wrote them:\n"
                              "  Lodges record 2 (F1 \"l2\"): changed since the update wrote it\n");
    StoredTables expected = before;
    expected["Lodges"][1] = changed.at("Lodges")[1];
    EXPECT_EQ(storedTables(mainPath), expected);
}

TEST_F(VhdbUndo, FilesThatAreNotTheOnesAreRefusedWithNothingWritten) {
    fs::create_directory(mainFolder);
    makeFile(mainPath, mainSql);
    makeFile(updatePath, updateSql);
    testing_support::writeFile(undoPath, "mine");
    const std::string bytes = readFile(mainPath);

    const Outcome existing = vhdb({"merge", mainPath, updatePath, "--undo", undoPath});
    EXPECT_EQ(existing.exitCode, 1);
    EXPECT_THAT(existing.err, HasSubstr("already exists"));
    EXPECT_EQ(readFile(undoPath), "mine");
    EXPECT_EQ(readFile(mainPath), bytes);
    const Outcome itself = vhdb({"merge", mainPath, updatePath, "--changes", mainPath});
    EXPECT_EQ(itself.exitCode, 1);
    EXPECT_THAT(itself.err, HasSubstr("is the database"));
    EXPECT_EQ(readFile(mainPath), bytes);
    // One new file named two ways is refused before either is made.
    const std::string fresh = dir.file("fresh.undo");
    const std::string again = (fs::path(dir.file(".")) / "fresh.undo").string();
    const Outcome twice =
        vhdb({"merge", mainPath, updatePath, "--undo", fresh, "--changes", again});
    EXPECT_EQ(twice.exitCode, 1);
    EXPECT_THAT(twice.err, HasSubstr("name two files"));
    EXPECT_FALSE(fs::exists(fresh));
    EXPECT_EQ(readFile(mainPath), bytes);
    // Named by a bare name and by ./name, from the folder vhdb runs in.
    const Outcome relative =
        VhdbProgram(
            dir, {"merge", mainPath, updatePath, "--undo", "here.undo", "--changes", "./here.undo"},
            {"/usr/bin/env", "-C", dir.path().string()})
            .wait();
    EXPECT_EQ(relative.exitCode, 1);
    EXPECT_THAT(relative.err, HasSubstr("name two files"));
    EXPECT_FALSE(fs::exists(dir.file("here.undo")));
    // A report that is a link to where the undo file goes is found once the
    // undo file is made, and the undo file goes again.
    fs::create_symlink(dir.file("linked.undo"), dir.file("linked.csv"));
    const Outcome linked = vhdb({"merge", mainPath, updatePath, "--undo", dir.file("linked.undo"),
                                 "--changes", dir.file("linked.csv")});
    EXPECT_EQ(linked.exitCode, 1);
    EXPECT_THAT(linked.err, HasSubstr("name two files"));
    EXPECT_FALSE(fs::exists(dir.file("linked.undo")));
    EXPECT_EQ(readFile(mainPath), bytes);
    // A changes report that cannot be made leaves no undo file behind, so
    // that the same command, put right, is not refused for it.
    const Outcome noReport = vhdb({"merge", mainPath, updatePath, "--undo", fresh, "--changes",
                                   dir.file("missing/changes.csv")});
    EXPECT_EQ(noReport.exitCode, 1);
    EXPECT_THAT(noReport.err, HasSubstr("Cannot write the changes report"));
    EXPECT_THAT(noReport.err, HasSubstr("No such file or directory"));
    EXPECT_FALSE(fs::exists(fresh));
    EXPECT_EQ(readFile(mainPath), bytes);
    const Outcome both = vhdb({"merge", mainPath, updatePath, "--dry-run", "--undo", undoPath});
    EXPECT_EQ(both.exitCode, 2);
    EXPECT_EQ(readFile(mainPath), bytes);

    fs::remove(undoPath);
    ASSERT_EQ(vhdb({"merge", mainPath, updatePath, "--undo", undoPath}).exitCode, 0);
    const std::string other = dir.file("Other.mdb");
    makeFile(other, mainSql);
    const std::string otherBytes = readFile(other);
    const Outcome wrong = vhdb({"undo", other, undoPath});
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_THAT(wrong.err, HasSubstr("was not made for \"" + other + "\""));
    EXPECT_EQ(readFile(other), otherBytes);
    const Outcome noUndoFile = vhdb({"undo", mainPath, updatePath});
    EXPECT_EQ(noUndoFile.exitCode, 1);
    EXPECT_THAT(noUndoFile.err, HasSubstr("is no undo file"));
}

TEST_F(VhdbUndo, HelpNamesTheNewOptionsAndCommand) {
    const Outcome merge = vhdb({"merge", "--help"});
    for (const char* option : {"--dry-run", "--changes", "--undo"})
        EXPECT_THAT(merge.out, HasSubstr(option));
    const Outcome undo = vhdb({"undo", "--help"});
    EXPECT_EQ(undo.exitCode, 0);
    EXPECT_THAT(undo.out, HasSubstr("Usage: vhdb undo [OPTIONS] MAIN FILE"));
    EXPECT_THAT(undo.out, HasSubstr("--force"));
}

} // namespace
