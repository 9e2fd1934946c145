// Reachability: the rules that turn a machine's interfaces and routes into flags (on made-up
// machines), the real machine's loopback, names the host override maps, and callbacks on a run
// loop: changes, and a host name's first answer.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <net/route.h>

#include <atomic>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "SystemConfiguration/SCNetworkReachabilityInternal.h"
#include "SystemConfiguration/SystemConfiguration.h"
#include "support/RunLoopTesting.h"

using namespace scnet;

namespace {

constexpr SCNetworkReachabilityFlags kReachable = kSCNetworkReachabilityFlagsReachable;
constexpr SCNetworkReachabilityFlags kDirect = kSCNetworkReachabilityFlagsIsDirect;
constexpr SCNetworkReachabilityFlags kLocal = kSCNetworkReachabilityFlagsIsLocalAddress;
constexpr SCNetworkReachabilityFlags kWWAN = kSCNetworkReachabilityFlagsIsWWAN;
constexpr unsigned kUp = IFF_UP | IFF_RUNNING;

in_addr v4(const char* text) {
    in_addr a{};
    inet_pton(AF_INET, text, &a);
    return a;
}

Interface iface4(const char* name, unsigned flags, const char* address, const char* mask) {
    Interface i;
    i.name = name;
    i.flags = flags;
    i.family = AF_INET;
    i.address4 = v4(address);
    i.netmask4 = v4(mask);
    return i;
}

NetworkSnapshot loopbackOnly() {
    NetworkSnapshot m;
    m.interfaces.push_back(iface4("lo", kUp | IFF_LOOPBACK, "127.0.0.1", "255.0.0.0"));
    return m;
}

// A machine on 192.0.2.0/24 through `name`, with a default route via 192.0.2.1.
NetworkSnapshot connected(const char* name = "eth0", unsigned extra = IFF_BROADCAST) {
    NetworkSnapshot m = loopbackOnly();
    m.interfaces.push_back(iface4(name, kUp | extra, "192.0.2.2", "255.255.255.0"));
    m.routes4.push_back({name, 0, 0, v4("192.0.2.1").s_addr, RTF_UP | RTF_GATEWAY});
    m.routes4.push_back({name, v4("192.0.2.0").s_addr, v4("255.255.255.0").s_addr, 0, RTF_UP});
    return m;
}

Target name(const char* n) {
    Target t;
    t.name = n;
    return t;
}

Target address(const char* text) {
    Target t;
    auto& sin = reinterpret_cast<sockaddr_in&>(t.address);
    sin.sin_family = AF_INET;
    sin.sin_addr = v4(text);
    return t;
}

}  // namespace

TEST(ReachabilityRules, LoopbackOnlyMachineReachesOnlyItself) {
    NetworkSnapshot m = loopbackOnly();
    EXPECT_EQ(flagsForTarget(name("localhost"), m), kReachable | kLocal | kDirect);
    EXPECT_EQ(flagsForTarget(name("api.LOCALHOST."), m), kReachable | kLocal | kDirect);
    EXPECT_EQ(flagsForTarget(address("127.0.0.1"), m), kReachable | kLocal | kDirect);
    EXPECT_EQ(flagsForTarget(name("127.0.0.1"), m), kReachable | kLocal | kDirect);
    EXPECT_EQ(flagsForTarget(name("www.bazaarnest.test"), m), 0u);
    EXPECT_EQ(flagsForTarget(address("0.0.0.0"), m), 0u);
    EXPECT_EQ(flagsForTarget(address("169.254.0.0"), m), 0u);

    m.interfaces[0].flags = IFF_LOOPBACK;  // down
    EXPECT_EQ(flagsForTarget(name("localhost"), m), 0u);
}

