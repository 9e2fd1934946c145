// Bundles: a folder of resources shipped with the program. The main bundle is
// $BAZAARNEST_BUNDLE when set, else the folder "Bazaarnest.app" beside the executable, else the
// executable's own folder. Bundles are flat as on the phone: the resource folder is the bundle
// folder itself, holding Info.plist, resources and <lang>.lproj folders of string tables.
#pragma once

#include <map>
#include <mutex>
#include <string>

#include "Foundation/NSString.h"

class NSArray;
class NSDictionary;
class NSURL;

class NSBundle : public NSObject {
    NS_OBJECT(NSBundle, NSObject)
    static Ref<NSBundle> mainBundle();
    // nil when the path is not a folder. Bundles are shared by path.
    static Ref<NSBundle> bundleWithPath(NSString* path);
    // Everything is linked into the one program: the main bundle.
    static Ref<NSBundle> bundleForClass(Class cls);
    // Test hook: forgets the main bundle and every shared bundle, so the environment is read
    // again and tables are loaded afresh.
    static void resetMainBundle();

    bool initWithPath(NSString* path);

    Ref<NSString> bundlePath();
    Ref<NSString> resourcePath();
    Ref<NSURL> bundleURL();
    Ref<NSURL> resourceURL();
    Ref<NSString> executablePath();

    // ---- resources -----------------------------------------------------------------------
    // The path of name.type in the bundle (or its subdirectory), nil when there is no such
    // item. A nil or empty type means the name carries its extension. The preferred
    // localization's .lproj folder is searched after the top level.
    Ref<NSString> pathForResource(NSString* name, NSString* type);
    Ref<NSString> pathForResource(NSString* name, NSString* type, NSString* subpath);
    // Every item with the extension in the folder (nil or "": all), sorted.
    Ref<NSArray> pathsForResourcesOfType(NSString* type, NSString* subpath);
    Ref<NSURL> URLForResource(NSString* name, NSString* extension);
    Ref<NSURL> URLForResource(NSString* name, NSString* extension, NSString* subpath);

    // ---- information ---------------------------------------------------------------------
    // Info.plist (XML or old-style); an empty dictionary when absent.
    Ref<NSDictionary> infoDictionary();
    Ref<NSObject> objectForInfoDictionaryKey(NSString* key);
    Ref<NSString> bundleIdentifier();  // CFBundleIdentifier

    // ---- localization --------------------------------------------------------------------
    // The names of the bundle's .lproj folders, sorted.
    Ref<NSArray> localizations();
    // Of the user's languages (the "AppleLanguages" preference, else "en"), those the bundle
    // has, then "en" and "Base" when present.
    Ref<NSArray> preferredLocalizations();
    // The text for the key in <lang>.lproj/<table>.strings (nil table: "Localizable") of the
    // first preferred localization holding it; else the value when non-empty; else the key.
    Ref<NSString> localizedStringForKey(NSString* key, NSString* value, NSString* tableName);

    Ref<NSString> description() override;

private:
    Ref<NSDictionary> stringsTable(const std::string& lproj, const std::string& table);
    Ref<NSString> findResource(const std::string& folder, NSString* name, NSString* type);

    Ref<NSString> path_;
    std::mutex lock_;
    Ref<NSDictionary> info_;
    Ref<NSArray> localizations_;  // read once: resources do not change under a running app
    std::map<std::string, Ref<NSDictionary>> tables_;  // "lang/table" → table (empty if none)
};

inline Ref<NSString> NSLocalizedString(NSString* key, NSString* comment) {
    (void)comment;
    return NSBundle::mainBundle()->localizedStringForKey(key, nullptr, nullptr);
}
inline Ref<NSString> NSLocalizedStringFromTable(NSString* key, NSString* table, NSString* comment) {
    (void)comment;
    return NSBundle::mainBundle()->localizedStringForKey(key, nullptr, table);
}
inline Ref<NSString> NSLocalizedStringFromTableInBundle(NSString* key, NSString* table,
                                                        NSBundle* bundle, NSString* comment) {
    (void)comment;
    return bundle->localizedStringForKey(key, nullptr, table);
}
inline Ref<NSString> NSLocalizedStringWithDefaultValue(NSString* key, NSString* table,
                                                       NSBundle* bundle, NSString* value,
                                                       NSString* comment) {
    (void)comment;
    return bundle->localizedStringForKey(key, value, table);
}
