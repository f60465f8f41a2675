#include "merge/DryRunCopy.h"
#include "merge/UndoLog.h"
#include "tools/vhdb/ChangesReport.h"
#include "tools/vhdb/Command.h"
#include "tools/vhdb/TerminalHost.h"
#include "tools/vhdb/TerminalInterrupts.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>
#include <optional>
#include <unistd.h>
#include <vector>

namespace vhdb {

namespace {

// Every change log asked for, told in turn: the undo file first, so that a
// record is noted there before anything else happens to it.
class ChangeLogs final : public merge::ChangeLog {
public:
    void add(merge::ChangeLog* log) {
        if (log)
            logs_.push_back(log);
    }
    bool empty() const { return logs_.empty(); }

    void aboutToWrite(const merge::RecordWrite& write) override {
        for (merge::ChangeLog* log : logs_)
            log->aboutToWrite(write);
    }
    void written(const merge::RecordWrite& write, std::int64_t rowid) override {
        for (merge::ChangeLog* log : logs_)
            log->written(write, rowid);
    }
    // Each one finishes, even after another failed; the first failure is
    // thrown.
    void finish() override {
        std::exception_ptr failure;
        for (merge::ChangeLog* log : logs_) {
            try {
                log->finish();
            } catch (...) {
                if (!failure)
                    failure = std::current_exception();
            }
        }
        if (failure)
            std::rethrow_exception(failure);
    }

private:
    std::vector<merge::ChangeLog*> logs_;
};

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
        CLI::Option* dryRun = app().add_flag(
            "--dry-run", dryRun_,
            "Run the very same update on a private copy of MAIN in the temporary folder and "
            "print the summary it ends with; MAIN is only read, and the copy is removed at the "
            "end.");
        app().add_option("--changes", changes_,
                         "Write every record the update writes (or, with --dry-run, would "
                         "write) to this CSV file: table, added or overwritten, the key, and "
                         "each field that changes with its old and new value.");
        app()
            .add_option("--undo", undo_,
                        "Keep what it takes to undo the update in this new file (never written "
                        "over), for \"vhdb undo\".")
            ->excludes(dryRun);
    }

    int run(Console& console) override {
        // From the first file made to the last word said, Ctrl+C and SIGTERM
        // are noted, not obeyed at once: one that comes while the undo file
        // or the dry run's copy is made cancels the update before it opens
        // a database, and one that comes while the run closes lets it put
        // the files back as they were found and report what it saved.
        const TerminalInterrupts interrupts;
        refuseToWriteOverTheDatabases();
        std::optional<merge::UndoLog> undo;
        if (!undo_.empty())
            undo.emplace(undo_, password(), main_, update_);
        std::optional<ChangesReport> report;
        std::optional<merge::DryRunCopy> copy;
        try {
            refuseAReportOverTheUndoFile();
            if (!changes_.empty())
                report.emplace(changes_);
            if (dryRun_)
                copy.emplace(main_);
        } catch (...) {
            // Nothing was merged: the undo file just made notes nothing,
            // and the next try must find its name free.
            if (undo) {
                undo.reset();
                std::error_code ec;
                std::filesystem::remove(undo_, ec);
            }
            throw;
        }
        ChangeLogs logs;
        logs.add(undo ? &*undo : nullptr);
        logs.add(report ? &*report : nullptr);

        TerminalHost host(console.err, progressFor(console));
        const int code =
            runTerminalUpdate(host, console, password(), main_, update_,
                              {copy ? &*copy : nullptr, logs.empty() ? nullptr : &logs});
        if (undo)
            tellOfUndo(console, *undo);
        return code;
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

    void refuseToWriteOverTheDatabases() const {
        const auto same = [](const std::string& a, const std::string& b) {
            std::error_code ec;
            return !a.empty() && !b.empty() && std::filesystem::equivalent(a, b, ec);
        };
        for (const std::string* file : {&changes_, &undo_})
            for (const std::string* database : {&main_, &update_})
                if (same(*file, *database))
                    throw Failure("The file \"" + *file + "\" is the database \"" + *database +
                                  "\" itself; name another file.");
        // Neither file exists yet, so they are compared by where they would
        // be ("u.db" and "./u.db" are one file). A relative path is made
        // whole first: the engine of the standard library leaves a relative
        // path whose first part does not exist as it is.
        const auto whole = [](const std::string& path) {
            std::error_code ec;
            const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
            const std::filesystem::path made = std::filesystem::weakly_canonical(absolute, ec);
            return ec ? absolute.lexically_normal() : made;
        };
        if (!changes_.empty() && !undo_.empty() && whole(changes_) == whole(undo_))
            throw Failure(bothOneFile());
    }

    // Once the undo file is made, the two are compared by what they are: a
    // link, say, that names the undo file under another name.
    void refuseAReportOverTheUndoFile() const {
        std::error_code ec;
        if (!changes_.empty() && !undo_.empty() && std::filesystem::equivalent(changes_, undo_, ec))
            throw Failure(bothOneFile());
    }

    std::string bothOneFile() const {
        return "The changes report and the undo file are both \"" + undo_ + "\"; name two files.";
    }

    void tellOfUndo(Console& console, const merge::UndoLog& undo) const {
        if (undo.entries() == 0)
            console.err << "The undo file \"" << undo.path()
                        << "\" notes no record: the update wrote none.\n";
        else
            console.err << "The undo file \"" << undo.path() << "\" notes the "
                        << (undo.entries() == 1 ? std::string("record")
                                                : std::to_string(undo.entries()) + " records")
                        << " the update wrote: \"vhdb undo\" with it takes "
                        << (undo.entries() == 1 ? "it" : "them") << " back.\n";
        console.err.flush();
    }

    std::string main_;
    std::string update_;
    bool quiet_ = false;
    bool dryRun_ = false;
    std::string changes_;
    std::string undo_;
};

} // namespace

std::unique_ptr<Command> makeMergeCommand(CLI::App& parent) {
    return std::make_unique<MergeCommand>(parent);
}

} // namespace vhdb
