#include "merge/Update.h"

#include "merge/Tables.h"
#include "merge/Walk.h"

#include <exception>
#include <fmt/format.h>

namespace merge {

namespace {

constexpr std::string_view crlf = "\r\n";

std::string countLines(const Counts& counts) {
    // Each count stands behind a blank, where a sign would go.
    return fmt::format(" {}  {} Updated\r\n"
                       " {}  {} Updated\r\n"
                       " {}  {} Updated\r\n"
                       " {}  {} Updated",
                       counts.Lodges, lodges().label, counts.Issues, issues().label,
                       counts.Activities, activities().label, counts.Values, values().label);
}

} // namespace

Counts countsOf(Host& host) {
    return {host.count(Counter::Lodges), host.count(Counter::Issues),
            host.count(Counter::Activities), host.count(Counter::Values)};
}

Outcome runUpdate(Host& host, const std::function<Locations()>& locations, ChangeLog* changes) {
    for (const TableDef* table : varnholtTables())
        host.count(table->counter) = 0;
    Outcome outcome;
    for (const TableDef* table : varnholtTables()) {
        try {
            const Locations files = locations();
            mergeTable(host, *table, files.DBLocation, files.UPDLocation, changes);
        } catch (const std::exception& error) {
            outcome = {Outcome::Ending::Failed, {}, table->name, error.what()};
        } catch (...) {
            outcome = {Outcome::Ending::Failed, {}, table->name, "An unexpected error occurred."};
        }
        if (outcome.ending == Outcome::Ending::Failed)
            break;
        // A merge that ran through returns what its counter holds, and one
        // that was cancelled returns 0 while its counter keeps what it saved,
        // so the counters are what every ending reports.
        if (host.abortRequested()) {
            outcome.ending = Outcome::Ending::Cancelled;
            break;
        }
    }
    outcome.counts = countsOf(host);
    return outcome;
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

std::string outcomeText(const Outcome& outcome) {
    switch (outcome.ending) {
    case Outcome::Ending::Complete:
        return summaryText(outcome.counts);
    case Outcome::Ending::Cancelled:
        return cancelledText(outcome.counts);
    case Outcome::Ending::Failed:
        break;
    }
    return errorText(outcome.failedTable, outcome.error, outcome.counts);
}

} // namespace merge
