// How reachability flags follow from a picture of the machine's network. Internal to
// SystemConfiguration; separate so that the rules can be checked against made-up machines.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <string>
#include <vector>

#include "SystemConfiguration/SCNetworkReachability.h"

namespace scnet {

struct Interface {
    std::string name;
    unsigned flags = 0;  // IFF_UP, IFF_RUNNING, IFF_LOOPBACK, IFF_BROADCAST
    int family = AF_UNSPEC;
    in_addr address4{};
    in_addr netmask4{};
    in6_addr address6{};
    in6_addr netmask6{};
};

struct Route4 {
    std::string interface;
    uint32_t destination = 0;  // network byte order, as the kernel lists them
    uint32_t mask = 0;
    uint32_t gateway = 0;
    unsigned flags = 0;  // RTF_UP, RTF_GATEWAY, RTF_REJECT
};

struct Route6 {
    std::string interface;
    in6_addr destination{};
    int prefixLength = 0;
    unsigned flags = 0;
};

struct NetworkSnapshot {
    std::vector<Interface> interfaces;
    std::vector<Route4> routes4;
    std::vector<Route6> routes6;
};

// What a target is: an address, or a name judged without looking it up.
struct Target {
    sockaddr_storage address{};  // ss_family AF_UNSPEC for a name
    std::string name;
};

// The machine as it is now (getifaddrs, /proc/net/route, /proc/net/ipv6_route).
NetworkSnapshot readNetworkSnapshot();
// The target as connections would reach it: a name the host override maps becomes the name of
// its mapped address; anything else stays as it is.
Target mappedTarget(const Target& target);
// The target's flags on that machine.
SCNetworkReachabilityFlags flagsForTarget(const Target& target, const NetworkSnapshot& machine);
// Whether an interface name is the mobile data network's.
bool isWWANInterface(const std::string& name);

}  // namespace scnet
