#include "platform/db/Criteria.h"

#include "platform/db/DbError.h"
#include "platform/db/Text.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace db {

namespace {

enum class Tok { End, Name, Text, Number, Op, LParen, RParen };

struct Token {
    Tok kind = Tok::End;
    std::string text; // name, unquoted text, number spelling or operator
    std::size_t at = 0;
};

bool keyword(const Token& t, const char* word) {
    if (t.kind != Tok::Name)
        return false;
    std::size_t i = 0;
    for (; word[i] && i < t.text.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(t.text[i])) != word[i])
            return false;
    return !word[i] && i == t.text.size();
}

class Compiler {
public:
    Compiler(std::string_view criteria, const FieldResolver& resolve)
        : src_(criteria), resolve_(resolve) {
        advance();
    }

    CompiledCriteria run() {
        if (tok_.kind == Tok::End)
            fail("they are empty");
        std::string condition = orExpr();
        if (tok_.kind != Tok::End)
            fail("unexpected " + quotedValue(tok_.text));
        return {std::move(condition), std::move(slots_)};
    }

private:
    [[noreturn]] void fail(const std::string& why) const {
        throw DbError("The search criteria " + quotedValue(src_) + " cannot be read: " + why + ".");
    }

    void advance() {
        while (pos_ < src_.size() && std::isspace(static_cast<unsigned char>(src_[pos_])))
            ++pos_;
        tok_ = Token{};
        tok_.at = pos_;
        if (pos_ >= src_.size())
            return;
        const char c = src_[pos_];
        if (c == '\'' || c == '"')
            return quotedText(c);
        if (c == '[')
            return bracketName();
        if (std::isdigit(static_cast<unsigned char>(c)) || c == '.' ||
            (c == '-' && pos_ + 1 < src_.size() &&
             (std::isdigit(static_cast<unsigned char>(src_[pos_ + 1])) || src_[pos_ + 1] == '.')))
            return number();
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            std::size_t end = pos_;
            while (end < src_.size() &&
                   (std::isalnum(static_cast<unsigned char>(src_[end])) || src_[end] == '_'))
                ++end;
            tok_ = {Tok::Name, std::string(src_.substr(pos_, end - pos_)), pos_};
            pos_ = end;
            return;
        }
        if (c == '(' || c == ')') {
            tok_ = {c == '(' ? Tok::LParen : Tok::RParen, std::string(1, c), pos_++};
            return;
        }
        for (const char* op : {"<>", "<=", ">=", "=", "<", ">"}) {
            if (src_.substr(pos_).starts_with(op)) {
                tok_ = {Tok::Op, op, pos_};
                pos_ += std::string_view(op).size();
                return;
            }
        }
        fail("unexpected " + quotedValue(std::string(1, c)));
    }

    void quotedText(char quote) {
        std::string text;
        std::size_t i = pos_ + 1;
        for (;;) {
            if (i >= src_.size())
                fail("a text that opens with " + std::string(1, quote) + " is never closed");
            if (src_[i] == quote) {
                if (i + 1 < src_.size() && src_[i + 1] == quote) {
                    text += quote;
                    i += 2;
                    continue;
                }
                break;
            }
            text += src_[i++];
        }
        tok_ = {Tok::Text, std::move(text), pos_};
        pos_ = i + 1;
    }

    void bracketName() {
        const std::size_t close = src_.find(']', pos_);
        if (close == std::string_view::npos)
            fail("a field name that opens with [ is never closed");
        tok_ = {Tok::Name, std::string(src_.substr(pos_ + 1, close - pos_ - 1)), pos_};
        pos_ = close + 1;
    }

    void number() {
        std::size_t end = pos_ + (src_[pos_] == '-' ? 1 : 0);
        while (end < src_.size() &&
               (std::isalnum(static_cast<unsigned char>(src_[end])) || src_[end] == '.' ||
                ((src_[end] == '+' || src_[end] == '-') && end > 0 &&
                 (src_[end - 1] == 'e' || src_[end - 1] == 'E'))))
            ++end;
        tok_ = {Tok::Number, std::string(src_.substr(pos_, end - pos_)), pos_};
        pos_ = end;
    }

    std::string orExpr() {
        std::string sql = andExpr();
        while (keyword(tok_, "OR")) {
            advance();
            sql = "(" + sql + " OR " + andExpr() + ")";
        }
        return sql;
    }

    std::string andExpr() {
        std::string sql = notExpr();
        while (keyword(tok_, "AND")) {
            advance();
            sql = "(" + sql + " AND " + notExpr() + ")";
        }
        return sql;
    }

    std::string notExpr() {
        if (keyword(tok_, "NOT")) {
            advance();
            return "(NOT " + notExpr() + ")";
        }
        if (tok_.kind == Tok::LParen) {
            advance();
            std::string sql = orExpr();
            if (tok_.kind != Tok::RParen)
                fail("a \"(\" is never closed");
            advance();
            return sql;
        }
        return comparison();
    }

    std::string comparison() {
        std::string left = operand();
        if (keyword(tok_, "IS")) {
            advance();
            bool negated = false;
            if (keyword(tok_, "NOT")) {
                negated = true;
                advance();
            }
            if (!keyword(tok_, "NULL"))
                fail("\"Is\" must be followed by \"Null\" or \"Not Null\"");
            advance();
            return "(" + left + (negated ? " IS NOT NULL)" : " IS NULL)");
        }
        if (tok_.kind != Tok::Op)
            fail(tok_.kind == Tok::End
                     ? "a comparison is missing at the end"
                     : "a comparison is missing before " + quotedValue(tok_.text));
        const std::string op = tok_.text;
        advance();
        std::string right = operand();
        return "(" + left + " " + op + " " + right + " COLLATE NOCASE)";
    }

    std::string operand() {
        switch (tok_.kind) {
        case Tok::Text: {
            slots_.push_back({Value::text(tok_.text), -1});
            advance();
            return "?";
        }
        case Tok::Number: {
            slots_.push_back({numberValue(tok_.text), -1});
            advance();
            return "?";
        }
        case Tok::Name:
            return nameOperand();
        case Tok::End:
            fail("a value is missing at the end");
        default:
            fail("a value is missing before " + quotedValue(tok_.text));
        }
    }

    std::string nameOperand() {
        const std::string name = tok_.text;
        for (const char* reserved : {"AND", "OR", "NOT", "IS", "NULL"})
            if (keyword(tok_, reserved))
                fail("a value is missing before " + quotedValue(name));
        advance();
        if (tok_.kind == Tok::LParen) {
            Token fn{Tok::Name, name, 0};
            if (!keyword(fn, "STR"))
                fail("the function " + quotedValue(name) + " is not known");
            advance();
            std::string inner = operand();
            if (tok_.kind != Tok::RParen)
                fail("Str( is never closed");
            advance();
            return "Str(" + inner + ")";
        }
        auto resolved = resolve_(name);
        if (!resolved)
            throw DbError("The search criteria " + quotedValue(src_) + " name the field " + name +
                          ", which the record set does not have.");
        if (resolved->parameter >= 0) {
            slots_.push_back({Value(), resolved->parameter});
            return "?";
        }
        return resolved->sql;
    }

    Value numberValue(const std::string& spelling) const {
        if (auto number = parseNumber(spelling))
            return *number;
        fail(quotedValue(spelling) + " is not a number");
    }

    std::string_view src_;
    const FieldResolver& resolve_;
    std::size_t pos_ = 0;
    Token tok_;
    std::vector<Slot> slots_;
};

} // namespace

CompiledCriteria compileCriteria(std::string_view criteria, const FieldResolver& resolve) {
    return Compiler(criteria, resolve).run();
}

} // namespace db
