#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace merge {

// One cell of a CSV file. An empty unquoted cell is null (nothing); a quoted
// empty cell ("") is empty text, so the two survive a round trip apart.
using CsvCell = std::optional<std::string>;

// Writes one row ended by CRLF, in the RFC 4180 dialect `vhdb import` reads
// back unchanged: a cell is quoted only when it has to be (a comma, a quote,
// a line break, a blank at either end, or empty text).
void writeCsvRow(std::ostream& out, const std::vector<CsvCell>& cells);

// One cell as writeCsvRow writes it.
std::string csvCellText(const CsvCell& cell);

} // namespace merge