TEST(ReachabilityRules, DefaultRouteMakesTheInternetReachable) {
    NetworkSnapshot m = connected();
    EXPECT_EQ(flagsForTarget(name("bazaarnest"), m), kReachable);
    EXPECT_EQ(flagsForTarget(address("0.0.0.0"), m), kReachable);
    EXPECT_EQ(flagsForTarget(address("198.51.100.7"), m), kReachable);
    // The local network and the machine's own address.
    EXPECT_EQ(flagsForTarget(address("192.0.2.77"), m), kReachable | kDirect);
    EXPECT_EQ(flagsForTarget(address("192.0.2.2"), m), kReachable | kLocal | kDirect);
    // The local link, as the local Wi-Fi target asks for it.
    EXPECT_EQ(flagsForTarget(address("169.254.0.0"), m), kReachable | kDirect);

    // A route whose interface is down counts for nothing.
    m.interfaces[1].flags = IFF_BROADCAST;
    EXPECT_EQ(flagsForTarget(name("bazaarnest"), m), 0u);
    EXPECT_EQ(flagsForTarget(address("169.254.0.0"), m), 0u);
}

TEST(ReachabilityRules, MobileDataInterfaceIsWWANAndNoLocalLink) {
    NetworkSnapshot m = connected("rmnet0", IFF_POINTOPOINT);
    EXPECT_EQ(flagsForTarget(name("bazaarnest"), m), kReachable | kWWAN);
    EXPECT_EQ(flagsForTarget(address("169.254.0.0"), m), 0u);
    EXPECT_TRUE(isWWANInterface("wwan1"));
    EXPECT_TRUE(isWWANInterface("ppp0"));
    EXPECT_FALSE(isWWANInterface("wlan0"));
}

TEST(ReachabilityRules, ReservedTestNamesAreNotReachableEvenWithADefaultRoute) {
    // Judged by the name alone: a made-up machine has nobody to ask.
    NetworkSnapshot m = connected();
    EXPECT_EQ(flagsForTarget(name("www.bazaarnest.test"), m), 0u);
    EXPECT_EQ(flagsForTarget(name("Images.BAZAARNEST.Test."), m), 0u);
    EXPECT_EQ(flagsForTarget(name("test"), m), 0u);
    // Only the domain itself: a name that merely ends in the letters is the internet's.
    EXPECT_EQ(flagsForTarget(name("latest"), m), kReachable);
    EXPECT_EQ(flagsForTarget(name("localhost"), m), kReachable | kLocal | kDirect);
}

TEST(ReachabilityRules, RejectingAndMoreSpecificRoutes) {
    NetworkSnapshot m = connected();
    m.interfaces.push_back(iface4("tun0", kUp, "10.8.0.2", "255.255.255.255"));
    m.routes4.push_back({"tun0", v4("10.0.0.0").s_addr, v4("255.0.0.0").s_addr,
                         v4("10.8.0.1").s_addr, RTF_UP | RTF_GATEWAY});
    m.routes4.push_back(
        {"eth0", v4("203.0.113.0").s_addr, v4("255.255.255.0").s_addr, 0, RTF_UP | RTF_REJECT});
    EXPECT_EQ(flagsForTarget(address("10.1.2.3"), m), kReachable);
    // The rejecting route is skipped; the default one still carries the address.
    EXPECT_EQ(flagsForTarget(address("203.0.113.9"), m), kReachable);
    m.routes4.erase(m.routes4.begin());  // no default route any more
    EXPECT_EQ(flagsForTarget(address("203.0.113.9"), m), 0u);
    EXPECT_EQ(flagsForTarget(address("10.1.2.3"), m), kReachable);
}

