#include "URLLoading/NSURLCache.h"

#include <cstdio>
#include <filesystem>

#include "Foundation/FileSupport.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSPropertyList.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "Foundation/ProcessWide.h"
#include "URLLoading/NSURLResponse.h"

namespace fs = std::filesystem;

// One tier: entries by key, least recently used first.
struct NSURLCache::Tier {
    struct Entry {
        std::string key;
        NSUInteger size = 0;
        Ref<NSCachedURLResponse> response;  // the memory tier's; nil on disk
    };
    NSUInteger capacity = 0;
    NSUInteger usage = 0;
    std::list<Entry> entries;
    std::unordered_map<std::string, std::list<Entry>::iterator> index;

    Entry* find(const std::string& key) {
        auto it = index.find(key);
        if (it == index.end()) return nullptr;
        entries.splice(entries.end(), entries, it->second);  // now the most recent
        return &*it->second;
    }
    // Removes the entry; returns whether there was one.
    bool remove(const std::string& key) {
        auto it = index.find(key);
        if (it == index.end()) return false;
        usage -= it->second->size;
        entries.erase(it->second);
        index.erase(it);
        return true;
    }
    void add(Entry entry) {
        remove(entry.key);
        usage += entry.size;
        entries.push_back(std::move(entry));
        index[entries.back().key] = std::prev(entries.end());
    }
    // The keys that must go so that the tier fits its capacity, least recently used first.
    std::vector<std::string> overflow() {
        std::vector<std::string> out;
        while (usage > capacity && !entries.empty()) {
            out.push_back(entries.front().key);
            remove(entries.front().key);
        }
        return out;
    }
};

namespace {

ProcessWide<NSURLCache>& sharedSlot() {
    static ProcessWide<NSURLCache> cache;
    return cache;
}

std::string keyFor(NSURLRequest* request) {
    Ref<NSURL> url = request ? request->URL() : nullptr;
    if (!url) return "";
    std::string s = url->absoluteString()->utf8();
    return s.substr(0, s.find('#'));
}

// A stable file name for a key (FNV-1a, 64 bits).
std::string fileNameFor(const std::string& key) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : key) {
        h ^= c;
        h *= 1099511628211ull;
    }
    char name[32];
    std::snprintf(name, sizeof name, "%016llx.entry", static_cast<unsigned long long>(h));
    return name;
}

NSUInteger sizeOf(NSCachedURLResponse* cached) {
    Ref<NSData> data = cached->data();
    return (data ? data->length() : 0) + 1;
}

Ref<NSData> encodeEntry(const std::string& key, NSCachedURLResponse* cached) {
    auto plist = NSMutableDictionary::dictionary();
    plist->setObject(NSString::fromUTF8(key), NS("key"));
    Ref<NSURLResponse> response = cached->response();
    if (auto url = response->URL()) plist->setObject(url->absoluteString(), NS("URL"));
    if (auto mime = response->MIMEType()) plist->setObject(mime, NS("MIMEType"));
    if (auto encoding = response->textEncodingName())
        plist->setObject(encoding, NS("textEncodingName"));
    plist->setObject(NSNumber::numberWithLongLong(response->expectedContentLength()),
                     NS("expectedContentLength"));
    if (auto http = as<NSHTTPURLResponse>(response)) {
        plist->setObject(NSNumber::numberWithInteger(http->statusCode()), NS("statusCode"));
        plist->setObject(http->allHeaderFields(), NS("headers"));
    }
    plist->setObject(cached->data() ? cached->data() : NSData::data(), NS("data"));
    return NSPropertyListSerialization::dataWithPropertyList(plist, NSPropertyListXMLFormat_v1_0, 0,
                                                             nullptr);
}

Ref<NSCachedURLResponse> decodeEntry(const std::string& key, NSData* bytes) {
    if (!bytes) return nullptr;
    auto plist = as<NSDictionary>(
        NSPropertyListSerialization::propertyListWithData(bytes, 0, nullptr, nullptr));
    if (!plist) return nullptr;
    auto storedKey = as<NSString>(plist->objectForKey(NS("key")));
    auto urlText = as<NSString>(plist->objectForKey(NS("URL")));
    auto data = as<NSData>(plist->objectForKey(NS("data")));
    if (!storedKey || storedKey->utf8() != key || !urlText || !data) return nullptr;
    Ref<NSURL> url = NSURL::URLWithString(urlText);
    Ref<NSURLResponse> response;
    if (auto status = as<NSNumber>(plist->objectForKey(NS("statusCode")))) {
        response = make<NSHTTPURLResponse>(
            &NSHTTPURLResponse::initWithURL, url.get(), status->integerValue(), NS("HTTP/1.1"),
            as<NSDictionary>(plist->objectForKey(NS("headers"))).get());
    } else {
        auto length = as<NSNumber>(plist->objectForKey(NS("expectedContentLength")));
        response =
            make<NSURLResponse>(&NSURLResponse::initWithURL, url.get(),
                                as<NSString>(plist->objectForKey(NS("MIMEType"))).get(),
                                length ? length->longLongValue() : NSURLResponseUnknownLength,
                                as<NSString>(plist->objectForKey(NS("textEncodingName"))).get());
    }
    return NSCachedURLResponse::cachedResponse(response, data);
}

}  // namespace

