#include "CoreData/SQLiteStore.h"

#include <sqlite3.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <random>
#include <set>

#include "CoreData/CoreDataErrors.h"
#include "CoreData/NSEntityDescription.h"
#include "CoreData/NSManagedObjectModel.h"
#include "CoreData/NSPersistentStoreCoordinator.h"
#include "CoreData/NSPropertyDescription.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSPropertyList.h"
#include "Foundation/NSString.h"

namespace coredata_detail {

namespace {

Ref<NSString> newUUID() {
    std::random_device rd;
    std::mt19937_64 gen((static_cast<uint64_t>(rd()) << 32) ^ rd());
    uint64_t a = gen(), b = gen();
    char buf[40];
    std::snprintf(buf, sizeof buf, "%08X-%04X-%04X-%04X-%012llX", static_cast<unsigned>(a >> 32),
                  static_cast<unsigned>((a >> 16) & 0xFFFF),
                  static_cast<unsigned>((a & 0x0FFF) | 0x4000),
                  static_cast<unsigned>(((b >> 48) & 0x3FFF) | 0x8000),
                  static_cast<unsigned long long>(b & 0xFFFFFFFFFFFFull));
    return NSString::stringWithUTF8String(buf);
}

const char* columnType(NSAttributeType type) {
    switch (type) {
        case NSStringAttributeType:
            return "TEXT";
        case NSDoubleAttributeType:
        case NSFloatAttributeType:
        case NSDateAttributeType:
            return "REAL";
        case NSBinaryDataAttributeType:
            return "BLOB";
        default:
            return "INTEGER";
    }
}

std::string quoted(const std::string& name) {
    return "\"" + name + "\"";
}

// The columns of an entity's table in property order: attributes and to-one relationships.
std::vector<unsigned> storedProperties(NSEntityDescription* entity) {
    std::vector<unsigned> out;
    for (NSUInteger i = 0; i < entity->propertyCount(); ++i) {
        auto* r = dynamic_cast<NSRelationshipDescription*>(entity->propertyAt(i));
        if (!r || !r->isToMany()) out.push_back(static_cast<unsigned>(i));
    }
    return out;
}

void bindValue(sqlite3_stmt* st, int index, NSPropertyDescription* p, NSObject* value) {
    if (!value) {
        sqlite3_bind_null(st, index);
        return;
    }
    auto* a = dynamic_cast<NSAttributeDescription*>(p);
    if (!a) {  // a to-one relationship: the related row's key
        sqlite3_bind_int64(st, index, cast<NSNumber>(Ref<NSObject>(value))->longLongValue());
        return;
    }
    switch (a->attributeType()) {
        case NSStringAttributeType: {
            std::string s = static_cast<NSString*>(value)->utf8();
            sqlite3_bind_text(st, index, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
            break;
        }
        case NSDoubleAttributeType:
        case NSFloatAttributeType:
            sqlite3_bind_double(st, index, static_cast<NSNumber*>(value)->doubleValue());
            break;
        case NSDateAttributeType:
            sqlite3_bind_double(st, index,
                                static_cast<NSDate*>(value)->timeIntervalSinceReferenceDate());
            break;
        case NSBinaryDataAttributeType: {
            auto* d = static_cast<NSData*>(value);
            sqlite3_bind_blob(st, index, d->bytes(), static_cast<int>(d->length()),
                              SQLITE_TRANSIENT);
            break;
        }
        default:
            sqlite3_bind_int64(st, index, static_cast<NSNumber*>(value)->longLongValue());
            break;
    }
}

Ref<NSObject> readValue(sqlite3_stmt* st, int column, NSAttributeDescription* a) {
    if (sqlite3_column_type(st, column) == SQLITE_NULL) return nullptr;
    switch (a->attributeType()) {
        case NSStringAttributeType: {
            auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, column));
            int n = sqlite3_column_bytes(st, column);
            return NSString::fromUTF8(std::string_view(text ? text : "", text ? n : 0));
        }
        case NSDoubleAttributeType:
        case NSFloatAttributeType:
            return NSNumber::numberWithDouble(sqlite3_column_double(st, column));
        case NSDateAttributeType:
            return NSDate::dateWithTimeIntervalSinceReferenceDate(
                sqlite3_column_double(st, column));
        case NSBinaryDataAttributeType: {
            const void* bytes = sqlite3_column_blob(st, column);
            int n = sqlite3_column_bytes(st, column);
            return NSData::dataWithBytes(bytes, static_cast<NSUInteger>(n));
        }
        case NSBooleanAttributeType:
            return NSNumber::numberWithBool(sqlite3_column_int64(st, column) != 0);
        case NSInteger16AttributeType:
            return NSNumber::numberWithShort(static_cast<short>(sqlite3_column_int64(st, column)));
        case NSInteger32AttributeType:
            return NSNumber::numberWithInt(static_cast<int>(sqlite3_column_int64(st, column)));
        default:
            return NSNumber::numberWithLongLong(sqlite3_column_int64(st, column));
    }
}

Ref<NSError> storeError(NSInteger code, NSString* description, const std::string& path,
                        int sqliteCode) {
    auto info = NSMutableDictionary::dictionary();
    info->setObject(description, NSLocalizedDescriptionKey);
    if (!path.empty()) info->setObject(NSString::fromUTF8(path), NSFilePathErrorKey);
    if (sqliteCode != SQLITE_OK)
        info->setObject(NSNumber::numberWithInt(sqliteCode), NSSQLiteErrorDomain);
    return NSError::errorWithDomain(NSCocoaErrorDomain, code, info);
}

void setError(Ref<NSError>* out, Ref<NSError> e) {
    if (out) *out = std::move(e);
}

}  // namespace

