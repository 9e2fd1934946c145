// The reader of the binary ad reply that comes back with an analytics upload that asked for
// ads, and the lookups the banners, the canvas and the offers make on what it read. Two parsers
// serve the process: the current one, filled by this session's replies, and the old one, read
// back from disk at session start, which answers until the current one has read a whole reply.
//
// The reply is a run of chunks, each a big-endian u16 tag, u32 body size and the body. Every
// read is bounded by its chunk: a chunk that runs past its body or past the reply ends the walk
// and is dropped whole, and what the chunks before it stored stays. A chunk's effect is applied
// under the parser's lock in one step, so a lookup never sees half of it.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "Foundation/NSArray.h"
#include "Foundation/NSCoder.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSLock.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIImage.h"

class NSData;
class NSMutableDictionary;
class NSNumber;
class NSString;
class TallyAd;
class TallyAdHook;
class TallyAdImpression;
class TallyOffer;
class UIColor;
class UIImage;

// The bytes handed to the chunk walker, not owned.
struct UnicodeString {
    uint32_t length = 0;
    const uint8_t* bytes = nullptr;
};

// What the ad client tells the app: each reply read, and the canvas opening and closing. All
// optional.
namespace tally_reply {
class Reader;
class ChunkLog;
}  // namespace tally_reply

class TallyAdDelegate {
public:
    virtual ~TallyAdDelegate() = default;
    virtual void dataAvailable() {}
    virtual void dataUnavailable() {}
    virtual void canvasWillDisplay(NSString* /*hook*/) {}
    virtual void canvasWillClose() {}
};

class TallyAdParser : public NSObject, public NSCoding {
    NS_OBJECT(TallyAdParser, NSObject)

    enum Tag : uint16_t {
        kVersion = 0x0102,
        kAd = 0x0103,
        kImage = 0x0106,
        kHook = 0x0107,
        kEndOfMessage = 0x0108,
        kError = 0x0109,
        kAdTheme = 0x010A,
        kAuxImageInfo = 0x010C,
        kProperty = 0x010D,
        kAuxHookInfo = 0x010E,
        kAdThemeExtension = 0x010F,
    };
    static constexpr uint16_t kClickActionKey = 0x0701;

    static Ref<TallyAdParser> instance();
    static Ref<TallyAdParser> oldInstance();  // read from the "adParser" archive when absent
    // Each keeps the host's ad delegate of the parser it replaces.
    static Ref<TallyAdParser> recreateInstance();
    static Ref<TallyAdParser> recreateOldInstance();
    static bool isAdParserFinished();

    // Lookups: the current parser once it has read a reply, else the old one.
    static Ref<TallyAdHook> fastHookWithName(NSString* name);
    static Ref<UIImage> fastImageWithCode(NSNumber* code);
    // Nothing when the latest upload failed.
    static Ref<TallyAd> fastAdWithHook(NSString* hook, NSString* parentName);
    // Whether it filled the container with a valid offer.
    static bool fastOfferWithHook(NSString* hook, TallyAdImpression* impression,
                                  TallyOffer* container);

    bool init() override;

    // Reads one reply; nil or empty tells the delegate dataUnavailable and changes nothing.
    void parseData(NSData* data);
    void processTaggedFile(UnicodeString file);

    Ref<TallyAdHook> hookWithName(NSString* name);
    Ref<TallyAd> adWithHook(NSString* hook, NSString* parentName);
    bool offerWithHook(NSString* hook, TallyAdImpression* impression, TallyOffer* container);
    Ref<UIImage> getImageWithCode(NSNumber* code);
    Ref<UIImage> getImage(NSNumber* imageId);
    void cachedImageToMemory(NSNumber* imageId);
    static Ref<UIColor> parseColor(int32_t color);

    // Snapshots of the maps, for inspection.
    Ref<NSDictionary> adBlockMap();
    Ref<NSDictionary> hookMap();
    Ref<NSDictionary> themeMap();
    Ref<NSDictionary> imageMap();
    Ref<NSDictionary> imageCodeMap();
    Ref<NSNumber> versionId();

    int32_t adParsingPhase();
    Ref<NSObject> adDelegate() { return adDelegate_.lock(); }
    void setAdDelegate(NSObject* delegate) { adDelegate_ = delegate; }
    void setInternetAvailable(bool available);
    bool internetAvailable();
    int parsedCount() { return parsedCount_.load(); }  // replies handed in, nil ones included

    void encodeWithCoder(NSCoder* coder) override;
    bool initWithCoder(NSCoder* coder) override;

private:
    struct Chunk;
    // False when the chunk runs past its body: the walk ends there.
    bool processTaggedFileChunk(uint16_t tag, uint32_t size, const uint8_t* body);
    // One per chunk type. Each reads its entries whole before it stores them under the lock;
    // the image cache's disk work waits until the lock is let go.
    void processVersionChunk(tally_reply::Reader& r);
    void processErrorChunk(tally_reply::Reader& r);
    void processImageChunk(tally_reply::Reader& r, tally_reply::ChunkLog& log);
    void processHookChunk(tally_reply::Reader& r, tally_reply::ChunkLog& log);
    void processAdChunk(tally_reply::Reader& r, tally_reply::ChunkLog& log);
    void processEndOfMessageChunk();
    void processAdThemeChunk(tally_reply::Reader& r, tally_reply::ChunkLog& log);
    void processAdThemeExtensionChunk(tally_reply::Reader& r, tally_reply::ChunkLog& log);
    void processAuxImageInfoChunk(tally_reply::Reader& r, tally_reply::ChunkLog& log);
    void processPropertyChunk(tally_reply::Reader& r);
    void processAuxHookInfoChunk(tally_reply::Reader& r);
    Ref<TallyAd> getAdFromAdBlock(NSMutableArray* ads, NSString* parentName);
    // Rotates the block by one, without the assignment check, and fills the offer from the ad
    // that was first.
    bool getOfferFromAdBlock(NSMutableArray* ads, TallyAdImpression* impression, NSString* hookName,
                             TallyOffer* container);
    void tellDelegate(bool available);
    void makeMaps();

    // Shared by the upload thread that parses and the main thread that reads, and held while a
    // chunk is applied whole (which may call out to the caches).
    Ref<NSRecursiveLock> lock_ = make<NSRecursiveLock>();
    Ref<NSNumber> versionId_;
    int32_t adParsingPhase_ = 0;
    bool internetAvailable_ = true;
    Ref<NSMutableDictionary> adBlockMap_, imageMap_, canvasMap_, hookMap_, themeMap_, imageCodeMap_;
    Weak<NSObject> adDelegate_;
    std::atomic<int> parsedCount_{0};
};
