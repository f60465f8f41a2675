// Every I/O operation of a small update made to fail in turn, once and from
// then on, under vhdb merge, vhdb merge --undo and vhdb undo: after each, the
// files must be sound, hold exactly the records saved before the fault, and
// a run without faults must finish the job.
#include "merge/ChangeLog.h"
#include "merge/Tables.h"
#include "merge/Update.h"
#include "platform/db/Connection.h"
#include "platform/db/SideFiles.h"
#include "platform/db/Sqlite.h"
#include "tests/support/FakeHost.h"
#include "tests/support/FaultVfs.h"
#include "tests/support/StoredTables.h"
#include "tests/support/TempDir.h"
#include "tools/vhdb/Vhdb.h"

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using testing_support::ArmedFault;
using testing_support::Fault;
using testing_support::FaultVfs;
using testing_support::IoOp;
using testing_support::IoOpCount;
using testing_support::StoredTables;
using testing_support::storedTables;
using testing_support::TempDir;
using testing_support::VarnholtPassword;

struct Ran {
    int rc = 0;
    std::string out;
    std::string err;
};

Ran vhdb(std::vector<std::string> args) {
    args.insert(args.begin(), "vhdb");
    std::vector<const char*> argv;
    for (const std::string& arg : args)
        argv.push_back(arg.c_str());
    std::ostringstream out, err;
    Ran run;
    run.rc = vhdb::run(static_cast<int>(argv.size()), argv.data(), out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
}

// One record the update saves: its table and the row id it has once saved.
struct Write {
    std::string table;
    std::int64_t rowid;
};

class WriteOrder final : public merge::ChangeLog {
public:
    std::vector<Write> writes;
    void aboutToWrite(const merge::RecordWrite&) override {}
    void written(const merge::RecordWrite& write, std::int64_t rowid) override {
        writes.push_back({write.table.name, rowid});
    }
};

// The sum of the counts a summary or a stopped update's message lists
// (" 4  Lodges Updated"); nothing when it lists none.
std::optional<int> countedIn(const std::string& text) {
    std::istringstream lines(text);
    std::string line;
    std::optional<int> sum;
    while (std::getline(lines, line)) {
        if (line.find(" Updated") == std::string::npos)
            continue;
        sum = sum.value_or(0) + std::stoi(line);
    }
    return sum;
}

std::set<std::string> filesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

std::string journalModeOf(const std::string& path) {
    int rc = 0;
    const db::Connection connection =
        db::openConnection(path, SQLITE_OPEN_READONLY, VarnholtPassword, rc);
    if (!connection || db::readSchema(connection.get()) != SQLITE_OK)
        return "(cannot be read)";
    return db::journalModePragma(connection.get(), "PRAGMA journal_mode");
}

// How the runs of one kind of fault ended.
struct Tally {
    int complete = 0;
    int stopped = 0;
    int notFired = 0;
    std::set<std::string> said; // the lines a stopped run ended with
};

// The line a stopped run says what failed with, the test's folder left out:
// a "vhdb: " line, else the first line of the update's message after its
// heading.
std::string reasonIn(const std::string& err, const std::string& folder) {
    std::istringstream lines(err);
    std::string line, first, told;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.starts_with("vhdb: "))
            told = line;
        else if (first.empty() && !line.empty() && !line.ends_with("Update Stopped!") &&
                 !line.ends_with("failed:"))
            first = line;
    }
    std::string reason = told.empty() ? first : told;
    for (std::size_t at; (at = reason.find(folder)) != std::string::npos;)
        reason.replace(at, folder.size(), "DIR");
    return reason;
}

