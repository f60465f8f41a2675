#include "Command.h"
#include "db/Database.h"
#include "db/Schema.h"

#include <CLI/CLI.hpp>
#include <filesystem>

namespace vhdb {

namespace {

class CreateCommand final : public Command {
public:
    explicit CreateCommand(CLI::App& parent)
        : Command(parent, "create", "Make a new, empty Varnholt database file.") {
        app()
            .add_option("FILE", file_, "The database file to make; it must not exist yet.")
            ->required();
    }

    int run(Console&) override {
        auto database = db::Database::create(file_, password());
        try {
            db::createVarnholtSchema(*database);
        } catch (...) {
            // The file is ours, made a moment ago: a half-made database is
            // worse than none.
            database->Close();
            std::error_code ec;
            std::filesystem::remove(file_, ec);
            throw;
        }
        return 0;
    }

private:
    std::string file_;
};

} // namespace

std::unique_ptr<Command> makeCreateCommand(CLI::App& parent) {
    return std::make_unique<CreateCommand>(parent);
}

} // namespace vhdb
