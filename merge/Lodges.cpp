#include "merge/Tables.h"

namespace merge {

const TableDef& lodges() {
    static const TableDef table{
        .name = "Lodges",
        .columns = {{"F1", "TEXT COLLATE NOCASE"},
                    {"F2", "TEXT"},
                    {"F3", "TEXT"},
                    {"F4", "TEXT"},
                    {"F5", "TEXT"},
                    {"F6", "TEXT"},
                    {"F7", "TEXT"},
                    {"F8", "TEXT"},
                    {"F9", "TEXT"},
                    {"F10", "TEXT"},
                    {"F11", "TEXT"},
                    {"F12", "DATETIME"},
                    {"F13", "TEXT"}},
        .key = {{"F1"}},
        .dateField = "F12",
        // The key is written too, in the middle: a key found without regard to
        // letter case takes the update's spelling.
        .overwriteFields = {"F2", "F3", "F4", "F5", "F6", "F7", "F1", "F8", "F9", "F10", "F11",
                            "F12", "F13"},
        .statusText = "Updating Varnholt Lodges Table",
        .label = "Lodges",
        .counter = Counter::Lodges,
    };
    return table;
}

} // namespace merge
