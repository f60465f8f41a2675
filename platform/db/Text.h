#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace db {

// A byte with an ASCII capital letter made small; every other byte as it is,
// whatever the locale.
inline unsigned char asciiLower(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

// ASCII letter case ignored, every character compared (a NUL included).
bool equalsNoCase(const std::string& a, const std::string& b);
std::string toLower(std::string text);

// `text` enclosed in `quote` with each `quote` inside doubled: a literal as
// SQL and CSV write it, whatever it holds.
std::string enclosed(const std::string& text, char quote);

// Quotes an identifier for SQL: "name", with inner quotes doubled.
inline std::string quoteIdentifier(const std::string& name) {
    return enclosed(name, '"');
}

// A file name or query as messages show it: whole, in double quotes.
inline std::string inQuotes(const std::string& text) {
    return "\"" + text + "\"";
}

// The most characters of a value that quotedValue() shows.
inline constexpr std::size_t QuotedValueLength = 50;

// A value as messages show it: in double quotes, on one line, and short, so
// that a huge or multi-line value still makes a one-line message. Line breaks,
// tabs, NUL and other control characters are shown escaped (\n, \r, \t, \0,
// \x1b, \u0085, \u2028), a backslash is doubled, and a byte that is not part
// of a UTF-8 character is shown as \xff. A value of more than QuotedValueLength
// characters (UTF-8 characters, each stray byte counting as one) shows its
// first QuotedValueLength, then "…" and its whole length:
//     "abcdef…" (1,048,576 characters)
// A cut never falls inside a character.
std::string quotedValue(std::string_view value);

// `number` with its digits in groups of three: 1,048,576.
std::string groupedDigits(std::uint64_t number);

} // namespace db
