#include "Foundation/NSUserDefaults.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>

#include "Foundation/Clock.h"
#include "Foundation/FileSupport.h"
#include "Foundation/LocaleSupport.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSBundle.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSException.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSPropertyList.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/ProcessWide.h"

NSString* const NSUserDefaultsDidChangeNotification = NS("NSUserDefaultsDidChangeNotification");

namespace {

Ref<NSUserDefaults> makeStandard();
// Never destroyed, so that code running at exit can still read its preferences.
ProcessWide<NSUserDefaults>& shared() {
    static ProcessWide<NSUserDefaults> slot{makeStandard};
    return slot;
}

// An immutable copy of a property-list tree, so that a caller who goes on changing a mutable
// container after storing it does not change the store.
Ref<NSObject> deepCopy(NSObject* o) {
    if (auto a = as<NSArray>(o)) {
        std::vector<Ref<NSObject>> items;
        items.reserve(a->count());
        for (NSObject* e : *a)
            items.push_back(deepCopy(e));
        return NSArray::arrayWithVector(std::move(items));
    }
    if (auto d = as<NSDictionary>(o)) {
        auto m = NSMutableDictionary::dictionaryWithCapacity(d->count());
        for (NSObject* k : *d)
            m->setObject(deepCopy(d->objectForKey(k)), k);
        return m->copy();
    }
    if (is<NSString>(o) || is<NSData>(o)) return o->copy();
    return o;  // numbers and dates never change
}

// The store is written atomically and readable by its owner only. The preferences folder may
// not exist yet (a fresh home): it is made, and the write tried once more.
bool writeAtomically(const std::string& target, NSData* data) {
    if (file_detail::writeFileAtomically(target, data->bytes(), data->length(), 0600, true,
                                         file_detail::Target::OwnStore))
        return true;
    std::string::size_type slash = target.find_last_of('/');
    if (errno != ENOENT || slash == std::string::npos || slash == 0) return false;
    if (::mkdir(target.substr(0, slash).c_str(), 0755) != 0) return false;
    return file_detail::writeFileAtomically(target, data->bytes(), data->length(), 0600, true,
                                            file_detail::Target::OwnStore);
}

// "20120301T120000Z", the time stamp of a damaged file moved aside.
std::string stamp() {
    std::time_t t = static_cast<std::time_t>(std::floor(Clock::now() + NSTimeIntervalSince1970));
    struct tm tm;
    gmtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%dT%H%M%SZ", &tm);
    return buf;
}

// Renames a file that cannot be used out of the way, keeping it for inspection.
void moveAside(const std::string& path) {
    std::string base = path + ".damaged-" + stamp();
    std::string aside = base;
    struct stat st;
    for (int i = 1; ::lstat(aside.c_str(), &st) == 0 && i < 1000; ++i)
        aside = base + "-" + std::to_string(i);
    if (::rename(path.c_str(), aside.c_str()) != 0) ::unlink(path.c_str());
}

}  // namespace

// ---- the shared store ------------------------------------------------------------------------

namespace {
Ref<NSUserDefaults> makeStandard() {
    Ref<NSString> identifier;
    if (auto bundle = NSBundle::mainBundle()) identifier = bundle->bundleIdentifier();
    if (!identifier || identifier->length() == 0) identifier = NS("com.bazaarnest.mobile");
    auto path = NSString::stringWithFormat(NS("%@/Library/Preferences/%@.plist"), NSHomeDirectory(),
                                           identifier);
    return make<NSUserDefaults>(&NSUserDefaults::initWithFile, path);
}
}  // namespace

Ref<NSUserDefaults> NSUserDefaults::standardUserDefaults() {
    return shared().get();
}

void NSUserDefaults::resetStandardUserDefaults() {
    shared().reset();
}

bool NSUserDefaults::initWithFile(NSString* path) {
    if (!path || path->length() == 0) return false;
    path_ = path->copy();
    persistent_ = NSMutableDictionary::dictionary();
    registered_ = NSMutableDictionary::dictionary();
    // The user's languages start as the language of the process's locale, as the platform
    // registers them from the system settings.
    std::string locale = locale_detail::identifierFromEnvironment();
    registered_->setObject(
        NSArray::arrayWithObject(NSString::fromUTF8(locale.substr(0, locale.find_first_of("_-")))),
        NS("AppleLanguages"));
    load();
    return true;
}

void NSUserDefaults::load() {
    std::string p = path_->utf8();
    struct stat st;
    if (::stat(p.c_str(), &st) != 0) return;  // no file yet: an empty store
    if (S_ISDIR(st.st_mode)) return;          // not ours to move; every write will fail
    Ref<NSDictionary> stored;
    if (auto data = NSData::dataWithContentsOfFile(path_)) {
        stored = as<NSDictionary>(NSPropertyListSerialization::propertyListWithData(
            data, NSPropertyListImmutable, nullptr, nullptr));
    }
    if (!stored) {
        moveAside(p);
        return;
    }
    persistent_->setDictionary(stored);
}

bool NSUserDefaults::save() {
    auto data = NSPropertyListSerialization::dataWithPropertyList(
        persistent_, NSPropertyListXMLFormat_v1_0, 0, nullptr);
    lastWriteOK_ = data && writeAtomically(path_->utf8(), data);
    return lastWriteOK_;
}

// ---- reading ---------------------------------------------------------------------------------

