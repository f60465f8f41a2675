#include "platform/db/Statement.h"

#include "platform/db/DbError.h"
#include "platform/db/Sqlite.h"

#include <set>
#include <utility>

namespace db {

void Statement::Finalizer::operator()(sqlite3_stmt* s) const noexcept {
    sqlite3_finalize(s);
}

const int Statement::RowCode = SQLITE_ROW;
const int Statement::DoneCode = SQLITE_DONE;

Statement::Statement(sqlite3* handle, const std::string& sql) : handle_(handle) {
    sqlite3_stmt* raw = nullptr;
    const int rc =
        sqlite3_prepare_v2(handle, sql.c_str(), static_cast<int>(sql.size()), &raw, nullptr);
    stmt_.reset(raw);
    check(handle, rc, "Cannot prepare the query \"" + sql + "\".");
    if (!stmt_)
        throw DbError("The query \"" + sql + "\" is empty.", SQLITE_MISUSE);
}

void Statement::bind(int index, const Value& value) {
    int rc = SQLITE_OK;
    switch (value.kind()) {
    case Value::Kind::Null:
        rc = sqlite3_bind_null(stmt_.get(), index);
        break;
    case Value::Kind::Text: {
        const std::string& s = value.asText();
        rc = sqlite3_bind_text(stmt_.get(), index, s.data(), static_cast<int>(s.size()),
                               SQLITE_TRANSIENT);
        break;
    }
    case Value::Kind::Number:
        rc = value.isInteger() ? sqlite3_bind_int64(stmt_.get(), index, value.asInteger())
                               : sqlite3_bind_double(stmt_.get(), index, value.asNumber());
        break;
    case Value::Kind::Date: {
        const std::string s = value.asDate().text();
        rc = sqlite3_bind_text(stmt_.get(), index, s.data(), static_cast<int>(s.size()),
                               SQLITE_TRANSIENT);
        break;
    }
    }
    if (rc != SQLITE_OK)
        fail(rc, "Cannot pass the value " + value.describe() + " to the database.");
}

int Statement::stepOnce() {
    return sqlite3_step(stmt_.get());
}

void Statement::fail(int rc, const std::string& what) const {
    // sqlite3_step (v2 interface) returns the specific code; the message is
    // the connection's.
    check(handle_, rc, what);
    throw DbError(what, rc); // check() always throws for a failure code
}

void Statement::reset() {
    if (stmt_) {
        sqlite3_reset(stmt_.get());
        sqlite3_clear_bindings(stmt_.get());
    }
}

std::int64_t Statement::changes() const {
    return sqlite3_changes(handle_);
}

std::int64_t Statement::lastInsertRowId() const {
    return sqlite3_last_insert_rowid(handle_);
}

bool Statement::readsOnly() const {
    return sqlite3_stmt_readonly(stmt_.get()) != 0;
}

int Statement::columnCount() const {
    return sqlite3_column_count(stmt_.get());
}

std::string Statement::columnName(int column) const {
    const char* name = sqlite3_column_name(stmt_.get(), column);
    return name ? name : "";
}

ColumnOrigin Statement::columnOrigin(int column) const {
    const auto text = [](const char* s) { return std::string(s ? s : ""); };
    return {text(sqlite3_column_table_name(stmt_.get(), column)),
            text(sqlite3_column_origin_name(stmt_.get(), column)),
            text(sqlite3_column_database_name(stmt_.get(), column)),
            text(sqlite3_column_decltype(stmt_.get(), column))};
}

bool Statement::isNull(int column) const {
    return sqlite3_column_type(stmt_.get(), column) == SQLITE_NULL;
}

std::int64_t Statement::columnInt64(int column) const {
    return sqlite3_column_int64(stmt_.get(), column);
}

std::string Statement::columnText(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_.get(), column));
    const int size = sqlite3_column_bytes(stmt_.get(), column);
    return text ? std::string(text, static_cast<std::size_t>(size)) : std::string();
}

Value Statement::columnValue(int column) const {
    switch (sqlite3_column_type(stmt_.get(), column)) {
    case SQLITE_NULL:
        return Value();
    case SQLITE_INTEGER:
        return Value::integer(sqlite3_column_int64(stmt_.get(), column));
    case SQLITE_FLOAT:
        return Value::number(sqlite3_column_double(stmt_.get(), column));
    case SQLITE_TEXT:
        return Value::text(columnText(column));
    default:
        throw ValueError({{}, {}, columnName(column)}, "binary data", "this program cannot read",
                         ValueError::Direction::Read);
    }
}

// ---- CachedStatement ----

namespace {
// The cached statements out on loan. Every connection is used by one thread
// at a time, and so is each of its statements.
thread_local std::set<const Statement*> onLoan;
} // namespace

CachedStatement::CachedStatement(Statement& cached) : statement_(&cached) {
    onLoan.insert(statement_);
}

CachedStatement::CachedStatement(std::unique_ptr<Statement> own)
    : statement_(own.get()), own_(std::move(own)) {}

CachedStatement::CachedStatement(CachedStatement&& other) noexcept
    : statement_(std::exchange(other.statement_, nullptr)), own_(std::move(other.own_)) {}

CachedStatement::~CachedStatement() {
    if (!statement_)
        return;
    statement_->reset();
    if (!own_)
        onLoan.erase(statement_);
}

bool CachedStatement::lent(const Statement& statement) {
    return onLoan.count(&statement) > 0;
}

} // namespace db
