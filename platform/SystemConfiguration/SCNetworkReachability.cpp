#include "SystemConfiguration/SCNetworkReachability.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <net/route.h>
#include <poll.h>
#include <unistd.h>

#include <strings.h>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>

#include "CFNetwork/HostResolver.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "SystemConfiguration/SCNetworkReachabilityInternal.h"

namespace scnet {

bool isWWANInterface(const std::string& name) {
    for (const char* prefix : {"wwan", "rmnet", "ppp"})
        if (name.rfind(prefix, 0) == 0) return true;
    return false;
}

namespace {

bool isUp(unsigned flags) {
    return (flags & IFF_UP) && (flags & IFF_RUNNING);
}

bool interfaceIsUp(const NetworkSnapshot& m, const std::string& name) {
    for (const auto& i : m.interfaces)
        if (i.name == name && isUp(i.flags)) return true;
    return false;
}

bool loopbackIsUp(const NetworkSnapshot& m) {
    for (const auto& i : m.interfaces)
        if ((i.flags & IFF_LOOPBACK) && isUp(i.flags)) return true;
    return false;
}

SCNetworkReachabilityFlags wwanFlag(const std::string& interface) {
    return isWWANInterface(interface) ? kSCNetworkReachabilityFlagsIsWWAN : 0;
}

constexpr SCNetworkReachabilityFlags kLocal = kSCNetworkReachabilityFlagsReachable |
                                              kSCNetworkReachabilityFlagsIsLocalAddress |
                                              kSCNetworkReachabilityFlagsIsDirect;

SCNetworkReachabilityFlags flagsFor4(in_addr a, const NetworkSnapshot& m) {
    uint32_t host = ntohl(a.s_addr);
    if ((host >> 24) == 127) return loopbackIsUp(m) ? kLocal : 0;
    if ((host >> 16) == 0xA9FE) {  // 169.254/16: the local link
        for (const auto& i : m.interfaces)
            if (isUp(i.flags) && (i.flags & IFF_BROADCAST) && !(i.flags & IFF_LOOPBACK) &&
                !isWWANInterface(i.name))
                return kSCNetworkReachabilityFlagsReachable | kSCNetworkReachabilityFlagsIsDirect;
        return 0;
    }
    // The machine's own addresses, then the networks its interfaces sit on.
    for (const auto& i : m.interfaces)
        if (i.family == AF_INET && isUp(i.flags) && i.address4.s_addr == a.s_addr && host != 0)
            return kLocal;
    for (const auto& i : m.interfaces) {
        if (i.family != AF_INET || !isUp(i.flags) || (i.flags & IFF_LOOPBACK) || host == 0)
            continue;
        if ((i.address4.s_addr & i.netmask4.s_addr) == (a.s_addr & i.netmask4.s_addr))
            return kSCNetworkReachabilityFlagsReachable | kSCNetworkReachabilityFlagsIsDirect |
                   wwanFlag(i.name);
    }
    // The most specific route that is up (0.0.0.0, the internet at large, takes the default).
    const Route4* best = nullptr;
    for (const auto& r : m.routes4) {
        if (!(r.flags & RTF_UP) || (r.flags & RTF_REJECT) || !interfaceIsUp(m, r.interface))
            continue;
        if ((a.s_addr & r.mask) != (r.destination & r.mask)) continue;
        if (!best || ntohl(r.mask) > ntohl(best->mask)) best = &r;
    }
    if (!best) return 0;
    SCNetworkReachabilityFlags f = kSCNetworkReachabilityFlagsReachable | wwanFlag(best->interface);
    if (host != 0 && !(best->flags & RTF_GATEWAY)) f |= kSCNetworkReachabilityFlagsIsDirect;
    return f;
}

bool prefixMatches(const in6_addr& a, const in6_addr& b, int bits) {
    for (int i = 0; i < 16 && bits > 0; ++i, bits -= 8) {
        uint8_t mask = bits >= 8 ? 0xFF : uint8_t(0xFF << (8 - bits));
        if ((a.s6_addr[i] & mask) != (b.s6_addr[i] & mask)) return false;
    }
    return true;
}

SCNetworkReachabilityFlags flagsFor6(const in6_addr& a, const NetworkSnapshot& m) {
    if (IN6_IS_ADDR_V4MAPPED(&a)) {
        in_addr v4;
        std::memcpy(&v4, a.s6_addr + 12, 4);
        return flagsFor4(v4, m);
    }
    if (IN6_IS_ADDR_LOOPBACK(&a)) return loopbackIsUp(m) ? kLocal : 0;
    bool any = IN6_IS_ADDR_UNSPECIFIED(&a);
    if (!any) {
        for (const auto& i : m.interfaces)
            if (i.family == AF_INET6 && isUp(i.flags) &&
                std::memcmp(&i.address6, &a, sizeof a) == 0)
                return kLocal;
        for (const auto& i : m.interfaces) {
            if (i.family != AF_INET6 || !isUp(i.flags) || (i.flags & IFF_LOOPBACK)) continue;
            bool same = true;
            for (int b = 0; b < 16; ++b)
                if ((i.address6.s6_addr[b] & i.netmask6.s6_addr[b]) !=
                    (a.s6_addr[b] & i.netmask6.s6_addr[b]))
                    same = false;
            if (same)
                return kSCNetworkReachabilityFlagsReachable | kSCNetworkReachabilityFlagsIsDirect |
                       wwanFlag(i.name);
        }
    }
    const Route6* best = nullptr;
    for (const auto& r : m.routes6) {
        // The kernel lists unreachable destinations as rejecting routes on "lo".
        if (!(r.flags & RTF_UP) || (r.flags & RTF_REJECT) || r.interface == "lo" ||
            !interfaceIsUp(m, r.interface))
            continue;
        if (any ? r.prefixLength != 0 : !prefixMatches(a, r.destination, r.prefixLength)) continue;
        if (!best || r.prefixLength > best->prefixLength) best = &r;
    }
    if (!best) return 0;
    return kSCNetworkReachabilityFlagsReachable | wwanFlag(best->interface);
}

// Whether the name is `domain` itself or lies under it; no case, a final dot ignored.
bool isInDomain(const std::string& name, const char* domain) {
    std::string n = name;
    while (!n.empty() && n.back() == '.')
        n.pop_back();
    if (strcasecmp(n.c_str(), domain) == 0) return true;
    const std::string suffix = std::string(".") + domain;
    return n.size() > suffix.size() &&
           strcasecmp(n.c_str() + n.size() - suffix.size(), suffix.c_str()) == 0;
}

}  // namespace

SCNetworkReachabilityFlags flagsForTarget(const Target& target, const NetworkSnapshot& machine) {
    const sockaddr_storage& s = target.address;
    if (s.ss_family == AF_INET)
        return flagsFor4(reinterpret_cast<const sockaddr_in&>(s).sin_addr, machine);
    if (s.ss_family == AF_INET6)
        return flagsFor6(reinterpret_cast<const sockaddr_in6&>(s).sin6_addr, machine);
    // A name: numeric forms are addresses, loopback names the loopback, the rest the internet.
    std::string name = target.name;
    if (name.size() > 2 && name.front() == '[' && name.back() == ']')
        name = name.substr(1, name.size() - 2);
    in_addr a4{};
    in6_addr a6{};
    if (inet_pton(AF_INET, name.c_str(), &a4) == 1) return flagsFor4(a4, machine);
    if (inet_pton(AF_INET6, name.c_str(), &a6) == 1) return flagsFor6(a6, machine);
    if (isInDomain(name, "localhost")) {
        a4.s_addr = htonl(INADDR_LOOPBACK);
        return flagsFor4(a4, machine);
    }
    // Reserved for testing: no public name server answers it, so only the host override (see
    // mappedTarget) can make it reachable.
    if (isInDomain(name, "test")) return 0;
    a4.s_addr = htonl(INADDR_ANY);
    SCNetworkReachabilityFlags f = flagsFor4(a4, machine);
    if (!f) f = flagsFor6(in6addr_any, machine);
    return f;
}

Target mappedTarget(const Target& target) {
    if (target.address.ss_family != AF_UNSPEC || target.name.empty()) return target;
    std::string name = target.name;
    while (!name.empty() && name.back() == '.')
        name.pop_back();
    auto mapped = cfnet::hostOverrideFor(name);
    if (!mapped || mapped->address.empty()) return target;
    Target out;
    out.name = mapped->address;
    return out;
}

NetworkSnapshot readNetworkSnapshot() {
    NetworkSnapshot m;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) == 0) {
        for (ifaddrs* p = list; p; p = p->ifa_next) {
            Interface i;
            i.name = p->ifa_name ? p->ifa_name : "";
            i.flags = p->ifa_flags;
            if (p->ifa_addr) i.family = p->ifa_addr->sa_family;
            if (i.family == AF_INET) {
                i.address4 = reinterpret_cast<sockaddr_in*>(p->ifa_addr)->sin_addr;
                if (p->ifa_netmask)
                    i.netmask4 = reinterpret_cast<sockaddr_in*>(p->ifa_netmask)->sin_addr;
            } else if (i.family == AF_INET6) {
                i.address6 = reinterpret_cast<sockaddr_in6*>(p->ifa_addr)->sin6_addr;
                if (p->ifa_netmask)
                    i.netmask6 = reinterpret_cast<sockaddr_in6*>(p->ifa_netmask)->sin6_addr;
            }
            m.interfaces.push_back(std::move(i));
        }
        freeifaddrs(list);
    }
    std::ifstream routes("/proc/net/route");
    std::string line;
    std::getline(routes, line);  // the column titles
    while (std::getline(routes, line)) {
        std::istringstream in(line);
        Route4 r;
        std::string dest, gateway, flags, refs, use, metric, mask;
        if (!(in >> r.interface >> dest >> gateway >> flags >> refs >> use >> metric >> mask))
            continue;
        // The kernel prints the addresses as the hexadecimal of their in-memory words.
        r.destination = uint32_t(std::stoul(dest, nullptr, 16));
        r.gateway = uint32_t(std::stoul(gateway, nullptr, 16));
        r.flags = unsigned(std::stoul(flags, nullptr, 16));
        r.mask = uint32_t(std::stoul(mask, nullptr, 16));
        m.routes4.push_back(std::move(r));
    }
    std::ifstream routes6("/proc/net/ipv6_route");
    while (std::getline(routes6, line)) {
        std::istringstream in(line);
        std::string dest, prefix, src, srcPrefix, next, metric, refs, use, flags;
        Route6 r;
        if (!(in >> dest >> prefix >> src >> srcPrefix >> next >> metric >> refs >> use >> flags >>
              r.interface) ||
            dest.size() != 32)
            continue;
        for (int b = 0; b < 16; ++b)
            r.destination.s6_addr[b] =
                uint8_t(std::stoul(dest.substr(size_t(b) * 2, 2), nullptr, 16));
        r.prefixLength = int(std::stoul(prefix, nullptr, 16));
        r.flags = unsigned(std::stoul(flags, nullptr, 16));
        m.routes6.push_back(std::move(r));
    }
    return m;
}

}  // namespace scnet

