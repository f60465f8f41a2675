// Times each of the four table merges on its own table: N update records per
// table (default 50,000), half of them overwriting older records of the main
// database, half of them new keys. Behind a host that draws nothing, so the
// figures are the merges' own. Usage:
//   tables_bench [N] [FOLDER]
#include "BareHost.h"
#include "db/Schema.h"
#include "db/Statement.h"
#include "merge/tables.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
const std::string password = "Kor240853";

// Records keyed K0000000 upwards (second key part "S", Activities' number 7),
// stamped `stamp`, every other field filled.
void fill(db::Database& database, const db::TableSpec& table, int records, const char* stamp) {
    std::string columns, placeholders;
    for (const db::ColumnSpec& column : table.columns) {
        columns += (columns.empty() ? "" : ", ") + column.name;
        placeholders += placeholders.empty() ? "?" : ", ?";
    }
    db::Statement insert(database.handle(), "INSERT INTO " + table.name + " (" + columns +
                                                ") VALUES (" + placeholders + ")");
    for (int i = 0; i < records; ++i) {
        db::Statement::ResetGuard guard(insert);
        char key[16];
        std::snprintf(key, sizeof key, "K%07d", i);
        for (std::size_t c = 0; c < table.columns.size(); ++c) {
            const db::ColumnSpec& column = table.columns[c];
            const int slot = static_cast<int>(c + 1);
            if (c == 0)
                insert.bind(slot, db::Value::text(key));
            else if (c == 1)
                insert.bind(slot, db::Value::text("S"));
            else if (column.type.find("DATE") != std::string::npos)
                insert.bind(slot, db::Value::text(stamp));
            else if (column.type == "NUMERIC")
                insert.bind(slot, db::Value::integer(7));
            else
                insert.bind(slot, db::Value::text(column.name + " of record " + std::to_string(i)));
        }
        insert.step("fill");
    }
}

void fillAll(const std::string& path, int records, const char* stamp) {
    auto database = db::Database::create(path, password, db::createVarnholtSchema);
    db::Transaction transaction(*database);
    for (const db::TableSpec& table : db::varnholtTables())
        fill(*database, table, records, stamp);
    transaction.commit();
}

} // namespace

int main(int argc, char** argv) {
    const int records = argc > 1 ? std::atoi(argv[1]) : 50000;
    const std::filesystem::path folder =
        argc > 2 ? argv[2] : std::filesystem::temp_directory_path() / "tables_bench";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::string main = (folder / "Varnholt.mdb").string();
    const std::string update = (folder / "VHUpdate.mdb").string();
    fillAll(main, records / 2, "2024-01-01 10:00:00");
    fillAll(update, records, "2024-06-01 10:00:00");

    struct Merge {
        const char* table;
        std::int32_t (*run)(merge::Host&, const std::string&, const std::string&);
    };
    const std::vector<Merge> merges = {{"Lodges", &merge::LodgeUpdate},
                                       {"Issues", &merge::IssueUpdate},
                                       {"Activities", &merge::ActivityUpdate},
                                       {"MValues", &merge::ValuesUpdate}};
    std::printf("%d update records a table on %d main records, half of them overwritten:\n",
                records, records / 2);
    bench::BareHost host(password);
    for (const Merge& merge : merges) {
        const auto start = Clock::now();
        const std::int32_t written = merge.run(host, main, update);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (written != records) {
            std::fprintf(stderr, "%s: the merge wrote %d records, not %d\n", merge.table, written,
                         records);
            return 1;
        }
        std::printf("  %-10s %6.2f s  %5.1f us/record\n", merge.table, seconds,
                    seconds * 1e6 / records);
    }
    host.Data1().close();
    host.Data2().close();
    std::filesystem::remove_all(folder);
}
