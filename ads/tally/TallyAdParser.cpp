#include "ads/tally/TallyAdParser.h"

#include <cstdint>
#include <string>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/ProcessWide.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIImage.h"
#include "ads/tally/TallyAdImpression.h"
#include "ads/tally/TallyAdModel.h"
#include "ads/tally/TallyAdProperties.h"
#include "ads/tally/TallyAdView.h"
#include "ads/tally/TallyImageCache.h"
#include "ads/tally/TallyOffer.h"
#include "analytics/base/TallyUtil.h"

namespace {

ProcessWide<TallyAdParser>& currentParser() {
    static ProcessWide<TallyAdParser> slot;
    return slot;
}
// The parser archived by an earlier run, nil until one is found.
ProcessWide<TallyAdParser>& oldParser() {
    static ProcessWide<TallyAdParser> slot;
    return slot;
}

}  // namespace

// The reading of a reply's chunks, named for the parser's per-chunk functions.
namespace tally_reply {

// A read past the end of the chunk's body.
struct Overrun {};

// Big-endian reads bounded by one chunk body.
class Reader {
public:
    Reader(const uint8_t* bytes, uint32_t length) : p_(bytes), n_(length) {}

    const uint8_t* take(uint32_t k) {
        if (k > n_ - at_) throw Overrun{};
        auto* r = p_ + at_;
        at_ += k;
        return r;
    }
    uint64_t be(int width) {
        auto* b = take(static_cast<uint32_t>(width));
        uint64_t v = 0;
        for (int i = 0; i < width; ++i)
            v = v << 8 | b[i];
        return v;
    }
    uint8_t u8() { return static_cast<uint8_t>(be(1)); }
    int8_t i8() { return static_cast<int8_t>(be(1)); }
    uint16_t u16() { return static_cast<uint16_t>(be(2)); }
    int16_t i16() { return static_cast<int16_t>(be(2)); }
    uint32_t u32() { return static_cast<uint32_t>(be(4)); }
    int32_t i32() { return static_cast<int32_t>(be(4)); }
    int64_t i64() { return static_cast<int64_t>(be(8)); }
    // The text ends at its first zero byte; bytes that are not UTF-8 give nil.
    Ref<NSString> str() {
        uint16_t n = u16();
        auto* b = reinterpret_cast<const char*>(take(n));
        std::string text(b, n);
        text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
        return NSString::stringWithUTF8String(text.c_str());
    }

private:
    const uint8_t* p_;
    uint32_t n_;
    uint32_t at_ = 0;
};

struct Style {
    Ref<NSString> font;
    int16_t size = 0;
    int32_t color = 0;
};

// The debug lines of one chunk, held while it is read and written as its entries are stored,
// so that each entry's lines come before the line that stores it. Nothing is formatted while the
// debug mode is locked.
class ChunkLog {
public:
    template <typename... A>
    void add(NSString* format, const A&... args) {
        if (on_) lines_.push_back(NSString::stringWithFormat(format, args...));
    }
    // Where the lines read so far end.
    size_t mark() const { return lines_.size(); }
    // Writes the lines held before `end` (all of them by default) that are not written yet.
    void flush(size_t end = SIZE_MAX) {
        for (; written_ < lines_.size() && written_ < end; ++written_)
            TallyUtil::logToFile(lines_[written_]);
    }

private:
    bool on_ = TallyUtil::isDebugModeUnlocked();
    std::vector<Ref<NSString>> lines_;
    size_t written_ = 0;
};

// `name` is the theme's property the style is read for.
Style readStyle(Reader& r, ChunkLog& log, const char* name) {
    Style s;
    s.font = r.str();
    log.add(NS("Tally: Parse theme %s.font[%@]"), name, s.font);
    s.size = r.i16();
    log.add(NS("Tally: Parse theme %s.size[%@]"), name, NSNumber::numberWithShort(s.size));
    s.color = r.i32();
    log.add(NS("Tally: Parse theme %s.color[%@]"), name, TallyAdParser::parseColor(s.color));
    return s;
}

void applyStyle(const Style& s, TallyAdTextStyle* style) {
    if (!style) return;
    style->setFont(s.font);
    style->setFontSize(NSNumber::numberWithShort(s.size));
    style->setFontColor(TallyAdParser::parseColor(s.color));
}

void applyPair(int32_t a, int32_t b, TallyAdDimension* d) {
    if (!d) return;
    d->setWidth(NSNumber::numberWithInt(a));
    d->setHeight(NSNumber::numberWithInt(b));
}

void applyPair(int32_t a, int32_t b, TallyAdLocation* l) {
    if (!l) return;
    l->setX(NSNumber::numberWithInt(a));
    l->setY(NSNumber::numberWithInt(b));
}

// The landscape styles and the eighteen pairs of a theme extension, in the order they come.
void applyExtension(const Style (&styles)[3], const int32_t (&p)[18][2], TallyAdTheme* theme) {
    applyStyle(styles[0], theme->landscapeSellMessageTextStyle());
    applyStyle(styles[1], theme->landscapeAppNameTextStyle());
    applyStyle(styles[2], theme->landscapeAdvertiserTextStyle());
    applyPair(p[0][0], p[0][1], theme->portraitAdDimension());
    applyPair(p[1][0], p[1][1], theme->portraitAppImageDimension());
    applyPair(p[2][0], p[2][1], theme->portraitAppImageLocation());
    applyPair(p[3][0], p[3][1], theme->landscapeAdDimension());
    applyPair(p[4][0], p[4][1], theme->landscapeAppImageDimension());
    applyPair(p[5][0], p[5][1], theme->landscapeAppImageLocation());
    TallyAdTextStyle* portrait[3] = {theme->portraitSellMessageTextStyle().get(),
                                     theme->portraitAppNameTextStyle().get(),
                                     theme->portraitAdvertiserTextStyle().get()};
    TallyAdTextStyle* landscape[3] = {theme->landscapeSellMessageTextStyle().get(),
                                      theme->landscapeAppNameTextStyle().get(),
                                      theme->landscapeAdvertiserTextStyle().get()};
    for (int k = 0; k < 3; ++k) {
        applyPair(p[6 + k][0], p[6 + k][1], portrait[k]->location());
        applyPair(p[9 + k][0], p[9 + k][1], portrait[k]->dimension());
        applyPair(p[12 + k][0], p[12 + k][1], landscape[k]->location());
        applyPair(p[15 + k][0], p[15 + k][1], landscape[k]->dimension());
    }
}

Ref<NSNumber> longNumber(int64_t v) {
    return NSNumber::numberWithLongLong(v);
}

Ref<NSNumber> byteNumber(uint8_t v) {
    return NSNumber::numberWithUnsignedChar(v);
}

}  // namespace tally_reply

