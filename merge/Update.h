#pragma once

#include "merge/ChangeLog.h"
#include "merge/Counts.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace db {
class DbError;
}

namespace merge {

class Merger;

// The two files of an update.
struct Locations {
    std::string DBLocation;  // the main database, written
    std::string UPDLocation; // the update database, only read
};

// How an update ended, and what each table saved before the end. The
// records saved stay saved however it ended.
struct Outcome {
    using Ending = UpdateEnding;
    Ending ending = Ending::Complete;
    Counts counts;
    std::string failedTable; // the table whose merge failed
    std::string error;       // what failed, in the error's own words
    std::string plainError;  // the same for a person at a window (DbError::forPeople)
    // The failure was a file that could not be opened or taken for the
    // update, rather than something in a table.
    bool fileProblem = false;

    // Whether any record was saved.
    bool wroteAny() const {
        return counts.Lodges || counts.Issues || counts.Activities || counts.Values;
    }
};

// How a message words a failure: with the engine's own words, as a terminal
// prints it, or for a person at a window (Outcome::plainError).
enum class Wording { Full, Plain };

// Runs the four merges of an update in order, LodgeUpdate, IssueUpdate,
// ActivityUpdate and ValuesUpdate of `merger`, asking for the two files right
// before each merge (the window reads its boxes then). A confirmed cancel
// ends the update after the merge in hand; an error ends it in the table that
// failed. The merger's counts are set to 0 first, so a table the update never
// reached counts nothing. The caller closes the connections and shows the
// outcome. `changes`, when given, is told of every record the update writes
// (ChangeLog).
Outcome runUpdate(Merger& merger, const std::function<Locations()>& locations,
                  ChangeLog* changes = nullptr);

// The message at the end of an update that ran through, lines joined by
// CR LF, no line break at the end:
//   Varnholt 2000 Update Complete!
//
//    12  Lodges Updated
//   ... one line per table.
std::string summaryText(const Counts& counts);
// The message after a confirmed "Cancel": the records each table saved
// before it, which stay saved.
std::string cancelledText(const Counts& counts);
// The message after an error stopped the update: what failed and what each
// table saved before it; when nothing was saved, what failed and that
// nothing was written, naming the table only when the failure lies in it.
std::string errorText(const Outcome& outcome, Wording wording = Wording::Full);
// The one of the three texts that tells how `outcome` ended.
// What a run says, after its outcome, when the main database could not be
// put back as it was found once the update ended (Merger::closeConnections):
// the problem, and that nothing saved is lost.
std::string closingText(const db::DbError& problem, Wording wording = Wording::Full);

std::string outcomeText(const Outcome& outcome, Wording wording = Wording::Full);

} // namespace merge
