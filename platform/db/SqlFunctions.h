#pragma once

struct sqlite3;

namespace db {

// The collation every connection has for a text compared whole, every
// character, ignoring ASCII letter case only (NOCASE stops at a NUL).
inline constexpr const char* WholeNoCase = "VH_WHOLE_NOCASE";

// Gives a connection what the program's SQL uses beyond the engine's own:
// Str(value), as db::Str() makes it, and the collation WholeNoCase. A
// DbError when the engine refuses them.
void registerSqlFunctions(sqlite3* handle);

} // namespace db
