#include "platform/db/JournalMode.h"

#include "platform/db/DbError.h"
#include "platform/db/FileSystem.h"
#include "platform/db/SideFiles.h"
#include "platform/db/Sqlite.h"
#include "platform/db/Text.h"
#include "platform/db/Waiting.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

namespace db {

namespace {

// How long closing waits for other programs to let go of a file before it
// leaves the journal mode to be restored by a later run.
constexpr int RestoreBudgetMs = 1000;

struct Entry {
    int connections = 0;
    bool checked = false;     // the file passed its check before the first write
    std::string previousMode; // the mode to put back; empty when none
    std::string password;     // to put it back when a reader closes last
};

// Never destroyed: a connection kept in a static of its own may close after
// every other static of the program is gone, and still finds it.
struct Registry {
    std::mutex mutex;
    std::map<std::string, Entry> entries;
};
Registry& registry() {
    static Registry* const instance = new Registry;
    return *instance;
}

std::string keyFor(const std::string& path) {
    std::error_code ec;
    fs::path canonical = fs::canonical(path, ec);
    return ec ? fs::absolute(path).lexically_normal().string() : canonical.string();
}

bool isRollbackMode(const std::string& mode) {
    return mode == "delete" || mode == "truncate" || mode == "persist";
}

// The engine does not wait for a lock through its busy handler when it
// changes the journal mode, so this tries again until `budgetMs` is spent.
// Returns the mode the engine then reports; a DbError when it fails.
std::string setJournalMode(sqlite3* handle, const std::string& mode, int budgetMs) {
    const auto giveUp = steady_clock::now() + milliseconds(budgetMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<milliseconds>(giveUp - steady_clock::now()).count();
        setBusyWait(handle, static_cast<int>(std::max<long long>(left, 0)));
        try {
            return journalModePragma(handle, "PRAGMA journal_mode=" + mode);
        } catch (const DbError& e) {
            const int primary = e.primaryCode();
            if ((primary != SQLITE_BUSY && primary != SQLITE_LOCKED) ||
                steady_clock::now() >= giveUp)
                throw;
        }
        if (!keepWaiting(WaitReason::FileInUse))
            throw Cancelled();
        std::this_thread::sleep_for(milliseconds(20));
    }
}

} // namespace

std::optional<std::string> markedMode(const std::string& path) {
    const auto line = readLine(journalMarkerOf(path));
    if (!line)
        return std::nullopt;
    return isRollbackMode(*line) ? *line : std::string("delete");
}

bool heldByThisProcess(const std::string& path) {
    const std::string key = keyFor(path);
    std::lock_guard lock(registry().mutex);
    const auto it = registry().entries.find(key);
    return it != registry().entries.end() && it->second.connections > 0;
}

std::optional<DbError> restoreJournalMode(Connection& connection, const std::string& path,
                                          const std::string& mode, const std::string& password) {
    const std::string what = "The database file " + inQuotes(path) +
                             " could not be put back in its own journal mode (" + mode + ").";
    // The read makes the connection take up the WAL files, so that leaving
    // WAL checkpoints them and removes them.
    setBusyWait(connection.get(), RestoreBudgetMs);
    std::optional<DbError> failure;
    bool shared = false;
    if (const int rc = readSchema(connection.get()); rc != SQLITE_OK)
        failure = DbError(what + hintFor(rc, path), rc, sqlite3_errstr(rc));
    else
        try {
            setJournalMode(connection.get(), mode, RestoreBudgetMs);
        } catch (const Cancelled&) {
            shared = true;
        } catch (const DbError& e) {
            // Another program still has the file open: that is no failure,
            // and the marker stays for a later run to finish the job.
            shared = e.primaryCode() == SQLITE_BUSY || e.primaryCode() == SQLITE_LOCKED;
            if (!shared)
                failure = DbError(what + hintFor(e.code(), path), e.code(), e.engineMessage());
        }
    connection.reset();
    if (failure || shared)
        return failure;

    // What the switching connection reports is not proof: a switch that
    // failed half-way may leave it believing the file left WAL while the
    // file's header, or a WAL left beside it, still says WAL to the next
    // program that opens it. A connection of its own, opened now that ours
    // are closed, tells what the file is in.
    const Connection fresh = connectForWriting(path, password, RestoreBudgetMs);
    if (!fresh)
        return DbError(what + " It could not be opened again to see its journal mode.",
                       SQLITE_IOERR);
    std::string now;
    try {
        now = journalModePragma(fresh.get(), "PRAGMA journal_mode");
    } catch (const DbError& e) {
        return DbError(what + hintFor(e.code(), path), e.code(), e.engineMessage());
    }
    if (now == "wal")
        return DbError(what + " It is still in WAL mode.", SQLITE_IOERR);
    if (const std::string wal = walOf(path); fs::exists(wal))
        return DbError(what + " Its write-ahead log " + inQuotes(wal) + " could not be removed.",
                       SQLITE_IOERR_DELETE);
    if (!removeDurably(journalMarkerOf(path)))
        return DbError(what + " The file " + inQuotes(journalMarkerOf(path)) +
                           " that keeps the mode could not be removed.",
                       SQLITE_IOERR_DELETE);
    return std::nullopt;
}

JournalModeOwner::JournalModeOwner(const std::string& path, bool writer)
    : path_(path), key_(keyFor(path)), writer_(writer) {
    std::lock_guard lock(registry().mutex);
    ++registry().entries[key_].connections;
    counted_ = true;
}

JournalModeOwner::~JournalModeOwner() {
    Connection none;
    close(none);
}

void JournalModeOwner::enterWal(sqlite3* handle, const std::string& password, int busyMs) {
    // The mode to restore is written down before the switch, so that a run
    // killed in WAL mode is put right by the next one.
    std::optional<std::string> previous = markedMode(path_);
    const std::string now = modeOf(handle);
    if (now != "wal") {
        const bool marking = !previous;
        if (marking) {
            previous = now;
            writeDurably(journalMarkerOf(path_), *previous + "\n");
        }
        try {
            switchToWal(handle, busyMs);
        } catch (...) {
            if (marking)
                removeDurably(journalMarkerOf(path_));
            throw;
        }
    }
    if (previous) {
        std::lock_guard lock(registry().mutex);
        Entry& entry = registry().entries[key_];
        if (entry.previousMode.empty()) {
            entry.previousMode = *previous;
            entry.password = password;
        }
    }
    check(handle, sqlite3_exec(handle, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr),
          "Cannot set up " + inQuotes(path_) + ".");
}

std::string JournalModeOwner::modeOf(sqlite3* handle) const {
    try {
        return journalModePragma(handle, "PRAGMA journal_mode");
    } catch (const Cancelled&) {
        throw;
    } catch (const DbError& e) {
        throw DbError("Cannot switch " + inQuotes(path_) + " to WAL mode." +
                          hintFor(e.code(), path_),
                      e.code(), e.engineMessage());
    }
}

void JournalModeOwner::switchToWal(sqlite3* handle, int busyMs) const {
    const std::string what = "Cannot switch " + inQuotes(path_) + " to WAL mode.";
    std::string inForce;
    try {
        inForce = setJournalMode(handle, "wal", busyMs);
    } catch (const Cancelled&) {
        setBusyWait(handle, busyMs);
        throw;
    } catch (const DbError& e) {
        setBusyWait(handle, busyMs);
        throw DbError(what + hintFor(e.code(), path_), e.code(), e.engineMessage());
    }
    setBusyWait(handle, busyMs);
    if (inForce != "wal")
        throw DbError(what + " The engine kept the journal mode " + inQuotes(inForce) + ".");
}

bool JournalModeOwner::checked() const {
    std::lock_guard lock(registry().mutex);
    return registry().entries[key_].checked;
}

void JournalModeOwner::markChecked() {
    std::lock_guard lock(registry().mutex);
    registry().entries[key_].checked = true;
}

std::optional<DbError> JournalModeOwner::close(Connection& connection) {
    Entry last;
    if (counted_) {
        std::lock_guard lock(registry().mutex);
        const auto it = registry().entries.find(key_);
        if (it != registry().entries.end() && --it->second.connections == 0) {
            last = it->second;
            registry().entries.erase(it);
        }
        counted_ = false;
    }
    if (last.previousMode.empty()) {
        connection.reset();
        return std::nullopt;
    }
    if (writer_ && connection)
        return restoreJournalMode(connection, path_, last.previousMode, last.password);
    // The last of our connections only read: a short-lived writer puts the
    // mode back once it is closed.
    connection.reset();
    Connection restorer = connectForWriting(path_, last.password, RestoreBudgetMs);
    if (!restorer)
        return std::nullopt; // in use, or gone: the marker stays for the next writer
    return restoreJournalMode(restorer, path_, last.previousMode, last.password);
}

} // namespace db
