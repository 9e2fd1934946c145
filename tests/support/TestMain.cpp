// Test programs run with a release pool around each test, so that objects a test autoreleases
// are gone (and checked by the leak detector) before the next one starts, and drop every
// process-wide instance after it, so that no test depends on what an earlier one left behind. Each
// program gets a sandbox of its own, removed at exit, so that tests never touch a user's data.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "Foundation/NSObject.h"
#include "Foundation/ProcessWide.h"

namespace {
class PoolPerTest : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override { pool_ = new NSAutoreleasePool(); }
    void OnTestEnd(const testing::TestInfo&) override {
        delete pool_;
        pool_ = nullptr;
        NSAutoreleasePool pool;  // for what the instances' deallocs autorelease
        resetProcessWideInstances();
    }
    NSAutoreleasePool* pool_ = nullptr;
};

class Sandbox {
public:
    Sandbox() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "bn-test-XXXXXX").string();
        if (char* dir = mkdtemp(tmpl.data())) {
            path_ = dir;
            setenv("BAZAARNEST_HOME", dir, 1);
        }
    }
    ~Sandbox() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }

private:
    std::string path_;
};
}  // namespace

int main(int argc, char** argv) {
    Sandbox sandbox;
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new PoolPerTest());
    return RUN_ALL_TESTS();
}
