#include "platform/db/Value.h"

#include "platform/db/DbError.h"
#include "platform/db/Text.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <fmt/format.h>

namespace db {

namespace {

bool isLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : days[m - 1];
}

// Reads exactly `width` digits at `pos`.
std::optional<int> digits(std::string_view s, std::size_t pos, std::size_t width) {
    if (pos + width > s.size())
        return std::nullopt;
    int v = 0;
    for (std::size_t i = pos; i < pos + width; ++i) {
        if (s[i] < '0' || s[i] > '9')
            return std::nullopt;
        v = v * 10 + (s[i] - '0');
    }
    return v;
}

} // namespace

std::optional<DateTime> DateTime::parse(std::string_view s) {
    DateTime d;
    auto y = digits(s, 0, 4), mo = digits(s, 5, 2), da = digits(s, 8, 2);
    if (!y || !mo || !da || s[4] != '-' || s[7] != '-')
        return std::nullopt;
    d.year = *y, d.month = *mo, d.day = *da;
    if (d.year < 1 || d.month < 1 || d.month > 12 || d.day < 1 ||
        d.day > daysInMonth(d.year, d.month))
        return std::nullopt;
    if (s.size() == 10)
        return d;
    if (s[10] != ' ' && s[10] != 'T')
        return std::nullopt;
    auto h = digits(s, 11, 2), mi = digits(s, 14, 2);
    if (!h || !mi || s[13] != ':' || *h > 23 || *mi > 59)
        return std::nullopt;
    d.hour = *h, d.minute = *mi;
    if (s.size() == 16)
        return d;
    auto sec = digits(s, 17, 2);
    if (s.size() != 19 || s[16] != ':' || !sec || *sec > 59)
        return std::nullopt;
    d.second = *sec;
    return d;
}

std::string DateTime::text() const {
    return fmt::format("{:04}-{:02}-{:02} {:02}:{:02}:{:02}", year, month, day, hour, minute,
                       second);
}

std::int64_t DateTime::dayNumber() const {
    // Days from civil, proleptic Gregorian calendar.
    const std::int64_t y = month <= 2 ? year - 1 : year;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t mp = (month + 9) % 12;
    const std::int64_t doy = (153 * mp + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

Value Value::text(std::string text) {
    return Value(Data(std::in_place_index<1>, std::move(text)));
}
Value Value::number(double number) {
    return Value(Data(std::in_place_index<2>, number));
}
Value Value::integer(std::int64_t number) {
    return Value(Data(std::in_place_index<3>, number));
}
Value Value::date(const DateTime& date) {
    return Value(Data(std::in_place_index<4>, date));
}

Value::Kind Value::kind() const {
    switch (data_.index()) {
    case 0:
        return Kind::Null;
    case 1:
        return Kind::Text;
    case 2:
    case 3:
        return Kind::Number;
    default:
        return Kind::Date;
    }
}

const std::string& Value::asText() const {
    if (auto* s = std::get_if<std::string>(&data_))
        return *s;
    throw DbError("The value " + describe() + " is not text.");
}

double Value::asNumber() const {
    if (auto* d = std::get_if<double>(&data_))
        return *d;
    if (auto* i = std::get_if<std::int64_t>(&data_))
        return static_cast<double>(*i);
    throw DbError("The value " + describe() + " is not a number.");
}

std::int64_t Value::asInteger() const {
    if (auto* i = std::get_if<std::int64_t>(&data_))
        return *i;
    throw DbError("The value " + describe() + " is not a whole number.");
}

const DateTime& Value::asDate() const {
    if (auto* d = std::get_if<DateTime>(&data_))
        return *d;
    throw DbError("The value " + describe() + " is not a date.");
}

std::optional<Value> parseNumber(std::string_view text) {
    const char* first = text.data();
    const char* last = first + text.size();
    std::int64_t whole = 0;
    if (auto [end, ec] = std::from_chars(first, last, whole); ec == std::errc() && end == last)
        return Value::integer(whole);
    double real = 0;
    if (auto [end, ec] = std::from_chars(first, last, real);
        ec == std::errc() && end == last && std::isfinite(real))
        return Value::number(real);
    return std::nullopt;
}

std::optional<Value> numberFromText(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return std::nullopt;
    const auto last = text.find_last_not_of(" \t");
    return parseNumber(text.substr(first, last - first + 1));
}

std::optional<DateTime> dateOf(const Value& value) {
    if (value.isDate())
        return value.asDate();
    if (value.isText())
        return DateTime::parse(value.asText());
    return std::nullopt;
}

std::string formatNumber(double number) {
    if (number == 0)
        return "0"; // also for -0
    if (std::isfinite(number) && std::fabs(number) < 1e15 && number == std::trunc(number))
        return fmt::format("{}", static_cast<std::int64_t>(number));
    return fmt::format("{}", number);
}

std::string Value::toText() const {
    switch (data_.index()) {
    case 0:
        return {};
    case 1:
        return std::get<1>(data_);
    case 2:
        return formatNumber(std::get<2>(data_));
    case 3:
        return std::to_string(std::get<3>(data_));
    default: {
        const DateTime& d = std::get<4>(data_);
        if (d.hour == 0 && d.minute == 0 && d.second == 0)
            return d.text().substr(0, 10);
        return d.text();
    }
    }
}

std::string Value::describe() const {
    if (isNull())
        return "null";
    return quotedValue(toText());
}

std::optional<std::int64_t> dayDifference(const Value& from, const Value& to) {
    if (from.isNull() || to.isNull())
        return std::nullopt;
    const auto dateOrFail = [](const Value& value) {
        if (auto date = dateOf(value))
            return *date;
        throw DbError("The value " + value.describe() + " is not a date.");
    };
    return dateOrFail(to).dayNumber() - dateOrFail(from).dayNumber();
}

std::optional<std::string> Str(const Value& value) {
    if (value.isNull())
        return std::nullopt;
    std::optional<Value> number;
    if (value.isNumber())
        number = value;
    else if (value.isText())
        number = numberFromText(value.asText());
    if (!number)
        throw DbError("Str() needs a number, not " + value.describe() + ".");
    const std::string digits = number->isInteger() ? std::to_string(number->asInteger())
                                                   : formatNumber(number->asNumber());
    return digits.front() == '-' ? digits : " " + digits;
}

bool storesAs(const Value& stored, const Value& written) {
    if (written.isDate())
        return stored.isText() && stored.asText() == written.asDate().text();
    if (stored.kind() != written.kind() || stored.isInteger() != written.isInteger())
        return false;
    switch (stored.kind()) {
    case Value::Kind::Null:
        return true;
    case Value::Kind::Text:
        return stored.asText() == written.asText();
    case Value::Kind::Number: {
        if (stored.isInteger())
            return stored.asInteger() == written.asInteger();
        const double a = stored.asNumber();
        const double b = written.asNumber();
        return std::memcmp(&a, &b, sizeof a) == 0;
    }
    case Value::Kind::Date:
        return false; // a file holds a date as text
    }
    return false;
}

} // namespace db
