// vhdb demo: what the two files it makes hold, read back with SQL, and what
// it reports about them.
#include "platform/db/Database.h"
#include "tests/support/DbHelpers.h"
#include "tests/support/TempDir.h"
#include "tools/vhdb/Vhdb.h"

#include <array>
#include <filesystem>
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <map>
#include <sstream>

namespace {

using testing_support::readFile;
using testing_support::rowsOf;
using testing_support::TempDir;
using testing_support::VarnholtPassword;
using testing_support::writeFile;
using Rows = std::vector<std::vector<db::Value>>;

const std::array<std::string, 4> tables = {"Lodges", "Issues", "Activities", "MValues"};

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

Outcome vhdb(std::vector<std::string> args) {
    args.insert(args.begin(), "vhdb");
    std::vector<const char*> argv;
    for (const auto& a : args)
        argv.push_back(a.c_str());
    std::ostringstream out, err;
    const int code = vhdb::run(static_cast<int>(argv.size()), argv.data(), out, err);
    return {code, out.str(), err.str()};
}

// Runs demo into `dir` with `options`; the run must succeed.
std::string demo(const std::string& dir, std::vector<std::string> options) {
    options.insert(options.begin(), {"demo", dir});
    const Outcome run = vhdb(options);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    return run.out;
}

std::vector<std::string> sizes(int update, int main) {
    std::vector<std::string> options;
    for (const char* flag : {"--lodges", "--issues", "--activities", "--values"})
        options.insert(options.end(), {flag, std::to_string(update)});
    options.insert(options.end(), {"--main-records", std::to_string(main)});
    return options;
}

// Every record of the four tables, in stored order.
std::vector<Rows> tablesOf(const std::string& file) {
    auto database = db::Database::open(file, VarnholtPassword, db::OpenMode::ReadOnly);
    std::vector<Rows> all;
    for (const auto& table : tables)
        all.push_back(rowsOf(*database, "SELECT * FROM " + table + " ORDER BY rowid"));
    return all;
}

std::int64_t number(db::Database& database, const std::string& sql) {
    return rowsOf(database, sql).at(0).at(0).asInteger();
}

TEST(Demo, TheSameSeedMakesTheSameRecordsAndAnotherSeedOthers) {
    TempDir dir;
    auto withSeed = [](const char* seed) {
        auto options = sizes(30, 60);
        options.insert(options.end(), {"--seed", seed});
        return options;
    };
    demo(dir.file("a"), withSeed("7"));
    demo(dir.file("b"), withSeed("7"));
    demo(dir.file("c"), withSeed("8"));
    for (const auto& [file, records] : {std::pair{"Varnholt.mdb", 60u}, {"VHUpdate.mdb", 30u}}) {
        const auto a = tablesOf(dir.file("a") + "/" + file);
        const auto b = tablesOf(dir.file("b") + "/" + file);
        const auto c = tablesOf(dir.file("c") + "/" + file);
        for (std::size_t t = 0; t < tables.size(); ++t) {
            SCOPED_TRACE(std::string(file) + " " + tables[t]);
            EXPECT_EQ(a[t].size(), records);
            EXPECT_EQ(a[t], b[t]);
            EXPECT_NE(a[t], c[t]);
        }
    }
}

TEST(Demo, MakesItsFolderAndAsManyRecordsAsAsked) {
    TempDir dir;
    const std::string folder = dir.file("new/sub");
    // More update records than main ones: the update cannot name more main
    // keys than there are, the rest are new.
    const std::string out = demo(folder, {"--lodges", "7", "--issues", "0", "--activities", "25",
                                          "--values", "12", "--main-records", "5"});
    EXPECT_NE(out.find(folder + "/Varnholt.mdb"), std::string::npos) << out;
    EXPECT_NE(out.find(folder + "/VHUpdate.mdb"), std::string::npos) << out;
    const auto main = tablesOf(folder + "/Varnholt.mdb");
    const auto update = tablesOf(folder + "/VHUpdate.mdb");
    const std::array<std::size_t, 4> updateCounts = {7, 0, 25, 12};
    for (std::size_t t = 0; t < tables.size(); ++t) {
        EXPECT_EQ(main[t].size(), 5u) << tables[t];
        EXPECT_EQ(update[t].size(), updateCounts[t]) << tables[t];
    }

    // Without --main-records the main database holds four times the update.
    demo(dir.file("default"),
         {"--lodges", "3", "--issues", "1", "--activities", "0", "--values", "2"});
    const auto defaults = tablesOf(dir.file("default/Varnholt.mdb"));
    const std::array<std::size_t, 4> mainCounts = {12, 4, 0, 8};
    for (std::size_t t = 0; t < tables.size(); ++t)
        EXPECT_EQ(defaults[t].size(), mainCounts[t]) << tables[t];
}

// The fields that make up each table's key, and its date stamp.
struct KeyOf {
    std::vector<std::string> fields;
    std::string stamp;
};
const std::map<std::string, KeyOf> keys = {
    {"Lodges", {{"F1"}, "F12"}},
    {"Issues", {{"F1", "F2"}, "F9"}},
    {"Activities", {{"F1", "F2", "F6"}, "F5"}},
    {"MValues", {{"IDNUM", "ISSUE"}, "LUPDATE"}},
};

// `form` written out for each key field ({0} stands for its name), joined.
std::string eachKeyField(const std::string& table, const char* form, const char* separator) {
    std::string joined;
    for (const auto& field : keys.at(table).fields)
        joined += (joined.empty() ? "" : separator) + fmt::format(fmt::runtime(form), field);
    return joined;
}

// Update records joined to the main records with the same key: letter case
// ignored (the key columns compare without it), null matching null.
std::string matched(const std::string& table) {
    return fmt::format("FROM upd.{0} AS u JOIN main.{0} AS m ON {1}", table,
                       eachKeyField(table, "m.{0} IS u.{0}", " AND "));
}

// One table's records, the update's by what a merge does with them.
struct Kinds {
    std::int64_t main = 0, update = 0;
    std::int64_t added = 0, later = 0, same = 0, earlier = 0, noStamp = 0;
    std::int64_t otherCase = 0, apostrophe = 0, nullKey = 0;
    friend bool operator==(const Kinds&, const Kinds&) = default;
};

void PrintTo(const Kinds& k, std::ostream* out) {
    *out << fmt::format("main {} update {} | new {} later {} same {} earlier {} no stamp {} | "
                        "other case {} apostrophe {} null key {}",
                        k.main, k.update, k.added, k.later, k.same, k.earlier, k.noStamp,
                        k.otherCase, k.apostrophe, k.nullKey);
}

// The counts of one table as demo printed them, read off its line:
// name, main, update | new, later, same, earlier, no stamp | other case,
// apostrophe, null key.
Kinds reported(const std::string& out, const std::string& table) {
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string word;
        if (!(words >> word) || word != table)
            continue;
        std::vector<std::int64_t> n;
        while (words >> word)
            if (word != "|")
                n.push_back(std::stoll(word));
        if (n.size() != 10)
            break;
        return {n[0], n[1], n[2], n[3], n[4], n[5], n[6], n[7], n[8], n[9]};
    }
    ADD_FAILURE() << "no line of ten counts for " << table << " in:\n" << out;
    return {};
}

