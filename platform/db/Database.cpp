#include "platform/db/Database.h"

#include "platform/db/DbError.h"
#include "platform/db/Sqlite.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

namespace db {

namespace {

// How long closing waits for other programs to let go of a file before it
// leaves the journal mode to be restored by a later run.
constexpr int RestoreBudgetMs = 1000;

// Journal modes the files had before this process switched them to WAL,
// with the number of our connections that hold each file open.
struct JournalEntry {
    int connections = 0;
    bool checked = false; // the file passed its check before the first write
    std::string previousMode;
    std::string password; // to restore the mode when a reader closes last
};

// Never destroyed: a connection kept in a static of its own may close after
// every other static of the program is gone, and still finds it.
struct Registry {
    std::mutex mutex;
    std::map<std::string, JournalEntry> entries;
};
Registry& registry() {
    static Registry* const instance = new Registry;
    return *instance;
}

// Str() in SQL, as db::Str() does it: a text held where a number is expected
// is read as the number it spells.
void strFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    Value value;
    switch (sqlite3_value_type(argv[0])) {
    case SQLITE_NULL:
        sqlite3_result_null(context);
        return;
    case SQLITE_INTEGER:
        value = Value::integer(sqlite3_value_int64(argv[0]));
        break;
    case SQLITE_FLOAT:
        value = Value::number(sqlite3_value_double(argv[0]));
        break;
    default: {
        const auto* raw = static_cast<const char*>(sqlite3_value_blob(argv[0]));
        value = Value::text(
            std::string(raw ? raw : "", static_cast<std::size_t>(sqlite3_value_bytes(argv[0]))));
    }
    }
    try {
        const std::string result = *Str(value);
        sqlite3_result_text(context, result.data(), static_cast<int>(result.size()),
                            SQLITE_TRANSIENT);
    } catch (const DbError& e) {
        sqlite3_result_error(context, e.what(), -1);
    }
}

// Text compared whole, every character, ignoring ASCII letter case only.
// NOCASE stops at a NUL inside texts of the same length; a key search pairs
// it (which its index serves) with this.
int wholeNoCase(void*, int leftSize, const void* left, int rightSize, const void* right) {
    const auto* a = static_cast<const unsigned char*>(left);
    const auto* b = static_cast<const unsigned char*>(right);
    const int common = std::min(leftSize, rightSize);
    for (int i = 0; i < common; ++i) {
        const int x = asciiLower(a[i]), y = asciiLower(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return leftSize == rightSize ? 0 : (leftSize < rightSize ? -1 : 1);
}

// A connection of our own, closed however the scope ends.
using OwnConnection = std::unique_ptr<sqlite3, int (*)(sqlite3*)>;

OwnConnection connectForWriting(const std::string& path, const std::string& password) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    OwnConnection connection(raw, sqlite3_close_v2);
    if (rc != SQLITE_OK ||
        (!password.empty() &&
         sqlite3_key(raw, password.data(), static_cast<int>(password.size())) != SQLITE_OK))
        connection.reset();
    return connection;
}

// Runs a PRAGMA and keeps its first value, in lower case.
int runPragma(sqlite3* handle, const std::string& sql, std::string& value) {
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(handle, sql.c_str(), -1, &raw, nullptr);
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(raw, sqlite3_finalize);
    if (rc != SQLITE_OK)
        return rc;
    rc = sqlite3_step(raw);
    if (rc == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(raw, 0));
        value = toLower(text ? text : "");
    }
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? SQLITE_OK : rc;
}

// The engine does not wait for a lock through its busy handler when it
// changes the journal mode, so this tries again until `budgetMs` is spent.
// `inForce` gets the mode the engine reports.
int setJournalMode(sqlite3* handle, const std::string& mode, int budgetMs, std::string& inForce) {
    const auto giveUp = steady_clock::now() + milliseconds(budgetMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<milliseconds>(giveUp - steady_clock::now()).count();
        sqlite3_busy_timeout(handle, static_cast<int>(std::max<long long>(left, 0)));
        const int rc = runPragma(handle, "PRAGMA journal_mode=" + mode, inForce);
        const int primary = rc & 0xff;
        if ((primary != SQLITE_BUSY && primary != SQLITE_LOCKED) || steady_clock::now() >= giveUp)
            return rc;
        std::this_thread::sleep_for(milliseconds(20));
    }
}

bool isRollbackMode(const std::string& mode) {
    return mode == "delete" || mode == "truncate" || mode == "persist";
}

// The mode the marker beside `path` keeps; nothing without a marker. A
// marker that cannot be understood stands for the engine's default.
std::optional<std::string> markedMode(const std::string& path) {
    const auto line = readLine(journalMarkerOf(path));
    if (!line)
        return std::nullopt;
    return isRollbackMode(*line) ? *line : std::string("delete");
}

// Leaving WAL needs the file to ourselves; when another program has it open,
// it stays in WAL mode and the marker stays for a later run to finish.
void restoreJournalMode(sqlite3* handle, const std::string& path, const std::string& mode) {
    // A read first makes the connection take up the WAL files, so that
    // leaving WAL checkpoints them and removes them.
    sqlite3_busy_timeout(handle, RestoreBudgetMs);
    sqlite3_exec(handle, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    std::string inForce;
    setJournalMode(handle, mode, RestoreBudgetMs, inForce);
    std::string now;
    if (runPragma(handle, "PRAGMA journal_mode", now) == SQLITE_OK && now != "wal")
        removeDurably(journalMarkerOf(path));
}

std::string registryKeyFor(const std::string& path) {
    std::error_code ec;
    fs::path canonical = fs::canonical(path, ec);
    return ec ? fs::absolute(path).lexically_normal().string() : canonical.string();
}

bool heldByThisProcess(const std::string& key) {
    std::lock_guard lock(registry().mutex);
    const auto it = registry().entries.find(key);
    return it != registry().entries.end() && it->second.connections > 0;
}

// A URI that opens `path` as a file nothing changes: no locks, no journal,
// no files beside it.
std::string immutableUri(const std::string& path) {
    static const char* const hex = "0123456789ABCDEF";
    std::string uri = "file:";
    for (const unsigned char c : fs::absolute(path).string()) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            uri += static_cast<char>(c);
        } else {
            uri += '%';
            uri += hex[c >> 4];
            uri += hex[c & 0xf];
        }
    }
    return uri + "?immutable=1";
}

