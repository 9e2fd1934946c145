// Test programs run with a release pool around each test, so that objects a test autoreleases
// are gone (and checked by the leak detector) before the next one starts.
#include <gtest/gtest.h>

#include "Foundation/NSObject.h"

namespace {
class PoolPerTest : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override { pool_ = new NSAutoreleasePool(); }
    void OnTestEnd(const testing::TestInfo&) override {
        delete pool_;
        pool_ = nullptr;
    }
    NSAutoreleasePool* pool_ = nullptr;
};
}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new PoolPerTest());
    return RUN_ALL_TESTS();
}
