#include "platform/db/Recordset.h"

#include "platform/db/Criteria.h"
#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/QueryText.h"
#include "platform/db/Sqlite.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace db {

namespace {

// A text that reads whole as a number, blanks around it allowed.
std::optional<Value> numberFromText(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::nullopt;
    const auto last = text.find_last_not_of(" \t");
    return parseNumber(std::string_view(text).substr(first, last - first + 1));
}

} // namespace

// ---- Field ----

Value Field::Value() const {
    return recordset_->read(column_);
}

void Field::setValue(const db::Value& value) {
    recordset_->write(column_, value);
}

const std::string& Field::Name() const {
    return recordset_->columns_[column_].name;
}

// ---- opening ----

Recordset::Recordset(std::shared_ptr<Database> database, const std::string& query)
    : database_(std::move(database)), query_(query) {
    if (query_.empty())
        throw DbError("No query was given for the record set of " + inQuotes(database_->path()) +
                      ".");
    open();
}

Recordset::~Recordset() = default;

void Recordset::failQuery(int rc, const std::string& engine) const {
    const std::string file = inQuotes(database_->path());
    if (engine.starts_with("no such table: "))
        throw DbError("The database file " + file + " has no table " + engine.substr(15) +
                          ": it may not be a Varnholt database.",
                      rc, engine);
    if (engine.starts_with("no such column: "))
        throw DbError("The query " + inQuotes(query_) + " names the field " + engine.substr(16) +
                          ", which " + file + " does not have.",
                      rc, engine);
    throw DbError("Cannot run the query " + inQuotes(query_) + " on " + file + "." + hintFor(rc),
                  rc, engine);
}

void Recordset::open() {
    sqlite3* handle = database_->handle();
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare_v2(handle, query_.c_str(), -1, &raw, nullptr);
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> stmt(raw, sqlite3_finalize);
    if (rc != SQLITE_OK)
        failQuery(rc, sqlite3_errmsg(handle));
    if (!stmt)
        throw DbError("The query " + inQuotes(query_) + " is empty.");
    // A record source only reads: a statement that would change the file is
    // refused before it runs.
    if (!sqlite3_stmt_readonly(stmt.get()) || sqlite3_column_count(stmt.get()) == 0)
        throw DbError("The record source " + inQuotes(query_) +
                      " is not a query that reads records.");

    const QueryShape shape = analyseQuery(query_);
    updatable_ = shape.singleTable;
    notUpdatable_ = shape.reason;
    const int count = sqlite3_column_count(stmt.get());
    for (int i = 0; i < count; ++i) {
        ResultColumn c;
        c.name = sqlite3_column_name(stmt.get(), i);
        const char* table = sqlite3_column_table_name(stmt.get(), i);
        const char* origin = sqlite3_column_origin_name(stmt.get(), i);
        const char* schema = sqlite3_column_database_name(stmt.get(), i);
        const char* declared = sqlite3_column_decltype(stmt.get(), i);
        c.type = columnOfType(c.name, declared ? declared : "");
        if (!table || !origin || !schema || std::string(schema) != "main") {
            if (updatable_)
                notUpdatable_ = "its field " + c.name + " is not a field of a table";
            updatable_ = false;
        } else {
            c.origin = origin;
            if (table_.empty())
                table_ = table;
            else if (!equalsNoCase(table_, table)) {
                updatable_ = false;
                notUpdatable_ = "it reads more than one table";
            }
        }
        columns_.push_back(std::move(c));
    }
    stmt.reset();
    if (updatable_ && !equalsNoCase(shape.tableName, table_)) {
        updatable_ = false;
        notUpdatable_ = "it reads " + shape.tableName + ", which is not a table";
    }

    if (updatable_) {
        try {
            openKeyset(shape);
        } catch (const DbError& e) {
            // A table without row ids is readable, not updatable; any other
            // failure (a busy file, say) is reported as it is.
            if (e.engineMessage().find("_rowid_") == std::string::npos && e.code() != 0)
                throw;
            updatable_ = false;
            notUpdatable_ = "its records have no row ids";
            keys_.clear();
            byRowid_.clear();
        }
    }
    if (!updatable_)
        materialize();
    position_ = 0;
}

