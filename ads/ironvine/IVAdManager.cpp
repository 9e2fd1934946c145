#include "ads/ironvine/IVAdManager.h"

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSException.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSString.h"
#include "Foundation/NSTimer.h"
#include "Foundation/NSURL.h"
#include "Foundation/Runtime.h"
#include "ads/ironvine/IVAdEngine.h"
#include "ads/ironvine/IVAsyncCommand.h"
#include "ads/ironvine/IVClientDriver.h"
#include "ads/ironvine/IVClientManager.h"
#include "ads/ironvine/IVController.h"
#include "ads/ironvine/IVDatabase.h"
#include "ads/ironvine/IVFullScreenAd.h"
#include "ads/ironvine/IVUtil.h"

void IVAdManager::describeClass(RuntimeClass& c) {
    c.method("deleteAdCallback:", &IVAdManager::deleteAdCallback);
}

Ref<NSString> IVAdManager::adRootDir() {
    return IVController::ivContentDir();
}

Ref<NSURL> IVAdManager::adBaseURL() {
    auto path = adRootDir()
                    ->stringByReplacingOccurrencesOfString(NS("/"), NS("//"))
                    ->stringByReplacingOccurrencesOfString(NS(" "), NS("%20"));
    return NSURL::URLWithString(NSString::stringWithFormat(NS("file:/%@//"), path.get()).get());
}

double IVAdManager::nowSince1970() {
    return Clock::now() + 978307200.0;
}

bool IVAdManager::expirationTimeHasPassed(int64_t milliseconds) {
    return static_cast<double>(milliseconds) < nowSince1970() * 1000.0;
}

namespace {
Ref<NSString> adFolder(NSString* name, int64_t dlTime) {
    return NSString::stringWithFormat(NS("%@/%@/%qi"), IVAdManager::adRootDir(), name, dlTime);
}

Ref<IVDatabase> database() {
    return IVController::sharedController()->database();
}
}  // namespace

