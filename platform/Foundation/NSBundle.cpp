#include "Foundation/NSBundle.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSPropertyList.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/ProcessWide.h"

namespace {

std::mutex registryLock;
// The main bundle and the bundles by their standardized path, so that every look-up of a folder
// shares its tables; all under registryLock.
struct Bundles {
    Ref<NSBundle> main;
    std::map<std::string, Ref<NSBundle>> byPath;
};
ProcessWide<Bundles>& bundlesSlot() {
    static ProcessWide<Bundles> slot;
    return slot;
}
Bundles& bundles() {
    return *bundlesSlot().get();
}

bool isFolder(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isItem(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

std::string executable() {
    std::string buffer(4096, '\0');
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0) return std::string();
    buffer.resize(static_cast<size_t>(n));
    return buffer;
}

std::string folderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// An absolute path without "." or ".." parts or a trailing slash.
std::string standardized(NSString* path) {
    Ref<NSString> p = path;
    if (!p->isAbsolutePath() && !p->hasPrefix(NS("~"))) {
        if (auto cwd = NSFileManager::defaultManager()->currentDirectoryPath()) {
            p = cwd->stringByAppendingPathComponent(p);
        }
    }
    return p->stringByStandardizingPath()->utf8();
}

std::string joined(const std::string& a, const std::string& b) {
    if (b.empty()) return a;
    if (a.empty()) return b;
    return a.back() == '/' ? a + b : a + "/" + b;
}

Ref<NSBundle> makeBundle(const std::string& path) {
    return make<NSBundle>(&NSBundle::initWithPath, NSString::fromUTF8(path));
}

// The .lproj names that stand for a user language: the exact tag, its underscore form and
// the bare language, and the old English folder name for English.
std::vector<std::string> candidatesFor(std::string language) {
    std::vector<std::string> names{language};
    for (char& c : language)
        if (c == '_') c = '-';
    std::string underscored = language;
    for (char& c : underscored)
        if (c == '-') c = '_';
    names.push_back(language);
    names.push_back(underscored);
    names.push_back(language.substr(0, language.find('-')));
    if (names.back() == "en") names.push_back("English");
    return names;
}

}  // namespace

// ---- finding bundles -------------------------------------------------------------------------

Ref<NSBundle> NSBundle::mainBundle() {
    std::lock_guard<std::mutex> guard(registryLock);
    auto& known = bundles();
    if (known.main) return known.main;
    std::string path;
    if (const char* env = std::getenv("BAZAARNEST_BUNDLE"); env && *env) {
        path = standardized(NSString::fromUTF8(env));
    } else {
        std::string exeFolder = folderOf(executable());
        std::string app = joined(exeFolder, "Bazaarnest.app");
        path = isFolder(app) ? app : exeFolder;
    }
    if (auto it = known.byPath.find(path); it != known.byPath.end()) {
        known.main = it->second;
    } else {
        known.main = makeBundle(path);
        known.byPath[path] = known.main;
    }
    return known.main;
}

Ref<NSBundle> NSBundle::bundleWithPath(NSString* path) {
    if (!path || path->length() == 0) return nullptr;
    std::string p = standardized(path);
    if (!isFolder(p)) return nullptr;
    std::lock_guard<std::mutex> guard(registryLock);
    auto& byPath = bundles().byPath;
    if (auto it = byPath.find(p); it != byPath.end()) return it->second;
    auto bundle = makeBundle(p);
    byPath[p] = bundle;
    return bundle;
}

Ref<NSBundle> NSBundle::bundleForClass(Class cls) {
    (void)cls;
    return mainBundle();
}

void NSBundle::resetMainBundle() {
    // Released outside the lock: a bundle's dealloc must not run under it.
    bundlesSlot().reset();
}

bool NSBundle::initWithPath(NSString* path) {
    if (!path || path->length() == 0) return false;
    path_ = path->copy();
    return true;
}

// ---- locations -------------------------------------------------------------------------------

Ref<NSString> NSBundle::bundlePath() {
    return path_;
}

Ref<NSString> NSBundle::resourcePath() {
    return path_;
}

Ref<NSURL> NSBundle::bundleURL() {
    return NSURL::fileURLWithPath(path_, true);
}

Ref<NSURL> NSBundle::resourceURL() {
    return NSURL::fileURLWithPath(path_, true);
}

Ref<NSString> NSBundle::executablePath() {
    {
        std::lock_guard<std::mutex> guard(registryLock);
        if (bundles().main.get() != this) return nullptr;
    }
    std::string exe = executable();
    return exe.empty() ? nullptr : NSString::fromUTF8(exe);
}

// ---- resources -------------------------------------------------------------------------------

Ref<NSString> NSBundle::findResource(const std::string& folder, NSString* name, NSString* type) {
    std::string file = name->utf8();
    if (type && type->length() > 0) {
        std::string ext = type->utf8();
        if (ext[0] == '.') ext.erase(0, 1);
        file += "." + ext;
    }
    if (file.empty()) return nullptr;
    std::string candidate = joined(folder, file);
    if (isItem(candidate)) return NSString::fromUTF8(candidate);
    for (NSObject* o : preferredLocalizations()) {
        std::string lproj = static_cast<NSString*>(o)->utf8() + ".lproj";
        candidate = joined(joined(folder, lproj), file);
        if (isItem(candidate)) return NSString::fromUTF8(candidate);
    }
    return nullptr;
}

Ref<NSString> NSBundle::pathForResource(NSString* name, NSString* type) {
    return pathForResource(name, type, nullptr);
}

Ref<NSString> NSBundle::pathForResource(NSString* name, NSString* type, NSString* subpath) {
    std::string folder = path_->utf8();
    if (subpath && subpath->length() > 0) folder = joined(folder, subpath->utf8());
    if (!name || name->length() == 0) {
        // No name: the first resource of the type.
        if (!type || type->length() == 0) return nullptr;
        auto all = pathsForResourcesOfType(type, subpath);
        return all->count() > 0 ? cast<NSString>(all->objectAtIndex(0)) : nullptr;
    }
    return findResource(folder, name, type);
}

Ref<NSArray> NSBundle::pathsForResourcesOfType(NSString* type, NSString* subpath) {
    Ref<NSString> folder = path_;
    if (subpath && subpath->length() > 0) folder = folder->stringByAppendingPathComponent(subpath);
    auto names = NSFileManager::defaultManager()->contentsOfDirectoryAtPath(folder, nullptr);
    auto out = NSMutableArray::array();
    if (!names) return out->copy();
    Ref<NSString> ext = type;
    if (ext && ext->hasPrefix(NS("."))) ext = ext->substringFromIndex(1);
    for (NSObject* o : *names) {
        auto name = static_cast<NSString*>(o);
        if (ext && ext->length() > 0 && !name->pathExtension()->isEqualToString(ext)) continue;
        out->addObject(folder->stringByAppendingPathComponent(name));
    }
    return out->copy();
}

Ref<NSURL> NSBundle::URLForResource(NSString* name, NSString* extension) {
    return URLForResource(name, extension, nullptr);
}

Ref<NSURL> NSBundle::URLForResource(NSString* name, NSString* extension, NSString* subpath) {
    auto path = pathForResource(name, extension, subpath);
    return path ? NSURL::fileURLWithPath(path) : nullptr;
}

// ---- information -----------------------------------------------------------------------------

Ref<NSDictionary> NSBundle::infoDictionary() {
    std::lock_guard<std::mutex> guard(lock_);
    if (!info_) {
        auto path = path_->stringByAppendingPathComponent(NS("Info.plist"));
        info_ = as<NSDictionary>(plist_detail::readFile(path, NSPropertyListImmutable));
        if (!info_) info_ = NSDictionary::dictionary();
    }
    return info_;
}

Ref<NSObject> NSBundle::objectForInfoDictionaryKey(NSString* key) {
    if (!key) return nullptr;
    return infoDictionary()->objectForKey(key);
}

Ref<NSString> NSBundle::bundleIdentifier() {
    return as<NSString>(objectForInfoDictionaryKey(NS("CFBundleIdentifier")));
}

// ---- localization ----------------------------------------------------------------------------

Ref<NSArray> NSBundle::localizations() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (localizations_) return localizations_;
    }
    auto names = NSFileManager::defaultManager()->contentsOfDirectoryAtPath(path_, nullptr);
    auto out = NSMutableArray::array();
    if (names) {
        for (NSObject* o : *names) {
            auto name = static_cast<NSString*>(o);
            if (!name->pathExtension()->isEqualToString(NS("lproj"))) continue;
            if (!isFolder(path_->stringByAppendingPathComponent(name)->utf8())) continue;
            out->addObject(name->stringByDeletingPathExtension());
        }
    }
    std::lock_guard<std::mutex> guard(lock_);
    if (!localizations_) localizations_ = out->copy();
    return localizations_;
}

