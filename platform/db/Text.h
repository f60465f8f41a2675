#pragma once

#include <string>

namespace db {

// ASCII letter case ignored, as SQLite's NOCASE does.
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
