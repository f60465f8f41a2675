#include "platform/db/DamageCheck.h"

#include "platform/db/DbError.h"
#include "platform/db/Sqlite.h"
#include "platform/db/Statement.h"
#include "platform/db/Text.h"
#include "platform/db/Waiting.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <future>
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

// The engine's result for a page that quick_check reports it could not get
// for a reason other than damage ("Page 11: unable to get the page. error
// code=266"); SQLITE_OK when there is none.
int unreadPage(const std::vector<std::string>& problems) {
    static const std::string marker = "unable to get the page. error code=";
    for (const std::string& problem : problems) {
        const std::size_t at = problem.find(marker);
        if (at == std::string::npos)
            continue;
        const int code = std::atoi(problem.c_str() + at + marker.size());
        const int primary = code & 0xff;
        if (primary == SQLITE_IOERR || primary == SQLITE_NOMEM || primary == SQLITE_FULL ||
            primary == SQLITE_CANTOPEN)
            return code;
    }
    return SQLITE_OK;
}

// Every line quick_check reports, read on another thread while this one
// asks the program a few times a second whether to go on (the check is one
// step of the engine's, so it cannot ask from inside). A connection is safe
// to use from another thread while this one does not touch it. Given up, the
// check is interrupted and ends in Cancelled.
std::vector<std::string> checkReport(sqlite3* handle, const std::string& path) {
    const auto read = [handle, path] {
        std::vector<std::string> lines;
        Statement s(handle, "PRAGMA quick_check");
        while (s.step("Cannot check the database file " + inQuotes(path) + "."))
            lines.push_back(s.columnText(0));
        return lines;
    };
    if (!sqlite3_threadsafe())
        return read();
    std::future<std::vector<std::string>> report = std::async(std::launch::async, read);
    constexpr auto between = std::chrono::milliseconds(40);
    auto nextAsk = std::chrono::steady_clock::now() + checkAskedAfter();
    bool interrupted = false;
    do {
        const auto now = std::chrono::steady_clock::now();
        if (interrupted || now < nextAsk)
            continue;
        nextAsk = now + between;
        if (!keepWaiting(WaitReason::CheckingFile)) {
            sqlite3_interrupt(handle);
            interrupted = true;
        }
    } while (report.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready);
    if (interrupted) {
        try {
            report.get();
        } catch (const DbError&) {
        }
        throw Cancelled();
    }
    return report.get();
}

} // namespace

void refuseDamagedFile(sqlite3* handle, const std::string& path) {
    std::vector<std::string> problems;
    int rc = SQLITE_OK;
    std::string engine;
    try {
        problems = checkReport(handle, path);
    } catch (const Cancelled&) {
        throw;
    } catch (const DbError& e) {
        if (e.primaryCode() != SQLITE_CORRUPT && e.primaryCode() != SQLITE_NOTADB)
            throw;
        rc = e.code();
        engine = e.engineMessage();
    }
    if (rc == SQLITE_OK && problems.size() == 1 && problems.front() == "ok")
        return;
    // A page the check could not read for an I/O error is no damage: the
    // file may be sound, and the disk or the system said no.
    if (const int failed = unreadPage(problems); failed != SQLITE_OK)
        throw DbError("The database file " + inQuotes(path) +
                          " could not be read, and nothing was written to it." +
                          hintFor(failed, path),
                      failed, sqlite3_errstr(failed));
    throw DbError("The database file " + inQuotes(path) +
                      " is damaged, and nothing was written to it. Restore it from a backup "
                      "and try again.",
                  rc == SQLITE_OK ? SQLITE_CORRUPT : rc,
                  engine.empty() && !problems.empty() ? firstProblem(problems.front()) : engine);
}

} // namespace db
