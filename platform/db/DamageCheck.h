#pragma once

#include <string>

struct sqlite3;

namespace db {

// The check before the first write: every page of the file at `path` is read
// and its structure checked (the engine's quick_check), so that a file
// damaged anywhere is refused before anything is written to it, not half-way
// through an update. A DbError that names the file, tells the user to
// restore a backup and gives the first problem found.
void refuseDamagedFile(sqlite3* handle, const std::string& path);

} // namespace db
