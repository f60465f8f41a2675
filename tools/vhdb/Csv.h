#pragma once

#include <cstddef>
#include <iosfwd>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vhdb {

// One cell of a CSV file. An empty unquoted cell is null (nothing); a quoted
// empty cell ("") is empty text, so the two survive a round trip apart.
using CsvCell = std::optional<std::string>;

struct CsvRow {
    std::size_t line = 0; // the physical line, from 1, where the row starts
    std::vector<CsvCell> cells;
};

// A CSV file that cannot be read, with the line of the row at fault.
class CsvError : public std::runtime_error {
public:
    CsvError(std::size_t line, const std::string& message)
        : std::runtime_error(message), line_(line) {}
    std::size_t line() const noexcept { return line_; }

private:
    std::size_t line_;
};

// Reads RFC 4180 CSV row by row: quoted cells may hold commas, quotes and line
// breaks; blanks around cells belong to them; CRLF and LF line ends both
// serve; a leading UTF-8 byte order mark is dropped; empty lines between rows
// are skipped.
class CsvReader {
public:
    explicit CsvReader(std::istream& in);
    ~CsvReader();
    CsvReader(const CsvReader&) = delete;
    CsvReader& operator=(const CsvReader&) = delete;

    // The next row, or nothing after the last one. Throws CsvError for
    // malformed quoting.
    std::optional<CsvRow> next();

private:
    struct Parser;
    void feedLine();
    void finish();

    std::istream& in_;
    std::unique_ptr<Parser> parser_;
};

// Writes one row the way CsvReader reads it back unchanged, ended by CRLF. A
// cell is quoted only when it has to be.
void writeCsvRow(std::ostream& out, const std::vector<CsvCell>& cells);

// One cell as writeCsvRow writes it.
std::string csvCellText(const CsvCell& cell);

} // namespace vhdb