Ref<NSObject> NSUserDefaults::lookup(NSString* key) {
    if (!key) return nullptr;
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (auto v = persistent_->objectForKey(key)) return v;
    return registered_->objectForKey(key);
}

Ref<NSObject> NSUserDefaults::objectForKey(NSString* key) {
    return lookup(key);
}

Ref<NSString> NSUserDefaults::stringForKey(NSString* key) {
    auto v = lookup(key);
    if (auto s = as<NSString>(v)) return s;
    if (auto n = as<NSNumber>(v)) return n->stringValue();
    return nullptr;
}

Ref<NSArray> NSUserDefaults::arrayForKey(NSString* key) {
    return as<NSArray>(lookup(key));
}

Ref<NSDictionary> NSUserDefaults::dictionaryForKey(NSString* key) {
    return as<NSDictionary>(lookup(key));
}

Ref<NSData> NSUserDefaults::dataForKey(NSString* key) {
    return as<NSData>(lookup(key));
}

Ref<NSArray> NSUserDefaults::stringArrayForKey(NSString* key) {
    auto a = as<NSArray>(lookup(key));
    if (!a) return nullptr;
    for (NSObject* e : *a)
        if (!is<NSString>(e)) return nullptr;
    return a;
}

NSInteger NSUserDefaults::integerForKey(NSString* key) {
    auto v = lookup(key);
    if (auto n = as<NSNumber>(v)) return n->integerValue();
    if (auto s = as<NSString>(v)) return s->integerValue();
    return 0;
}

float NSUserDefaults::floatForKey(NSString* key) {
    auto v = lookup(key);
    if (auto n = as<NSNumber>(v)) return n->floatValue();
    if (auto s = as<NSString>(v)) return s->floatValue();
    return 0;
}

double NSUserDefaults::doubleForKey(NSString* key) {
    auto v = lookup(key);
    if (auto n = as<NSNumber>(v)) return n->doubleValue();
    if (auto s = as<NSString>(v)) return s->doubleValue();
    return 0;
}

bool NSUserDefaults::boolForKey(NSString* key) {
    auto v = lookup(key);
    if (auto n = as<NSNumber>(v)) return n->boolValue();
    if (auto s = as<NSString>(v)) return s->boolValue();
    return false;
}

Ref<NSURL> NSUserDefaults::URLForKey(NSString* key) {
    auto s = as<NSString>(lookup(key));
    if (!s || s->length() == 0) return nullptr;
    if (s->hasPrefix(NS("/")) || s->hasPrefix(NS("~"))) {
        return NSURL::fileURLWithPath(s->stringByStandardizingPath());
    }
    return NSURL::URLWithString(s);
}

// ---- writing ---------------------------------------------------------------------------------

void NSUserDefaults::setValue_(NSObject* value, NSString* key) {
    if (!key) {
        NSException::raise(NSInvalidArgumentException,
                           NS("-[NSUserDefaults setObject:forKey:]: attempt to insert a value "
                              "for a nil key"));
    }
    if (value && !NSPropertyListSerialization::propertyList(value, NSPropertyListXMLFormat_v1_0)) {
        NSException::raise(NSInvalidArgumentException,
                           NS("Attempt to insert non-property list object %@ for key %@"), value,
                           key);
    }
    Ref<NSObject> stored = value ? deepCopy(value) : nullptr;
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (stored) {
        persistent_->setObject(stored, key);
    } else {
        if (!persistent_->objectForKey(key)) return;  // nothing to change on disk
        persistent_->removeObjectForKey(key);
    }
    save();
}

void NSUserDefaults::setObject(NSObject* value, NSString* key) {
    setValue_(value, key);
}

void NSUserDefaults::removeObjectForKey(NSString* key) {
    if (!key) return;
    setValue_(nullptr, key);
}

void NSUserDefaults::setInteger(NSInteger value, NSString* key) {
    setValue_(NSNumber::numberWithInteger(value), key);
}

void NSUserDefaults::setFloat(float value, NSString* key) {
    setValue_(NSNumber::numberWithFloat(value), key);
}

void NSUserDefaults::setDouble(double value, NSString* key) {
    setValue_(NSNumber::numberWithDouble(value), key);
}

void NSUserDefaults::setBool(bool value, NSString* key) {
    setValue_(NSNumber::numberWithBool(value), key);
}

void NSUserDefaults::setURL(NSURL* url, NSString* key) {
    setValue_(url ? url->absoluteString() : nullptr, key);
}

// ---- domains ---------------------------------------------------------------------------------

void NSUserDefaults::registerDefaults(NSDictionary* registrationDictionary) {
    if (!registrationDictionary) return;
    auto copy = as<NSDictionary>(deepCopy(registrationDictionary));
    std::lock_guard<std::recursive_mutex> guard(lock_);
    registered_->addEntriesFromDictionary(copy);
}

Ref<NSDictionary> NSUserDefaults::dictionaryRepresentation() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    auto all = NSMutableDictionary::dictionaryWithDictionary(registered_);
    all->addEntriesFromDictionary(persistent_);
    return all->copy();
}

Ref<NSDictionary> NSUserDefaults::persistentDomain() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return persistent_->copy();
}

void NSUserDefaults::removePersistentDomain() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    persistent_->removeAllObjects();
    save();
}

bool NSUserDefaults::synchronize() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    // Changes are written as they are made; only a write that failed is tried again.
    return lastWriteOK_ || save();
}