bool IVAdManager::initWithSlotDescriptions(NSArray* descriptions) {
    if (!NSObject::init()) return false;
    NSUInteger n = descriptions ? descriptions->count() : 0;
    slotDict_ = NSMutableDictionary::dictionaryWithCapacity(n);
    fetchQueue_ = NSMutableArray::arrayWithCapacity(n);
    fetchReenqueueDelay_ = 60.0;
    if (!descriptions) return true;
    for (NSObject* item : *descriptions) {
        auto description = as<IVAdSlotDescription>(item);
        if (!description) continue;
        if (slotDict_->objectForKey(description->name().get()))
            NSException::raise(NS("Ironvine Initialization Failure"),
                               NS("All given slot names must be unique."));
        slotDict_->setObject(IVAdSlot::slotWithDescription(description.get()).get(),
                             description->name().get());
        // The one full-screen controller listens to every full-screen slot from the start, so
        // that a stored ad recovered below waits for the host's delegate and display request.
        if (description->size() == IVAdSizeFullScreen) {
            auto controller = IVController::sharedController();
            controller->initializeFullScreenAdSupport();
            registerListener(controller->fullScreenAdController().get(), description->name().get());
        }
    }
    // Recovery: rows in download order, so each slot ends with its newest unexpired ad.
    auto fm = NSFileManager::defaultManager();
    auto rows =
        database()->sqlExecute(NS("SELECT slotName, dlTime, expiration FROM ads ORDER BY dlTime"));
    for (NSObject* item : *rows) {
        auto row = as<NSArray>(item);
        if (!row || row->count() < 3) continue;
        auto name = row->objectAtIndex(0)->description();
        int64_t dlTime = row->objectAtIndex(1)->description()->longLongValue();
        int64_t expiration = row->objectAtIndex(2)->description()->longLongValue();
        auto slot = slotForName(name.get());
        if (!slot) {
            nukeSlotNamed(name.get());
            continue;
        }
        // A row whose content is gone (a quit between the folder's removal and the row's) is no
        // ad: it goes without taking the older ad it would have replaced.
        if (!fm->fileExistsAtPath(adFolder(name.get(), dlTime).get())) {
            database()->sqlExecute(
                NS("DELETE FROM ads WHERE slotName=? AND dlTime=?"),
                NSArray::arrayWithObjects({name.get(), NSNumber::numberWithLongLong(dlTime).get()})
                    .get());
            continue;
        }
        if (slot->nextAdDlTime() != 0) deleteAd(slot->nextAdDlTime(), name.get(), false, false);
        slot->setNextAdDlTime(dlTime);
        if (expirationTimeHasPassed(expiration))
            deleteAd(dlTime, name.get(), false, false);
        else
            scheduleExpirationForSlotNamed(name.get(), dlTime, expiration);
    }
    // A quit during a download leaves the ad's folder without its row: no ad, never removed
    // otherwise. Nothing downloads yet, so every folder of a slot but its waiting ad's goes.
    for (NSObject* item : *descriptions) {
        auto description = as<IVAdSlotDescription>(item);
        if (!description || !IVIsPlainPathComponent(description->name().get())) continue;
        auto slot = slotForName(description->name().get());
        auto folder = adRootDir()->stringByAppendingPathComponent(description->name().get());
        auto kept = slot->nextAdDlTime() != 0
                        ? NSString::stringWithFormat(NS("%qi"), slot->nextAdDlTime())
                        : nullptr;
        auto entries = fm->contentsOfDirectoryAtPath(folder.get(), nullptr);
        if (!entries) continue;
        for (NSObject* entry : *entries) {
            auto entryName = entry->description();
            if (kept && entryName->isEqualToString(kept.get())) continue;
            fm->removeItemAtPath(folder->stringByAppendingPathComponent(entryName.get()).get(),
                                 nullptr);
        }
    }
    for (NSObject* item : *descriptions) {
        auto description = as<IVAdSlotDescription>(item);
        if (!description) continue;
        auto slot = slotForName(description->name().get());
        if (slot && slot->nextAdDlTime() == 0) fetchQueue_->addObject(description->name().get());
    }
    return true;
}

Ref<IVAdSlot> IVAdManager::slotForName(NSString* name) {
    if (!name) return nullptr;
    return as<IVAdSlot>(slotDict_->objectForKey(name));
}

bool IVAdManager::isAdFetchedForSlotNamed(NSString* name) {
    auto slot = slotForName(name);
    return slot && slot->isFetched();
}

bool IVAdManager::registerListener(NSObject* listener, NSString* name) {
    auto slot = slotForName(name);
    if (!slot || !listener) return false;
    auto& listeners = listenerDict_[name->utf8()];
    bool known = false;
    for (auto& l : listeners)
        known = known || l.get() == listener;
    if (!known) listeners.push_back(listener);
    if (slot->isFetched()) notifyListenersAdDownloadedForSlotNamed(name);
    return true;
}

void IVAdManager::notifyListenersAdDownloadedForSlotNamed(NSString* name) {
    auto it = listenerDict_.find(name->utf8());
    if (it == listenerDict_.end()) return;
    auto listeners = it->second;  // a listener may register another meanwhile
    for (auto& l : listeners) {
        if (auto* listener = dynamic_cast<IVAdDownloadListener*>(l.get()))
            listener->adDownloadedForSlotNamed(name);
    }
}

void IVAdManager::queueFetchForSlotNamed(NSString* name) {
    if (!name) return;
    fetchQueue_->addObject(name);
    fetchNextAd();
}

void IVAdManager::fetchNextAd() {
    if (fetchQueue_->count() == 0) return;
    auto head = as<NSString>(fetchQueue_->objectAtIndex(0));
    auto driver = IVController::sharedController()->clientManager()->clientDriver();
    if (driver->fetchAdForSlotNamed(head.get())) fetchQueue_->removeObjectAtIndex(0);
}

