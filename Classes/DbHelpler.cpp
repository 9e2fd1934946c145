#include "Classes/DbHelpler.h"

#include <sqlite3.h>

#include "Foundation/NSArray.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSPathUtilities.h"

bool DbHelpler::initWithName(NSString* fileName) {
    if (!super::init()) return false;
    auto folders = NSSearchPathForDirectoriesInDomains(NSDocumentDirectory, NSUserDomainMask, true);
    if (!folders || folders->count() == 0 || !fileName) return false;
    dbFilePath_ =
        cast<NSString>(folders->objectAtIndex(0))->stringByAppendingPathComponent(fileName);
    return true;
}

bool DbHelpler::openDb() {
    if (database_) return true;
    if (!dbFilePath_) return false;
    sqlite3* db = nullptr;
    if (sqlite3_open(dbFilePath_->UTF8String(), &db) != SQLITE_OK) {
        NSLog(NS("%s"), db ? sqlite3_errmsg(db) : "out of memory");
        sqlite3_close(db);
        return false;
    }
    database_ = db;
    initTable();
    return true;
}

void DbHelpler::closeDb() {
    if (!database_) return;
    sqlite3_close(database_);
    database_ = nullptr;
}

bool DbHelpler::exec(const char* sql) {
    if (!database_) {
        NSLog(NS("%s\n%s"), sql, "database not open");
        return false;
    }
    char* message = nullptr;
    if (sqlite3_exec(database_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        NSLog(NS("%s\n%s"), sql, message ? message : sqlite3_errmsg(database_));
        sqlite3_free(message);
        return false;
    }
    return true;
}

Ref<NSString> DbHelpler::errorMessage() {
    return NSString::fromUTF8(database_ ? sqlite3_errmsg(database_) : "database not open");
}

void DbHelpler::dealloc() {
    closeDb();
    dbFilePath_ = nullptr;
    super::dealloc();
}