class FaultSweep : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        FaultVfs::install();
        // Every file here is made and read in this process: a key derived in
        // one step instead of thousands makes each of the sweep's many
        // connections cheap, and changes nothing the sweep looks at.
        {
            sqlite3* handle = nullptr;
            sqlite3_open(":memory:", &handle);
            ASSERT_EQ(sqlite3_exec(handle, "PRAGMA cipher_default_kdf_iter = 1", nullptr, nullptr,
                                   nullptr),
                      SQLITE_OK);
            sqlite3_close(handle);
        }
        files_ = new TempDir;
        const Ran demo = vhdb({"demo", "--lodges", "6", "--issues", "6", "--activities", "6",
                               "--values", "6", "--main-records", "12", files_->path().string()});
        ASSERT_EQ(demo.rc, 0) << demo.err;
        original_ = new StoredTables(storedTables(files_->file("Varnholt.mdb")));

        // The order the update saves its records in, from a run of its own.
        const std::string copy = files_->file("order.mdb");
        fs::copy_file(files_->file("Varnholt.mdb"), copy);
        WriteOrder order;
        {
            testing_support::FakeHost host;
            merge::runUpdate(
                host.merger,
                [&] {
                    return merge::Locations{copy, files_->file("VHUpdate.mdb")};
                },
                &order);
            host.data1.Close();
            host.data2.Close();
        }
        order_ = new std::vector<Write>(order.writes);
        merged_ = new StoredTables(storedTables(copy));
    }

    static void TearDownTestSuite() {
        delete order_;
        delete merged_;
        delete original_;
        delete files_;
    }

    void SetUp() override {
        ASSERT_FALSE(order_->empty());
        ASSERT_NE(*merged_, *original_);
    }

    // A fresh main database and update in `dir`.
    static void freshFiles(const TempDir& dir) {
        fs::copy_file(files_->file("Varnholt.mdb"), dir.file("Varnholt.mdb"));
        fs::copy_file(files_->file("VHUpdate.mdb"), dir.file("VHUpdate.mdb"));
    }

    // The first `saved` writes of the update applied to the original tables.
    static StoredTables afterWrites(std::size_t saved) {
        StoredTables tables = *original_;
        for (std::size_t i = 0; i < saved && i < order_->size(); ++i) {
            const Write& write = (*order_)[i];
            const auto& done = merged_->at(write.table);
            const auto record = std::find_if(done.begin(), done.end(),
                                             [&](const auto& r) { return r.rowid == write.rowid; });
            auto& records = tables[write.table];
            const auto at = std::find_if(records.begin(), records.end(),
                                         [&](const auto& r) { return r.rowid == write.rowid; });
            if (at != records.end())
                *at = *record;
            else
                records.push_back(*record);
        }
        return tables;
    }

    // The main database's records as a later run finds them, once `vhdb
    // check` has put right what the run left and found the file sound;
    // nothing when it did not. What is wrong is added to `wrong`: files
    // beside the databases other than `mayLie`, a check that fails.
    static std::optional<StoredTables>
    checkedRecords(const TempDir& dir, const std::set<std::string>& mayLie, std::string& wrong) {
        for (const std::string& name : filesIn(dir.path()))
            if (!mayLie.contains(name))
                wrong += " the file " + name + " was left beside the database;";
        const std::string main = dir.file("Varnholt.mdb");
        const Ran check = vhdb({"check", main});
        if (check.rc != 0) {
            wrong += " vhdb check then fails: " + check.err;
            return std::nullopt;
        }
        return storedTables(main);
    }

    // What is wrong with the main database after a run that saved `saved`
    // records (from the run's own message), as a later run finds it: empty
    // when nothing is.
    static std::string checkSaved(const TempDir& dir, std::optional<int> saved,
                                  const std::set<std::string>& mayLie) {
        std::string wrong;
        const auto records = checkedRecords(dir, mayLie, wrong);
        if (!records)
            return wrong;
        const StoredTables& found = *records;
        std::size_t prefix = 0;
        while (prefix <= order_->size() && afterWrites(prefix) != found)
            ++prefix;
        if (prefix > order_->size())
            return wrong + " the records are not those of the first writes of the update;";
        if (saved.value_or(0) != static_cast<int>(prefix))
            wrong +=
                fmt::format(" {} records were saved but {} reported;", prefix, saved.value_or(0));
        return wrong;
    }

    // A run without faults, after the faulted one: it must end the update
    // and leave the file in its own journal mode, with nothing beside it.
    static std::string checkFinished(const TempDir& dir, const std::vector<std::string>& command,
                                     const StoredTables& expected) {
        const Ran again = vhdb(command);
        std::string wrong;
        if (again.rc != 0)
            return " a run without faults afterwards fails: " + again.err + again.out;
        const std::string main = dir.file("Varnholt.mdb");
        if (storedTables(main) != expected)
            wrong += " a run without faults afterwards leaves other records;";
        if (const std::string mode = journalModeOf(main); mode != "delete")
            wrong += " the file is left in journal mode " + mode + ";";
        for (const std::string& side : db::sideFilesOf(main))
            if (fs::exists(side))
                wrong += " " + fs::path(side).filename().string() + " is left beside it;";
        return wrong;
    }

    static std::string describe(const char* what, const Fault& fault) {
        return fmt::format("{}: {} {} #{}", what, fault.persistent ? "every" : "one",
                           testing_support::nameOf(fault.op), fault.nth);
    }

    // Every fault a run of `command` can meet on the files under `prefix`:
    // for each kind of operation, the n-th one failing, once and from then
    // on (a write from then on as a full disk).
    template <typename Prepare, typename Command, typename Check>
    void sweep(const char* what, Prepare prepare, Command command, Check check,
               const std::string& target) {
        IoCounts counted{};
        {
            TempDir dir;
            prepare(dir);
            {
                const ArmedFault counting(dir.file(target), {});
                const Ran run = vhdb(command(dir));
                ASSERT_EQ(run.rc, 0) << run.err;
                counted = FaultVfs::counts();
            }
        }
        std::cout << what << ": counted";
        for (std::size_t kind = 0; kind < IoOpCount; ++kind)
            std::cout << ' ' << counted[kind] << ' '
                      << testing_support::nameOf(static_cast<IoOp>(kind));
        std::cout << std::endl;
        std::vector<std::string> failures;
        std::map<IoOp, Tally> tallies;
        long runs = 0;
        for (std::size_t kind = 0; kind < IoOpCount; ++kind) {
            const auto op = static_cast<IoOp>(kind);
            for (long nth = 1; nth <= counted[kind]; ++nth) {
                for (const bool persistent : {false, true}) {
                    const Fault fault{
                        op, nth, persistent, op == IoOp::Write && persistent ? SQLITE_FULL : 0, {}};
                    TempDir dir;
                    prepare(dir);
                    Ran run;
                    long fired = 0;
                    {
                        const ArmedFault armed(dir.file(target), fault);
                        run = vhdb(command(dir));
                        fired = FaultVfs::failed();
                    }
                    ++runs;
                    Tally& tally = tallies[op];
                    if (!fired)
                        ++tally.notFired;
                    else if (run.rc == 0)
                        ++tally.complete;
                    else {
                        ++tally.stopped;
                        tally.said.insert(reasonIn(run.err, dir.path().string()));
                    }
                    std::string wrong;
                    if (run.rc != 0 && run.rc != 1)
                        wrong += fmt::format(" exit status {};", run.rc);
                    if (run.rc == 1 && run.err.empty())
                        wrong += " it failed without a word;";
                    // The file is sound (checkSaved proves it): an I/O error
                    // is not damage.
                    if (run.rc == 1 && run.err.find("damaged") != std::string::npos)
                        wrong += " an I/O error was called damage;";
                    // A run that says it is done has put its files back.
                    if (run.rc == 0)
                        for (const char* file : {"Varnholt.mdb", "u.db"})
                            for (const std::string& side : db::sideFilesOf(dir.file(file)))
                                if (fs::exists(side))
                                    wrong += " it ended 0 but left " +
                                             fs::path(side).filename().string() + ";";
                    wrong += check(dir, run);
                    if (!wrong.empty())
                        failures.push_back(describe(what, fault) + ":" + wrong + "\n    " +
                                           run.out + run.err);
                }
            }
        }
        std::string summary = fmt::format("{}: {} runs over", what, runs);
        for (std::size_t kind = 0; kind < IoOpCount; ++kind) {
            const auto op = static_cast<IoOp>(kind);
            const Tally t = tallies[op];
            summary += fmt::format(" {} {} ({} complete, {} stopped, {} never met);", counted[kind],
                                   testing_support::nameOf(op), t.complete, t.stopped, t.notFired);
        }
        std::cout << summary << '\n';
        for (const auto& [op, tally] : tallies)
            for (const std::string& said : tally.said)
                std::cout << "  " << testing_support::nameOf(op) << ": " << said << '\n';
        for (std::size_t i = 0; i < failures.size() && i < 40; ++i)
            ADD_FAILURE() << failures[i];
        EXPECT_EQ(failures.size(), 0u);
    }

    using IoCounts = testing_support::IoCounts;

    // Ctrl+C or SIGTERM at every I/O operation of a run of `command` on the
    // files under `target`, from the first file made to the last closed:
    // the run ends complete or cancelled, says which with the records it
    // saved, and leaves the files as it found them.
    template <typename Command>
    void signalSweep(const char* what, Command command, const std::string& target, bool undoFile) {
        IoCounts counted{};
        {
            TempDir dir;
            freshFiles(dir);
            const ArmedFault counting(dir.file(target), {});
            ASSERT_EQ(vhdb(command(dir)).rc, 0);
            counted = FaultVfs::counts();
        }
        std::vector<std::string> failures;
        int complete = 0, cancelled = 0, runs = 0;
        for (std::size_t kind = 0; kind < IoOpCount; ++kind) {
            const auto op = static_cast<IoOp>(kind);
            for (long nth = 1; nth <= counted[kind]; ++nth) {
                const int signal = nth % 2 ? SIGTERM : SIGINT;
                const Fault fault{op, nth, false, 0, [signal] { std::raise(signal); }};
                TempDir dir;
                freshFiles(dir);
                Ran run;
                {
                    const ArmedFault armed(dir.file(target), fault);
                    run = vhdb(command(dir));
                }
                ++runs;
                std::string wrong = afterSignal(dir, run, undoFile);
                (run.rc == 0 ? complete : cancelled) += 1;
                if (!wrong.empty())
                    failures.push_back(fmt::format("{}: signal {} at {} #{}:{}\n    {}", what,
                                                   signal, testing_support::nameOf(op), nth, wrong,
                                                   run.out + run.err));
            }
        }
        std::cout << fmt::format("{}: {} runs, a signal at each I/O operation: {} complete, {} "
                                 "cancelled\n",
                                 what, runs, complete, cancelled);
        for (std::size_t i = 0; i < failures.size() && i < 40; ++i)
            ADD_FAILURE() << failures[i];
        EXPECT_EQ(failures.size(), 0u);
    }

    static std::string afterSignal(const TempDir& dir, const Ran& run, bool undoFile) {
        std::string wrong;
        const std::string text = run.out + run.err;
        if (run.rc == 0 && text.find("Update Complete!") == std::string::npos)
            wrong += " it ended 0 without the summary;";
        else if (run.rc == 130 && text.find("Update Cancelled!") == std::string::npos)
            wrong += " it ended 130 without saying it was cancelled;";
        else if (run.rc != 0 && run.rc != 130)
            wrong += fmt::format(" exit status {};", run.rc);
        const std::string main = dir.file("Varnholt.mdb");
        for (const char* file : {"Varnholt.mdb", "u.db"})
            for (const std::string& side : db::sideFilesOf(dir.file(file)))
                if (fs::exists(side))
                    wrong += " it left " + fs::path(side).filename().string() + ";";
        for (const std::string& name : filesIn(dir.path()))
            if (name != "Varnholt.mdb" && name != "VHUpdate.mdb" && name != "u.db")
                wrong += " it left " + name + ";";
        if (const std::string mode = journalModeOf(main); mode != "delete")
            wrong += " the file is left in journal mode " + mode + ";";
        std::set<std::string> mayLie = besideMain();
        mayLie.insert("u.db");
        wrong += checkSaved(dir, countedIn(text), mayLie);
        if (undoFile) {
            const Ran undo = vhdb(undoCommand(dir));
            if (undo.rc != 0)
                wrong += " its undo file cannot be undone: " + undo.err;
            else if (storedTables(main) != *original_)
                wrong += " undoing it does not give the original records back;";
        }
        return wrong;
    }

    static std::vector<std::string> mergeCommand(const TempDir& dir) {
        return {"merge", "-q", dir.file("Varnholt.mdb"), dir.file("VHUpdate.mdb")};
    }
    static std::vector<std::string> undoRunCommand(const TempDir& dir,
                                                   const std::string& undo = "u.db") {
        return {"merge",
                "-q",
                "--undo",
                dir.file(undo),
                dir.file("Varnholt.mdb"),
                dir.file("VHUpdate.mdb")};
    }
    static std::vector<std::string> undoCommand(const TempDir& dir) {
        return {"undo", dir.file("Varnholt.mdb"), dir.file("u.db")};
    }

    static const std::set<std::string>& besideMain() {
        static const std::set<std::string> names = [] {
            std::set<std::string> n{"Varnholt.mdb", "VHUpdate.mdb"};
            for (const char* file : {"Varnholt.mdb", "u.db"})
                for (const std::string& side : db::sideFilesOf(file))
                    n.insert(side);
            return n;
        }();
        return names;
    }

    // Checks after a faulted vhdb merge.
    static std::string afterMerge(const TempDir& dir, const Ran& run) {
        const std::string text = run.out + run.err;
        std::string wrong = checkSaved(dir, countedIn(text), besideMain());
        if (run.rc == 0 && text.find("Update Complete!") == std::string::npos)
            wrong += " it ended 0 without the summary;";
        return wrong + checkFinished(dir, mergeCommand(dir), *merged_);
    }

    // Checks after a faulted vhdb merge --undo: the undo file it left, if
    // any, takes back exactly what was saved.
    static std::string afterUndoRun(const TempDir& dir, const Ran& run) {
        const std::string text = run.out + run.err;
        std::set<std::string> mayLie = besideMain();
        mayLie.insert("u.db");
        mayLie.insert("u2.db");
        std::string wrong = checkSaved(dir, countedIn(text), mayLie);
        if (!fs::exists(dir.file("u.db"))) {
            if (storedTables(dir.file("Varnholt.mdb")) != *original_)
                wrong += " records were saved without an undo file;";
        } else {
            const Ran undo = vhdb(undoCommand(dir));
            if (undo.rc != 0)
                return wrong + " its undo file cannot be undone: " + undo.err + undo.out;
            if (storedTables(dir.file("Varnholt.mdb")) != *original_)
                wrong += " undoing it does not give the original records back;";
        }
        return wrong + checkFinished(dir, undoRunCommand(dir, "u2.db"), *merged_);
    }

    // Checks after a faulted vhdb undo of a whole update: the main database
    // holds either the update or the original, and undoing again finishes.
    static std::string afterUndo(const TempDir& dir, const Ran& run) {
        std::string wrong;
        std::set<std::string> mayLie = besideMain();
        mayLie.insert("u.db");
        const auto records = checkedRecords(dir, mayLie, wrong);
        if (!records)
            return wrong;
        const StoredTables& found = *records;
        if (found != *original_ && found != *merged_)
            wrong += " the records are neither those before the update nor after it;";
        if (run.rc == 0 && found != *original_)
            wrong += " it ended 0 without taking the update back;";
        return wrong + checkFinished(dir, undoCommand(dir), *original_);
    }

    static void mergedWithUndoFile(const TempDir& dir) {
        freshFiles(dir);
        const Ran run = vhdb(undoRunCommand(dir));
        if (run.rc != 0)
            ADD_FAILURE() << "the update with its undo file fails: " << run.err;
    }

    static TempDir* files_;
    static StoredTables* original_;
    static StoredTables* merged_;
    static std::vector<Write>* order_;
};

