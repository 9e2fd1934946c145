// The SystemConfiguration stand-in: network reachability.
#pragma once

#include "SystemConfiguration/SCNetworkReachability.h"
