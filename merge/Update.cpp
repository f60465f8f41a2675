#include "merge/Update.h"

#include "merge/Host.h"
#include "merge/Merger.h"
#include "merge/Tables.h"
#include "platform/db/DbError.h"

#include <array>
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

// The four merges, in the order an update runs them.
using Merge = std::int32_t (Merger::*)(const std::string&, const std::string&);
struct Step {
    const TableDef& table;
    Merge merge;
};
const std::array<Step, 4>& steps() {
    static const std::array<Step, 4> all{{
        {lodges(), &Merger::LodgeUpdate},
        {issues(), &Merger::IssueUpdate},
        {activities(), &Merger::ActivityUpdate},
        {values(), &Merger::ValuesUpdate},
    }};
    return all;
}

// The merger tells the change log of an update's records for as long as the
// update runs.
class Telling {
public:
    Telling(Merger& merger, ChangeLog* changes) : merger_(merger), previous_(merger.changeLog()) {
        merger_.setChangeLog(changes);
    }
    ~Telling() { merger_.setChangeLog(previous_); }
    Telling(const Telling&) = delete;
    Telling& operator=(const Telling&) = delete;

private:
    Merger& merger_;
    ChangeLog* previous_;
};

Outcome failure(const TableDef& table, std::string error, std::string plainError) {
    Outcome outcome;
    outcome.ending = Outcome::Ending::Failed;
    outcome.failedTable = table.name;
    outcome.error = std::move(error);
    outcome.plainError = std::move(plainError);
    return outcome;
}

} // namespace

Outcome runUpdate(Merger& merger, const std::function<Locations()>& locations, ChangeLog* changes) {
    const Telling telling(merger, changes);
    merger.counts = {};
    Outcome outcome;
    for (const Step& step : steps()) {
        try {
            const Locations files = locations();
            (merger.*step.merge)(files.DBLocation, files.UPDLocation);
        } catch (const db::DbError& error) {
            outcome = failure(step.table, error.what(), error.forPeople());
            outcome.fileProblem = dynamic_cast<const db::FileError*>(&error) != nullptr;
        } catch (const std::exception& error) {
            outcome = failure(step.table, error.what(), error.what());
        } catch (...) {
            outcome = failure(step.table, "An unexpected error occurred.",
                              "An unexpected error occurred.");
        }
        if (outcome.ending == Outcome::Ending::Failed)
            break;
        // A merge that ran through returns what its count holds, and one
        // that was cancelled returns 0 while its count keeps what it saved,
        // so the counts are what every ending reports.
        if (merger.host().abortRequested()) {
            outcome.ending = Outcome::Ending::Cancelled;
            break;
        }
    }
    outcome.counts = merger.counts;
    if (changes)
        changes->ended(outcome.ending);
    return outcome;
}

std::string summaryText(const Counts& counts) {
    return fmt::format("Varnholt 2000 Update Complete!{0}{0}{1}", crlf, countLines(counts));
}

std::string cancelledText(const Counts& counts) {
    return fmt::format("Varnholt 2000 Update Cancelled!{0}{0}{1}", crlf, countLines(counts));
}

std::string errorText(const Outcome& outcome, Wording wording) {
    const std::string& what = wording == Wording::Plain ? outcome.plainError : outcome.error;
    if (outcome.wroteAny())
        return fmt::format("Varnholt 2000 Update Stopped!{0}{0}"
                           "The update of the {1} table failed:{0}{2}{0}{0}"
                           "Records saved before the error stay saved:{0}{3}",
                           crlf, outcome.failedTable, what, countLines(outcome.counts));
    const std::string where =
        outcome.fileProblem
            ? ""
            : fmt::format("The update of the {} table failed:{}", outcome.failedTable, crlf);
    return fmt::format("Varnholt 2000 Update Stopped!{0}{0}{1}{2}{0}{0}"
                       "Nothing was written to the database.",
                       crlf, where, what);
}

std::string closingText(const db::DbError& problem, Wording wording) {
    return (wording == Wording::Plain ? problem.forPeople() : std::string(problem.what())) +
           " Nothing saved is lost, and the next update, undo or check of the file puts it right.";
}

std::string outcomeText(const Outcome& outcome, Wording wording) {
    switch (outcome.ending) {
    case Outcome::Ending::Complete:
        return summaryText(outcome.counts);
    case Outcome::Ending::Cancelled:
        return cancelledText(outcome.counts);
    case Outcome::Ending::Failed:
        break;
    }
    return errorText(outcome, wording);
}

} // namespace merge
