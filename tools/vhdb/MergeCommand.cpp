#include "tools/vhdb/Command.h"
#include "tools/vhdb/TerminalHost.h"

#include <CLI/CLI.hpp>
#include <iostream>
#include <unistd.h>

namespace vhdb {

namespace {

class MergeCommand final : public Command {
public:
    explicit MergeCommand(CLI::App& parent)
        : Command(parent, "merge",
                  "Merge an update database into a main database, as the updater does.") {
        app()
            .add_option("MAIN", main_, "The main database; the update's records are saved in it.")
            ->required();
        app().add_option("UPDATE", update_, "The update database; it is only read.")->required();
        app().add_flag("-q,--quiet", quiet_, "Show neither the status lines nor the progress bar.");
    }

    int run(Console& console) override {
        TerminalHost host(password(), console.err, progressFor(console));
        return runTerminalUpdate(host, console, main_, update_);
    }

private:
    // A bar drawn over in place only makes sense where someone watches it.
    Progress progressFor(const Console& console) const {
        if (quiet_)
            return Progress::Quiet;
        if (&console.err == &std::cerr && isatty(STDERR_FILENO))
            return Progress::Bar;
        return Progress::Lines;
    }

    std::string main_;
    std::string update_;
    bool quiet_ = false;
};

} // namespace

std::unique_ptr<Command> makeMergeCommand(CLI::App& parent) {
    return std::make_unique<MergeCommand>(parent);
}

} // namespace vhdb
