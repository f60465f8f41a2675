#include "tools/vhdb/TerminalHost.h"

#include "merge/Tables.h"
#include "merge/Update.h"
#include "tools/vhdb/TerminalInterrupts.h"

#include <cmath>
#include <ostream>

namespace vhdb {

namespace {

std::int64_t records(float value) {
    return std::llround(value);
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

void TerminalHost::mergeStarted(const merge::TableDef& table) {
    table_ = table.name;
}

void TerminalHost::mergeEnded() {
    bar_.finish();
}

void TerminalHost::closeConnections() {
    data1_.Close();
    data2_.Close();
}

int runTerminalUpdate(TerminalHost& host, Console& console, const std::string& mainPath,
                      const std::string& updatePath) {
    const TerminalInterrupts interrupts;
    // A signal that came before the update began leaves both files unopened.
    const merge::Outcome outcome =
        TerminalInterrupts::arrived()
            ? merge::Outcome{merge::Outcome::Ending::Cancelled, {}, {}, {}}
            : merge::runUpdate(host, [&] {
                  return merge::Locations{mainPath, updatePath};
              });
    host.closeConnections();
    const std::string text = merge::outcomeText(outcome) + '\n';
    switch (outcome.ending) {
    case merge::Outcome::Ending::Complete:
        console.out << text << std::flush;
        return 0;
    case merge::Outcome::Ending::Cancelled:
        console.out << text << std::flush;
        return ExitInterrupted;
    case merge::Outcome::Ending::Failed:
        break;
    }
    console.err << text << std::flush;
    return 1;
}

} // namespace vhdb
