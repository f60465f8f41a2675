#include "platform/db/QueryText.h"

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
    auto refuse = [&shape](std::string why) {
        shape.reason = std::move(why);
        return shape;
    };
    const auto words = scan(sql);
    if (words.empty() || words[0].upper != "SELECT")
        return refuse("it is not a SELECT query");
    std::size_t from = 0;
    bool inTables = false; // from FROM to WHERE, ORDER or LIMIT
    bool inOrder = false;  // from ORDER to LIMIT
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string& word = words[i].upper;
        if (words[i].depth != 0)
            continue;
        if (i == 1 && (word == "DISTINCT" || word == "ALL"))
            return refuse("it selects distinct records");
        for (const char* grouping :
             {"GROUP", "HAVING", "UNION", "INTERSECT", "EXCEPT", "VALUES", "WINDOW"})
            if (word == grouping)
                return refuse("it uses " + word);
        if (!from) {
            from = word == "FROM" ? i : 0;
            inTables = from != 0;
            continue;
        }
        if (inTables && (word == "JOIN" || word == ","))
            return refuse("it uses more than one table");
        if (word == "WHERE" || word == "ORDER" || word == "LIMIT")
            inTables = false;
        if (word == "ORDER")
            inOrder = shape.ordersBy = true;
        else if (word == "LIMIT")
            inOrder = false;
        else if (inOrder && (words[i - 1].upper == "BY" || words[i - 1].upper == ",") &&
                 std::isdigit(static_cast<unsigned char>(word[0])))
            shape.ordersByNumber = true;
    }
    if (!from)
        return refuse("it reads no table");
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
    std::string rest(sql.substr(words[from].at + 4));
    while (!rest.empty() &&
           (std::isspace(static_cast<unsigned char>(rest.back())) || rest.back() == ';'))
        rest.pop_back();
    shape.singleTable = true;
    shape.fromClause = rest;
    return shape;
}

} // namespace db
