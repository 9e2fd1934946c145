// The ad engine's only persistent store: Documents/IV/ironvinedb.sql with the table `settings`
// and whatever tables the downloaded scripts make. At every launch it checks that the files on
// disk belong to this engine version, and wipes the engine's folder when they do not. The
// statements built here bind their values, so a quote in a value is just a character.
#pragma once

#include <cstdint>

#include "Foundation/NSLock.h"
#include "Foundation/NSObject.h"

class IVCallbackContext;
class NSArray;
class NSData;
class NSInvocation;
class NSNumber;
class NSString;
struct sqlite3;

extern NSString* const IVDatabaseVersion;  // "3.1.2"

class IVDatabase : public NSObject {
    NS_OBJECT(IVDatabase, NSObject)
    static void describeClass(RuntimeClass& c);
    static Ref<NSString> databasePath();

    bool init() override;
    void dealloc() override;
    bool initialized() { return initialized_; }
    bool loadFromFile();
    bool initialize();
    // Starts afresh: the engine's folder and the files of older layouts go; the application's
    // cookies stay.
    bool flush();
    // Runs on the calling thread; rows of values (numbers, strings, data, NSNull). Empty when
    // the statement fails.
    Ref<NSArray> sqlExecute(NSString* sql);
    // The same with "?" parameters bound to the values (strings as text, numbers as integers or
    // reals, data as blobs, NSNull as null).
    Ref<NSArray> sqlExecute(NSString* sql, NSArray* bindings);

    // Queued on the controller's database worker.
    void removeRecordID(NSString* recordID, NSString* table, IVCallbackContext* context);
    void setRecordID(NSString* recordID, NSString* table, NSString* string,
                     IVCallbackContext* context);
    void setRecordID(NSString* recordID, NSString* table, int64_t number,
                     IVCallbackContext* context);
    // Stored as base64 text.
    void setRecordID(NSString* recordID, NSString* table, NSData* data, IVCallbackContext* context);
    void dropTable(NSString* table, IVCallbackContext* context);
    void createTable(NSString* table, IVCallbackContext* context);
    // The value found becomes the call's last argument (data decoded from base64); the call is
    // made on the main thread whether or not a value was found.
    void fetchStringForRecordID(NSString* recordID, NSString* table, NSInvocation* callback);
    void fetchNumberForRecordID(NSString* recordID, NSString* table, NSInvocation* callback);
    void fetchDataForRecordID(NSString* recordID, NSString* table, NSInvocation* callback);

    void invokeFetchStringForRecordIDCallback(NSInvocation* callback, NSArray* results);
    void invokeFetchNumberForRecordIDCallback(NSInvocation* callback, NSArray* results);
    void invokeFetchDataForRecordIDCallback(NSInvocation* callback, NSArray* results);

private:
    bool open();
    void close();
    void queue(NSString* sql, NSArray* bindings, IVCallbackContext* context);
    void fetch(NSString* recordID, NSString* table, NSInvocation* callback, const char* completion);

    sqlite3* database_ = nullptr;
    bool initialized_ = false;
    Ref<NSRecursiveLock> lock_ = make<NSRecursiveLock>();
};
