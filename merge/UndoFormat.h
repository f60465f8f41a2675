#pragma once

#include <fmt/format.h>
#include <string>

// How an undo file (UndoLog.h) keeps an update's changes; the writer and
// undoUpdate() both read it from here. Its tables:
//
//   UndoFile(Name, Value)        "format" 1; "main", the main database's
//                                path; "main salt", its fileSalt();
//                                "update", the update's path
//   UndoColumns(TableName, Position, Name, DeclaredType)
//                                the columns of each main table written
//   UndoEntries(Seq, TableName, Change, Written, RowId, RowIdBound, Saved)
//                                one per record, in the order written
//   "Before <table>"(Seq, C1..Cn) an overwritten record as it was stored
//   "After <table>"(Seq, C1..Cn)  the values written, columns declared with
//                                the main table's affinities
namespace merge::undo {

inline constexpr int FormatVersion = 1;

inline constexpr const char* Added = "added";
inline constexpr const char* Overwritten = "overwritten";

inline std::string beforeTable(const std::string& table) {
    return fmt::format("Before {}", table);
}
inline std::string afterTable(const std::string& table) {
    return fmt::format("After {}", table);
}
inline std::string column(std::size_t position) {
    return fmt::format("C{}", position + 1);
}

// The first 16 bytes of a database file, in hex. An encrypted file begins
// with the random salt it was made with: every copy of the file has it, no
// other file does. A file without encryption begins with the engine's fixed
// header instead (isPlainHeader).
std::string fileSalt(const std::string& path);
bool isPlainHeader(const std::string& salt);

} // namespace merge::undo
