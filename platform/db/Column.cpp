#include "platform/db/Column.h"

#include "platform/db/Text.h"

namespace db {

Column columnOfType(std::string name, std::string declaredType) {
    Column c{std::move(name), std::move(declaredType)};
    const std::string type = toLower(c.declaredType);
    auto has = [&type](const char* part) { return type.find(part) != std::string::npos; };
    c.isDate = has("date") || has("time");
    c.isNumeric = !c.isDate && (has("int") || has("num") || has("real") || has("floa") ||
                                has("doub") || has("dec"));
    c.isText = !c.isDate && !c.isNumeric && (has("char") || has("clob") || has("text"));
    return c;
}

std::optional<Value> readAs(const Column& column, const Value& stored) {
    if (!column.isDate || stored.isNull())
        return stored;
    if (auto date = dateOf(stored))
        return Value::date(*date);
    return std::nullopt;
}

std::optional<Value> takenAs(const Column& column, const Value& value, std::string& why) {
    if (value.isNull())
        return value;
    if (column.isDate) {
        if (auto date = dateOf(value))
            return Value::date(*date);
        why = "is not a date";
        return std::nullopt;
    }
    if (column.isNumeric) {
        if (value.isNumber())
            return value;
        if (value.isText())
            if (auto number = numberFromText(value.asText()))
                return number;
        why = "is not a number";
        return std::nullopt;
    }
    if (column.isText && value.isNumber())
        return Value::text(value.toText());
    if (column.isText && value.isDate())
        return Value::text(value.asDate().text());
    return value;
}

} // namespace db
