#include "tools/vhdb/DemoTables.h"

#include <fmt/format.h>

namespace vhdb::demo {

namespace {

using db::Value;

// Streams of draws, one per table and one for the lodge names that the
// Issues and Activities keys share with Lodges.
constexpr std::uint64_t LodgeNames = 101;
constexpr std::uint64_t LodgesStream = 1;
constexpr std::uint64_t IssuesStream = 2;
constexpr std::uint64_t ActivitiesStream = 3;
constexpr std::uint64_t ValuesStream = 4;

// About one lodge name in five holds an apostrophe.
constexpr const char* lodgeNames[] = {
    "St. John's",     "King Solomon's",
    "St. Andrew's",   "Widow's Son",
    "St. Paul's",     "Solomon's Temple",
    "Hiram",          "Mount Moriah",
    "Mount Zion",     "Union",
    "Harmony",        "Washington",
    "Franklin",       "Corinthian",
    "Doric",          "Ionic",
    "Acacia",         "Temple",
    "Evergreen",      "Meridian",
    "Olive Branch",   "Pythagoras",
    "Rising Star",    "Morning Star",
    "Lafayette",      "Columbia",
    "Liberty",        "Friendship",
    "Charity",        "Tyrian",
    "Mystic Tie",     "Keystone",
    "Orient",         "Star in the East",
    "Cedar",          "Lebanon",
    "Good Samaritan", "Ancient Landmarks",
    "Composite",      "Eureka",
};

struct Place {
    const char* city;
    const char* state;
};
constexpr Place places[] = {
    {"Boston", "MA"},    {"Worcester", "MA"},  {"Springfield", "IL"}, {"Peoria", "IL"},
    {"Albany", "NY"},    {"Utica", "NY"},      {"Buffalo", "NY"},     {"Hartford", "CT"},
    {"New Haven", "CT"}, {"Providence", "RI"}, {"Portland", "ME"},    {"Bangor", "ME"},
    {"Concord", "NH"},   {"Burlington", "VT"}, {"Trenton", "NJ"},     {"Lancaster", "PA"},
    {"Reading", "PA"},   {"Erie", "PA"},       {"Baltimore", "MD"},   {"Richmond", "VA"},
    {"Norfolk", "VA"},   {"Raleigh", "NC"},    {"Charleston", "SC"},  {"Savannah", "GA"},
    {"Mobile", "AL"},    {"Nashville", "TN"},  {"Louisville", "KY"},  {"Columbus", "OH"},
    {"Dayton", "OH"},    {"Toledo", "OH"},     {"Fort Wayne", "IN"},  {"Grand Rapids", "MI"},
    {"Saginaw", "MI"},   {"Madison", "WI"},    {"Dubuque", "IA"},     {"St. Paul", "MN"},
    {"St. Louis", "MO"}, {"Topeka", "KS"},     {"Omaha", "NE"},       {"Denver", "CO"},
    {"Galveston", "TX"}, {"Santa Fe", "NM"},   {"Sacramento", "CA"},  {"Coeur d'Alene", "ID"},
};

constexpr const char* surnames[] = {
    "Miller", "Hale",    "O'Neill", "Baker",  "Whitcomb", "Larsen", "D'Amato", "Fletcher",
    "Greene", "Hoffman", "Pratt",   "Sawyer", "Kendall",  "Moore",  "Novak",   "O'Hara",
    "Ramsey", "Stone",   "Tuttle",  "Vance",  "Webster",  "Young",  "Abbott",  "Brewer",
};
constexpr const char* streets[] = {
    "Main Street",   "Elm Street",  "Court Street", "Church Street", "Washington Avenue",
    "Market Street", "High Street", "Union Square", "Temple Place",  "Maple Avenue",
};
constexpr const char* ordinals[] = {"1st", "2nd", "3rd", "4th", "1st and 3rd", "2nd and 4th"};
constexpr const char* weekdays[] = {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday"};
constexpr const char* statuses[] = {"Active", "Active", "Active",      "Active",
                                    "Merged", "Dark",   "Consolidated"};
constexpr const char* lodgeNotes[] = {
    "Meets at the Masonic Temple",       "Charter surrendered 1932, restored 1947",
    "Merged with its neighbour lodge",   "Hall burned 1911; records lost",
    "Pennies struck for the centennial", "Meets upstairs over the bank",
    "Daughter lodge of St. John's",      "Moved to the new temple in 1925",
};

// An issue's key second part and its kind follow its slot within the lodge.
constexpr const char* issueCodes[] = {"P", "T", "M", "J"};
constexpr const char* issueKinds[] = {"Penny", "Token", "Medal", "Jewel"};
constexpr const char* metals[] = {"Copper", "Brass",  "Bronze",      "Silver",
                                  "Nickel", "Pewter", "White metal", "Aluminum"};
constexpr const char* shapes[] = {"Round", "Round",     "Round", "Keystone",
                                  "Oval",  "Octagonal", "Shield"};
constexpr const char* makers[] = {
    "Harwood & Pell",  "Brandt Stamping Co.", "Lindqvist Die Works", "Merriam & Sons",
    "Atlas Medal Co.", "Orr's Engraving",     "Keller Novelty Co.",  "unknown"};
constexpr const char* obverses[] = {
    "Keystone with HTWSSTKS",    "Square and compasses", "Lodge name around a beehive",
    "Temple front with columns", "All-seeing eye",       "Lodge name and number in wreath",
};
constexpr const char* reverses[] = {
    "Plain",           "Engraved initials",   "Engraved mark", "Chapter name and number",
    "Date of charter", "Widow's mite legend",
};
constexpr const char* issueNotes[] = {
    "Holed", "Restrike",       "Struck over an earlier penny", "Two die varieties",
    "Gilt",  "Only 50 struck", "Engraved to a member",         "Counterstamped",
};

// An activity's key second part follows its slot within the lodge.
constexpr const char* activityKinds[] = {"Installation", "Cornerstone", "Anniversary",
                                         "Charter Night", "Dedication"};
constexpr const char* activityDescriptions[][2] = {
    {"Officers installed by the Grand Master", "Installation banquet for members and wives"},
    {"Cornerstone laid with full ceremony", "Parade from the old hall to the new site"},
    {"Souvenir pennies given to all present", "Visiting lodges from three states"},
    {"Charter read and signed by the members", "Medals struck for the occasion"},
    {"New temple dedicated by the Grand Lodge", "Hall opened to the public for the day"},
};

// An MValues key second part is drawn from its slot's own list, so the
// three slots of one IDNUM never name the same issue.
constexpr const char* valueIssues[][3] = {
    {"Master's Penny", "Mark Penny", "Chapter Penny"},
    {"Lodge Token", "Widow's Token", "Dues Token"},
    {"Centennial Medal", "Jubilee Medal", "Founder's Medal"},
};
constexpr const char* grades[] = {
    "Poor",        "Fair",      "Good",           "Very Good",
    "Fine",        "Very Fine", "Extremely Fine", "About Uncirculated",
    "Uncirculated"};

Value text(std::string s) {
    return Value::text(std::move(s));
}

std::string person(Random& random) {
    return fmt::format("{}. {}", static_cast<char>('A' + random.below(26)), random.pick(surnames));
}

// "St. John's Lodge No. 17": the number makes the name unique.
std::string lodgeName(std::uint64_t seed, std::uint64_t lodge) {
    KeyDraws draws(seedFor(seed, LodgeNames, lodge));
    return fmt::format("{} Lodge No. {}", draws.pick(lodgeNames), lodge);
}

void lodgeKey(std::uint64_t seed, std::uint64_t number, Row& row) {
    row[0] = text(lodgeName(seed, number + 1));
}

void lodgeFill(Random& random, std::uint64_t, Row& row) {
    const Place& place = random.pick(places);
    row[1] = text(place.city);
    row[2] = text(place.state);
    row[3] = text(std::to_string(random.between(1790, 1995)));
    row[4] = text(fmt::format("District {}", random.between(1, 40)));
    row[5] = text(fmt::format("{} {}", random.between(1, 2400), random.pick(streets)));
    row[6] = text(fmt::format("{} {}", random.pick(ordinals), random.pick(weekdays)));
    row[7] = text(person(random));
    row[8] =
        text(fmt::format("({}) 555-{:04}", random.between(201, 989), random.between(100, 9999)));
    row[9] = text(random.pick(statuses));
    row[10] = text(random.pick(lodgeNotes));
    row[12] = text(person(random));
}

// Four issues to a lodge. One lodge in eight has an issue whose number is
// not known: its second key part is null.
void issueKey(std::uint64_t seed, std::uint64_t number, Row& row) {
    const std::uint64_t slot = number % 4;
    KeyDraws draws(seedFor(seed, IssuesStream, number));
    row[0] = text(lodgeName(seed, number / 4 + 1));
    if (slot == 0 && draws.percent(12))
        row[1] = Value();
    else
        row[1] = text(fmt::format("{}-{}", issueCodes[slot], draws.between(1, 9)));
}

void issueFill(Random& random, std::uint64_t number, Row& row) {
    row[2] = text(issueKinds[number % 4]);
    row[3] = text(random.pick(metals));
    row[4] = text(random.pick(shapes));
    row[5] = text(fmt::format("{} mm", random.between(19, 45)));
    row[6] = text(std::to_string(random.between(1870, 2000)));
    row[7] = text(random.pick(makers));
    row[9] = text(random.pick(obverses));
    row[10] = text(random.pick(reverses));
    row[11] = text(fmt::format("R{}", random.between(1, 8)));
    row[12] = text(fmt::format("Vh {}-{}", random.between(1, 60), random.between(1, 999)));
    row[13] = text(random.pick(issueNotes));
}

// Five activities to a lodge, one of each kind; F6 is the year.
void activityKey(std::uint64_t seed, std::uint64_t number, Row& row) {
    KeyDraws draws(seedFor(seed, ActivitiesStream, number));
    row[0] = text(lodgeName(seed, number / 5 + 1));
    row[1] = text(activityKinds[number % 5]);
    row[5] = Value::integer(draws.between(1850, 2004));
}

void activityFill(Random& random, std::uint64_t number, Row& row) {
    const Place& place = random.pick(places);
    row[2] = text(random.pick(activityDescriptions[number % 5]));
    row[3] = text(fmt::format("{}, {}", place.city, place.state));
}

// Three valued issues to a piece number: "MA004217" and "Widow's Token".
void valueKey(std::uint64_t seed, std::uint64_t number, Row& row) {
    const std::uint64_t piece = number / 3 + 1;
    KeyDraws pieceDraws(seedFor(seed, ValuesStream, piece));
    KeyDraws draws(seedFor(seed, ValuesStream + 1000, number));
    row[0] = text(fmt::format("{}{:06}", pieceDraws.pick(places).state, piece));
    row[1] = text(draws.pick(valueIssues[number % 3]));
}

void valueFill(Random& random, std::uint64_t, Row& row) {
    row[2] = text(random.pick(grades));
    // Most values in dollars and cents, some in whole dollars.
    if (random.percent(30))
        row[4] = Value::integer(random.between(2, 1500));
    else
        row[4] = Value::number(random.between(150, 250000) / 100.0);
}

} // namespace

const std::vector<CatalogueTable>& catalogueTables() {
    static const std::vector<CatalogueTable> tables = {
        {merge::lodges, LodgesStream, lodgeKey, lodgeFill},
        {merge::issues, IssuesStream, issueKey, issueFill},
        {merge::activities, ActivitiesStream, activityKey, activityFill},
        {merge::values, ValuesStream, valueKey, valueFill},
    };
    return tables;
}

} // namespace vhdb::demo
