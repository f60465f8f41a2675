#pragma once

#include "walk.h"

#include <cstdint>
#include <string>

namespace merge {

// The Lodges table: keyed on F1, dated by F12.
const TableMerge& lodgesMerge();

std::int32_t LodgeUpdate(Host& host, const std::string& DBLocation, const std::string& UPDLocation);

} // namespace merge
