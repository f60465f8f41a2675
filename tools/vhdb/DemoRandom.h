#pragma once

#include "platform/db/Value.h"

#include <cstddef>
#include <cstdint>
#include <random>

namespace vhdb::demo {

// Draws that come out the same for a seed with every compiler and standard
// library: the engines are fully specified (std::mt19937_64 by the standard,
// splitmix64 below), and ranges are cut from their raw output here, since the
// standard's distributions differ between libraries. The slight bias of a
// modulo does not matter for made-up data.
template <class Engine> class Draws {
public:
    explicit Draws(std::uint64_t seed) : engine_(seed) {}

    // 0 <= result < n; n must be above 0.
    std::uint64_t below(std::uint64_t n) { return engine_() % n; }
    // low <= result <= high.
    int between(int low, int high) {
        return low + static_cast<int>(below(static_cast<std::uint64_t>(high - low) + 1));
    }
    bool percent(int chance) { return below(100) < static_cast<std::uint64_t>(chance); }
    template <class T, std::size_t N> const T& pick(const T (&items)[N]) { return items[below(N)]; }

private:
    Engine engine_;
};

// A small, fast engine: one is made for every key, so it must cost nothing
// to seed (std::mt19937_64 fills 312 words first).
class SplitMix64 {
public:
    explicit SplitMix64(std::uint64_t seed) : state_(seed) {}
    std::uint64_t operator()() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }

private:
    std::uint64_t state_;
};

// The long streams of field values.
using Random = Draws<std::mt19937_64>;
// What one key number alone decides (a lodge's name, a main record's stamp):
// the update names a main record's key and reads its stamp again without
// anything being kept from making the main database.
using KeyDraws = Draws<SplitMix64>;

// A seed for the draws of `number` in the stream `stream` of the run `seed`.
inline std::uint64_t seedFor(std::uint64_t seed, std::uint64_t stream, std::uint64_t number) {
    SplitMix64 mix(seed ^ (stream * 0xD1B54A32D192ED03ULL));
    mix();
    return SplitMix64(mix() ^ number)();
}

// The calendar date `days` days after 1970-01-01 at `secondOfDay` (the
// inverse of DateTime::dayNumber()).
inline db::DateTime dateOfDay(std::int64_t days, int secondOfDay) {
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const int year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
    return {year, month, day, secondOfDay / 3600, secondOfDay / 60 % 60, secondOfDay % 60};
}

} // namespace vhdb::demo
