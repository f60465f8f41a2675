// vhdb merge: the real program on real files, and the terminal host in this
// process where a test must act at an exact record.
#include "merge/Schema.h"
#include "merge/Update.h"
#include "platform/db/Database.h"
#include "tests/support/DbHelpers.h"
#include "tests/support/TempDir.h"
#include "tests/support/UpdateTexts.h"
#include "tests/tools/vhdb/VhdbProcess.h"
#include "tools/vhdb/TerminalBar.h"
#include "tools/vhdb/TerminalHost.h"
#include "tools/vhdb/TerminalInterrupts.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <optional>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using testing_support::countLines;
using testing_support::Outcome;
using testing_support::readFile;
using testing_support::VarnholtPassword;
using testing_support::VhdbProgram;

const std::string lodgesStatus = "Updating Varnholt Lodges Table\n";
const std::string issuesStatus = "Updating Varnholt Issues Table\n";
const std::string activitiesStatus = "Updating Varnholt Activities Table\n";
const std::string valuesStatus = "Updating Varnholt Values Table\n";

class VhdbMerge : public ::testing::Test {
protected:
    // A Varnholt database holding what `sql` inserts.
    static void makeFile(const std::string& path, const std::string& sql) {
        db::Database::create(path, VarnholtPassword, [&](db::Database& database) {
            merge::createVarnholtSchema(database);
            database.exec(sql, "test data");
        });
    }

    static std::shared_ptr<db::Database> openMain(const std::string& path) {
        return db::Database::open(path, VarnholtPassword, db::OpenMode::ReadOnly);
    }

    // Each row of `sql` as its values joined by '|', a null as "null".
    static std::vector<std::string> rows(db::Database& database, const std::string& sql) {
        std::vector<std::string> found;
        for (const auto& row : testing_support::rowsOf(database, sql)) {
            std::string line;
            for (const db::Value& value : row) {
                if (!line.empty())
                    line += '|';
                line += value.isNull() ? "null" : value.toText();
            }
            found.push_back(line);
        }
        return found;
    }

    static std::int64_t countOf(db::Database& database, const std::string& table) {
        return testing_support::rowsOf(database, "SELECT count(*) FROM " + table)
            .at(0)
            .at(0)
            .asInteger();
    }

    Outcome vhdb(std::vector<std::string> args) { return VhdbProgram(dir, std::move(args)).wait(); }

    testing_support::TempDir dir;
    const std::string mainPath = dir.file("Varnholt.mdb");
    const std::string updatePath = dir.file("VHUpdate.mdb");
};

TEST_F(VhdbMerge, MergesTheFourTablesAndPrintsTheSummary) {
    makeFile(mainPath,
             "INSERT INTO Lodges (F1, F2, F12) VALUES ('L1', 'main', '2020-01-01 08:00:00');"
             "INSERT INTO Issues (F1, F2, F3, F9) VALUES ('I1', 'A', 'main', "
             "'2020-01-01 08:00:00');");
    makeFile(updatePath, "INSERT INTO Lodges (F1, F2, F12) VALUES "
                         "('l1', 'same day', '2020-01-01 23:00:00'), ('L2', 'new', '2020-01-01'), "
                         "('L3', 'new', NULL);"
                         "INSERT INTO Issues (F1, F2, F3, F9) VALUES ('i1', 'a', 'a day later', "
                         "'2020-01-02');"
                         "INSERT INTO MValues VALUES ('V1', 'A', 'mint', '2020-03-04', 5);");
    const std::string update = readFile(updatePath);

    const Outcome run = vhdb({"merge", mainPath, updatePath});

    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "Varnholt 2000 Update Complete!\r\n\r\n" + countLines(2, 1, 0, 1) + "\n");
    // Not a terminal: the status line of each table the update holds, no bar.
    EXPECT_EQ(run.err, lodgesStatus + issuesStatus + valuesStatus);
    {
        auto main = openMain(mainPath);
        EXPECT_EQ(rows(*main, "SELECT F1, F2 FROM Lodges ORDER BY rowid"),
                  (std::vector<std::string>{"L1|main", "L2|new", "L3|new"}));
        EXPECT_EQ(rows(*main, "SELECT F1, F2, F3, F9 FROM Issues"),
                  std::vector<std::string>{"i1|a|a day later|2020-01-02 00:00:00"});
        EXPECT_EQ(countOf(*main, "Activities"), 0);
        EXPECT_EQ(rows(*main, "SELECT * FROM MValues"),
                  std::vector<std::string>{"V1|A|mint|2020-03-04 00:00:00|5"});
    }
    EXPECT_EQ(readFile(updatePath), update);

    // The same update again finds nothing newer; --quiet shows no status.
    const Outcome again = vhdb({"merge", "--quiet", mainPath, updatePath});
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_EQ(again.out, "Varnholt 2000 Update Complete!\r\n\r\n" + countLines(0, 0, 0, 0) + "\n");
    EXPECT_EQ(again.err, "");
}

