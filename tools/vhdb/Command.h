#pragma once

#include "merge/Tables.h"

#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>

namespace CLI {
class App;
}

namespace db {
class Database;
}

namespace vhdb {

// The help of a command's FILE that it reads: only read, once what a crash
// left is put right (db::recoverAfterCrash).
inline constexpr const char* readFileHelp =
    "The database file. It is only read, once what a program killed while writing it left (a "
    "hot journal, the journal mode to put back) is put right where the file may be written.";

// Where a command reports: what was asked for goes to `out`, problems to `err`.
struct Console {
    std::ostream& out;
    std::ostream& err;
};

// A failure the user can act on, found by the tool itself rather than the
// database layer; its message is shown as it is.
class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One subcommand of vhdb. Making it declares its options on the parent; run()
// is called when the command line chose it. Failures are thrown.
class Command {
public:
    virtual ~Command() = default;
    bool chosen() const;
    // Returns the exit code: 0 when everything held, 1 otherwise.
    virtual int run(Console& console) = 0;

protected:
    Command(CLI::App& parent, const std::string& name, const std::string& description);
    CLI::App& app() { return *app_; }
    const std::string& password() const { return password_; }

private:
    CLI::App* app_;
    std::string password_ = merge::DatabasePassword;
};

std::unique_ptr<Command> makeCreateCommand(CLI::App& parent);
std::unique_ptr<Command> makeImportCommand(CLI::App& parent);
std::unique_ptr<Command> makeExportCommand(CLI::App& parent);
std::unique_ptr<Command> makeCheckCommand(CLI::App& parent);
std::unique_ptr<Command> makeMergeCommand(CLI::App& parent);
std::unique_ptr<Command> makeUndoCommand(CLI::App& parent);
std::unique_ptr<Command> makeDemoCommand(CLI::App& parent);

// The name `table` has in the file, found without regard to letter case.
// Throws Failure when the file has no such table.
std::string findTable(db::Database& database, const std::string& table);

} // namespace vhdb
