#include "merge/Merger.h"

#include "merge/Tables.h"
#include "merge/Walk.h"

#include <utility>

namespace merge {

namespace {

std::optional<db::DbError> closeAndReset(db::Data& data) {
    std::optional<db::DbError> closing = data.Close();
    const db::Data first;
    data.Connect = first.Connect;
    data.DatabaseName.clear();
    data.RecordSource.clear();
    data.ReadOnly = first.ReadOnly;
    return closing;
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
    for (db::Data* data : {&data1_, &data2_})
        if (std::optional<db::DbError> closing = closeAndReset(*data); closing && !closingProblem_)
            closingProblem_ = std::move(closing);
}

std::optional<db::DbError> Merger::takeClosingProblem() {
    return std::exchange(closingProblem_, std::nullopt);
}

} // namespace merge