using namespace tally_reply;

bool TallyAdParser::init() {
    if (!NSObject::init()) return false;
    makeMaps();
    imageCodeMap_ = NSMutableDictionary::dictionaryWithCapacity(1);
    return true;
}

void TallyAdParser::makeMaps() {
    adBlockMap_ = NSMutableDictionary::dictionaryWithCapacity(128);
    imageMap_ = NSMutableDictionary::dictionaryWithCapacity(128);
    canvasMap_ = NSMutableDictionary::dictionaryWithCapacity(128);
    hookMap_ = NSMutableDictionary::dictionaryWithCapacity(128);
    themeMap_ = NSMutableDictionary::dictionaryWithCapacity(128);
}

// Class-wide instances.

Ref<TallyAdParser> TallyAdParser::instance() {
    auto parser = currentParser().get();
    TallyAdAssignment::createInstance();
    return parser;
}

Ref<TallyAdParser> TallyAdParser::oldInstance() {
    return oldParser().getOr([]() -> Ref<TallyAdParser> {
        registerTallyAdModelClasses();
        TallyAdParser::staticClass();
        auto files = TallyFileCache::instance();
        auto stored = files ? as<TallyAdParser>(files->get(NS("adParser"))) : nullptr;
        if (stored) TallyAdAssignment::createInstance();
        return stored;
    });
}

Ref<TallyAdParser> TallyAdParser::recreateInstance() {
    TallyUtil::debugLog(NS("Tally: recreate current TallyAdParser"));
    auto previous = currentParser().exchange(nullptr);
    auto fresh = instance();
    // The host's ad delegate stays with the parser that replaces this one.
    if (previous) fresh->setAdDelegate(previous->adDelegate());
    return fresh;
}

Ref<TallyAdParser> TallyAdParser::recreateOldInstance() {
    TallyUtil::debugLog(NS("Tally: recreate old TallyAdParser"));
    auto previous = oldParser().exchange(nullptr);  // freed outside the slot's lock
    return oldInstance();
}

bool TallyAdParser::isAdParserFinished() {
    return instance()->adParsingPhase() > 0;
}

namespace {
// The parser that answers lookups: the current one once finished, else the old one. `usingOld`
// and `usingCurrent` name the choice in the debug log; "%d" in `usingOld` takes the old parser's
// address.
Ref<TallyAdParser> answeringParser(const char* usingOld, const char* usingCurrent = nullptr) {
    if (TallyAdParser::isAdParserFinished()) {
        if (usingCurrent) TallyUtil::debugLog(NSString::stringWithUTF8String(usingCurrent));
        return TallyAdParser::instance();
    }
    auto old = TallyAdParser::oldInstance();
    if (old)
        TallyUtil::debugLog(NSString::stringWithUTF8String(usingOld),
                            static_cast<int>(reinterpret_cast<intptr_t>(old.get())));
    return old;
}
}  // namespace

Ref<TallyAdHook> TallyAdParser::fastHookWithName(NSString* name) {
    auto parser = answeringParser("Tally: Using old adParser[%d]");
    return parser ? parser->hookWithName(name) : nullptr;
}

Ref<UIImage> TallyAdParser::fastImageWithCode(NSNumber* code) {
    auto parser = answeringParser("Tally: Using old adParser[%d]");
    return parser ? parser->getImageWithCode(code) : nullptr;
}

Ref<TallyAd> TallyAdParser::fastAdWithHook(NSString* hook, NSString* parentName) {
    if (!instance()->internetAvailable()) {
        TallyUtil::debugLog(NS("Tally: No internet, no ad to return"));
        return nullptr;
    }
    auto parser = answeringParser("Tally: Using old adParser to return ad",
                                  "Tally: Using current adParser to return ad");
    return parser ? parser->adWithHook(hook, parentName) : nullptr;
}

