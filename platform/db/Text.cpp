#include "platform/db/Text.h"

#include <algorithm>
#include <cctype>
#include <fmt/format.h>

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

namespace {

// One character of a UTF-8 text: its bytes and code point, or a single byte
// that begins no well-formed character (code point -1).
struct Utf8Char {
    std::size_t size = 1;
    long codePoint = -1;
};

Utf8Char utf8CharAt(std::string_view s, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[at + i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return {1, lead};
    // The lead byte gives the length and the range the second byte must fall
    // in (which rules out overlong forms, surrogates and values past U+10FFFF).
    std::size_t size = 0;
    unsigned char low = 0x80, high = 0xBF;
    long codePoint = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        size = 2, codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        size = 3, codePoint = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        size = 4, codePoint = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return {};
    }
    if (at + size > s.size())
        return {};
    for (std::size_t i = 1; i < size; ++i) {
        const unsigned char b = byte(i);
        if (b < (i == 1 ? low : 0x80) || b > (i == 1 ? high : 0xBF))
            return {};
        codePoint = (codePoint << 6) | (b & 0x3F);
    }
    return {size, codePoint};
}

// Appends one character as a message shows it: escaped when it would break
// the line or not be seen.
void appendShown(std::string& out, std::string_view s, std::size_t at, const Utf8Char& c) {
    switch (c.codePoint) {
    case '\n':
        out += "\\n";
        return;
    case '\r':
        out += "\\r";
        return;
    case '\t':
        out += "\\t";
        return;
    case '\0':
        out += "\\0";
        return;
    case '\\':
        out += "\\\\";
        return;
    default:
        break;
    }
    if (c.codePoint < 0)
        out += fmt::format("\\x{:02x}", static_cast<unsigned char>(s[at]));
    else if (c.codePoint < 0x20 || c.codePoint == 0x7F)
        out += fmt::format("\\x{:02x}", c.codePoint);
    else if ((c.codePoint >= 0x80 && c.codePoint <= 0x9F) || c.codePoint == 0x2028 ||
             c.codePoint == 0x2029)
        out += fmt::format("\\u{:04x}", c.codePoint);
    else
        out.append(s.substr(at, c.size));
}

} // namespace

std::string quotedValue(std::string_view value) {
    std::string out = "\"";
    std::size_t characters = 0;
    for (std::size_t at = 0; at < value.size(); ++characters) {
        const Utf8Char c = utf8CharAt(value, at);
        if (characters < QuotedValueLength)
            appendShown(out, value, at, c);
        at += c.size;
    }
    if (characters <= QuotedValueLength)
        return out + "\"";
    return out + "…\" (" + groupedDigits(characters) + " characters)";
}

std::string groupedDigits(std::uint64_t number) {
    const std::string digits = std::to_string(number);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

} // namespace db
