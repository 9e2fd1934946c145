// The app's sandbox: one home folder holding Documents, Library (with Caches and Preferences)
// and tmp, as the phone gives every app. The home is $BAZAARNEST_HOME when set, else
// $XDG_DATA_HOME/bazaarnest, else ~/.local/share/bazaarnest; it is made on first use.
#pragma once

#include "Foundation/NSObject.h"

class NSArray;
class NSString;

using NSSearchPathDirectory = NSUInteger;
enum : NSSearchPathDirectory {
    NSApplicationDirectory = 1,
    NSDemoApplicationDirectory = 2,
    NSDeveloperApplicationDirectory = 3,
    NSAdminApplicationDirectory = 4,
    NSLibraryDirectory = 5,
    NSDeveloperDirectory = 6,
    NSUserDirectory = 7,
    NSDocumentationDirectory = 8,
    NSDocumentDirectory = 9,
    NSCoreServiceDirectory = 10,
    NSAutosavedInformationDirectory = 11,
    NSDesktopDirectory = 12,
    NSCachesDirectory = 13,
    NSApplicationSupportDirectory = 14,
    NSDownloadsDirectory = 15,
};

using NSSearchPathDomainMask = NSUInteger;
enum : NSSearchPathDomainMask {
    NSUserDomainMask = 1,
    NSLocalDomainMask = 2,
    NSNetworkDomainMask = 4,
    NSSystemDomainMask = 8,
    NSAllDomainsMask = 0x0ffff,
};

// The home folder, without a trailing slash. The environment is read on every call, so that a
// test may point the sandbox elsewhere; the folders are made when missing.
Ref<NSString> NSHomeDirectory();
// home/tmp/, with the trailing slash the platform gives it.
Ref<NSString> NSTemporaryDirectory();
// The one folder of the sandbox for the directory in the user domain (an empty array for the
// other domains and for directories an app does not have). Without expandTilde the home is
// written "~".
Ref<NSArray> NSSearchPathForDirectoriesInDomains(NSSearchPathDirectory directory,
                                                 NSSearchPathDomainMask domainMask,
                                                 bool expandTilde);
// The login name of the user running the program.
Ref<NSString> NSUserName();
Ref<NSString> NSFullUserName();
