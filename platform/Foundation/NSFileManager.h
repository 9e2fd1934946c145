// The file manager: existence, folders, copies and moves, attributes and links on the real file
// system. Failures are NSErrors of NSCocoaErrorDomain with the platform's codes, carrying the
// path (NSFilePathErrorKey) and the system's errno (NSUnderlyingErrorKey, NSPOSIXErrorDomain).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "Foundation/NSEnumerator.h"

class NSArray;
class NSData;
class NSDictionary;
class NSError;
class NSString;
class NSDirectoryEnumerator;

// Attribute keys (and the NSFileType values).
extern NSString* const NSFileType;
extern NSString* const NSFileSize;
extern NSString* const NSFileModificationDate;
extern NSString* const NSFileCreationDate;
extern NSString* const NSFilePosixPermissions;
extern NSString* const NSFileReferenceCount;
extern NSString* const NSFileOwnerAccountID;
extern NSString* const NSFileGroupOwnerAccountID;
extern NSString* const NSFileSystemNumber;
extern NSString* const NSFileSystemFileNumber;
// Ours: the last access time, for caches that age their files by last use.
extern NSString* const NSFileAccessDate;

extern NSString* const NSFileTypeDirectory;
extern NSString* const NSFileTypeRegular;
extern NSString* const NSFileTypeSymbolicLink;
extern NSString* const NSFileTypeSocket;
extern NSString* const NSFileTypeCharacterSpecial;
extern NSString* const NSFileTypeBlockSpecial;
extern NSString* const NSFileTypeUnknown;

// File-system attributes (attributesOfFileSystemForPath).
extern NSString* const NSFileSystemSize;
extern NSString* const NSFileSystemFreeSize;
extern NSString* const NSFileSystemNodes;
extern NSString* const NSFileSystemFreeNodes;

class NSFileManager : public NSObject {
    NS_OBJECT(NSFileManager, NSObject)
    // The shared manager; it is never freed.
    static Ref<NSFileManager> defaultManager();

    // ---- existence and access ------------------------------------------------------------
    // Symbolic links are followed: a dangling link does not exist.
    bool fileExistsAtPath(NSString* path);
    bool fileExistsAtPath(NSString* path, bool* isDirectory);
    bool isReadableFileAtPath(NSString* path);
    bool isWritableFileAtPath(NSString* path);
    bool isExecutableFileAtPath(NSString* path);
    // Whether the item could be removed: its folder is writable (and the item exists).
    bool isDeletableFileAtPath(NSString* path);

    // ---- creating and removing -----------------------------------------------------------
    // Without intermediates the parent must exist and the folder must not. With them an
    // existing folder is success. Attributes may carry NSFilePosixPermissions.
    bool createDirectoryAtPath(NSString* path, bool withIntermediateDirectories,
                               NSDictionary* attributes, Ref<NSError>* error);
    // Writes (or replaces) the file with the contents (nil: empty).
    bool createFileAtPath(NSString* path, NSData* contents, NSDictionary* attributes);
    // Removes a file, a link (not its target) or a whole folder tree.
    bool removeItemAtPath(NSString* path, Ref<NSError>* error);
    // Fails with NSFileWriteFileExistsError when the destination exists. Moves across file
    // systems by copying.
    bool moveItemAtPath(NSString* srcPath, NSString* dstPath, Ref<NSError>* error);
    // Copies a file, a link or a folder tree; fails when the destination exists.
    bool copyItemAtPath(NSString* srcPath, NSString* dstPath, Ref<NSError>* error);
    bool createSymbolicLinkAtPath(NSString* path, NSString* destinationPath, Ref<NSError>* error);
    Ref<NSString> destinationOfSymbolicLinkAtPath(NSString* path, Ref<NSError>* error);

    // ---- contents ------------------------------------------------------------------------
    // The names in the folder, sorted by name, without "." and "..".
    Ref<NSArray> contentsOfDirectoryAtPath(NSString* path, Ref<NSError>* error);
    // Every path below the folder relative to it, depth first with the names of each folder
    // sorted ("a", "a/b", "c"); links are not followed into.
    Ref<NSArray> subpathsOfDirectoryAtPath(NSString* path, Ref<NSError>* error);
    Ref<NSArray> subpathsAtPath(NSString* path);  // nil on failure
    // Walks the same paths one at a time; nil when the folder cannot be read.
    Ref<NSDirectoryEnumerator> enumeratorAtPath(NSString* path);
    Ref<NSData> contentsAtPath(NSString* path);  // nil when unreadable
    bool contentsEqualAtPath(NSString* path1, NSString* path2);

    // ---- attributes ----------------------------------------------------------------------
    // Of the item itself (a link is not followed).
    Ref<NSDictionary> attributesOfItemAtPath(NSString* path, Ref<NSError>* error);
    Ref<NSDictionary> attributesOfFileSystemForPath(NSString* path, Ref<NSError>* error);
    // Applies NSFilePosixPermissions, NSFileModificationDate and NSFileAccessDate; other keys
    // are ignored.
    bool setAttributes(NSDictionary* attributes, NSString* path, Ref<NSError>* error);

    // ---- the current folder --------------------------------------------------------------
    Ref<NSString> currentDirectoryPath();
    bool changeCurrentDirectoryPath(NSString* path);
};

// The walk of enumeratorAtPath: relative paths, parents before their contents, sorted by name
// within each folder.
class NSDirectoryEnumerator : public NSEnumerator {
    NS_OBJECT(NSDirectoryEnumerator, NSEnumerator)
    bool initWithPath(NSString* path);
    Ref<NSObject> nextObject() override;
    // The attributes of the path handed out last.
    Ref<NSDictionary> fileAttributes();
    // Do not descend into the folder handed out last.
    void skipDescendents();
    void skipDescendants() { skipDescendents(); }
    // The depth of the path handed out last (1 for the top level).
    NSUInteger level();

private:
    void pushFolder(const std::string& relative, NSUInteger depth);
    std::string root_;
    std::vector<std::pair<std::string, NSUInteger>> pending_;  // relative path, depth (a stack)
    std::string last_;
    NSUInteger lastLevel_ = 0;
    bool lastIsDirectory_ = false;
    bool skip_ = false;
};
