#include "platform/db/Database.h"
#include "platform/db/Transaction.h"
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

const CsvLimits limits;

// The rows of a CSV file, read one at a time and converted for the fields its
// header names, each row checked as it is read. A fault is a Failure that
// names the file, the line and, where it is one cell's, the field.
class CsvRows {
public:
    CsvRows(const std::string& csv, const std::string& table,
            const std::vector<db::Column>& columns)
        : csv_(csv), table_(table), in_(open(csv)), reader_(in_, limits) {
        const auto header = read();
        if (!header)
            throw Failure("The CSV file \"" + csv_ +
                          "\" is empty; its first row must name the fields.");
        readHeader(*header, columns);
    }

    // The fields the header names, as the table spells them.
    const std::vector<std::string>& fields() const { return fields_; }

    // The next row's values, or false after the last row.
    bool next(std::vector<db::Value>& values) {
        auto row = read();
        if (!row)
            return false;
        if (row->cells.size() != columns_.size())
            reject(row->line,
                   fmt::format("the row has {} {}, but the first row names {} fields",
                               row->cells.size(), row->cells.size() == 1 ? "cell" : "cells",
                               columns_.size()));
        values.clear();
        for (std::size_t i = 0; i < row->cells.size(); ++i)
            values.push_back(readCell(std::move(row->cells[i]), *columns_[i], row->line));
        line_ = row->line;
        return true;
    }

    // The line the last row read starts on.
    std::size_t line() const { return line_; }

private:
    static std::ifstream open(const std::string& csv) {
        if (std::filesystem::is_directory(csv))
            throw Failure("\"" + csv + "\" is a folder, not a CSV file.");
        std::ifstream in(csv, std::ios::binary);
        if (!in)
            throw Failure("Cannot read the CSV file \"" + csv + "\" (" + std::strerror(errno) +
                          ").");
        return in;
    }

    // `field` names the field at fault, if one is.
    [[noreturn]] void reject(std::size_t line, const std::string& message,
                             const std::string& field = {}) const {
        throw Failure(fmt::format("\"{}\", line {}{}: {}. Nothing was imported.", csv_, line,
                                  field.empty() ? "" : ", field " + field, message));
    }

    std::optional<CsvRow> read() {
        try {
            return reader_.next();
        } catch (const CsvError& e) {
            // In the first row, a field is known by its place only.
            const std::size_t cell = e.cell();
            reject(e.line(), e.what(),
                   cell == 0                ? ""
                   : cell <= fields_.size() ? fields_[cell - 1]
                                            : std::to_string(cell));
        }
    }

    void readHeader(const CsvRow& header, const std::vector<db::Column>& columns) {
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
                       fmt::format("the table {} has no field {}", table_, db::quotedValue(*name)));
            for (const auto* seen : columns_)
                if (seen == column)
                    reject(header.line, fmt::format("the field {} is named twice", column->name));
            fields_.push_back(column->name);
            columns_.push_back(column);
        }
    }

    db::Value readCell(CsvCell cell, const db::Column& column, std::size_t line) const {
        if (!cell)
            return db::Value();
        if (column.isDate) {
            if (auto date = db::DateTime::parse(*cell))
                return db::Value::date(*date);
            reject(line, fmt::format("the field {} cannot read {} as a date (write dates as "
                                     "YYYY-MM-DD or YYYY-MM-DD HH:MM:SS)",
                                     column.name, db::quotedValue(*cell)));
        }
        if (column.isNumeric) {
            if (auto number = db::parseNumber(*cell))
                return *number;
            reject(line, fmt::format("the field {} cannot read {} as a number (write numbers "
                                     "with a period and no thousands separators, like 1234.5)",
                                     column.name, db::quotedValue(*cell)));
        }
        return db::Value::text(std::move(*cell));
    }

    std::string csv_;
    std::string table_;
    std::ifstream in_;
    CsvReader reader_;
    std::vector<std::string> fields_;
    std::vector<const db::Column*> columns_;
    std::size_t line_ = 0;
};

std::string limitsText() {
    return fmt::format("A cell may hold at most {} MiB, and the cells of a row together at most "
                       "{} MiB.",
                       limits.cellBytes / CsvLimits::MiB, limits.rowBytes / CsvLimits::MiB);
}

class ImportCommand final : public Command {
public:
    explicit ImportCommand(CLI::App& parent)
        : Command(parent, "import",
                  "Append the rows of a CSV file to a table: all of them, or none. " +
                      limitsText()) {
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
        // The whole file is read and checked before the database is opened
        // for writing, so that a rejected CSV file leaves the database
        // untouched byte for byte (opening it for writing already switches
        // it to WAL). The rows are not kept but read again for writing, so
        // that no more than one row is held at a time, whatever the size of
        // the file.
        std::vector<db::Column> columns;
        {
            auto database = db::Database::open(file_, password(), db::OpenMode::ReadOnly);
            tableName_ = findTable(*database, table_);
            columns = database->columns(tableName_);
        }
        std::size_t rows = 0;
        {
            CsvRows check(csv_, tableName_, columns);
            std::vector<db::Value> values;
            while (check.next(values))
                ++rows;
        }
        if (rows > 0)
            write(columns, rows);
        return 0;
    }

private:
    // Appends the rows in one transaction: all of them or, when anything
    // fails, none.
    void write(const std::vector<db::Column>& columns, std::size_t rows) const {
        auto database = db::Database::open(file_, password(), db::OpenMode::ReadWrite);
        CsvRows csv(csv_, tableName_, columns);
        db::Transaction transaction(*database);
        db::Statement insert(database->handle(), insertSql(csv.fields()));
        std::vector<db::Value> values;
        std::size_t written = 0;
        while (csv.next(values)) {
            for (std::size_t i = 0; i < values.size(); ++i)
                insert.bind(static_cast<int>(i + 1), values[i]);
            insert.run([&] {
                return fmt::format("Cannot add line {} of \"{}\" to table {}; nothing was "
                                   "imported.",
                                   csv.line(), csv_, tableName_);
            });
            insert.reset();
            ++written;
        }
        if (written != rows)
            throw Failure("The CSV file \"" + csv_ +
                          "\" changed while it was being imported. Nothing was imported.");
        transaction.commit();
    }

    std::string insertSql(const std::vector<std::string>& fields) const {
        std::string sql = "INSERT INTO " + db::quoteIdentifier(tableName_) + " (";
        std::string marks;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            sql += (i ? ", " : "") + db::quoteIdentifier(fields[i]);
            marks += i ? ", ?" : "?";
        }
        return sql + ") VALUES (" + marks + ")";
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
