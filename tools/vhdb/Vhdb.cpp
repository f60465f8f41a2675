#include "tools/vhdb/Vhdb.h"

#include "generated/Project.h"
#include "tools/vhdb/Command.h"
#include "tools/vhdb/TerminalHost.h"
#include "tools/vhdb/TerminalInterrupts.h"

#include <CLI/CLI.hpp>
#include <exception>
#include <fmt/format.h>
#include <new>
#include <optional>
#include <ostream>
#include <string_view>

namespace vhdb {

namespace {

constexpr int Success = 0;
constexpr int Failed = 1;
constexpr int UsageError = 2;

// The manual page is made from the help texts, so this is its EXIT STATUS too.
std::string exitStatus() {
    return fmt::format("Exit status:\n"
                       "  {:<4} Success.\n"
                       "  {:<4} Failure; one line on standard error says what to do.\n"
                       "  {:<4} A command line that cannot be understood.\n"
                       "  {:<4} merge stopped by Ctrl+C or SIGTERM; the records saved before "
                       "it stay saved.",
                       Success, Failed, UsageError, ExitInterrupted);
}

std::string usageMessage(const CLI::App*, const CLI::Error& e) {
    return std::string("vhdb: ") + e.what() + "\nRun \"vhdb --help\" for more information.\n";
}

// Help is a success; anything else the parser stopped at is a usage error.
int reportParseError(const CLI::App& app, const CLI::ParseError& e, std::ostream& out,
                     std::ostream& err) {
    // The parser would only say that a command is required, not that the
    // word given is none.
    if (const auto unknown = app.remaining(); !unknown.empty() && app.get_subcommands().empty()) {
        const std::string& word = unknown.front();
        err << "vhdb: There is no " << (word.starts_with('-') ? "option" : "command") << " \""
            << word << "\". Run \"vhdb --help\" for the commands.\n";
        return UsageError;
    }
    return app.exit(e, out, err) == Success ? Success : UsageError;
}

int runChosen(const std::vector<std::unique_ptr<Command>>& commands, Console& console) {
    for (const auto& command : commands)
        if (command->chosen())
            return command->run(console);
    return UsageError; // unreachable while a subcommand is required
}

} // namespace

int run(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    // A merge stops on Ctrl+C or SIGTERM with its summary however early the
    // signal comes, so it is caught before anything else happens. Other
    // commands end by the signal, as programs do.
    std::optional<TerminalInterrupts> interrupts;
    if (argc > 1 && std::string_view(argv[1]) == "merge")
        interrupts.emplace();
    try {
        CLI::App app("Create, fill, read and check Varnholt database files.", "vhdb");
        app.require_subcommand(1);
        app.failure_message(usageMessage);
        app.set_version_flag("--version", std::string("vhdb ") + project::version,
                             "Print the version and exit.");
        std::vector<std::unique_ptr<Command>> commands;
        commands.push_back(makeCreateCommand(app));
        commands.push_back(makeImportCommand(app));
        commands.push_back(makeExportCommand(app));
        commands.push_back(makeCheckCommand(app));
        commands.push_back(makeMergeCommand(app));
        commands.push_back(makeUndoCommand(app));
        commands.push_back(makeDemoCommand(app));
        // Set after the commands are made, which would take it over as their own.
        app.footer(exitStatus());
        try {
            app.parse(argc, argv);
        } catch (const CLI::ParseError& e) {
            return reportParseError(app, e, out, err);
        }
        Console console{out, err};
        return runChosen(commands, console);
    } catch (const std::bad_alloc&) {
        err << "vhdb: There is not enough memory.\n";
    } catch (const std::exception& e) {
        err << "vhdb: " << e.what() << '\n';
    } catch (...) {
        err << "vhdb: An unexpected error stopped the program.\n";
    }
    return Failed;
}

} // namespace vhdb