std::vector<std::string> IVAdManager::fetchQueue() const {
    std::vector<std::string> names;
    for (NSObject* name : *fetchQueue_)
        names.push_back(name->description()->utf8());
    return names;
}

void IVAdManager::adDownloadFailedForSlotNamed(NSString* name) {
    fetchNextAd();
    double delay = fetchReenqueueDelay();
    if (delay <= 0 || !name) return;
    Weak<IVAdManager> weak(this);
    Ref<NSString> slotName = name->copy();
    NSTimer::scheduledTimerWithTimeInterval(delay, false, [weak, slotName](NSTimer*) {
        if (auto self = weak.lock()) self->queueFetchForSlotNamed(slotName.get());
    });
}

void IVAdManager::adDownloadedForSlotNamed(NSString* name, int64_t dlTime, int64_t expiration) {
    auto slot = slotForName(name);
    if (slot) {
        slot->setNextAdDlTime(dlTime);
        scheduleExpirationForSlotNamed(name, dlTime, expiration);
        notifyListenersAdDownloadedForSlotNamed(name);
    }
    fetchNextAd();
}

void IVAdManager::scheduleExpirationForSlotNamed(NSString* name, int64_t dlTime,
                                                 int64_t expiration) {
    double seconds = static_cast<double>(expiration) / 1000.0 - nowSince1970();
    Weak<IVAdManager> weak(this);
    Ref<NSString> slotName = name->copy();
    NSTimer::scheduledTimerWithTimeInterval(
        seconds > 0 ? seconds : 0, false, [weak, slotName, dlTime](NSTimer*) {
            if (auto self = weak.lock()) self->expireAdForSlotNamed(slotName.get(), dlTime);
        });
}

void IVAdManager::expireAdForSlotNamed(NSString* name, int64_t dlTime) {
    auto slot = slotForName(name);
    // Only a waiting ad expires; one on show stays until the next replaces it.
    if (slot && slot->nextAdDlTime() == dlTime) deleteAd(dlTime, name, true, true);
}

bool IVAdManager::deleteAd(int64_t dlTime, NSString* name, bool fetchReplacement, bool async) {
    auto slot = slotForName(name);
    if (!slot || !slot->slotDescription()->name()->isEqualToString(name)) return false;
    if (slot->dlTime() == dlTime)
        slot->setDlTime(0);
    else if (slot->nextAdDlTime() == dlTime)
        slot->setNextAdDlTime(0);
    auto sql = NS("DELETE FROM ads WHERE slotName=? AND dlTime=?");
    auto bindings = NSArray::arrayWithObjects({name, NSNumber::numberWithLongLong(dlTime).get()});
    if (async) {
        // The replacement is queued once the row is gone.
        auto context = fetchReplacement
                           ? IVCallbackContext::contextWithCallbackInvocation(
                                 IVInvocation(this, "deleteAdCallback:", {name}).get(), false)
                           : nullptr;
        IVController::sharedController()->sendDatabaseQuery(
            IVDBQuery::queryWithQuery(sql, bindings.get(), context.get()).get());
    } else {
        database()->sqlExecute(sql, bindings.get());
        if (fetchReplacement) deleteAdCallback(name);
    }
    NSFileManager::defaultManager()->removeItemAtPath(adFolder(name, dlTime).get(), nullptr);
    return true;
}

void IVAdManager::nukeSlotNamed(NSString* name) {
    database()->sqlExecute(NS("DELETE FROM ads WHERE slotName=?"),
                           NSArray::arrayWithObjects({name}).get());
    // Ad scripts can write any name into the table: one that is not a single entry of the
    // content folder would reach outside it (or take the whole folder).
    if (!IVIsPlainPathComponent(name)) {
        NSLog(
            NS("IVAdEngine: Not removing the content of stored slot %@, not a plain folder name."),
            name);
        return;
    }
    NSFileManager::defaultManager()->removeItemAtPath(
        adRootDir()->stringByAppendingPathComponent(name).get(), nullptr);
}
