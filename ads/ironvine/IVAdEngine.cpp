#include "ads/ironvine/IVAdEngine.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSCharacterSet.h"
#include "Foundation/NSException.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "UIKit/UIDevice.h"
#include "UIKit/UIScreen.h"
#include "URLLoading/NSURLConnection.h"
#include "ads/ironvine/IVAdManager.h"
#include "ads/ironvine/IVClientDriver.h"
#include "ads/ironvine/IVClientManager.h"
#include "ads/ironvine/IVController.h"
#include "ads/ironvine/IVHosts.h"

const double IVMinimumRefreshIntervalSeconds = 5.0;

CGSize IVSizeForAdSize(IVAdSize size) {
    switch (size) {
        case IVAdSizeBanner:
            return CGSizeMake(320, 48);
        case IVAdSizeFullScreen:
            return UIScreen::mainScreen()->bounds().size;
        case IVAdSizeMediumRectangle:
            return CGSizeMake(300, 250);
        case IVAdSizeLeaderboard:
            return CGSizeMake(728, 90);
        case IVAdSizeSkyscraper:
            return CGSizeMake(160, 600);
        default:
            NSException::raise(NSInvalidArgumentException,
                               NS("Attempt to use unrecognized IVAdSize"));
    }
}

// ---- slot descriptions and slots ------------------------------------------------------------

Ref<IVAdSlotDescription> IVAdSlotDescription::descriptionWithSize(IVAdSize size, NSString* name) {
    auto d = alloc<IVAdSlotDescription>();
    if (!d->initWithSize(size, name)) return nullptr;
    return d;
}

bool IVAdSlotDescription::initWithSize(IVAdSize size, NSString* name) {
    if (!NSObject::init()) return false;
    auto alphanumeric = NSCharacterSet::alphanumericCharacterSet();
    NSUInteger n = name ? name->length() : 0;
    for (NSUInteger i = 0; i < n; ++i) {
        if (!alphanumeric->characterIsMember(name->characterAtIndex(i)))
            NSException::raise(NSInvalidArgumentException,
                               NS("Unable to create IVAdSlotDescription because name contains at "
                                  "least one non-alphanumeric character"));
    }
    if (size == IVAdSizeFullScreen &&
        UIDevice::currentDevice()->userInterfaceIdiom() == UIUserInterfaceIdiomPad)
        NSException::raise(
            NSInvalidArgumentException,
            NS("Unable to create iPhone Full Screen IVAdSlotDescription on an iPad"));
    size_ = size;
    name_ = name ? name->copy() : NS("")->copy();
    return true;
}

NSUInteger IVAdSlotDescription::hash() {
    uint32_t h = static_cast<uint32_t>(name_->hash());
    h = (h + 527u) * 31u + static_cast<uint32_t>(size_);
    return h;
}

bool IVAdSlotDescription::isEqual(NSObject* other) {
    auto d = as<IVAdSlotDescription>(other);
    return d && d->name_->isEqual(name_.get()) && d->size_ == size_;
}

Ref<IVAdSlot> IVAdSlot::slotWithDescription(IVAdSlotDescription* description) {
    auto s = alloc<IVAdSlot>();
    if (!s->initWithDescription(description)) return nullptr;
    return s;
}

bool IVAdSlot::initWithDescription(IVAdSlotDescription* description) {
    if (!NSObject::init()) return false;
    description_ = description;
    return true;
}

Ref<NSString> IVAdSlot::description() {
    return NSString::stringWithFormat(NS("<IVAdSlot %@ size %d dlTime %qi next %qi>"),
                                      description_->name(), description_->size(), dlTime(),
                                      nextAdDlTime());
}

// ---- the front ------------------------------------------------------------------------------

namespace {
Ref<IVController> startedController() {
    auto controller = IVController::sharedController();
    if (!controller->hasStartedUp())
        NSException::raise(
            NSInternalInconsistencyException,
            NS("IVAdEngine must be started up before invoking any nontrivial methods."));
    return controller;
}

// The id becomes the whole query of a page on the vendor's site; nothing is sent.
bool applicationIDPasses(NSString* appID) {
    if (!appID) return false;
    auto url = NSURL::URLWithString(
        NSString::stringWithFormat(NS("http://%s/test.htm?%@"), IVVendorSiteHost, appID).get());
    if (!url) return false;
    return NSURLConnection::canHandleRequest(NSURLRequest::requestWithURL(url.get()).get());
}
}  // namespace

void IVAdEngine::executeCommand(NSString* command) {
    auto controller = startedController();
    if (controller->disabled()) return;
    try {
        controller->clientManager()->clientDriver()->executeCommand(command);
    } catch (ExceptionRaised& e) {
        NSLog(NS("IVAdEngine: IVExecute failed with exception %@ - %@"), e.exception->name(),
              e.exception->reason());
    }
}

void IVAdEngine::setDownloadDelayInterval(NSNumber* seconds) {
    startedController()->setDriverPollingIntervalOverride(seconds);
}

void IVAdEngine::startupWithAppID(NSString* appID, NSString* serverURL, NSArray* descriptions) {
    auto controller = IVController::sharedController();
    if (controller->hasStartedUp())
        NSException::raise(NSInternalInconsistencyException,
                           NS("Attempt to start up IVAdEngine after it has already been started."));
    if (!applicationIDPasses(appID))
        NSException::raise(NSInvalidArgumentException,
                           NS("Invalid appID provided to [IVAdEngine startupWithAppID:]"));
    controller->startupWithAppID(appID, serverURL, descriptions);
}

void IVAdEngine::startupWithAppID(NSString* appID, NSArray* descriptions) {
    if (!descriptions || descriptions->count() == 0)
        NSException::raise(NSInvalidArgumentException,
                           NS("IVAdEngine must be started with a positive number of slots."));
    startupWithAppID(appID, nullptr, descriptions);
}

Ref<NSString> IVAdEngine::version() {
    return NSString::stringWithFormat(NS("IVSDK %@ universal build"), IVController::ivSDKVersion());
}

bool IVAdEngine::isNextAdDownloadedForSlotNamed(NSString* name) {
    return startedController()->isNextAdDownloadedForSlotNamed(name);
}

bool IVAdEngine::isAdReadyForSlotNamed(NSString* name) {
    return startedController()->isAdReadyForSlotNamed(name);
}

void IVAdEngine::setFullScreenDelegate(NSObject* delegate, NSString* name) {
    startedController()->setFullScreenDelegate(delegate, name);
}

bool IVAdEngine::displayFullScreenAdForSlotNamed(NSString* name) {
    return startedController()->displayFullScreenAdForSlotNamed(name);
}