// ---- NSCachedURLResponse ----------------------------------------------------------------------

Ref<NSCachedURLResponse> NSCachedURLResponse::cachedResponse(NSURLResponse* response,
                                                             NSData* data) {
    auto c = alloc<NSCachedURLResponse>();
    return c->initWithResponse(response, data) ? c : nullptr;
}

bool NSCachedURLResponse::initWithResponse(NSURLResponse* response, NSData* data) {
    return initWithResponse(response, data, nullptr, NSURLCacheStorageAllowed);
}

bool NSCachedURLResponse::initWithResponse(NSURLResponse* response, NSData* data,
                                           NSDictionary* userInfo,
                                           NSURLCacheStoragePolicy storagePolicy) {
    if (!response) return false;
    response_ = response;
    data_ = data ? data->copy() : NSData::data();
    userInfo_ = userInfo;
    storagePolicy_ = storagePolicy;
    return true;
}

// ---- NSURLCache -----------------------------------------------------------------------------

Ref<NSURLCache> NSURLCache::sharedURLCache() {
    return sharedSlot().getOr([] {
        return make<NSURLCache>(&NSURLCache::initWithMemoryCapacity, NSUInteger(4 * 1024 * 1024),
                                NSUInteger(20 * 1024 * 1024), nullptr);
    });
}

void NSURLCache::setSharedURLCache(NSURLCache* cache) {
    sharedSlot().exchange(cache);
}

bool NSURLCache::initWithMemoryCapacity(NSUInteger memoryCapacity, NSUInteger diskCapacity,
                                        NSString* diskPath) {
    memory_ = std::make_shared<Tier>();
    disk_ = std::make_shared<Tier>();
    memory_->capacity = memoryCapacity;
    disk_->capacity = diskCapacity;
    Ref<NSString> path =
        diskPath && diskPath->length() ? Ref<NSString>(diskPath) : Ref<NSString>(NS("URLCache"));
    if (!path->isAbsolutePath()) {
        auto folders =
            NSSearchPathForDirectoriesInDomains(NSCachesDirectory, NSUserDomainMask, true);
        auto caches = folders ? as<NSString>(folders->firstObject()) : nullptr;
        if (caches) path = caches->stringByAppendingPathComponent(path);
    }
    diskPath_ = path->utf8();
    return true;
}

std::string NSURLCache::diskFile(const std::string& key) {
    return (fs::path(diskPath_) / fileNameFor(key)).string();
}

void NSURLCache::loadDiskIndex() {
    if (diskIndexLoaded_) return;
    diskIndexLoaded_ = true;
    std::error_code ec;
    std::vector<std::pair<fs::file_time_type, fs::path>> files;
    for (auto& item : fs::directory_iterator(diskPath_, ec)) {
        if (item.path().extension() == ".entry") {
            files.emplace_back(fs::last_write_time(item.path(), ec), item.path());
        } else if (item.path().extension() == ".tmp" &&
                   item.path().stem().extension() == ".entry" && item.is_regular_file(ec) &&
                   !item.is_symlink(ec)) {
            // What an earlier version's write of an entry, cut short, left.
            fs::remove(item.path(), ec);
        }
    }
    std::sort(files.begin(), files.end());
    for (auto& [when, path] : files) {
        auto bytes = NSData::dataWithContentsOfFile(NSString::fromUTF8(path.string()));
        auto plist = bytes ? as<NSDictionary>(NSPropertyListSerialization::propertyListWithData(
                                 bytes, 0, nullptr, nullptr))
                           : nullptr;
        auto key = plist ? as<NSString>(plist->objectForKey(NS("key"))) : nullptr;
        if (!key) {
            fs::remove(path, ec);
            continue;
        }
        disk_->add({key->utf8(), bytes->length(), nullptr});
    }
    for (auto& key : disk_->overflow())
        fs::remove(diskFile(key), ec);
}

