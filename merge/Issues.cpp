#include "merge/Tables.h"

namespace merge {

const TableDef& issues() {
    static const TableDef table{
        .name = "Issues",
        .columns = {{"F1", "TEXT COLLATE NOCASE"},
                    {"F2", "TEXT COLLATE NOCASE"},
                    {"F3", "TEXT"},
                    {"F4", "TEXT"},
                    {"F5", "TEXT"},
                    {"F6", "TEXT"},
                    {"F7", "TEXT"},
                    {"F8", "TEXT"},
                    {"F9", "DATETIME"},
                    {"F10", "TEXT"},
                    {"F11", "TEXT"},
                    {"F12", "TEXT"},
                    {"F13", "TEXT"},
                    {"F14", "TEXT"}},
        .key = {{"F1"}, {"F2"}},
        .dateField = "F9",
        // Both key fields are written too, F1 in the middle and F2 first: a
        // key found without regard to letter case takes the update's spelling.
        .overwriteFields = {"F2", "F3", "F4", "F5", "F6", "F7", "F1", "F8", "F9", "F10", "F11",
                            "F12", "F13", "F14"},
        .statusText = "Updating Varnholt Issues Table",
        .label = "Issues",
        .counter = Counter::Issues,
    };
    return table;
}

} // namespace merge
