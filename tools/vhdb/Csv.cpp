#include "tools/vhdb/Csv.h"

#include "platform/db/Text.h"

#include <algorithm>
#include <csv.h>
#include <deque>
#include <istream>
#include <ostream>
#include <string_view>

namespace vhdb {

namespace {

// RFC 4180 makes blanks part of a cell; libcsv would trim them otherwise.
int noBlanks(unsigned char) {
    return 0;
}

constexpr std::string_view Bom = "\xEF\xBB\xBF";

// The file is read in blocks of this size and fed to libcsv a line, or the
// part of a line within one block, at a time.
constexpr std::size_t BlockSize = 64 * 1024;

// "268,435,456 bytes (256 MiB)"
std::string sizeText(std::size_t bytes) {
    std::string text = db::groupedDigits(bytes) + (bytes == 1 ? " byte" : " bytes");
    if (bytes >= CsvLimits::MiB && bytes % CsvLimits::MiB == 0)
        text += " (" + std::to_string(bytes / CsvLimits::MiB) + " MiB)";
    return text;
}

} // namespace

struct CsvReader::Parser {
    csv_parser csv{};
    CsvLimits limits;
    std::deque<CsvRow> ready;
    CsvRow row;
    std::size_t rowBytes = 0; // the bytes of the row's cells read so far
    std::size_t line = 1;     // the physical line being fed
    std::size_t rowStart = 0; // 0 while no row is under way
    bool atStart = true;
    bool finished = false;
    std::optional<CsvError> fault; // found in a callback, thrown after it
    std::string block = std::string(BlockSize, '\0');

    explicit Parser(const CsvLimits& l) : limits(l) { init(); }
    ~Parser() { csv_free(&csv); }
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;

    void init() {
        if (csv_init(&csv, CSV_STRICT | CSV_STRICT_FINI | CSV_EMPTY_IS_NULL) != 0)
            throw std::bad_alloc();
        csv_set_space_func(&csv, noBlanks);
    }

    // libcsv keeps its buffer as large as the largest cell so far. After a
    // large cell, between rows, the parser is made anew, so that the rest of
    // the file is read without holding that memory.
    void shrinkBetweenRows() {
        constexpr std::size_t large = 1024 * 1024;
        if (csv_get_buffer_size(&csv) > large && csv.entry_pos == 0 && row.cells.empty() &&
            rowStart == 0) {
            csv_free(&csv);
            init();
        }
    }

    void noteRowStart() {
        if (rowStart == 0)
            rowStart = line;
    }

    std::size_t faultLine() const { return rowStart ? rowStart : line; }

    // Refuses the cell at `cell` (from 1) when it holds `size` bytes, or
    // makes the row's bytes pass their limit. Nothing when within them.
    std::optional<CsvError> beyondLimits(std::size_t cell, std::size_t size) const {
        if (cell > limits.cells)
            return CsvError(faultLine(), "the row has more than " +
                                             db::groupedDigits(limits.cells) +
                                             " cells, the most a row may have");
        if (size > limits.cellBytes)
            return CsvError(faultLine(),
                            "the cell holds more than " + sizeText(limits.cellBytes) +
                                ", the most a cell may hold",
                            cell);
        if (rowBytes + size > limits.rowBytes)
            return CsvError(faultLine(),
                            "the cells of the row hold more than " + sizeText(limits.rowBytes) +
                                " together, the most a row may hold",
                            cell);
        return std::nullopt;
    }

    // libcsv grows its buffer for the cell under way by a fixed block size;
    // growing it by its own size instead keeps a long cell from being copied
    // over and over, and the limit keeps it from growing past what a cell may
    // hold and the bytes of one piece.
    void setGrowth(std::size_t pieceSize) {
        const std::size_t size = csv_get_buffer_size(&csv);
        const std::size_t most = limits.cellBytes + BlockSize;
        std::size_t growth = std::max({pieceSize, size, std::size_t{128}});
        if (size < most)
            growth = std::min(growth, std::max(pieceSize, most - size));
        csv_set_blk_size(&csv, growth);
    }

    void feed(std::string_view piece) {
        if (piece.find_first_not_of("\r\n") != std::string_view::npos)
            noteRowStart();
        setGrowth(piece.size());
        const std::size_t used =
            csv_parse(&csv, piece.data(), piece.size(), onCell, onRowEnd, this);
        if (fault)
            throw *fault;
        if (used != piece.size()) {
            if (csv_error(&csv) != CSV_EPARSE)
                throw std::bad_alloc();
            throw CsvError(faultLine(), "the quoting is malformed (a cell that holds a quote must "
                                        "be enclosed in quotes, each quote inside it doubled, and "
                                        "the closing quote followed by a comma or the end of the "
                                        "line)");
        }
        // The cell under way, which libcsv holds in its buffer: its size so
        // far is entry_pos.
        if (csv.entry_pos > 0)
            if (auto error = beyondLimits(row.cells.size() + 1, csv.entry_pos))
                throw *error;
    }

    static void onCell(void* text, std::size_t size, void* self) {
        auto& p = *static_cast<Parser*>(self);
        if (p.fault)
            return;
        if ((p.fault = p.beyondLimits(p.row.cells.size() + 1, size)))
            return;
        p.rowBytes += size;
        if (text)
            p.row.cells.emplace_back(std::string(static_cast<const char*>(text), size));
        else
            p.row.cells.emplace_back(std::nullopt);
    }

    static void onRowEnd(int, void* self) {
        auto& p = *static_cast<Parser*>(self);
        if (p.fault)
            return;
        // A row that begins right after a lone CR starts within the piece
        // being fed, after its start was looked for.
        p.noteRowStart();
        p.row.line = p.rowStart;
        p.ready.push_back(std::move(p.row));
        p.row = CsvRow{};
        p.rowBytes = 0;
        p.rowStart = 0;
    }
};

CsvReader::CsvReader(std::istream& in, const CsvLimits& limits)
    : in_(in), parser_(std::make_unique<Parser>(limits)) {}

CsvReader::~CsvReader() = default;

std::optional<CsvRow> CsvReader::next() {
    while (parser_->ready.empty() && !parser_->finished)
        feedBlock();
    if (parser_->ready.empty())
        return std::nullopt;
    CsvRow row = std::move(parser_->ready.front());
    parser_->ready.pop_front();
    return row;
}

// One block of the file, fed a line at a time, so that the line where each
// row starts is known even when quoted cells span lines.
void CsvReader::feedBlock() {
    Parser& p = *parser_;
    in_.read(p.block.data(), static_cast<std::streamsize>(p.block.size()));
    std::string_view data(p.block.data(), static_cast<std::size_t>(in_.gcount()));
    if (data.empty()) {
        finish();
        return;
    }
    if (p.atStart && data.starts_with(Bom))
        data.remove_prefix(Bom.size());
    p.atStart = false;
    while (!data.empty()) {
        const std::size_t end = data.find('\n');
        const std::string_view piece = data.substr(0, end == data.npos ? data.npos : end + 1);
        p.feed(piece);
        if (piece.back() == '\n') {
            ++p.line;
            p.shrinkBetweenRows();
        }
        data.remove_prefix(piece.size());
    }
}

void CsvReader::finish() {
    Parser& p = *parser_;
    p.finished = true;
    if (in_.bad())
        throw CsvError(p.line, "the file could not be read to its end");
    if (csv_fini(&p.csv, Parser::onCell, Parser::onRowEnd, &p) != 0)
        throw CsvError(p.faultLine(),
                       "a quoted cell is never closed (its closing quote is missing)");
    if (p.fault)
        throw *p.fault;
}

} // namespace vhdb
