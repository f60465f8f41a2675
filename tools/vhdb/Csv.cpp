#include "tools/vhdb/Csv.h"

#include "platform/db/Text.h"

#include <csv.h>
#include <deque>
#include <istream>
#include <ostream>

namespace vhdb {

namespace {

// RFC 4180 makes blanks part of a cell; libcsv would trim them otherwise.
int noBlanks(unsigned char) {
    return 0;
}

bool isEmptyLine(const std::string& line) {
    return line.empty() || line == "\n" || line == "\r\n";
}

constexpr const char* Bom = "\xEF\xBB\xBF";

} // namespace

struct CsvReader::Parser {
    csv_parser csv{};
    std::deque<CsvRow> ready;
    CsvRow row;
    std::size_t line = 0;     // the physical line last fed
    std::size_t rowStart = 0; // 0 while no row is under way
    bool finished = false;

    Parser() {
        if (csv_init(&csv, CSV_STRICT | CSV_STRICT_FINI | CSV_EMPTY_IS_NULL) != 0)
            throw std::bad_alloc();
        csv_set_space_func(&csv, noBlanks);
    }
    ~Parser() { csv_free(&csv); }
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;

    void noteRowStart() {
        if (rowStart == 0)
            rowStart = line;
    }

    static void onCell(void* text, std::size_t size, void* self) {
        auto& p = *static_cast<Parser*>(self);
        if (text)
            p.row.cells.emplace_back(std::string(static_cast<const char*>(text), size));
        else
            p.row.cells.emplace_back(std::nullopt);
    }

    static void onRowEnd(int, void* self) {
        auto& p = *static_cast<Parser*>(self);
        // A row that begins right after a lone CR starts within the line
        // being fed, after its start was looked for.
        p.noteRowStart();
        p.row.line = p.rowStart;
        p.ready.push_back(std::move(p.row));
        p.row = CsvRow{};
        p.rowStart = 0;
    }
};

CsvReader::CsvReader(std::istream& in) : in_(in), parser_(std::make_unique<Parser>()) {}

CsvReader::~CsvReader() = default;

std::optional<CsvRow> CsvReader::next() {
    while (parser_->ready.empty() && !parser_->finished)
        feedLine();
    if (parser_->ready.empty())
        return std::nullopt;
    CsvRow row = std::move(parser_->ready.front());
    parser_->ready.pop_front();
    return row;
}

// One physical line at a time, so that the line where each row starts is
// known even when quoted cells span lines.
void CsvReader::feedLine() {
    Parser& p = *parser_;
    std::string line;
    if (!std::getline(in_, line)) {
        finish();
        return;
    }
    if (!in_.eof())
        line += '\n';
    if (++p.line == 1 && line.starts_with(Bom))
        line.erase(0, 3);
    if (!isEmptyLine(line))
        p.noteRowStart();
    const std::size_t used =
        csv_parse(&p.csv, line.data(), line.size(), Parser::onCell, Parser::onRowEnd, &p);
    if (used != line.size())
        throw CsvError(p.rowStart ? p.rowStart : p.line,
                       "the quoting is malformed (a cell that holds a quote must be enclosed in "
                       "quotes, each quote inside it doubled, and the closing quote followed by "
                       "a comma or the end of the line)");
}

void CsvReader::finish() {
    Parser& p = *parser_;
    p.finished = true;
    if (in_.bad())
        throw CsvError(p.line + 1, "the file could not be read to its end");
    if (csv_fini(&p.csv, Parser::onCell, Parser::onRowEnd, &p) != 0)
        throw CsvError(p.rowStart ? p.rowStart : p.line,
                       "a quoted cell is never closed (its closing quote is missing)");
}

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

} // namespace vhdb
