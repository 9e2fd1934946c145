// The system calls that name the hardware, answering for the phone this program stands in for
// rather than the machine it runs on: `uname` (its machine field is the hardware model) and
// `sysctlbyname` for "hw.machine" (the same model) and "hw.model" (the board's model number).
// Tests set the answers and make both calls fail.
#pragma once

#include <sys/utsname.h>

#include <cstddef>
#include <string>

namespace phone_system {

// Fills every field: "Darwin", the device name, the release and version of system 5.0, and
// the hardware model as machine. 0, or -1 with errno EFAULT when failing or given null.
int uname(struct utsname* name);

// "hw.machine" and "hw.model" as NUL-terminated text. With `oldp` null the needed length is
// stored in *oldlenp; a buffer shorter than the text gives -1 with errno ENOMEM; an unknown
// name gives ENOENT, a new value EPERM (the values are read-only); failing gives EFAULT.
int sysctlbyname(const char* name, void* oldp, size_t* oldlenp, void* newp, size_t newlen);

// The hardware model ("iPhone3,1" until set) and the model number ("N90AP" until set).
std::string hardwareModel();
void setHardwareModel(const std::string& model);
std::string modelNumber();
void setModelNumber(const std::string& number);
// Test hook: both calls fail while set.
void setFailing(bool failing);
// Back to the defaults (tests).
void reset();

}  // namespace phone_system
