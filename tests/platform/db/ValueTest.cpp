#include "platform/db/Value.h"

#include "platform/db/DbError.h"

#include <gtest/gtest.h>

using db::DateTime;
using db::Value;

namespace {

Value date(const char* text) {
    return Value::date(*DateTime::parse(text));
}

TEST(Value, TextFormOfEachKind) {
    EXPECT_EQ(Value().toText(), "");
    EXPECT_EQ(Value::text("a b").toText(), "a b");
    EXPECT_EQ(Value::integer(-42).toText(), "-42");
    EXPECT_EQ(Value::number(12.0).toText(), "12");
    EXPECT_EQ(Value::number(0.1).toText(), "0.1");
    EXPECT_EQ(Value::number(-2.5).toText(), "-2.5");
    EXPECT_EQ(date("2024-03-01").toText(), "2024-03-01");
    EXPECT_EQ(date("2024-03-01 07:05:09").toText(), "2024-03-01 07:05:09");
}

TEST(Value, StrLeadsWithBlankOrMinus) {
    EXPECT_EQ(*db::Str(Value::integer(12)), " 12");
    EXPECT_EQ(*db::Str(Value::number(12.0)), " 12");
    EXPECT_EQ(*db::Str(Value::integer(0)), " 0");
    EXPECT_EQ(*db::Str(Value::number(-0.0)), " 0");
    EXPECT_EQ(*db::Str(Value::integer(-3)), "-3");
    EXPECT_EQ(*db::Str(Value::number(2.75)), " 2.75");
    EXPECT_EQ(*db::Str(Value::number(-0.5)), "-0.5");
    EXPECT_FALSE(db::Str(Value()).has_value());
}

// A number held as text (a file whose number field is not declared numeric)
// is the number it spells; text that spells none is no number.
TEST(Value, StrReadsTextAsTheNumberItSpells) {
    EXPECT_EQ(*db::Str(Value::text("12")), " 12");
    EXPECT_EQ(*db::Str(Value::text(" 12")), " 12");
    EXPECT_EQ(*db::Str(Value::text("12.0 ")), " 12");
    EXPECT_EQ(*db::Str(Value::text("1e3")), " 1000");
    EXPECT_EQ(*db::Str(Value::text("-3")), "-3");
    for (const char* text : {"abc", "", " ", "12abc", "1 2", "0x10", "inf", "nan", "1e999"})
        EXPECT_THROW(db::Str(Value::text(text)), db::DbError) << text;
    EXPECT_THROW(db::Str(date("2024-01-01")), db::DbError);
}

TEST(Value, DatesParseInTheirThreeSpellingsAndRejectTheRest) {
    EXPECT_EQ(DateTime::parse("2024-02-29 23:59:59")->text(), "2024-02-29 23:59:59");
    EXPECT_EQ(DateTime::parse("2024-02-29T10:11:12")->text(), "2024-02-29 10:11:12");
    EXPECT_EQ(DateTime::parse("2024-02-29")->text(), "2024-02-29 00:00:00");
    EXPECT_EQ(DateTime::parse("2024-02-29 10:11")->text(), "2024-02-29 10:11:00");
    for (const char* bad :
         {"", "2023-02-29", "2024-13-01", "2024-01-32", "2024-1-1", "2024-01-01 24:00:00",
          "2024-01-01 10:60:00", "2024-01-01x", "2024-01-01 10:00:00.5", "yesterday", "0000-01-01"})
        EXPECT_FALSE(DateTime::parse(bad).has_value()) << bad;
}

TEST(Value, DayDifferenceCountsMidnightsNotHours) {
    EXPECT_EQ(*db::dayDifference(date("2024-01-01 23:59:00"), date("2024-01-02 00:01:00")), 1);
    EXPECT_EQ(*db::dayDifference(date("2024-01-01 00:00:00"), date("2024-01-01 23:59:59")), 0);
    EXPECT_EQ(*db::dayDifference(date("2024-01-02"), date("2024-01-01 23:00:00")), -1);
    EXPECT_EQ(*db::dayDifference(date("2023-12-31"), date("2024-03-01")), 61);
    EXPECT_EQ(*db::dayDifference(date("1899-12-30"), date("2000-01-01")), 36526);
    EXPECT_FALSE(db::dayDifference(Value(), date("2024-01-01")).has_value());
    EXPECT_FALSE(db::dayDifference(date("2024-01-01"), Value()).has_value());
    EXPECT_THROW(db::dayDifference(Value::text("soon"), date("2024-01-01")), db::DbError);
    EXPECT_THROW(db::dayDifference(Value::integer(45000), date("2024-01-01")), db::DbError);
}

// A date stamp held as text where no date column reads it is read with the
// same rules as a date column's text.
TEST(Value, DayDifferenceReadsTextAsTheDateItSpells) {
    EXPECT_EQ(*db::dayDifference(Value::text("1996-08-03 23:00:00"), Value::text("1996-08-04")), 1);
    EXPECT_EQ(*db::dayDifference(date("1996-08-04"), Value::text("1996-08-04T03:11:44")), 0);
    EXPECT_THROW(db::dayDifference(Value::text("1996-08-04 25:00:00"), date("2024-01-01")),
                 db::DbError);
}

TEST(Value, IntegerAndRealNumbersStayApartButBothAreNumbers) {
    EXPECT_TRUE(Value::integer(12).isNumber());
    EXPECT_TRUE(Value::number(12).isNumber());
    EXPECT_TRUE(Value::integer(12).isInteger());
    EXPECT_FALSE(Value::number(12).isInteger());
    EXPECT_NE(Value::integer(12), Value::number(12));
    EXPECT_EQ(Value::number(12).asNumber(), Value::integer(12).asNumber());
}

// Numbers copied into text fields are written in this form; a stray ".0" or
// exponent would change the text a user sees.
TEST(Value, FormatNumberWritesWholeRealsWithoutFractionOrExponent) {
    EXPECT_EQ(db::formatNumber(123456789012345.0), "123456789012345");
    EXPECT_EQ(db::formatNumber(-7.0), "-7");
    EXPECT_EQ(db::formatNumber(0.1 + 0.2), "0.30000000000000004");
    EXPECT_EQ(*db::Str(Value::number(123456789012345.0)), " 123456789012345");
}

// Only a value the file would hold byte for byte counts as stored already:
// equal-looking values of another storage class, another letter case or
// another date spelling must still be written.
TEST(Value, StoresAsOnlyTheSameStorageClassAndBytes) {
    EXPECT_TRUE(db::storesAs(Value::integer(12), Value::integer(12)));
    EXPECT_TRUE(db::storesAs(Value::number(2.5), Value::number(2.5)));
    EXPECT_TRUE(db::storesAs(Value::text("abc"), Value::text("abc")));
    EXPECT_TRUE(db::storesAs(Value(), Value()));
    EXPECT_TRUE(db::storesAs(Value::text("2026-12-10 00:00:00"), date("2026-12-10")));

    EXPECT_FALSE(db::storesAs(Value::integer(12), Value::number(12.0)));
    EXPECT_FALSE(db::storesAs(Value::number(12.0), Value::integer(12)));
    EXPECT_FALSE(db::storesAs(Value::number(0.0), Value::number(-0.0)));
    EXPECT_FALSE(db::storesAs(Value::text("12"), Value::integer(12)));
    EXPECT_FALSE(db::storesAs(Value::text("ABC"), Value::text("abc")));
    EXPECT_FALSE(db::storesAs(Value(), Value::text("")));
    EXPECT_FALSE(db::storesAs(Value::text(""), Value()));
    EXPECT_FALSE(db::storesAs(Value::text("2026-12-10"), date("2026-12-10")));
    EXPECT_FALSE(db::storesAs(Value::text("2026-12-10T00:00:00"), date("2026-12-10")));
}

} // namespace
