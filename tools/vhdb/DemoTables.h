#pragma once

#include "merge/Tables.h"
#include "platform/db/Value.h"
#include "tools/vhdb/DemoRandom.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vhdb::demo {

// One record's fields, in the order of its table's columns.
using Row = std::vector<db::Value>;

// How `vhdb demo` makes the records of one table of a made-up collector's
// catalogue of lodge pennies, tokens and medals. A key number stands for one
// key: different numbers give different keys, also without regard to letter
// case, so a file made from distinct numbers holds each key once. The key
// and everything else are written as text, numbers and dates a Varnholt
// database holds; the date stamp is left to the caller.
struct CatalogueTable {
    const merge::TableDef& (*table)(); // the table's columns, key and date stamp
    std::uint64_t stream;              // the table's own draws
    // Sets the key fields of key number `number`; the same seed and number
    // always give the same key.
    void (*key)(std::uint64_t seed, std::uint64_t number, Row& row);
    // Sets every field that is neither key nor date stamp.
    void (*fill)(Random& random, std::uint64_t number, Row& row);
};

// Lodges, Issues, Activities, MValues: the order an update merges them in.
const std::vector<CatalogueTable>& catalogueTables();

} // namespace vhdb::demo
