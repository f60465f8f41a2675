#pragma once

#include "merge/ChangeLog.h"
#include "merge/Host.h"
#include "platform/db/Data.h"
#include "tools/vhdb/Command.h"
#include "tools/vhdb/DryRunCopy.h"
#include "tools/vhdb/TerminalBar.h"

#include <array>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

namespace vhdb {

// The exit code of an update that Ctrl+C or SIGTERM stopped: 128 + SIGINT,
// as a shell reports a program the signal ended.
inline constexpr int ExitInterrupted = 130;

// What the host shows on standard error while the merges run.
enum class Progress {
    Quiet, // nothing
    Lines, // each table's status line
    Bar,   // each table's status line, and under it a bar drawn over in place
};

// The merges' host on a terminal: it owns the two connections (Data1 the main
// database, Data2 the update), the counters and the password; the status
// line and the bar go to standard error; the abort flag is up once Ctrl+C or
// SIGTERM came (TerminalInterrupts). There are no events to yield to.
class TerminalHost : public merge::Host {
public:
    TerminalHost(std::string password, std::ostream& err, Progress progress,
                 TerminalBar::Clock now = &std::chrono::steady_clock::now);

    db::Data& Data1() override { return data1_; }
    db::Data& Data2() override { return data2_; }

    void setProgressMin(float) override {}
    void setProgressMax(float value) override;
    void setProgressValue(float value) override;
    void setStatusText(const std::string& text) override;
    void repaint() override {}
    void yield() override {}

    bool abortRequested() const override;
    std::string password() const override { return password_; }
    std::int32_t& count(merge::Counter counter) override;
    // The bar names the table in hand, and its line ends with the merge.
    void mergeStarted(const merge::TableDef& table) override;
    void mergeEnded() override;

    void closeConnections();

private:
    db::Data data1_{"Data1"};
    db::Data data2_{"Data2"};
    std::string password_;
    std::ostream& err_;
    Progress progress_;
    TerminalBar bar_;
    std::string table_;
    std::array<std::int32_t, 4> counts_{};
};

// What a run of the update may do beyond merging the two files.
struct MergeOptions {
    // A dry run: the records go to this private copy of the main database,
    // and the outcome is headed as a dry run's and names the main database
    // where it would name the copy.
    const DryRunCopy* dryRun = nullptr;
    // Told of every record written, and finished once the update ended.
    merge::ChangeLog* changes = nullptr;
};

// Runs the four merges of an update, in order, behind `host`: `updatePath`'s
// records into `mainPath`. Ctrl+C or SIGTERM stops the merge in hand before
// its next record and runs no further one. Both connections are closed, and
// the change log finished, before the outcome is printed: the summary on
// standard output and exit code 0; after an interrupt the records saved so
// far on standard output and ExitInterrupted; after a failure the table, what
// failed and the records saved before it on standard error, and exit code 1.
// A change log that cannot be finished is named on standard error after the
// outcome, and makes the exit code 1 where it would have been 0.
int runTerminalUpdate(TerminalHost& host, Console& console, const std::string& mainPath,
                      const std::string& updatePath, const MergeOptions& options = {});

} // namespace vhdb
