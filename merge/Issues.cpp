#include "merge/Tables.h"

namespace merge {

const TableMerge& issuesMerge() {
    static const TableMerge table{
        .query = "SELECT * FROM Issues ORDER BY F1",
        .key = {{"F1", KeyCompare::Text}, {"F2", KeyCompare::Text}},
        .dateField = "F9",
        .addFields = {"F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8", "F9", "F10", "F11", "F12",
                      "F13", "F14"},
        // Both key fields are written too, F1 in the middle and F2 first: a
        // key found without regard to letter case takes the update's spelling.
        .overwriteFields = {"F2", "F3", "F4", "F5", "F6", "F7", "F1", "F8", "F9", "F10", "F11",
                            "F12", "F13", "F14"},
        .statusText = "Updating Varnholt Issues Table",
        .counter = Counter::Issues,
    };
    return table;
}

std::int32_t IssueUpdate(Host& host, const std::string& DBLocation,
                         const std::string& UPDLocation) {
    return runMerge(host, issuesMerge(), DBLocation, UPDLocation);
}

} // namespace merge
