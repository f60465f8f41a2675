#pragma once

#include "platform/db/Snapshot.h"

#include <string>

namespace merge {

// The file a dry run merges into in place of the main database: a private
// copy of it (db::Snapshot) in a fresh folder of the system's temporary
// folder, removed, folder and all, when the object goes, however the run
// ended. The main database is only read, under the engine's read lock, with
// any journal or WAL a program left beside it, which the engine then takes
// in on the copy as it would on the file. The copy keeps the file's name and
// permissions, and its folder the main folder's, so that the merge meets
// what it would meet on the file itself: a missing file, a folder in its
// place, a file or folder that cannot be written.
class DryRunCopy {
public:
    // Throws DbError when the copy cannot be made (a full temporary folder,
    // a file that cannot be read), naming the main database.
    // `prefix` begins the name of the copy's folder; `purpose` ends the
    // message when the copy cannot be made ("for a dry run").
    explicit DryRunCopy(std::string mainPath, const std::string& prefix = "vhdb-dry-run-",
                        const std::string& purpose = "for a dry run");

    const std::string& path() const { return copy_.path(); }
    const std::string& mainPath() const { return mainPath_; }

    // A message about the copy as one about the main database: the copy's
    // path and folder named as the main database's.
    std::string asMain(std::string text) const;

private:
    std::string mainPath_;
    db::Snapshot copy_;
};

} // namespace merge