bool TallyAdParser::fastOfferWithHook(NSString* hook, TallyAdImpression* impression,
                                      TallyOffer* container) {
    TallyUtil::debugLog(NS("Tally: fastOfferWithHook:withTallyOfferContainer: called."));
    bool valid = false;
    if (!instance()->internetAvailable()) {
        TallyUtil::debugLog(NS("Tally: No internet, no ad offer to return"));
    } else if (auto parser = answeringParser("Tally: Using old adParser to return offer",
                                             "Tally: Using current adParser to return offer")) {
        valid = parser->offerWithHook(hook, impression, container);
    }
    TallyUtil::debugLog(NS("Tally: fastOfferWithHook:withTallyOfferContainer: validOffer is %d."),
                        valid ? 1 : 0);
    return valid;
}

// Reading a reply.

void TallyAdParser::parseData(NSData* data) {
    ++parsedCount_;
    TallyUtil::debugLog(NS("Tally: %d bytes passed to adParser"),
                        data ? static_cast<int>(data->length()) : 0);
    if (!data || data->length() == 0) {
        tellDelegate(false);
        return;
    }
    processTaggedFile(
        {static_cast<uint32_t>(data->length()), static_cast<const uint8_t*>(data->bytes())});
    TallyUtil::debugLog(NS("Tally: Finished parsing ad data"));
    {
        std::lock_guard lock(*lock_);
        adParsingPhase_ = 1;
    }
    tellDelegate(true);
}

void TallyAdParser::processTaggedFile(UnicodeString file) {
    uint64_t at = 0;
    while (at + 6 <= file.length) {
        const uint8_t* head = file.bytes + at;
        uint16_t tag = static_cast<uint16_t>(head[0] << 8 | head[1]);
        uint32_t size = static_cast<uint32_t>(head[2]) << 24 |
                        static_cast<uint32_t>(head[3]) << 16 | static_cast<uint32_t>(head[4]) << 8 |
                        head[5];
        if (size > file.length - at - 6) {
            TallyUtil::debugLog(NS("Tally: Ad tag %x runs past the reply, parsing stopped"), tag);
            return;
        }
        if (!processTaggedFileChunk(tag, size, head + 6)) return;
        at += 6 + static_cast<uint64_t>(size);
    }
}

void TallyAdParser::tellDelegate(bool available) {
    auto* delegate = dynamic_cast<TallyAdDelegate*>(adDelegate().get());
    if (!delegate) return;
    if (available)
        delegate->dataAvailable();
    else
        delegate->dataUnavailable();
}

bool TallyAdParser::processTaggedFileChunk(uint16_t tag, uint32_t size, const uint8_t* body) {
    Reader r(body, size);
    ChunkLog log;
    try {
        switch (tag) {
            case kVersion:
                processVersionChunk(r);
                break;
            case kError:
                processErrorChunk(r);
                break;
            case kImage:
                processImageChunk(r, log);
                break;
            case kHook:
                processHookChunk(r, log);
                break;
            case kAd:
                processAdChunk(r, log);
                break;
            case kEndOfMessage:
                processEndOfMessageChunk();
                break;
            case kAdTheme:
                processAdThemeChunk(r, log);
                break;
            case kAdThemeExtension:
                processAdThemeExtensionChunk(r, log);
                break;
            case kAuxImageInfo:
                processAuxImageInfoChunk(r, log);
                break;
            case kProperty:
                processPropertyChunk(r);
                break;
            case kAuxHookInfo:
                processAuxHookInfoChunk(r);
                break;
            default:
                TallyUtil::debugLog(NS("Tally: Skipping unrecognized ad tag %x\n"), tag);
                break;
        }
    } catch (Overrun&) {
        log.flush();
        TallyUtil::debugLog(NS("Tally: Ad tag %x runs past its size, parsing stopped"), tag);
        return false;
    }
    log.flush();
    return true;
}

void TallyAdParser::processVersionChunk(Reader& r) {
    auto version = NSNumber::numberWithInt(r.i32());
    TallyUtil::debugLog(NS("Tally: Parse ad version[%@]"), version);
    std::lock_guard lock(*lock_);
    versionId_ = version;
}

void TallyAdParser::processErrorChunk(Reader& r) {
    int code = r.u16();
    TallyUtil::debugLog(NS("Tally: Parse errorCode[%d]"), code);
    auto message = r.str();
    TallyUtil::debugLog(NS("Tally: Parse error[%@]"), message);
    tellDelegate(false);
}

