// The Meridian ad network's hosts; every outside name lies under the reserved ".test" domain.
// The stand-in services server answers the same names.
#pragma once

// Ads, the handshake and the click tracker.
inline constexpr const char* MRAdHost = "ads.meridian.test";
// Conversions ("/handleConversion").
inline constexpr const char* MRConversionHost = "cvt.meridian.test";
// The test log pixel ("productiton/common/pixel/image.php").
inline constexpr const char* MRDemoLogHost = "demo.meridian.test";
// The live log pixel ("/custom/common/pixel/image.php").
inline constexpr const char* MRLiveLogHost = "log.meridian.test";
// Outside parties the overlay browser sends away: the maps web host and the two store hosts.
inline constexpr const char* MRMapsHost = "maps.mapsite.test";
inline constexpr const char* MRStoreHost = "itunes.appstore.test";
inline constexpr const char* MRStoreHost2 = "phobos.appstore.test";
// The ad pictures and videos of JSON ads.
inline constexpr const char* MRMediaHost = "media.meridian.test";
