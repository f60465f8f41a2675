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

} // namespace db