void TallyAdParser::processImageChunk(Reader& r, ChunkLog& log) {
    std::vector<Ref<TallyAdImage>> images;
    std::vector<size_t> ends;
    for (int i = 0, n = r.u16(); i < n; ++i) {
        int64_t id = r.i64();
        log.add(NS("Tally: Parse image imageId[%@]"), longNumber(id));
        if (id < 0) {
            log.add(NS("Tally: Skip processing image block with bad imageId[%@]"), longNumber(id));
            break;
        }
        auto image = make<TallyAdImage>();
        image->setImageId(longNumber(id));
        image->setWidth(NSNumber::numberWithInt(r.i32()));
        log.add(NS("Tally: Parse image width[%@]"), image->width());
        image->setHeight(NSNumber::numberWithInt(r.i32()));
        log.add(NS("Tally: Parse image height[%@]"), image->height());
        image->setMimeFormat(r.str());
        log.add(NS("Tally: Parse image mimeFormat[%@]"), image->mimeFormat());
        uint32_t length = r.u32();
        image->setImageDataSize(NSNumber::numberWithInt(static_cast<int32_t>(length)));
        log.add(NS("Tally: Parse image dataSize[%@]"), image->imageDataSize());
        auto* bytes = r.take(length);
        image->setImage(UIImage::imageWithData(NSData::dataWithBytes(bytes, length)));
        if (id == 0) {
            log.add(NS("Tally: Parsed image with imageId[%@] not added to map"), image->imageId());
            continue;
        }
        images.push_back(image);
        ends.push_back(log.mark());
    }
    {
        std::lock_guard lock(*lock_);
        for (auto& image : images)
            imageMap_->setObject(image, image->imageId());
    }
    // Archived to disk outside the lock.
    auto cache = TallyImageCache::instance();
    for (size_t i = 0; i < images.size(); ++i) {
        auto& image = images[i];
        log.flush(ends[i]);
        if (cache) cache->save(image, image->imageId());
        TallyUtil::debugLog(NS("Tally: Parsed image[%@] added to map at key[%@]"), image,
                            image->imageId());
    }
}

void TallyAdParser::processHookChunk(Reader& r, ChunkLog& log) {
    std::vector<Ref<TallyAdHook>> hooks;
    std::vector<size_t> ends;
    for (int32_t i = 0, n = r.i32(); i < n; ++i) {
        auto name = r.str();
        log.add(NS("Tally: Parse hook name[%@]"), name);
        uint8_t block = r.u8();
        log.add(NS("Tally: Parse hook adBlockId[%@]"), byteNumber(block));
        uint8_t theme = r.u8();
        log.add(NS("Tally: Parse hook themeId[%@]"), byteNumber(theme));
        // A name that is no text cannot be looked up: that hook alone is left out.
        if (!name) {
            log.add(NS("Tally: Skip hook with an unreadable name"));
            continue;
        }
        auto hook = make<TallyAdHook>();
        hook->setName(name);
        hook->setAdBlockId(byteNumber(block));
        hook->setThemeId(byteNumber(theme));
        hooks.push_back(hook);
        ends.push_back(log.mark());
    }
    std::lock_guard lock(*lock_);
    for (size_t i = 0; i < hooks.size(); ++i) {
        auto& hook = hooks[i];
        log.flush(ends[i]);
        hookMap_->setObject(hook, hook->name());
        TallyUtil::debugLog(NS("Tally: Parsed hook[%@] added to map at key[%@]"), hook,
                            hook->name());
    }
}

void TallyAdParser::processAdChunk(Reader& r, ChunkLog& log) {
    uint8_t block = r.u8();
    log.add(NS("Tally: Parse adBlockId[%@]"), byteNumber(block));
    auto ads = NSMutableArray::array();
    std::vector<size_t> ends;
    for (int i = 0, n = r.u16(); i < n; ++i) {
        auto ad = make<TallyAd>();
        ad->setAdId(longNumber(r.i64()));
        log.add(NS("Tally: Parse ad adId[%@]"), ad->adId());
        ad->setProjectId(longNumber(r.i64()));
        log.add(NS("Tally: Parse ad projectId[%@]"), ad->projectId());
        ad->setAdText(r.str());
        log.add(NS("Tally: Parse ad text[%@]"), ad->adText());
        ad->setAdvertiser(r.str());
        log.add(NS("Tally: Parse ad advertiser[%@]"), ad->advertiser());
        ad->setCanvasId(longNumber(r.i64()));
        log.add(NS("Tally: Parse ad canvasId[%@]"), ad->canvasId());
        ad->setImageId(longNumber(r.i64()));
        log.add(NS("Tally: Parse ad imageId[%@]"), ad->imageId());
        uint8_t cookieSize = r.u8();
        ad->setAdCookieSize(byteNumber(cookieSize));
        log.add(NS("Tally: Parse ad cookie size[%@]"), ad->adCookieSize());
        ad->setAdCookie(NSData::dataWithBytes(r.take(cookieSize), cookieSize));
        log.add(NS("Tally: Parse ad cookie[%@]"), ad->adCookie());
        ads->addObject(ad);
        ends.push_back(log.mark());
    }
    {
        std::lock_guard lock(*lock_);
        adBlockMap_->setObject(ads, byteNumber(block));
    }
    // The ads' images are read back from disk outside the lock.
    for (NSUInteger i = 0; i < ads->count(); ++i) {
        auto ad = cast<TallyAd>(ads->objectAtIndex(i));
        log.flush(ends[i]);
        cachedImageToMemory(ad->imageId());
        TallyUtil::debugLog(NS("Tally: Parsed ad[%@] added to map at key[%@]"), ad, ad->adId());
    }
}

void TallyAdParser::processEndOfMessageChunk() {
    TallyUtil::debugLog(NS("Tally: Parse end of message"));
    if (auto files = TallyFileCache::instance()) {
        files->save(this, NS("adParser"));
        if (auto cache = TallyImageCache::instance()) files->save(cache, NS("imageCache"));
    }
}

