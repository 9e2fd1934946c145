// The system calls that name the hardware, answering for the phone this program stands in for
// rather than the machine it runs on: `uname` (its machine field is the hardware model) and
// `sysctlbyname` for "hw.machine" (the same model), "hw.model" (the board's model number),
// "hw.physmem" (the memory in bytes) and "hw.cpufrequency" (in hertz), both 32-bit numbers.
// Tests set the answers and make both calls fail.
#pragma once

#include <sys/utsname.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace phone_system {

// Fills every field: "Darwin", the device name, the release and version of system 5.0, and
// the hardware model as machine. 0, or -1 with errno EFAULT when failing or given null.
int uname(struct utsname* name);

// "hw.machine" and "hw.model" as NUL-terminated text, "hw.physmem" and "hw.cpufrequency" as
// 32-bit numbers. With `oldp` null the needed length is
// stored in *oldlenp; a buffer shorter than the text gives -1 with errno ENOMEM; an unknown
// name gives ENOENT, a new value EPERM (the values are read-only); failing gives EFAULT.
int sysctlbyname(const char* name, void* oldp, size_t* oldlenp, void* newp, size_t newlen);

// The hardware model ("iPhone3,1" until set) and the model number ("N90AP" until set).
std::string hardwareModel();
void setHardwareModel(const std::string& model);
std::string modelNumber();
void setModelNumber(const std::string& number);
// The memory (512 MB until set) and the processor's clock (1 GHz until set).
inline constexpr std::uint32_t kDefaultPhysicalMemory = 512u * 1024 * 1024;
inline constexpr std::uint32_t kDefaultCPUFrequency = 1000000000u;
std::uint32_t physicalMemory();
void setPhysicalMemory(std::uint32_t bytes);
std::uint32_t cpuFrequency();
void setCPUFrequency(std::uint32_t hertz);
// Test hook: both calls fail while set.
void setFailing(bool failing);
// Back to the defaults (tests).
void reset();

}  // namespace phone_system
