// The Ironvine ad server's name; every outside name lies under the reserved ".test" domain.
#pragma once

inline constexpr const char* IVAdServerHost = "ads.ironvine.test";
// The built-in server address when the host application gives none.
inline constexpr const char* IVDefaultServerURL = "http://ads.ironvine.test/AdBridgeServer";
