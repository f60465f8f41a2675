#include "tools/vhdb/TerminalHost.h"

#include "merge/Merger.h"
#include "merge/Tables.h"
#include "merge/Update.h"
#include "tools/vhdb/TerminalInterrupts.h"

#include <cmath>
#include <ostream>
#include <vector>

namespace vhdb {

namespace {

std::int64_t records(float value) {
    return std::llround(value);
}

} // namespace

TerminalHost::TerminalHost(std::ostream& err, Progress progress, TerminalBar::Clock now)
    : err_(err), progress_(progress), bar_(err, std::move(now)) {}

void TerminalHost::setProgressMax(float value) {
    if (progress_ == Progress::Bar)
        bar_.start(table_, records(value));
}

void TerminalHost::setProgressValue(float value) {
    if (progress_ == Progress::Bar)
        bar_.update(records(value));
}

void TerminalHost::setStatusText(const std::string& text) {
    if (progress_ == Progress::Quiet)
        return;
    bar_.breakLine();
    err_ << text + '\n' << std::flush;
}

bool TerminalHost::abortRequested() const {
    return TerminalInterrupts::arrived();
}

bool TerminalHost::whileWaiting(db::WaitReason why) {
    if (why == db::WaitReason::FileInUse && !toldOfWait_ && progress_ != Progress::Quiet) {
        bar_.breakLine();
        err_ << merge::waitStatus(why) + '\n' << std::flush;
        toldOfWait_ = true;
    }
    return !abortRequested();
}

void TerminalHost::mergeStarted(const merge::TableDef& table) {
    table_ = table.name;
    toldOfWait_ = false;
}

void TerminalHost::mergeEnded() {
    bar_.finish();
}

int runTerminalUpdate(TerminalHost& host, Console& console, const std::string& password,
                      const std::string& mainPath, const std::string& updatePath,
                      const MergeOptions& options) {
    const TerminalInterrupts interrupts;
    merge::Merger merger(host);
    merger.DBPassword = password;
    const std::string written = options.dryRun ? options.dryRun->path() : mainPath;
    // A signal that came before the update began leaves both files unopened.
    merge::Outcome outcome;
    if (TerminalInterrupts::arrived())
        outcome.ending = merge::Outcome::Ending::Cancelled;
    else
        outcome = merge::runUpdate(
            merger,
            [&] {
                return merge::Locations{written, updatePath};
            },
            options.changes);
    merger.closeConnections();
    // What the run could not finish, a line each: the changes report, and
    // putting the main file back as it was found (a dry run's copy goes
    // anyway).
    std::vector<std::string> unfinished;
    if (const std::optional<db::DbError> closing = merger.takeClosingProblem();
        closing && !options.dryRun)
        unfinished.push_back(merge::closingText(*closing));
    if (options.changes) {
        try {
            options.changes->finish();
        } catch (const std::exception& e) {
            unfinished.push_back(e.what());
        }
    }
    std::string text = merge::outcomeText(outcome) + '\n';
    if (options.dryRun)
        text = "Dry run: nothing was written to \"" + mainPath + "\".\r\n\r\n" +
               options.dryRun->asMain(text);
    int code = 1;
    switch (outcome.ending) {
    case merge::Outcome::Ending::Complete:
        console.out << text << std::flush;
        code = 0;
        break;
    case merge::Outcome::Ending::Cancelled:
        console.out << text << std::flush;
        code = ExitInterrupted;
        break;
    case merge::Outcome::Ending::Failed:
        console.err << text << std::flush;
        break;
    }
    if (unfinished.empty())
        return code;
    for (const std::string& line : unfinished)
        console.err << "vhdb: " << line << '\n';
    console.err << std::flush;
    return code == 0 ? 1 : code;
}

} // namespace vhdb
