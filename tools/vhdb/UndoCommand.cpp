#include "merge/Undo.h"
#include "merge/Update.h"
#include "tools/vhdb/Command.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <fmt/format.h>
#include <ostream>

namespace vhdb {

namespace {

std::string records(std::int32_t count) {
    return fmt::format("{} {}", count, count == 1 ? "record" : "records");
}

class UndoCommand final : public Command {
public:
    explicit UndoCommand(CLI::App& parent)
        : Command(parent, "undo",
                  "Take back an update that \"vhdb merge --undo FILE\" ran, from its undo file.") {
        app()
            .add_option("MAIN", main_, "The main database the update was merged into.")
            ->required();
        app()
            .add_option("FILE", file_,
                        "The undo file of that update. What a killed update left in its WAL is "
                        "taken into it; nothing else in it changes.")
            ->required();
        app().add_flag("--force", force_,
                       "Take back every record that still holds what the update wrote, and "
                       "leave those changed since as they are.");
        app().footer(
            "Newest record first and all in one transaction, each record the update overwrote "
            "gets back every field as it was stored, and each record it added is removed. "
            "When a record has changed since the update wrote it, nothing is changed and "
            "those records are listed (exit status 1), unless --force is given.");
    }

    int run(Console& console) override {
        std::error_code ec;
        if (std::filesystem::equivalent(main_, file_, ec))
            throw Failure("The undo file \"" + file_ +
                          "\" is the database itself; name the undo file of its update.");
        const merge::UndoReport report = merge::undoUpdate(main_, file_, password(), force_);
        if (!report.applied) {
            const bool one = report.changed.size() == 1;
            console.err << "vhdb: " << records(static_cast<std::int32_t>(report.changed.size()))
                        << " of \"" << main_ << "\" changed since the update wrote "
                        << (one ? "it" : "them")
                        << ", so nothing was undone. To undo the others and leave "
                        << (one ? "it as it is" : "these as they are")
                        << ", run it again with --force:\n";
            for (const std::string& line : report.changed)
                console.err << "  " << line << '\n';
            console.err.flush();
            return 1;
        }
        console.out << "Update undone in \"" << main_ << "\" (the update from \""
                    << report.updatePath << "\").\n";
        if (report.tables.empty())
            console.out << " The update wrote no record: there was nothing to take back.\n";
        for (const auto& table : report.tables)
            console.out << fmt::format(" {}: {} restored, {} removed\n", table.table,
                                       records(table.restored), records(table.removed));
        if (report.alreadyBack > 0)
            console.out << " " << records(report.alreadyBack)
                        << (report.alreadyBack == 1 ? " already held what it held"
                                                    : " already held what they held")
                        << " before the update.\n";
        if (!report.changed.empty()) {
            console.out << " Left as they are, changed since the update wrote them:\n";
            for (const std::string& line : report.changed)
                console.out << "  " << line << '\n';
        }
        console.out.flush();
        if (report.closing) {
            console.err << "vhdb: " << merge::closingText(*report.closing) << '\n' << std::flush;
            return 1;
        }
        return 0;
    }

private:
    std::string main_;
    std::string file_;
    bool force_ = false;
};

} // namespace

std::unique_ptr<Command> makeUndoCommand(CLI::App& parent) {
    return std::make_unique<UndoCommand>(parent);
}

} // namespace vhdb
