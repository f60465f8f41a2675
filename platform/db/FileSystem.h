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

// The first line of a small text file; nothing when there is no such file,
// and an empty line when there is one that cannot be read.
std::optional<std::string> readLine(const std::string& path);

// Throws DbError, SQLITE_CANTOPEN, when there is no file or folder at `path`
// ("<what> "PATH" does not exist.", `what` being "The database file", say),
// or when a folder on its way may not be searched, which hides whether there
// is one: that is told as it is, not as a missing file.
void requireExists(const std::string& path, const std::string& what);

// Replaces the file at `path` with `text` and returns only once the file and
// its entry in the folder are on the disk. Throws DbError naming `path`.
void writeDurably(const std::string& path, const std::string& text);

// Removes the file at `path`, if there is one, and returns once the removal
// is on the disk; false when it could not be removed.
bool removeDurably(const std::string& path);

// A read lock on a database file as the engine's own readers take it (the
// engine's byte-range locks on POSIX systems), held while the object lives.
// It waits up to `budgetMs` while another program writes the file, then
// throws DbError as for a file in use. The lock belongs to its own open file
// (Linux's open file description locks), not to the process: closing the
// engine's descriptors of the file does not drop it, nor does closing it drop
// the engine's locks. Where the system has no such locks, it falls back on
// the process's own, and is then only for a file that no connection of this
// process holds.
class ReadLock {
public:
    ReadLock(const std::string& path, int budgetMs);
    ~ReadLock();
    ReadLock(const ReadLock&) = delete;
    ReadLock& operator=(const ReadLock&) = delete;

    // Lets go of every ReadLock of this process on the file at `path`, as
    // a connection of the process is about to write it: the locks would
    // keep it out as they keep out other programs.
    static void releaseAll(const std::string& path);

private:
    bool tryLock();
    void release();
    int fd_ = -1;
    std::string key_; // the file, however its path is spelled
};

} // namespace db