// Lets the engine recover a private copy as it would the file: it rolls
// back a journal or takes in a WAL, and the copy leaves WAL mode.
void recoverCopy(const std::string& path, const std::string& password) {
    const OwnConnection connection = connectForWriting(path, password);
    if (!connection)
        return;
    std::string mode;
    if (sqlite3_exec(connection.get(), "SELECT count(*) FROM sqlite_master", nullptr, nullptr,
                     nullptr) == SQLITE_OK &&
        runPragma(connection.get(), "PRAGMA journal_mode", mode) == SQLITE_OK && mode == "wal")
        runPragma(connection.get(), "PRAGMA journal_mode=delete", mode);
}

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

std::string journalMarkerOf(const std::string& path) {
    return path + "-journalmode";
}

std::string quoteIdentifier(const std::string& name) {
    return enclosed(name, '"');
}

Database::Database(std::string path, OpenMode mode, int busyTimeoutMs)
    : path_(std::move(path)), registryKey_(registryKeyFor(path_)), mode_(mode),
      busyTimeoutMs_(busyTimeoutMs) {}

std::shared_ptr<Database> Database::open(const std::string& path, const std::string& password,
                                         OpenMode mode, int busyTimeoutMs) {
    std::error_code ec;
    if (path.empty())
        throw DbError("No database file was named.", SQLITE_CANTOPEN);
    const auto status = fs::status(path, ec);
    if (!fs::exists(status))
        throw DbError("The database file " + inQuotes(path) + " does not exist.", SQLITE_CANTOPEN);
    if (fs::is_directory(status))
        throw DbError(inQuotes(path) + " is a folder, not a database file.", SQLITE_CANTOPEN);

    std::shared_ptr<Database> db(new Database(path, mode, busyTimeoutMs));
    if (mode == OpenMode::ReadWrite)
        db->openForWriting(password);
    else
        db->openForReading(password);
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
    connect(path_, SQLITE_OPEN_READWRITE, password);
    registerConnection();
    // A file without tables (a zero-length file among them) is not a
    // Varnholt database: nothing is written to it, not even a journal mode.
    if (tableNames().empty())
        return;
    refuseDamagedFile();
    enterWal(password);
}

