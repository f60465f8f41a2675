#include "tools/vhdb/Csv.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <streambuf>

namespace vhdb {
namespace {

std::vector<CsvRow> readAll(const std::string& text, const CsvLimits& limits = {}) {
    std::istringstream in(text);
    CsvReader reader(in, limits);
    std::vector<CsvRow> rows;
    while (auto row = reader.next())
        rows.push_back(std::move(*row));
    return rows;
}

std::vector<CsvCell> cells(const std::string& text) {
    auto rows = readAll(text);
    EXPECT_EQ(rows.size(), 1u) << text;
    return rows.empty() ? std::vector<CsvCell>{} : rows.front().cells;
}

// The line at which reading `text` fails, or 0 when it does not.
std::size_t failingLine(const std::string& text) {
    try {
        readAll(text);
    } catch (const CsvError& e) {
        return e.line();
    }
    return 0;
}

// What reading `text` within `limits` fails with: "line L, cell C: message",
// or "read" when it does not fail.
std::string failure(const std::string& text, const CsvLimits& limits) {
    try {
        readAll(text, limits);
    } catch (const CsvError& e) {
        return "line " + std::to_string(e.line()) + ", cell " + std::to_string(e.cell()) + ": " +
               e.what();
    }
    return "read";
}

// A file of `header`, then one cell of `size` letters x that it makes as it
// is read, counting the bytes it hands out.
class EndlessCell : public std::streambuf {
public:
    EndlessCell(std::string header, std::size_t size) : header_(std::move(header)), left_(size) {}
    std::size_t served() const { return served_; }

protected:
    int_type underflow() override {
        if (!header_.empty()) {
            chunk_ = std::move(header_);
            header_.clear();
        } else if (left_ > 0) {
            chunk_.assign(std::min<std::size_t>(left_, 4096), 'x');
            left_ -= chunk_.size();
        } else {
            return traits_type::eof();
        }
        served_ += chunk_.size();
        setg(chunk_.data(), chunk_.data(), chunk_.data() + chunk_.size());
        return traits_type::to_int_type(chunk_.front());
    }

private:
    std::string header_;
    std::size_t left_;
    std::size_t served_ = 0;
    std::string chunk_;
};

TEST(CsvReader, KeepsQuotedCommasQuotesAndLineBreaksInsideCells) {
    EXPECT_EQ(cells("\"a,b\",\"say \"\"hi\"\"\",\"two\r\nlines\",\"x\ny\"\r\n"),
              (std::vector<CsvCell>{"a,b", "say \"hi\"", "two\r\nlines", "x\ny"}));
}

TEST(CsvReader, TellsNullFromEmptyTextAndKeepsBlanks) {
    EXPECT_EQ(cells("a,,\"\", b ,\t\n"),
              (std::vector<CsvCell>{"a", std::nullopt, "", " b ", "\t"}));
    EXPECT_EQ(cells("a,\n"), (std::vector<CsvCell>{"a", std::nullopt}));
}

TEST(CsvReader, ReadsCrlfLfAndAMissingFinalLineEndAlike) {
    const std::vector<CsvCell> first{"h1", "h2"}, second{"1", "2"};
    for (const std::string text : {"h1,h2\r\n1,2\r\n", "h1,h2\n1,2\n", "h1,h2\n1,2"}) {
        const auto rows = readAll(text);
        ASSERT_EQ(rows.size(), 2u) << text;
        EXPECT_EQ(rows[0].cells, first);
        EXPECT_EQ(rows[1].cells, second);
    }
}

TEST(CsvReader, DropsAByteOrderMarkOnlyAtTheStart) {
    EXPECT_EQ(cells("\xEF\xBB\xBFname,x\xEF\xBB\xBF\n"),
              (std::vector<CsvCell>{"name", "x\xEF\xBB\xBF"}));
    EXPECT_TRUE(readAll("\xEF\xBB\xBF").empty());
    EXPECT_TRUE(readAll("").empty());
}

TEST(CsvReader, NumbersRowsByTheLineTheyStartOn) {
    const auto rows = readAll("h1,h2\r\n"      // 1
                              "a,\"x\r\n"      // 2
                              "\r\n"           // 3, inside the quoted cell
                              "y\"\r\n"        // 4
                              "\r\n"           // 5, empty line between rows
                              "\"b\n\nc\",d\n" // 6
                              "e,f\rg,h\n");   // 9, a lone CR ends a row too
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[1].cells[1], "x\r\n\r\ny");
    std::vector<std::size_t> lines;
    for (const auto& row : rows)
        lines.push_back(row.line);
    EXPECT_EQ(lines, (std::vector<std::size_t>{1, 2, 6, 9, 9}));
}

TEST(CsvReader, RejectsMalformedQuotingAtTheLineTheRowStarts) {
    EXPECT_EQ(failingLine("h\na\"b\n"), 2u);       // quote in an unquoted cell
    EXPECT_EQ(failingLine("h,i\n\"a\" ,b\n"), 2u); // blank after the closing quote
    EXPECT_EQ(failingLine("h,i\n\"multi\nline\"x,b\n"), 2u);
    EXPECT_EQ(failingLine("h,i\n\n\"never\nclosed,b\n"), 3u);
    EXPECT_EQ(failingLine("h,i\n\"a\"\"b\",c\n"), 0u);
}

TEST(CsvReader, RefusesACellOrARowBeyondTheLimitsAndNamesTheCellAtFault) {
    const CsvLimits limits{.cellBytes = 10, .rowBytes = 16, .cells = 3};
    const std::string head = "h\n\"two\nlines\"\n"; // the next row starts on line 4
    EXPECT_EQ(failure(head + "a,1234567890,b\n", limits), "read");
    EXPECT_EQ(failure(head + "a,\"1234567890\"\n", limits), "read");
    EXPECT_EQ(failure(head + "a,12345678901,b\n", limits),
              "line 4, cell 2: the cell holds more than 10 bytes, the most a cell may hold");
    EXPECT_EQ(failure(head + "a,\"12345\n78901\"\n", limits),
              "line 4, cell 2: the cell holds more than 10 bytes, the most a cell may hold");
    // The last cell of a file without a final line end.
    EXPECT_EQ(failure(head + "12345678901", limits),
              "line 4, cell 1: the cell holds more than 10 bytes, the most a cell may hold");
    EXPECT_EQ(failure(head + "1234567890,123456\n", limits), "read");
    EXPECT_EQ(failure(head + "1234567890,1234567\n", limits),
              "line 4, cell 2: the cells of the row hold more than 16 bytes together, the most "
              "a row may hold");
    EXPECT_EQ(failure(head + ",,\n", limits), "read");
    EXPECT_EQ(failure(head + ",,,\n", limits),
              "line 4, cell 0: the row has more than 3 cells, the most a row may have");
    EXPECT_EQ(failure(head + "a,b,c,\"\n", limits),
              "line 4, cell 0: the row has more than 3 cells, the most a row may have");
    const CsvLimits mebibyte{.cellBytes = CsvLimits::MiB};
    EXPECT_EQ(failure("\"" + std::string(CsvLimits::MiB + 1, 'x') + "\"", mebibyte),
              "line 1, cell 1: the cell holds more than 1,048,576 bytes (1 MiB), the most a "
              "cell may hold");
}

TEST(CsvReader, RefusesAHugeCellBeforeReadingMuchPastTheLimit) {
    const CsvLimits limits{.cellBytes = 1 << 20, .rowBytes = 1 << 20};
    for (const std::string open : {"", "\""}) {
        SCOPED_TRACE(open);
        EndlessCell file("F1,F2\r\nkey," + open, std::size_t{1} << 30);
        std::istream in(&file);
        CsvReader reader(in, limits);
        ASSERT_TRUE(reader.next());
        try {
            reader.next();
            ADD_FAILURE() << "a cell of 1 GiB was read";
        } catch (const CsvError& e) {
            EXPECT_EQ(e.line(), 2u);
            EXPECT_EQ(e.cell(), 2u);
        }
        EXPECT_LT(file.served(), limits.cellBytes + 256 * 1024);
    }
}

TEST(CsvReader, ReadsRowsOfEveryLengthAcrossTheBlocksItReadsIn) {
    // Cells of up to 100 KB with quotes, commas and all three line ends, in
    // rows that straddle the reader's blocks at every kind of place.
    std::mt19937 random(7);
    const std::string pieces[] = {"a", "\"", ",", "\r\n", "\n", "\r", "  ", "ü", "xyz"};
    std::vector<std::vector<CsvCell>> rows;
    for (int r = 0; r < 400; ++r) {
        std::vector<CsvCell> row;
        for (int c = 0; c < 3; ++c) {
            const std::size_t length = random() % 16 == 0 ? random() % 100'000 : random() % 40;
            std::string text;
            while (text.size() < length)
                text += pieces[random() % std::size(pieces)];
            row.push_back(random() % 10 == 0 ? CsvCell() : CsvCell(text));
        }
        rows.push_back(std::move(row));
    }
    // A few cells of more than a megabyte, after which the reader lets go of
    // the memory they took.
    for (std::size_t at : {0, 1, 150, 151}) {
        std::string text;
        while (text.size() < 1'200'000)
            text += pieces[random() % std::size(pieces)];
        rows[at][at % 3] = text;
    }
    std::ostringstream out;
    std::vector<std::size_t> lines;
    std::size_t line = 1;
    for (const auto& row : rows) {
        std::ostringstream one;
        writeCsvRow(one, row);
        const std::string text = one.str();
        lines.push_back(line);
        line += std::count(text.begin(), text.end(), '\n');
        out << text;
    }
    ASSERT_GT(out.str().size(), 1'000'000u);
    const auto back = readAll(out.str());
    ASSERT_EQ(back.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(back[i].cells, rows[i]) << "row " << i;
        EXPECT_EQ(back[i].line, lines[i]) << "row " << i;
    }
    // Every byte of a row with a doubled quote, a quoted CR LF and a CR LF
    // line end, in turn at the end of a block of 64 KiB.
    const std::string tail = "k,\"a\"\"b\r\nc\"\r\nlast,x\r\n";
    for (std::size_t at = 0; at < tail.size(); ++at) {
        SCOPED_TRACE(at);
        const std::string lead(64 * 1024 - 8 - at, 'z');
        const auto read = readAll("first," + lead + "\n" + tail);
        ASSERT_EQ(read.size(), 3u);
        EXPECT_EQ(read[1].cells, (std::vector<CsvCell>{"k", "a\"b\r\nc"}));
        EXPECT_EQ(read[2].cells, (std::vector<CsvCell>{"last", "x"}));
        EXPECT_EQ(read[2].line, 4u);
    }
}

TEST(CsvWriter, QuotesOnlyWhatNeedsIt) {
    const std::vector<std::pair<CsvCell, std::string>> cases = {
        {"plain", "plain"},
        {std::nullopt, ""},
        {"", "\"\""},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"a\nb", "\"a\nb\""},
        {"a\rb", "\"a\rb\""},
        {" lead", "\" lead\""},
        {"trail\t", "\"trail\t\""},
        {"in side", "in side"},
        {"Zürich", "Zürich"},
    };
    for (const auto& [cell, written] : cases)
        EXPECT_EQ(csvCellText(cell), written) << written;
}

TEST(CsvWriter, WritesRowsWithCrlfThatReadBackUnchanged) {
    const std::vector<std::vector<CsvCell>> rows = {
        {"id", "text", "note"},
        {"1", "comma, \"quoted\"", std::nullopt},
        {"2", "", "line\r\nbreak\nand CR\r"},
        {std::nullopt, "  blanks  ", "Ünïcödé ✓"},
    };
    std::ostringstream out;
    for (const auto& row : rows)
        writeCsvRow(out, row);
    EXPECT_EQ(out.str().substr(0, 14), "id,text,note\r\n");
    const auto back = readAll(out.str());
    ASSERT_EQ(back.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(back[i].cells, rows[i]) << "row " << i;
}

} // namespace
} // namespace vhdb
