// The ad service's hosts: the support script's and the ad pages'. The stand-in services server
// answers the same names.
#pragma once

#define PBL_STATIC_HOST "static.pebbleads.test"
#define PBL_AD_HOST "ads.pebbleads.test"
#define PBL_SCRIPT_PATH "pbma/sdk-core-v40.js"
