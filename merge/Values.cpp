#include "merge/Tables.h"

namespace merge {

const TableMerge& valuesMerge() {
    static const TableMerge table{
        .query = "SELECT * FROM MValues ORDER BY IDNUM",
        // CONDITION is data, not part of the key.
        .key = {{"IDNUM", KeyCompare::Text}, {"ISSUE", KeyCompare::Text}},
        .dateField = "LUPDATE",
        .addFields = {"IDNUM", "ISSUE", "CONDITION", "LUPDATE", "MKTVAL"},
        .overwriteFields = {"IDNUM", "ISSUE", "CONDITION", "LUPDATE", "MKTVAL"},
        .statusText = "Updating Varnholt Values Table",
        .counter = Counter::Values,
        .closeSourceAtEnd = true,
    };
    return table;
}

std::int32_t ValuesUpdate(Host& host, const std::string& DBLocation,
                          const std::string& UPDLocation) {
    return runMerge(host, valuesMerge(), DBLocation, UPDLocation);
}

} // namespace merge