// The same counts, found with SQL over both files.
Kinds counted(db::Database& both, const std::string& table) {
    const std::string stamp = keys.at(table).stamp;
    auto count = [&](const std::string& sql) { return number(both, "SELECT count(*) " + sql); };
    auto stamped = [&](const char* op) {
        return count(
            fmt::format("{} WHERE date(u.{}) {} date(m.{})", matched(table), stamp, op, stamp));
    };
    Kinds k;
    k.main = count("FROM main." + table);
    k.update = count("FROM upd." + table);
    k.added = count(fmt::format("FROM upd.{0} AS u WHERE NOT EXISTS (SELECT 1 FROM main.{0} AS m "
                                "WHERE {1})",
                                table, eachKeyField(table, "m.{0} IS u.{0}", " AND ")));
    k.later = stamped(">");
    k.same = stamped("=");
    k.earlier = stamped("<");
    k.noStamp =
        count(fmt::format("{} WHERE u.{} IS NULL OR m.{} IS NULL", matched(table), stamp, stamp));
    k.otherCase =
        count(matched(table) + " WHERE " +
              eachKeyField(table, "ifnull(u.{0}, '') <> ifnull(m.{0}, '') COLLATE BINARY", " OR "));
    k.apostrophe = count(fmt::format("FROM upd.{} AS u WHERE {}", table,
                                     eachKeyField(table, "instr(u.{0}, '''') > 0", " OR ")));
    k.nullKey = count(fmt::format("FROM upd.{} AS u WHERE {}", table,
                                  eachKeyField(table, "u.{0} IS NULL", " OR ")));
    return k;
}

