#include "platform/db/CrashRecovery.h"

#include "platform/db/Connection.h"
#include "platform/db/DbError.h"
#include "platform/db/FileSystem.h"
#include "platform/db/JournalMode.h"
#include "platform/db/SideFiles.h"

namespace db {

namespace {
constexpr int RecoveryBudgetMs = 1000;
}

void recoverAfterCrash(const std::string& path, const std::string& password) {
    const auto previous = markedMode(path);
    if (!previous && sizeOf(rollbackJournalOf(path)) == 0)
        return;
    if (!mayWrite(path) || !mayWrite(folderOf(path)) || heldByThisProcess(path))
        return;
    // Its first read rolls back a hot journal.
    const Connection connection = connectForWriting(path, password, RecoveryBudgetMs);
    if (!connection || !previous)
        return;
    try {
        if (journalModePragma(connection.get(), "PRAGMA journal_mode") == "wal")
            restoreJournalMode(connection.get(), path, *previous);
        else
            removeDurably(journalMarkerOf(path));
    } catch (const DbError&) {
        // Left for the read that follows to report.
    }
}

} // namespace db