TEST(ReachabilityRules, IPv6Targets) {
    NetworkSnapshot m = loopbackOnly();
    Interface lo6;
    lo6.name = "lo";
    lo6.flags = kUp | IFF_LOOPBACK;
    lo6.family = AF_INET6;
    lo6.address6 = in6addr_loopback;
    m.interfaces.push_back(lo6);
    Target t;
    auto& sin6 = reinterpret_cast<sockaddr_in6&>(t.address);
    sin6.sin6_family = AF_INET6;
    sin6.sin6_addr = in6addr_loopback;
    EXPECT_EQ(flagsForTarget(t, m), kReachable | kLocal | kDirect);
    EXPECT_EQ(flagsForTarget(name("[::1]"), m), kReachable | kLocal | kDirect);
    inet_pton(AF_INET6, "2001:db8::1", &sin6.sin6_addr);
    EXPECT_EQ(flagsForTarget(t, m), 0u);
    Route6 def;
    def.interface = "lo";  // the kernel's unreachable entries sit on lo
    def.flags = RTF_UP | RTF_REJECT;
    m.routes6.push_back(def);
    EXPECT_EQ(flagsForTarget(t, m), 0u);
}

TEST(Reachability, ThisMachineReachesItsLoopback) {
    auto target = SCNetworkReachabilityCreateWithName(nullptr, "localhost");
    ASSERT_TRUE(target);
    SCNetworkReachabilityFlags flags = 0;
    EXPECT_TRUE(SCNetworkReachabilityGetFlags(target, &flags));
    EXPECT_EQ(flags & (kReachable | kDirect), kReachable | kDirect);

    sockaddr_in any{};
    any.sin_family = AF_INET;
    auto internet =
        SCNetworkReachabilityCreateWithAddress(nullptr, reinterpret_cast<sockaddr*>(&any));
    ASSERT_TRUE(internet);
    // Whatever this machine has, the internet at large is never "local".
    EXPECT_TRUE(SCNetworkReachabilityGetFlags(internet, &flags));
    EXPECT_EQ(flags & kLocal, 0u);
}

TEST(Reachability, BadTargetsAreRefused) {
    EXPECT_FALSE(SCNetworkReachabilityCreateWithName(nullptr, nullptr));
    EXPECT_FALSE(SCNetworkReachabilityCreateWithName(nullptr, ""));
    EXPECT_FALSE(SCNetworkReachabilityCreateWithAddress(nullptr, nullptr));
    sockaddr unix_{};
    unix_.sa_family = AF_UNIX;
    EXPECT_FALSE(SCNetworkReachabilityCreateWithAddress(nullptr, &unix_));
    SCNetworkReachabilityFlags flags = 99;
    EXPECT_FALSE(SCNetworkReachabilityGetFlags(nullptr, &flags));
    EXPECT_EQ(flags, 0u);
}

// ---- the host override ----------------------------------------------------------------------

namespace {

// Sets BAZAARNEST_HOSTS for a test and puts back what was there.
class HostsOverride {
public:
    explicit HostsOverride(const char* value) {
        if (const char* old = std::getenv("BAZAARNEST_HOSTS")) previous_ = old;
        setenv("BAZAARNEST_HOSTS", value, 1);
    }
    ~HostsOverride() {
        if (previous_)
            setenv("BAZAARNEST_HOSTS", previous_->c_str(), 1);
        else
            unsetenv("BAZAARNEST_HOSTS");
    }

private:
    std::optional<std::string> previous_;
};

SCNetworkReachabilityFlags flagsOfName(const char* host) {
    auto target = SCNetworkReachabilityCreateWithName(nullptr, host);
    SCNetworkReachabilityFlags flags = 0xFFFFFFFF;
    EXPECT_TRUE(SCNetworkReachabilityGetFlags(target, &flags)) << host;
    return flags;
}

}  // namespace

