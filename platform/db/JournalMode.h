#pragma once

#include "platform/db/Connection.h"
#include "platform/db/DbError.h"

#include <optional>
#include <string>

struct sqlite3;

namespace db {

// The journal mode a file had before this program switched it to WAL
// ("delete", "truncate" or "persist"), as the marker beside it keeps it;
// nothing when there is no marker. A marker that cannot be understood stands
// for the engine's default.
std::optional<std::string> markedMode(const std::string& path);

// Whether a connection of this process has `path` open.
bool heldByThisProcess(const std::string& path);

// Puts the file at `path` back in `mode` over `connection`, a connection to
// it that may write, and closes the connection; then, once a connection of
// its own finds the file out of WAL mode with no WAL beside it, removes the
// marker. Leaving WAL needs the file to ourselves: when another program has
// it open it stays in WAL mode, and the marker stays for a later run to
// finish; that is no failure. Whatever else keeps the file from its mode
// (a read, write or sync that fails, a WAL or marker that cannot be
// removed) is returned, and the marker stays: the next connection that may
// write finishes the job.
std::optional<DbError> restoreJournalMode(Connection& connection, const std::string& path,
                                          const std::string& mode, const std::string& password);

// One connection's share in the journal mode of its file. The process keeps,
// for each file it has open, how many of its connections hold it and the
// mode the file had before a writer switched it to WAL (enterWal); when the
// last of those connections closes (close), the mode is put back, over the
// writer's own connection, or after a reader over a short-lived one of its
// own. Should the program die first, the marker beside the file keeps the
// mode for the next writer, or for recoverAfterCrash().
class JournalModeOwner {
public:
    JournalModeOwner(const std::string& path, bool writer);
    ~JournalModeOwner();
    JournalModeOwner(const JournalModeOwner&) = delete;
    JournalModeOwner& operator=(const JournalModeOwner&) = delete;

    // Switches the file to WAL mode with synchronous=NORMAL, noting first
    // the mode it had, so that every saved record survives a crash of the
    // program. `busyMs` is how long another program's lock is waited on.
    void enterWal(sqlite3* handle, const std::string& password, int busyMs);

    // Whether the file passed its check before the first write since this
    // process opened it; marked once it has.
    bool checked() const;
    void markChecked();

    // Closes `connection`, putting the mode back first when it is the last
    // of this process's connections to the file; returns what kept the mode
    // from being put back (restoreJournalMode). Closing twice is harmless.
    std::optional<DbError> close(Connection& connection);

private:
    std::string modeOf(sqlite3* handle) const;
    void switchToWal(sqlite3* handle, int busyMs) const;

    std::string path_;
    std::string key_; // the file, however its path is spelled
    bool writer_;
    bool counted_ = false;
};

} // namespace db
