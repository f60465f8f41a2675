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

void restoreJournalMode(sqlite3* handle, const std::string& path, const std::string& mode) {
    // The read makes the connection take up the WAL files, so that leaving
    // WAL checkpoints them and removes them.
    setBusyWait(handle, RestoreBudgetMs);
    readSchema(handle);
    try {
        setJournalMode(handle, mode, RestoreBudgetMs);
    } catch (const DbError&) {
        // Asked below what the file is in now.
    }
    try {
        if (journalModePragma(handle, "PRAGMA journal_mode") != "wal")
            removeDurably(journalMarkerOf(path));
    } catch (const DbError&) {
        // The marker stays: the next writer puts the mode back.
    }
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

void JournalModeOwner::close(Connection& connection) {
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
        return;
    }
    if (writer_ && connection) {
        restoreJournalMode(connection.get(), path_, last.previousMode);
        connection.reset();
        return;
    }
    // The last of our connections only read: a short-lived writer puts the
    // mode back once it is closed.
    connection.reset();
    if (const Connection restorer = connectForWriting(path_, last.password, RestoreBudgetMs))
        restoreJournalMode(restorer.get(), path_, last.previousMode);
}

} // namespace db