void Database::openForReading(const std::string& password) {
    // Our own connection to the file has its locks, and any WAL files beside
    // it go when our last connection closes.
    if (heldByThisProcess(registryKey_)) {
        connect(path_, SQLITE_OPEN_READONLY, password);
        registerConnection();
        return;
    }
    // Read as it lies, the file must not change while it is opened; a
    // program that is writing it is waited on.
    const ReadLock lock(path_, busyTimeoutMs_);
    if (sizeOf(path_ + "-journal") == 0 && sizeOf(path_ + "-wal") == 0) {
        connect(immutableUri(path_), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, password);
        registerConnection();
        readsAsItLies_ = true;
        return;
    }
    try {
        copy_ = std::make_unique<PrivateCopy>(path_);
    } catch (const DbError& e) {
        throw DbError("The database file " + inQuotes(path_) +
                          " was left unfinished by a program that stopped while writing it, and "
                          "it can be read once it has been opened with write access. " +
                          e.what(),
                      e.code());
    }
    recoverCopy(copy_->path(), password);
    connect(copy_->path(), SQLITE_OPEN_READONLY, password);
    registerConnection();
    readsAsItLies_ = true;
}

void Database::connect(const std::string& target, int flags, const std::string& password) {
    int rc = sqlite3_open_v2(target.c_str(), &handle_, flags, nullptr);
    if (rc != SQLITE_OK) {
        const std::string engine = handle_ ? sqlite3_errmsg(handle_) : sqlite3_errstr(rc);
        sqlite3_close_v2(handle_);
        handle_ = nullptr;
        throw DbError("Cannot open the database file " + inQuotes(path_) +
                          ": it cannot be read (check that you may read it).",
                      rc, engine);
    }
    sqlite3_busy_timeout(handle_, busyTimeoutMs_);
    if (!password.empty()) {
        rc = sqlite3_key(handle_, password.data(), static_cast<int>(password.size()));
        check(handle_, rc, "Cannot set the password of " + inQuotes(path_) + ".");
    }
    verifyKey();
    registerFunctions();
}

