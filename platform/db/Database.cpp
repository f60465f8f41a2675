#include "platform/db/Database.h"

#include "platform/db/DamageCheck.h"
#include "platform/db/DbError.h"
#include "platform/db/FileSystem.h"
#include "platform/db/ReadOnlyOpen.h"
#include "platform/db/Sqlite.h"
#include "platform/db/Waiting.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace db {

namespace {
std::atomic<std::uint64_t> lastId{0};
}

Database::Database(std::string path, OpenMode mode, int busyTimeoutMs)
    : path_(std::move(path)), mode_(mode), busyTimeoutMs_(busyTimeoutMs), id_(++lastId) {}

std::shared_ptr<Database> Database::open(const std::string& path, const std::string& password,
                                         OpenMode mode, int busyTimeoutMs) {
    std::error_code ec;
    if (path.empty())
        throw FileError(DbError("No database file was named.", SQLITE_CANTOPEN));
    try {
        requireExists(path, "The database file");
    } catch (const DbError& e) {
        throw FileError(e);
    }
    const auto status = fs::status(path, ec);
    if (fs::is_directory(status))
        throw FileError(
            DbError(inQuotes(path) + " is a folder, not a database file.", SQLITE_CANTOPEN));

    std::shared_ptr<Database> db(new Database(path, mode, busyTimeoutMs));
    try {
        if (mode == OpenMode::ReadWrite)
            db->openForWriting(password);
        else
            db->openForReading(password);
    } catch (const Cancelled&) {
        throw;
    } catch (const FileError&) {
        throw;
    } catch (const DbError& e) {
        throw FileError(e);
    }
    return db;
}

void Database::openForWriting(const std::string& password) {
    if (!mayWrite(path_))
        throw DbError("The database file " + inQuotes(path_) +
                          " can only be read, not written: allow writing to it and try again.",
                      SQLITE_READONLY);
    const std::string folder = folderOf(path_);
    if (!mayWrite(folder))
        throw DbError("The folder " + inQuotes(folder) + " of the database file " +
                          inQuotes(path_) +
                          " cannot be written. The update keeps its working files beside the "
                          "database, so its folder must be writable: allow writing to the folder, "
                          "or move the database to a folder you may write to, and try again.",
                      SQLITE_CANTOPEN);
    // A file this process reads as it lies, under a read lock of its own,
    // is written here: the lock would keep this connection out too.
    ReadLock::releaseAll(path_);
    handle_ = connectChecked(path_, SQLITE_OPEN_READWRITE, password, path_, busyTimeoutMs_);
    journal_.emplace(path_, true);
    // A file without tables (a zero-length file among them) is not a
    // Varnholt database: nothing is written to it, not even a journal mode.
    if (tableNames().empty())
        return;
    if (!journal_->checked()) {
        refuseDamagedFile(handle_.get(), path_);
        journal_->markChecked();
    }
    journal_->enterWal(handle_.get(), password, busyTimeoutMs_);
}

void Database::openForReading(const std::string& password) {
    ReadOnlyConnection read = openReadOnly(path_, password, busyTimeoutMs_);
    snapshot_ = std::move(read.snapshot);
    handle_ = std::move(read.connection);
    readLock_ = std::move(read.lock);
    readsAsItLies_ = read.asItLies;
    journal_.emplace(path_, false);
}

std::shared_ptr<Database> Database::create(const std::string& path, const std::string& password,
                                           const std::function<void(Database&)>& initialise) {
    // O_EXCL: never overwrite a file, even one that appears between a check
    // and the creation.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0) {
        const int err = errno;
        if (err == EEXIST)
            throw DbError("The file " + inQuotes(path) + " already exists; it is left as it is.");
        throw DbError("Cannot create the file " + inQuotes(path) + ".", 0,
                      std::system_category().message(err));
    }
    ::close(fd);
    std::shared_ptr<Database> database;
    try {
        database = open(path, password, OpenMode::ReadWrite);
        if (initialise)
            initialise(*database);
        return database;
    } catch (...) {
        if (database)
            database->Close();
        std::error_code ec;
        fs::remove(path, ec);
        throw;
    }
}

Database::~Database() {
    Close();
}

std::optional<DbError> Database::Close() {
    if (!handle_)
        return std::nullopt;
    statements_.clear();
    columns_.clear();
    // What was read since the last save; a save that did not finish is not
    // kept.
    rollback();
    exclusive_ = false;
    std::optional<DbError> closing;
    if (journal_)
        closing = journal_->close(handle_);
    handle_.reset();
    journal_.reset();
    snapshot_.reset();
    readLock_.reset();
    return closing;
}

