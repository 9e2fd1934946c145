// The SQLite side of a store: one table per entity ("Z" and the upper-cased entity name) with
// the primary key Z_PK, one column per attribute and per to-one relationship (the related
// row's key), plus Z_PRIMARYKEY (the last key handed out per entity) and Z_METADATA (the
// store's identifier and the model digest it was made for).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Foundation/NSObject.h"

struct sqlite3;
struct sqlite3_stmt;
class NSDictionary;
class NSEntityDescription;
class NSError;
class NSManagedObjectModel;
class NSString;

namespace coredata_detail {

// One row: values by the entity's property index (attributes), related keys by the same index
// (to-one relationships; 0 for none).
struct RowData {
    int64_t pk = 0;
    std::vector<Ref<NSObject>> values;
    std::vector<int64_t> keys;
};

// A condition the store can test: the property (an attribute, or a to-one relationship whose
// value is the related row's key as an NSNumber) equal or not equal to the value; nil tests
// for a missing value.
struct SQLCondition {
    unsigned property = 0;
    Ref<NSObject> value;
    bool equal = true;
};

class SQLiteStore {
public:
    // Opens the file (an empty path: an in-memory database). On failure returns null and sets
    // the error (NSCocoaErrorDomain, see NSPersistentStoreCoordinator.h).
    static std::unique_ptr<SQLiteStore> open(const std::string& path, bool readOnly,
                                             NSManagedObjectModel* model, Ref<NSError>* error);
    ~SQLiteStore();
    SQLiteStore(const SQLiteStore&) = delete;
    SQLiteStore& operator=(const SQLiteStore&) = delete;

    bool readOnly() const { return readOnly_; }
    Ref<NSString> identifier();
    Ref<NSDictionary> metadata();

    // ---- reading -------------------------------------------------------------------------
    // The rows meeting every condition, in key order.
    bool fetch(NSEntityDescription* entity, const std::vector<SQLCondition>& conditions,
               std::vector<RowData>& rows, Ref<NSError>* error);
    // One row by key; `found` tells whether it exists.
    bool fetchRow(NSEntityDescription* entity, int64_t pk, RowData& row, bool& found,
                  Ref<NSError>* error);

    // ---- writing (inside begin/commit) ---------------------------------------------------
    bool begin(Ref<NSError>* error);
    bool commit(Ref<NSError>* error);
    void rollback();
    // Reserves `count` new keys of the entity; the first is returned in `first`.
    bool reserveKeys(NSEntityDescription* entity, int64_t count, int64_t& first,
                     Ref<NSError>* error);
    bool insertRow(NSEntityDescription* entity, const RowData& row, Ref<NSError>* error);
    bool updateRow(NSEntityDescription* entity, const RowData& row, Ref<NSError>* error);
    bool deleteRow(NSEntityDescription* entity, int64_t pk, Ref<NSError>* error);

private:
    SQLiteStore() = default;
    bool prepareSchema(NSManagedObjectModel* model, Ref<NSError>* error);
    bool createSchema(NSManagedObjectModel* model, Ref<NSError>* error);
    sqlite3_stmt* statement(const std::string& sql, Ref<NSError>* error);
    bool exec(const std::string& sql, Ref<NSError>* error);
    Ref<NSError> sqliteError(NSInteger code, const char* what);
    bool readRow(NSEntityDescription* entity, sqlite3_stmt* st, RowData& row);
    void bindRow(NSEntityDescription* entity, sqlite3_stmt* st, const RowData& row, int first);
    // Runs a bound statement that changes the store and resets it; false (*error set) when it
    // did not complete.
    bool write(sqlite3_stmt* st, Ref<NSError>* error);

    sqlite3* db_ = nullptr;
    std::string path_;
    bool readOnly_ = false;
    Ref<NSString> identifier_;
    Ref<NSString> modelHash_;
    std::map<std::string, sqlite3_stmt*> statements_;
};

// "Z" and the upper-cased name: the table of an entity, the column of a property.
std::string storeName(NSString* name);

}  // namespace coredata_detail