int Database::registerConnection() {
    std::lock_guard lock(registry().mutex);
    registered_ = true;
    return registry().entries[registryKey_].connections++;
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

void Database::verifyKey() {
    // SQLCipher only reads the file when first asked for something; reading
    // the schema now tells a wrong password at once.
    const int rc =
        sqlite3_exec(handle_, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        return;
    const std::string engine = sqlite3_errmsg(handle_);
    sqlite3_close_v2(handle_);
    handle_ = nullptr;
    if (rc == SQLITE_NOTADB)
        throw DbError("Cannot open " + inQuotes(path_) +
                          ": the password is wrong, or the file is not a Varnholt database.",
                      rc, engine);
    throw DbError("Cannot read the database file " + inQuotes(path_) + "." + hintFor(rc, path_), rc,
                  engine);
}

void Database::registerFunctions() {
    int rc = sqlite3_create_function(handle_, "Str", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                     strFunction, nullptr, nullptr);
    check(handle_, rc, "Cannot prepare the database connection.");
    rc = sqlite3_create_collation(handle_, WholeNoCase, SQLITE_UTF8, nullptr, wholeNoCase);
    check(handle_, rc, "Cannot prepare the database connection.");
}

void Database::refuseDamagedFile() {
    {
        std::lock_guard lock(registry().mutex);
        if (registry().entries[registryKey_].checked)
            return;
    }
    // Every page is read and its structure checked: a file damaged anywhere
    // is refused before the first write, not half-way through an update.
    std::vector<std::string> problems;
    int rc = SQLITE_OK;
    std::string engine;
    try {
        Statement s(handle(), "PRAGMA quick_check");
        while (s.step("Cannot check the database file " + inQuotes(path_) + "."))
            problems.push_back(s.columnText(0));
    } catch (const DbError& e) {
        if ((e.code() & 0xff) != SQLITE_CORRUPT && (e.code() & 0xff) != SQLITE_NOTADB)
            throw;
        rc = e.code();
        engine = e.engineMessage();
    }
    if (rc == SQLITE_OK && problems.size() == 1 && problems.front() == "ok") {
        std::lock_guard lock(registry().mutex);
        registry().entries[registryKey_].checked = true;
        return;
    }
    throw DbError("The database file " + inQuotes(path_) +
                      " is damaged, and nothing was written to it. Restore it from a backup "
                      "and try again.",
                  rc == SQLITE_OK ? SQLITE_CORRUPT : rc,
                  engine.empty() && !problems.empty() ? firstProblem(problems.front()) : engine);
}

void Database::enterWal(const std::string& password) {
    // The mode to restore is written down before the switch, so that a run
    // killed in WAL mode is put right by the next one.
    const std::string marker = journalMarkerOf(path_);
    std::optional<std::string> previous = markedMode(path_);
    if (journalMode() != "wal") {
        const bool marking = !previous;
        if (marking) {
            previous = journalMode();
            writeDurably(marker, *previous + "\n");
        }
        try {
            switchToWal();
        } catch (...) {
            if (marking)
                removeDurably(marker);
            throw;
        }
    }
    if (previous) {
        std::lock_guard lock(registry().mutex);
        auto& entry = registry().entries[registryKey_];
        if (entry.previousMode.empty()) {
            entry.previousMode = *previous;
            entry.password = password;
        }
    }
    exec("PRAGMA synchronous=NORMAL", "Cannot set up " + inQuotes(path_) + ".");
}

void Database::switchToWal() {
    std::string inForce;
    const int rc = setJournalMode(handle(), "wal", busyTimeoutMs_, inForce);
    sqlite3_busy_timeout(handle_, busyTimeoutMs_);
    const std::string what = "Cannot switch " + inQuotes(path_) + " to WAL mode.";
    check(handle_, rc, what);
    if (inForce != "wal")
        throw DbError(what + " The engine kept the journal mode " + inQuotes(inForce) + ".");
}

void Database::recoverAfterCrash(const std::string& path, const std::string& password) {
    const auto previous = markedMode(path);
    if (!previous && sizeOf(path + "-journal") == 0)
        return;
    if (!mayWrite(path) || !mayWrite(folderOf(path)) || heldByThisProcess(registryKeyFor(path)))
        return;
    const OwnConnection connection = connectForWriting(path, password);
    if (!connection)
        return;
    sqlite3_busy_timeout(connection.get(), RestoreBudgetMs);
    // The first read rolls back a hot journal.
    std::string mode;
    if (sqlite3_exec(connection.get(), "SELECT count(*) FROM sqlite_master", nullptr, nullptr,
                     nullptr) != SQLITE_OK ||
        !previous || runPragma(connection.get(), "PRAGMA journal_mode", mode) != SQLITE_OK)
        return;
    if (mode == "wal")
        restoreJournalMode(connection.get(), path, *previous);
    else
        removeDurably(journalMarkerOf(path));
}

void Database::holdExclusively() {
    if (exclusive_)
        return;
    if (readOnly())
        throw DbError("The database " + inQuotes(path_) +
                      " was opened only for reading; it cannot be held for writing.");
    const std::string what = "Cannot take " + inQuotes(path_) + " for the update.";
    exec("PRAGMA locking_mode=EXCLUSIVE", what);
    // The lock is taken by the first write; taken now, a program that holds
    // the file is met here, before anything is written.
    exec("BEGIN IMMEDIATE", what);
    exec("COMMIT", what);
    exclusive_ = true;
}

void Database::releaseExclusively() {
    if (!exclusive_ || !handle_)
        return;
    exclusive_ = false;
    const std::string what = "Cannot let other programs into " + inQuotes(path_) + ".";
    if (!sqlite3_get_autocommit(handle_))
        exec("COMMIT", what);
    // The file lock goes with the next read once the mode is normal again.
    exec("PRAGMA locking_mode=NORMAL", what);
    exec("SELECT count(*) FROM sqlite_master", what);
}

void Database::joinTransaction() {
    if ((exclusive_ || readsAsItLies_) && sqlite3_get_autocommit(handle()))
        exec("BEGIN", "Cannot read " + inQuotes(path_) + ".");
}

void Database::commitTransaction() {
    if (exclusive_ && !sqlite3_get_autocommit(handle()))
        exec("COMMIT", "Cannot save the changes to " + inQuotes(path_) + ".");
}

std::string Database::journalMode() {
    Statement s(handle(), "PRAGMA journal_mode");
    s.step("Cannot read the journal mode of " + inQuotes(path_) + ".");
    return toLower(s.columnText(0));
}

void Database::Close() {
    if (!handle_)
        return;
    statements_.clear();
    columns_.clear();
    // What was read since the last save; a save that did not finish is not
    // kept.
    if (!sqlite3_get_autocommit(handle_))
        sqlite3_exec(handle_, "ROLLBACK", nullptr, nullptr, nullptr);
    JournalEntry restore;
    if (registered_) {
        std::lock_guard lock(registry().mutex);
        auto it = registry().entries.find(registryKey_);
        if (it != registry().entries.end() && --it->second.connections == 0) {
            restore = it->second;
            registry().entries.erase(it);
        }
        registered_ = false;
    }
    if (!restore.previousMode.empty() && mode_ == OpenMode::ReadWrite)
        restoreJournalMode(handle_, path_, restore.previousMode);
    sqlite3_close_v2(handle_);
    handle_ = nullptr;
    copy_.reset();
    // The last of our connections only read: a short-lived writer puts the
    // mode back.
    if (!restore.previousMode.empty() && mode_ == OpenMode::ReadOnly) {
        if (const OwnConnection writer = connectForWriting(path_, restore.password))
            restoreJournalMode(writer.get(), path_, restore.previousMode);
    }
}

sqlite3* Database::handle() const {
    if (!handle_)
        throw DbError("The database " + inQuotes(path_) + " is closed.", SQLITE_MISUSE);
    return handle_;
}

void Database::exec(const std::string& sql, const std::string& what) {
    char* error = nullptr;
    const int rc = sqlite3_exec(handle(), sql.c_str(), nullptr, nullptr, &error);
    const std::string engine = error ? error : sqlite3_errstr(rc);
    sqlite3_free(error);
    if (rc != SQLITE_OK)
        throw DbError(what + hintFor(rc, path_), rc, engine);
}

Statement& Database::cached(const std::string& sql) {
    auto it = statements_.find(sql);
    if (it == statements_.end())
        it = statements_.emplace(sql, std::make_unique<Statement>(handle(), sql)).first;
    return *it->second;
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

Transaction::Transaction(Database& database) : database_(database) {
    database_.commitTransaction();
    database_.exec("BEGIN IMMEDIATE",
                   "Cannot start writing to " + inQuotes(database_.path()) + ".");
}

Transaction::~Transaction() {
    if (!done_ && database_.isOpen())
        sqlite3_exec(database_.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::commit() {
    database_.exec("COMMIT", "Cannot save the changes to " + inQuotes(database_.path()) + ".");
    done_ = true;
}

} // namespace db
