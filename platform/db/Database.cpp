#include "platform/db/Database.h"

#include "platform/db/DbError.h"
#include "platform/db/Sqlite.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace db {

namespace {

// Journal modes the files had before this process switched them to WAL,
// with the number of our connections that hold each file open.
struct JournalEntry {
    int connections = 0;
    std::string previousMode;
    std::string password; // to restore the mode when a reader closes last
};
std::mutex registryMutex;
std::map<std::string, JournalEntry>& journalRegistry() {
    static std::map<std::string, JournalEntry> registry;
    return registry;
}

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
        const auto* raw = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
        const std::string text = raw ? raw : "";
        const auto number = parseNumber(text);
        if (!number) {
            const std::string message = "Str() needs a number, not " + quotedValue(text);
            sqlite3_result_error(context, message.c_str(), -1);
            return;
        }
        value = *number;
    }
    }
    const std::string result = *Str(value);
    sqlite3_result_text(context, result.data(), static_cast<int>(result.size()), SQLITE_TRANSIENT);
}

// Leaving WAL needs the file to ourselves; when another program has it open,
// it simply stays in WAL mode.
void restoreJournalMode(sqlite3* handle, const std::string& mode) {
    sqlite3_busy_timeout(handle, 0);
    // A read first makes the connection take up the WAL files, so that
    // leaving WAL checkpoints them and removes them.
    sqlite3_exec(handle, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    const std::string sql = "PRAGMA journal_mode=" + mode;
    sqlite3_exec(handle, sql.c_str(), nullptr, nullptr, nullptr);
}

std::string registryKeyFor(const std::string& path) {
    std::error_code ec;
    fs::path canonical = fs::canonical(path, ec);
    return ec ? fs::absolute(path).lexically_normal().string() : canonical.string();
}

} // namespace

std::string quoteIdentifier(const std::string& name) {
    return enclosed(name, '"');
}

Column columnOfType(std::string name, std::string declaredType) {
    Column c{std::move(name), std::move(declaredType)};
    const std::string type = toLower(c.declaredType);
    auto has = [&type](const char* part) { return type.find(part) != std::string::npos; };
    c.isDate = has("date") || has("time");
    c.isNumeric = !c.isDate && (has("int") || has("num") || has("real") || has("floa") ||
                                has("doub") || has("dec"));
    c.isText = !c.isDate && !c.isNumeric && (has("char") || has("clob") || has("text"));
    return c;
}

Database::Database(std::string path, OpenMode mode)
    : path_(std::move(path)), registryKey_(registryKeyFor(path_)), mode_(mode) {}

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

    std::shared_ptr<Database> db(new Database(path, mode));
    const int flags = mode == OpenMode::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    int rc = sqlite3_open_v2(path.c_str(), &db->handle_, flags, nullptr);
    if (rc != SQLITE_OK) {
        const std::string engine = db->handle_ ? sqlite3_errmsg(db->handle_) : sqlite3_errstr(rc);
        sqlite3_close_v2(db->handle_);
        db->handle_ = nullptr;
        throw DbError("Cannot open the database file " + inQuotes(path) +
                          ": it cannot be read (check that you may read it).",
                      rc, engine);
    }
    sqlite3_busy_timeout(db->handle_, busyTimeoutMs);
    if (!password.empty()) {
        rc = sqlite3_key(db->handle_, password.data(), static_cast<int>(password.size()));
        check(db->handle_, rc, "Cannot set the password of " + inQuotes(path) + ".");
    }
    db->verifyKey();
    db->registerFunctions();
    {
        std::lock_guard lock(registryMutex);
        journalRegistry()[db->registryKey_].connections++;
        db->registered_ = true;
    }
    // A file without tables (a zero-length file among them) is not a
    // Varnholt database: nothing is written to it, not even a journal mode.
    if (mode == OpenMode::ReadWrite && !db->tableNames().empty())
        db->enterWal(password);
    return db;
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
    throw DbError("Cannot read the database file " + inQuotes(path_) + "." + hintFor(rc), rc,
                  engine);
}

void Database::registerFunctions() {
    const int rc = sqlite3_create_function(handle_, "Str", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                           nullptr, strFunction, nullptr, nullptr);
    check(handle_, rc, "Cannot prepare the database connection.");
}

void Database::enterWal(const std::string& password) {
    const std::string previous = journalMode();
    if (previous != "wal") {
        exec("PRAGMA journal_mode=WAL", "Cannot switch " + inQuotes(path_) + " to WAL mode.");
        std::lock_guard lock(registryMutex);
        auto& entry = journalRegistry()[registryKey_];
        if (entry.previousMode.empty()) {
            entry.previousMode = previous;
            entry.password = password;
        }
    }
    exec("PRAGMA synchronous=NORMAL", "Cannot set up " + inQuotes(path_) + ".");
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
    JournalEntry restore;
    if (registered_) {
        std::lock_guard lock(registryMutex);
        auto it = journalRegistry().find(registryKey_);
        if (it != journalRegistry().end() && --it->second.connections == 0) {
            restore = it->second;
            journalRegistry().erase(it);
        }
        registered_ = false;
    }
    if (restore.previousMode.empty()) {
        sqlite3_close_v2(handle_);
    } else if (mode_ == OpenMode::ReadWrite) {
        restoreJournalMode(handle_, restore.previousMode);
        sqlite3_close_v2(handle_);
    } else {
        // The last of our connections only reads: a short-lived writer puts
        // the mode back.
        sqlite3_close_v2(handle_);
        sqlite3* writer = nullptr;
        if (sqlite3_open_v2(path_.c_str(), &writer, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK &&
            (restore.password.empty() ||
             sqlite3_key(writer, restore.password.data(),
                         static_cast<int>(restore.password.size())) == SQLITE_OK))
            restoreJournalMode(writer, restore.previousMode);
        sqlite3_close_v2(writer);
    }
    handle_ = nullptr;
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
        throw DbError(what + hintFor(rc), rc, engine);
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
