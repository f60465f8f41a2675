#pragma once

#include "platform/db/Connection.h"
#include "platform/db/FileSystem.h"
#include "platform/db/Snapshot.h"

#include <memory>
#include <string>

namespace db {

// A connection to a file that is only read, and how it reads it.
struct ReadOnlyConnection {
    Connection connection;
    // The private copy it reads instead of the file; none when it reads the
    // file itself.
    std::unique_ptr<Snapshot> snapshot;
    // Nothing can change what it reads: the file read as it lies, or a copy.
    bool asItLies = false;
    // The engine's read lock on the file read as it lies, held for as long
    // as the connection is open: the engine itself takes no lock on such a
    // file, and a program writing it meanwhile would tear what is read.
    std::unique_ptr<ReadLock> lock;
};

// Opens `path` only to read it: nothing is written to the file and nothing
// is made beside it, and a read-only folder will do.
// - A file that another connection of this process holds is read through
//   the engine as usual: that connection has its locks and its WAL files.
// - Any other file is read as it lies: opened with the engine's immutable=1,
//   which takes no locks and reads no journal, under the engine's read lock
//   for as long as it is open, so that no program writes it meanwhile.
// - Where a journal or WAL that the file's last writer left beside it may
//   hold part of it, a private copy (Snapshot) is read instead, recovered as
//   the engine would recover the file.
// A DbError naming the file when it cannot be read.
ReadOnlyConnection openReadOnly(const std::string& path, const std::string& password, int busyMs);

} // namespace db
