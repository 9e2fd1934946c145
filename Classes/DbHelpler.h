// A SQLite database file in the app's documents folder, opened and closed around each use.
// Subclasses create their tables in initTable.
#pragma once

#include "Foundation/NSObject.h"
#include "Foundation/NSString.h"

struct sqlite3;

class DbHelpler : public NSObject {
    NS_OBJECT(DbHelpler, NSObject)

    // The database file `fileName` in the documents folder; nothing is opened yet.
    virtual bool initWithName(NSString* fileName);

    // YES when a connection is open or could be opened (then initTable has run).
    bool openDb();
    // Closes an open connection.
    void closeDb();
    // Creates the subclass's tables; nothing here.
    virtual void initTable() {}

    Ref<NSString> dbFilePath() { return dbFilePath_; }
    // The open connection, or nullptr.
    sqlite3* database() { return database_; }

    void dealloc() override;

protected:
    // Runs SQL without results; logs SQLite's message and returns NO on failure (also when no
    // connection is open).
    bool exec(const char* sql);
    // SQLite's message for the last failure of the connection.
    Ref<NSString> errorMessage();

private:
    Ref<NSString> dbFilePath_;
    sqlite3* database_ = nullptr;
};