TEST_F(VhdbMerge, AFailingTableStopsTheUpdateAndKeepsWhatWasSaved) {
    makeFile(mainPath, "INSERT INTO Issues (F1, F2, F9) VALUES ('I1', 'A', '2020-01-01');");
    makeFile(updatePath, "INSERT INTO Lodges (F1) VALUES ('L1'), ('L2');"
                         "INSERT INTO Issues (F1, F2, F9) VALUES ('I1', 'A', '2020-01-02');"
                         "INSERT INTO Activities (F1, F2, F6) VALUES ('A', 'x', 12), "
                         "('B', 'y', 'twelve'), ('C', 'z', 3);"
                         "INSERT INTO MValues (IDNUM) VALUES ('V1');");

    const Outcome run = vhdb({"merge", mainPath, updatePath});

    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    const std::string stopped = "Varnholt 2000 Update Stopped!\r\n\r\n"
                                "The update of the Activities table failed:\r\n";
    const std::string saved =
        "\r\n\r\nRecords saved before the error stay saved:\r\n" + countLines(2, 1, 1, 0) + "\n";
    const std::string head = lodgesStatus + issuesStatus + activitiesStatus + stopped;
    ASSERT_GT(run.err.size(), head.size() + saved.size()) << run.err;
    EXPECT_EQ(run.err.substr(0, head.size()), head);
    EXPECT_TRUE(run.err.ends_with(saved)) << run.err;
    const std::string what =
        run.err.substr(head.size(), run.err.size() - head.size() - saved.size());
    EXPECT_NE(what.find("twelve"), std::string::npos) << what;
    EXPECT_NE(what.find("F6"), std::string::npos) << what;

    auto main = openMain(mainPath);
    EXPECT_EQ(countOf(*main, "Lodges"), 2);
    EXPECT_EQ(rows(*main, "SELECT F1, F9 FROM Issues"),
              std::vector<std::string>{"I1|2020-01-02 00:00:00"});
    EXPECT_EQ(rows(*main, "SELECT F1, F6 FROM Activities"), std::vector<std::string>{"A|12"});
    EXPECT_EQ(countOf(*main, "MValues"), 0);
}