// ---- targets -----------------------------------------------------------------------------------

namespace {

std::mutex gOverrideLock;
std::optional<SCNetworkReachabilityFlags> gOverride;

// Every scheduled target, for the test hook.
std::mutex gScheduledLock;
std::vector<Weak<SCNetworkReachability>> gScheduled;

SCNetworkReachabilityFlags currentFlags(const scnet::Target& target) {
    {
        std::lock_guard lock(gOverrideLock);
        if (gOverride) return *gOverride;
    }
    return scnet::flagsForTarget(scnet::mappedTarget(target), scnet::readNetworkSnapshot());
}

int openRouteWatch() {
    int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0) return -1;
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_IFADDR |
                      RTMGRP_IPV6_ROUTE;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

struct SCNetworkReachability::State {
    scnet::Target target;
    std::mutex lock;
    SCNetworkReachabilityCallBack callback = nullptr;
    SCNetworkReachabilityContext context;

    struct Schedule {
        Ref<NSRunLoop> loop;
        Ref<NSString> mode;
        Ref<RunLoopSource> posted;                // signalled by the test hook
        Ref<RunLoopDescriptorSource> routeWatch;  // routing messages, when the socket opened
        SCNetworkReachabilityFlags lastFlags = 0;
    };
    std::vector<std::shared_ptr<Schedule>> schedules;

