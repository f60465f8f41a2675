#include "tools/vhdb/TerminalHost.h"

#include "merge/Update.h"
#include "tools/vhdb/TerminalInterrupts.h"

#include <cmath>
#include <exception>
#include <ostream>

namespace vhdb {

namespace {

std::int64_t records(float value) {
    return std::llround(value);
}

enum class End { Complete, Interrupted, Failed };

struct Outcome {
    End end = End::Complete;
    std::string_view table; // the failed one
    std::string what;
};

Outcome runSteps(TerminalHost& host, const std::string& mainPath, const std::string& updatePath) {
    merge::clearCounts(host);
    for (const merge::UpdateStep& step : merge::updateSteps()) {
        host.beginTable(step.table);
        try {
            // A merge that ran through returns what its counter holds, and one
            // that was interrupted returns 0 while its counter keeps what it
            // saved, so the counters are what the summary reports.
            step.update(host, mainPath, updatePath);
        } catch (const std::exception& e) {
            host.endTable();
            return {End::Failed, step.table, e.what()};
        }
        host.endTable();
        if (host.abortRequested())
            return {End::Interrupted, {}, {}};
    }
    return {};
}

} // namespace

TerminalHost::TerminalHost(std::string password, std::ostream& err, Progress progress,
                           TerminalBar::Clock now)
    : password_(std::move(password)), err_(err), progress_(progress), bar_(err, std::move(now)) {}

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

std::int32_t& TerminalHost::count(merge::Counter counter) {
    return counts_.at(static_cast<std::size_t>(counter));
}

void TerminalHost::beginTable(std::string_view table) {
    table_ = table;
}

void TerminalHost::endTable() {
    bar_.finish();
}

void TerminalHost::close() {
    data1_.close();
    data2_.close();
}

int runTerminalUpdate(TerminalHost& host, Console& console, const std::string& mainPath,
                      const std::string& updatePath) {
    const TerminalInterrupts interrupts;
    const Outcome outcome = runSteps(host, mainPath, updatePath);
    host.close();
    const merge::Counts counts = merge::countsOf(host);
    switch (outcome.end) {
    case End::Complete:
        console.out << merge::summaryText(counts) << '\n' << std::flush;
        return 0;
    case End::Interrupted:
        console.out << merge::cancelledText(counts) << '\n' << std::flush;
        return ExitInterrupted;
    case End::Failed:
        break;
    }
    console.err << merge::errorText(outcome.table, outcome.what, counts) + '\n' << std::flush;
    return 1;
}

} // namespace vhdb
