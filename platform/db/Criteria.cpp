#include "platform/db/Criteria.h"

#include "platform/db/DbError.h"
#include "platform/db/SqlFunctions.h"
#include "platform/db/Text.h"

#include <cctype>
#include <fmt/format.h>

namespace db {

namespace {

bool isNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

class Reader {
public:
    explicit Reader(std::string_view criteria) : src_(criteria) {}

    std::vector<CriteriaTerm> terms() {
        std::vector<CriteriaTerm> terms;
        skipBlanks();
        if (atEnd())
            fail("they are empty");
        for (;;) {
            terms.push_back(term());
            skipBlanks();
            if (atEnd())
                return terms;
            if (!keyword("AND"))
                fail("only terms joined by AND can be read, not " + quotedValue(rest()));
        }
    }

private:
    [[noreturn]] void fail(const std::string& why) const {
        throw DbError("The search criteria " + quotedValue(src_) + " cannot be read: " + why + ".");
    }

    bool atEnd() const { return pos_ >= src_.size(); }
    std::string_view rest() const { return src_.substr(pos_); }

    void skipBlanks() {
        while (!atEnd() && std::isspace(static_cast<unsigned char>(src_[pos_])))
            ++pos_;
    }

    // A name, or nothing when none stands here.
    std::string name() {
        skipBlanks();
        const std::size_t start = pos_;
        while (!atEnd() && isNameChar(src_[pos_]))
            ++pos_;
        return std::string(src_.substr(start, pos_ - start));
    }

    // Reads `word` (letter case ignored) as a whole word, or reads nothing.
    bool keyword(const char* word) {
        skipBlanks();
        const std::size_t start = pos_;
        const std::string found = name();
        std::string upper;
        for (char c : found)
            upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (!found.empty() && upper == word)
            return true;
        pos_ = start;
        return false;
    }

    void expect(char c, const std::string& what) {
        skipBlanks();
        if (atEnd() || src_[pos_] != c)
            fail(what);
        ++pos_;
    }

    std::string quoted() {
        skipBlanks();
        if (atEnd() || src_[pos_] != '\'')
            fail("a text in single quotes must follow \"=\"");
        std::string text;
        for (std::size_t i = pos_ + 1; i < src_.size(); ++i) {
            if (src_[i] != '\'') {
                text += src_[i];
                continue;
            }
            if (i + 1 < src_.size() && src_[i + 1] == '\'') {
                text += '\'';
                ++i;
                continue;
            }
            pos_ = i + 1;
            return text;
        }
        fail("a text that opens with ' is never closed");
    }

    std::string field() {
        const std::string field = name();
        if (field.empty())
            fail(atEnd() ? "a field name is missing at the end"
                         : "a field name is missing before " + quotedValue(rest()));
        return field;
    }

    CriteriaTerm term() {
        CriteriaTerm term;
        term.field = field();
        skipBlanks();
        if (!atEnd() && src_[pos_] == '(') {
            std::string function = term.field;
            for (char& c : function)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (function != "STR")
                fail("the function " + quotedValue(term.field) + " is not known");
            ++pos_;
            term.kind = CriteriaTerm::Kind::StrEquals;
            term.field = field();
            expect(')', "Str( is never closed");
        } else if (keyword("IS")) {
            if (!keyword("NULL"))
                fail("\"Is\" must be followed by \"Null\"");
            term.kind = CriteriaTerm::Kind::IsNull;
            return term;
        }
        expect('=', "a term must compare a field with \"=\" or be \"Is Null\"");
        term.text = quoted();
        return term;
    }

    std::string_view src_;
    std::size_t pos_ = 0;
};

} // namespace

std::vector<CriteriaTerm> parseCriteria(std::string_view criteria) {
    return Reader(criteria).terms();
}

std::string sqlCondition(const std::vector<CriteriaTerm>& terms,
                         const std::function<std::string(const std::string& field)>& column) {
    std::string condition;
    int parameter = 0;
    for (const CriteriaTerm& term : terms) {
        const std::string field = column(term.field);
        condition += condition.empty() ? "" : " AND ";
        if (term.kind == CriteriaTerm::Kind::IsNull) {
            condition += field + " IS NULL";
            continue;
        }
        const std::string value = fmt::format("?{}", ++parameter);
        const std::string whole = " = " + value + " COLLATE " + WholeNoCase;
        if (term.kind == CriteriaTerm::Kind::StrEquals)
            condition += "Str(" + field + ")" + whole;
        else
            condition += field + " = " + value + " COLLATE NOCASE AND " + field + whole;
    }
    return condition;
}

} // namespace db
