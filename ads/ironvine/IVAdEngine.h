// The ad engine as a host application sees it: the slot descriptions it starts the engine with,
// the slot records the engine keeps, the size codes, the delegate through which the engine
// reports back and the class-method front. Main thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSObject.h"

class NSArray;
class NSNumber;
class NSString;

// 1 banner, 2 full screen, 3 medium rectangle, 4 leaderboard, 5 skyscraper.
using IVAdSize = int32_t;
inline constexpr IVAdSize IVAdSizeBanner = 1;
inline constexpr IVAdSize IVAdSizeFullScreen = 2;
inline constexpr IVAdSize IVAdSizeMediumRectangle = 3;
inline constexpr IVAdSize IVAdSizeLeaderboard = 4;
inline constexpr IVAdSize IVAdSizeSkyscraper = 5;

// The least time between two displays in one ad view, and the least automatic refresh interval.
extern const double IVMinimumRefreshIntervalSeconds;

// The size in points of a size code; raises for a code outside 1..5.
CGSize IVSizeForAdSize(IVAdSize size);

class IVAdSlotDescription : public NSObject {
    NS_OBJECT(IVAdSlotDescription, NSObject)
    static Ref<IVAdSlotDescription> descriptionWithSize(IVAdSize size, NSString* name);
    // Raises for a name with a character outside the alphanumeric set, and for a full-screen
    // slot on a pad.
    bool initWithSize(IVAdSize size, NSString* name);
    Ref<NSString> name() { return name_; }
    IVAdSize size() { return size_; }
    NSUInteger hash() override;
    bool isEqual(NSObject* other) override;

private:
    IVAdSize size_ = 0;
    Ref<NSString> name_;
};

class IVAdSlot : public NSObject {
    NS_OBJECT(IVAdSlot, NSObject)
    static Ref<IVAdSlot> slotWithDescription(IVAdSlotDescription* description);
    bool initWithDescription(IVAdSlotDescription* description);
    Ref<IVAdSlotDescription> slotDescription() { return description_; }
    bool isDisplayed() { return isDisplayed_; }
    void setIsDisplayed(bool v) { isDisplayed_ = v; }
    // Download times: the ad shown and the fetched ad waiting to be shown; 0 for none.
    int64_t dlTime() { return dlTime_.load(); }
    void setDlTime(int64_t v) { dlTime_.store(v); }
    int64_t nextAdDlTime() { return nextAdDlTime_.load(); }
    void setNextAdDlTime(int64_t v) { nextAdDlTime_.store(v); }
    bool hasNextAdDownloaded() { return nextAdDlTime() != 0; }
    bool isFetched() { return nextAdDlTime() != 0; }
    Ref<NSString> description() override;

private:
    Ref<IVAdSlotDescription> description_;
    bool isDisplayed_ = false;
    std::atomic<int64_t> dlTime_{0};
    std::atomic<int64_t> nextAdDlTime_{0};
};

// Every operation is optional: the engine sends only what the delegate answers.
class IronvineDelegate {
public:
    virtual ~IronvineDelegate() = default;
    virtual void ironvineAdReadyForSlotNamed(NSString*) {}
    virtual void ironvineFullScreenDisplayWillOpen() {}
    virtual void ironvineFullScreenDisplayWillClose() {}
    virtual void ironvineDidReceiveMemoryWarning() {}
};

class IVAdEngine : public NSObject {
    NS_OBJECT(IVAdEngine, NSObject)
    // Hands a script command to the driver unless the engine is disabled; exceptions are logged.
    static void executeCommand(NSString* command);
    static void setDownloadDelayInterval(NSNumber* seconds);
    static void startupWithAppID(NSString* appID, NSString* serverURL, NSArray* descriptions);
    static void startupWithAppID(NSString* appID, NSArray* descriptions);
    static void enableLogging() {}
    static Ref<NSString> version();
    static bool isNextAdDownloadedForSlotNamed(NSString* name);
    static bool isAdReadyForSlotNamed(NSString* name);
    static void setFullScreenDelegate(NSObject* delegate, NSString* name);
    static bool displayFullScreenAdForSlotNamed(NSString* name);
};
