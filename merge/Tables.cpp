#include "merge/Tables.h"

#include "platform/db/Text.h"

#include <algorithm>

namespace merge {

std::string TableDef::query() const {
    return "SELECT * FROM " + name + " ORDER BY " + key.front().name;
}

std::vector<std::string> TableDef::addFields() const {
    std::vector<std::string> fields;
    for (const ColumnDef& column : columns)
        fields.push_back(column.name);
    return fields;
}

bool TableDef::isKey(const std::string& field) const {
    return std::any_of(key.begin(), key.end(),
                       [&](const KeyField& part) { return db::equalsNoCase(part.name, field); });
}

const std::array<const TableDef*, 4>& varnholtTables() {
    static const std::array<const TableDef*, 4> tables{&lodges(), &issues(), &activities(),
                                                       &values()};
    return tables;
}

const TableDef* findVarnholtTable(const std::string& name) {
    for (const TableDef* table : varnholtTables())
        if (db::equalsNoCase(table->name, name))
            return table;
    return nullptr;
}

} // namespace merge
