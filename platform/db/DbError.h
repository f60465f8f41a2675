#pragma once

#include <stdexcept>
#include <string>

struct sqlite3;

namespace db {

// The engine's primary result codes that callers tell apart (the low byte of
// DbError::code(); DbError.cpp checks them against the engine's own).
namespace code {
inline constexpr int Error = 1;
inline constexpr int Busy = 5;
inline constexpr int Locked = 6;
inline constexpr int Interrupted = 9;
inline constexpr int ReadOnly = 8;
inline constexpr int IoError = 10;
inline constexpr int Corrupt = 11;
inline constexpr int Full = 13;
inline constexpr int CannotOpen = 14;
inline constexpr int Misuse = 21;
inline constexpr int NotADatabase = 26;
} // namespace code

// Every failure of the database layer. The message says first what failed in
// words a user can act on (file, table, field, value or criteria), then the
// engine's own words in parentheses.
class DbError : public std::runtime_error {
public:
    explicit DbError(const std::string& message, int code = 0,
                     const std::string& engineMessage = {});

    // The engine's result code behind the failure, extended codes included,
    // or 0 when the layer itself found the fault.
    int code() const noexcept { return code_; }
    // Its primary code: one of db::code.
    int primaryCode() const noexcept { return code_ & 0xff; }
    const std::string& engineMessage() const noexcept { return engineMessage_; }
    // What failed in the layer's own words, without the engine's.
    const std::string& message() const noexcept { return message_; }
    // The message for a person at a window: the layer's words, and the
    // engine's only where they tell something to act on (a constraint the
    // file's table makes, say), never codes like "database is locked" or a
    // page number that the layer's words already put plainly.
    std::string forPeople() const;

private:
    std::string message_;
    int code_;
    std::string engineMessage_;
};

// A file that could not be opened or taken for the update: missing, no
// database, the wrong password, damaged, in use, or in a place that cannot
// be written. Nothing of the update has touched it.
class FileError : public DbError {
public:
    explicit FileError(const DbError& error) : DbError(error) {}
};

// Words that tell a user what to do about a result code (a file in use, a
// full disk, ...), led by a blank; empty when there is nothing to add. With
// the database `file` named, an I/O error on a disk with next to no room left
// is told as the full disk it is.
std::string hintFor(int rc, const std::string& file = {});

// The one check of every engine call: throws DbError when `rc` is a failure,
// `what` saying what failed and the engine's message of `handle` (if any)
// following it.
void check(sqlite3* handle, int rc, const std::string& what);

// Throws Cancelled when `rc` is what a wait that the user gave up ends in.
void throwIfGivenUp(int rc);

// A value that cannot be read as its field needs it, or that a field cannot
// take: the file, the table and the field it stands in, the value as messages
// show it, and why (a clause after "which": "is not a date"). The engine does not know which record
// a table's key names; the merge, which does, says it again with the record.
class ValueError : public DbError {
public:
    enum class Direction { Read, Write };
    struct Place {
        std::string file;
        std::string table;
        std::string field;
    };

    ValueError(Place place, std::string shown, std::string why, Direction direction);

    const Place& place() const noexcept { return place_; }
    const std::string& shown() const noexcept { return shown_; } // "\"abc\"", "binary data"
    const std::string& why() const noexcept { return why_; }     // "is not a date"
    Direction direction() const noexcept { return direction_; }

private:
    Place place_;
    std::string shown_;
    std::string why_;
    Direction direction_;
};

} // namespace db
