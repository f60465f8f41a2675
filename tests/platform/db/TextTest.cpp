#include "platform/db/Text.h"

#include "tests/platform/db/DbFixture.h"

#include <algorithm>
#include <fmt/format.h>
#include <gmock/gmock.h>

using db::quotedValue;
using db::Value;
using namespace std::string_literals;
using testing::HasSubstr;
using namespace testing_support;

namespace {

std::string repeated(const std::string& piece, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i)
        out += piece;
    return out;
}

bool oneLine(const std::string& message) {
    return message.find_first_of("\n\r\0"s) == std::string::npos;
}

TEST(QuotedValue, AShortValueIsShownWholeInQuotes) {
    EXPECT_EQ(quotedValue(""), "\"\"");
    EXPECT_EQ(quotedValue("O'Brien, \"the\" 3rd"), "\"O'Brien, \"the\" 3rd\"");
    EXPECT_EQ(quotedValue("Zürich ✓ 𝄞"), "\"Zürich ✓ 𝄞\"");
    const std::string fifty(db::QuotedValueLength, 'x');
    EXPECT_EQ(quotedValue(fifty), "\"" + fifty + "\"");
}

TEST(QuotedValue, ShowsLineBreaksAndOtherControlCharactersEscaped) {
    EXPECT_EQ(quotedValue("two\r\nlines\n"), "\"two\\r\\nlines\\n\"");
    EXPECT_EQ(quotedValue("a\tb\0c\x1b[1m\x7f"s), "\"a\\tb\\0c\\x1b[1m\\x7f\"");
    EXPECT_EQ(quotedValue("C:\\new"), "\"C:\\\\new\"");
    // NEL and the Unicode line and paragraph separators break lines too.
    EXPECT_EQ(quotedValue("a\u0085b\u2028c\u2029"), "\"a\\u0085b\\u2028c\\u2029\"");
    // Bytes that are no UTF-8 character: a stray continuation byte, a lead
    // byte without its continuation, an overlong form, a surrogate.
    EXPECT_EQ(quotedValue("\x80z\xe2\x82z\xc0\xafz\xed\xa0\x80"),
              "\"\\x80z\\xe2\\x82z\\xc0\\xafz\\xed\\xa0\\x80\"");
}

TEST(QuotedValue, ALongValueIsCutAfterItsFirstCharactersAndGivesItsLength) {
    const std::string megabyte(1 << 20, 'a');
    EXPECT_EQ(quotedValue(megabyte), fmt::format("\"{}…\" (1,048,576 characters)",
                                                 std::string(db::QuotedValueLength, 'a')));
    EXPECT_EQ(quotedValue(std::string(db::QuotedValueLength + 1, 'b')),
              fmt::format("\"{}…\" (51 characters)", std::string(db::QuotedValueLength, 'b')));
    // Escapes are counted as the one character they stand for.
    const std::string lines = repeated("line\n", 100'000);
    const std::string shown = quotedValue(lines);
    EXPECT_EQ(shown, fmt::format("\"{}…\" (500,000 characters)", repeated("line\\n", 10)));
}

TEST(QuotedValue, NeverCutsAMultibyteCharacterInHalf) {
    // Whatever the offset of the cut, the characters of 2, 3 and 4 bytes
    // are kept whole, and counted as one each.
    for (const std::string wide : {"é", "€", "𝄞"}) {
        for (std::size_t lead = 0; lead < 4; ++lead) {
            SCOPED_TRACE(fmt::format("{} after {}", wide, lead));
            const std::string value = std::string(lead, 'a') + repeated(wide, 100);
            EXPECT_EQ(quotedValue(value),
                      fmt::format("\"{}{}…\" ({} characters)", std::string(lead, 'a'),
                                  repeated(wide, db::QuotedValueLength - lead), lead + 100));
        }
    }
}

TEST(GroupedDigits, PutsACommaBetweenGroupsOfThree) {
    EXPECT_EQ(db::groupedDigits(0), "0");
    EXPECT_EQ(db::groupedDigits(999), "999");
    EXPECT_EQ(db::groupedDigits(1000), "1,000");
    EXPECT_EQ(db::groupedDigits(268'435'456), "268,435,456");
    EXPECT_EQ(db::groupedDigits(18'446'744'073'709'551'615u), "18,446,744,073,709,551,615");
}

// The messages of the database layer that quote a value stay short and on
// one line, however long the value and whatever it holds.
class MessageQuotingAValue : public VarnholtFileTest {
protected:
    // A megabyte of text over several lines.
    const std::string huge = "first line\r\n" + repeated("more text\n", 100'000);

    static void expectShortAndOnOneLine(const std::string& message) {
        EXPECT_TRUE(oneLine(message)) << message.substr(0, 300);
        EXPECT_LT(message.size(), 600u) << message.substr(0, 300);
    }
};

TEST_F(MessageQuotingAValue, ValueDescriptionsAndKindErrors) {
    EXPECT_EQ(Value::text(huge).describe(), "\"first line\\r\\n" + repeated("more text\\n", 3) +
                                                "more tex…\" (1,000,012 characters)");
    EXPECT_EQ(Value::text("a\nb").describe(), "\"a\\nb\"");
    EXPECT_EQ(Value().describe(), "null");
    for (const auto& action : std::vector<std::function<void()>>{
             [&] { Value::text(huge).asDate(); },
             [&] { Value::text(huge).asNumber(); },
             [&] { db::Str(Value::text(huge)); },
         }) {
        const auto error = dbErrorOf(action);
        ASSERT_TRUE(error);
        expectShortAndOnOneLine(error->message);
        EXPECT_THAT(error->message, HasSubstr("(1,000,012 characters)"));
    }
}

TEST_F(MessageQuotingAValue, SearchesWithAHugeKeyAndStrOfAHugeText) {
    // Str() of a stored text that is no number fails the search, which names
    // the field and its value; the search criteria, holding the key, are
    // quoted too.
    db::Statement insert(database->handle(), "INSERT INTO Activities (F1, F6) VALUES ('k', ?)");
    insert.bind(1, Value::text(huge));
    insert.step("test setup");
    db::Recordset records(database, "SELECT * FROM Activities");
    const auto searched = dbErrorOf([&] { records.FindFirst("Str(F6) = ' 12'"); });
    ASSERT_TRUE(searched);
    expectShortAndOnOneLine(searched->message);
    EXPECT_THAT(searched->message, HasSubstr("field F6 of table Activities"));
    EXPECT_THAT(searched->message, HasSubstr("holds \"first line\\r\\n"));

    const std::string criteria = "F1 = '" + huge + "' AND";
    const auto unreadable = dbErrorOf([&] { records.FindFirst(criteria); });
    ASSERT_TRUE(unreadable);
    expectShortAndOnOneLine(unreadable->message);
    EXPECT_THAT(unreadable->message,
                HasSubstr("The search criteria \"F1 = 'first line\\r\\nmore text"));
}

} // namespace
