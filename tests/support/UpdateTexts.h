#pragma once

#include <string>

namespace testing_support {

// The four count lines that end every update's closing message, one per
// table, joined by CR LF.
inline std::string countLines(int lodges, int issues, int activities, int values) {
    return " " + std::to_string(lodges) + "  Lodges Updated\r\n " + std::to_string(issues) +
           "  Issues Updated\r\n " + std::to_string(activities) + "  Activities Updated\r\n " +
           std::to_string(values) + "  Values Updated";
}

} // namespace testing_support
