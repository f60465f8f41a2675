#pragma once

#include "merge/Tables.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace merge {

// One step of an update: the merge, the counter it keeps, the table it
// writes and the word its summary line uses.
struct UpdateStep {
    TableUpdate update;
    Counter counter;
    std::string_view table; // as the database names it
    std::string_view label; // as the summary names it: "Lodges" in "Lodges Updated"
};

// The four merges of one update, in the order they run.
const std::array<UpdateStep, 4>& updateSteps();

// The records each table's merge wrote, in update order.
struct Counts {
    std::int32_t Lodges = 0;
    std::int32_t Issues = 0;
    std::int32_t Activities = 0;
    std::int32_t Values = 0;
    friend bool operator==(const Counts&, const Counts&) = default;
};

// What the host's counters hold: the records each merge saved so far.
Counts countsOf(Host& host);
// Sets the four counters to 0, so a table that an update never reached
// counts nothing.
void clearCounts(Host& host);

// The message at the end of an update that ran through, lines joined by
// CR LF, no line break at the end:
//   Varnholt 2000 Update Complete!
//
//    12  Lodges Updated
//   ... one line per table.
std::string summaryText(const Counts& counts);
// The message after a confirmed "Cancel": the records each table saved
// before it, which stay saved.
std::string cancelledText(const Counts& counts);
// The message after an error stopped the update in `table`: what failed, in
// the error's own words, and what each table saved before it.
std::string errorText(std::string_view table, std::string_view what, const Counts& counts);

} // namespace merge
