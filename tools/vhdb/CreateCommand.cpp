#include "merge/Schema.h"
#include "platform/db/Database.h"
#include "tools/vhdb/Command.h"

#include <CLI/CLI.hpp>

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
        db::Database::create(file_, password(), merge::createVarnholtSchema);
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
