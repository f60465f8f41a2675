#include "platform/db/Text.h"

#include <algorithm>
#include <cctype>

namespace db {

bool equalsNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return asciiLower(x) == asciiLower(y);
           });
}

std::string toLower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(asciiLower(c)); });
    return text;
}

std::string enclosed(const std::string& text, char quote) {
    std::string out(1, quote);
    for (char c : text) {
        out += c;
        if (c == quote)
            out += quote;
    }
    return out + quote;
}

} // namespace db
