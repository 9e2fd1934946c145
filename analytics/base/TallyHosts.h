// The analytics vendor's hosts, all under the reserved .test domain.
#pragma once

namespace tally_hosts {
inline constexpr const char* kAnalyticsHost = "analytics.tally.test";
inline constexpr const char* kAdsHost = "ads.tally.test";
inline constexpr const char* kUploadURL = "http://analytics.tally.test/aap.do";
inline constexpr const char* kCanvasURL = "http://ads.tally.test/getCanvas.do";
inline constexpr const char* kLandscapeCanvasURL = "http://ads.tally.test/getCanvasLandscape.do";
inline constexpr const char* kAppStoreURL = "http://ads.tally.test/getIPhoneApp.do";
}  // namespace tally_hosts
