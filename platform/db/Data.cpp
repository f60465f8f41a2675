#include "platform/db/Data.h"

#include "platform/db/ConnectText.h"
#include "platform/db/DbError.h"

namespace db {

void Data::Refresh() {
    const std::string password = passwordFromConnect(Connect);
    if (DatabaseName.empty())
        throw DbError("The data connection " + Caption + " names no database file.");
    recordset_.reset();
    const OpenMode mode = ReadOnly ? OpenMode::ReadOnly : OpenMode::ReadWrite;
    const bool reuse = database_ && database_->isOpen() && database_->path() == DatabaseName &&
                       password_ == password && database_->readOnly() == ReadOnly;
    if (!reuse) {
        Close();
        database_ = db::Database::open(DatabaseName, password, mode);
        password_ = password;
    }
    if (RecordSource.empty())
        throw DbError("The data connection " + Caption + " has no record source.");
    recordset_ = std::make_unique<db::Recordset>(database_, RecordSource);
}

db::Recordset& Data::Recordset() {
    if (!recordset_)
        throw DbError("The data connection " + Caption + " has no open record set.");
    return *recordset_;
}

db::Database& Data::Database() {
    if (!database_)
        throw DbError("The data connection " + Caption + " has no open database.");
    return *database_;
}

std::optional<DbError> Data::Close() {
    recordset_.reset();
    std::optional<DbError> closing;
    if (database_)
        closing = database_->Close();
    database_.reset();
    return closing;
}

} // namespace db