void TallyAdParser::processAdThemeChunk(Reader& r, ChunkLog& log) {
    std::vector<Ref<TallyAdTheme>> themes;
    std::vector<size_t> ends;
    for (int i = 0, n = r.u8(); i < n; ++i) {
        auto theme = make<TallyAdTheme>();
        theme->setThemeId(byteNumber(r.u8()));
        log.add(NS("Tally: Parse theme themeId[%@]"), theme->themeId());
        theme->setSellMessage(r.str());
        log.add(NS("Tally: Parse theme sellMessage[%@]"), theme->sellMessage());
        theme->setPortraitAdImageId(longNumber(r.i64()));
        log.add(NS("Tally: Parse theme portraitImageId[%@]"), theme->portraitAdImageId());
        theme->setLandscapeAdImageId(longNumber(r.i64()));
        log.add(NS("Tally: Parse image landscapeImageId[%@]"), theme->landscapeAdImageId());
        applyStyle(readStyle(r, log, "portraitSellMessageTextStyle"),
                   theme->portraitSellMessageTextStyle());
        applyStyle(readStyle(r, log, "portraitAppNameTextStyle"),
                   theme->portraitAppNameTextStyle());
        applyStyle(readStyle(r, log, "portraitAdvertiserTextStyle"),
                   theme->portraitAdvertiserTextStyle());
        themes.push_back(theme);
        ends.push_back(log.mark());
    }
    {
        std::lock_guard lock(*lock_);
        for (auto& theme : themes)
            themeMap_->setObject(theme, theme->themeId());
    }
    // The themes' images are read back from disk outside the lock.
    for (size_t i = 0; i < themes.size(); ++i) {
        auto& theme = themes[i];
        log.flush(ends[i]);
        cachedImageToMemory(theme->portraitAdImageId());
        cachedImageToMemory(theme->landscapeAdImageId());
        TallyUtil::debugLog(NS("Tally: Parsed theme[%@] added to map at key[%@]"), theme,
                            theme->themeId());
    }
}

void TallyAdParser::processAdThemeExtensionChunk(Reader& r, ChunkLog& log) {
    struct Extension {
        uint8_t id;
        Style styles[3];
        int32_t pairs[18][2];
    };
    // What each pair of the entry is, in the order it comes.
    struct PairKind {
        const char* line;  // nil: the pair has no line of its own
        bool dimension;
    };
    static const PairKind kinds[18] = {
        {"Tally: Parsing portrait ad dimension", true},
        {"Tally: Parsing portrait app image dimension", true},
        {"Tally: Parsing portrait app image location", false},
        {"Tally: Parsing landscape ad dimension", true},
        {"Tally: Parsing landscape app image dimension", true},
        {"Tally: Parsing landscape app image location", false},
        {"Tally: Parsing portrait sell message location", false},
        {"Tally: Parsing portrait app name location", false},
        {"Tally: Parsing portrait advertiser location", false},
        {"Tally: Parsing portrait sell message dimension", true},
        {nullptr, true},
        {nullptr, true},
        {"Tally: Parsing landscape sell message location", false},
        {"Tally: Parsing landscape app name location", false},
        {"Tally: Parsing landscape advertiser location", false},
        {"Tally: Parsing landscape sell message dimension", true},
        {"Tally: Parsing landscape app name dimension", true},
        {"Tally: Parsing landscape advertiser dimension", true},
    };
    std::vector<Extension> extensions;
    std::vector<size_t> ends;
    for (int i = 0, n = r.u8(); i < n; ++i) {
        Extension e;
        e.id = r.u8();
        log.add(NS("Tally: Parse theme themeId[%@]"), byteNumber(e.id));
        const char* names[3] = {"landscapeSellMessageTextStyle", "landscapeAppNameTextStyle",
                                "landscapeAdvertiserTextStyle"};
        for (int k = 0; k < 3; ++k)
            e.styles[k] = readStyle(r, log, names[k]);
        for (int k = 0; k < 18; ++k) {
            if (kinds[k].line) log.add(NSString::stringWithUTF8String(kinds[k].line));
            e.pairs[k][0] = r.i32();
            log.add(kinds[k].dimension ? NS("Tally: Parse dimension width[%@]")
                                       : NS("Tally: Parse location x[%@]"),
                    NSNumber::numberWithInt(e.pairs[k][0]));
            e.pairs[k][1] = r.i32();
            log.add(kinds[k].dimension ? NS("Tally: Parse dimension height[%@]")
                                       : NS("Tally: Parse location y[%@]"),
                    NSNumber::numberWithInt(e.pairs[k][1]));
        }
        extensions.push_back(std::move(e));
        ends.push_back(log.mark());
    }
    std::lock_guard lock(*lock_);
    for (size_t i = 0; i < extensions.size(); ++i) {
        auto& e = extensions[i];
        log.flush(ends[i]);
        auto theme = as<TallyAdTheme>(themeMap_->objectForKey(byteNumber(e.id)));
        if (theme) applyExtension(e.styles, e.pairs, theme);  // else read and dropped
        TallyUtil::debugLog(NS("Tally: Parse theme complete[%@]"), theme);
    }
}

