#pragma once

#include "platform/db/Column.h"
#include "platform/db/Connection.h"
#include "platform/db/FileSystem.h"
#include "platform/db/JournalMode.h"
#include "platform/db/Snapshot.h"
#include "platform/db/Statement.h"
#include "platform/db/Text.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace db {

enum class OpenMode {
    // The user's database: checked before anything is written to it, then
    // written in WAL mode. Its folder must be writable too, since the engine
    // keeps its working files beside it.
    ReadWrite,
    // Only read: nothing is written to the file and nothing is made beside
    // it, and a read-only folder will do (openReadOnly() tells how).
    ReadOnly,
};

// One open connection to a Varnholt database file: opened with its password,
// never created by accident, and written in WAL mode while open so that every
// saved record survives a crash of the program. The journal mode the file had
// is restored when the last connection of this process to it closes
// (JournalModeOwner), and after a crash by the next connection that writes it
// (or recoverAfterCrash()).
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

    // Makes a new database file and runs `initialise` on it (making its
    // tables, say); refuses when anything exists at `path`. When anything
    // fails, the half-made file is removed again.
    static std::shared_ptr<Database> create(const std::string& path, const std::string& password,
                                            const std::function<void(Database&)>& initialise = {});

    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Closes the connection; later use of it is a DbError. Closing twice is
    // harmless. Returns what kept the file from being put back in its own
    // journal mode, when this was the last connection to a file the program
    // switched to WAL (restoreJournalMode): every record saved stays saved,
    // and the next connection that may write finishes the job.
    std::optional<DbError> Close();
    bool isOpen() const { return handle_ != nullptr; }
    const std::string& path() const { return path_; }
    bool readOnly() const { return mode_ == OpenMode::ReadOnly; }
    // Tells this connection apart from every other this process opens, even
    // one opened later at the same address.
    std::uint64_t id() const { return id_; }

    // The open handle; throws DbError when the connection is closed.
    sqlite3* handle() const;

    // Runs SQL without results (DDL, PRAGMA, transactions).
    void exec(const std::string& sql, const std::string& what);
    // Rolls back the transaction that is open, if any; never fails.
    void rollback() noexcept;

    // A prepared statement kept for reuse while the connection is open,
    // lent out for one use.
    CachedStatement cached(const std::string& sql);

    // The declared columns of `table`, in order; empty when the table is
    // missing. Table names compare without regard to letter case.
    const std::vector<Column>& columns(const std::string& table);
    bool hasTable(const std::string& table) { return !columns(table).empty(); }
    std::vector<std::string> tableNames();

    // Holds the file for this connection alone (the engine's
    // locking_mode=EXCLUSIVE) until it lets go or closes: no other program
    // reads or writes it meanwhile, and each of this connection's
    // transactions saves the file locking and unlocking, which is most of
    // what a small transaction costs. Another program's lock is waited on
    // for the busy timeout, then reported as in use. For a connection that
    // will write many small transactions in a row, like an update.
    // releaseExclusively() commits what is open and lets other programs in
    // again; a closed connection has let them in already.
    void holdExclusively();
    void releaseExclusively();

    // While the file is held alone, what a record set reads and the save
    // that follows share one transaction: a read joins the open one or
    // begins it, a save commits it. Reads between two saves thus cost no
    // transaction of their own. A file read as it lies (nothing can change
    // it) is read in one transaction from the first read to the close.
    // Otherwise every statement is its own.
    void joinTransaction();
    void commitTransaction();

    // Tells whether the file can have changed between two moments: while the
    // file is held alone and a joined transaction is open, no other program
    // can change it, and this connection's own changes are counted. Two
    // equal marks, neither of them empty, mean that nothing was written in
    // between; an empty mark tells nothing.
    struct ReadMark {
        std::uint64_t transaction = 0; // the joined transaction; 0: none
        std::int64_t changes = 0;      // this connection's changes so far
        bool empty() const { return transaction == 0; }
        friend bool operator==(const ReadMark&, const ReadMark&) = default;
    };
    ReadMark readMark() const;

    // The journal mode now in force ("wal", "delete", ...). A read-only
    // connection that reads the file as it lies always sees "delete".
    std::string journalMode();

private:
    Database(std::string path, OpenMode mode, int busyTimeoutMs);
    void openForWriting(const std::string& password);
    void openForReading(const std::string& password);

    std::string path_;
    OpenMode mode_;
    int busyTimeoutMs_;
    std::uint64_t id_;
    std::unique_ptr<Snapshot> snapshot_; // what a read-only connection reads instead
    std::unique_ptr<ReadLock> readLock_; // held while the file is read as it lies
    Connection handle_;
    std::optional<JournalModeOwner> journal_;
    bool exclusive_ = false;
    std::uint64_t transactions_ = 0; // transactions begun by joinTransaction()
    std::uint64_t joined_ = 0;       // the one open, if any
    bool readsAsItLies_ = false;     // immutable, or a private copy
    std::map<std::string, std::unique_ptr<Statement>> statements_;
    std::map<std::string, std::vector<Column>> columns_;
};

} // namespace db
