#include "platform/db/Transaction.h"

#include "platform/db/Database.h"
#include "platform/db/Text.h"

namespace db {

Transaction::Transaction(Database& database) : database_(database) {
    // A read transaction the connection had joined ends first.
    database_.commitTransaction();
    database_.exec("BEGIN IMMEDIATE",
                   "Cannot start writing to " + inQuotes(database_.path()) + ".");
}

Transaction::~Transaction() {
    if (!done_)
        database_.rollback();
}

void Transaction::commit() {
    database_.exec("COMMIT", "Cannot save the changes to " + inQuotes(database_.path()) + ".");
    done_ = true;
}

} // namespace db