TEST_F(VhdbMerge, CtrlCStopsTheProgramAndReportsTheRecordsItSaved) {
    constexpr int records = 10000;
    makeFile(mainPath, "");
    makeFile(updatePath, "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                         "WHERE i < " +
                             std::to_string(records) +
                             ") INSERT INTO Lodges (F1, F12) SELECT printf('L%05d', i), "
                             "'2020-01-01' FROM n;");

    VhdbProgram program(dir, {"merge", mainPath, updatePath});
    ASSERT_TRUE(program.waitForError(lodgesStatus)) << "the merge never started";
    // Some records in, far from all of them.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    program.signal(SIGINT);
    const Outcome run = program.wait();

    EXPECT_EQ(run.exitCode, 130);
    EXPECT_EQ(run.err, lodgesStatus);
    auto main = openMain(mainPath);
    const std::int64_t saved = countOf(*main, "Lodges");
    EXPECT_LT(saved, records);
    EXPECT_EQ(run.out, "Varnholt 2000 Update Cancelled!\r\n\r\n" +
                           countLines(static_cast<int>(saved), 0, 0, 0) + "\n");
    // The records saved are the first ones of the update, none missing.
    if (saved > 0) {
        EXPECT_EQ(rows(*main, "SELECT max(F1) FROM Lodges"),
                  std::vector<std::string>{fmt::format("L{:05d}", saved)});
    }
}

TEST_F(VhdbMerge, ASignalAsSoonAsTheProgramRunsEndsWithTheCancelledSummary) {
    makeFile(mainPath, "");
    makeFile(updatePath, "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                         "WHERE i < 2000) INSERT INTO Lodges (F1) SELECT 'L' || i FROM n;");
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal == SIGINT ? "SIGINT" : "SIGTERM");
        VhdbProgram program(dir, {"merge", mainPath, updatePath});
        // Sent the moment the handler is there: before the command line is
        // read or a file is opened, as far as the test can tell.
        ASSERT_TRUE(program.waitUntilCatching(signal));
        program.signal(signal);
        const Outcome run = program.wait();
        EXPECT_EQ(run.exitCode, 130);
        EXPECT_TRUE(run.out.starts_with("Varnholt 2000 Update Cancelled!\r\n")) << run.out;
    }
}

// vhdb merge catches the signals before it reads its command line; a signal
// that came by the time the update would begin leaves both files unopened.
TEST_F(VhdbMerge, ASignalBeforeTheUpdateBeganLeavesBothFilesUnopened) {
    makeFile(mainPath, "");
    makeFile(updatePath, "INSERT INTO Lodges (F1) VALUES ('L1');");
    const std::string main = readFile(mainPath);
    {
        const vhdb::TerminalInterrupts early;
        std::raise(SIGTERM);
        std::ostringstream out, err;
        vhdb::Console console{out, err};
        vhdb::TerminalHost host(err, vhdb::Progress::Lines);
        EXPECT_EQ(vhdb::runTerminalUpdate(host, console, VarnholtPassword, mainPath, updatePath),
                  vhdb::ExitInterrupted);
        EXPECT_EQ(out.str(),
                  "Varnholt 2000 Update Cancelled!\r\n\r\n" + countLines(0, 0, 0, 0) + "\n");
        EXPECT_EQ(err.str(), "");
    }
    EXPECT_EQ(readFile(mainPath), main);
    EXPECT_TRUE(testing_support::sideFilesOf(mainPath).empty());
}

// Raises SIGINT twice (a second Ctrl+C) at the `yieldOfInterrupt`-th yield,
// that is before that update record.
class InterruptingHost : public vhdb::TerminalHost {
public:
    InterruptingHost(std::ostream& err, int yieldOfInterrupt)
        : TerminalHost(err, vhdb::Progress::Lines), yieldOfInterrupt_(yieldOfInterrupt) {}

    void yield() override {
        if (++yields_ != yieldOfInterrupt_)
            return;
        std::raise(SIGINT);
        std::raise(SIGINT);
    }

private:
    int yieldOfInterrupt_;
    int yields_ = 0;
};

volatile std::sig_atomic_t testHandlerCalls = 0;

