// The same update as `vhdb merge`, record by record with one commit for each
// written record, written as directly as the engine allows: one statement
// streams the update table in key order, one prepared statement finds the
// main record (the same condition the record set's search builds), one
// inserts it or sets the fields whose stored value changes, as the merge
// does. No record set, no host. What the merge costs beyond
// this is what its own layers cost.
//
//   floor_bench MAIN UPDATE     prints the summary a merge prints
//
// The files are opened as the merge opens them (WAL, synchronous=NORMAL for
// the main database; the update only read). A key that matches several main
// records finds the first in key order, which among equal keys is the one
// with the lowest row id, as in the merge's record set.
#include "merge/Tables.h"
#include "merge/Update.h"
#include "platform/db/Criteria.h"
#include "platform/db/Database.h"
#include "platform/db/DbError.h"
#include "platform/db/Statement.h"
#include "platform/db/Value.h"

#include <cstdio>
#include <exception>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string columnList(const std::vector<std::string>& names) {
    std::string list;
    for (const std::string& name : names)
        list += (list.empty() ? "" : ", ") + db::quoteIdentifier(name);
    return list;
}

std::size_t indexOf(const std::vector<std::string>& names, const std::string& name) {
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i] == name)
            return i;
    throw db::DbError("no column " + name);
}

class TableFloor {
public:
    TableFloor(db::Database& main, db::Database& update, const merge::TableDef& table)
        : main_(main), update_(update), table_(table), columns_(table.addFields()) {
        for (const std::string& name : columns_)
            for (const db::Column& column : main_.columns(table_.name))
                if (db::equalsNoCase(column.name, name))
                    types_.push_back(column);
    }

    std::int32_t run() {
        db::Statement source(update_.handle(), "SELECT " + columnList(columns_) + " FROM " +
                                                   db::quoteIdentifier(table_.name) + " ORDER BY " +
                                                   table_.key.front().name);
        db::Statement find(main_.handle(), findSql());
        db::Statement insert(main_.handle(), "INSERT INTO " + db::quoteIdentifier(table_.name) +
                                                 " (" + columnList(columns_) + ") VALUES (" +
                                                 marks(columns_.size()) + ")");
        const std::size_t stamp = indexOf(columns_, table_.dateField);
        std::int32_t written = 0;
        std::vector<db::Value> row(columns_.size());
        while (source.step("source")) {
            for (std::size_t i = 0; i < columns_.size(); ++i)
                row[i] = source.columnValue(static_cast<int>(i));
            main_.exec("BEGIN", "begin");
            bindKey(find, row);
            if (!find.step("find")) {
                for (std::size_t i = 0; i < columns_.size(); ++i)
                    insert.bind(static_cast<int>(i + 1), taken(i, row[i]));
                find.reset();
                insert.run("insert");
                insert.reset();
                ++written;
            } else if (later(find.columnValue(1), row[stamp])) {
                // As the merge does: only the fields whose stored value changes.
                const db::Value rowid = find.columnValue(0);
                std::vector<bool> changed;
                std::vector<db::Value> values;
                for (std::size_t f = 0; f < table_.overwriteFields.size(); ++f) {
                    const std::size_t i = indexOf(columns_, table_.overwriteFields[f]);
                    db::Value value = taken(i, row[i]);
                    const bool same =
                        db::storesAs(find.columnValue(static_cast<int>(f + 2)), value);
                    changed.push_back(!same);
                    if (!same)
                        values.push_back(std::move(value));
                }
                find.reset();
                if (!values.empty()) {
                    db::Statement& overwrite = overwriteFor(changed);
                    int slot = 0;
                    for (const db::Value& value : values)
                        overwrite.bind(++slot, value);
                    overwrite.bind(++slot, rowid);
                    overwrite.run("overwrite");
                    overwrite.reset();
                }
                ++written;
            }
            find.reset();
            main_.exec("COMMIT", "commit");
        }
        return written;
    }

private:
    // The statement that sets the overwrite fields marked `changed`.
    db::Statement& overwriteFor(const std::vector<bool>& changed) {
        auto found = overwrites_.find(changed);
        if (found != overwrites_.end())
            return *found->second;
        std::string assignments;
        for (std::size_t f = 0; f < changed.size(); ++f)
            if (changed[f])
                assignments += (assignments.empty() ? "" : ", ") +
                               db::quoteIdentifier(table_.overwriteFields[f]) + " = ?";
        auto made = std::make_unique<db::Statement>(
            main_.handle(), "UPDATE " + db::quoteIdentifier(table_.name) + " SET " + assignments +
                                " WHERE _rowid_ = ?");
        return *overwrites_.emplace(changed, std::move(made)).first->second;
    }

