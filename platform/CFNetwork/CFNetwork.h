// The CFNetwork stand-in: HTTP messages and read streams over POSIX sockets and OpenSSL, proxy
// settings, and the errors they report. See CFStream.h for how the platform's CF types map
// onto this system's Foundation objects.
//
// Name lookup runs on a resolver thread, never on the thread whose run loop drives a stream.
// For tests and stand-in sites the environment variable BAZAARNEST_HOSTS maps host names to
// local addresses: a comma list of "pattern=address:port" (or "pattern=address", keeping the
// URL's port), where "*" in a pattern matches any run of characters, e.g.
// "*.bazaarnest.test=127.0.0.1:8443". The Host field, TLS name and cookies keep the real name.
// A name under the reserved ".test" domain that no entry maps fails at once as a name that
// does not exist, without asking the resolver.
#pragma once

#include "CFNetwork/CFHTTPMessage.h"
#include "CFNetwork/CFHTTPStream.h"
#include "CFNetwork/CFNetworkErrors.h"
#include "CFNetwork/CFProxySupport.h"
#include "CFNetwork/CFSocketStream.h"
#include "CFNetwork/CFStream.h"
