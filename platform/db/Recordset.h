#pragma once

#include "platform/db/Criteria.h"
#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/Value.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace db {

class Database;
class Recordset;
struct QueryShape;

// One field of the current record, reached by name: Fields("F1").Value().
class Field {
public:
    db::Value Value() const;
    void setValue(const db::Value& value);
    Field& operator=(const db::Value& value) {
        setValue(value);
        return *this;
    }

private:
    friend class Recordset;
    Field(Recordset& recordset, std::size_t column) : recordset_(&recordset), column_(column) {}
    Recordset* recordset_;
    std::size_t column_;
};

// A dynaset: the records of a query of one table, in query order, fixed when
// it is opened (a join, a view or a grouped query is refused).
// It holds each record's row id, not its values, so a large table costs a
// few bytes a record; values are read when asked for. Records added through
// it are appended at its end and belong to it from then on. Every Update is
// saved at once, as its own transaction.
class Recordset {
public:
    // Runs `query` on `database` and stands on the first record.
    Recordset(std::shared_ptr<Database> database, const std::string& query);
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    std::int64_t RecordCount() const;
    bool Eof() const;
    void MoveFirst();
    void MoveLast();
    void MoveNext();

    // Makes current the first record, in record set order, that matches the
    // criteria (parseCriteria() tells their form), and sets NoMatch. With no
    // match the current record is not defined.
    void FindFirst(const std::string& criteria);
    bool NoMatch() const { return noMatch_; }

    // The field of that name (letter case ignored); a DbError naming the
    // table and the field when there is none.
    Field Fields(const std::string& name);

    void AddNew();
    void Edit();
    // Saves the record opened by AddNew or Edit. After AddNew, the current
    // record is again the one that was current before it.
    void Update();

    // The row id of the current record; a DbError when there is none.
    std::int64_t currentRowId() const;
    // The row id of the last record of the set, which after AddNew and
    // Update is the record just added; a DbError when the set is empty.
    std::int64_t lastRowId() const;

    const std::string& table() const { return table_; }
    const std::string& query() const { return query_; }
    Database& database() const { return *database_; }

private:
    friend class Field;
    enum class EditMode { None, Editing, Adding };
    struct ResultColumn {
        std::string name;   // as the query names it
        std::string origin; // the table's column behind it
        Column type;
    };

    void open();
    void openKeyset(const QueryShape& shape);
    [[noreturn]] void refuseQuery(const std::string& why) const;
    [[noreturn]] void failQuery(int rc, const std::string& engineMessage) const;
    std::optional<std::size_t> findColumn(const std::string& name) const;
    std::size_t columnIndex(const std::string& name) const;
    std::string searchFailure(const std::string& criteria) const;
    const std::vector<db::Value>& current();
    // Keeps the fields of the record at `position`, read from `row` from
    // column `first` on, for the reads that follow.
    void keepRow(const Statement& row, int first, std::int64_t position);
    db::Value read(std::size_t column);
    void write(std::size_t column, const db::Value& value);
    ValueError::Place placeOf(std::size_t column) const;
    db::Value fromStored(std::size_t column, const db::Value& stored) const;
    db::Value forColumn(std::size_t column, const db::Value& value) const;
    bool Bof() const;
    void requireCurrent(const char* action) const;
    void requireWritable(const char* action) const;
    void leaveEdit();
    void insertPending();
    void updatePending();
    bool storedAlready(std::size_t column) const;
    std::optional<std::size_t> positionOf(std::int64_t rowid) const;
    std::optional<std::size_t> findInKeyset(const std::string& criteria);
    void findUnreadableNumber(const std::vector<CriteriaTerm>& terms);
    std::string where() const;

    std::shared_ptr<Database> database_;
    std::string query_;
    std::string table_;
    std::vector<ResultColumn> columns_;
    std::string fetchColumns_; // "SELECT" and the fields of a record, in order
    std::string fetchSql_;     // reads the fields of one record by row id

    std::vector<std::int64_t> keys_;                            // row ids, record set order
    std::vector<std::pair<std::int64_t, std::size_t>> byRowid_; // row id -> position, sorted

    std::int64_t position_ = 0; // -1 before the first record, size() after the last
    std::int64_t cachedPosition_ = -2;
    std::vector<db::Value> cached_;
    std::vector<std::pair<std::size_t, ValueError>> unreadable_; // fields of cached_ that failed
    Database::ReadMark cachedMark_;                              // when cached_ was read
    bool hasTriggers_ = false; // every field given is then written
    bool noMatch_ = false;

    EditMode mode_ = EditMode::None;
    std::vector<std::optional<db::Value>> pending_;
};

} // namespace db