    static std::string marks(std::size_t count) {
        std::string marks;
        for (std::size_t i = 0; i < count; ++i)
            marks += i ? ", ?" : "?";
        return marks;
    }

    // The condition of every key term, a text term for a text key and a
    // Str() term for the number key; a null key part is a null term. The
    // statement is prepared for the terms of the first record and made again
    // when a record has a null where the last had none, or the other way.
    std::string findSql() const { return findSqlFor(std::vector<bool>(table_.key.size(), false)); }

    std::string findSqlFor(const std::vector<bool>& nulls) const {
        std::vector<db::CriteriaTerm> terms;
        for (std::size_t k = 0; k < table_.key.size(); ++k) {
            db::CriteriaTerm term;
            term.field = table_.key[k].name;
            term.kind = nulls[k] ? db::CriteriaTerm::Kind::IsNull
                        : table_.key[k].compare == merge::KeyCompare::Str
                            ? db::CriteriaTerm::Kind::StrEquals
                            : db::CriteriaTerm::Kind::Equals;
            terms.push_back(term);
        }
        return "SELECT _rowid_, " + db::quoteIdentifier(table_.dateField) + ", " +
               columnList(table_.overwriteFields) + " FROM " + db::quoteIdentifier(table_.name) +
               " WHERE " + db::sqlCondition(terms, db::quoteIdentifier) +
               " ORDER BY _rowid_ LIMIT 1";
    }

    void bindKey(db::Statement& find, const std::vector<db::Value>& row) {
        std::vector<bool> nulls;
        for (const merge::KeyField& key : table_.key)
            nulls.push_back(row[indexOf(columns_, key.name)].isNull());
        if (nulls != nulls_) {
            find = db::Statement(main_.handle(), findSqlFor(nulls));
            nulls_ = nulls;
        }
        int slot = 0;
        for (const merge::KeyField& key : table_.key) {
            const db::Value& value = row[indexOf(columns_, key.name)];
            if (value.isNull())
                continue;
            find.bind(++slot,
                      db::Value::text(key.compare == merge::KeyCompare::Str ? *db::Str(value)
                                                                            : value.toText()));
        }
    }

    db::Value taken(std::size_t column, const db::Value& value) const {
        std::string why;
        if (auto taken = db::takenAs(types_[column], value, why))
            return *taken;
        throw db::DbError(table_.name + "." + columns_[column] + " cannot take " +
                          value.describe());
    }

    static bool later(const db::Value& target, const db::Value& source) {
        const auto days = db::dayDifference(target, source);
        return days && *days > 0;
    }

    db::Database& main_;
    db::Database& update_;
    const merge::TableDef& table_;
    std::vector<std::string> columns_;
    std::vector<db::Column> types_;
    std::vector<bool> nulls_ = std::vector<bool>(table_.key.size(), false);
    std::map<std::vector<bool>, std::unique_ptr<db::Statement>> overwrites_;
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: floor_bench MAIN UPDATE\n";
        return 2;
    }
    try {
        auto main = db::Database::open(argv[1], merge::DatabasePassword, db::OpenMode::ReadWrite);
        auto update = db::Database::open(argv[2], merge::DatabasePassword, db::OpenMode::ReadOnly);
        main->holdExclusively(); // as the merge holds it
        std::int32_t counts[4] = {};
        for (std::size_t t = 0; t < merge::varnholtTables().size(); ++t)
            counts[t] = TableFloor(*main, *update, *merge::varnholtTables()[t]).run();
        main->Close();
        update->Close();
        std::cout << merge::summaryText({counts[0], counts[1], counts[2], counts[3]}) << '\n';
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "floor_bench: " << e.what() << '\n';
        return 1;
    }
}
