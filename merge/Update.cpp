#include "merge/Update.h"

#include <fmt/format.h>

namespace merge {

namespace {

constexpr std::string_view crlf = "\r\n";

std::string countLines(const Counts& counts) {
    // Each count stands behind a blank, where a sign would go.
    return fmt::format(" {}  Lodges Updated\r\n"
                       " {}  Issues Updated\r\n"
                       " {}  Activities Updated\r\n"
                       " {}  Values Updated",
                       counts.Lodges, counts.Issues, counts.Activities, counts.Values);
}

} // namespace

const std::array<UpdateStep, 4>& updateSteps() {
    static const std::array<UpdateStep, 4> steps{{
        {LodgeUpdate, Counter::Lodges, "Lodges", "Lodges"},
        {IssueUpdate, Counter::Issues, "Issues", "Issues"},
        {ActivityUpdate, Counter::Activities, "Activities", "Activities"},
        {ValuesUpdate, Counter::Values, "MValues", "Values"},
    }};
    return steps;
}

Counts countsOf(Host& host) {
    return {host.count(Counter::Lodges), host.count(Counter::Issues),
            host.count(Counter::Activities), host.count(Counter::Values)};
}

void clearCounts(Host& host) {
    for (const UpdateStep& step : updateSteps())
        host.count(step.counter) = 0;
}

std::string summaryText(const Counts& counts) {
    return fmt::format("Varnholt 2000 Update Complete!{0}{0}{1}", crlf, countLines(counts));
}

std::string cancelledText(const Counts& counts) {
    return fmt::format("Varnholt 2000 Update Cancelled!{0}{0}{1}", crlf, countLines(counts));
}

std::string errorText(std::string_view table, std::string_view what, const Counts& counts) {
    return fmt::format("Varnholt 2000 Update Stopped!{0}{0}"
                       "The update of the {1} table failed:{0}{2}{0}{0}"
                       "Records saved before the error stay saved:{0}{3}",
                       crlf, table, what, countLines(counts));
}

} // namespace merge
