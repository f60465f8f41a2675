#pragma once

#include "merge/ChangeLog.h"
#include "merge/DryRunCopy.h"
#include "merge/Host.h"
#include "tools/vhdb/Command.h"
#include "tools/vhdb/TerminalBar.h"

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

// The merges' host on a terminal: the status line and the bar go to
// standard error; the abort flag is up once Ctrl+C or SIGTERM came
// (TerminalInterrupts). There are no events to yield to.
class TerminalHost : public merge::Host {
public:
    TerminalHost(std::ostream& err, Progress progress,
                 TerminalBar::Clock now = &std::chrono::steady_clock::now);

    void setProgressMin(float) override {}
    void setProgressMax(float value) override;
    void setProgressValue(float value) override;
    void setStatusText(const std::string& text) override;
    void repaint() override {}
    void yield() override {}

    bool abortRequested() const override;
    // The status line says once that the engine waits for another program
    // (not that it checks a file, which takes moments); Ctrl+C gives the
    // wait up.
    bool whileWaiting(db::WaitReason why) override;
    // The bar names the table in hand, and its line ends with the merge.
    void mergeStarted(const merge::TableDef& table) override;
    void mergeEnded() override;

private:
    std::ostream& err_;
    Progress progress_;
    TerminalBar bar_;
    std::string table_;
    bool toldOfWait_ = false;
};

// What a run of the update may do beyond merging the two files.
struct MergeOptions {
    // A dry run: the records go to this private copy of the main database,
    // and the outcome is headed as a dry run's and names the main database
    // where it would name the copy.
    const merge::DryRunCopy* dryRun = nullptr;
    // Told of every record written, and finished once the update ended.
    merge::ChangeLog* changes = nullptr;
};

// Runs the four merges of an update, in order, behind `host`: `updatePath`'s
// records into `mainPath`, both opened with `password`. Ctrl+C or SIGTERM stops the merge in hand
// before its next record and runs no further one. Both connections are closed, and the change log
// finished, before the outcome is printed: the summary on standard output and exit code 0; after an
// interrupt the records saved so far on standard output and ExitInterrupted; after a failure the
// table, what failed and the records saved before it on standard error, and exit code 1. A change
// log that cannot be finished is named on standard error after the outcome, and makes the exit code
// 1 where it would have been 0.
int runTerminalUpdate(TerminalHost& host, Console& console, const std::string& password,
                      const std::string& mainPath, const std::string& updatePath,
                      const MergeOptions& options = {});

} // namespace vhdb
