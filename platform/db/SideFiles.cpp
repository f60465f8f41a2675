#include "platform/db/SideFiles.h"

namespace db {

std::string rollbackJournalOf(const std::string& database) {
    return database + "-journal";
}

std::string walOf(const std::string& database) {
    return database + "-wal";
}

std::string walIndexOf(const std::string& database) {
    return database + "-shm";
}

std::string journalMarkerOf(const std::string& database) {
    return database + "-journalmode";
}

std::vector<std::string> recoveryFilesOf(const std::string& database) {
    return {rollbackJournalOf(database), walOf(database)};
}

std::vector<std::string> sideFilesOf(const std::string& database) {
    return {rollbackJournalOf(database), walOf(database), walIndexOf(database),
            journalMarkerOf(database)};
}

} // namespace db
