#include "ads/pebble/PBLStackTrace.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"

namespace {

constexpr int kMaxFrames = 256;

// The symbol's readable name: demangled when it is a C++ name.
std::string readableName(const char* symbol) {
    int status = 0;
    char* demangled = abi::__cxa_demangle(symbol, nullptr, nullptr, &status);
    if (status != 0 || !demangled) return symbol;
    std::string out(demangled);
    std::free(demangled);
    return out;
}

// "%0*p" with the width 10: "0x" and at least eight hexadecimal digits.
std::string paddedAddress(const void* address) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "0x%08llx",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(address)));
    return buffer;
}

std::string lastPathComponent(const std::string& path) {
    if (path.empty()) return "??";
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

unsigned stackFrameDescriptorsFromAddresses(void* const* addresses,
                                            StackFrameDescriptor* descriptors, unsigned count) {
    if (!addresses || !descriptors || count == 0) return 0;
    // Every method of every class, class methods first within each class.
    struct Candidate {
        const void* code;
        const std::string* selector;
        const std::string* className;
        bool isClassMethod;
    };
    std::vector<Candidate> candidates;
    for (Class cls : registeredClasses()) {
        for (const Method& m : cls->classMethods())
            if (m.code) candidates.push_back({m.code, &m.selector->name, &cls->name(), true});
        for (const Method& m : cls->methods())
            if (m.code) candidates.push_back({m.code, &m.selector->name, &cls->name(), false});
    }
    for (unsigned i = 0; i < count; ++i) {
        StackFrameDescriptor& d = descriptors[i];
        d = StackFrameDescriptor();
        d.address = addresses[i];
        const auto at = reinterpret_cast<uintptr_t>(d.address);
        Dl_info info{};
        const bool known = dladdr(d.address, &info) != 0;
        // A method counts only when its code lies in the same binary as the address.
        const auto imageStart = known ? reinterpret_cast<uintptr_t>(info.dli_fbase) : 0;
        const Candidate* best = nullptr;
        uintptr_t bestDistance = 0;
        for (const Candidate& c : candidates) {
            const auto code = reinterpret_cast<uintptr_t>(c.code);
            if (code > at || code < imageStart) continue;
            if (!best || at - code < bestDistance) {
                best = &c;
                bestDistance = at - code;
            }
        }
        if (best) {
            d.symbol = *best->selector;
            d.className = *best->className;
            d.isClassMethod = best->isClassMethod;
        }
        if (known) {
            if (info.dli_fname) d.fileName = info.dli_fname;
            const auto symbolAt = reinterpret_cast<uintptr_t>(info.dli_saddr);
            if (info.dli_sname && info.dli_saddr && symbolAt <= at &&
                (!best || at - symbolAt < bestDistance)) {
                d.symbol = readableName(info.dli_sname);
                d.className.clear();
                d.isClassMethod = false;
            }
        }
        if (d.symbol.empty()) {
            d.symbol = "???";
            d.className.clear();
        }
    }
    return count;
}

Ref<NSString> stackTextFromFrameDescriptors(const StackFrameDescriptor* descriptors,
                                            unsigned count) {
    std::string text;
    for (unsigned i = 0; descriptors && i < count; ++i) {
        const StackFrameDescriptor& d = descriptors[i];
        const std::string file = lastPathComponent(d.fileName);
        const std::string name = d.symbol.empty() ? "??" : d.symbol;
        char head[64];
        std::snprintf(head, sizeof head, "#%-2u ", i);
        char fileColumn[512];
        std::snprintf(fileColumn, sizeof fileColumn, "%-35s ", file.c_str());
        if (i > 0) text += '\n';
        text += head;
        text += fileColumn;
        text += paddedAddress(d.address);
        text += ' ';
        if (!d.className.empty()) {
            text += d.isClassMethod ? "+[" : "-[";
            text += d.className + " " + name + "]";
        } else {
            text += name + "()";
        }
    }
    return NSString::fromUTF8(text);
}

Ref<NSString> stackTraceText() {
    std::vector<void*> addresses(kMaxFrames);
    int taken = backtrace(addresses.data(), kMaxFrames);
    if (taken <= 1) return NSString::string();
    const auto count = static_cast<unsigned>(taken);
    std::vector<StackFrameDescriptor> descriptors(count);
    stackFrameDescriptorsFromAddresses(addresses.data(), descriptors.data(), count);
    // The first frame is this function's own, unless a tool that wraps backtrace() (the address
    // sanitizer does) put its frame before it: everything up to our own frame is left out.
    unsigned own = 0;
    for (unsigned i = 0; i < count && i < 4; ++i) {
        Dl_info info{};
        if (dladdr(addresses[i], &info) &&
            info.dli_saddr == reinterpret_cast<void*>(&stackTraceText)) {
            own = i;
            break;
        }
    }
    return stackTextFromFrameDescriptors(descriptors.data() + own + 1, count - own - 1);
}
