// Class-level services every request touches: the one network thread, the shared queue, the
// default time-out, the default User-Agent, the session cookie list, the network activity
// indicator, the default download cache, and small utilities (MIME types, proxy scripts,
// Base64, RFC 1123 dates). Bandwidth throttling has a file of its own.
#include <sys/utsname.h>

#include <algorithm>
#include <mutex>

#include "CFNetwork/CFNetwork.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSBundle.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDateFormatter.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSHTTPCookie.h"
#include "Foundation/NSHTTPCookieStorage.h"
#include "Foundation/NSLocale.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSThread.h"
#include "Foundation/NSURL.h"
#include "Foundation/ProcessWide.h"
#include "MobileCoreServices/MobileCoreServices.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"
#include "external/nk-http-request/Classes/NKHTTPRequestInternal.h"

using nk_detail::Locked;

// ---- time-out, queue, thread --------------------------------------------------------------------

NSTimeInterval NKHTTPRequest::defaultTimeOutSeconds() {
    return classState().defaultTimeOutSeconds.load();
}

void NKHTTPRequest::setDefaultTimeOutSeconds(NSTimeInterval seconds) {
    classState().defaultTimeOutSeconds = seconds;
}

Ref<NSOperationQueue> NKHTTPRequest::sharedQueue() {
    return classState().sharedQueue;
}

namespace {
Ref<NSThread> startNetworkThread() {
    Ref<NSThread> thread = alloc<NSThread>();
    thread->initWithBlock([] {
        Ref<NSThread> self = NSThread::currentThread();
        Ref<NSRunLoop> loop = NSRunLoop::currentRunLoop();
        // A source that never fires: the loop always has something and never returns for lack
        // of work, only when stopped.
        loop->addSource(make<RunLoopSource>(), NSDefaultRunLoopMode);
        Ref<NSDate> forever = NSDate::distantFuture();
        while (!self->isCancelled()) {
            NSAutoreleasePool pool;
            loop->runMode(NSDefaultRunLoopMode, forever);
        }
    });
    thread->setName(NS("NKHTTPRequest network thread"));
    thread->runLoop();
    thread->start();
    return thread;
}
}  // namespace

Ref<NSThread> NKHTTPRequest::threadForRequest(NKHTTPRequest*) {
    // Exactly one network thread, however many queue workers ask for it at once. Dropped with
    // the other process-wide instances, it stops, so that no program ends with it running.
    static ProcessWide<NSThread> slot(startNetworkThread, retireNetworkThread);
    return slot.get();
}

bool NKHTTPRequest::enterNetworkThread(NKHTTPRequest* request, NSThread* thread) {
    ClassState& cs = classState();
    std::lock_guard<std::mutex> g(cs.networkThreadLock);
    if (thread->isCancelled() || std::ranges::count(cs.retiringThreads, thread)) return false;
    // Those gone or over are let go here, so the list holds only what may still run.
    std::erase_if(cs.onNetworkThread, [](const Weak<NKHTTPRequest>& w) {
        Ref<NKHTTPRequest> r = w.lock();
        return !r || r->isFinished();
    });
    request->requestLoop_.set(thread->runLoop());
    cs.onNetworkThread.emplace_back(request);
    return true;
}

void NKHTTPRequest::retireNetworkThread(NSThread* thread) {
    ClassState& cs = classState();
    {
        std::lock_guard<std::mutex> g(cs.networkThreadLock);
        cs.retiringThreads.push_back(thread);
    }
    Ref<NSRunLoop> loop = thread->runLoop();
    // On the thread itself, after every step queued there before: each request ends once, with
    // its failure queued to the main thread and its count ended after it, and so gives back its
    // place in the shared queue.
    loop->performOnLoop(
        [&cs, loop] {
            std::vector<Ref<NKHTTPRequest>> running;
            {
                std::lock_guard<std::mutex> g(cs.networkThreadLock);
                for (const Weak<NKHTTPRequest>& w : cs.onNetworkThread) {
                    Ref<NKHTTPRequest> r = w.lock();
                    if (r && r->requestLoop_.get().get() == loop.get()) running.push_back(r);
                }
                std::erase_if(cs.onNetworkThread, [&](const Weak<NKHTTPRequest>& w) {
                    Ref<NKHTTPRequest> r = w.lock();
                    return !r || r->requestLoop_.get().get() == loop.get();
                });
            }
            NSAutoreleasePool pool;
            for (Ref<NKHTTPRequest>& r : running)
                r->cancelOnRequestThread();
        },
        true, nullptr);
    {
        // Cancelled only now: the thread's loop ends at the first pass that finds it so, and a
        // request's end stops a pass.
        std::lock_guard<std::mutex> g(cs.networkThreadLock);
        thread->cancel();
        std::erase(cs.retiringThreads, thread);
    }
    loop->stop();
    thread->waitUntilFinished();
}