std::string storeName(NSString* name) {
    std::string s = "Z";
    for (char c : name->utf8())
        s += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::unique_ptr<SQLiteStore> SQLiteStore::open(const std::string& path, bool readOnly,
                                               NSManagedObjectModel* model, Ref<NSError>* error) {
    std::unique_ptr<SQLiteStore> store(new SQLiteStore());
    store->path_ = path;
    store->readOnly_ = readOnly;
    // A file that does not even start like a database is refused before SQLite sees it, so that
    // nothing (not even a stray journal beside it) is touched.
    if (!path.empty()) {
        if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
            char header[16] = {};
            size_t n = std::fread(header, 1, sizeof header, f);
            std::fclose(f);
            if (n > 0 && (n < sizeof header || std::memcmp(header, "SQLite format 3", 16) != 0)) {
                setError(error,
                         storeError(NSFileReadCorruptFileError,
                                    NS("The store file is not a database"), path, SQLITE_NOTADB));
                return nullptr;
            }
        }
    }
    int flags = readOnly ? SQLITE_OPEN_READONLY : (SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (path.empty()) flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_MEMORY;
    int rc = sqlite3_open_v2(path.empty() ? ":memory:" : path.c_str(), &store->db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        setError(error, storeError(NSPersistentStoreOpenError,
                                   NSString::stringWithFormat(NS("The store file could not be "
                                                                 "opened: %s"),
                                                              sqlite3_errstr(rc)),
                                   path, rc));
        return nullptr;  // the destructor closes the half-open handle
    }
    sqlite3_extended_result_codes(store->db_, 0);
    sqlite3_busy_timeout(store->db_, 2000);
    if (!store->prepareSchema(model, error)) return nullptr;
    return store;
}

SQLiteStore::~SQLiteStore() {
    for (auto& [sql, st] : statements_)
        sqlite3_finalize(st);
    if (db_) sqlite3_close(db_);
}

Ref<NSString> SQLiteStore::identifier() {
    return identifier_;
}

Ref<NSDictionary> SQLiteStore::metadata() {
    return NSDictionary::dictionaryWithPairs(
        {{NSStoreTypeKey, path_.empty() ? NSInMemoryStoreType : NSSQLiteStoreType},
         {NSStoreUUIDKey, identifier_.get()},
         {NSStoreModelVersionHashKey, modelHash_.get()}});
}

Ref<NSError> SQLiteStore::sqliteError(NSInteger code, const char* what) {
    int rc = sqlite3_errcode(db_);
    return storeError(code, NSString::stringWithFormat(NS("%s: %s"), what, sqlite3_errmsg(db_)),
                      path_, rc == SQLITE_OK ? SQLITE_ERROR : rc);
}

sqlite3_stmt* SQLiteStore::statement(const std::string& sql, Ref<NSError>* error) {
    auto it = statements_.find(sql);
    if (it != statements_.end()) {
        sqlite3_reset(it->second);
        sqlite3_clear_bindings(it->second);
        return it->second;
    }
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
        setError(error, sqliteError(NSCoreDataError, "The store could not prepare a statement"));
        sqlite3_finalize(st);
        return nullptr;
    }
    statements_[sql] = st;
    return st;
}

