#include "platform/db/Recordset.h"

#include "platform/db/Criteria.h"
#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/QueryText.h"
#include "platform/db/Waiting.h"

#include <algorithm>
#include <cctype>

namespace db {

// ---- Field ----

Value Field::Value() const {
    return recordset_->read(column_);
}

void Field::setValue(const db::Value& value) {
    recordset_->write(column_, value);
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
    std::optional<Statement> query;
    try {
        query.emplace(database_->handle(), query_);
    } catch (const Cancelled&) {
        throw;
    } catch (const DbError& e) {
        if (e.code() == 0 || e.primaryCode() == code::Misuse)
            throw DbError("The query " + inQuotes(query_) + " is empty.");
        failQuery(e.code(), e.engineMessage());
    }
    // A record source only reads: a statement that would change the file is
    // refused before it runs.
    if (!query->readsOnly() || query->columnCount() == 0)
        throw DbError("The record source " + inQuotes(query_) +
                      " is not a query that reads records.");

    const QueryShape shape = analyseQuery(query_);
    if (!shape.singleTable)
        refuseQuery(shape.reason);
    for (int i = 0; i < query->columnCount(); ++i) {
        const ColumnOrigin origin = query->columnOrigin(i);
        ResultColumn c;
        c.name = query->columnName(i);
        c.type = columnOfType(c.name, origin.declaredType);
        if (origin.table.empty() || origin.column.empty() || origin.schema != "main")
            refuseQuery("its field " + c.name + " is not a field of a table");
        c.origin = origin.column;
        if (table_.empty())
            table_ = origin.table;
        else if (!equalsNoCase(table_, origin.table))
            refuseQuery("it reads more than one table");
        columns_.push_back(std::move(c));
    }
    query.reset();
    if (!equalsNoCase(shape.tableName, table_))
        refuseQuery("it reads " + shape.tableName + ", which is not a table");
    // A trigger sees which fields an UPDATE names: for a table that has one,
    // every field given is written, as the caller gave it.
    Statement triggers(database_->handle(), "SELECT 1 FROM sqlite_master WHERE type = 'trigger' "
                                            "AND tbl_name = ? COLLATE NOCASE LIMIT 1");
    triggers.bind(1, Value::text(table_));
    hasTriggers_ = triggers.step([this] {
        return "Cannot read the triggers of " + table_ + " in " + inQuotes(database_->path()) + ".";
    });
    try {
        openKeyset(shape);
    } catch (const DbError& e) {
        if (e.engineMessage().find("_rowid_") == std::string::npos)
            throw;
        refuseQuery("the records of " + table_ + " have no row ids");
    }
    position_ = 0;
}

void Recordset::refuseQuery(const std::string& why) const {
    throw DbError("The record source " + inQuotes(query_) + " cannot be opened: " + why +
                  ". A record set reads the records of one table.");
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
    fetchColumns_ = "SELECT ";
    for (std::size_t i = 0; i < columns_.size(); ++i)
        fetchColumns_ += (i ? ", " : "") + quoteIdentifier(columns_[i].origin);
    fetchSql_ = fetchColumns_ + " FROM " + quoteIdentifier(table_) + " WHERE _rowid_ = ?";
    byRowid_.reserve(keys_.size());
    for (std::size_t i = 0; i < keys_.size(); ++i)
        byRowid_.emplace_back(keys_[i], i);
    std::sort(byRowid_.begin(), byRowid_.end());
}

// ---- moving ----

std::int64_t Recordset::RecordCount() const {
    return static_cast<std::int64_t>(keys_.size());
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

// ---- searching ----

void Recordset::FindFirst(const std::string& criteria) {
    leaveEdit();
    database_->handle();
    const auto found = findInKeyset(criteria);
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
    return "table " + table_;
}

std::string Recordset::searchFailure(const std::string& criteria) const {
    return "Cannot search " + where() + " for " + quotedValue(criteria) + ".";
}

std::optional<std::size_t> Recordset::findInKeyset(const std::string& criteria) {
    const std::vector<CriteriaTerm> terms = parseCriteria(criteria);
    const std::string condition = sqlCondition(terms, [&](const std::string& name) {
        const auto column = findColumn(name);
        if (!column)
            throw DbError("The search criteria " + quotedValue(criteria) + " name the field " +
                          name + ", which the record set does not have.");
        return quoteIdentifier(columns_[*column].origin);
    });
    // The condition goes to SQLite so that the indexes on the key fields
    // serve it; the first match in record set order is picked among the
    // (few) rows it returns, and its fields are kept for the reads that
    // follow.
    database_->joinTransaction();
    const CachedStatement find = database_->cached(fetchColumns_ + ", _rowid_ FROM " +
                                                   quoteIdentifier(table_) + " WHERE " + condition);
    const int rowidColumn = static_cast<int>(columns_.size());
    int parameter = 0;
    for (const CriteriaTerm& term : terms)
        if (term.kind != CriteriaTerm::Kind::IsNull)
            find->bind(++parameter, Value::text(term.text));
    std::optional<std::size_t> first;
    try {
        while (find->step([&] { return searchFailure(criteria); })) {
            const auto at = positionOf(find->columnInt64(rowidColumn));
            if (at && (!first || *at < *first)) {
                first = at;
                keepRow(*find, 0, static_cast<std::int64_t>(*at));
            }
        }
    } catch (const DbError&) {
        findUnreadableNumber(terms);
        throw;
    }
    return first;
}

void Recordset::findUnreadableNumber(const std::vector<CriteriaTerm>& terms) {
    // A search through Str() fails on a record whose field holds text that
    // is no number; that record, among those the other terms find, is named.
    std::vector<CriteriaTerm> others;
    for (const CriteriaTerm& term : terms)
        if (term.kind != CriteriaTerm::Kind::StrEquals)
            others.push_back(term);
    const auto quoted = [&](const std::string& name) {
        return quoteIdentifier(columns_[columnIndex(name)].origin);
    };
    for (const CriteriaTerm& term : terms) {
        if (term.kind != CriteriaTerm::Kind::StrEquals)
            continue;
        const std::size_t column = columnIndex(term.field);
        Statement scan(database_->handle(),
                       "SELECT " + quoted(term.field) + " FROM " + quoteIdentifier(table_) +
                           (others.empty() ? "" : " WHERE " + sqlCondition(others, quoted)));
        int parameter = 0;
        for (const CriteriaTerm& other : others)
            if (other.kind != CriteriaTerm::Kind::IsNull)
                scan.bind(++parameter, Value::text(other.text));
        while (scan.step("Cannot search " + where() + ".")) {
            const Value value = scan.columnValue(0);
            if (!value.isNull() && !value.isNumber() &&
                !(value.isText() && numberFromText(value.asText())))
                throw ValueError(placeOf(column), value.describe(), "is not a number",
                                 ValueError::Direction::Read);
        }
    }
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

const std::vector<db::Value>& Recordset::current() {
    requireCurrent("read a field");
    if (cachedPosition_ == position_)
        return cached_;
    database_->joinTransaction();
    const CachedStatement fetch = database_->cached(fetchSql_);
    fetch->bind(1, Value::integer(keys_[static_cast<std::size_t>(position_)]));
    if (!fetch->step([this] {
            return "Cannot read a record of " + where() + " in " + inQuotes(database_->path()) +
                   ".";
        }))
        throw DbError("A record of " + where() + " in " + inQuotes(database_->path()) +
                      " was deleted by another program.");
    keepRow(*fetch, 0, position_);
    return cached_;
}

void Recordset::keepRow(const Statement& row, int first, std::int64_t position) {
    cachedPosition_ = -2;
    cached_.clear();
    unreadable_.clear();
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        try {
            cached_.push_back(row.columnValue(first + static_cast<int>(i)));
        } catch (const ValueError& e) {
            // Only this field cannot be read; the record's others can.
            cached_.emplace_back();
            unreadable_.emplace_back(i, ValueError(placeOf(i), e.shown(), e.why(), e.direction()));
        }
    }
    cachedPosition_ = position;
    cachedMark_ = database_->readMark();
}

ValueError::Place Recordset::placeOf(std::size_t column) const {
    return {database_->path(), table_, columns_[column].name};
}

db::Value Recordset::fromStored(std::size_t column, const db::Value& stored) const {
    if (auto value = readAs(columns_[column].type, stored))
        return *value;
    throw ValueError(placeOf(column), stored.describe(), "is not a date",
                     ValueError::Direction::Read);
}

db::Value Recordset::read(std::size_t column) {
    if (mode_ != EditMode::None && pending_[column])
        return *pending_[column];
    if (mode_ == EditMode::Adding)
        return {};
    const std::vector<db::Value>& values = current();
    for (const auto& [at, error] : unreadable_)
        if (at == column)
            throw error;
    return fromStored(column, values[column]);
}

db::Value Recordset::forColumn(std::size_t column, const db::Value& value) const {
    std::string why;
    if (auto taken = takenAs(columns_[column].type, value, why))
        return *taken;
    throw ValueError(placeOf(column), value.describe(), why, ValueError::Direction::Write);
}

void Recordset::write(std::size_t column, const db::Value& value) {
    if (mode_ == EditMode::None)
        throw DbError("Cannot change the field " + columns_[column].name + " of " + where() +
                      ": the record is not open for change (Edit or AddNew).");
    pending_[column] = forColumn(column, value);
}

// ---- changing ----

void Recordset::requireWritable(const char* action) const {
    database_->handle();
    if (database_->readOnly())
        throw DbError(std::string("Cannot ") + action + " in " + inQuotes(database_->path()) +
                      ": the database was opened only for reading.");
}

void Recordset::AddNew() {
    requireWritable("add a record");
    mode_ = EditMode::Adding;
    pending_.assign(columns_.size(), std::nullopt);
}

void Recordset::Edit() {
    requireWritable("change a record");
    requireCurrent("change a record");
    mode_ = EditMode::Editing;
    pending_.assign(columns_.size(), std::nullopt);
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
    const CachedStatement insert = database_->cached(sql);
    for (std::size_t i = 0; i < values.size(); ++i)
        insert->bind(static_cast<int>(i + 1), *values[i]);
    insert->run([this] {
        return "Cannot save a new record in table " + table_ + " of " +
               inQuotes(database_->path()) + ".";
    });
    const std::int64_t rowid = insert->lastInsertRowId();
    database_->commitTransaction();
    const bool atEnd = Eof();
    keys_.push_back(rowid);
    if (atEnd)
        position_ = RecordCount(); // past the end it was, past the end it stays
    const std::pair<std::int64_t, std::size_t> entry(rowid, keys_.size() - 1);
    byRowid_.insert(std::upper_bound(byRowid_.begin(), byRowid_.end(), entry), entry);
}

// Whether saving the pending value of `column` would store what the file
// holds already (storesAs), as read in this transaction with nothing written
// since.
bool Recordset::storedAlready(std::size_t column) const {
    if (hasTriggers_ || cachedPosition_ != position_ || cachedMark_.empty() ||
        !(cachedMark_ == database_->readMark()))
        return false;
    for (const auto& [at, error] : unreadable_)
        if (at == column)
            return false;
    return storesAs(cached_[column], *pending_[column]);
}

void Recordset::updatePending() {
    // Only the fields whose stored value changes are set: the record comes
    // out the same, and an index over a field that keeps its value (a key,
    // mostly) is not written again.
    std::string assignments;
    std::vector<const db::Value*> values;
    bool pending = false;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        if (!pending_[i])
            continue;
        pending = true;
        if (storedAlready(i))
            continue;
        assignments += (values.empty() ? "" : ", ") + quoteIdentifier(columns_[i].origin) + " = ?";
        values.push_back(&*pending_[i]);
    }
    if (values.empty()) {
        // The file holds the record as it would be saved: there is nothing
        // to write, and the transaction that read it ends as a save's would.
        if (pending)
            database_->commitTransaction();
        return;
    }
    const CachedStatement update = database_->cached("UPDATE " + quoteIdentifier(table_) + " SET " +
                                                     assignments + " WHERE _rowid_ = ?");
    for (std::size_t i = 0; i < values.size(); ++i)
        update->bind(static_cast<int>(i + 1), *values[i]);
    update->bind(static_cast<int>(values.size() + 1),
                 db::Value::integer(keys_[static_cast<std::size_t>(position_)]));
    cachedPosition_ = -2;
    const std::int64_t changed = update->run([this] {
        return "Cannot save a record of table " + table_ + " in " + inQuotes(database_->path()) +
               ".";
    });
    if (changed == 0)
        throw DbError("A record of table " + table_ + " in " + inQuotes(database_->path()) +
                      " was deleted by another program; the change was not saved.");
    database_->commitTransaction();
}

// ---- row ids ----

std::int64_t Recordset::currentRowId() const {
    requireCurrent("read the row id of the current record");
    return keys_[static_cast<std::size_t>(position_)];
}

std::int64_t Recordset::lastRowId() const {
    database_->handle();
    if (keys_.empty())
        throw DbError("Cannot read the row id of the last record: the record set is empty.");
    return keys_.back();
}

} // namespace db
