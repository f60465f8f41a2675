#include "platform/db/Snapshot.h"

#include "platform/db/DbError.h"
#include "platform/db/FileSystem.h"
#include "platform/db/SideFiles.h"
#include "platform/db/Sqlite.h"
#include "platform/db/Text.h"

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <system_error>

namespace fs = std::filesystem;

namespace db {

namespace {

int codeFor(int err) {
    return err == ENOSPC || err == EDQUOT ? SQLITE_FULL : SQLITE_IOERR;
}

} // namespace

Snapshot::Snapshot(const std::string& original, const Options& options) : options_(options) {
    std::error_code ec;
    const fs::path temporary = fs::temp_directory_path(ec);
    std::string pattern = (temporary / (options_.folderPrefix + "XXXXXX")).string();
    if (ec || !::mkdtemp(pattern.data())) {
        const int err = ec ? ec.value() : errno;
        throw DbError("Cannot copy " + inQuotes(original) + " to the temporary folder " +
                          inQuotes(temporary.string()) + " " + options_.purpose + "." +
                          hintFor(codeFor(err)),
                      codeFor(err), std::system_category().message(err));
    }
    folder_ = pattern;
    const fs::path name = fs::path(original).filename();
    path_ = (folder_ / (options_.mirror && !name.empty() ? name : fs::path("copy.mdb"))).string();
    try {
        copyFiles(original);
    } catch (...) {
        fs::permissions(folder_, fs::perms::owner_all, ec);
        fs::remove_all(folder_, ec);
        throw;
    }
}

Snapshot::~Snapshot() {
    std::error_code ec;
    fs::permissions(folder_, fs::perms::owner_all, ec);
    fs::remove_all(folder_, ec);
}

void Snapshot::copyFiles(const std::string& original) {
    std::error_code ec;
    const fs::file_status status = fs::status(original, ec);
    if (options_.mirror && fs::is_directory(status)) {
        fs::create_directory(path_);
    } else if (!options_.mirror || fs::exists(status)) {
        std::optional<ReadLock> lock;
        if (options_.busyMs > 0)
            lock.emplace(original, options_.busyMs);
        // What a program left beside the file first, the file last: closing
        // a descriptor of the file lets go of every lock this process holds
        // on it, the read lock included.
        const std::vector<std::string> left = recoveryFilesOf(original);
        const std::vector<std::string> copies = recoveryFilesOf(path_);
        for (std::size_t i = 0; i < left.size(); ++i)
            if (sizeOf(left[i]) > 0)
                copy(left[i], copies[i]);
        copy(original, path_);
    }
    if (options_.mirror && !mayWrite(folderOf(original)))
        fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec);
}

void Snapshot::copy(const std::string& from, const std::string& to) const {
    // The copy keeps the file's permissions: one that cannot be written is
    // refused by a writer as the file would be.
    std::error_code ec;
    if (fs::copy_file(from, to, ec))
        return;
    const int code = codeFor(ec.value());
    throw DbError("Cannot copy " + inQuotes(from) + " to the temporary folder " +
                      inQuotes(folder_.parent_path().string()) + " " + options_.purpose + "." +
                      hintFor(code),
                  code, ec.message());
}

} // namespace db