bool SQLiteStore::exec(const std::string& sql, Ref<NSError>* error) {
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        setError(error, sqliteError(NSCoreDataError, "The store could not run a statement"));
        return false;
    }
    return true;
}

bool SQLiteStore::prepareSchema(NSManagedObjectModel* model, Ref<NSError>* error) {
    modelHash_ = model->versionHash();
    // A damaged file or one that is no database at all shows here, before anything is written.
    {
        sqlite3_stmt* st = nullptr;
        int rc = sqlite3_prepare_v2(db_, "PRAGMA quick_check", -1, &st, nullptr);
        std::string result;
        if (rc == SQLITE_OK) {
            rc = sqlite3_step(st);
            if (rc == SQLITE_ROW) {
                auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
                result = t ? t : "";
                rc = SQLITE_OK;
            }
        }
        sqlite3_finalize(st);
        if (rc != SQLITE_OK && rc != SQLITE_DONE) {
            NSInteger code = NSPersistentStoreOpenError;
            if (rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT) code = NSFileReadCorruptFileError;
            setError(error, storeError(code,
                                       NSString::stringWithFormat(NS("The store file could not be "
                                                                     "read: %s"),
                                                                  sqlite3_errmsg(db_)),
                                       path_, rc));
            return false;
        }
        if (result != "ok") {
            setError(error, storeError(NSFileReadCorruptFileError,
                                       NSString::stringWithFormat(NS("The store file is damaged: "
                                                                     "%s"),
                                                                  result.c_str()),
                                       path_, SQLITE_CORRUPT));
            return false;
        }
    }
    std::set<std::string> tables;
    {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db_, "SELECT upper(name) FROM sqlite_master WHERE type = 'table'",
                               -1, &st, nullptr) != SQLITE_OK) {
            setError(error,
                     sqliteError(NSFileReadCorruptFileError, "The store file could not be read"));
            sqlite3_finalize(st);
            return false;
        }
        while (sqlite3_step(st) == SQLITE_ROW)
            if (auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, 0)))
                tables.insert(t);
        sqlite3_finalize(st);
    }
    if (tables.empty()) {
        if (readOnly_) {
            setError(error,
                     storeError(NSPersistentStoreOpenError,
                                NS("The read-only store file holds no store"), path_, SQLITE_OK));
            return false;
        }
        return createSchema(model, error);
    }
    // Anything without our metadata is another program's database: leave it alone.
    if (!tables.count("Z_METADATA") || !tables.count("Z_PRIMARYKEY")) {
        setError(error, storeError(NSPersistentStoreIncompatibleSchemaError,
                                   NS("The file is a database of another kind, not an object "
                                      "store"),
                                   path_, SQLITE_OK));
        return false;
    }
    Ref<NSString> storedHash;
    {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db_, "SELECT Z_UUID, Z_PLIST FROM Z_METADATA WHERE Z_VERSION = 1",
                               -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW) {
            if (auto* u = reinterpret_cast<const char*>(sqlite3_column_text(st, 0)))
                identifier_ = NSString::stringWithUTF8String(u);
            auto data = NSData::dataWithBytes(sqlite3_column_blob(st, 1),
                                              static_cast<NSUInteger>(sqlite3_column_bytes(st, 1)));
            if (auto plist = as<NSDictionary>(
                    NSPropertyListSerialization::propertyListWithData(data, 0, nullptr, nullptr)))
                storedHash = as<NSString>(plist->objectForKey(NSStoreModelVersionHashKey));
        }
        sqlite3_finalize(st);
    }
    if (!identifier_ || !storedHash) {
        setError(error, storeError(NSPersistentStoreIncompatibleSchemaError,
                                   NS("The store's metadata is missing"), path_, SQLITE_OK));
        return false;
    }
    if (!storedHash->isEqualToString(modelHash_)) {
        setError(error, storeError(NSPersistentStoreIncompatibleVersionHashError,
                                   NS("The model used to open the store is incompatible with the "
                                      "one used to create the store"),
                                   path_, SQLITE_OK));
        return false;
    }
    auto entities = model->entities();
    for (NSObject* o : *entities) {
        auto* e = static_cast<NSEntityDescription*>(o);
        if (!tables.count(storeName(e->name()))) {
            setError(error, storeError(NSPersistentStoreIncompatibleSchemaError,
                                       NSString::stringWithFormat(NS("The store has no table for "
                                                                     "%@"),
                                                                  e->name()),
                                       path_, SQLITE_OK));
            return false;
        }
    }
    return true;
}

