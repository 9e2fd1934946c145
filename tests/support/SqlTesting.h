// SQL run on a SQLite file over a connection of its own, as another program (or an earlier
// version of the app) would.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <initializer_list>
#include <string>

inline void runSql(const std::string& path, std::initializer_list<const char*> statements) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    for (const char* statement : statements)
        EXPECT_EQ(sqlite3_exec(db, statement, nullptr, nullptr, nullptr), SQLITE_OK)
            << statement << ": " << sqlite3_errmsg(db);
    sqlite3_close(db);
}
