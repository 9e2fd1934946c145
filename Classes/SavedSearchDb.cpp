#include "Classes/SavedSearchDb.h"

#include <sqlite3.h>

#include <string>
#include <string_view>

#include "Classes/ListInfo.h"
#include "Classes/SavedSearch.h"
#include "Classes/SearchSettings.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSLog.h"

NSString* const kSavedSearchDefaultKeyword = NS("THIS_IS_DEFAULT");

namespace {
constexpr const char* kCreateTable =
    "CREATE TABLE IF NOT EXISTS savedSearch (dbId INTEGER PRIMARY KEY AUTOINCREMENT,  keyword "
    "TEXT, location TEXT,  locationUrl TEXT, category TEXT, categoryUrl TEXT, scope INTEGER, sort "
    "INTEGER, hasImage INTEGER, maxPrice TEXT, minPrice TEXT, maxRent TEXT, minRent TEXT, "
    "numBedRoom INTEGER, dogs INTEGER, cats INTEGER, maxSqrt TEXT, minSqrt TEXT, telecommute "
    "INTEGER, contract INTEGER, internship INTEGER, part_time INTEGER, non_profit INTEGER, maxAge "
    "TEXT, minAge TEXT, gigOption INTEGER)";
constexpr const char* kLastId = "SELECT MAX(dbId) FROM savedSearch";
// Values are bound, never spliced into the text, so quotes in them stay data.
constexpr const char* kInsert =
    "INSERT INTO savedSearch (keyword, location, locationUrl, category, categoryUrl, scope, sort, "
    "hasImage, maxPrice, minPrice, maxRent, minRent, numBedRoom, dogs, cats, maxSqrt, minSqrt, "
    "telecommute, contract, internship, part_time, non_profit, maxAge, minAge, gigOption)VALUES "
    "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?);";
constexpr const char* kDeleteOne = "DELETE from savedSearch WHERE dbId=?";
constexpr const char* kDeleteAll = "DELETE FROM savedSearch";
constexpr const char* kReadAll =
    "SELECT dbId, keyword, location, locationUrl, category, categoryUrl, scope, sort, hasImage, "
    "maxPrice, minPrice, maxRent, minRent, numBedRoom, dogs, cats, maxSqrt, minSqrt, "
    "telecommute, contract, internship, part_time, non_profit, maxAge, minAge, gigOption FROM "
    "savedSearch";

// A prepared statement finalized when it goes out of scope.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) {
        if (db && sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) {
            sqlite3_finalize(stmt_);
            stmt_ = nullptr;
        }
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    explicit operator bool() const { return stmt_ != nullptr; }
    sqlite3_stmt* get() const { return stmt_; }

    // Nil text is stored as the empty string, as the table has always held it.
    void bindText(int index, NSString* text) {
        std::string utf8 = text ? text->utf8() : std::string();
        sqlite3_bind_text(stmt_, index, utf8.data(), static_cast<int>(utf8.size()),
                          SQLITE_TRANSIENT);
    }
    void bindInt(int index, int64_t value) { sqlite3_bind_int64(stmt_, index, value); }

    // A NULL column reads as nil.
    Ref<NSString> text(int column) {
        auto p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
        if (!p) return nullptr;
        return NSString::fromUTF8(
            std::string_view(p, static_cast<size_t>(sqlite3_column_bytes(stmt_, column))));
    }
    int32_t integer(int column) { return sqlite3_column_int(stmt_, column); }

private:
    sqlite3_stmt* stmt_ = nullptr;
};
}  // namespace

bool SavedSearchDb::init() {
    return initWithName(NS("data.sqlite3"));
}

void SavedSearchDb::initTable() {
    exec(kCreateTable);
    // Rows stored before the filter was kept hold no filter in its columns (scope 0 there reads
    // "Title Only", which they never ran with). The first id of the rows that do is kept in the
    // file's user version, set the first time this rule opens the file; the table stays as it
    // was.
    {
        Statement version(database(), "PRAGMA user_version");
        if (!version || sqlite3_step(version.get()) != SQLITE_ROW) return;
        firstFilteredId_ = version.integer(0);
    }
    if (firstFilteredId_ > 0) return;
    int32_t last = getLastDbId();
    if (last < 0) return;
    firstFilteredId_ = last + 1;
    auto mark = "PRAGMA user_version = " + std::to_string(firstFilteredId_);
    if (!exec(mark.c_str())) NSLog(NS("%s\n%@"), mark.c_str(), errorMessage());
}

void SavedSearchDb::clearTable() {
    exec(kDeleteAll);
}

int32_t SavedSearchDb::getLastDbId() {
    Statement st(database(), kLastId);
    if (!st || sqlite3_step(st.get()) != SQLITE_ROW) return -1;
    return st.integer(0);  // NULL for an empty table reads as 0
}

