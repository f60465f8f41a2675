#pragma once

#include "merge/CsvText.h"

#include <cstddef>
#include <iosfwd>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vhdb {

using merge::CsvCell;

struct CsvRow {
    std::size_t line = 0; // the physical line, from 1, where the row starts
    std::vector<CsvCell> cells;
};

// A CSV file that cannot be read, with the line of the row at fault and, when
// one cell is at fault, its place in the row.
class CsvError : public std::runtime_error {
public:
    CsvError(std::size_t line, const std::string& message, std::size_t cell = 0)
        : std::runtime_error(message), line_(line), cell_(cell) {}
    std::size_t line() const noexcept { return line_; }
    // The cell at fault, from 1; 0 when the fault is not one cell's.
    std::size_t cell() const noexcept { return cell_; }

private:
    std::size_t line_;
    std::size_t cell_;
};

// The most one row may hold. A row beyond them is refused as soon as the
// reader gets that far into it, so that no file can make it hold more.
struct CsvLimits {
    static constexpr std::size_t MiB = std::size_t{1} << 20;
    std::size_t cellBytes = 256 * MiB;
    std::size_t rowBytes = 256 * MiB; // all cells of the row together
    std::size_t cells = 2000;         // the most columns SQLite lets a table have
};

// Reads RFC 4180 CSV row by row: quoted cells may hold commas, quotes and line
// breaks; blanks around cells belong to them; CRLF and LF line ends both
// serve; a leading UTF-8 byte order mark is dropped; empty lines between rows
// are skipped. It holds one row at a time, and reads and parses in time
// linear in the size of the file.
class CsvReader {
public:
    explicit CsvReader(std::istream& in, const CsvLimits& limits = {});
    ~CsvReader();
    CsvReader(const CsvReader&) = delete;
    CsvReader& operator=(const CsvReader&) = delete;

    // The next row, or nothing after the last one. Throws CsvError for
    // malformed quoting and for a row beyond the limits.
    std::optional<CsvRow> next();

private:
    struct Parser;
    void feedBlock();
    void finish();

    std::istream& in_;
    std::unique_ptr<Parser> parser_;
};

// Rows are written the way CsvReader reads them back unchanged (the changes
// report of the window writes them too).
using merge::csvCellText;
using merge::writeCsvRow;

} // namespace vhdb
