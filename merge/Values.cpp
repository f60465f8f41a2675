#include "merge/Tables.h"

namespace merge {

const TableDef& values() {
    static const TableDef table{
        .name = "MValues",
        .columns = {{"IDNUM", "TEXT COLLATE NOCASE"},
                    {"ISSUE", "TEXT COLLATE NOCASE"},
                    {"CONDITION", "TEXT"},
                    {"LUPDATE", "DATETIME"},
                    {"MKTVAL", "NUMERIC"}},
        // CONDITION is data, not part of the key.
        .key = {{"IDNUM"}, {"ISSUE"}},
        .dateField = "LUPDATE",
        .overwriteFields = {"IDNUM", "ISSUE", "CONDITION", "LUPDATE", "MKTVAL"},
        .statusText = "Updating Varnholt Values Table",
        .label = "Values",
        .counter = Counter::Values,
        .closeSourceAtEnd = true,
    };
    return table;
}

} // namespace merge
