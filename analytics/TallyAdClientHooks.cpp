#include "analytics/TallyAdClientHooks.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"

namespace {
// Installed once, while the program's static objects are made, and only read afterwards.
TallyAdClientHooks& hooks() {
    static TallyAdClientHooks* h = new TallyAdClientHooks();
    return *h;
}
}  // namespace

void TallyAdClientHooks::install(TallyAdClientHooks installing) {
    hooks() = std::move(installing);
}

const TallyAdClientHooks& TallyAdClientHooks::installed() {
    return hooks();
}
