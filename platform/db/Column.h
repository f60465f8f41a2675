#pragma once

#include "platform/db/Value.h"

#include <optional>
#include <string>

namespace db {

// A column of a table as declared in the file.
struct Column {
    std::string name;
    std::string declaredType;
    bool isDate = false;    // the declared type contains DATE or TIME
    bool isNumeric = false; // INT, NUM, REAL, FLOA, DOUB or DEC in the declared type
    bool isText = false;    // CHAR, CLOB or TEXT, and neither of the above
};

// A column of that name and declared type, its kind read off the type.
Column columnOfType(std::string name, std::string declaredType);

// What a stored value of `column` reads as: a date column's text as the date
// it spells, anything else as it is. Nothing when a date column holds
// something that is no date.
std::optional<Value> readAs(const Column& column, const Value& stored);

// A value as `column` takes it: a date column takes dates and text that
// spells one, a number column numbers and text that spells one, a text column
// numbers and dates in their text form. Nothing, and `why` set ("is not a
// number"), when the column cannot take the value.
std::optional<Value> takenAs(const Column& column, const Value& value, std::string& why);

} // namespace db
