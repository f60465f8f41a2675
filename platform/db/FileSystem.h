#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace db {

// The folder that holds `path`: its parent, or "." for a bare file name.
std::string folderOf(const std::string& path);

// Whether this process may write the file, or make and remove files in the
// folder, at `path` (the file system's own answer: root may write anything
// that is not on a read-only mount).
bool mayWrite(const std::string& path);

// Whether the file system that holds `path` has less than a megabyte left
// for this process. The engine reports some writes that found no room as
// plain I/O errors; this tells those apart.
bool diskNearlyFull(const std::string& path);

// The size of the file at `path`; 0 when there is none.
std::uintmax_t sizeOf(const std::string& path);

// The first line of a small text file; nothing when there is no such file.
std::optional<std::string> readLine(const std::string& path);

// Replaces the file at `path` with `text` and returns only once the file and
// its entry in the folder are on the disk. Throws DbError naming `path`.
void writeDurably(const std::string& path, const std::string& text);

// Removes the file at `path`, if there is one, and returns once the removal
// is on the disk; false when it could not be removed.
bool removeDurably(const std::string& path);

// A read lock on a database file as the engine's own readers take it (the
// engine's byte-range locks on POSIX systems), held while the object lives.
// It waits up to `budgetMs` while another program writes the file, then
// throws DbError as for a file in use. Only for a file that no connection of
// this process holds: closing the lock's own descriptor drops every lock the
// process holds on the file.
class ReadLock {
public:
    ReadLock(const std::string& path, int budgetMs);
    ~ReadLock();
    ReadLock(const ReadLock&) = delete;
    ReadLock& operator=(const ReadLock&) = delete;

private:
    bool tryLock();
    int fd_ = -1;
};

} // namespace db
