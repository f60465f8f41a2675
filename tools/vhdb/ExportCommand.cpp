#include "platform/db/CrashRecovery.h"
#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/Statement.h"
#include "tools/vhdb/Command.h"
#include "tools/vhdb/Csv.h"

#include <CLI/CLI.hpp>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

namespace vhdb {

namespace {

class ExportCommand final : public Command {
public:
    explicit ExportCommand(CLI::App& parent)
        : Command(parent, "export", "Write a table as CSV, its field names first.") {
        app().add_option("FILE", file_, readFileHelp)->required();
        app().add_option("TABLE", table_, "The table to write.")->required();
        app().add_option("-o,--out", out_, "Write to this file instead of the standard output.");
    }

    int run(Console& console) override {
        refuseToOverwriteDatabase();
        // The table is written all the same; what was left undone is said.
        if (const std::optional<db::DbError> unrecovered = db::recoverAfterCrash(file_, password()))
            console.err << "vhdb: " << unrecovered->what() << '\n' << std::flush;
        auto database = db::Database::open(file_, password(), db::OpenMode::ReadOnly);
        // The whole table is written out first so that a failure half-way
        // leaves no partial CSV behind.
        std::ostringstream csv;
        writeTable(*database, findTable(*database, table_), csv);
        database.reset();
        if (out_.empty())
            send(csv.str(), console.out, "the standard output");
        else
            save(csv.str());
        return 0;
    }

private:
    void refuseToOverwriteDatabase() const {
        std::error_code ec;
        if (!out_.empty() && std::filesystem::equivalent(out_, file_, ec))
            throw Failure("The CSV file \"" + out_ +
                          "\" is the database file itself; name another file.");
    }

    static void writeTable(db::Database& database, const std::string& table, std::ostream& csv) {
        const auto& columns = database.columns(table);
        std::vector<CsvCell> cells;
        std::string sql = "SELECT ";
        for (std::size_t i = 0; i < columns.size(); ++i) {
            sql += (i ? ", " : "") + db::quoteIdentifier(columns[i].name);
            cells.emplace_back(columns[i].name);
        }
        sql += " FROM " + db::quoteIdentifier(table) + " ORDER BY rowid";
        writeCsvRow(csv, cells);

        db::Statement select(database.handle(), sql);
        while (select.step(
            [&] { return "Cannot read table " + table + " of \"" + database.path() + "\"."; })) {
            for (std::size_t i = 0; i < columns.size(); ++i) {
                db::Value value;
                try {
                    value = select.columnValue(static_cast<int>(i));
                } catch (const db::ValueError& e) {
                    throw db::ValueError({database.path(), table, columns[i].name}, e.shown(),
                                         e.why(), e.direction());
                }
                cells[i] = value.isNull() ? CsvCell() : CsvCell(value.toText());
            }
            writeCsvRow(csv, cells);
        }
    }

    static void send(const std::string& text, std::ostream& out, const std::string& where) {
        out << text << std::flush;
        if (!out)
            throw Failure("Cannot write the CSV to " + where + " (" + std::strerror(errno) + ").");
    }

    void save(const std::string& text) const {
        std::ofstream file(out_, std::ios::binary | std::ios::trunc);
        if (!file)
            throw Failure("Cannot write the CSV file \"" + out_ + "\" (" + std::strerror(errno) +
                          ").");
        send(text, file, "\"" + out_ + "\"");
        file.close();
        if (!file)
            throw Failure("Cannot write the CSV file \"" + out_ + "\" (" + std::strerror(errno) +
                          ").");
    }

    std::string file_;
    std::string table_;
    std::string out_;
};

} // namespace

std::unique_ptr<Command> makeExportCommand(CLI::App& parent) {
    return std::make_unique<ExportCommand>(parent);
}

} // namespace vhdb
