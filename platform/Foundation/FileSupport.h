// Internal file-writing helpers shared by the Foundation classes that write files themselves, and
// the writer that the stores of the libraries above use for what they keep as plain data.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

class NSData;
class NSString;

namespace file_detail {

// Writes all n bytes, retrying interrupted and short writes; false (errno set) on failure.
bool writeAll(int fd, const void* bytes, size_t n);

// Writes the bytes to a temporary file beside the target (so that the rename stays on one file
// system), gives it the mode, flushes it to the disk and renames it over the target: a crash
// leaves either the old file or the new one, never a mix. On failure nothing is left behind and
// errno tells why.
//
// A process that ends in the middle of a write leaves the temporary file, named ".bnwriting-",
// the target's name, a dash and six letters or digits. Before its first write into the app's home
// the process removes every such file in the home, at any depth, and before its first write into
// a folder outside it, those of that folder; a file that a write still holds (of this process or
// another) stays. What the app's earlier writer left ("<target>.writing-XXXXXX") goes only in the
// home, beside one of the app's own stores, at its first write. Where the file system cannot
// lock, the write goes on unlocked, and the sweep takes only leftovers untouched for a day by the
// file system's own time. A cache that can do without what a crash loses passes durable false:
// the file and its folder are then not flushed to the disk.
//
// Whose file the target is: one of the app's own stores (its preferences, property lists,
// archives, cache entries, what its libraries keep as plain data), or any file, as a path a person
// chose (a screenshot, a saved image), beside which nothing but the writer's own marked files is
// ever taken.
enum class Target { AnyFile, OwnStore };
bool writeFileAtomically(const std::string& target, const void* bytes, size_t n, mode_t mode,
                         bool durable = true, Target kind = Target::AnyFile);

// NSData's atomic writeToFile for a caller that says whose file the target is: the stores of the
// app and its libraries that are written as plain data (cached ad files, video downloads, the
// device's identifier, the mail outbox, the analytics marker, the catalog's logo) pass OwnStore.
bool writeDataAtomically(NSData* data, NSString* path, Target kind);

// The call that locks files for the writer and its sweep (flock); tests put in one that fails.
// Gives back the one replaced.
using LockCall = int (*)(int fd, int operation);
LockCall exchangeLockCall(LockCall call);

// The app's home folder as NSHomeDirectory() names it, without making it.
std::string sandboxHomePath();

}  // namespace file_detail