Ref<NSArray> NSBundle::preferredLocalizations() {
    // Read before any lock of the bundle is taken: the defaults may ask the main bundle for
    // its identifier on first use.
    Ref<NSArray> languages;
    if (auto defaults = NSUserDefaults::standardUserDefaults()) {
        languages = defaults->stringArrayForKey(NS("AppleLanguages"));
    }
    if (!languages || languages->count() == 0) languages = NSArray::arrayWithObject(NS("en"));

    std::vector<std::string> have;
    for (NSObject* o : localizations())
        have.push_back(static_cast<NSString*>(o)->utf8());
    auto has = [&](const std::string& name) {
        return std::find(have.begin(), have.end(), name) != have.end();
    };

    std::vector<std::string> order;
    auto add = [&](const std::string& name) {
        if (has(name) && std::find(order.begin(), order.end(), name) == order.end()) {
            order.push_back(name);
        }
    };
    for (NSObject* o : *languages) {
        bool found = false;
        for (const auto& candidate : candidatesFor(static_cast<NSString*>(o)->utf8())) {
            if (has(candidate)) {
                add(candidate);
                found = true;
                break;
            }
        }
        if (found) break;
    }
    add("en");
    add("English");
    add("Base");

    auto out = NSMutableArray::arrayWithCapacity(static_cast<NSUInteger>(order.size()));
    for (const auto& name : order)
        out->addObject(NSString::fromUTF8(name));
    return out->copy();
}

