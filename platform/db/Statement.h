#pragma once

#include "platform/db/Value.h"

#include <concepts>
#include <cstdint>
#include <memory>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace db {

// Where a result column of a query comes from: the table, the table's
// column, the database ("main") and the column's declared type; a part is
// empty when the column is no column of a table (an expression).
struct ColumnOrigin {
    std::string table;
    std::string column;
    std::string schema;
    std::string declaredType;
};

// Owns one prepared statement of a connection.
class Statement {
public:
    Statement(sqlite3* handle, const std::string& sql);
    Statement(Statement&&) noexcept = default;
    Statement& operator=(Statement&&) noexcept = default;

    void bind(int index, const Value& value);
    // Steps once: true when a row is there, false when done. Errors throw,
    // with `what` saying what failed.
    bool step(const std::string& what) {
        return step([&what] { return what; });
    }
    // The same, with the message made only on failure: for statements run
    // once a record.
    template <std::invocable Describe> bool step(Describe&& describe) {
        const int rc = stepOnce();
        if (rc != RowCode && rc != DoneCode)
            fail(rc, describe());
        return rc == RowCode;
    }
    // Runs a statement that returns no rows (INSERT, UPDATE, DELETE) and
    // returns how many records it changed.
    template <std::invocable Describe> std::int64_t run(Describe&& describe) {
        while (step(describe)) {
        }
        return changes();
    }
    std::int64_t run(const std::string& what) {
        return run([&what] { return what; });
    }
    // Back to before the first step, with no values bound.
    void reset();

    // The row id the connection gave the record it inserted last.
    std::int64_t lastInsertRowId() const;

    // Whether the statement only reads, and the columns of its result.
    bool readsOnly() const;
    int columnCount() const;
    std::string columnName(int column) const;
    ColumnOrigin columnOrigin(int column) const;

    // The current row's columns.
    bool isNull(int column) const;
    std::int64_t columnInt64(int column) const;
    std::string columnText(int column) const;
    // The stored value as it is: NULL null, INTEGER and REAL numbers, TEXT
    // text (dates are read by the caller, who knows the column). Binary data
    // is a DbError.
    Value columnValue(int column) const;
    sqlite3_stmt* get() const { return stmt_.get(); }

private:
    static const int RowCode;
    static const int DoneCode;
    int stepOnce();
    std::int64_t changes() const;
    [[noreturn]] void fail(int rc, const std::string& what) const;

    struct Finalizer {
        void operator()(sqlite3_stmt* s) const noexcept;
    };
    sqlite3* handle_;
    std::unique_ptr<sqlite3_stmt, Finalizer> stmt_;
};

// A statement a connection keeps prepared for reuse, lent out for one use:
// when the loan ends, however it ends, the statement is reset and its values
// unbound, so that it never holds a read transaction open. A statement
// already out on loan is not lent twice: the second borrower gets one of its
// own.
class CachedStatement {
public:
    explicit CachedStatement(Statement& cached);
    explicit CachedStatement(std::unique_ptr<Statement> own);
    ~CachedStatement();
    CachedStatement(CachedStatement&& other) noexcept;
    CachedStatement(const CachedStatement&) = delete;
    CachedStatement& operator=(const CachedStatement&) = delete;
    CachedStatement& operator=(CachedStatement&&) = delete;

    Statement* operator->() const { return statement_; }
    Statement& operator*() const { return *statement_; }

    // Whether `statement` is out on loan.
    static bool lent(const Statement& statement);

private:
    Statement* statement_;
    std::unique_ptr<Statement> own_;
};

} // namespace db
