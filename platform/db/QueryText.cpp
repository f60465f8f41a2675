#include "QueryText.h"

#include <cctype>
#include <vector>

namespace db {

namespace {

struct Word {
    std::string upper;
    std::size_t at;
    int depth;
};

// Splits the query into words and punctuation at their nesting depth,
// skipping quoted names, strings and comments.
std::vector<Word> scan(std::string_view sql) {
    std::vector<Word> words;
    int depth = 0;
    std::size_t i = 0;
    while (i < sql.size()) {
        const char c = sql[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
            while (i < sql.size() && sql[i] != '\n')
                ++i;
        } else if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
            const std::size_t end = sql.find("*/", i + 2);
            i = end == std::string_view::npos ? sql.size() : end + 2;
        } else if (c == '\'' || c == '"' || c == '`' || c == '[') {
            const char close = c == '[' ? ']' : c;
            std::size_t j = i + 1;
            while (j < sql.size() && sql[j] != close)
                ++j;
            words.push_back({"<quoted>", i, depth});
            i = j + 1;
        } else if (std::isalnum(static_cast<unsigned char>(c)) || c == '_') {
            std::size_t j = i;
            std::string upper;
            while (j < sql.size() &&
                   (std::isalnum(static_cast<unsigned char>(sql[j])) || sql[j] == '_'))
                upper += static_cast<char>(std::toupper(static_cast<unsigned char>(sql[j++])));
            words.push_back({upper, i, depth});
            i = j;
        } else {
            if (c == '(')
                ++depth;
            words.push_back({std::string(1, c), i, c == '(' ? depth - 1 : depth});
            if (c == ')')
                --depth;
            ++i;
        }
    }
    return words;
}

} // namespace

QueryShape analyseQuery(std::string_view sql) {
    QueryShape shape;
    const auto words = scan(sql);
    if (words.empty() || words[0].upper != "SELECT") {
        shape.reason = "it is not a SELECT query";
        return shape;
    }
    std::size_t from = 0;
    for (std::size_t i = 1; i < words.size(); ++i) {
        const Word& w = words[i];
        if (w.depth != 0)
            continue;
        if (i == 1 && (w.upper == "DISTINCT" || w.upper == "ALL")) {
            shape.reason = "it selects distinct records";
            return shape;
        }
        if (!from && w.upper == "FROM") {
            from = i;
            continue;
        }
        if (!from)
            continue;
        for (const char* blocker :
             {"GROUP", "HAVING", "UNION", "INTERSECT", "EXCEPT", "JOIN", "VALUES", "WINDOW", ","}) {
            if (w.upper == blocker) {
                shape.reason =
                    std::string("it uses ") +
                    (w.upper == "," || w.upper == "JOIN" ? "more than one table" : w.upper);
                return shape;
            }
        }
        if (w.upper == "WHERE" || w.upper == "ORDER" || w.upper == "LIMIT")
            break;
    }
    if (!from) {
        shape.reason = "it reads no table";
        return shape;
    }
    // Anything after WHERE/ORDER is fine except what makes rows of groups.
    for (const Word& w : words)
        if (w.depth == 0 && (w.upper == "GROUP" || w.upper == "HAVING" || w.upper == "UNION" ||
                             w.upper == "INTERSECT" || w.upper == "EXCEPT")) {
            shape.reason = "it uses " + w.upper;
            return shape;
        }
    const std::size_t listStart = words[0].at + 6;
    std::string list(sql.substr(listStart, words[from].at - listStart));
    list.erase(0, list.find_first_not_of(" \t\r\n"));
    list.erase(list.find_last_not_of(" \t\r\n") + 1);
    shape.selectList = list;
    if (from + 1 < words.size()) {
        const Word& table = words[from + 1];
        const std::size_t end =
            from + 2 < words.size() ? words[from + 2].at : std::string_view::npos;
        std::string name(
            sql.substr(table.at, end == std::string_view::npos ? end : end - table.at));
        name.erase(name.find_last_not_of(" \t\r\n;") + 1);
        if (name.size() >= 2 && std::string("\"`[").find(name.front()) != std::string::npos)
            name = name.substr(1, name.size() - 2);
        shape.tableName = name;
    }
    for (std::size_t i = from; i + 1 < words.size(); ++i) {
        if (words[i].depth != 0 || words[i].upper != "ORDER")
            continue;
        shape.ordersBy = true;
        for (std::size_t j = i + 1; j < words.size(); ++j) {
            const Word& w = words[j];
            const Word& before = words[j - 1];
            if (w.depth == 0 && (before.upper == "BY" || before.upper == ",") &&
                std::isdigit(static_cast<unsigned char>(w.upper[0])))
                shape.ordersByNumber = true;
        }
    }
    std::string rest(sql.substr(words[from].at + 4));
    while (!rest.empty() &&
           (std::isspace(static_cast<unsigned char>(rest.back())) || rest.back() == ';'))
        rest.pop_back();
    shape.singleTable = true;
    shape.fromClause = rest;
    return shape;
}

} // namespace db
