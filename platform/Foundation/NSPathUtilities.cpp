#include "Foundation/NSPathUtilities.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "Foundation/FileSupport.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSString.h"

namespace {

std::string envValue(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::string withoutTrailingSlashes(std::string p) {
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    return p;
}

// The password entry of the running user (getpwuid is not safe across threads).
struct Account {
    bool found = false;
    std::string name, dir, gecos;
};
Account account() {
    Account a;
    struct passwd pw;
    struct passwd* result = nullptr;
    std::string buffer(16384, '\0');
    if (::getpwuid_r(::getuid(), &pw, buffer.data(), buffer.size(), &result) == 0 && result) {
        a.found = true;
        a.name = pw.pw_name ? pw.pw_name : "";
        a.dir = pw.pw_dir ? pw.pw_dir : "";
        a.gecos = pw.pw_gecos ? pw.pw_gecos : "";
    }
    return a;
}

std::string userHome() {
    std::string home = envValue("HOME");
    if (home.empty()) home = account().dir;
    return home.empty() ? std::string("/tmp") : home;
}

// mkdir -p; an existing folder is fine.
void makeFolders(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) return;
    size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0) makeFolders(path.substr(0, slash));
    ::mkdir(path.c_str(), 0755);
}

}  // namespace

std::string file_detail::sandboxHomePath() {
    std::string home = withoutTrailingSlashes(envValue("BAZAARNEST_HOME"));
    if (!home.empty()) return home;
    std::string data = withoutTrailingSlashes(envValue("XDG_DATA_HOME"));
    if (data.empty()) data = withoutTrailingSlashes(userHome()) + "/.local/share";
    return data + "/bazaarnest";
}

namespace {

// The sandbox root, made with its standard folders when any is missing.
std::string homePath() {
    std::string home = file_detail::sandboxHomePath();
    for (const char* sub : {"/Documents", "/Library/Caches", "/Library/Preferences", "/tmp"}) {
        makeFolders(home + sub);
    }
    return home;
}

// The folder of the sandbox for a directory, relative to the home; nullptr when the app has none.
const char* folderFor(NSSearchPathDirectory directory) {
    switch (directory) {
        case NSDocumentDirectory:
            return "Documents";
        case NSLibraryDirectory:
            return "Library";
        case NSCachesDirectory:
            return "Library/Caches";
        case NSApplicationSupportDirectory:
            return "Library/Application Support";
        case NSAutosavedInformationDirectory:
            return "Library/Autosave Information";
        default:
            return nullptr;
    }
}

}  // namespace

Ref<NSString> NSHomeDirectory() {
    return NSString::fromUTF8(homePath());
}

Ref<NSString> NSTemporaryDirectory() {
    return NSString::fromUTF8(homePath() + "/tmp/");
}

Ref<NSArray> NSSearchPathForDirectoriesInDomains(NSSearchPathDirectory directory,
                                                 NSSearchPathDomainMask domainMask,
                                                 bool expandTilde) {
    const char* folder = folderFor(directory);
    if (!folder || !(domainMask & NSUserDomainMask)) return NSArray::array();
    std::string home = homePath();
    std::string path = (expandTilde ? home : std::string("~")) + "/" + folder;
    return NSArray::arrayWithObject(NSString::fromUTF8(path));
}

Ref<NSString> NSUserName() {
    if (Account a = account(); !a.name.empty()) return NSString::fromUTF8(a.name);
    std::string user = envValue("USER");
    return NSString::fromUTF8(user.empty() ? std::string("mobile") : user);
}

Ref<NSString> NSFullUserName() {
    Account a = account();
    if (std::string full = a.gecos.substr(0, a.gecos.find(',')); !full.empty()) {
        return NSString::fromUTF8(full);
    }
    return NSUserName();
}