void TallyAdParser::processAuxImageInfoChunk(Reader& r, ChunkLog& log) {
    std::vector<std::pair<int64_t, int16_t>> infos;
    std::vector<size_t> idEnds, ends;
    for (int32_t i = 0, n = r.i32(); i < n; ++i) {
        int64_t id = r.i64();
        log.add(NS("Tally: Parse imageInfo imageId[%@]"), longNumber(id));
        idEnds.push_back(log.mark());
        int16_t code = r.i16();
        log.add(NS("Tally: Parse imageInfo imageCode[%@]"), NSNumber::numberWithShort(code));
        infos.emplace_back(id, code);
        ends.push_back(log.mark());
    }
    {
        std::lock_guard lock(*lock_);
        for (auto [id, code] : infos)
            imageCodeMap_->setObject(longNumber(id), NSNumber::numberWithShort(code));
    }
    // The images are read back from disk outside the lock.
    for (size_t i = 0; i < infos.size(); ++i) {
        auto [id, code] = infos[i];
        log.flush(idEnds[i]);
        cachedImageToMemory(longNumber(id));
        log.flush(ends[i]);
        TallyUtil::debugLog(NS("Tally: Parsed imageId[%@] added to map at imageCode[%@]"),
                            longNumber(id), NSNumber::numberWithShort(code));
    }
}

void TallyAdParser::processPropertyChunk(Reader& r) {
    // Read whole before any of it is set: a chunk cut short sets nothing.
    r.u16();
    unsigned rotation = r.u16();
    int32_t refresh = r.i32();
    int64_t timestamp = r.i64();
    int8_t portraitMax = r.i8();
    int8_t landscapeMax = r.i8();
    auto portraitStart = r.str();
    auto landscapeStart = r.str();
    TallyUtil::debugLog(NS("Tally: Parse property bannerRotationProperty[%u]"), rotation);
    TallyUtil::debugLog(NS("Tally: Parse property bannerRotationDelaySeconds[%d]"), refresh);
    TallyAdProperties::setBannerRefreshInSeconds(NSNumber::numberWithInt(refresh));
    TallyAdProperties::setCacheUpdateTimestamp(longNumber(timestamp));
    if (auto cache = TallyImageCache::instance())
        cache->setCacheUpdateTimestamp(TallyAdProperties::getCacheUpdateTimestamp());
    TallyUtil::debugLog(NS("Tally: Parsed property cacheUpdateTimestamp[%lld]"),
                        static_cast<long long>(timestamp));
    TallyAdProperties::setPortraitAdsMaxShown(NSNumber::numberWithInt(portraitMax));
    TallyUtil::debugLog(NS("Tally: Parsed property portraitAdsMaxShown[%d]"),
                        static_cast<int>(portraitMax));
    TallyAdProperties::setLandscapeAdsMaxShown(NSNumber::numberWithInt(landscapeMax));
    TallyUtil::debugLog(NS("Tally: Parsed property landscapeAdsMaxShown[%d]"),
                        static_cast<int>(landscapeMax));
    TallyAdProperties::setPortraitAdsShownAtStart(TallyAdProperties::numberFromText(portraitStart));
    TallyUtil::debugLog(NS("Tally: Parsed property portraitAdsShownAtStart[%@]"), portraitStart);
    TallyAdProperties::setLandscapeAdsShownAtStart(
        TallyAdProperties::numberFromText(landscapeStart));
    TallyUtil::debugLog(NS("Tally: Parsed property landscapeAdsShownAtStart[%@]"), landscapeStart);
}

void TallyAdParser::processAuxHookInfoChunk(Reader& r) {
    std::vector<std::pair<Ref<NSString>, int64_t>> actions;
    for (int i = 0, n = r.u16(); i < n; ++i) {
        auto name = r.str();
        for (int k = 0, m = r.u16(); k < m; ++k) {
            uint16_t key = r.u16();
            int64_t value = r.i64();
            if (key == kClickActionKey && name) actions.emplace_back(name, value);
        }
    }
    std::lock_guard lock(*lock_);
    for (auto& [name, value] : actions) {
        if (auto hook = as<TallyAdHook>(hookMap_->objectForKey(name))) {
            hook->setClickAction(longNumber(value));
            TallyUtil::debugLog(NS("Tally: Parse hook[%@] clickAction[%@]"), name,
                                hook->clickAction());
        }
    }
}

// Lookups.

Ref<TallyAdHook> TallyAdParser::hookWithName(NSString* name) {
    std::lock_guard lock(*lock_);
    auto hook = name ? as<TallyAdHook>(hookMap_->objectForKey(name)) : nullptr;
    if (!hook) hook = as<TallyAdHook>(hookMap_->objectForKey(NS("")));
    auto theme = hook && hook->themeId()
                     ? as<TallyAdTheme>(themeMap_->objectForKey(hook->themeId()))
                     : nullptr;
    if (!theme) return nullptr;
    TallyUtil::debugLog(NS("Tally: Ad themeId[%@] found"), theme->themeId());
    theme->setPortraitAdImage(getImage(theme->portraitAdImageId()));
    theme->setLandscapeAdImage(getImage(theme->landscapeAdImageId()));
    auto required = [](NSNumber* id) { return id && id->intValue() > 0; };
    if (required(theme->landscapeAdImageId()) && !theme->landscapeAdImage()) {
        TallyUtil::debugLog(NS("Tally: Ad theme landscape image not found"));
        return nullptr;
    }
    if (required(theme->portraitAdImageId()) && !theme->portraitAdImage()) {
        TallyUtil::debugLog(NS("Tally: Ad theme portrait image not found"));
        return nullptr;
    }
    hook->setAdTheme(theme);
    return hook;
}

