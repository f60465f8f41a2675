#include "merge/Tables.h"

namespace merge {

const TableDef& activities() {
    static const TableDef table{
        .name = "Activities",
        .columns = {{"F1", "TEXT COLLATE NOCASE"},
                    {"F2", "TEXT COLLATE NOCASE"},
                    {"F3", "TEXT"},
                    {"F4", "TEXT"},
                    {"F5", "DATETIME"},
                    {"F6", "NUMERIC"}},
        // F6 is a number: both sides are compared in their Str() form.
        .key = {{"F1"}, {"F2"}, {"F6", KeyCompare::Str}},
        .dateField = "F5",
        // F1 and F6 keep what the main database holds.
        .overwriteFields = {"F2", "F3", "F4", "F5"},
        .statusText = "Updating Varnholt Activities Table",
        .label = "Activities",
        .counter = Counter::Activities,
    };
    return table;
}

} // namespace merge