TEST_F(VhdbMerge, AnInterruptStopsBeforeTheNextRecordAndRunsNoFurtherTable) {
    makeFile(mainPath, "");
    makeFile(updatePath, "INSERT INTO Lodges (F1) VALUES ('L1'), ('L2'), ('L3');"
                         "INSERT INTO Issues (F1, F2) VALUES ('I1', 'A'), ('I2', 'A'), ('I3', 'A');"
                         "INSERT INTO Activities (F1, F2, F6) VALUES ('A', 'x', 1), ('B', 'y', 2);"
                         "INSERT INTO MValues (IDNUM) VALUES ('V1'), ('V2');");
    struct sigaction testHandler {
    }, previous{};
    testHandler.sa_handler = [](int) { testHandlerCalls = testHandlerCalls + 1; };
    sigemptyset(&testHandler.sa_mask);
    ASSERT_EQ(sigaction(SIGINT, &testHandler, &previous), 0);
    testHandlerCalls = 0;

    std::ostringstream out, err;
    vhdb::Console console{out, err};
    // Every record is new, so each yield but the first follows a save: at the
    // fifth, three Lodges and one Issues record are saved.
    InterruptingHost host(err, 5);
    const int exitCode =
        vhdb::runTerminalUpdate(host, console, VarnholtPassword, mainPath, updatePath);

    // The update's own handler took both signals and is gone again.
    EXPECT_EQ(static_cast<int>(testHandlerCalls), 0);
    std::raise(SIGINT);
    EXPECT_EQ(static_cast<int>(testHandlerCalls), 1);
    sigaction(SIGINT, &previous, nullptr);

    EXPECT_EQ(exitCode, vhdb::ExitInterrupted);
    EXPECT_EQ(out.str(), "Varnholt 2000 Update Cancelled!\r\n\r\n" + countLines(3, 1, 0, 0) + "\n");
    EXPECT_EQ(err.str(), lodgesStatus + issuesStatus);
    EXPECT_TRUE(testing_support::sideFilesOf(mainPath).empty()); // closed again
    auto main = openMain(mainPath);
    EXPECT_EQ(rows(*main, "SELECT F1 FROM Lodges"), (std::vector<std::string>{"L1", "L2", "L3"}));
    EXPECT_EQ(rows(*main, "SELECT F1 FROM Issues"), std::vector<std::string>{"I1"});
    EXPECT_EQ(countOf(*main, "Activities"), 0);
    EXPECT_EQ(countOf(*main, "MValues"), 0);
}

TEST(TerminalBar, IsDrawnAtMostTenTimesASecondAndEndsItsLine) {
    auto now = std::chrono::steady_clock::time_point();
    std::ostringstream out;
    vhdb::TerminalBar bar(out, [&] { return now; });

    bar.start("Lodges", 1000);
    for (int done = 1; done <= 1000; ++done) {
        now += std::chrono::milliseconds(1);
        bar.update(done);
    }
    bar.finish();

    const std::string shown = out.str();
    const auto drawings = std::count(shown.begin(), shown.end(), '\r');
    EXPECT_GE(drawings, 2);
    EXPECT_LE(drawings, 11) << "one second of records, and the last drawing";
    ASSERT_TRUE(shown.ends_with('\n'));
    EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 1);
    const std::string last = shown.substr(shown.rfind('\r'));
    EXPECT_TRUE(last.starts_with("\rLodges ")) << last;
    EXPECT_NE(last.find("[" + std::string(30, '#') + "]"), std::string::npos) << last;
    EXPECT_NE(last.find(" 1000/1000 "), std::string::npos) << last;
    EXPECT_NE(last.find(" 1000 records/s"), std::string::npos) << last;
}

TEST_F(VhdbMerge, HelpAndUsageErrors) {
    const Outcome help = vhdb({"merge", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("Usage: vhdb merge [OPTIONS] MAIN UPDATE"), std::string::npos)
        << help.out;
    EXPECT_NE(help.out.find("--quiet"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("--password"), std::string::npos) << help.out;

    const Outcome usage = vhdb({"merge", mainPath});
    EXPECT_EQ(usage.exitCode, 2);
    EXPECT_EQ(usage.out, "");
    EXPECT_TRUE(usage.err.starts_with("vhdb: ")) << usage.err;
}

} // namespace
