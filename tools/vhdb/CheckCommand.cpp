#include "merge/Schema.h"
#include "platform/db/CrashRecovery.h"
#include "platform/db/Database.h"
#include "platform/db/Statement.h"
#include "tools/vhdb/Command.h"

#include <CLI/CLI.hpp>
#include <fmt/format.h>
#include <ostream>

namespace vhdb {

namespace {

class CheckCommand final : public Command {
public:
    explicit CheckCommand(CLI::App& parent)
        : Command(parent, "check", "Check a Varnholt database and count its records.") {
        app().add_option("FILE", file_, readFileHelp)->required();
        app().footer("Reports damage, missing tables and fields, and every value an update would "
                     "stop at (binary data, a date or number that cannot be read). Exits with 0 "
                     "when the file is sound, holds all four tables and no such value, 1 "
                     "otherwise.");
    }

    int run(Console& console) override {
        const std::optional<db::DbError> unrecovered = db::recoverAfterCrash(file_, password());
        auto database = db::Database::open(file_, password(), db::OpenMode::ReadOnly);
        std::vector<std::string> problems = integrityProblems(*database);
        for (auto& problem : merge::checkVarnholtSchema(*database))
            problems.push_back(std::move(problem));
        for (auto& problem : merge::checkVarnholtValues(*database))
            problems.push_back(std::move(problem));

        for (const merge::TableDef* table : merge::varnholtTables()) {
            if (!database->hasTable(table->name))
                continue;
            const std::int64_t count = countRecords(*database, table->name);
            console.out << fmt::format("{}: {} {}\n", table->name, count,
                                       count == 1 ? "record" : "records");
        }
        console.out.flush();
        for (const auto& problem : problems)
            console.err << "vhdb: " << problem << '\n';
        // Said, but no fault of the file's: a sound file is still sound.
        if (unrecovered)
            console.err << "vhdb: " << unrecovered->what() << '\n';
        return problems.empty() ? 0 : 1;
    }

private:
    std::vector<std::string> integrityProblems(db::Database& database) const {
        db::Statement s(database.handle(), "PRAGMA integrity_check");
        std::vector<std::string> lines;
        while (s.step("Cannot check the integrity of \"" + file_ + "\"."))
            lines.push_back(s.columnText(0));
        if (lines.size() == 1 && lines.front() == "ok")
            return {};
        std::vector<std::string> problems;
        for (const auto& line : lines)
            problems.push_back("\"" + file_ + "\" is damaged: " + line);
        return problems;
    }

    static std::int64_t countRecords(db::Database& database, const std::string& table) {
        db::Statement s(database.handle(), "SELECT count(*) FROM " + db::quoteIdentifier(table));
        s.step("Cannot count the records of table " + table + ".");
        return s.columnInt64(0);
    }

    std::string file_;
};

} // namespace

std::unique_ptr<Command> makeCheckCommand(CLI::App& parent) {
    return std::make_unique<CheckCommand>(parent);
}

} // namespace vhdb