bool SavedSearchDb::addItem(SavedSearch* item) {
    if (!item) return false;
    sqlite3* db = database();
    if (!db) {
        NSLog(NS("%s\n%s"), kInsert, "database not open");
        return false;
    }
    // The old row goes only when the new one is in: an edit that fails keeps the search whole.
    if (!exec("BEGIN IMMEDIATE")) return false;
    auto fail = [&](const char* sql) {
        NSLog(NS("%s\n%@"), sql, errorMessage());
        exec("ROLLBACK");
        return false;
    };

    if (item->dbId() >= 0) {
        Statement del(db, kDeleteOne);
        if (!del) return fail(kDeleteOne);
        del.bindInt(1, item->dbId());
        if (sqlite3_step(del.get()) != SQLITE_DONE) return fail(kDeleteOne);
    }

    Statement ins(db, kInsert);
    if (!ins) return fail(kInsert);
    auto info = item->listInfo();
    auto settings = info ? info->searchSettings() : nullptr;
    ins.bindText(1, info ? info->searchKey().get() : nullptr);
    ins.bindText(2, info ? info->location().get() : nullptr);
    ins.bindText(3, info ? info->locationUrl().get() : nullptr);
    ins.bindText(4, info ? info->catagory().get() : nullptr);
    ins.bindText(5, info ? info->catagoryUrl().get() : nullptr);
    if (!settings) settings = make<SearchSettings>();
    ins.bindInt(6, settings->scope());
    ins.bindInt(7, settings->sort());
    ins.bindInt(8, settings->hasImage() ? 1 : 0);
    ins.bindText(9, settings->maxPrice());
    ins.bindText(10, settings->minPrice());
    ins.bindText(11, settings->maxRent());
    ins.bindText(12, settings->minRent());
    ins.bindInt(13, settings->numBedRoom());
    ins.bindInt(14, settings->dogs() ? 1 : 0);
    ins.bindInt(15, settings->cats() ? 1 : 0);
    ins.bindText(16, settings->maxSqrt());
    ins.bindText(17, settings->minSqrt());
    ins.bindInt(18, settings->telecommute() ? 1 : 0);
    ins.bindInt(19, settings->contract() ? 1 : 0);
    ins.bindInt(20, settings->internship() ? 1 : 0);
    ins.bindInt(21, settings->part_time() ? 1 : 0);
    ins.bindInt(22, settings->non_profit() ? 1 : 0);
    ins.bindText(23, settings->maxAge());
    ins.bindText(24, settings->minAge());
    ins.bindInt(25, settings->gigOption());
    if (sqlite3_step(ins.get()) != SQLITE_DONE) return fail(kInsert);
    auto rowId = sqlite3_last_insert_rowid(db);
    if (!exec("COMMIT")) {
        exec("ROLLBACK");
        return false;
    }
    // The id of the row just written, never a guess that could name another search's row.
    item->setDbId(static_cast<int32_t>(rowId));
    return true;
}

void SavedSearchDb::removeItem(SavedSearch* item) {
    if (!item) return;
    Statement del(database(), kDeleteOne);
    if (!del) {
        NSLog(NS("%s\n%@"), kDeleteOne, errorMessage());
        return;
    }
    del.bindInt(1, item->dbId());
    if (sqlite3_step(del.get()) != SQLITE_DONE) NSLog(NS("%s\n%@"), kDeleteOne, errorMessage());
}

Ref<NSMutableArray> SavedSearchDb::getItems(bool defaults) {
    auto items = NSMutableArray::arrayWithCapacity(20);
    Statement st(database(), kReadAll);
    if (!st) return items;
    while (sqlite3_step(st.get()) == SQLITE_ROW) {
        auto keyword = st.text(1);
        bool isDefault = keyword && keyword->isEqualToString(kSavedSearchDefaultKeyword);
        if (isDefault != defaults) continue;
        auto search = make<SavedSearch>();
        search->setDbId(st.integer(0));
        auto info = search->listInfo();
        info->setSearchKey(keyword);
        info->setLocation(st.text(2));
        info->setLocationUrl(st.text(3));
        info->setCatagory(st.text(4));
        info->setCatagoryUrl(st.text(5));
        auto settings = info->searchSettings();
        settings->setScope(st.integer(6));
        settings->setSort(st.integer(7));
        settings->setHasImage(st.integer(8) != 0);
        settings->setMaxPrice(st.text(9));
        settings->setMinPrice(st.text(10));
        settings->setMaxRent(st.text(11));
        settings->setMinRent(st.text(12));
        settings->setNumBedRoom(st.integer(13));
        settings->setDogs(st.integer(14) != 0);
        settings->setCats(st.integer(15) != 0);
        settings->setMaxSqrt(st.text(16));
        settings->setMinSqrt(st.text(17));
        settings->setTelecommute(st.integer(18) != 0);
        settings->setContract(st.integer(19) != 0);
        settings->setInternship(st.integer(20) != 0);
        settings->setPart_time(st.integer(21) != 0);
        settings->setNon_profit(st.integer(22) != 0);
        settings->setMaxAge(st.text(23));
        settings->setMinAge(st.text(24));
        settings->setGigOption(st.integer(25));
        bool kept = firstFilteredId_ > 0 && search->dbId() >= firstFilteredId_;
        if (kept) info->takeFilterFromSettings();
        search->setFilterKept(kept);
        items->addObject(search);
    }
    return items;
}

Ref<SavedSearch> SavedSearchDb::getDefault() {
    auto defaults = getItems(true);
    if (defaults->count() == 0) return nullptr;
    return cast<SavedSearch>(defaults->lastObject());
}
