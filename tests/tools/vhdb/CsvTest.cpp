#include "tools/vhdb/Csv.h"

#include <gtest/gtest.h>
#include <sstream>

namespace vhdb {
namespace {

std::vector<CsvRow> readAll(const std::string& text) {
    std::istringstream in(text);
    CsvReader reader(in);
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
