#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vhdb::demo {

// How many records to make, per table in update order (Lodges, Issues,
// Activities, MValues).
struct Sizes {
    std::array<std::uint64_t, 4> update{};
    // Records of every table of the main database; when not given, four
    // times the table's update records.
    std::optional<std::uint64_t> main;
    std::uint64_t seed = 1;
};

// One table of a made pair of files. The update's records are counted by
// what a merge does with them: `added` keys are not in the main database;
// of the keys that are, `laterDay` ones carry a stamp on a later calendar
// day and overwrite, `sameDay`, `earlierDay` and `noStamp` (a null stamp in
// either file) leave the main record as it is.
struct TableReport {
    std::string table;
    std::uint64_t main = 0;
    std::uint64_t update = 0;
    std::uint64_t added = 0;
    std::uint64_t laterDay = 0;
    std::uint64_t sameDay = 0;
    std::uint64_t earlierDay = 0;
    std::uint64_t noStamp = 0;
    std::uint64_t otherCase = 0;  // a main key spelt in other letter case
    std::uint64_t apostrophe = 0; // a key part holds an apostrophe
    std::uint64_t nullKey = 0;    // a key part is null
};

// Makes a main database at `mainPath` and an update for it at
// `updatePath`, both new Varnholt databases keyed with `password`, each
// filled in one transaction. The same sizes and seed always give the same
// records. A key is never repeated within a file, not even in other letter
// case, so the outcome of a merge does not hang on the order of its records.
// Throws DbError; when anything fails, neither file is left behind.
std::vector<TableReport> makeDemo(const std::string& mainPath, const std::string& updatePath,
                                  const std::string& password, const Sizes& sizes);

} // namespace vhdb::demo
