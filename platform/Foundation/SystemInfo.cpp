#include "Foundation/SystemInfo.h"

#include <cerrno>
#include <cstring>
#include <mutex>

#include "Foundation/ProcessWide.h"

namespace phone_system {

namespace {
struct State {
    std::mutex lock;
    std::string machine = "iPhone3,1";
    std::string model = "N90AP";
    std::uint32_t physicalMemory = kDefaultPhysicalMemory;
    std::uint32_t cpuFrequency = kDefaultCPUFrequency;
    bool failing = false;
};
State& state() {
    static ProcessWide<State> slot;  // never destroyed: read by code running at exit too
    return *slot.get();
}

void copyField(char* field, size_t size, const std::string& value) {
    std::strncpy(field, value.c_str(), size - 1);
    field[size - 1] = '\0';
}
}  // namespace

int uname(struct utsname* name) {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    if (!name || s.failing) {
        errno = EFAULT;
        return -1;
    }
    std::memset(name, 0, sizeof *name);
    copyField(name->sysname, sizeof name->sysname, "Darwin");
    copyField(name->nodename, sizeof name->nodename, "Bazaarnest-Phone");
    copyField(name->release, sizeof name->release, "11.0.0");
    copyField(name->version, sizeof name->version, "Darwin Kernel Version 11.0.0");
    copyField(name->machine, sizeof name->machine, s.machine);
    return 0;
}

int sysctlbyname(const char* name, void* oldp, size_t* oldlenp, void* newp, size_t newlen) {
    State& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    if (s.failing || !name) {
        errno = EFAULT;
        return -1;
    }
    // Text values go out with their NUL, numbers as 32-bit values in the machine's order.
    std::string bytes;
    if (std::strcmp(name, "hw.machine") == 0) bytes = s.machine + '\0';
    if (std::strcmp(name, "hw.model") == 0) bytes = s.model + '\0';
    auto number = [&](std::uint32_t v) {
        bytes.assign(reinterpret_cast<const char*>(&v), sizeof v);
    };
    if (std::strcmp(name, "hw.physmem") == 0) number(s.physicalMemory);
    if (std::strcmp(name, "hw.cpufrequency") == 0) number(s.cpuFrequency);
    if (bytes.empty()) {
        errno = ENOENT;
        return -1;
    }
    if (newp || newlen) {
        errno = EPERM;
        return -1;
    }
    if (!oldlenp) {
        errno = EFAULT;
        return -1;
    }
    size_t need = bytes.size();
    if (!oldp) {
        *oldlenp = need;
        return 0;
    }
    if (*oldlenp < need) {
        errno = ENOMEM;
        return -1;
    }
    std::memcpy(oldp, bytes.data(), need);
    *oldlenp = need;
    return 0;
}

std::string hardwareModel() {
    std::lock_guard<std::mutex> g(state().lock);
    return state().machine;
}
void setHardwareModel(const std::string& model) {
    std::lock_guard<std::mutex> g(state().lock);
    state().machine = model;
}
std::string modelNumber() {
    std::lock_guard<std::mutex> g(state().lock);
    return state().model;
}
void setModelNumber(const std::string& number) {
    std::lock_guard<std::mutex> g(state().lock);
    state().model = number;
}
std::uint32_t physicalMemory() {
    std::lock_guard<std::mutex> g(state().lock);
    return state().physicalMemory;
}
void setPhysicalMemory(std::uint32_t bytes) {
    std::lock_guard<std::mutex> g(state().lock);
    state().physicalMemory = bytes;
}
std::uint32_t cpuFrequency() {
    std::lock_guard<std::mutex> g(state().lock);
    return state().cpuFrequency;
}
void setCPUFrequency(std::uint32_t hertz) {
    std::lock_guard<std::mutex> g(state().lock);
    state().cpuFrequency = hertz;
}
void setFailing(bool failing) {
    std::lock_guard<std::mutex> g(state().lock);
    state().failing = failing;
}
void reset() {
    auto& s = state();
    std::lock_guard<std::mutex> g(s.lock);
    s.machine = "iPhone3,1";
    s.model = "N90AP";
    s.physicalMemory = kDefaultPhysicalMemory;
    s.cpuFrequency = kDefaultCPUFrequency;
    s.failing = false;
}

}  // namespace phone_system
