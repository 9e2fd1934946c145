# The system's own libraries, one per subsystem folder of the layout.
find_package(ICU REQUIRED COMPONENTS uc i18n)  # the frameworks find it in their own scope
bn_library(MatchKit DIR Classes/MatchKit DEPS Foundation ICU::uc ICU::i18n)
bn_library(JSON DIR json DEPS Foundation ICU::uc)
# The JSON library both ad clients use.
bn_library(PJson DIR ads/pjson DEPS Foundation)
# What every ad client and the mediation share: the one full-screen hold.
bn_library(AdPlace DIR ads/place DEPS Foundation UIKit)
bn_library(Pebble DIR ads/pebble DEPS Foundation SystemConfiguration CommonCrypto URLLoading UIKit
           AudioToolbox MessageUI PJson AdPlace)
bn_library(NKHTTPRequest DIR external/nk-http-request/Classes
           DEPS Foundation CFNetwork MobileCoreServices UIKit SystemConfiguration CommonCrypto
                URLLoading
           PRIVATE_DEPS ZLIB::ZLIB)
find_package(SQLite3 REQUIRED)
bn_library(App DIR Classes EXCLUDE Classes/MatchKit
           DEPS Foundation UIKit CoreData MessageUI MatchKit JSON NKHTTPRequest DodizCore DodizStyle
                Analytics TallyAds AdLoom
           PRIVATE_DEPS SQLite::SQLite3)
# The UI framework: the core (with the style chain's bases, shapes and sheet), then the styles
# and widgets that draw through it.
bn_library(DodizCore DIR ui/core DEPS Foundation UIKit CoreGraphics CommonCrypto JSON URLLoading)
bn_library(DodizStyle DIR ui/style DEPS Foundation UIKit CoreGraphics DodizCore)
bn_library(DodizTable DIR ui/table DEPS Foundation UIKit CoreGraphics DodizCore DodizStyle)
# The usage analytics vendor: what its analytics and ad clients share (utilities, the wire
# format, hosts, debug key, the facade's settings), the analytics client, and the ad client, which
# records its impressions in the analytics sessions and installs its side of them into the
# analytics client through hooks (TallyAdClientHooks): whatever links the ad client takes the
# installing file, which the linker is told to keep.
bn_library(TallyBase DIR analytics/base DEPS Foundation UIKit CommonCrypto)
bn_library(Analytics DIR analytics EXCLUDE analytics/base
           DEPS Foundation UIKit CommonCrypto URLLoading TallyBase)
bn_library(TallyAds DIR ads/tally DEPS Foundation UIKit TallyBase Analytics AdPlace)
target_link_options(TallyAds INTERFACE "LINKER:--undefined=bn_tally_ad_client_linked")
# The Ironvine ad client: its store on SQLite, its zip packages through minizip.
find_package(PkgConfig REQUIRED)
pkg_check_modules(MINIZIP REQUIRED IMPORTED_TARGET GLOBAL minizip)
bn_library(Ironvine DIR ads/ironvine
           DEPS Foundation SystemConfiguration URLLoading UIKit CoreGraphics AVFoundation
                AudioToolbox
           PRIVATE_DEPS SQLite::SQLite3 PkgConfig::MINIZIP)
# The Meridian ad client: banners, the handshake, HTML ads and the overlay browser.
bn_library(Meridian DIR ads/meridian DEPS Foundation URLLoading UIKit CoreGraphics QuartzCore PJson
           AdPlace)
# Ad mediation: the banner, its configuration, and one adapter per ad network.
bn_library(AdLoom DIR AdLoom DEPS Foundation UIKit CoreGraphics URLLoading SystemConfiguration
           CoreLocation iAd JSON Ironvine Pebble Meridian AdPlace)
# Video ads play on the platform movie player.
target_link_libraries(Meridian PUBLIC MediaPlayer)