TEST(ReachabilityOverride, MappedNamesBecomeTheirAddresses) {
    HostsOverride hosts(
        "*.bazaarnest.test=127.0.0.1:8443, api.test=[::1]:9000, "
        "cdn.test=localhost");
    EXPECT_EQ(mappedTarget(name("www.bazaarnest.test")).name, "127.0.0.1");
    EXPECT_EQ(mappedTarget(name("WWW.Bazaarnest.test.")).name, "127.0.0.1");
    EXPECT_EQ(mappedTarget(name("api.test")).name, "::1");
    EXPECT_EQ(mappedTarget(name("cdn.test")).name, "localhost");
    // Unmapped names and addresses stay as they are.
    EXPECT_EQ(mappedTarget(name("other.test")).name, "other.test");
    Target a = address("127.0.0.1");
    Target same = mappedTarget(a);
    EXPECT_EQ(same.address.ss_family, AF_INET);
    EXPECT_TRUE(same.name.empty());
}

TEST(ReachabilityOverride, AMappedNameIsReachableThroughLoopbackAndAnUnmappedOneIsNot) {
    HostsOverride hosts("*.bazaarnest.test=127.0.0.1:8443,cdn.test=localhost");
    // This machine's loopback, as for "localhost" itself.
    SCNetworkReachabilityFlags loopback = flagsOfName("localhost");
    ASSERT_EQ(loopback & (kReachable | kDirect), kReachable | kDirect);
    EXPECT_EQ(flagsOfName("www.bazaarnest.test"), loopback);
    EXPECT_EQ(flagsOfName("accounts.bazaarnest.test"), loopback);
    EXPECT_EQ(flagsOfName("cdn.test"), loopback);
    // No public name server answers ".test": without a mapping it is judged at once, without
    // asking anyone, whatever routes the machine has.
    EXPECT_EQ(flagsOfName("elsewhere.test"), 0u);
    EXPECT_EQ(flagsOfName("bazaarnest.test"), 0u);  // "*." needs a label before it
}

// ---- callbacks ---------------------------------------------------------------------------------

namespace {

struct Heard {
    std::vector<SCNetworkReachabilityFlags> flags;
    std::vector<SCNetworkReachabilityRef> targets;
    int retains = 0, releases = 0;
    std::thread::id thread;
};

void callback(SCNetworkReachabilityRef target, SCNetworkReachabilityFlags flags, void* info) {
    auto* heard = static_cast<Heard*>(info);
    heard->flags.push_back(flags);
    heard->targets.push_back(target);
    heard->thread = std::this_thread::get_id();
}

const void* retainHeard(const void* info) {
    ++static_cast<Heard*>(const_cast<void*>(info))->retains;
    return info;
}
void releaseHeard(const void* info) {
    ++static_cast<Heard*>(const_cast<void*>(info))->releases;
}

class ReachabilityCallbacks : public ::testing::Test {
protected:
    void TearDown() override { SCNetworkReachabilityClearFlagsForTesting(); }
};

}  // namespace

TEST_F(ReachabilityCallbacks, ChangesReachScheduledTargetsOnTheirLoop) {
    Heard heard;
    SCNetworkReachabilityContext context{0, &heard, retainHeard, releaseHeard, nullptr};
    {
        auto target = SCNetworkReachabilityCreateWithName(nullptr, "www.bazaarnest.test");
        ASSERT_TRUE(SCNetworkReachabilitySetCallback(target, callback, &context));
        EXPECT_EQ(heard.retains, 1);
        Ref<NSRunLoop> loop = NSRunLoop::currentRunLoop();
        ASSERT_TRUE(SCNetworkReachabilityScheduleWithRunLoop(target, loop, NSDefaultRunLoopMode));
        EXPECT_FALSE(SCNetworkReachabilityScheduleWithRunLoop(target, loop, NSDefaultRunLoopMode));
        ASSERT_TRUE(runLoopUntil([&] { return heard.flags.size() == 1; }));  // the first answer

        SCNetworkReachabilitySetFlagsForTesting(kReachable | kWWAN);
        ASSERT_TRUE(runLoopUntil([&] { return heard.flags.size() == 2; }));
        EXPECT_EQ(heard.flags[1], kReachable | kWWAN);
        EXPECT_EQ(heard.targets[1], target.get());
        EXPECT_EQ(heard.thread, std::this_thread::get_id());
        SCNetworkReachabilityFlags now = 0;
        SCNetworkReachabilityGetFlags(target, &now);
        EXPECT_EQ(now, kReachable | kWWAN);

        SCNetworkReachabilitySetFlagsForTesting(0);
        ASSERT_TRUE(runLoopUntil([&] { return heard.flags.size() == 3; }));
        EXPECT_EQ(heard.flags[2], 0u);

        // Unscheduled, it hears nothing more.
        EXPECT_TRUE(SCNetworkReachabilityUnscheduleFromRunLoop(target, loop, NSDefaultRunLoopMode));
        EXPECT_FALSE(
            SCNetworkReachabilityUnscheduleFromRunLoop(target, loop, NSDefaultRunLoopMode));
        SCNetworkReachabilitySetFlagsForTesting(kReachable);
        runLoopUntil([] { return false; }, 0.1);
        EXPECT_EQ(heard.flags.size(), 3u);
        EXPECT_EQ(heard.releases, 0);
    }
    // The target's end lets go of the context.
    EXPECT_EQ(heard.releases, 1);
}

