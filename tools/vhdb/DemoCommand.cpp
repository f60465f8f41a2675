#include "tools/vhdb/Command.h"
#include "tools/vhdb/DemoData.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <fmt/format.h>
#include <ostream>
#include <system_error>

namespace vhdb {

namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t DefaultUpdateRecords = 5000;
constexpr std::uint64_t MaxRecords = 10'000'000;

class DemoCommand final : public Command {
public:
    explicit DemoCommand(CLI::App& parent)
        : Command(parent, "demo",
                  "Make a main database, Varnholt.mdb, and an update for it, VHUpdate.mdb, "
                  "filled with a made-up collector's catalogue, to try an update on.") {
        app()
            .add_option("DIR", dir_,
                        "The folder to make the two files in; it is made when missing. Files "
                        "already there are never written over.")
            ->required();
        sizes_.update.fill(DefaultUpdateRecords);
        const char* names[] = {"--lodges", "--issues", "--activities", "--values"};
        const char* tables[] = {"Lodges", "Issues", "Activities", "MValues"};
        for (std::size_t t = 0; t < sizes_.update.size(); ++t)
            app()
                .add_option(names[t], sizes_.update[t],
                            fmt::format("Records in the update's {} table (default {}).", tables[t],
                                        DefaultUpdateRecords))
                ->check(CLI::Range(std::uint64_t{0}, MaxRecords));
        mainOption_ = app()
                          .add_option("--main-records", mainRecords_,
                                      "Records in every table of the main database (default: "
                                      "four times the table's update records).")
                          ->check(CLI::Range(std::uint64_t{0}, MaxRecords));
        app().add_option("--seed", sizes_.seed,
                         "The same seed makes the same files again (default 1).");
        app().footer(
            "Of each table's update records, about 40 % carry keys the main database lacks; "
            "the others carry main keys, some in other letter case, stamped a later day "
            "(overwritten by a merge), the same day, an earlier day, or not at all (left "
            "alone). Keys with apostrophes and a few null fields and key parts are among "
            "them. No key repeats within a file, not even in other letter case.");
    }

    int run(Console& console) override {
        if (mainOption_->count() > 0)
            sizes_.main = mainRecords_;
        const fs::path main = fs::path(dir_) / "Varnholt.mdb";
        const fs::path update = fs::path(dir_) / "VHUpdate.mdb";
        prepareFolder({main, update});
        const auto reports = demo::makeDemo(main.string(), update.string(), password(), sizes_);
        report(console.out, main.string(), update.string(), reports);
        return 0;
    }

private:
    // Both files are checked before either is made, so that a refusal
    // leaves nothing half done.
    void prepareFolder(const std::vector<fs::path>& files) const {
        for (const fs::path& file : files) {
            std::error_code ec;
            if (fs::exists(fs::symlink_status(file, ec)))
                throw Failure("\"" + file.string() +
                              "\" already exists; demo files are never written over. Name "
                              "another folder, or remove the files first.");
        }
        std::error_code ec;
        fs::create_directories(dir_, ec);
        if (ec || !fs::is_directory(dir_))
            throw Failure("Cannot make the folder \"" + dir_ + "\" (" +
                          (ec ? ec.message() : "a file of that name is in the way") + ").");
    }

    void report(std::ostream& out, const std::string& main, const std::string& update,
                const std::vector<demo::TableReport>& reports) const {
        out << fmt::format("Made {} (main) and {} (update), seed {}.\n\n", main, update,
                           sizes_.seed);
        out << fmt::format("{:<10} {:>8} {:>8} | {:>8} {:>9} {:>8} {:>11} {:>8} | {:>10} "
                           "{:>10} {:>8}\n",
                           "table", "main", "update", "new", "later day", "same day", "earlier day",
                           "no stamp", "other case", "apostrophe", "null key");
        std::uint64_t added = 0, overwritten = 0;
        for (const auto& r : reports) {
            out << fmt::format("{:<10} {:>8} {:>8} | {:>8} {:>9} {:>8} {:>11} {:>8} | {:>10} "
                               "{:>10} {:>8}\n",
                               r.table, r.main, r.update, r.added, r.laterDay, r.sameDay,
                               r.earlierDay, r.noStamp, r.otherCase, r.apostrophe, r.nullKey);
            added += r.added;
            overwritten += r.laterDay;
        }
        out << fmt::format("\nA merge of the update adds the {} new records and overwrites the "
                           "{} stamped a later day: {} records written.\n",
                           added, overwritten, added + overwritten);
    }

    std::string dir_;
    demo::Sizes sizes_;
    std::uint64_t mainRecords_ = 0;
    CLI::Option* mainOption_ = nullptr;
};

} // namespace

std::unique_ptr<Command> makeDemoCommand(CLI::App& parent) {
    return std::make_unique<DemoCommand>(parent);
}

} // namespace vhdb
