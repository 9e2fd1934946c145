// Unbuffered access to an open file descriptor: files, the standard streams and pipes. Reads
// and writes go straight to the descriptor; failures of writes raise, as the platform does.
#pragma once

#include <cstdint>

#include "Foundation/NSObject.h"

class NSData;
class NSString;

extern NSString* const NSFileHandleOperationException;

class NSFileHandle : public NSObject {
    NS_OBJECT(NSFileHandle, NSObject)
    // nil when the file cannot be opened. Writing neither creates nor truncates the file.
    static Ref<NSFileHandle> fileHandleForReadingAtPath(NSString* path);
    static Ref<NSFileHandle> fileHandleForWritingAtPath(NSString* path);
    static Ref<NSFileHandle> fileHandleForUpdatingAtPath(NSString* path);
    // Shared handles on descriptors 0, 1 and 2; closing them is not possible.
    static Ref<NSFileHandle> fileHandleWithStandardInput();
    static Ref<NSFileHandle> fileHandleWithStandardOutput();
    static Ref<NSFileHandle> fileHandleWithStandardError();
    // A handle whose reads always give empty data and whose writes vanish.
    static Ref<NSFileHandle> fileHandleWithNullDevice();

    bool initWithFileDescriptor(int fd);  // does not close on dealloc
    bool initWithFileDescriptor(int fd, bool closeOnDealloc);

    // Reads until end of file (or, for a pipe, until the writer closes).
    Ref<NSData> readDataToEndOfFile();
    // Up to length bytes; fewer only at end of file.
    Ref<NSData> readDataOfLength(NSUInteger length);
    // What one read gives: for a file the rest of it, for a pipe what is waiting (blocking until
    // something is). Empty at end of file.
    Ref<NSData> availableData();
    // Raises NSFileHandleOperationException when the bytes cannot be written.
    void writeData(NSData* data);

    uint64_t offsetInFile();
    uint64_t seekToEndOfFile();
    void seekToFileOffset(uint64_t offset);
    void truncateFileAtOffset(uint64_t offset);
    void synchronizeFile();
    void closeFile();
    int fileDescriptor() { return fd_; }

    void dealloc() override;

private:
    [[noreturn]] void raiseOperation(const char* what, int err);
    void checkOpen(const char* what);
    int fd_ = -1;
    bool closeOnDealloc_ = false;
    bool closed_ = false;
    bool nullDevice_ = false;
};
