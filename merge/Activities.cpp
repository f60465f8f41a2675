#include "merge/Tables.h"

namespace merge {

const TableMerge& activitiesMerge() {
    static const TableMerge table{
        .query = "SELECT * FROM Activities ORDER BY F1",
        // F6 is a number: both sides are compared in their Str() form.
        .key = {{"F1", KeyCompare::Text}, {"F2", KeyCompare::Text}, {"F6", KeyCompare::Str}},
        .dateField = "F5",
        .addFields = {"F1", "F2", "F3", "F4", "F5", "F6"},
        // F1 and F6 keep what the main database holds.
        .overwriteFields = {"F2", "F3", "F4", "F5"},
        .statusText = "Updating Varnholt Activities Table",
        .counter = Counter::Activities,
    };
    return table;
}

std::int32_t ActivityUpdate(Host& host, const std::string& DBLocation,
                            const std::string& UPDLocation) {
    return runMerge(host, activitiesMerge(), DBLocation, UPDLocation);
}

} // namespace merge