bool SQLiteStore::createSchema(NSManagedObjectModel* model, Ref<NSError>* error) {
    identifier_ = newUUID();
    if (!exec("BEGIN IMMEDIATE", error)) return false;
    auto fail = [&]() {
        exec("ROLLBACK", nullptr);
        return false;
    };
    if (!exec("CREATE TABLE Z_PRIMARYKEY (Z_NAME TEXT PRIMARY KEY, Z_MAX INTEGER)", error) ||
        !exec("CREATE TABLE Z_METADATA (Z_VERSION INTEGER PRIMARY KEY, Z_UUID TEXT, Z_PLIST BLOB)",
              error))
        return fail();
    auto entities = model->entities();
    for (NSObject* o : *entities) {
        auto* e = static_cast<NSEntityDescription*>(o);
        std::string table = storeName(e->name());
        std::string sql = "CREATE TABLE " + quoted(table) + " (Z_PK INTEGER PRIMARY KEY";
        std::vector<std::string> indexes;
        for (unsigned i : storedProperties(e)) {
            NSPropertyDescription* p = e->propertyAt(i);
            std::string column = storeName(p->name());
            auto* a = dynamic_cast<NSAttributeDescription*>(p);
            sql += ", " + quoted(column) + " " + (a ? columnType(a->attributeType()) : "INTEGER");
            if (!a)
                indexes.push_back("CREATE INDEX " + quoted(table + "_" + column + "_INDEX") +
                                  " ON " + quoted(table) + " (" + quoted(column) + ")");
        }
        sql += ")";
        if (!exec(sql, error)) return fail();
        for (auto& ix : indexes)
            if (!exec(ix, error)) return fail();
        sqlite3_stmt* st =
            statement("INSERT INTO Z_PRIMARYKEY (Z_NAME, Z_MAX) VALUES (?, 0)", error);
        if (!st) return fail();
        std::string name = e->name()->utf8();
        sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(st) != SQLITE_DONE) {
            setError(error, sqliteError(NSCoreDataError, "The store could not be created"));
            return fail();
        }
    }
    auto plist =
        NSDictionary::dictionaryWithPairs({{NSStoreTypeKey, NSSQLiteStoreType},
                                           {NSStoreUUIDKey, identifier_.get()},
                                           {NSStoreModelVersionHashKey, modelHash_.get()}});
    auto data = NSPropertyListSerialization::dataWithPropertyList(
        plist, NSPropertyListXMLFormat_v1_0, 0, nullptr);
    sqlite3_stmt* st =
        statement("INSERT INTO Z_METADATA (Z_VERSION, Z_UUID, Z_PLIST) VALUES (1, ?, ?)", error);
    if (!st || !data) return fail();
    std::string uuid = identifier_->utf8();
    sqlite3_bind_text(st, 1, uuid.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_blob(st, 2, data->bytes(), static_cast<int>(data->length()), SQLITE_TRANSIENT);
    if (sqlite3_step(st) != SQLITE_DONE) {
        setError(error, sqliteError(NSCoreDataError, "The store could not be created"));
        return fail();
    }
    if (!exec("COMMIT", error)) return fail();
    return true;
}

