#pragma once

#include "merge/UndoLog.h"
#include "merge/Update.h"

#include <optional>
#include <string>

namespace app {

// The undo file of an update of `files`, made in undoFolder() before the
// update writes anything; false, after telling the user why and where, when
// it cannot be made (and then the update must not start).
bool makeUndoFile(std::optional<merge::UndoLog>& undo, const merge::Locations& files);

// Closes the undo file once the update has ended: removed when it notes no
// record (there is nothing to take back), and only the newest files of the
// database kept. Returns what to add to the closing message when the file
// could not be closed, else nothing.
std::string finishUndoFile(merge::UndoLog& undo, const std::string& database);

} // namespace app