    void dropContext() {
        if (context.release && context.info) context.release(context.info);
        context = SCNetworkReachabilityContext{};
        callback = nullptr;
    }
};

namespace {

// Calls the target's callback, if any, with its flags as they are now.
void deliver(SCNetworkReachability* target, SCNetworkReachability::State::Schedule* schedule,
             bool onlyOnChange) {
    auto* st = target->state;
    SCNetworkReachabilityFlags flags = currentFlags(st->target);
    SCNetworkReachabilityCallBack callback;
    void* info;
    {
        std::lock_guard lock(st->lock);
        if (onlyOnChange && flags == schedule->lastFlags) return;
        schedule->lastFlags = flags;
        callback = st->callback;
        info = st->context.info;
    }
    if (!callback) return;
    NSAutoreleasePool pool;
    callback(target, flags, info);
}

void removeSchedule(SCNetworkReachability::State::Schedule& s) {
    if (s.posted) s.posted->invalidate();
    if (s.routeWatch) s.routeWatch->invalidate();
    s.posted = nullptr;
    s.routeWatch = nullptr;
}

// Closes the watch socket when the last holder lets go: the source's handler holds it, so the
// descriptor stays open for as long as a loop may still poll it.
struct Descriptor {
    int fd;
    explicit Descriptor(int f) : fd(f) {}
    ~Descriptor() { ::close(fd); }
};

Ref<SCNetworkReachability> makeTarget(scnet::Target target) {
    auto r = alloc<SCNetworkReachability>();
    r->state = new SCNetworkReachability::State();
    r->state->target = std::move(target);
    return r;
}

bool copyAddress(const sockaddr* address, sockaddr_storage& out) {
    if (!address) return false;
    if (address->sa_family == AF_INET)
        std::memcpy(&out, address, sizeof(sockaddr_in));
    else if (address->sa_family == AF_INET6)
        std::memcpy(&out, address, sizeof(sockaddr_in6));
    else
        return false;
    return true;
}

void postToScheduled() {
    std::vector<Ref<SCNetworkReachability>> targets;
    {
        std::lock_guard lock(gScheduledLock);
        for (auto& w : gScheduled)
            if (auto t = w.lock()) targets.push_back(t);
    }
    for (auto& t : targets) {
        std::lock_guard lock(t->state->lock);
        for (auto& s : t->state->schedules)
            if (s->posted) s->posted->signal();
    }
}

}  // namespace

Ref<SCNetworkReachability> SCNetworkReachabilityCreateWithAddress(CFAllocatorRef,
                                                                  const struct sockaddr* address) {
    scnet::Target t;
    if (!copyAddress(address, t.address)) return nullptr;
    return makeTarget(std::move(t));
}

Ref<SCNetworkReachability> SCNetworkReachabilityCreateWithAddressPair(
    CFAllocatorRef allocator, const struct sockaddr* localAddress,
    const struct sockaddr* remoteAddress) {
    if (remoteAddress) return SCNetworkReachabilityCreateWithAddress(allocator, remoteAddress);
    return SCNetworkReachabilityCreateWithAddress(allocator, localAddress);
}

Ref<SCNetworkReachability> SCNetworkReachabilityCreateWithName(CFAllocatorRef,
                                                               const char* nodename) {
    if (!nodename || !*nodename) return nullptr;
    scnet::Target t;
    t.name = nodename;
    return makeTarget(std::move(t));
}

bool SCNetworkReachabilityGetFlags(SCNetworkReachabilityRef target,
                                   SCNetworkReachabilityFlags* flags) {
    if (!target || !target->state) {
        if (flags) *flags = 0;
        return false;
    }
    SCNetworkReachabilityFlags f = currentFlags(target->state->target);
    if (flags) *flags = f;
    return true;
}

bool SCNetworkReachabilitySetCallback(SCNetworkReachabilityRef target,
                                      SCNetworkReachabilityCallBack callout,
                                      SCNetworkReachabilityContext* context) {
    if (!target || !target->state) return false;
    auto* st = target->state;
    std::lock_guard lock(st->lock);
    st->dropContext();
    if (!callout) return true;
    st->callback = callout;
    if (context) {
        st->context = *context;
        if (st->context.retain && st->context.info)
            st->context.info = const_cast<void*>(st->context.retain(st->context.info));
    }
    return true;
}

bool SCNetworkReachabilityScheduleWithRunLoop(SCNetworkReachabilityRef target, NSRunLoop* runLoop,
                                              NSString* runLoopMode) {
    if (!target || !target->state || !runLoop || !runLoopMode) return false;
    auto* st = target->state;
    auto schedule = std::make_shared<SCNetworkReachability::State::Schedule>();
    {
        std::lock_guard lock(st->lock);
        for (auto& s : st->schedules)
            if (s->loop.get() == runLoop && s->mode->isEqualToString(runLoopMode)) return false;
        schedule->loop = runLoop;
        schedule->mode = runLoopMode;
        st->schedules.push_back(schedule);
    }
    schedule->lastFlags = currentFlags(st->target);

    // The handlers find the target again through a weak reference: the loop may run one after
    // the target has gone.
    Weak<SCNetworkReachability> weak(target);
    std::weak_ptr<SCNetworkReachability::State::Schedule> weakSchedule = schedule;
    schedule->posted = RunLoopSource::sourceWithHandler([weak, weakSchedule] {
        auto t = weak.lock();
        auto s = weakSchedule.lock();
        if (t && s) deliver(t, s.get(), false);
    });
    runLoop->addSource(schedule->posted, runLoopMode);
    // A name's first answer comes on a later pass, as once its lookup is done; an unscheduled
    // or freed target gets none.
    if (st->target.address.ss_family == AF_UNSPEC) {
        runLoop->performBlock(
            [weak, weakSchedule] {
                auto t = weak.lock();
                auto s = weakSchedule.lock();
                if (t && s) deliver(t, s.get(), false);
            },
            NSArray::arrayWithObject(runLoopMode));
    }

    if (int fd = openRouteWatch(); fd >= 0) {
        auto held = std::make_shared<Descriptor>(fd);
        schedule->routeWatch = RunLoopDescriptorSource::sourceWithDescriptor(
            fd, POLLIN, [weak, weakSchedule, held](short) {
                char buffer[8192];
                while (::recv(held->fd, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
                }
                auto t = weak.lock();
                auto s = weakSchedule.lock();
                if (t && s) deliver(t, s.get(), true);
            });
        runLoop->addSource(schedule->routeWatch, runLoopMode);
    }

    std::lock_guard lock(gScheduledLock);
    bool listed = false;
    for (auto& w : gScheduled)
        if (w.is(target)) listed = true;
    if (!listed) gScheduled.emplace_back(target);
    return true;
}

bool SCNetworkReachabilityUnscheduleFromRunLoop(SCNetworkReachabilityRef target, NSRunLoop* runLoop,
                                                NSString* runLoopMode) {
    if (!target || !target->state || !runLoop || !runLoopMode) return false;
    auto* st = target->state;
    std::shared_ptr<SCNetworkReachability::State::Schedule> found;
    bool empty;
    {
        std::lock_guard lock(st->lock);
        auto it = std::find_if(st->schedules.begin(), st->schedules.end(), [&](auto& s) {
            return s->loop.get() == runLoop && s->mode->isEqualToString(runLoopMode);
        });
        if (it == st->schedules.end()) return false;
        found = *it;
        st->schedules.erase(it);
        empty = st->schedules.empty();
    }
    removeSchedule(*found);
    if (empty) {
        std::lock_guard lock(gScheduledLock);
        std::erase_if(gScheduled, [&](auto& w) { return w.is(target) || !w.alive(); });
    }
    return true;
}

void SCNetworkReachabilitySetFlagsForTesting(SCNetworkReachabilityFlags flags) {
    {
        std::lock_guard lock(gOverrideLock);
        gOverride = flags;
    }
    postToScheduled();
}

void SCNetworkReachabilityClearFlagsForTesting() {
    {
        std::lock_guard lock(gOverrideLock);
        gOverride.reset();
    }
    postToScheduled();
}

bool SCNetworkReachabilityGetFlagsForTesting(SCNetworkReachabilityFlags* flags) {
    std::lock_guard lock(gOverrideLock);
    if (!gOverride) return false;
    if (flags) *flags = *gOverride;
    return true;
}

Ref<NSString> SCNetworkReachability::description() {
    if (!state) return NSObject::description();
    std::string what = state->target.name;
    if (state->target.address.ss_family != AF_UNSPEC) {
        char text[INET6_ADDRSTRLEN] = "";
        const auto& s = state->target.address;
        if (s.ss_family == AF_INET)
            inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(s).sin_addr, text,
                      sizeof text);
        else
            inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(s).sin6_addr, text,
                      sizeof text);
        what = text;
    }
    return NSString::fromUTF8("<SCNetworkReachability " + what + ">");
}

void SCNetworkReachability::dealloc() {
    if (state) {
        std::vector<std::shared_ptr<State::Schedule>> schedules;
        {
            std::lock_guard lock(state->lock);
            schedules.swap(state->schedules);
            state->dropContext();
        }
        for (auto& s : schedules)
            removeSchedule(*s);
        {
            std::lock_guard lock(gScheduledLock);
            std::erase_if(gScheduled, [](auto& w) { return !w.alive(); });
        }
        delete state;
        state = nullptr;
    }
    NSObject::dealloc();
}
