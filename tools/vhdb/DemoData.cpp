#include "tools/vhdb/DemoData.h"

#include "merge/Schema.h"
#include "platform/db/Database.h"
#include "platform/db/Statement.h"
#include "platform/db/Text.h"
#include "platform/db/Transaction.h"
#include "tools/vhdb/DemoTables.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <unordered_set>

namespace vhdb::demo {

namespace {

// The draws of a table, apart from those its keys make.
enum Stream : std::uint64_t { Plan = 1, MainFields = 2, UpdateFields = 3, MainStamps = 4 };

std::uint64_t streamOf(const CatalogueTable& table, Stream stream) {
    return table.stream * 16 + stream;
}

// Shares of the update, in percent: of its records, those for existing keys;
// of those, the ones stamped a later day, the same day and an earlier day
// (the rest carry no stamp), and the ones that spell the key in other letter
// case. Null fields and null stamps are rare, as in real files.
constexpr std::uint64_t ExistingShare = 60;
constexpr std::uint64_t LaterShare = 55;
constexpr std::uint64_t SameShare = 15;
constexpr std::uint64_t EarlierShare = 20;
constexpr int OtherCaseChance = 12;
constexpr int NullFieldChance = 3;
constexpr int NullStampChance = 2;
constexpr int MaxDaysApart = 730;

enum class Kind { New, LaterDay, SameDay, EarlierDay, NoStamp };

struct Planned {
    std::uint64_t number;
    Kind kind;
    bool otherCase = false;
};

template <class Engine> void shuffle(std::vector<Planned>& items, Draws<Engine>& draws) {
    for (std::size_t i = items.size(); i > 1; --i)
        std::swap(items[i - 1], items[draws.below(i)]);
}

// `count` distinct numbers below `range`, by Floyd's sampling: memory for
// the sample only, however large the main database.
std::vector<std::uint64_t> sample(Random& random, std::uint64_t count, std::uint64_t range) {
    std::unordered_set<std::uint64_t> taken;
    std::vector<std::uint64_t> chosen;
    chosen.reserve(count);
    for (std::uint64_t j = range - count; j < range; ++j) {
        const std::uint64_t t = random.below(j + 1);
        const std::uint64_t pick = taken.contains(t) ? j : t;
        taken.insert(pick);
        chosen.push_back(pick);
    }
    return chosen;
}

// Which keys the update holds and how each is stamped, in the update's
// record order: key numbers below `mainCount` are main keys, the others new.
std::vector<Planned> planUpdate(const CatalogueTable& table, std::uint64_t seed,
                                std::uint64_t updateCount, std::uint64_t mainCount) {
    Random random(seedFor(seed, streamOf(table, Plan), 0));
    const std::uint64_t existing = std::min(updateCount * ExistingShare / 100, mainCount);
    std::vector<Planned> plan;
    plan.reserve(updateCount);
    for (std::uint64_t number : sample(random, existing, mainCount))
        plan.push_back({number, Kind::NoStamp});
    shuffle(plan, random);
    const std::uint64_t later = existing * LaterShare / 100;
    const std::uint64_t same = later + existing * SameShare / 100;
    const std::uint64_t earlier = same + existing * EarlierShare / 100;
    for (std::uint64_t i = 0; i < existing; ++i) {
        plan[i].kind = i < later     ? Kind::LaterDay
                       : i < same    ? Kind::SameDay
                       : i < earlier ? Kind::EarlierDay
                                     : Kind::NoStamp;
        plan[i].otherCase = random.percent(OtherCaseChance);
    }
    for (std::uint64_t number = mainCount; plan.size() < updateCount; ++number)
        plan.push_back({number, Kind::New});
    shuffle(plan, random);
    return plan;
}

const std::int64_t MainFirstDay = db::DateTime{1996, 1, 1}.dayNumber();
const std::int64_t MainLastDay = db::DateTime{2003, 12, 31}.dayNumber();
const std::int64_t UpdateFirstDay = db::DateTime{2001, 1, 1}.dayNumber();
const std::int64_t UpdateLastDay = db::DateTime{2005, 12, 31}.dayNumber();

template <class Engine>
db::DateTime stampBetween(Draws<Engine>& draws, std::int64_t first, std::int64_t last) {
    const auto day = first + static_cast<std::int64_t>(
                                 draws.below(static_cast<std::uint64_t>(last - first + 1)));
    return dateOfDay(day, draws.between(0, 86399));
}

// A main record's stamp follows from its key number alone, so that the
// update can be stamped against it.
std::optional<db::DateTime> mainStamp(const CatalogueTable& table, std::uint64_t seed,
                                      std::uint64_t number) {
    KeyDraws draws(seedFor(seed, streamOf(table, MainStamps), number));
    if (draws.percent(NullStampChance))
        return std::nullopt;
    return stampBetween(draws, MainFirstDay, MainLastDay);
}

db::Value valueOf(const std::optional<db::DateTime>& stamp) {
    return stamp ? db::Value::date(*stamp) : db::Value();
}

std::string otherCaseOf(const std::string& text) {
    std::string upper = text;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper != text ? upper : db::toLower(text);
}

// A table's columns as positions in its rows.
struct Layout {
    const merge::TableDef* table;
    std::vector<std::size_t> keys;
    std::size_t stamp = 0;
};

Layout layoutOf(const CatalogueTable& table) {
    Layout layout{&table.table(), {}, 0};
    const auto& columns = layout.table->columns;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].name == layout.table->dateField)
            layout.stamp = i;
        if (layout.table->isKey(columns[i].name))
            layout.keys.push_back(i);
    }
    return layout;
}

