#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace db {

// A calendar date and time of day, to the second, as the database files store
// it: "YYYY-MM-DD HH:MM:SS".
struct DateTime {
    int year = 1, month = 1, day = 1;
    int hour = 0, minute = 0, second = 0;

    // Reads "YYYY-MM-DD", "YYYY-MM-DD HH:MM", "YYYY-MM-DD HH:MM:SS", with a
    // blank or a "T" before the time. Anything else, or an impossible date,
    // gives nothing.
    static std::optional<DateTime> parse(std::string_view text);

    // "YYYY-MM-DD HH:MM:SS", the form written to the files.
    std::string text() const;
    // Days since 1970-01-01 of the calendar date; the time of day plays no part.
    std::int64_t dayNumber() const;

    friend bool operator==(const DateTime&, const DateTime&) = default;
};

// A field value as the merges see it: null, text, number or date. Numbers keep
// whether they were stored as integers, so that a copied value is written back
// exactly as it was read.
class Value {
public:
    enum class Kind { Null, Text, Number, Date };

    Value() = default; // null
    static Value text(std::string text);
    static Value number(double number);
    static Value integer(std::int64_t number);
    static Value date(const DateTime& date);

    Kind kind() const;
    bool isNull() const { return kind() == Kind::Null; }
    bool isText() const { return kind() == Kind::Text; }
    bool isNumber() const { return kind() == Kind::Number; }
    bool isDate() const { return kind() == Kind::Date; }
    bool isInteger() const { return std::holds_alternative<std::int64_t>(data_); }

    // Accessors for the held kind; asking for another kind throws DbError.
    const std::string& asText() const;
    double asNumber() const;
    std::int64_t asInteger() const;
    const DateTime& asDate() const;

    // The ordinary text form: text as it is, numbers in their shortest
    // decimal form, dates "YYYY-MM-DD HH:MM:SS" or "YYYY-MM-DD" at midnight,
    // null as empty text.
    std::string toText() const;

    // A short description for messages: the text form in quotes, or "null".
    std::string describe() const;

    friend bool operator==(const Value&, const Value&) = default;

private:
    using Data = std::variant<std::monostate, std::string, double, std::int64_t, DateTime>;
    explicit Value(Data data) : data_(std::move(data)) {}
    Data data_;
};

// Reads a whole text as a number, whatever the locale: an integer when it is
// one and fits 64 bits, otherwise a finite real. Anything else gives nothing.
std::optional<Value> parseNumber(std::string_view text);
// The same, with blanks and tabs around the number allowed: the number that
// a text held where a number is expected spells (" 12", "1e3", "12.0").
std::optional<Value> numberFromText(std::string_view text);

// A value as a date: a date as it is, a text that DateTime::parse() reads;
// nothing for any other value (null included).
std::optional<DateTime> dateOf(const Value& value);

// Shortest decimal form of a number, with a period and without exponent for
// magnitudes below 1e15.
std::string formatNumber(double number);

// The number of midnights crossed from `from` to `to` (negative when `to` is
// on an earlier day); nothing when either side is null. A text is read as
// the date it spells. Throws DbError when a side is neither null nor a date.
std::optional<std::int64_t> dayDifference(const Value& from, const Value& to);

// The engine's Str(): the decimal form of a number with a period, led by a
// blank for zero or positive numbers and by a minus sign for negative ones.
// A text is read as the number it spells (numberFromText). Null gives
// nothing. Throws DbError for a value that is not a number.
std::optional<std::string> Str(const Value& value);

// Whether writing `written` over a field that holds `stored`, as read from
// the file, stores the very value it holds: the same storage class with the
// same bytes, a date taken as the text it is written as. 12 and 12.0 differ,
// and so do 0.0 and -0.0, "12" and 12, "ABC" and "abc", null and "". The
// engine stores a value as its column's affinity makes it, and a value read
// back from a column is one that affinity keeps as it is; so a field that
// passes needs no writing.
bool storesAs(const Value& stored, const Value& written);

} // namespace db
