#include "tools/vhdb/DryRunCopy.h"

#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/FileSystem.h"
#include "platform/db/Sqlite.h"
#include "platform/db/Statement.h"
#include "platform/db/Text.h"

#include <cerrno>
#include <cstdlib>
#include <system_error>

namespace fs = std::filesystem;

namespace vhdb {

namespace {

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    if (from.empty())
        return;
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

} // namespace

DryRunCopy::DryRunCopy(std::string mainPath) : mainPath_(std::move(mainPath)) {
    const std::string failure =
        "Cannot copy " + db::inQuotes(mainPath_) + " to the temporary folder for a dry run.";
    std::error_code ec;
    std::string pattern = (fs::temp_directory_path(ec) / "vhdb-dry-run-XXXXXX").string();
    if (ec || !::mkdtemp(pattern.data()))
        throw db::DbError(failure + db::hintFor(SQLITE_CANTOPEN), SQLITE_CANTOPEN,
                          std::system_category().message(ec ? ec.value() : errno));
    folder_ = pattern;
    const fs::path name = fs::path(mainPath_).filename();
    path_ = (folder_ / (name.empty() ? fs::path("main.mdb") : name)).string();
    try {
        const fs::file_status status = fs::status(mainPath_, ec);
        if (fs::is_directory(status)) {
            fs::create_directory(path_);
        } else if (fs::exists(status)) {
            // Read under the lock the engine's readers take, so that no
            // program writes the file meanwhile; what a program left beside
            // it first, the file last, since closing it lets go of the lock.
            const db::ReadLock lock(mainPath_, db::Database::DefaultBusyTimeoutMs);
            for (const char* side : {"-journal", "-wal"})
                if (db::sizeOf(mainPath_ + side) > 0)
                    copy(mainPath_ + side, path_ + side);
            copy(mainPath_, path_);
        }
        if (!db::mayWrite(db::folderOf(mainPath_)))
            fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec);
    } catch (...) {
        fs::permissions(folder_, fs::perms::owner_all, ec);
        fs::remove_all(folder_, ec);
        throw;
    }
}

DryRunCopy::~DryRunCopy() {
    std::error_code ec;
    fs::permissions(folder_, fs::perms::owner_all, ec);
    fs::remove_all(folder_, ec);
}

void DryRunCopy::copy(const std::string& from, const std::string& to) const {
    // The copy keeps the file's permissions: one that cannot be written is
    // refused by the merge as the file would be.
    std::error_code ec;
    if (fs::copy_file(from, to, ec))
        return;
    const int code = ec.value() == ENOSPC || ec.value() == EDQUOT ? SQLITE_FULL : SQLITE_IOERR;
    throw db::DbError("Cannot copy " + db::inQuotes(from) + " to the temporary folder " +
                          db::inQuotes(folder_.parent_path().string()) + " for a dry run." +
                          db::hintFor(code),
                      code, ec.message());
}

std::string DryRunCopy::asMain(std::string text) const {
    replaceAll(text, path_, mainPath_);
    replaceAll(text, folder_.string(), db::folderOf(mainPath_));
    return text;
}

} // namespace vhdb