// ---- session cookies ----------------------------------------------------------------------------

Ref<NSMutableArray> NKHTTPRequest::sessionCookies() {
    ClassState& cs = classState();
    Locked lock(cs.sessionCookiesLock);
    if (!cs.sessionCookies) setSessionCookies(NSMutableArray::array());
    return cs.sessionCookies;
}

void NKHTTPRequest::setSessionCookies(NSArray* cookies) {
    ClassState& cs = classState();
    Locked lock(cs.sessionCookiesLock);
    if (cs.sessionCookies) {
        Ref<NSHTTPCookieStorage> storage = NSHTTPCookieStorage::sharedHTTPCookieStorage();
        for (NSObject* o : *cs.sessionCookies) {
            if (auto cookie = as<NSHTTPCookie>(Ref<NSObject>(o))) storage->deleteCookie(cookie);
        }
    }
    cs.sessionCookies = cookies ? NSMutableArray::arrayWithArray(cookies) : nullptr;
}

void NKHTTPRequest::addSessionCookie(NSHTTPCookie* newCookie) {
    if (!newCookie) return;
    ClassState& cs = classState();
    Locked lock(cs.sessionCookiesLock);
    Ref<NSMutableArray> list = sessionCookies();
    for (NSUInteger i = 0; i < list->count(); ++i) {
        auto cookie = as<NSHTTPCookie>(list->objectAtIndex(i));
        if (cookie && objectsEqual(cookie->domain(), newCookie->domain()) &&
            objectsEqual(cookie->path(), newCookie->path()) &&
            objectsEqual(cookie->name(), newCookie->name())) {
            list->removeObjectAtIndex(i);
            break;
        }
    }
    list->addObject(newCookie);
}

// ---- User-Agent, MIME types, proxies ------------------------------------------------------------

Ref<NSString> NKHTTPRequest::defaultUserAgentString() {
    Ref<NSBundle> bundle = NSBundle::bundleForClass(staticClass());
    if (!bundle) return nullptr;
    auto info = [&](const char16_t* key, size_t n) {
        return as<NSString>(bundle->objectForInfoDictionaryKey(NSString::literal(key, n)));
    };
    Ref<NSString> name = info(u"CFBundleDisplayName", 19);
    if (!name) name = info(u"CFBundleName", 12);
    if (!name) return nullptr;
    Ref<NSString> shortVersion = info(u"CFBundleShortVersionString", 26);
    Ref<NSString> build = info(u"CFBundleVersion", 15);
    Ref<NSString> version;
    if (shortVersion && build) {
        version = shortVersion->isEqualToString(build)
                      ? shortVersion
                      : NSString::stringWithFormat(NS("%@ rv:%@"), shortVersion, build);
    } else {
        version = shortVersion ? shortVersion : build;
    }
    // The device as this system sees it: the machine, the system's name and release.
    struct utsname u {};
    uname(&u);
    Ref<NSString> locale = NSLocale::currentLocale()->localeIdentifier();
    return NSString::stringWithFormat(NS("%@ %@ (%@; %@ %@; %@)"), name,
                                      version ? version.get() : NS(""),
                                      NSString::fromUTF8(u.machine), NSString::fromUTF8(u.sysname),
                                      NSString::fromUTF8(u.release), locale);
}

Ref<NSString> NKHTTPRequest::mimeTypeForFileAtPath(NSString* path) {
    if (!path || !NSFileManager::defaultManager()->fileExistsAtPath(path)) return nullptr;
    Ref<NSString> uti = UTTypeCreatePreferredIdentifierForTag(kUTTagClassFilenameExtension,
                                                              path->pathExtension(), nullptr);
    Ref<NSString> mime = uti ? UTTypeCopyPreferredTagWithClass(uti, kUTTagClassMIMEType) : nullptr;
    return mime ? mime : Ref<NSString>(NS("application/octet-stream"));
}

