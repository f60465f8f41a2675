// Times the record set operations one merge makes per record, on a Lodges
// table of N records (default 1,000,000): opening the record set, FindFirst
// by key with every second hit overwritten, and AddNew. Usage:
//   recordset_bench [N] [FOLDER]
#include "merge/Schema.h"
#include "platform/db/Data.h"
#include "platform/db/Transaction.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

long peakKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

void fill(const std::string& path, int records) {
    auto database = db::Database::create(path, merge::DatabasePassword);
    merge::createVarnholtSchema(*database);
    db::Transaction transaction(*database);
    db::Statement insert(database->handle(), "INSERT INTO Lodges (F1, F2, F12) VALUES (?, ?, ?)");
    for (int i = 0; i < records; ++i) {
        insert.bind(1, db::Value::text(fmt::format("K{}", i)));
        insert.bind(2, db::Value::text(fmt::format("lodge {}", i)));
        insert.bind(3, db::Value::text("2024-01-01 10:00:00"));
        insert.run("fill");
        insert.reset();
    }
    transaction.commit();
}

} // namespace

int main(int argc, char** argv) {
    const int records = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const std::filesystem::path folder =
        argc > 2 ? argv[2] : std::filesystem::temp_directory_path() / "recordset_bench";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "Varnholt.mdb").string();
    fill(path, records);

    db::Data data("Data1");
    data.Connect = std::string("MS Access;PWD=") + merge::DatabasePassword + ";";
    data.DatabaseName = path;
    data.RecordSource = "SELECT * FROM Lodges ORDER BY F1";
    auto start = Clock::now();
    data.Refresh();
    std::printf("open %d records: %.0f ms\n", records, msSince(start));

    db::Recordset& lodges = data.Recordset();
    const int searches = 20000;
    start = Clock::now();
    for (int i = 0; i < searches; ++i) {
        lodges.FindFirst("F1 = 'k" + std::to_string((i * 7919) % records) + "'");
        if (lodges.NoMatch() || lodges.Fields("F12").Value().isNull())
            return 1;
        if (i % 2) {
            lodges.Edit();
            lodges.Fields("F2") = db::Value::text("changed");
            lodges.Update();
        }
    }
    std::printf("FindFirst, every second one overwritten: %.1f us each\n",
                msSince(start) * 1000 / searches);

    const int adds = 10000;
    start = Clock::now();
    for (int i = 0; i < adds; ++i) {
        lodges.AddNew();
        lodges.Fields("F1") = db::Value::text(fmt::format("N{}", i));
        lodges.Fields("F12") = db::Value::text("2024-02-02");
        lodges.Update();
    }
    std::printf("AddNew and Update: %.1f us each\n", msSince(start) * 1000 / adds);
    data.Close();
    std::printf("peak memory: %ld MB\n", peakKilobytes() / 1024);
    std::filesystem::remove_all(folder);
}
