// The Ironvine names; every outside name lies under the reserved ".test" domain.
#pragma once

// The ad server; the engine's default server URL is http://{host}/AdBridgeServer.
inline constexpr const char* IVAdServerHost = "ads.ironvine.test";
// The vendor's web site, named in the application-ID probe (which sends nothing).
inline constexpr const char* IVVendorSiteHost = "www.ironvine.test";
// The video site whose pages the in-ad browser shows through its video template; the landing
// pages of the stand-in ad server link to it.
inline constexpr const char* IVVideoHost = "www.videohost.test";
