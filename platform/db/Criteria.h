#pragma once

#include "platform/db/Value.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace db {

// A field named in search criteria, as the caller wants it in SQL: either an
// SQL expression (a quoted column name), or, with `parameter` set, a "?"
// whose value the caller binds from its own record.
struct ResolvedField {
    std::string sql;
    int parameter = -1;
};

// One "?" of the compiled condition, in order of appearance: a literal value
// from the criteria, or a field the caller resolved to a parameter.
struct Slot {
    Value literal;
    int field = -1;
};

struct CompiledCriteria {
    std::string condition; // SQL, with "?" for every slot
    std::vector<Slot> slots;
};

using FieldResolver = std::function<std::optional<ResolvedField>(const std::string& name)>;

// Translates criteria in the filter syntax of record sets into an SQL
// condition. The syntax: comparisons (= <> < > <= >=) between fields,
// 'text' or "text" (a doubled quote stands for one), numbers and Str(...);
// "Is Null" and "Is Not Null"; AND, OR, NOT and parentheses. Text compares
// without regard to ASCII letter case. Literals never become SQL text: they
// are slots bound as parameters. Throws DbError quoting the criteria when
// they cannot be read or name a field that `resolve` does not know.
CompiledCriteria compileCriteria(std::string_view criteria, const FieldResolver& resolve);

} // namespace db