Ref<TallyAd> TallyAdParser::adWithHook(NSString* hookName, NSString* parentName) {
    TallyUtil::debugLog(NS("Tally: Finding ad with hook[%@]"), hookName);
    std::lock_guard lock(*lock_);
    auto hook = hookWithName(hookName);
    if (!hook || !hook->adBlockId() || !hook->adTheme()) {
        TallyUtil::debugLog(NS("Tally: Unknown hook[%@]"), hookName);
        return nullptr;
    }
    auto ads = as<NSMutableArray>(adBlockMap_->objectForKey(hook->adBlockId()));
    if (!ads || ads->count() == 0) {
        TallyUtil::debugLog(NS("Tally: Did not find adBlock or ads for hook[%@]"), hookName);
        return nullptr;
    }
    Ref<TallyAd> ad;
    for (int attempt = 0; attempt < 5 && !ad; ++attempt)
        ad = getAdFromAdBlock(ads, parentName);
    if (!ad) return nullptr;
    ad->setAdImage(getImage(ad->imageId()));
    if (!ad->adImage()) {
        TallyUtil::debugLog(NS("Tally: Ad image not found, no ad returned"));
        return nullptr;
    }
    return ad;
}

Ref<TallyAd> TallyAdParser::getAdFromAdBlock(NSMutableArray* ads, NSString* parentName) {
    auto ad = as<TallyAd>(ads->objectAtIndex(0));
    ads->removeObjectAtIndex(0);
    ads->addObject(ad);
    if (!ad) return nullptr;
    TallyUtil::debugLog(NS("Tally: Current ad[%@] found"), ad->adId());
    auto picked = TallyAdAssignment::createInstance()->assignAd(ad, parentName);
    TallyUtil::debugLog(
        picked ? NS("Tally: Current ad[%@] picked") : NS("Tally: Current ad[%@] already assigned"),
        ad->adId());
    return picked;
}

bool TallyAdParser::offerWithHook(NSString* hookName, TallyAdImpression* impression,
                                  TallyOffer* container) {
    TallyUtil::debugLog(
        NS("Tally: offerWithHook:(NSString*)hookName withTallyOfferContainer: called."));
    Ref<NSMutableArray> ads;
    {
        std::lock_guard lock(*lock_);
        auto hook = hookWithName(hookName);
        if (!hook) return false;
        TallyUtil::debugLog(NS("Tally: offerWithHook:withTallyOfferContainer: hook not nil."));
        if (adBlockMap_->count() > 0 && hook->adBlockId()) {
            TallyUtil::debugLog(
                NS("Tally: offerWithHook:withTallyOfferContainer: adBlockId not nil."));
            ads = as<NSMutableArray>(adBlockMap_->objectForKey(hook->adBlockId()));
        }
    }
    bool offer = false;
    if (ads) {
        TallyUtil::debugLog(NS("Tally: offerWithHook:withTallyOfferContainer: ads not nil."));
        offer = getOfferFromAdBlock(ads, impression, hookName, container);
    }
    TallyUtil::debugLog(NS("Tally: offerWithHook:withTallyOfferContainer: offer is %d."),
                        offer ? 1 : 0);
    return offer;
}

bool TallyAdParser::getOfferFromAdBlock(NSMutableArray* ads, TallyAdImpression* impression,
                                        NSString* hookName, TallyOffer* container) {
    TallyUtil::debugLog(NS("Tally: getOfferFromAdBlock:hook:withTallyOfferContainer: called."));
    Ref<TallyAd> ad;
    {
        std::lock_guard lock(*lock_);
        if (!ads || ads->count() == 0 || !container) return false;
        TallyUtil::debugLog(
            NS("Tally: getOfferFromAdBlock:hook:withTallyOfferContainer: ads = %@."), ads);
        ad = as<TallyAd>(ads->objectAtIndex(0));
        ads->removeObjectAtIndex(0);
        ads->addObject(ad);
        TallyUtil::debugLog(
            NS("Tally: getOfferFromAdBlock:hook:withTallyOfferContainer: rotated ads."));
    }
    if (!ad) return false;
    container->setAppName(ad->adText());
    TallyUtil::debugLog(NS("Tally: getOfferFromAdBlock: tallyOffer.appName %@"),
                        container->appName());
    container->setAppIcon(getImage(ad->imageId()));
    TallyUtil::debugLog(NS("Tally: getOfferFromAdBlock: appIcon is set"));
    container->setReferralUrl(TallyAdView::webUrlForOffer(hookName, ad, impression));
    TallyUtil::debugLog(NS("Tally: getOfferFromAdBlock: tallyOffer.referralUrl %@"),
                        container->referralUrl());
    if (impression) impression->updateWithAd(ad);
    return true;
}

