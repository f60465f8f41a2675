#include "tools/vhdb/Command.h"

#include "platform/db/Database.h"

#include <CLI/CLI.hpp>

namespace vhdb {

Command::Command(CLI::App& parent, const std::string& name, const std::string& description)
    : app_(parent.add_subcommand(name, description)) {
    app_->add_option("--password", password_,
                     std::string("The database password (default: ") + merge::DatabasePassword +
                         ").");
}

bool Command::chosen() const {
    return app_->parsed();
}

std::string findTable(db::Database& database, const std::string& table) {
    const auto names = database.tableNames();
    for (const auto& name : names)
        if (db::equalsNoCase(name, table))
            return name;
    const std::string message = "The database \"" + database.path() + "\" has no table " + table;
    if (names.empty())
        throw Failure(message + "; it holds no tables at all. Is it a Varnholt database?");
    throw Failure(message + ".");
}

} // namespace vhdb