TEST_F(ReachabilityCallbacks, ATargetFreedWhileScheduledIsNeverCalled) {
    Heard heard;
    SCNetworkReachabilityContext context{0, &heard, nullptr, nullptr, nullptr};
    Ref<NSRunLoop> loop = NSRunLoop::currentRunLoop();
    {
        auto target = SCNetworkReachabilityCreateWithName(nullptr, "localhost");
        SCNetworkReachabilitySetCallback(target, callback, &context);
        SCNetworkReachabilityScheduleWithRunLoop(target, loop, NSDefaultRunLoopMode);
        SCNetworkReachabilitySetFlagsForTesting(kReachable);  // posted, not yet served
    }
    runLoopUntil([] { return false; }, 0.1);
    EXPECT_TRUE(heard.flags.empty());
}

TEST_F(ReachabilityCallbacks, ClearingTheHookPostsTheMachineFlags) {
    Heard heard;
    SCNetworkReachabilityContext context{0, &heard, nullptr, nullptr, nullptr};
    auto target = SCNetworkReachabilityCreateWithName(nullptr, "localhost");
    SCNetworkReachabilitySetCallback(target, callback, &context);
    Ref<NSRunLoop> loop = NSRunLoop::currentRunLoop();
    SCNetworkReachabilityScheduleWithRunLoop(target, loop, NSDefaultRunLoopMode);
    ASSERT_TRUE(runLoopUntil([&] { return heard.flags.size() == 1; }));  // the first answer
    SCNetworkReachabilitySetFlagsForTesting(0);
    ASSERT_TRUE(runLoopUntil([&] { return heard.flags.size() == 2; }));
    SCNetworkReachabilityClearFlagsForTesting();
    ASSERT_TRUE(runLoopUntil([&] { return heard.flags.size() == 3; }));
    EXPECT_EQ(heard.flags[2] & (kReachable | kDirect), kReachable | kDirect);
    SCNetworkReachabilityUnscheduleFromRunLoop(target, loop, NSDefaultRunLoopMode);
}

