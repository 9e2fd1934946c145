// The Ironvine ad server's name; every outside name lies under the reserved ".test" domain.
#pragma once

inline constexpr const char* IVAdServerHost = "ads.ironvine.test";
