#pragma once

#include "platform/db/Database.h"
#include "platform/db/Recordset.h"

#include <memory>
#include <string>

namespace db {

// A data connection: a database file, the connect text that carries its
// password, and a record source query. Refresh opens (or keeps) the database
// and runs the query. A connection that will only be read opens its file
// read-only, so nothing can ever be written to it.
class Data {
public:
    std::string Caption;
    std::string Connect = "Access";
    std::string DatabaseName;
    std::string RecordSource;
    bool ReadOnly = false;

    Data() = default;
    explicit Data(std::string caption) : Caption(std::move(caption)) {}
    Data(const Data&) = delete;
    Data& operator=(const Data&) = delete;

    // Opens DatabaseName with the password of Connect (the open database is
    // kept when file, password and mode are unchanged), runs RecordSource
    // and stands on its first record.
    void Refresh();

    // The open record set and database; a DbError when there is none yet.
    db::Recordset& Recordset();
    db::Database& Database();
    // The open database, for what must not keep it open once the
    // connection closes; expired when there is none.
    std::weak_ptr<db::Database> weakDatabase() const { return database_; }

    bool hasRecordset() const { return recordset_ != nullptr; }
    // Drops the record set and closes the database, as Database().Close()
    // does, and returns what that returns.
    std::optional<DbError> Close();

private:
    std::shared_ptr<db::Database> database_;
    std::string password_;
    std::unique_ptr<db::Recordset> recordset_;
};

} // namespace db