TempDir* FaultSweep::files_ = nullptr;
StoredTables* FaultSweep::original_ = nullptr;
StoredTables* FaultSweep::merged_ = nullptr;
std::vector<Write>* FaultSweep::order_ = nullptr;

TEST_F(FaultSweep, MergeSurvivesEveryFaultOnTheMainDatabase) {
    sweep("merge, main database", freshFiles, mergeCommand, afterMerge, "Varnholt.mdb");
}

TEST_F(FaultSweep, MergeSurvivesEveryFaultOnTheUpdate) {
    sweep("merge, update", freshFiles, mergeCommand, afterMerge, "VHUpdate.mdb");
}

TEST_F(FaultSweep, MergeWithAnUndoFileSurvivesEveryFaultOnTheMainDatabase) {
    sweep(
        "merge --undo, main database", freshFiles,
        [](const TempDir& dir) { return undoRunCommand(dir); }, afterUndoRun, "Varnholt.mdb");
}

TEST_F(FaultSweep, MergeWithAnUndoFileSurvivesEveryFaultOnTheUndoFile) {
    sweep(
        "merge --undo, undo file", freshFiles,
        [](const TempDir& dir) { return undoRunCommand(dir); }, afterUndoRun, "u.db");
}

TEST_F(FaultSweep, ASignalAtAnyMomentOfAMergeEndsItTruthfullyWithTheFilesAsFound) {
    signalSweep("merge, main database", mergeCommand, "Varnholt.mdb", false);
    signalSweep(
        "merge --undo, main database", [](const TempDir& dir) { return undoRunCommand(dir); },
        "Varnholt.mdb", true);
    signalSweep(
        "merge --undo, undo file", [](const TempDir& dir) { return undoRunCommand(dir); }, "u.db",
        true);
}

