#include "platform/db/Connection.h"

#include "platform/db/DbError.h"
#include "platform/db/SqlFunctions.h"
#include "platform/db/Sqlite.h"
#include "platform/db/Statement.h"
#include "platform/db/Text.h"
#include "platform/db/Waiting.h"

namespace db {

void CloseConnection::operator()(sqlite3* handle) const noexcept {
    sqlite3_close_v2(handle);
}

Connection openConnection(const std::string& target, int flags, const std::string& password,
                          int& rc) {
    sqlite3* raw = nullptr;
    rc = sqlite3_open_v2(target.c_str(), &raw, flags, nullptr);
    Connection connection(raw);
    if (rc != SQLITE_OK)
        return nullptr;
    if (!password.empty()) {
        rc = sqlite3_key(raw, password.data(), static_cast<int>(password.size()));
        if (rc != SQLITE_OK)
            return nullptr;
    }
    return connection;
}

int readSchema(sqlite3* handle) {
    return sqlite3_exec(handle, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
}

std::string journalModePragma(sqlite3* handle, const std::string& pragma) {
    Statement statement(handle, pragma);
    statement.step("Cannot read the journal mode.");
    return toLower(statement.columnText(0));
}

Connection connectChecked(const std::string& target, int flags, const std::string& password,
                          const std::string& path, int busyMs) {
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(target.c_str(), &raw, flags, nullptr);
    Connection connection(raw);
    if (rc != SQLITE_OK)
        throw DbError("Cannot open the database file " + inQuotes(path) +
                          ": it cannot be read (check that you may read it).",
                      rc, raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc));
    setBusyWait(raw, busyMs);
    if (!password.empty()) {
        rc = sqlite3_key(raw, password.data(), static_cast<int>(password.size()));
        check(raw, rc, "Cannot set the password of " + inQuotes(path) + ".");
    }
    rc = readSchema(raw);
    throwIfGivenUp(rc);
    if (rc == SQLITE_NOTADB)
        throw DbError("Cannot open " + inQuotes(path) +
                          ": the password is wrong, or the file is not a Varnholt database.",
                      rc, sqlite3_errmsg(raw));
    if (rc != SQLITE_OK)
        throw DbError("Cannot read the database file " + inQuotes(path) + "." + hintFor(rc, path),
                      rc, sqlite3_errmsg(raw));
    registerSqlFunctions(raw);
    return connection;
}

Connection connectForWriting(const std::string& path, const std::string& password, int busyMs) {
    int rc = SQLITE_OK;
    Connection connection = openConnection(path, SQLITE_OPEN_READWRITE, password, rc);
    if (!connection)
        return nullptr;
    setBusyWait(connection.get(), busyMs);
    if (readSchema(connection.get()) != SQLITE_OK)
        return nullptr;
    return connection;
}

} // namespace db
