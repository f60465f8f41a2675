#include "platform/db/DbError.h"

#include "platform/db/FileSystem.h"
#include "platform/db/Sqlite.h"
#include "platform/db/Waiting.h"

namespace db {

static_assert(code::Error == SQLITE_ERROR && code::Busy == SQLITE_BUSY &&
              code::Locked == SQLITE_LOCKED && code::ReadOnly == SQLITE_READONLY &&
              code::IoError == SQLITE_IOERR && code::Corrupt == SQLITE_CORRUPT &&
              code::Full == SQLITE_FULL && code::Interrupted == SQLITE_INTERRUPT &&
              code::CannotOpen == SQLITE_CANTOPEN && code::Misuse == SQLITE_MISUSE &&
              code::NotADatabase == SQLITE_NOTADB);

void throwIfGivenUp(int rc) {
    const int primary = rc & 0xff;
    if (waitGivenUp() &&
        (primary == SQLITE_BUSY || primary == SQLITE_LOCKED || primary == SQLITE_INTERRUPT))
        throw Cancelled();
}

namespace {
std::string compose(const std::string& message, const std::string& engineMessage) {
    if (engineMessage.empty())
        return message;
    return message + " (" + engineMessage + ")";
}
} // namespace

DbError::DbError(const std::string& message, int code, const std::string& engineMessage)
    : std::runtime_error(compose(message, engineMessage)), message_(message), code_(code),
      engineMessage_(engineMessage) {}

std::string DbError::forPeople() const {
    switch (primaryCode()) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_READONLY:
    case SQLITE_INTERRUPT:
    case SQLITE_IOERR:
    case SQLITE_CORRUPT:
    case SQLITE_FULL:
    case SQLITE_CANTOPEN:
    case SQLITE_NOTADB:
    case SQLITE_PERM:
    case SQLITE_NOMEM:
        return message_;
    default:
        break;
    }
    // "no such table: Lodges" says again what the layer said.
    if (engineMessage_.empty() || engineMessage_.starts_with("no such "))
        return message_;
    return what();
}

std::string hintFor(int rc, const std::string& file) {
    // The engine of this version does not pass on the system's error number;
    // the room left on the disk tells a full disk from a failing one.
    if ((rc & 0xff) == SQLITE_IOERR && diskNearlyFull(file))
        rc = SQLITE_FULL;
    switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return " The database file is in use by another program. Close that program and try "
               "again.";
    case SQLITE_FULL:
        return " The disk is full: free some space and try again.";
    case SQLITE_READONLY:
        return " The database file can only be read, not written.";
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return " The database file is damaged.";
    case SQLITE_IOERR:
        return " The database file could not be read or written.";
    default:
        return {};
    }
}

void check(sqlite3* handle, int rc, const std::string& what) {
    if (rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE)
        return;
    throwIfGivenUp(rc);
    std::string engine = handle ? sqlite3_errmsg(handle) : sqlite3_errstr(rc);
    const char* file = handle ? sqlite3_db_filename(handle, "main") : nullptr;
    throw DbError(what + hintFor(rc, file ? file : ""), rc, engine);
}

namespace {
std::string valueMessage(const ValueError::Place& place, const std::string& shown,
                         const std::string& why, ValueError::Direction direction) {
    const std::string where = "The field " + place.field + " of table " + place.table +
                              (place.file.empty() ? "" : " in \"" + place.file + "\"");
    if (direction == ValueError::Direction::Write)
        return where + " cannot take the value " + shown + ": it " + why + ".";
    return where + " holds " + shown + ", which " + why + ".";
}
} // namespace

ValueError::ValueError(Place place, std::string shown, std::string why, Direction direction)
    : DbError(valueMessage(place, shown, why, direction)), place_(std::move(place)),
      shown_(std::move(shown)), why_(std::move(why)), direction_(direction) {}

} // namespace db