TEST_F(FaultSweep, ACheckThatCannotPutTheJournalModeBackSaysSoAndTheNextOneDoes) {
    TempDir dir;
    freshFiles(dir);
    const std::string main = dir.file("Varnholt.mdb");
    // As a run killed in WAL mode leaves the file.
    {
        int rc = 0;
        const db::Connection connection =
            db::openConnection(main, SQLITE_OPEN_READWRITE, VarnholtPassword, rc);
        ASSERT_TRUE(connection);
        ASSERT_EQ(db::journalModePragma(connection.get(), "PRAGMA journal_mode=WAL"), "wal");
    }
    testing_support::writeFile(db::journalMarkerOf(main), "delete\n");
    Ran failed;
    {
        const ArmedFault armed(main, {IoOp::Write, 1, true, 0, {}});
        failed = vhdb({"check", main});
    }
    // The file is sound: the check says so, and what it could not do.
    EXPECT_EQ(failed.rc, 0);
    EXPECT_NE(failed.err.find("could not be put back in its own journal mode"), std::string::npos)
        << failed.err;
    EXPECT_TRUE(fs::exists(db::journalMarkerOf(main)));
    const Ran again = vhdb({"check", main});
    EXPECT_EQ(again.rc, 0) << again.err;
    EXPECT_EQ(journalModeOf(main), "delete");
    EXPECT_FALSE(fs::exists(db::journalMarkerOf(main)));
}

TEST_F(FaultSweep, UndoSurvivesEveryFaultOnTheMainDatabase) {
    sweep("undo, main database", mergedWithUndoFile, undoCommand, afterUndo, "Varnholt.mdb");
}

TEST_F(FaultSweep, UndoSurvivesEveryFaultOnTheUndoFile) {
    sweep("undo, undo file", mergedWithUndoFile, undoCommand, afterUndo, "u.db");
}

} // namespace