void Recordset::openKeyset(const QueryShape& shape) {
    // Only the row ids are read. For "SELECT * ... ORDER BY field" they alone
    // are asked for, which an index on the sort order answers by itself;
    // otherwise the row id goes last, so that the query keeps its plan and
    // aliases and column numbers in ORDER BY keep their meaning.
    const bool idsOnly = shape.selectList == "*" && shape.ordersBy && !shape.ordersByNumber;
    const std::string sql =
        idsOnly ? "SELECT _rowid_ FROM " + shape.fromClause
                : "SELECT " + shape.selectList + ", _rowid_ FROM " + shape.fromClause;
    Statement keys(database_->handle(), sql);
    const int column = idsOnly ? 0 : keys.columnCount() - 1;
    while (keys.step([this] {
        return "Cannot read the records of " + table_ + " in " + inQuotes(database_->path()) + ".";
    })) {
        if (keys.isNull(column))
            throw DbError("The records of " + table_ + " have no row ids.");
        keys_.push_back(keys.columnInt64(column));
    }
    fetchSql_ = "SELECT ";
    for (std::size_t i = 0; i < columns_.size(); ++i)
        fetchSql_ += (i ? ", " : "") + quoteIdentifier(columns_[i].origin);
    fetchSql_ += " FROM " + quoteIdentifier(table_) + " WHERE _rowid_ = ?";
    byRowid_.reserve(keys_.size());
    for (std::size_t i = 0; i < keys_.size(); ++i)
        byRowid_.emplace_back(keys_[i], i);
    std::sort(byRowid_.begin(), byRowid_.end());
}

void Recordset::materialize() {
    table_.clear();
    Statement rows(database_->handle(), query_);
    while (rows.step(
        [this] { return "Cannot read the records of the query " + inQuotes(query_) + "."; })) {
        std::vector<db::Value> row;
        row.reserve(columns_.size());
        for (std::size_t i = 0; i < columns_.size(); ++i)
            row.push_back(rows.columnValue(static_cast<int>(i)));
        rows_.push_back(std::move(row));
    }
}

// ---- moving ----

std::int64_t Recordset::RecordCount() const {
    return static_cast<std::int64_t>(updatable_ ? keys_.size() : rows_.size());
}

bool Recordset::Eof() const {
    return RecordCount() == 0 || position_ >= RecordCount();
}

bool Recordset::Bof() const {
    return RecordCount() == 0 || position_ < 0;
}

void Recordset::requireCurrent(const char* action) const {
    database_->handle(); // a closed database is an error before anything else
    if (Eof() || Bof())
        throw DbError(std::string("Cannot ") + action + ": there is no current record.");
}

void Recordset::MoveFirst() {
    leaveEdit();
    if (RecordCount() == 0)
        throw DbError("Cannot move to the first record: the record set is empty.");
    position_ = 0;
}

void Recordset::MoveLast() {
    leaveEdit();
    if (RecordCount() == 0)
        throw DbError("Cannot move to the last record: the record set is empty.");
    position_ = RecordCount() - 1;
}

void Recordset::MoveNext() {
    leaveEdit();
    if (Eof())
        throw DbError("Cannot move to the next record: there is no current record.");
    ++position_;
}

void Recordset::MovePrevious() {
    leaveEdit();
    if (Bof())
        throw DbError("Cannot move to the previous record: there is no current record.");
    --position_;
}

// ---- searching ----

void Recordset::FindFirst(const std::string& criteria) {
    leaveEdit();
    database_->handle();
    const auto found = updatable_ ? findInKeyset(criteria) : findInRows(criteria);
    noMatch_ = !found;
    if (found)
        position_ = static_cast<std::int64_t>(*found);
}

std::optional<std::size_t> Recordset::positionOf(std::int64_t rowid) const {
    auto it = std::lower_bound(byRowid_.begin(), byRowid_.end(),
                               std::pair<std::int64_t, std::size_t>(rowid, 0));
    if (it == byRowid_.end() || it->first != rowid)
        return std::nullopt;
    return it->second;
}

std::string Recordset::where() const {
    return table_.empty() ? "the query " + inQuotes(query_) : "table " + table_;
}

std::string Recordset::searchFailure(const std::string& criteria) const {
    return "Cannot search " + where() + " for " + quotedValue(criteria) + ".";
}

