#pragma once

#include <stdexcept>
#include <string>

namespace db {

// Every failure of the database layer. The message says first what failed in
// words a user can act on (file, table, field, value or criteria), then the
// engine's own words in parentheses.
class DbError : public std::runtime_error {
public:
    explicit DbError(const std::string& message, int code = 0,
                     const std::string& engineMessage = {});

    // The sqlite result code behind the failure, or 0 when the layer itself
    // found the fault.
    int code() const noexcept { return code_; }
    const std::string& engineMessage() const noexcept { return engineMessage_; }

private:
    int code_;
    std::string engineMessage_;
};

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