bool isKey(const Layout& layout, std::size_t column) {
    return std::find(layout.keys.begin(), layout.keys.end(), column) != layout.keys.end();
}

// Appends rows to one table through one prepared statement. Its key index
// is dropped while the rows go in and made again after: building it once
// from sorted keys beats keeping it up to date through inserts in random
// key order (about a seventh less time for a million records a table).
class TableWriter {
public:
    TableWriter(db::Database& database, const Layout& layout)
        : database_(database), layout_(layout), indexes_(indexesOf()), insert_(prepare()) {
        for (const auto& index : indexes_)
            database_.exec("DROP INDEX " + db::quoteIdentifier(index.first),
                           "Cannot fill table " + layout_.table->name + ".");
    }

    void add(const Row& row) {
        for (std::size_t i = 0; i < row.size(); ++i)
            insert_.bind(static_cast<int>(i + 1), row[i]);
        insert_.run([&] { return "Cannot add a record to table " + layout_.table->name + "."; });
        insert_.reset();
    }

    void finish() {
        for (const auto& index : indexes_)
            database_.exec(index.second, "Cannot index table " + layout_.table->name + ".");
    }

private:
    std::vector<std::pair<std::string, std::string>> indexesOf() {
        db::Statement select(database_.handle(),
                             "SELECT name, sql FROM sqlite_master WHERE type = 'index' AND "
                             "tbl_name = ? AND sql IS NOT NULL ORDER BY name");
        select.bind(1, db::Value::text(layout_.table->name));
        std::vector<std::pair<std::string, std::string>> indexes;
        while (select.step("Cannot read the indexes of table " + layout_.table->name + "."))
            indexes.emplace_back(select.columnText(0), select.columnText(1));
        return indexes;
    }

    db::Statement prepare() {
        return db::Statement(database_.handle(), merge::insertSql(*layout_.table));
    }

    db::Database& database_;
    const Layout& layout_;
    std::vector<std::pair<std::string, std::string>> indexes_;
    db::Statement insert_;
};

// The key and the fields of key number `number`; a few fields null.
void makeRow(const CatalogueTable& table, const Layout& layout, std::uint64_t seed, Random& random,
             std::uint64_t number, Row& row) {
    table.key(seed, number, row);
    table.fill(random, number, row);
    for (std::size_t i = 0; i < row.size(); ++i)
        if (i != layout.stamp && !isKey(layout, i) && random.percent(NullFieldChance))
            row[i] = db::Value();
}

void fillMain(db::Database& database, const CatalogueTable& table, std::uint64_t seed,
              std::uint64_t count) {
    const Layout layout = layoutOf(table);
    TableWriter writer(database, layout);
    Random random(seedFor(seed, streamOf(table, MainFields), 0));
    Row row(layout.table->columns.size());
    for (std::uint64_t number = 0; number < count; ++number) {
        makeRow(table, layout, seed, random, number, row);
        row[layout.stamp] = valueOf(mainStamp(table, seed, number));
        writer.add(row);
    }
    writer.finish();
}

