#include "platform/db/StoredValue.h"

#include "platform/db/DbError.h"
#include "platform/db/Sqlite.h"
#include "platform/db/Text.h"
#include "platform/db/Value.h"

namespace db {

StoredValue StoredValue::integer(std::int64_t number) {
    return StoredValue(Data(std::in_place_index<1>, number));
}

StoredValue StoredValue::real(double number) {
    return StoredValue(Data(std::in_place_index<2>, number));
}

StoredValue StoredValue::text(std::string text) {
    return StoredValue(Data(std::in_place_index<3>, std::move(text)));
}

StoredValue StoredValue::blob(std::string bytes) {
    return StoredValue(Data(std::in_place_index<4>, Bytes{std::move(bytes)}));
}

StoredValue StoredValue::of(const Statement& statement, int column) {
    sqlite3_stmt* stmt = statement.get();
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_NULL:
        return {};
    case SQLITE_INTEGER:
        return integer(sqlite3_column_int64(stmt, column));
    case SQLITE_FLOAT:
        return real(sqlite3_column_double(stmt, column));
    case SQLITE_TEXT:
        return text(statement.columnText(column));
    default: {
        const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt, column));
        const auto size = static_cast<std::size_t>(sqlite3_column_bytes(stmt, column));
        return blob(bytes ? std::string(bytes, size) : std::string());
    }
    }
}

StoredValue::Type StoredValue::type() const {
    return static_cast<Type>(data_.index());
}

void StoredValue::bindTo(Statement& statement, int index) const {
    switch (type()) {
    case Type::Null:
        statement.bind(index, Value());
        return;
    case Type::Integer:
        statement.bind(index, Value::integer(std::get<1>(data_)));
        return;
    case Type::Real:
        statement.bind(index, Value::number(std::get<2>(data_)));
        return;
    case Type::Text:
        statement.bind(index, Value::text(std::get<3>(data_)));
        return;
    case Type::Blob:
        break;
    }
    const std::string& bytes = std::get<4>(data_).bytes;
    sqlite3_stmt* stmt = statement.get();
    check(sqlite3_db_handle(stmt),
          sqlite3_bind_blob(stmt, index, bytes.data(), static_cast<int>(bytes.size()),
                            SQLITE_TRANSIENT),
          "Cannot pass binary data to the database.");
}

std::optional<std::string> StoredValue::exportText() const {
    switch (type()) {
    case Type::Null:
        return std::nullopt;
    case Type::Integer:
        return Value::integer(std::get<1>(data_)).toText();
    case Type::Real:
        return Value::number(std::get<2>(data_)).toText();
    case Type::Text:
        return std::get<3>(data_);
    case Type::Blob:
        break;
    }
    static const char* const hex = "0123456789ABCDEF";
    std::string shown = "X'";
    for (const unsigned char byte : std::get<4>(data_).bytes) {
        shown += hex[byte >> 4];
        shown += hex[byte & 0xf];
    }
    return shown + "'";
}

std::string StoredValue::describe() const {
    if (isNull())
        return "null";
    if (type() == Type::Blob)
        return "binary data";
    return quotedValue(*exportText());
}

StoredRow storedRow(const Statement& statement, int first, int count) {
    StoredRow row;
    row.reserve(static_cast<std::size_t>(count));
    for (int column = first; column < first + count; ++column)
        row.push_back(StoredValue::of(statement, column));
    return row;
}

std::string affinityOf(const std::string& declaredType) {
    // The engine's rules, in its order.
    const std::string type = toLower(declaredType);
    if (type.find("int") != std::string::npos)
        return "INTEGER";
    if (type.find("char") != std::string::npos || type.find("clob") != std::string::npos ||
        type.find("text") != std::string::npos)
        return "TEXT";
    if (type.empty() || type.find("blob") != std::string::npos)
        return "BLOB";
    if (type.find("real") != std::string::npos || type.find("floa") != std::string::npos ||
        type.find("doub") != std::string::npos)
        return "REAL";
    return "NUMERIC";
}

} // namespace db