TEST_F(ReachabilityCallbacks, AHostNameAnswersOnceOnTheNextPassAfterItIsScheduled) {
    ManualClockScope clock;
    HostsOverride hosts("*.bazaarnest.test=127.0.0.1");
    Heard mapped, unmapped;
    SCNetworkReachabilityContext mappedContext{0, &mapped, nullptr, nullptr, nullptr};
    SCNetworkReachabilityContext unmappedContext{0, &unmapped, nullptr, nullptr, nullptr};
    auto site = SCNetworkReachabilityCreateWithName(nullptr, "www.bazaarnest.test");
    auto nowhere = SCNetworkReachabilityCreateWithName(nullptr, "nowhere.test");
    SCNetworkReachabilitySetCallback(site, callback, &mappedContext);
    SCNetworkReachabilitySetCallback(nowhere, callback, &unmappedContext);
    Ref<NSRunLoop> loop = NSRunLoop::currentRunLoop();
    ASSERT_TRUE(SCNetworkReachabilityScheduleWithRunLoop(site, loop, NSDefaultRunLoopMode));
    ASSERT_TRUE(SCNetworkReachabilityScheduleWithRunLoop(nowhere, loop, NSDefaultRunLoopMode));
    // Not from inside the scheduling call.
    EXPECT_TRUE(mapped.flags.empty());
    EXPECT_TRUE(unmapped.flags.empty());

    advanceRunLoop(0);
    ASSERT_EQ(mapped.flags.size(), 1u);
    EXPECT_EQ(mapped.flags[0] & (kReachable | kLocal | kDirect), kReachable | kLocal | kDirect);
    EXPECT_EQ(mapped.targets[0], site.get());
    ASSERT_EQ(unmapped.flags.size(), 1u);
    EXPECT_EQ(unmapped.flags[0], 0u);

    // Once: later passes and time bring nothing while nothing changes.
    advanceRunLoop(30);
    EXPECT_EQ(mapped.flags.size(), 1u);
    EXPECT_EQ(unmapped.flags.size(), 1u);
    SCNetworkReachabilityUnscheduleFromRunLoop(site, loop, NSDefaultRunLoopMode);
    SCNetworkReachabilityUnscheduleFromRunLoop(nowhere, loop, NSDefaultRunLoopMode);
}

TEST_F(ReachabilityCallbacks, TheFirstAnswerKeepsToItsModeAndNeedsTheSchedule) {
    ManualClockScope clock;
    Ref<NSRunLoop> loop = NSRunLoop::currentRunLoop();
    Heard heard;
    SCNetworkReachabilityContext context{0, &heard, nullptr, nullptr, nullptr};

    // Scheduled for another mode: the default mode's passes do not answer it.
    auto target = SCNetworkReachabilityCreateWithName(nullptr, "localhost");
    SCNetworkReachabilitySetCallback(target, callback, &context);
    NSString* probeMode = NS("ReachabilityProbeMode");
    ASSERT_TRUE(SCNetworkReachabilityScheduleWithRunLoop(target, loop, probeMode));
    advanceRunLoop(0);
    EXPECT_TRUE(heard.flags.empty());
    advanceRunLoop(0, probeMode);
    ASSERT_EQ(heard.flags.size(), 1u);
    EXPECT_EQ(heard.flags[0] & kReachable, kReachable);
    SCNetworkReachabilityUnscheduleFromRunLoop(target, loop, probeMode);

    // Unscheduled before the pass: no answer.
    auto dropped = SCNetworkReachabilityCreateWithName(nullptr, "localhost");
    SCNetworkReachabilitySetCallback(dropped, callback, &context);
    ASSERT_TRUE(SCNetworkReachabilityScheduleWithRunLoop(dropped, loop, NSDefaultRunLoopMode));
    SCNetworkReachabilityUnscheduleFromRunLoop(dropped, loop, NSDefaultRunLoopMode);
    advanceRunLoop(0);
    EXPECT_EQ(heard.flags.size(), 1u);

    // An address has nothing to look up and answers only on a change.
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr = v4("127.0.0.1");
    auto byAddress =
        SCNetworkReachabilityCreateWithAddress(nullptr, reinterpret_cast<sockaddr*>(&local));
    SCNetworkReachabilitySetCallback(byAddress, callback, &context);
    ASSERT_TRUE(SCNetworkReachabilityScheduleWithRunLoop(byAddress, loop, NSDefaultRunLoopMode));
    advanceRunLoop(0);
    EXPECT_EQ(heard.flags.size(), 1u);
    SCNetworkReachabilityUnscheduleFromRunLoop(byAddress, loop, NSDefaultRunLoopMode);
}
