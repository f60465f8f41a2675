#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace db {

// One term of search criteria.
struct CriteriaTerm {
    enum class Kind {
        Equals,    // F1 = 'text'
        StrEquals, // Str(F6) = ' 12'
        IsNull,    // F1 Is Null
    };
    Kind kind = Kind::Equals;
    std::string field;
    std::string text; // the quoted text, a doubled quote read as one
};

// Reads search criteria in the form the merges write them: terms
// `field = 'text'`, `Str(field) = 'text'` and `field Is Null`, joined by AND.
// Keywords and field names ignore letter case; text runs between single
// quotes, a doubled quote standing for one. Anything else (another
// operator, OR, NOT, parentheses, a text without quotes) is a DbError that
// quotes the criteria and says what could not be read.
std::vector<CriteriaTerm> parseCriteria(std::string_view criteria);

// The terms as an SQL condition, with parameter ?1, ?2, ... standing for the
// text of each term that has one, in order; `column` gives a field's name as
// SQL writes it. Text compares whole, every character, ignoring ASCII letter
// case: NOCASE, which the key indexes serve, and WholeNoCase, which also sees
// past a NUL inside a text.
std::string sqlCondition(const std::vector<CriteriaTerm>& terms,
                         const std::function<std::string(const std::string& field)>& column);

} // namespace db
