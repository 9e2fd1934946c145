#include "ads/pebble/PBLStackTrace.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "ads/pebble/PBLGestureUtil.h"
#include "support/FoundationTesting.h"

// A class with a virtual method registered by name; outside any unnamed namespace, so that its
// virtual table is exported.
class VirtualTraceProbe : public NSObject {
    NS_OBJECT(VirtualTraceProbe, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.method("description", &VirtualTraceProbe::description);
    }
    Ref<NSString> description() override;
};

Ref<NSString> VirtualTraceProbe::description() {
    return NS("probe");
}

namespace {

// Takes the call stack from inside methods reached by name, as the signal component's callers
// are.
class TraceProbe : public NSObject {
    NS_OBJECT(TraceProbe, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.method("captureTrace", &TraceProbe::captureTrace);
        c.method("captureGestureTrace", &TraceProbe::captureGestureTrace);
        c.classMethod("sharedTrace", &TraceProbe::sharedTrace);
    }
    // Work after the call keeps the call from becoming a jump, so the method keeps its frame.
    __attribute__((noinline)) void captureTrace() {
        trace = stackTraceText();
        ++captures;
    }
    __attribute__((noinline)) void captureGestureTrace() {
        trace = pblGestureStackTrace();
        ++captures;
    }
    __attribute__((noinline)) static Ref<NSString> sharedTrace() {
        auto text = stackTraceText();
        ++classCaptures;
        return text;
    }

    Ref<NSString> trace;
    int captures = 0;
    static inline int classCaptures = 0;
};

std::string firstLine(NSString* text) {
    std::string s = text ? text->utf8() : "";
    return s.substr(0, s.find('\n'));
}

TEST(PBLStackTraceTest, FirstLineNamesTheCallingMethod) {
    auto probe = make<TraceProbe>();
    invokeMethod(probe, Selector::named("captureTrace"), {});
    ASSERT_EQ(probe->captures, 1);
    std::string line = firstLine(probe->trace);
    EXPECT_EQ(line.substr(0, 4), "#0  ") << line;
    EXPECT_NE(line.find(" -[TraceProbe captureTrace]"), std::string::npos) << line;
    // The binary's name stands in a column of 35 characters, the address after it.
    EXPECT_EQ(line.substr(4, 11), "test_Pebble") << line;
    EXPECT_EQ(line.substr(39, 3), " 0x") << line;
    // Later frames are numbered on, one per line.
    std::string all = probe->trace->utf8();
    EXPECT_NE(all.find("\n#1  "), std::string::npos);

    auto classTrace = cast<NSString>(
        invokeMethod(TraceProbe::staticClass(), Selector::named("sharedTrace"), {}).boxed());
    EXPECT_NE(firstLine(classTrace).find(" +[TraceProbe sharedTrace]"), std::string::npos)
        << firstLine(classTrace);

    // The signal helper gives the same text; the method stands among its first frames.
    invokeMethod(probe, Selector::named("captureGestureTrace"), {});
    std::string gesture = probe->trace->utf8();
    size_t at = gesture.find("-[TraceProbe captureGestureTrace]");
    ASSERT_NE(at, std::string::npos) << gesture;
    EXPECT_EQ(gesture.substr(0, at).find("#2 "), std::string::npos) << gesture;
}

TEST(PBLStackTraceTest, SymbolsOfSystemLibrariesAndUnknownAddresses) {
    // An address inside a C library function is named by its exported symbol.
    void* addresses[] = {reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(&std::abort) + 1),
                         reinterpret_cast<void*>(uintptr_t{16})};
    StackFrameDescriptor frames[2];
    ASSERT_EQ(stackFrameDescriptorsFromAddresses(addresses, frames, 2), 2u);
    EXPECT_EQ(frames[0].symbol, "abort");
    EXPECT_TRUE(frames[0].className.empty());
    EXPECT_NE(frames[0].fileName.find("libc"), std::string::npos) << frames[0].fileName;
    EXPECT_EQ(frames[1].symbol, "???");
    EXPECT_TRUE(frames[1].fileName.empty());

    auto lines = stackTextFromFrameDescriptors(frames, 2)->utf8();
    size_t newline = lines.find('\n');
    ASSERT_NE(newline, std::string::npos);
    std::string first = lines.substr(0, newline);
    EXPECT_EQ(first.substr(0, 8), "#0  libc") << first;
    EXPECT_EQ(first.substr(first.size() - 8), " abort()") << first;
    // Unknown file and name: question marks, and no line feed after the last line.
    EXPECT_EQ(lines.substr(newline + 1), "#1  " + std::string("??") + std::string(33, ' ') +
                                             " 0x00000010 " + std::string("?\?\?()"));

    // Missing arguments fill nothing; no frames give no text.
    EXPECT_EQ(stackFrameDescriptorsFromAddresses(nullptr, frames, 2), 0u);
    EXPECT_EQ(stackFrameDescriptorsFromAddresses(addresses, nullptr, 2), 0u);
    EXPECT_EQ(text(stackTextFromFrameDescriptors(frames, 0)), "");
}

TEST(PBLStackTraceTest, RuntimeKnowsMethodCode) {
    Class cls = TraceProbe::staticClass();
    const Method* m = cls->instanceMethod(Selector::named("captureTrace"));
    ASSERT_TRUE(m);
    void (TraceProbe::*fn)() = &TraceProbe::captureTrace;
    EXPECT_EQ(m->code, objc_detail::codeOf(fn, typeid(TraceProbe)));
    EXPECT_NE(m->code, nullptr);
    EXPECT_EQ(cls->classMethod(Selector::named("sharedTrace"))->code,
              reinterpret_cast<const void*>(&TraceProbe::sharedTrace));
    // A virtual method's code is its class's own override, found through the virtual table.
    const Method* virtualMethod =
        VirtualTraceProbe::staticClass()->instanceMethod(Selector::named("description"));
    ASSERT_TRUE(virtualMethod);
    ASSERT_NE(virtualMethod->code, nullptr);
    Dl_info info{};
    ASSERT_TRUE(dladdr(virtualMethod->code, &info));
    ASSERT_TRUE(info.dli_sname);
    EXPECT_EQ(info.dli_saddr, virtualMethod->code);
    int status = 0;
    char* name = abi::__cxa_demangle(info.dli_sname, nullptr, nullptr, &status);
    ASSERT_TRUE(name);
    EXPECT_EQ(std::string(name), "VirtualTraceProbe::description()");
    std::free(name);
    bool listed = false;
    for (Class c : registeredClasses())
        listed = listed || c == cls;
    EXPECT_TRUE(listed);
}

}  // namespace
