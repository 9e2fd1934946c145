// The delegate's store stack: the model from the bundle, "Noticwall.sqlite" in Documents opened
// on first use, and a store file that cannot be opened moved aside with a time stamp (never
// deleted) and replaced without asking the user.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <string>

#include "Classes/ItemInfo.h"
#include "Classes/ManagedObjects.h"
#include "Classes/ManagedStore.h"
#include "Classes/NoticewallAppDelegate.h"
#include "CoreData/CoreData.h"
#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSBundle.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSPathUtilities.h"
#include "support/FoundationTesting.h"

namespace {
class StoreStack : public testing::Test {
protected:
    void SetUp() override {
        fm = NSFileManager::defaultManager();
        documents = NSString::stringWithFormat(NS("%@/Documents"), NSHomeDirectory());
        storePath = documents->stringByAppendingPathComponent(NS("Noticwall.sqlite"));
        clean();
        delegate = make<NoticewallAppDelegate>();
        previousSink = NSLogSetSink([this](const std::string& line) { logged += line; });
    }
    void TearDown() override {
        NSLogSetSink(previousSink);
        delegate = nullptr;
        clean();
    }
    void clean() {
        fm->createDirectoryAtPath(documents, true, nullptr, nullptr);
        auto entries = fm->contentsOfDirectoryAtPath(documents, nullptr);
        for (NSObject* name : *entries)
            if (static_cast<NSString*>(name)->hasPrefix(NS("Noticwall.sqlite")))
                fm->removeItemAtPath(
                    documents->stringByAppendingPathComponent(static_cast<NSString*>(name)),
                    nullptr);
    }
    void writeFile(NSString* path, const std::string& bytes) {
        ASSERT_TRUE(fm->createFileAtPath(
            path, NSData::dataWithBytes(bytes.data(), static_cast<NSUInteger>(bytes.size())),
            nullptr));
    }
    bool storeWorks(NSManagedObjectContext* context) {
        auto listing = make<ItemInfo>();
        listing->setDetailUrl(NS("http://x/1"));
        return ManagedStore::addFavorite(context, listing) &&
               ManagedStore::isFavorite(context, NS("http://x/1"));
    }

    Ref<NSFileManager> fm;
    Ref<NSString> documents, storePath;
    Ref<NoticewallAppDelegate> delegate;
    NSLogSink previousSink;
    std::string logged;
};
}  // namespace

TEST_F(StoreStack, OpensTheStoreInDocumentsOnFirstUse) {
    EXPECT_EQ(text(delegate->applicationDocumentsDirectory()), text(documents));
    EXPECT_FALSE(fm->fileExistsAtPath(storePath));
    auto context = delegate->managedObjectContext();
    ASSERT_TRUE(context);
    EXPECT_EQ(delegate->managedObjectContext().get(), context.get());
    EXPECT_TRUE(fm->fileExistsAtPath(storePath));
    EXPECT_TRUE(delegate->managedObjectModel()->entityNamed("FavoriteItem"));
    EXPECT_TRUE(storeWorks(context));
    // saveContext writes what the screens left unsaved.
    NSEntityDescription::insertNewObjectForEntityForName(NS("FavoriteItem"), context);
    delegate->saveContext();
    EXPECT_FALSE(context->hasChanges());
}

TEST_F(StoreStack, ModelComesFromTheBundleResource) {
    auto bundle = NSString::stringWithFormat(NS("%@Bazaarnest.app"), NSTemporaryDirectory());
    fm->createDirectoryAtPath(bundle, true, nullptr, nullptr);
    NSDictionary::dictionaryWithObject(NS("Noticewall"), NS("NSManagedObjectModelName"))
        ->writeToFile(bundle->stringByAppendingPathComponent(NS("Noticewall.mom")), true);
    setenv("BAZAARNEST_BUNDLE", bundle->UTF8String(), 1);
    NSBundle::resetMainBundle();
    auto model = delegate->managedObjectModel();
    unsetenv("BAZAARNEST_BUNDLE");
    NSBundle::resetMainBundle();
    ASSERT_TRUE(model);
    EXPECT_EQ(logged.find("missing"), std::string::npos) << logged;
    EXPECT_EQ(model->entities()->count(), 5u);
    EXPECT_TRUE(model->versionHash()->isEqualToString(makeNoticewallModel()->versionHash()));
}

