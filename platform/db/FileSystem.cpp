#include "platform/db/FileSystem.h"

#include "platform/db/DbError.h"
#include "platform/db/Sqlite.h"
#include "platform/db/Text.h"
#include "platform/db/Waiting.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sys/statvfs.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace db {

namespace {

constexpr std::uintmax_t NearlyFullBytes = 1024 * 1024;

// The engine's locking bytes on POSIX systems (os_unix.c): a reader holds a
// read lock on the shared range, a writer about to write the file a write
// lock on all of it, and one waiting for readers to go the pending byte.
constexpr off_t PendingByte = 0x40000000;
constexpr off_t SharedFirst = PendingByte + 2;
constexpr off_t SharedSize = 510;

[[noreturn]] void failOn(const std::string& what, int err) {
    const int code = err == ENOSPC || err == EDQUOT ? SQLITE_FULL : SQLITE_IOERR;
    throw DbError(what + hintFor(code), code, std::system_category().message(err));
}

// 0 once the folder's entries are on the disk, else the system's error.
int syncFolderOf(const std::string& path) {
    const int fd = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int error = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return error;
}

bool lockRange(int fd, short type, off_t start, off_t length) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
#ifdef F_OFD_SETLK
    if (::fcntl(fd, F_OFD_SETLK, &lock) == 0)
        return true;
    if (errno != EINVAL)
        return false;
#endif
    return ::fcntl(fd, F_SETLK, &lock) == 0;
}

} // namespace

std::string folderOf(const std::string& path) {
    const fs::path parent = fs::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

bool mayWrite(const std::string& path) {
    return ::access(path.c_str(), W_OK) == 0;
}

bool diskNearlyFull(const std::string& path) {
    struct statvfs stats {};
    if (path.empty() || ::statvfs(folderOf(path).c_str(), &stats) != 0)
        return false;
    // Blocks kept for root count only for root.
    const auto blocks = ::geteuid() == 0 ? stats.f_bfree : stats.f_bavail;
    return static_cast<std::uintmax_t>(blocks) * stats.f_frsize < NearlyFullBytes;
}

std::uintmax_t sizeOf(const std::string& path) {
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    return ec ? 0 : size;
}

void requireExists(const std::string& path, const std::string& what) {
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (ec && ec != std::errc::no_such_file_or_directory && ec != std::errc::not_a_directory) {
        const std::string why = ec == std::errc::permission_denied
                                    ? " cannot be reached: a folder on its way may not be opened."
                                    : " cannot be reached.";
        throw DbError(what + " " + inQuotes(path) + why, SQLITE_CANTOPEN, ec.message());
    }
    if (!fs::exists(status))
        throw DbError(what + " " + inQuotes(path) + " does not exist.", SQLITE_CANTOPEN);
}

std::optional<std::string> readLine(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        // A file that is there but cannot be read is not a missing one.
        std::error_code ec;
        const bool there = fs::exists(fs::symlink_status(path, ec));
        if (there || (ec && ec != std::errc::no_such_file_or_directory))
            return std::string();
        return std::nullopt;
    }
    std::string line;
    std::getline(in, line);
    return line;
}

void writeDurably(const std::string& path, const std::string& text) {
    const std::string what = "Cannot write the file " + inQuotes(path) + ".";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        failOn(what, errno);
    // A write that stores less than it was given leaves errno as it was: it
    // means the disk is full.
    const ssize_t written = ::write(fd, text.data(), text.size());
    int error = 0;
    if (written < 0)
        error = errno;
    else if (static_cast<std::size_t>(written) != text.size())
        error = ENOSPC;
    else if (::fsync(fd) != 0)
        error = errno;
    ::close(fd);
    // The file is of no use unless its name survives a crash too.
    if (error == 0)
        error = syncFolderOf(path);
    if (error != 0) {
        ::unlink(path.c_str());
        failOn(what, error);
    }
}

bool removeDurably(const std::string& path) {
    if (::unlink(path.c_str()) != 0)
        return errno == ENOENT;
    // Gone now; should the removal not survive a crash, what comes back is
    // taken in as a crash's leftover.
    (void)syncFolderOf(path);
    return true;
}

namespace {

std::string fileKey(const std::string& path) {
    std::error_code ec;
    const fs::path canonical = fs::canonical(path, ec);
    return ec ? fs::absolute(path).lexically_normal().string() : canonical.string();
}

// The read locks this process holds, by file; never destroyed, as a lock
// kept in a static may go after every other static.
struct HeldLocks {
    std::mutex mutex;
    std::multimap<std::string, ReadLock*> locks;
};
HeldLocks& heldLocks() {
    static HeldLocks* const instance = new HeldLocks;
    return *instance;
}

} // namespace

ReadLock::ReadLock(const std::string& path, int budgetMs) : key_(fileKey(path)) {
    // A file that cannot be opened gets no lock; opening it reports why.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0)
        return;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(budgetMs);
    while (!tryLock()) {
        if (!keepWaiting(WaitReason::FileInUse)) {
            ::close(fd_);
            throw Cancelled();
        }
        if (std::chrono::steady_clock::now() >= giveUp) {
            ::close(fd_);
            throw DbError("Cannot read the database file " + inQuotes(path) + "." +
                              hintFor(SQLITE_BUSY),
                          SQLITE_BUSY, sqlite3_errstr(SQLITE_BUSY));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::lock_guard guard(heldLocks().mutex);
    heldLocks().locks.emplace(key_, this);
}

ReadLock::~ReadLock() {
    std::lock_guard guard(heldLocks().mutex);
    auto [first, last] = heldLocks().locks.equal_range(key_);
    for (auto it = first; it != last; ++it)
        if (it->second == this) {
            heldLocks().locks.erase(it);
            break;
        }
    release();
}

void ReadLock::release() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void ReadLock::releaseAll(const std::string& path) {
    std::lock_guard guard(heldLocks().mutex);
    auto [first, last] = heldLocks().locks.equal_range(fileKey(path));
    for (auto it = first; it != last; ++it)
        it->second->release();
}

// As the engine does: no new reader while a writer waits for the pending
// byte, then a read lock on the shared range.
bool ReadLock::tryLock() {
    if (!lockRange(fd_, F_RDLCK, PendingByte, 1))
        return false;
    const bool shared = lockRange(fd_, F_RDLCK, SharedFirst, SharedSize);
    lockRange(fd_, F_UNLCK, PendingByte, 1);
    return shared;
}

} // namespace db
