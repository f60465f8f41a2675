#pragma once

#include <cstdint>

namespace merge {

// Which table's merge a count belongs to.
enum class Counter { Lodges, Issues, Activities, Values };

// The records each table's merge wrote (added or overwritten): one count per
// merge, kept where the merges share their state and reported at the end of
// an update. 32 bits wide, so a merge that writes 32,768 records or more
// reports their true number.
struct Counts {
    std::int32_t Lodges = 0;
    std::int32_t Issues = 0;
    std::int32_t Activities = 0;
    std::int32_t Values = 0;

    std::int32_t& operator[](Counter counter) {
        switch (counter) {
        case Counter::Lodges:
            return Lodges;
        case Counter::Issues:
            return Issues;
        case Counter::Activities:
            return Activities;
        case Counter::Values:
            break;
        }
        return Values;
    }
    friend bool operator==(const Counts&, const Counts&) = default;
};

} // namespace merge
