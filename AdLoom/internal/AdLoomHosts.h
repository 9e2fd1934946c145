// The mediation layer's servers, each named once: the configuration and house ads, the metrics
// pings, and the public host the banner probes before it rolls over to another network. All lie
// under the reserved ".test" domain; the host override maps them to the stand-in services.
#pragma once

// "/getInfo.php" (configurations) and "/custom.php" (house ads).
#define ADLOOM_MEDIATION_HOST "mediation.adloom.test"
// "/exmet.php" (impressions) and "/exclick.php" (clicks).
#define ADLOOM_METRICS_HOST "metrics.adloom.test"
// Only its reachability is judged; nothing is sent to it.
#define ADLOOM_PROBE_HOST "www.probe.test"
