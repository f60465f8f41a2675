#pragma once

#include <fmt/format.h>
#include <string>

namespace testing_support {

// The four count lines that end every update's closing message, one per
// table, joined by CR LF.
inline std::string countLines(int lodges, int issues, int activities, int values) {
    return fmt::format(" {}  Lodges Updated\r\n {}  Issues Updated\r\n {}  Activities Updated\r\n "
                       "{}  Values Updated",
                       lodges, issues, activities, values);
}

} // namespace testing_support
