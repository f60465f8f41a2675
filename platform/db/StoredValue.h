#pragma once

#include "platform/db/Statement.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace db {

// A field value exactly as a file stores it: its storage class and its bytes.
// Where db::Value reads a value as the merges see it, this keeps what that
// reading blurs (an integer apart from a real, a date as the text it is
// stored as, binary data), so that a record copied through it and written
// back is the record it was.
class StoredValue {
public:
    enum class Type { Null, Integer, Real, Text, Blob };

    StoredValue() = default; // null
    static StoredValue integer(std::int64_t number);
    static StoredValue real(double number);
    static StoredValue text(std::string text);
    static StoredValue blob(std::string bytes);

    // Column `column` of the row `statement` stands on.
    static StoredValue of(const Statement& statement, int column);

    Type type() const;
    bool isNull() const { return type() == Type::Null; }

    // Binds the value, as it is, to parameter `index` of `statement`.
    void bindTo(Statement& statement, int index) const;

    // The value as `vhdb export` writes it: nothing for null, a number in its
    // shortest decimal form, text as it is; binary data as X'…' in hex.
    std::optional<std::string> exportText() const;
    // For messages: the text form in quotes, or "null", or "binary data".
    std::string describe() const;

    friend bool operator==(const StoredValue&, const StoredValue&) = default;

private:
    struct Bytes {
        std::string bytes;
        friend bool operator==(const Bytes&, const Bytes&) = default;
    };
    using Data = std::variant<std::monostate, std::int64_t, double, std::string, Bytes>;
    explicit StoredValue(Data data) : data_(std::move(data)) {}
    Data data_;
};

// The values of one record, in the order of the columns read.
using StoredRow = std::vector<StoredValue>;

// Columns `first` to `first + count - 1` of the row `statement` stands on.
StoredRow storedRow(const Statement& statement, int first, int count);

// The type affinity the engine gives a column of that declared type
// ("INTEGER", "TEXT", "BLOB", "REAL" or "NUMERIC"): a column declared with
// it stores every value as the original column does.
std::string affinityOf(const std::string& declaredType);

} // namespace db
