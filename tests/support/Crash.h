#pragma once

#include "platform/db/Sqlite.h"

#include <csignal>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace testing_support {

// Another program on `path`, in this process: runs `sql` over a raw engine
// connection and closes it. Returns the engine's result code.
inline int runAsAnotherProgram(const std::string& path, const std::string& password,
                               const std::string& sql) {
    sqlite3* handle = nullptr;
    sqlite3_open_v2(path.c_str(), &handle, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_key(handle, password.data(), static_cast<int>(password.size()));
    const int rc = sqlite3_exec(handle, sql.c_str(), nullptr, nullptr, nullptr);
    sqlite3_close_v2(handle);
    return rc;
}

// Another program on `path`: a child process that runs `sql` over a raw
// engine connection and is killed (SIGKILL) right after, whatever it holds
// open. A transaction that `sql` began is left unfinished, as a crash leaves
// it. Returns false when the child could not run `sql`.
inline bool killAfterRunning(const std::string& path, const std::string& password,
                             const std::string& sql) {
    int ends[2];
    if (pipe(ends) != 0)
        return false;
    const pid_t child = fork();
    if (child == 0) {
        close(ends[0]);
        sqlite3* handle = nullptr;
        sqlite3_open_v2(path.c_str(), &handle, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_key(handle, password.data(), static_cast<int>(password.size()));
        const char done =
            sqlite3_exec(handle, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK ? 'y' : 'n';
        if (write(ends[1], &done, 1) != 1)
            _exit(1);
        for (;;)
            pause();
    }
    close(ends[1]);
    char done = 0;
    const bool answered = read(ends[0], &done, 1) == 1;
    close(ends[0]);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    return answered && done == 'y';
}

// SQL that leaves a hot rollback journal when the program is killed after
// it: a transaction too large for a two-page cache, so that changed pages
// are already in the file while the journal holds what they replaced.
inline const std::string HotJournalSql =
    "PRAGMA cache_size = 2; BEGIN; "
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 400) "
    "INSERT INTO Lodges (F1, F2) SELECT 'Lost ' || i, hex(randomblob(200)) FROM n;";

// SQL that leaves committed records in the WAL, none of them copied into the
// file itself yet, when the program is killed after it.
inline const std::string UnfinishedWalSql =
    "PRAGMA journal_mode = WAL; PRAGMA wal_autocheckpoint = 0; "
    "INSERT INTO Lodges (F1, F12) VALUES ('In the WAL', '2021-01-01');";

} // namespace testing_support
