#include "platform/db/DbError.h"

namespace db {

namespace {
std::string compose(const std::string& message, const std::string& engineMessage) {
    if (engineMessage.empty())
        return message;
    return message + " (" + engineMessage + ")";
}
} // namespace

DbError::DbError(const std::string& message, int code, const std::string& engineMessage)
    : std::runtime_error(compose(message, engineMessage)), code_(code),
      engineMessage_(engineMessage) {}

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
