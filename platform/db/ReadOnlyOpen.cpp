#include "platform/db/ReadOnlyOpen.h"

#include "platform/db/DbError.h"
#include "platform/db/FileSystem.h"
#include "platform/db/JournalMode.h"
#include "platform/db/SideFiles.h"
#include "platform/db/Sqlite.h"
#include "platform/db/Text.h"

#include <cctype>
#include <filesystem>

namespace fs = std::filesystem;

namespace db {

namespace {

// A URI that opens `path` as a file nothing changes (immutable=1): no locks,
// no journal, no files beside it.
std::string immutableUri(const std::string& path) {
    static const char* const hex = "0123456789ABCDEF";
    std::string uri = "file:";
    for (const unsigned char c : fs::absolute(path).string()) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            uri += static_cast<char>(c);
        } else {
            uri += '%';
            uri += hex[c >> 4];
            uri += hex[c & 0xf];
        }
    }
    return uri + "?immutable=1";
}

bool leftUnfinished(const std::string& path) {
    for (const std::string& side : recoveryFilesOf(path))
        if (sizeOf(side) > 0)
            return true;
    return false;
}

// Lets the engine recover a private copy as it would the file: it rolls
// back a journal or takes in a WAL, and the copy leaves WAL mode.
void recoverCopy(const std::string& path, const std::string& password) {
    const Connection connection = connectForWriting(path, password, 0);
    if (!connection)
        return;
    try {
        if (journalModePragma(connection.get(), "PRAGMA journal_mode") == "wal")
            journalModePragma(connection.get(), "PRAGMA journal_mode=delete");
    } catch (const DbError&) {
        // What cannot be recovered is met by the reader.
    }
}

} // namespace

ReadOnlyConnection openReadOnly(const std::string& path, const std::string& password, int busyMs) {
    ReadOnlyConnection read;
    if (heldByThisProcess(path)) {
        read.connection = connectChecked(path, SQLITE_OPEN_READONLY, password, path, busyMs);
        return read;
    }
    // Read as it lies, the file must not change while it is opened; a
    // program that is writing it is waited on.
    auto lock = std::make_unique<ReadLock>(path, busyMs);
    if (!leftUnfinished(path)) {
        read.connection = connectChecked(immutableUri(path), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI,
                                         password, path, busyMs);
        read.asItLies = true;
        read.lock = std::move(lock);
        return read;
    }
    try {
        read.snapshot = std::make_unique<Snapshot>(path, Snapshot::Options{});
    } catch (const DbError& e) {
        throw DbError("The database file " + inQuotes(path) +
                          " was left unfinished by a program that stopped while writing it, and "
                          "it can be read once it has been opened with write access. " +
                          e.what(),
                      e.code());
    }
    recoverCopy(read.snapshot->path(), password);
    read.connection =
        connectChecked(read.snapshot->path(), SQLITE_OPEN_READONLY, password, path, busyMs);
    read.asItLies = true;
    return read;
}

} // namespace db
