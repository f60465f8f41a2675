#pragma once

#include <string>

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

// A file name, query or value as messages show it: in double quotes.
inline std::string inQuotes(const std::string& text) {
    return "\"" + text + "\"";
}

} // namespace db
