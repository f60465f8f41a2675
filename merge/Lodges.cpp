#include "merge/Tables.h"

namespace merge {

const TableMerge& lodgesMerge() {
    static const TableMerge table{
        .query = "SELECT * FROM Lodges ORDER BY F1",
        .key = {{"F1", KeyCompare::Text}},
        .dateField = "F12",
        .addFields = {"F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8", "F9", "F10", "F11", "F12",
                      "F13"},
        // The key is written too, in the middle: a key found without regard to
        // letter case takes the update's spelling.
        .overwriteFields = {"F2", "F3", "F4", "F5", "F6", "F7", "F1", "F8", "F9", "F10", "F11",
                            "F12", "F13"},
        .statusText = "Updating Varnholt Lodges Table",
        .counter = Counter::Lodges,
    };
    return table;
}

std::int32_t LodgeUpdate(Host& host, const std::string& DBLocation,
                         const std::string& UPDLocation) {
    return runMerge(host, lodgesMerge(), DBLocation, UPDLocation);
}

} // namespace merge
