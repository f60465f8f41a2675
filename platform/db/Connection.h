#pragma once

#include <memory>
#include <string>

struct sqlite3;

namespace db {

struct CloseConnection {
    void operator()(sqlite3* handle) const noexcept;
};
// An engine connection, closed when it goes however the scope ends.
using Connection = std::unique_ptr<sqlite3, CloseConnection>;

// Opens `target`, a path or a file: URI, with the engine's open flags, and
// sets its password (an empty one for a file without encryption). Nothing
// when that fails, and `rc` the engine's reason.
Connection openConnection(const std::string& target, int flags, const std::string& password,
                          int& rc);

// The smallest read there is: the count of the schema's entries. SQLCipher
// reads nothing of a file before it is first asked for something, and the
// engine does on that first read what opening a file means: it checks the
// password (a wrong one, or a file that is no database, shows only here),
// rolls back a hot journal or takes up a WAL that a program left, and takes
// and drops the file's shared lock (another program's lock is met here).
// Returns the engine's result code.
int readSchema(sqlite3* handle);

// The journal mode the connection reports ("wal", "delete", ...), in lower
// case, after `PRAGMA journal_mode` or `PRAGMA journal_mode=MODE`; a DbError
// with the engine's code when it fails.
std::string journalModePragma(sqlite3* handle, const std::string& pragma);

// A connection for the program to work on: `target` (the file at `path`, or
// a file: URI for it) opened with the engine's open flags and the password,
// the password checked (readSchema), the program's SQL functions given, and
// another program's lock waited on for `busyMs`. A DbError naming `path`
// when any of that fails: a file that cannot be read, a wrong password or a
// file that is no database, a file in use.
Connection connectChecked(const std::string& target, int flags, const std::string& password,
                          const std::string& path, int busyMs);

// A short-lived connection of this process's own to `path` for writing,
// with its password and the schema read: for putting a file right between
// two uses. Nothing when any of that fails.
Connection connectForWriting(const std::string& path, const std::string& password, int busyMs);

} // namespace db