Ref<NSDictionary> NSBundle::stringsTable(const std::string& lproj, const std::string& table) {
    std::string cacheKey = lproj + "/" + table;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (auto it = tables_.find(cacheKey); it != tables_.end()) return it->second;
    }
    std::string file = joined(joined(path_->utf8(), lproj + ".lproj"), table + ".strings");
    auto loaded =
        as<NSDictionary>(plist_detail::readFile(NSString::fromUTF8(file), NSPropertyListImmutable));
    if (!loaded) loaded = NSDictionary::dictionary();
    std::lock_guard<std::mutex> guard(lock_);
    auto [it, inserted] = tables_.emplace(cacheKey, loaded);
    return it->second;
}

Ref<NSString> NSBundle::localizedStringForKey(NSString* key, NSString* value, NSString* tableName) {
    if (!key) return value ? Ref<NSString>(value) : NSString::string();
    std::string table =
        tableName && tableName->length() > 0 ? tableName->utf8() : std::string("Localizable");
    for (NSObject* o : preferredLocalizations()) {
        auto lang = static_cast<NSString*>(o)->utf8();
        if (auto s = as<NSString>(stringsTable(lang, table)->objectForKey(key))) return s;
    }
    if (value && value->length() > 0) return value;
    return key;
}

Ref<NSString> NSBundle::description() {
    return NSString::stringWithFormat(NS("NSBundle <%@> (loaded)"), path_);
}