Ref<NSCachedURLResponse> NSURLCache::cachedResponseForRequest(NSURLRequest* request) {
    std::string key = keyFor(request);
    if (key.empty()) return nullptr;
    std::lock_guard<std::mutex> g(lock_);
    if (auto* entry = memory_->find(key)) return entry->response;
    if (disk_->capacity == 0) return nullptr;
    loadDiskIndex();
    if (!disk_->find(key)) return nullptr;
    auto cached =
        decodeEntry(key, NSData::dataWithContentsOfFile(NSString::fromUTF8(diskFile(key))));
    if (!cached) {
        std::error_code ec;
        fs::remove(diskFile(key), ec);
        disk_->remove(key);
        return nullptr;
    }
    // Read again soon, most likely: keep it in memory too.
    NSUInteger size = sizeOf(cached);
    if (size <= memory_->capacity) {
        memory_->add({key, size, cached});
        memory_->overflow();
    }
    return cached;
}

void NSURLCache::storeCachedResponse(NSCachedURLResponse* cachedResponse, NSURLRequest* request) {
    std::string key = keyFor(request);
    if (key.empty() || !cachedResponse) return;
    NSURLCacheStoragePolicy policy = cachedResponse->storagePolicy();
    if (policy == NSURLCacheStorageNotAllowed) return;
    Ref<NSCachedURLResponse> cached(cachedResponse);
    NSUInteger size = sizeOf(cached);
    std::lock_guard<std::mutex> g(lock_);
    memory_->remove(key);
    if (size <= memory_->capacity) {
        memory_->add({key, size, cached});
        memory_->overflow();
    }
    if (disk_->capacity == 0) return;
    loadDiskIndex();
    std::error_code ec;
    std::string file = diskFile(key);
    if (disk_->remove(key)) fs::remove(file, ec);
    if (policy == NSURLCacheStorageAllowedInMemoryOnly) return;
    Ref<NSData> bytes = encodeEntry(key, cached);
    if (!bytes || bytes->length() > disk_->capacity) return;
    fs::create_directories(diskPath_, ec);
    // Written beside the target and renamed over it, so a reader never meets half an entry; not
    // flushed to the disk, as an entry a crash spoils is dropped when the index is read.
    if (!file_detail::writeFileAtomically(file, bytes->bytes(), bytes->length(), 0644, false,
                                          file_detail::Target::OwnStore))
        return;
    disk_->add({key, bytes->length(), nullptr});
    for (auto& old : disk_->overflow())
        fs::remove(diskFile(old), ec);
}

void NSURLCache::removeCachedResponseForRequest(NSURLRequest* request) {
    std::string key = keyFor(request);
    if (key.empty()) return;
    std::lock_guard<std::mutex> g(lock_);
    memory_->remove(key);
    loadDiskIndex();
    std::error_code ec;
    if (disk_->remove(key)) fs::remove(diskFile(key), ec);
}

void NSURLCache::removeAllCachedResponses() {
    std::lock_guard<std::mutex> g(lock_);
    memory_->entries.clear();
    memory_->index.clear();
    memory_->usage = 0;
    disk_->entries.clear();
    disk_->index.clear();
    disk_->usage = 0;
    diskIndexLoaded_ = true;
    std::error_code ec;
    for (auto& item : fs::directory_iterator(diskPath_, ec))
        if (item.path().extension() == ".entry") fs::remove(item.path(), ec);
}

NSUInteger NSURLCache::memoryCapacity() {
    std::lock_guard<std::mutex> g(lock_);
    return memory_->capacity;
}

NSUInteger NSURLCache::diskCapacity() {
    std::lock_guard<std::mutex> g(lock_);
    return disk_->capacity;
}

void NSURLCache::setMemoryCapacity(NSUInteger capacity) {
    std::lock_guard<std::mutex> g(lock_);
    memory_->capacity = capacity;
    memory_->overflow();
}

void NSURLCache::setDiskCapacity(NSUInteger capacity) {
    std::lock_guard<std::mutex> g(lock_);
    disk_->capacity = capacity;
    loadDiskIndex();
    std::error_code ec;
    for (auto& key : disk_->overflow())
        fs::remove(diskFile(key), ec);
}

NSUInteger NSURLCache::currentMemoryUsage() {
    std::lock_guard<std::mutex> g(lock_);
    return memory_->usage;
}

NSUInteger NSURLCache::currentDiskUsage() {
    std::lock_guard<std::mutex> g(lock_);
    loadDiskIndex();
    return disk_->usage;
}