bool SQLiteStore::readRow(NSEntityDescription* entity, sqlite3_stmt* st, RowData& row) {
    row.pk = sqlite3_column_int64(st, 0);
    row.values.assign(entity->propertyCount(), nullptr);
    row.keys.assign(entity->propertyCount(), 0);
    int column = 1;
    for (unsigned i : storedProperties(entity)) {
        NSPropertyDescription* p = entity->propertyAt(i);
        if (auto* a = dynamic_cast<NSAttributeDescription*>(p))
            row.values[i] = readValue(st, column, a);
        else if (sqlite3_column_type(st, column) != SQLITE_NULL)
            row.keys[i] = sqlite3_column_int64(st, column);
        ++column;
    }
    return true;
}

namespace {
std::string selectList(NSEntityDescription* entity) {
    std::string sql = "SELECT Z_PK";
    for (unsigned i : storedProperties(entity))
        sql += ", " + quoted(storeName(entity->propertyAt(i)->name()));
    return sql + " FROM " + quoted(storeName(entity->name()));
}
}  // namespace

bool SQLiteStore::fetch(NSEntityDescription* entity, const std::vector<SQLCondition>& conditions,
                        std::vector<RowData>& rows, Ref<NSError>* error) {
    std::string sql = selectList(entity);
    std::vector<const SQLCondition*> bound;
    for (size_t i = 0; i < conditions.size(); ++i) {
        const SQLCondition& c = conditions[i];
        std::string column = quoted(storeName(entity->propertyAt(c.property)->name()));
        sql += i == 0 ? " WHERE " : " AND ";
        if (!c.value) {
            sql += column + (c.equal ? " IS NULL" : " IS NOT NULL");
        } else {
            sql += c.equal ? column + " = ?" : "(" + column + " <> ? OR " + column + " IS NULL)";
            bound.push_back(&c);
        }
    }
    sql += " ORDER BY Z_PK";
    sqlite3_stmt* st = statement(sql, error);
    if (!st) return false;
    for (size_t i = 0; i < bound.size(); ++i)
        bindValue(st, static_cast<int>(i + 1), entity->propertyAt(bound[i]->property),
                  bound[i]->value);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        RowData row;
        readRow(entity, st, row);
        rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE) {
        setError(error, sqliteError(NSCoreDataError, "The store could not be read"));
        sqlite3_reset(st);
        return false;
    }
    sqlite3_reset(st);
    return true;
}

bool SQLiteStore::fetchRow(NSEntityDescription* entity, int64_t pk, RowData& row, bool& found,
                           Ref<NSError>* error) {
    found = false;
    sqlite3_stmt* st = statement(selectList(entity) + " WHERE Z_PK = ?", error);
    if (!st) return false;
    sqlite3_bind_int64(st, 1, pk);
    int rc = sqlite3_step(st);
    if (rc == SQLITE_ROW) {
        readRow(entity, st, row);
        found = true;
    } else if (rc != SQLITE_DONE) {
        setError(error, sqliteError(NSCoreDataError, "The store could not be read"));
        sqlite3_reset(st);
        return false;
    }
    sqlite3_reset(st);
    return true;
}

bool SQLiteStore::begin(Ref<NSError>* error) {
    return exec("BEGIN IMMEDIATE", error);
}

bool SQLiteStore::commit(Ref<NSError>* error) {
    return exec("COMMIT", error);
}

void SQLiteStore::rollback() {
    if (!sqlite3_get_autocommit(db_)) exec("ROLLBACK", nullptr);
}

