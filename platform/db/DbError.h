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

} // namespace db