// Keys that occur more than once in a file, letter case ignored and null
// matching null, as GROUP BY compares the key columns.
std::int64_t repeatedKeys(db::Database& both, const std::string& file, const std::string& table) {
    return number(both, fmt::format("SELECT count(*) FROM (SELECT 1 FROM {}.{} GROUP BY {} "
                                    "HAVING count(*) > 1)",
                                    file, table, eachKeyField(table, "{0}", ", ")));
}

TEST(Demo, TheUpdateHoldsEveryKindOfRecordAMergeMeetsAndTheReportCountsThem) {
    TempDir dir;
    const std::string out = demo(dir.path().string(), sizes(300, 600));
    auto both =
        db::Database::open(dir.file("Varnholt.mdb"), VarnholtPassword, db::OpenMode::ReadOnly);
    db::Statement attach(both->handle(), "ATTACH DATABASE ? AS upd KEY ?");
    attach.bind(1, db::Value::text(dir.file("VHUpdate.mdb")));
    attach.bind(2, db::Value::text(VarnholtPassword));
    attach.step("attach the update");

    for (const auto& table : tables) {
        SCOPED_TRACE(table);
        // Keys that repeat would make the outcome of a merge hang on the
        // order of the records.
        EXPECT_EQ(repeatedKeys(*both, "main", table), 0);
        EXPECT_EQ(repeatedKeys(*both, "upd", table), 0);

        const Kinds k = counted(*both, table);
        EXPECT_EQ(reported(out, table), k);
        EXPECT_EQ(k.main, 600);
        EXPECT_EQ(k.update, 300);
        EXPECT_EQ(k.added + k.later + k.same + k.earlier + k.noStamp, k.update);
        for (std::int64_t kind : {k.added, k.later, k.same, k.earlier, k.noStamp, k.otherCase})
            EXPECT_GT(kind, 0);
        EXPECT_LT(k.noStamp, k.update / 5) << "null stamps are meant to be rare";

        // A main key with an apostrophe, in a record that overwrites it: the
        // merge's search must find it.
        EXPECT_GT(number(*both, fmt::format("SELECT count(*) {0} WHERE date(u.{1}) > date(m.{1}) "
                                            "AND ({2})",
                                            matched(table), keys.at(table).stamp,
                                            eachKeyField(table, "instr(m.{0}, '''') > 0", " OR "))),
                  0);
        // A few non-key fields are null, in both files.
        const char* field = table == "MValues" ? "CONDITION" : "F3";
        for (const char* file : {"main", "upd"})
            EXPECT_GT(number(*both, fmt::format("SELECT count(*) FROM {}.{} WHERE {} IS NULL", file,
                                                table, field)),
                      0);
    }
    // Issues hold null key parts: new keys, and main keys overwritten.
    EXPECT_GT(number(*both, "SELECT count(*) FROM upd.Issues AS u WHERE u.F2 IS NULL AND NOT "
                            "EXISTS (SELECT 1 FROM main.Issues AS m WHERE m.F1 IS u.F1 AND "
                            "m.F2 IS NULL)"),
              0);
    EXPECT_GT(number(*both, "SELECT count(*) " + matched("Issues") +
                                " WHERE u.F2 IS NULL AND date(u.F9) > date(m.F9)"),
              0);
}

TEST(Demo, RefusesToWriteOverEitherFileAndMakesNeitherThen) {
    for (const char* existing : {"Varnholt.mdb", "VHUpdate.mdb"}) {
        SCOPED_TRACE(existing);
        TempDir dir;
        const std::string kept = dir.file(existing);
        writeFile(kept, "someone's work");
        const Outcome run = vhdb({"demo", dir.path().string(), "--lodges", "1"});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("\"" + kept + "\" already exists"), std::string::npos) << run.err;
        EXPECT_EQ(readFile(kept), "someone's work");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                                std::filesystem::directory_iterator()),
                  1);
    }
    TempDir dir;
    writeFile(dir.file("file"), "");
    const Outcome run = vhdb({"demo", dir.file("file")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("Cannot make the folder"), std::string::npos) << run.err;
}

} // namespace