namespace {
// The script's text: from disk for a file URL, otherwise fetched directly (never through a
// proxy: finding the proxy is what the script is for).
Ref<NSString> loadScript(NSURL* scriptURL) {
    if (!scriptURL) return nullptr;
    Ref<NSData> data;
    if (scriptURL->isFileURL()) {
        data = NSData::dataWithContentsOfFile(scriptURL->path());
    } else {
        Ref<NKHTTPRequest> fetch = NKHTTPRequest::requestWithURL(scriptURL);
        fetch->setProxyType(kCFProxyTypeNone);
        fetch->setProxyHost(NS(""));
        fetch->startSynchronous();
        if (!fetch->error() && fetch->responseStatusCode() == 200) data = fetch->responseData();
    }
    if (!data) return nullptr;
    // The encoding is guessed: UTF-8 when the bytes are UTF-8, else ISO Latin 1.
    Ref<NSString> text = NSString::stringWithData(data, NSUTF8StringEncoding);
    return text ? text : NSString::stringWithData(data, NSISOLatin1StringEncoding);
}
}  // namespace

Ref<NSArray> NKHTTPRequest::proxiesForURL(NSURL* theURL, NSURL* pacScriptURL) {
    Ref<NSString> script = loadScript(pacScriptURL);
    // A script that cannot be had means connecting directly.
    if (!script) return NSArray::array();
    Ref<NSError> err;
    Ref<NSArray> proxies = CFNetworkCopyProxiesForAutoConfigurationScript(script, theURL, &err);
    if (err || !proxies) return nullptr;
    return proxies;
}

// ---- the default cache --------------------------------------------------------------------------

Ref<NKCacheDelegate> NKHTTPRequest::defaultCache() {
    ClassState& cs = classState();
    std::lock_guard<std::mutex> g(cs.defaultCacheLock);
    return cs.defaultCache;
}

void NKHTTPRequest::setDefaultCache(NKCacheDelegate* cache) {
    ClassState& cs = classState();
    Ref<NKCacheDelegate> old(cache);
    {
        std::lock_guard<std::mutex> g(cs.defaultCacheLock);
        cs.defaultCache.swap(old);
    }
}

// ---- the network activity indicator -------------------------------------------------------------

bool NKHTTPRequest::isNetworkInUse() {
    ClassState& cs = classState();
    Locked conn(cs.connectionsLock);
    return cs.runningRequestCount > 0;
}

void NKHTTPRequest::setShouldUpdateNetworkActivityIndicator(bool shouldUpdate) {
    ClassState& cs = classState();
    Locked conn(cs.connectionsLock);
    cs.shouldUpdateNetworkActivityIndicator = shouldUpdate;
    // No longer the engine's to hide: what it holds goes back now rather than never.
    if (!shouldUpdate) cs.indicatorHold.setHeld(false);
}

// The indicator has other owners in the app (the UI framework's loads, web pages, the ads): the
// engine's streams are one hold on the application's indicator, so that neither turns it off
// while another still loads, and what it shows does not hang on whose answer came last.
void NKHTTPRequest::showNetworkActivityIndicator() {
    ClassState& cs = classState();
    Locked conn(cs.connectionsLock);
    cs.indicatorHold.setHeld(true);
}

void NKHTTPRequest::hideNetworkActivityIndicator() {
    ClassState& cs = classState();
    Locked conn(cs.connectionsLock);
    cs.indicatorHold.setHeld(false);
}

// ---- Base64 and dates ---------------------------------------------------------------------------

Ref<NSString> NKHTTPRequest::base64forData(NSData* data) {
    if (!data) return NSString::string();
    return data->base64EncodedString();
}

Ref<NSDate> NKHTTPRequest::dateFromRFC1123String(NSString* string) {
    if (!string) return nullptr;
    Ref<NSDateFormatter> formatter = make<NSDateFormatter>();
    formatter->setLocale(NSLocale::localeWithLocaleIdentifier(NS("en_US_POSIX")));
    bool weekday = string->rangeOfString(NS(",")).location != NSNotFound;
    bool seconds = string->componentsSeparatedByString(NS(":"))->count() == 3;
    formatter->setDateFormat(NSString::stringWithFormat(NS("%@dd MMM yyyy HH:mm%@ z"),
                                                        weekday ? NS("EEE, ") : NS(""),
                                                        seconds ? NS(":ss") : NS("")));
    return formatter->dateFromString(string);
}
