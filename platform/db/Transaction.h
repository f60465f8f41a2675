#pragma once

namespace db {

class Database;

// A write transaction (BEGIN IMMEDIATE), rolled back when the object goes
// before commit().
class Transaction {
public:
    explicit Transaction(Database& database);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

private:
    Database& database_;
    bool done_ = false;
};

} // namespace db