TEST_F(StoreStack, ADamagedStoreIsMovedAsideAndReplaced) {
    ManualClockScope clock;  // 2012-03-01 12:00:00 UTC
    std::string junk(4096, 'x');
    writeFile(storePath, junk);
    writeFile(NSString::stringWithFormat(NS("%@-journal"), storePath), "old journal");
    auto context = delegate->managedObjectContext();
    ASSERT_TRUE(context);
    EXPECT_TRUE(storeWorks(context));
    auto aside = NSString::stringWithFormat(NS("%@.20120301-120000"), storePath);
    auto kept = NSData::dataWithContentsOfFile(aside);
    ASSERT_TRUE(kept);
    EXPECT_EQ(std::string(static_cast<const char*>(kept->bytes()), kept->length()), junk);
    EXPECT_TRUE(fm->fileExistsAtPath(NSString::stringWithFormat(NS("%@-journal"), aside)));
    EXPECT_NE(logged.find("Error opening the database"), std::string::npos);
    // The same thing again within the second keeps both damaged files.
    auto again = make<NoticewallAppDelegate>();
    delegate = nullptr;
    context = nullptr;
    writeFile(storePath, junk);
    ASSERT_TRUE(again->managedObjectContext());
    EXPECT_TRUE(fm->fileExistsAtPath(aside));
    EXPECT_TRUE(fm->fileExistsAtPath(NSString::stringWithFormat(NS("%@-2"), aside)));
}

TEST_F(StoreStack, AnotherProgramsDatabaseIsKeptIntact) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(storePath->UTF8String(), &db), SQLITE_OK);
    sqlite3_exec(db, "CREATE TABLE notes (body TEXT); INSERT INTO notes VALUES ('keep me')",
                 nullptr, nullptr, nullptr);
    sqlite3_close(db);
    ASSERT_TRUE(delegate->managedObjectContext());
    auto entries = fm->contentsOfDirectoryAtPath(documents, nullptr);
    Ref<NSString> aside;
    for (NSObject* name : *entries)
        if (static_cast<NSString*>(name)->hasPrefix(NS("Noticwall.sqlite.")))
            aside = documents->stringByAppendingPathComponent(static_cast<NSString*>(name));
    ASSERT_TRUE(aside);
    db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(aside->UTF8String(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT body FROM notes", -1, &st, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "keep me");
    sqlite3_finalize(st);
    sqlite3_close(db);
}

TEST_F(StoreStack, WithoutAnyStoreTheContextStaysNilAndTheAppGoesOn) {
    // A home whose "Documents" is a file: no store can be made there.
    auto home = NSString::stringWithFormat(NS("%@nohome"), NSTemporaryDirectory());
    fm->createDirectoryAtPath(home, true, nullptr, nullptr);
    writeFile(home->stringByAppendingPathComponent(NS("Documents")), "not a folder");
    std::string previous = std::getenv("BAZAARNEST_HOME");
    setenv("BAZAARNEST_HOME", home->UTF8String(), 1);
    auto context = delegate->managedObjectContext();
    auto again = delegate->managedObjectContext();
    setenv("BAZAARNEST_HOME", previous.c_str(), 1);
    EXPECT_FALSE(context || again);
    EXPECT_NE(logged.find("Unresolved error"), std::string::npos);
    EXPECT_FALSE(ManagedStore::favorites(context));
    delegate->saveContext();  // nothing to save, nothing ends
}

TEST_F(StoreStack, AFailedSaveContextKeepsTheChangesAndTheProcess) {
    auto context = delegate->managedObjectContext();
    ASSERT_TRUE(context);
    sqlite3* db = nullptr;
    sqlite3_open(storePath->UTF8String(), &db);
    sqlite3_exec(db,
                 "CREATE TRIGGER refuse BEFORE INSERT ON ZFAVORITEITEM "
                 "BEGIN SELECT RAISE(ABORT, 'refused'); END",
                 nullptr, nullptr, nullptr);
    sqlite3_close(db);
    NSEntityDescription::insertNewObjectForEntityForName(NS("FavoriteItem"), context);
    delegate->saveContext();
    EXPECT_TRUE(context->hasChanges());
    EXPECT_NE(logged.find("Unresolved error"), std::string::npos);
}
