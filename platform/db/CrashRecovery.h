#pragma once

#include "platform/db/DbError.h"

#include <optional>
#include <string>

namespace db {

// Crash recovery: puts right what a program killed while writing `path`
// left. A hot rollback journal is rolled back (the engine does that on the
// first read of a connection that may write), and the journal mode that an
// unfinished run of this program switched away from is put back. Only where
// the file and its folder may be written and no connection of this process
// holds the file; what cannot be put right now is left for the read that
// follows to report, but for the journal mode: what kept it from being put
// back is returned (restoreJournalMode), the marker staying for later.
std::optional<DbError> recoverAfterCrash(const std::string& path, const std::string& password);

} // namespace db
