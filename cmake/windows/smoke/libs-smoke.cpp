// fmt, CLI11 and libcsv as the Windows build links them, in GoogleTest tests.
#include <CLI/CLI.hpp>
#include <csv.h>
#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

TEST(Libs, FmtFormats) {
    EXPECT_EQ(fmt::format("{:>6.2f}|{}|{:L}", 3.14159, "Zürich", 1234), "  3.14|Zürich|1234");
}

TEST(Libs, Cli11Parses) {
    CLI::App app{"smoke"};
    std::string file;
    int level = 0;
    app.add_option("file", file)->required();
    app.add_option("--level", level);
    const char* argv[] = {"smoke", "--level", "3", "a.db"};
    app.parse(4, argv);
    EXPECT_EQ(file, "a.db");
    EXPECT_EQ(level, 3);
}

TEST(Libs, CsvSplitsFields) {
    csv_parser parser;
    ASSERT_EQ(csv_init(&parser, 0), 0);
    std::vector<std::string> fields;
    auto field = [](void* data, size_t size, void* out) {
        static_cast<std::vector<std::string>*>(out)->emplace_back(static_cast<char*>(data), size);
    };
    const std::string line = "1,\"Varnholt, Hof\",x\n";
    EXPECT_EQ(csv_parse(&parser, line.data(), line.size(), field, nullptr, &fields), line.size());
    csv_fini(&parser, field, nullptr, &fields);
    csv_free(&parser);
    EXPECT_THAT(fields, testing::ElementsAre("1", "Varnholt, Hof", "x"));
}
