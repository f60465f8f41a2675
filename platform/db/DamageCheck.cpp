#include "platform/db/DamageCheck.h"

#include "platform/db/DbError.h"
#include "platform/db/Sqlite.h"
#include "platform/db/Statement.h"
#include "platform/db/Text.h"
#include "platform/db/Waiting.h"

#include <algorithm>
#include <chrono>
#include <vector>

namespace db {

namespace {

// The first problem that quick_check names, without its "*** in database
// main ***" heading: one line is enough for the user, who restores a backup.
std::string firstProblem(const std::string& report) {
    std::size_t start = 0;
    while (start < report.size()) {
        const std::size_t end = std::min(report.find('\n', start), report.size());
        const std::string line = report.substr(start, end - start);
        if (!line.empty() && !line.starts_with("***"))
            return line;
        start = end + 1;
    }
    return report;
}

} // namespace

namespace {

// Asks the hook a few times a second while the check reads the file; a
// non-zero answer stops the check.
int whileChecking(void* last) {
    auto& asked = *static_cast<std::chrono::steady_clock::time_point*>(last);
    const auto now = std::chrono::steady_clock::now();
    if (now - asked < std::chrono::milliseconds(40))
        return 0;
    asked = now;
    return keepWaiting(WaitReason::CheckingFile) ? 0 : 1;
}

// The progress handler for as long as the check runs.
class Watched {
public:
    explicit Watched(sqlite3* handle) : handle_(handle), asked_(std::chrono::steady_clock::now()) {
        sqlite3_progress_handler(handle_, 2000, whileChecking, &asked_);
    }
    ~Watched() { sqlite3_progress_handler(handle_, 0, nullptr, nullptr); }
    Watched(const Watched&) = delete;
    Watched& operator=(const Watched&) = delete;

private:
    sqlite3* handle_;
    std::chrono::steady_clock::time_point asked_;
};

} // namespace

void refuseDamagedFile(sqlite3* handle, const std::string& path) {
    const Watched watched(handle);
    std::vector<std::string> problems;
    int rc = SQLITE_OK;
    std::string engine;
    try {
        Statement s(handle, "PRAGMA quick_check");
        while (s.step("Cannot check the database file " + inQuotes(path) + "."))
            problems.push_back(s.columnText(0));
    } catch (const DbError& e) {
        if (e.primaryCode() != SQLITE_CORRUPT && e.primaryCode() != SQLITE_NOTADB)
            throw;
        rc = e.code();
        engine = e.engineMessage();
    }
    if (rc == SQLITE_OK && problems.size() == 1 && problems.front() == "ok")
        return;
    throw DbError("The database file " + inQuotes(path) +
                      " is damaged, and nothing was written to it. Restore it from a backup "
                      "and try again.",
                  rc == SQLITE_OK ? SQLITE_CORRUPT : rc,
                  engine.empty() && !problems.empty() ? firstProblem(problems.front()) : engine);
}

} // namespace db
