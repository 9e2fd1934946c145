// Internal file-writing helpers shared by the Foundation classes that write files themselves.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace file_detail {

// Writes all n bytes, retrying interrupted and short writes; false (errno set) on failure.
bool writeAll(int fd, const void* bytes, size_t n);

// Writes the bytes to a temporary file beside the target (so that the rename stays on one file
// system), gives it the mode, flushes it to the disk and renames it over the target: a crash
// leaves either the old file or the new one, never a mix. On failure nothing is left behind and
// errno tells why.
bool writeFileAtomically(const std::string& target, const void* bytes, size_t n, mode_t mode);

// Removes the temporary files that atomic writes to the target left when the process ended in
// the middle of one: the regular files beside it named the target's name, a dot and six letters
// or digits. Only the writer of the target may call it, when it knows no write of its own is
// under way. Answers how many it removed.
int removeAtomicWriteLeftovers(const std::string& target);

}  // namespace file_detail