std::optional<std::size_t> Recordset::findInKeyset(const std::string& criteria) {
    const CompiledCriteria compiled =
        compileCriteria(criteria, [this](const std::string& name) -> std::optional<ResolvedField> {
            if (auto column = findColumn(name))
                return ResolvedField{quoteIdentifier(columns_[*column].origin)};
            return std::nullopt;
        });
    // The condition goes to SQLite so that the indexes on the key fields
    // serve it; the first match in record set order is picked among the
    // (few) rows it returns.
    Statement& find = database_->cached("SELECT _rowid_ FROM " + quoteIdentifier(table_) +
                                        " WHERE " + compiled.condition);
    Statement::ResetGuard guard(find);
    for (std::size_t i = 0; i < compiled.slots.size(); ++i)
        find.bind(static_cast<int>(i + 1), compiled.slots[i].literal);
    std::optional<std::size_t> first;
    while (find.step([&] { return searchFailure(criteria); })) {
        const auto at = positionOf(find.columnInt64(0));
        if (at && (!first || *at < *first))
            first = at;
    }
    return first;
}

std::optional<std::size_t> Recordset::findInRows(const std::string& criteria) {
    const CompiledCriteria compiled =
        compileCriteria(criteria, [this](const std::string& name) -> std::optional<ResolvedField> {
            if (auto column = findColumn(name))
                return ResolvedField{"", static_cast<int>(*column)};
            return std::nullopt;
        });
    Statement& test = database_->cached("SELECT " + compiled.condition);
    for (std::size_t row = 0; row < rows_.size(); ++row) {
        Statement::ResetGuard guard(test);
        for (std::size_t i = 0; i < compiled.slots.size(); ++i) {
            const Slot& slot = compiled.slots[i];
            test.bind(static_cast<int>(i + 1),
                      slot.field >= 0 ? rows_[row][static_cast<std::size_t>(slot.field)]
                                      : slot.literal);
        }
        if (test.step([&] { return searchFailure(criteria); }) && !test.isNull(0) &&
            test.columnInt64(0) != 0)
            return row;
    }
    return std::nullopt;
}

// ---- fields ----

std::optional<std::size_t> Recordset::findColumn(const std::string& name) const {
    for (std::size_t i = 0; i < columns_.size(); ++i)
        if (equalsNoCase(columns_[i].name, name))
            return i;
    return std::nullopt;
}

std::size_t Recordset::columnIndex(const std::string& name) const {
    if (auto column = findColumn(name))
        return *column;
    throw DbError("The " + where() + " has no field " + name + ".");
}

Field Recordset::Fields(const std::string& name) {
    return Field(*this, columnIndex(name));
}

std::vector<std::string> Recordset::fieldNames() const {
    std::vector<std::string> names;
    for (const auto& c : columns_)
        names.push_back(c.name);
    return names;
}

const std::vector<db::Value>& Recordset::current() {
    requireCurrent("read a field");
    if (!updatable_)
        return rows_[static_cast<std::size_t>(position_)];
    if (cachedPosition_ == position_)
        return cached_;
    Statement& fetch = database_->cached(fetchSql_);
    Statement::ResetGuard guard(fetch);
    fetch.bind(1, Value::integer(keys_[static_cast<std::size_t>(position_)]));
    if (!fetch.step([this] {
            return "Cannot read a record of " + where() + " in " + inQuotes(database_->path()) +
                   ".";
        }))
        throw DbError("A record of " + where() + " in " + inQuotes(database_->path()) +
                      " was deleted by another program.");
    cached_.clear();
    for (std::size_t i = 0; i < columns_.size(); ++i)
        cached_.push_back(fetch.columnValue(static_cast<int>(i)));
    cachedPosition_ = position_;
    return cached_;
}

db::Value Recordset::fromStored(std::size_t column, const db::Value& stored) const {
    const ResultColumn& c = columns_[column];
    if (!c.type.isDate || stored.isNull())
        return stored;
    if (stored.isText())
        if (auto date = DateTime::parse(stored.asText()))
            return db::Value::date(*date);
    throw DbError("The field " + c.name + " of " + where() + " holds " + stored.describe() +
                  ", which is not a date.");
}

db::Value Recordset::read(std::size_t column) {
    if (mode_ != EditMode::None && pending_[column])
        return *pending_[column];
    if (mode_ == EditMode::Adding)
        return {};
    return fromStored(column, current()[column]);
}

db::Value Recordset::forColumn(std::size_t column, const db::Value& value) const {
    const ResultColumn& c = columns_[column];
    auto refuse = [&](const std::string& why) {
        return DbError("The field " + c.name + " of " + where() + " cannot take the value " +
                       value.describe() + ": " + why + ".");
    };
    if (value.isNull())
        return value;
    if (c.type.isDate) {
        if (value.isDate())
            return value;
        if (value.isText())
            if (auto date = DateTime::parse(value.asText()))
                return db::Value::date(*date);
        throw refuse("it is not a date");
    }
    if (c.type.isNumeric) {
        if (value.isNumber())
            return value;
        if (value.isText())
            if (auto number = numberFromText(value.asText()))
                return *number;
        throw refuse("it is not a number");
    }
    if (c.type.isText && value.isNumber())
        return db::Value::text(value.toText());
    if (c.type.isText && value.isDate())
        return db::Value::text(value.asDate().text());
    return value;
}

