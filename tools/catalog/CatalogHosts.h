// The outside names the catalog talks to besides the site's; the stand-in services server
// answers them from its catalog module.
#pragma once

namespace catalog_hosts {

// The paged items behind the catalog's table screens, and their thumbnails.
inline constexpr const char* kCatalogServicesHost = "catalog.services.test";

}  // namespace catalog_hosts
