#include "ads/ironvine/IVDatabase.h"

#include <sqlite3.h>

#include <mutex>

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "ads/ironvine/IVAsyncCommand.h"
#include "ads/ironvine/IVBase64.h"
#include "ads/ironvine/IVController.h"

NSString* const IVDatabaseVersion = NS("3.1.2");

namespace {
Ref<NSObject> columnValue(sqlite3_stmt* st, int i) {
    switch (sqlite3_column_type(st, i)) {
        case SQLITE_INTEGER:
            return NSNumber::numberWithLongLong(sqlite3_column_int64(st, i));
        case SQLITE_FLOAT:
            return NSNumber::numberWithDouble(sqlite3_column_double(st, i));
        case SQLITE_TEXT: {
            auto p = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
            return NSString::fromUTF8(std::string_view(p, sqlite3_column_bytes(st, i)));
        }
        case SQLITE_BLOB: {
            const void* p = sqlite3_column_blob(st, i);
            return NSData::dataWithBytes(p, sqlite3_column_bytes(st, i));
        }
        default:
            return NSNull::null();
    }
}

void bindValue(sqlite3_stmt* st, int index, NSObject* value) {
    if (auto text = as<NSString>(value)) {
        std::string utf8 = text->utf8();
        sqlite3_bind_text(st, index, utf8.data(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
    } else if (auto number = as<NSNumber>(value)) {
        char code = number->objCType()[0];
        if (code == 'd' || code == 'f')
            sqlite3_bind_double(st, index, number->doubleValue());
        else
            sqlite3_bind_int64(st, index, number->longLongValue());
    } else if (auto data = as<NSData>(value)) {
        sqlite3_bind_blob(st, index, data->bytes(), static_cast<int>(data->length()),
                          SQLITE_TRANSIENT);
    } else {
        sqlite3_bind_null(st, index);
    }
}

Ref<NSObject> firstValue(NSArray* results) {
    if (!results || results->count() == 0) return nullptr;
    auto row = as<NSArray>(results->objectAtIndex(0));
    if (!row || row->count() == 0) return nullptr;
    return row->objectAtIndex(0);
}

void removeQuietly(NSString* path) {
    NSFileManager::defaultManager()->removeItemAtPath(path, nullptr);
}
}  // namespace

void IVDatabase::describeClass(RuntimeClass& c) {
    c.method("invokeFetchStringForRecordIDCallback:results:",
             &IVDatabase::invokeFetchStringForRecordIDCallback)
        .method("invokeFetchNumberForRecordIDCallback:results:",
                &IVDatabase::invokeFetchNumberForRecordIDCallback)
        .method("invokeFetchDataForRecordIDCallback:results:",
                &IVDatabase::invokeFetchDataForRecordIDCallback);
}

Ref<NSString> IVDatabase::databasePath() {
    return IVController::ivBaseDir()->stringByAppendingPathComponent(NS("ironvinedb.sql"));
}

bool IVDatabase::init() {
    if (!NSObject::init()) return false;
    if (initialized_) return true;
    if (!loadFromFile()) flush();
    initialized_ = true;
    return true;
}

void IVDatabase::dealloc() {
    close();
    NSObject::dealloc();
}

bool IVDatabase::open() {
    std::lock_guard<NSRecursiveLock> guard(*lock_);
    close();
    if (sqlite3_open(databasePath()->UTF8String(), &database_) != SQLITE_OK) {
        close();
        return false;
    }
    return true;
}

void IVDatabase::close() {
    std::lock_guard<NSRecursiveLock> guard(*lock_);
    if (!database_) return;
    if (sqlite3_close(database_) != SQLITE_OK)
        NSLog(NS("ERROR: failed to close database with message '%s'."), sqlite3_errmsg(database_));
    database_ = nullptr;
}

bool IVDatabase::loadFromFile() {
    if (!open()) return false;
    auto version = as<NSString>(
        firstValue(sqlExecute(NS("SELECT data FROM settings WHERE id='version'")).get()));
    return version && version->isEqualToString(IVDatabaseVersion);
}

bool IVDatabase::flush() {
    close();
    auto documents = IVController::localFileBasePath();
    for (NSString* old : {NS("ironvinedb.sql"), NS("boot.js"), NS("client.js"), NS("IVContent")})
        removeQuietly(documents->stringByAppendingPathComponent(old).get());
    auto base = IVController::ivBaseDir();
    removeQuietly(base.get());
    NSFileManager::defaultManager()->createDirectoryAtPath(base.get(), true, nullptr, nullptr);
    return initialize();
}

bool IVDatabase::initialize() {
    if (!open()) return false;
    sqlExecute(NS("CREATE TABLE settings ('id' TEXT PRIMARY KEY, 'data' BLOB)"));
    auto version = NSArray::arrayWithObject(IVDatabaseVersion);
    sqlExecute(NS("INSERT OR REPLACE INTO settings(id, data) VALUES('version', ?)"), version.get());
    return true;
}

Ref<NSArray> IVDatabase::sqlExecute(NSString* sql) {
    return sqlExecute(sql, nullptr);
}

Ref<NSArray> IVDatabase::sqlExecute(NSString* sql, NSArray* bindings) {
    auto rows = NSMutableArray::array();
    std::lock_guard<NSRecursiveLock> guard(*lock_);
    if (!database_ || !sql) return rows;
    std::string text = sql->utf8();
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(database_, text.c_str(), static_cast<int>(text.size()), &st, nullptr) !=
            SQLITE_OK ||
        !st) {
        sqlite3_finalize(st);
        return rows;
    }
    if (bindings) {
        int n = static_cast<int>(bindings->count());
        for (int i = 0; i < n; ++i)
            bindValue(st, i + 1, bindings->objectAtIndex(i).get());
    }
    while (sqlite3_step(st) == SQLITE_ROW) {
        int columns = sqlite3_column_count(st);
        auto row = NSMutableArray::arrayWithCapacity(columns);
        for (int i = 0; i < columns; ++i)
            row->addObject(columnValue(st, i).get());
        rows->addObject(row.get());
    }
    sqlite3_finalize(st);
    return rows;
}

// ---- asynchronous statements ----------------------------------------------------------------

void IVDatabase::queue(NSString* sql, NSArray* bindings, IVCallbackContext* context) {
    auto query = IVDBQuery::queryWithQuery(sql, bindings, context);
    query->setDatabase(this);
    IVController::sharedController()->dbQueryManager()->sendAsyncCommand(query.get());
}

void IVDatabase::removeRecordID(NSString* recordID, NSString* table, IVCallbackContext* context) {
    auto ids = NSArray::arrayWithObject(recordID);
    queue(NSString::stringWithFormat(NS("DELETE FROM %@ WHERE id=?"), table).get(), ids.get(),
          context);
}

void IVDatabase::setRecordID(NSString* recordID, NSString* table, NSString* string,
                             IVCallbackContext* context) {
    auto values = NSArray::arrayWithObjects({string, recordID});
    queue(NSString::stringWithFormat(NS("INSERT OR REPLACE INTO %@ (data, id) VALUES(?, ?)"), table)
              .get(),
          values.get(), context);
}

void IVDatabase::setRecordID(NSString* recordID, NSString* table, int64_t number,
                             IVCallbackContext* context) {
    auto boxed = NSNumber::numberWithLongLong(number);
    auto values = NSArray::arrayWithObjects({boxed.get(), recordID});
    queue(NSString::stringWithFormat(NS("INSERT OR REPLACE INTO %@ (data, id) VALUES(?, ?)"), table)
              .get(),
          values.get(), context);
}

void IVDatabase::setRecordID(NSString* recordID, NSString* table, NSData* data,
                             IVCallbackContext* context) {
    setRecordID(recordID, table, IVBase64::base64StringWithData(data).get(), context);
}

void IVDatabase::dropTable(NSString* table, IVCallbackContext* context) {
    queue(NSString::stringWithFormat(NS("DROP TABLE %@"), table).get(), nullptr, context);
}

void IVDatabase::createTable(NSString* table, IVCallbackContext* context) {
    queue(NSString::stringWithFormat(NS("CREATE TABLE %@ ('id' TEXT PRIMARY KEY, 'data' BLOB)"),
                                     table)
              .get(),
          nullptr, context);
}

void IVDatabase::fetch(NSString* recordID, NSString* table, NSInvocation* callback,
                       const char* completion) {
    SEL sel = Selector::named(completion);
    auto sig =
        NSMethodSignature::signatureWithObjCTypes(getClass()->instanceMethod(sel)->types.c_str());
    auto call = NSInvocation::invocationWithMethodSignature(sig.get());
    call->setTarget(this);
    call->setSelector(sel);
    call->setArgument(Value::ofObject(callback), 2);
    auto ids = NSArray::arrayWithObject(recordID);
    queue(NSString::stringWithFormat(NS("SELECT data FROM %@ WHERE id=?"), table).get(), ids.get(),
          IVCallbackContext::contextWithCallbackInvocation(call.get(), true).get());
}

void IVDatabase::fetchStringForRecordID(NSString* recordID, NSString* table,
                                        NSInvocation* callback) {
    fetch(recordID, table, callback, "invokeFetchStringForRecordIDCallback:results:");
}

void IVDatabase::fetchNumberForRecordID(NSString* recordID, NSString* table,
                                        NSInvocation* callback) {
    fetch(recordID, table, callback, "invokeFetchNumberForRecordIDCallback:results:");
}

void IVDatabase::fetchDataForRecordID(NSString* recordID, NSString* table, NSInvocation* callback) {
    fetch(recordID, table, callback, "invokeFetchDataForRecordIDCallback:results:");
}

namespace {
void completeFetch(NSInvocation* callback, NSObject* value) {
    if (!callback) return;
    if (value) {
        NSInteger last =
            static_cast<NSInteger>(callback->methodSignature()->numberOfArguments()) - 1;
        if (last >= 2) callback->setArgument(Value::ofObject(value), last);
    }
    callback->invoke();
}
}  // namespace

void IVDatabase::invokeFetchStringForRecordIDCallback(NSInvocation* callback, NSArray* results) {
    completeFetch(callback, firstValue(results).get());
}

void IVDatabase::invokeFetchNumberForRecordIDCallback(NSInvocation* callback, NSArray* results) {
    completeFetch(callback, firstValue(results).get());
}

void IVDatabase::invokeFetchDataForRecordIDCallback(NSInvocation* callback, NSArray* results) {
    auto value = firstValue(results);
    if (auto text = as<NSString>(value)) value = IVBase64::dataWithBase64String(text.get());
    completeFetch(callback, value.get());
}
