#include "merge/CsvText.h"

#include "platform/db/Text.h"

#include <ostream>

namespace merge {

std::string csvCellText(const CsvCell& cell) {
    if (!cell)
        return {};
    const std::string& text = *cell;
    const bool blankAtEdge = !text.empty() && (text.front() == ' ' || text.front() == '\t' ||
                                               text.back() == ' ' || text.back() == '\t');
    if (!text.empty() && !blankAtEdge && text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    return db::enclosed(text, '"');
}

void writeCsvRow(std::ostream& out, const std::vector<CsvCell>& cells) {
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i)
            out << ',';
        out << csvCellText(cells[i]);
    }
    out << "\r\n";
}

} // namespace merge
