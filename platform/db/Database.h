#pragma once

#include "platform/db/Column.h"
#include "platform/db/FileSystem.h"
#include "platform/db/Statement.h"
#include "platform/db/Text.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct sqlite3;

namespace db {

enum class OpenMode {
    // The user's database: checked before anything is written to it, then
    // written in WAL mode. Its folder must be writable too, since the engine
    // keeps its working files beside it.
    ReadWrite,
    // Only read: nothing is written to the file and nothing is made beside
    // it, and a read-only folder will do. A file that another connection of
    // this process holds is read through the engine as usual; any other is
    // read as it lies, or, when a journal or WAL that its last writer left
    // beside it may hold a part of it, from a private recovered copy.
    ReadOnly,
};

// The file beside a database that keeps the journal mode the database had
// before this program switched it to WAL, from right before the switch until
// the mode is back.
std::string journalMarkerOf(const std::string& path);

// The collation every connection has for a text compared whole, every
// character, ignoring ASCII letter case only (NOCASE stops at a NUL).
inline constexpr const char* WholeNoCase = "VH_WHOLE_NOCASE";

// One open connection to a Varnholt database file: opened with its password,
// never created by accident, and written in WAL mode while open so that every
// saved record survives a crash of the program. The journal mode the file had
// is restored when the last connection of this process to it closes, and
// after a crash by the next connection that writes it (or recoverAfterCrash).
class Database {
public:
    // How long a file that another program holds is waited on.
    static constexpr int DefaultBusyTimeoutMs = 5000;

    // Opens an existing file. An empty password opens a file without
    // encryption. Throws DbError for a missing file, a wrong password or a
    // file that is not a database, a file in use beyond the busy timeout, and
    // for writing: a file or folder that cannot be written, a damaged file.
    static std::shared_ptr<Database> open(const std::string& path, const std::string& password,
                                          OpenMode mode, int busyTimeoutMs = DefaultBusyTimeoutMs);

    // Puts right what a program killed while writing `path` left: rolls back
    // a hot journal and restores the journal mode that an unfinished run of
    // this program switched away from. Only where the file and its folder
    // may be written and no connection of this process holds the file; what
    // cannot be put right now is left for the read that follows to report.
    static void recoverAfterCrash(const std::string& path, const std::string& password);

    // Makes a new database file and runs `initialise` on it (making its
    // tables, say); refuses when anything exists at `path`. When anything
    // fails, the half-made file is removed again.
    static std::shared_ptr<Database> create(const std::string& path, const std::string& password,
                                            const std::function<void(Database&)>& initialise = {});

    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Closes the connection; later use of it is a DbError. Closing twice is
    // harmless.
    void Close();
    bool isOpen() const { return handle_ != nullptr; }
    const std::string& path() const { return path_; }
    bool readOnly() const { return mode_ == OpenMode::ReadOnly; }

    // The open handle; throws DbError when the connection is closed.
    sqlite3* handle() const;

    // Runs SQL without results (DDL, PRAGMA, transactions).
    void exec(const std::string& sql, const std::string& what);

    // A prepared statement kept for reuse while the connection is open. The
    // caller resets it after use (Statement::ResetGuard).
    Statement& cached(const std::string& sql);

    // The declared columns of `table`, in order; empty when the table is
    // missing. Table names compare without regard to letter case.
    const std::vector<Column>& columns(const std::string& table);
    bool hasTable(const std::string& table) { return !columns(table).empty(); }
    std::vector<std::string> tableNames();

    // Holds the file for this connection alone until it lets go or closes: no other
    // program reads or writes it meanwhile, and each of this connection's
    // transactions saves the file locking and unlocking, which is most of
    // what a small transaction costs. Another program's lock is waited on
    // for the busy timeout, then reported as in use. For a connection
    // that will write many small transactions in a row, like an update.
    // releaseExclusively() commits what is open and lets other programs in
    // again; a closed connection has let them in already.
    void holdExclusively();
    void releaseExclusively();
    bool heldExclusively() const { return exclusive_; }

    // While the file is held alone, what a record set reads and the save
    // that follows share one transaction: a read joins the open one or
    // begins it, a save commits it. Reads between two saves thus cost no
    // transaction of their own. A file read as it lies (nothing can change
    // it) is read in one transaction from the first read to the close.
    // Otherwise every statement is its own.
    void joinTransaction();
    void commitTransaction();

    // The journal mode now in force ("wal", "delete", ...). A read-only
    // connection that reads the file as it lies always sees "delete".
    std::string journalMode();

private:
    Database(std::string path, OpenMode mode, int busyTimeoutMs);
    void openForWriting(const std::string& password);
    void openForReading(const std::string& password);
    void connect(const std::string& target, int flags, const std::string& password);
    void verifyKey();
    void registerFunctions();
    // Counts the connection in the journal-mode registry; returns how many
    // connections of this process held the file before.
    int registerConnection();
    void refuseDamagedFile();
    void enterWal(const std::string& password);
    void switchToWal();

    std::string path_;
    std::string registryKey_;
    OpenMode mode_;
    int busyTimeoutMs_;
    sqlite3* handle_ = nullptr;
    bool registered_ = false; // counted in the journal-mode registry
    bool exclusive_ = false;
    bool readsAsItLies_ = false;        // immutable, or a private copy
    std::unique_ptr<PrivateCopy> copy_; // what a read-only connection reads instead
    std::map<std::string, std::unique_ptr<Statement>> statements_;
    std::map<std::string, std::vector<Column>> columns_;
};

// Begins a write transaction; rolls it back when destroyed before commit().
class Transaction {
public:
    explicit Transaction(Database& database);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

private:
    Database& database_;
    bool done_ = false;
};

// Quotes an identifier for SQL: "name", with inner quotes doubled.
std::string quoteIdentifier(const std::string& name);

} // namespace db
