// The Search tab's screens under test: what the result screens' tests set up (the app delegate,
// a visible window with the outer navigation stack), plus the app's interfaces and style sheet,
// and a fresh install: no preferences, stored locations, categories or saved searches.
#pragma once

#include "Classes/Interfaces/AppInterfaces.h"
#include "Classes/ManagedObjects.h"
#include "Classes/MyStyleSheet.h"
#include "Classes/SavedSearchDb.h"
#include "Classes/Settings.h"
#include "Foundation/NSUserDefaults.h"
#include "ResultScreensTesting.h"
#include "support/site/RunningSite.h"
#include "tools/site/Site.h"

class AppScreensTest : public ResultScreensTest {
protected:
    void SetUp() override {
        ResultScreensTest::SetUp();
        registerAppInterfaces();
        MyStyleSheet::initTTStyleSheet();
        defaults = NSUserDefaults::standardUserDefaults();
        defaults->removePersistentDomain();
        for (const char* entity : {"State", "Metro", "Section", "Catagory"}) {
            auto all = ManagedStore::loadManagedObjects(context(), NSString::fromUTF8(entity),
                                                        NS("name"), true, nullptr);
            if (!all) continue;
            for (NSObject* o : *all)
                context()->deleteObject(static_cast<NSManagedObject*>(o));
        }
        context()->save(nullptr);
        auto db = make<SavedSearchDb>();
        if (db->openDb()) db->clearTable();
        db->closeDb();
        sitetest::site().clearFaults();
        // What the tests count of the site's log is their own: its requests from before the
        // reset are left out of it.
        sitetest::site().reset();
        sitetest::takeLog();
    }

    void TearDown() override {
        ResultScreensTest::TearDown();
        sitetest::site().clearFaults();
        defaults->removePersistentDomain();
    }

    // Lets the downloads under way report, and the messages they queued show.
    static void settle() {
        runLoopUntil([] { return NetworkWork::inFlight() == 0; }, 20);
        advanceRunLoop(0);
    }

    // How many requests for the path the site answered since the last call, waiting (briefly)
    // for `expected` of them: the site logs each answer from its own thread after sending it.
    static int requestsFor(const std::string& path, int expected = 0) {
        int count = 0;
        auto take = [&] {
            for (const std::string& line : sitetest::takeLog())
                if (line.find(path) != std::string::npos) ++count;
            return count >= expected;
        };
        if (expected > 0)
            runLoopUntil(take, 5);
        else
            take();
        return count;
    }

    // The message of the alert on top, or "".
    static std::string alertMessage() {
        auto alert = as<UIAlertView>(lastPanel());
        return alert && alert->message() ? alert->message()->utf8() : "";
    }

    Ref<NSUserDefaults> defaults;
};
