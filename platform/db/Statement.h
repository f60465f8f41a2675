#pragma once

#include "platform/db/Value.h"

#include <concepts>
#include <memory>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace db {

// Words that tell a user what to do about a result code (a file in use, a
// full disk, ...), led by a blank; empty when there is nothing to add. With
// the database `file` named, an I/O error on a disk with next to no room left
// is told as the full disk it is.
std::string hintFor(int rc, const std::string& file = {});

// Throws DbError when `rc` is a failure: `what` says what failed, the
// engine's message of `handle` (if any) follows it.
void check(sqlite3* handle, int rc, const std::string& what);

// Owns one prepared statement. Its reset() guard keeps an exception from
// leaving a statement active, which would hold a read transaction open.
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
    void reset();

    int columnCount() const;
    std::string columnName(int column) const;
    bool isNull(int column) const;
    std::int64_t columnInt64(int column) const;
    std::string columnText(int column) const;
    // The stored value as it is: NULL null, INTEGER and REAL numbers, TEXT
    // text (dates are read by the caller, who knows the column). Binary data
    // is a DbError.
    Value columnValue(int column) const;
    sqlite3_stmt* get() const { return stmt_.get(); }

    // Resets the statement when the scope ends, however it ends.
    class ResetGuard {
    public:
        explicit ResetGuard(Statement& s) : s_(s) {}
        ~ResetGuard() { s_.reset(); }
        ResetGuard(const ResetGuard&) = delete;
        ResetGuard& operator=(const ResetGuard&) = delete;

    private:
        Statement& s_;
    };

private:
    static const int RowCode;
    static const int DoneCode;
    int stepOnce();
    [[noreturn]] void fail(int rc, const std::string& what) const;

    struct Finalizer {
        void operator()(sqlite3_stmt* s) const noexcept;
    };
    sqlite3* handle_;
    std::unique_ptr<sqlite3_stmt, Finalizer> stmt_;
};

} // namespace db