Ref<UIImage> TallyAdParser::getImage(NSNumber* imageId) {
    if (!imageId) return nullptr;
    Ref<TallyAdImage> image;
    {
        std::lock_guard lock(*lock_);
        image = as<TallyAdImage>(imageMap_->objectForKey(imageId));
    }
    if (auto cache = TallyImageCache::instance()) {
        if (image)
            cache->setAsMostRecentlyUsed(imageId);
        else
            image = cache->get(imageId);
    }
    TallyUtil::debugLog(image ? NS("Tally: image[%@] found") : NS("Tally: image[%@] not found"),
                        imageId);
    return image ? image->image() : nullptr;
}

Ref<UIImage> TallyAdParser::getImageWithCode(NSNumber* code) {
    if (!code) return nullptr;
    Ref<NSNumber> id;
    {
        std::lock_guard lock(*lock_);
        id = as<NSNumber>(
            imageCodeMap_->objectForKey(NSNumber::numberWithShort(code->shortValue())));
    }
    TallyUtil::debugLog(NS("Tally: imageId[%@] found for imageCode[%@]"), id, code);
    return getImage(id);
}

void TallyAdParser::cachedImageToMemory(NSNumber* imageId) {
    if (!imageId) return;
    auto cache = TallyImageCache::instance();
    auto image = cache ? cache->get(imageId) : nullptr;
    TallyUtil::debugLog(NS("Tally: cachedId[%@] image[%@] found"), imageId, image);
    if (!image) return;
    std::lock_guard lock(*lock_);
    imageMap_->setObject(image, imageId);
    TallyUtil::debugLog(NS("Tally: cachedId[%@] image[%@] stored in memory"), imageId, image);
}

Ref<UIColor> TallyAdParser::parseColor(int32_t color) {
    auto c = static_cast<uint32_t>(color);
    return UIColor::colorWithRed(static_cast<CGFloat>(((c >> 16) & 0xFF) / 255.0),
                                 static_cast<CGFloat>(((c >> 8) & 0xFF) / 255.0),
                                 static_cast<CGFloat>((c & 0xFF) / 255.0), 1.0f);
}

// State.

namespace {
Ref<NSDictionary> snapshot(NSRecursiveLock& lock, NSDictionary* map) {
    std::lock_guard guard(lock);
    return NSDictionary::dictionaryWithDictionary(map);
}
}  // namespace

Ref<NSDictionary> TallyAdParser::adBlockMap() {
    return snapshot(*lock_, adBlockMap_);
}
Ref<NSDictionary> TallyAdParser::hookMap() {
    return snapshot(*lock_, hookMap_);
}
Ref<NSDictionary> TallyAdParser::themeMap() {
    return snapshot(*lock_, themeMap_);
}
Ref<NSDictionary> TallyAdParser::imageMap() {
    return snapshot(*lock_, imageMap_);
}
Ref<NSDictionary> TallyAdParser::imageCodeMap() {
    return snapshot(*lock_, imageCodeMap_);
}
Ref<NSNumber> TallyAdParser::versionId() {
    std::lock_guard lock(*lock_);
    return versionId_;
}
int32_t TallyAdParser::adParsingPhase() {
    std::lock_guard lock(*lock_);
    return adParsingPhase_;
}
void TallyAdParser::setInternetAvailable(bool available) {
    std::lock_guard lock(*lock_);
    internetAvailable_ = available;
}
bool TallyAdParser::internetAvailable() {
    std::lock_guard lock(*lock_);
    return internetAvailable_;
}

void TallyAdParser::encodeWithCoder(NSCoder* c) {
    TallyUtil::debugLog(NS("Tally: Encode TallyAdParser"));
    std::lock_guard lock(*lock_);
    c->encodeObject(versionId_, NS("versionId"));
    c->encodeObject(adBlockMap_, NS("adBlockMap"));
    c->encodeObject(canvasMap_, NS("canvasMap"));
    c->encodeObject(hookMap_, NS("hookMap"));
    c->encodeObject(themeMap_, NS("themeMap"));
    c->encodeObject(imageCodeMap_, NS("imageCodeMap"));
    c->encodeInt32(adParsingPhase_, NS("adParsingPhase"));
}

bool TallyAdParser::initWithCoder(NSCoder* c) {
    auto mutableMap = [&](const char* key) {
        auto map = as<NSDictionary>(c->decodeObjectForKey(NSString::stringWithUTF8String(key)));
        auto copy = NSMutableDictionary::dictionaryWithCapacity(128);
        if (!map) return copy;
        // The ad lists rotate in place, so they come back mutable.
        map->enumerateKeysAndObjectsUsingBlock([&](NSObject* k, NSObject* v, bool*) {
            if (auto list = as<NSArray>(v); list && !is<NSMutableArray>(v))
                copy->setObject(NSMutableArray::arrayWithArray(list), k);
            else
                copy->setObject(v, k);
        });
        return copy;
    };
    versionId_ = as<NSNumber>(c->decodeObjectForKey(NS("versionId")));
    adBlockMap_ = mutableMap("adBlockMap");
    canvasMap_ = mutableMap("canvasMap");
    hookMap_ = mutableMap("hookMap");
    themeMap_ = mutableMap("themeMap");
    imageCodeMap_ = mutableMap("imageCodeMap");
    imageMap_ = NSMutableDictionary::dictionaryWithCapacity(128);
    adParsingPhase_ = c->decodeInt32ForKey(NS("adParsingPhase"));
    internetAvailable_ = false;
    return true;
}
