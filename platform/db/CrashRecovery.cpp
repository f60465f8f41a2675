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

std::optional<DbError> recoverAfterCrash(const std::string& path, const std::string& password) {
    const auto previous = markedMode(path);
    if (!previous && sizeOf(rollbackJournalOf(path)) == 0)
        return std::nullopt;
    if (!mayWrite(path) || !mayWrite(folderOf(path)) || heldByThisProcess(path))
        return std::nullopt;
    // Its first read rolls back a hot journal.
    Connection connection = connectForWriting(path, password, RecoveryBudgetMs);
    if (!connection || !previous)
        return std::nullopt;
    // Even a file that says it is out of WAL mode goes through the whole
    // restore: it proves the mode with a connection of its own before the
    // marker goes.
    return restoreJournalMode(connection, path, *previous, password);
}

} // namespace db
