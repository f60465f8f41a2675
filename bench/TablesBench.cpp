// Times each of the four table merges on its own table: N update records per
// table (default 50,000), half of them overwriting older records of the main
// database, half of them new keys. Behind a host that draws nothing, so the
// figures are the merges' own. Usage:
//   tables_bench [N] [FOLDER]
#include "bench/BareHost.h"
#include "bench/Fill.h"
#include "merge/Merger.h"
#include "merge/Tables.h"
#include "merge/Walk.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
const std::string password = merge::DatabasePassword;

} // namespace

int main(int argc, char** argv) {
    const int records = argc > 1 ? std::atoi(argv[1]) : 50000;
    const std::filesystem::path folder =
        argc > 2 ? argv[2] : std::filesystem::temp_directory_path() / "tables_bench";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::string main = (folder / "Varnholt.mdb").string();
    const std::string update = (folder / "VHUpdate.mdb").string();
    std::vector<std::string> tables;
    for (const merge::TableDef* table : merge::varnholtTables())
        tables.push_back(table->name);
    bench::makeFilled(main, password, tables, records / 2, "2024-01-01 10:00:00");
    bench::makeFilled(update, password, tables, records, "2024-06-01 10:00:00");

    std::printf("%d update records a table on %d main records, half of them overwritten:\n",
                records, records / 2);
    bench::BareHost host;
    merge::Merger merger(host);
    merger.DBPassword = password;
    for (const merge::TableDef* table : merge::varnholtTables()) {
        const auto start = Clock::now();
        const std::int32_t written = merge::mergeTable(merger, *table, main, update);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (written != records) {
            std::fprintf(stderr, "%s: the merge wrote %d records, not %d\n", table->name.c_str(),
                         written, records);
            return 1;
        }
        std::printf("  %-10s %6.2f s  %5.1f us/record\n", table->name.c_str(), seconds,
                    seconds * 1e6 / records);
    }
    merger.closeConnections();
    std::filesystem::remove_all(folder);
}