bool SQLiteStore::reserveKeys(NSEntityDescription* entity, int64_t count, int64_t& first,
                              Ref<NSError>* error) {
    std::string name = entity->name()->utf8();
    sqlite3_stmt* st = statement("SELECT Z_MAX FROM Z_PRIMARYKEY WHERE Z_NAME = ?", error);
    if (!st) return false;
    sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    int rc = sqlite3_step(st);
    int64_t max = rc == SQLITE_ROW ? sqlite3_column_int64(st, 0) : 0;
    sqlite3_reset(st);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        setError(error, sqliteError(NSPersistentStoreSaveError, "The store could not be read"));
        return false;
    }
    st = statement(rc == SQLITE_ROW ? "UPDATE Z_PRIMARYKEY SET Z_MAX = ? WHERE Z_NAME = ?"
                                    : "INSERT INTO Z_PRIMARYKEY (Z_MAX, Z_NAME) VALUES (?, ?)",
                   error);
    if (!st) return false;
    sqlite3_bind_int64(st, 1, max + count);
    sqlite3_bind_text(st, 2, name.c_str(), -1, SQLITE_TRANSIENT);
    if (!write(st, error)) return false;
    first = max + 1;
    return true;
}

void SQLiteStore::bindRow(NSEntityDescription* entity, sqlite3_stmt* st, const RowData& row,
                          int first) {
    int index = first;
    for (unsigned i : storedProperties(entity)) {
        NSPropertyDescription* p = entity->propertyAt(i);
        if (dynamic_cast<NSAttributeDescription*>(p)) {
            bindValue(st, index, p, row.values[i]);
        } else if (row.keys[i]) {
            sqlite3_bind_int64(st, index, row.keys[i]);
        } else {
            sqlite3_bind_null(st, index);
        }
        ++index;
    }
}

bool SQLiteStore::write(sqlite3_stmt* st, Ref<NSError>* error) {
    int rc = sqlite3_step(st);
    sqlite3_reset(st);
    if (rc != SQLITE_DONE) {
        setError(error, sqliteError(NSPersistentStoreSaveError, "The store could not be written"));
        return false;
    }
    return true;
}

bool SQLiteStore::insertRow(NSEntityDescription* entity, const RowData& row, Ref<NSError>* error) {
    std::string sql = "INSERT INTO " + quoted(storeName(entity->name())) + " (Z_PK";
    std::string marks = "?";
    for (unsigned i : storedProperties(entity)) {
        sql += ", " + quoted(storeName(entity->propertyAt(i)->name()));
        marks += ", ?";
    }
    sql += ") VALUES (" + marks + ")";
    sqlite3_stmt* st = statement(sql, error);
    if (!st) return false;
    sqlite3_bind_int64(st, 1, row.pk);
    bindRow(entity, st, row, 2);
    return write(st, error);
}

bool SQLiteStore::updateRow(NSEntityDescription* entity, const RowData& row, Ref<NSError>* error) {
    auto props = storedProperties(entity);
    if (props.empty()) return true;
    std::string sql = "UPDATE " + quoted(storeName(entity->name())) + " SET ";
    for (size_t k = 0; k < props.size(); ++k)
        sql += (k ? ", " : "") + quoted(storeName(entity->propertyAt(props[k])->name())) + " = ?";
    sql += " WHERE Z_PK = ?";
    sqlite3_stmt* st = statement(sql, error);
    if (!st) return false;
    bindRow(entity, st, row, 1);
    sqlite3_bind_int64(st, static_cast<int>(props.size() + 1), row.pk);
    return write(st, error);
}

bool SQLiteStore::deleteRow(NSEntityDescription* entity, int64_t pk, Ref<NSError>* error) {
    sqlite3_stmt* st =
        statement("DELETE FROM " + quoted(storeName(entity->name())) + " WHERE Z_PK = ?", error);
    if (!st) return false;
    sqlite3_bind_int64(st, 1, pk);
    return write(st, error);
}

}  // namespace coredata_detail