// The update's stamp for a main key of the planned kind, and the kind it
// turned out to be: a main record without a stamp is never overwritten.
Kind stampExisting(const CatalogueTable& table, std::uint64_t seed, const Planned& planned,
                   Random& random, std::optional<db::DateTime>& stamp) {
    const auto main = mainStamp(table, seed, planned.number);
    if (!main) {
        stamp = random.percent(50)
                    ? std::nullopt
                    : std::optional(stampBetween(random, UpdateFirstDay, UpdateLastDay));
        return Kind::NoStamp;
    }
    const std::int64_t day = main->dayNumber();
    const int second = random.between(0, 86399);
    switch (planned.kind) {
    case Kind::LaterDay:
        stamp = dateOfDay(day + random.between(1, MaxDaysApart), second);
        break;
    case Kind::SameDay:
        stamp = dateOfDay(day, second);
        break;
    case Kind::EarlierDay:
        stamp = dateOfDay(day - random.between(1, MaxDaysApart), second);
        break;
    default:
        stamp.reset();
    }
    return planned.kind;
}

void count(TableReport& report, Kind kind) {
    switch (kind) {
    case Kind::New:
        ++report.added;
        break;
    case Kind::LaterDay:
        ++report.laterDay;
        break;
    case Kind::SameDay:
        ++report.sameDay;
        break;
    case Kind::EarlierDay:
        ++report.earlierDay;
        break;
    case Kind::NoStamp:
        ++report.noStamp;
        break;
    }
}

void countKey(TableReport& report, const Layout& layout, const Row& row) {
    bool apostrophe = false, null = false;
    for (std::size_t i : layout.keys) {
        null = null || row[i].isNull();
        apostrophe =
            apostrophe || (row[i].isText() && row[i].asText().find('\'') != std::string::npos);
    }
    report.apostrophe += apostrophe;
    report.nullKey += null;
}

void fillUpdate(db::Database& database, const CatalogueTable& table, std::uint64_t seed,
                TableReport& report) {
    const Layout layout = layoutOf(table);
    TableWriter writer(database, layout);
    Random random(seedFor(seed, streamOf(table, UpdateFields), 0));
    Row row(layout.table->columns.size());
    for (const Planned& planned : planUpdate(table, seed, report.update, report.main)) {
        makeRow(table, layout, seed, random, planned.number, row);
        std::optional<db::DateTime> stamp;
        Kind kind = Kind::New;
        if (planned.kind == Kind::New) {
            if (!random.percent(NullStampChance))
                stamp = stampBetween(random, UpdateFirstDay, UpdateLastDay);
        } else {
            kind = stampExisting(table, seed, planned, random, stamp);
        }
        if (planned.otherCase) {
            for (std::size_t i : layout.keys)
                if (row[i].isText())
                    row[i] = db::Value::text(otherCaseOf(row[i].asText()));
            ++report.otherCase;
        }
        row[layout.stamp] = valueOf(stamp);
        count(report, kind);
        countKey(report, layout, row);
        writer.add(row);
    }
    writer.finish();
}

template <class Fill> void make(const std::string& path, const std::string& password, Fill fill) {
    db::Database::create(path, password, [&](db::Database& database) {
        merge::createVarnholtSchema(database);
        db::Transaction transaction(database);
        fill(database);
        transaction.commit();
    });
}

} // namespace

std::vector<TableReport> makeDemo(const std::string& mainPath, const std::string& updatePath,
                                  const std::string& password, const Sizes& sizes) {
    const auto& tables = catalogueTables();
    std::vector<TableReport> reports;
    for (std::size_t t = 0; t < tables.size(); ++t)
        reports.push_back({.table = tables[t].table().name,
                           .main = sizes.main.value_or(4 * sizes.update[t]),
                           .update = sizes.update[t]});

    make(mainPath, password, [&](db::Database& database) {
        for (std::size_t t = 0; t < tables.size(); ++t)
            fillMain(database, tables[t], sizes.seed, reports[t].main);
    });
    try {
        make(updatePath, password, [&](db::Database& database) {
            for (std::size_t t = 0; t < tables.size(); ++t)
                fillUpdate(database, tables[t], sizes.seed, reports[t]);
        });
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove(mainPath, ignored);
        throw;
    }
    return reports;
}

} // namespace vhdb::demo