void Recordset::write(std::size_t column, const db::Value& value) {
    if (mode_ == EditMode::None)
        throw DbError("Cannot change the field " + columns_[column].name + " of " + where() +
                      ": the record is not open for change (Edit or AddNew).");
    pending_[column] = forColumn(column, value);
}

// ---- changing ----

void Recordset::requireUpdatable(const char* action) const {
    database_->handle();
    if (!updatable_)
        throw DbError(std::string("Cannot ") + action + " through the query " + inQuotes(query_) +
                      ": " + notUpdatable_ + ".");
    if (database_->readOnly())
        throw DbError(std::string("Cannot ") + action + " in " + inQuotes(database_->path()) +
                      ": the database was opened only for reading.");
}

void Recordset::AddNew() {
    requireUpdatable("add a record");
    mode_ = EditMode::Adding;
    pending_.assign(columns_.size(), std::nullopt);
}

void Recordset::Edit() {
    requireUpdatable("change a record");
    requireCurrent("change a record");
    mode_ = EditMode::Editing;
    pending_.assign(columns_.size(), std::nullopt);
}

void Recordset::CancelUpdate() {
    leaveEdit();
}

void Recordset::leaveEdit() {
    mode_ = EditMode::None;
    pending_.clear();
}

void Recordset::Update() {
    if (mode_ == EditMode::None)
        throw DbError("Cannot save a record of " + where() +
                      ": no record was opened with AddNew or Edit.");
    database_->handle();
    if (mode_ == EditMode::Adding)
        insertPending();
    else
        updatePending();
    leaveEdit();
}

void Recordset::insertPending() {
    std::string names, marks;
    std::vector<const db::Value*> values;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        if (!pending_[i])
            continue;
        names += (values.empty() ? "" : ", ") + quoteIdentifier(columns_[i].origin);
        marks += values.empty() ? "?" : ", ?";
        values.push_back(&*pending_[i]);
    }
    const std::string sql =
        "INSERT INTO " + quoteIdentifier(table_) +
        (values.empty() ? " DEFAULT VALUES" : " (" + names + ") VALUES (" + marks + ")");
    Statement& insert = database_->cached(sql);
    Statement::ResetGuard guard(insert);
    for (std::size_t i = 0; i < values.size(); ++i)
        insert.bind(static_cast<int>(i + 1), *values[i]);
    insert.step([this] {
        return "Cannot save a new record in table " + table_ + " of " +
               inQuotes(database_->path()) + ".";
    });
    const std::int64_t rowid = sqlite3_last_insert_rowid(database_->handle());
    const bool atEnd = Eof();
    keys_.push_back(rowid);
    if (atEnd)
        position_ = RecordCount(); // past the end it was, past the end it stays
    const std::pair<std::int64_t, std::size_t> entry(rowid, keys_.size() - 1);
    byRowid_.insert(std::upper_bound(byRowid_.begin(), byRowid_.end(), entry), entry);
}

void Recordset::updatePending() {
    std::string assignments;
    std::vector<const db::Value*> values;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        if (!pending_[i])
            continue;
        assignments += (values.empty() ? "" : ", ") + quoteIdentifier(columns_[i].origin) + " = ?";
        values.push_back(&*pending_[i]);
    }
    if (values.empty())
        return;
    Statement& update = database_->cached("UPDATE " + quoteIdentifier(table_) + " SET " +
                                          assignments + " WHERE _rowid_ = ?");
    Statement::ResetGuard guard(update);
    for (std::size_t i = 0; i < values.size(); ++i)
        update.bind(static_cast<int>(i + 1), *values[i]);
    update.bind(static_cast<int>(values.size() + 1),
                db::Value::integer(keys_[static_cast<std::size_t>(position_)]));
    cachedPosition_ = -2;
    update.step([this] {
        return "Cannot save a record of table " + table_ + " in " + inQuotes(database_->path()) +
               ".";
    });
    if (sqlite3_changes(database_->handle()) == 0)
        throw DbError("A record of table " + table_ + " in " + inQuotes(database_->path()) +
                      " was deleted by another program; the change was not saved.");
}

} // namespace db
