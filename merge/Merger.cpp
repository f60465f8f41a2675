#include "merge/Merger.h"

#include "merge/Tables.h"
#include "merge/Walk.h"

namespace merge {

namespace {

void closeAndReset(db::Data& data) {
    data.Close();
    const db::Data first;
    data.Connect = first.Connect;
    data.DatabaseName.clear();
    data.RecordSource.clear();
    data.ReadOnly = first.ReadOnly;
}

} // namespace

Merger::Merger(Host& host) : host_(host) {}

Merger::~Merger() = default;

std::int32_t Merger::LodgeUpdate(const std::string& DBLocation, const std::string& UPDLocation) {
    return mergeTable(*this, lodges(), DBLocation, UPDLocation);
}

std::int32_t Merger::IssueUpdate(const std::string& DBLocation, const std::string& UPDLocation) {
    return mergeTable(*this, issues(), DBLocation, UPDLocation);
}

std::int32_t Merger::ActivityUpdate(const std::string& DBLocation, const std::string& UPDLocation) {
    return mergeTable(*this, activities(), DBLocation, UPDLocation);
}

std::int32_t Merger::ValuesUpdate(const std::string& DBLocation, const std::string& UPDLocation) {
    return mergeTable(*this, values(), DBLocation, UPDLocation);
}

void Merger::closeConnections() {
    closeAndReset(data1_);
    closeAndReset(data2_);
}

} // namespace merge