sqlite3* Database::handle() const {
    if (!handle_)
        throw DbError("The database " + inQuotes(path_) + " is closed.", SQLITE_MISUSE);
    return handle_.get();
}

void Database::exec(const std::string& sql, const std::string& what) {
    char* error = nullptr;
    const int rc = sqlite3_exec(handle(), sql.c_str(), nullptr, nullptr, &error);
    const std::string engine = error ? error : sqlite3_errstr(rc);
    sqlite3_free(error);
    if (rc != SQLITE_OK) {
        throwIfGivenUp(rc);
        throw DbError(what + hintFor(rc, path_), rc, engine);
    }
}

void Database::rollback() noexcept {
    joined_ = 0;
    if (handle_ && !sqlite3_get_autocommit(handle_.get()))
        sqlite3_exec(handle_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
}

CachedStatement Database::cached(const std::string& sql) {
    auto it = statements_.find(sql);
    if (it == statements_.end())
        it = statements_.emplace(sql, std::make_unique<Statement>(handle(), sql)).first;
    if (CachedStatement::lent(*it->second))
        return CachedStatement(std::make_unique<Statement>(handle(), sql));
    return CachedStatement(*it->second);
}

const std::vector<Column>& Database::columns(const std::string& table) {
    const std::string key = toLower(table);
    if (auto it = columns_.find(key); it != columns_.end())
        return it->second;
    std::vector<Column> result;
    Statement s(handle(), "PRAGMA table_info(" + quoteIdentifier(table) + ")");
    while (s.step("Cannot read the fields of table " + table + " in " + inQuotes(path_) + ".")) {
        Column c = columnOfType(s.columnText(1), s.columnText(2));
        result.push_back(std::move(c));
    }
    return columns_.emplace(key, std::move(result)).first->second;
}

std::vector<std::string> Database::tableNames() {
    std::vector<std::string> names;
    Statement s(handle(), "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name");
    while (s.step("Cannot read the tables of " + inQuotes(path_) + "."))
        names.push_back(s.columnText(0));
    return names;
}

void Database::holdExclusively() {
    if (exclusive_)
        return;
    if (readOnly())
        throw DbError("The database " + inQuotes(path_) +
                      " was opened only for reading; it cannot be held for writing.");
    const std::string what = "Cannot take " + inQuotes(path_) + " for the update.";
    try {
        exec("PRAGMA locking_mode=EXCLUSIVE", what);
        // The engine takes the lock with the first write; taken now, a
        // program that holds the file is met here, before anything is
        // written.
        exec("BEGIN IMMEDIATE", what);
        exec("COMMIT", what);
    } catch (const Cancelled&) {
        throw;
    } catch (const DbError& e) {
        throw FileError(e);
    }
    exclusive_ = true;
}

void Database::releaseExclusively() {
    if (!exclusive_ || !handle_)
        return;
    exclusive_ = false;
    joined_ = 0;
    const std::string what = "Cannot let other programs into " + inQuotes(path_) + ".";
    if (!sqlite3_get_autocommit(handle_.get()))
        exec("COMMIT", what);
    // With locking_mode=NORMAL again, the engine lets go of the file lock
    // at the end of the next read.
    exec("PRAGMA locking_mode=NORMAL", what);
    check(handle_.get(), readSchema(handle_.get()), what);
}

void Database::joinTransaction() {
    if ((exclusive_ || readsAsItLies_) && sqlite3_get_autocommit(handle())) {
        joined_ = 0;
        exec("BEGIN", "Cannot read " + inQuotes(path_) + ".");
        joined_ = ++transactions_;
    }
}

void Database::commitTransaction() {
    joined_ = 0;
    if (exclusive_ && !sqlite3_get_autocommit(handle()))
        exec("COMMIT", "Cannot save the changes to " + inQuotes(path_) + ".");
}

Database::ReadMark Database::readMark() const {
    if (!exclusive_ || joined_ == 0 || !handle_ || sqlite3_get_autocommit(handle_.get()))
        return {};
    return {joined_, sqlite3_total_changes(handle_.get())};
}

std::string Database::journalMode() {
    Statement s(handle(), "PRAGMA journal_mode");
    s.step("Cannot read the journal mode of " + inQuotes(path_) + ".");
    return toLower(s.columnText(0));
}

} // namespace db
