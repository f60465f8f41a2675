#include "platform/db/Database.h"
#include "platform/db/Value.h"
#include "tools/vhdb/Command.h"
#include "tools/vhdb/Csv.h"

#include <CLI/CLI.hpp>
#include <cstring>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>

namespace vhdb {

namespace {

// The rows of a CSV file, read and converted for the fields its header names.
struct Batch {
    std::vector<std::string> fields; // as the table spells them
    std::vector<const db::Column*> columns;
    std::vector<std::vector<db::Value>> rows;
    std::vector<std::size_t> lines;
};

class ImportCommand final : public Command {
public:
    explicit ImportCommand(CLI::App& parent)
        : Command(parent, "import",
                  "Append the rows of a CSV file to a table: all of them, or none.") {
        app().add_option("FILE", file_, "The database file.")->required();
        app().add_option("TABLE", table_, "The table to append to.")->required();
        app()
            .add_option(
                "CSV", csv_,
                "The CSV file (RFC 4180, UTF-8). Its first row names the fields, in any order; "
                "fields it leaves out stay empty.")
            ->required();
    }

    int run(Console&) override {
        // Everything is read and checked on a read-only connection first, so
        // that a rejected CSV file leaves the database untouched byte for byte
        // (opening it for writing already switches it to WAL).
        std::vector<db::Column> columns;
        {
            auto database = db::Database::open(file_, password(), db::OpenMode::ReadOnly);
            tableName_ = findTable(*database, table_);
            columns = database->columns(tableName_);
        }
        const Batch batch = readBatch(columns);
        if (!batch.rows.empty())
            write(batch);
        return 0;
    }

private:
    [[noreturn]] void reject(std::size_t line, const std::string& message) const {
        throw Failure(
            fmt::format("\"{}\", line {}: {}. Nothing was imported.", csv_, line, message));
    }

    Batch readBatch(const std::vector<db::Column>& columns) const {
        if (std::filesystem::is_directory(csv_))
            throw Failure("\"" + csv_ + "\" is a folder, not a CSV file.");
        std::ifstream in(csv_, std::ios::binary);
        if (!in)
            throw Failure("Cannot read the CSV file \"" + csv_ + "\" (" + std::strerror(errno) +
                          ").");
        Batch batch;
        try {
            CsvReader reader(in);
            auto header = reader.next();
            if (!header)
                throw Failure("The CSV file \"" + csv_ +
                              "\" is empty; its first row must name the fields.");
            readHeader(*header, columns, batch);
            while (auto row = reader.next())
                readRow(*row, batch);
        } catch (const CsvError& e) {
            reject(e.line(), e.what());
        }
        return batch;
    }

    void readHeader(const CsvRow& header, const std::vector<db::Column>& columns,
                    Batch& batch) const {
        for (std::size_t i = 0; i < header.cells.size(); ++i) {
            const CsvCell& name = header.cells[i];
            if (!name || name->empty())
                reject(header.line, fmt::format("the name of field {} is empty", i + 1));
            const db::Column* column = nullptr;
            for (const auto& c : columns)
                if (db::equalsNoCase(c.name, *name))
                    column = &c;
            if (!column)
                reject(header.line,
                       fmt::format("the table {} has no field \"{}\"", tableName_, *name));
            for (const auto* seen : batch.columns)
                if (seen == column)
                    reject(header.line, fmt::format("the field {} is named twice", column->name));
            batch.fields.push_back(column->name);
            batch.columns.push_back(column);
        }
    }

    void readRow(const CsvRow& row, Batch& batch) const {
        if (row.cells.size() != batch.columns.size())
            reject(row.line, fmt::format("the row has {} {}, but the first row names {} fields",
                                         row.cells.size(), row.cells.size() == 1 ? "cell" : "cells",
                                         batch.columns.size()));
        std::vector<db::Value> values;
        values.reserve(row.cells.size());
        for (std::size_t i = 0; i < row.cells.size(); ++i)
            values.push_back(readCell(row.cells[i], *batch.columns[i], row.line));
        batch.rows.push_back(std::move(values));
        batch.lines.push_back(row.line);
    }

    db::Value readCell(const CsvCell& cell, const db::Column& column, std::size_t line) const {
        if (!cell)
            return db::Value();
        if (column.isDate) {
            if (auto date = db::DateTime::parse(*cell))
                return db::Value::date(*date);
            reject(line, fmt::format("the field {} cannot read \"{}\" as a date (write dates as "
                                     "YYYY-MM-DD or YYYY-MM-DD HH:MM:SS)",
                                     column.name, *cell));
        }
        if (column.isNumeric) {
            if (auto number = db::parseNumber(*cell))
                return *number;
            reject(line, fmt::format("the field {} cannot read \"{}\" as a number (write numbers "
                                     "with a period and no thousands separators, like 1234.5)",
                                     column.name, *cell));
        }
        return db::Value::text(*cell);
    }

    void write(const Batch& batch) const {
        auto database = db::Database::open(file_, password(), db::OpenMode::ReadWrite);
        std::string sql = "INSERT INTO " + db::quoteIdentifier(tableName_) + " (";
        std::string marks;
        for (std::size_t i = 0; i < batch.fields.size(); ++i) {
            sql += (i ? ", " : "") + db::quoteIdentifier(batch.fields[i]);
            marks += i ? ", ?" : "?";
        }
        sql += ") VALUES (" + marks + ")";

        db::Transaction transaction(*database);
        db::Statement insert(database->handle(), sql);
        for (std::size_t r = 0; r < batch.rows.size(); ++r) {
            db::Statement::ResetGuard guard(insert);
            for (std::size_t i = 0; i < batch.rows[r].size(); ++i)
                insert.bind(static_cast<int>(i + 1), batch.rows[r][i]);
            insert.step([&] {
                return fmt::format("Cannot add line {} of \"{}\" to table {}; nothing was "
                                   "imported.",
                                   batch.lines[r], csv_, tableName_);
            });
        }
        transaction.commit();
    }

    std::string file_;
    std::string table_;
    std::string csv_;
    std::string tableName_;
};

} // namespace

std::unique_ptr<Command> makeImportCommand(CLI::App& parent) {
    return std::make_unique<ImportCommand>(parent);
}

} // namespace vhdb
