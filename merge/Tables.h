#pragma once

#include "merge/Walk.h"

#include <cstdint>
#include <string>

namespace merge {

// The four table merges, in the order an update runs them. Each table's own
// file states its description; every merge runs on the one walk.

// What the four merge functions below have in common.
using TableUpdate = std::int32_t (*)(Host& host, const std::string& DBLocation,
                                     const std::string& UPDLocation);

// Lodges: keyed on F1, dated by F12.
const TableMerge& lodgesMerge();
std::int32_t LodgeUpdate(Host& host, const std::string& DBLocation, const std::string& UPDLocation);

// Issues: keyed on F1 and F2, dated by F9.
const TableMerge& issuesMerge();
std::int32_t IssueUpdate(Host& host, const std::string& DBLocation, const std::string& UPDLocation);

// Activities: keyed on F1, F2 and the number F6, dated by F5. An overwrite
// leaves F1 and F6 alone.
const TableMerge& activitiesMerge();
std::int32_t ActivityUpdate(Host& host, const std::string& DBLocation,
                            const std::string& UPDLocation);

// MValues: keyed on IDNUM and ISSUE, dated by LUPDATE. The last merge of an
// update: at its normal end it closes the update database.
const TableMerge& valuesMerge();
std::int32_t ValuesUpdate(Host& host, const std::string& DBLocation,
                          const std::string& UPDLocation);

} // namespace merge
