#include "ads/ironvine/IVClientManager.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "Foundation/Runtime.h"
#include "ads/ironvine/IVAsyncCommand.h"
#include "ads/ironvine/IVClientDriver.h"
#include "ads/ironvine/IVController.h"
#include "ads/ironvine/IVUtil.h"

NSString* const IVNoClientVersion = NS("0.0");

void IVClientManager::describeClass(RuntimeClass& c) {
    c.method("synchronizeWithServerCallback:", &IVClientManager::synchronizeWithServerCallback)
        .method("flushUpdateUsingResponseCallback:newClientDir:componentIndex:",
                &IVClientManager::flushUpdateUsingResponseCallback);
}

Ref<NSString> IVClientManager::clientVersionFromClientDirName(NSString* name) {
    if (!name) return nullptr;
    NSRange r = name->rangeOfString(NS("_"));
    if (r.location == NSNotFound) return nullptr;
    return name->substringFromIndex(r.location + 1);
}

int64_t IVClientManager::timestampFromClientDirName(NSString* name) {
    if (!name) return -1;
    auto pieces = name->componentsSeparatedByString(NS("_"));
    if (pieces->count() != 2) return -1;
    int64_t value = as<NSString>(pieces->objectAtIndex(0))->longLongValue();
    return value > 0 ? value : -1;
}

Ref<NSString> IVClientManager::clientRootDir() {
    return IVController::ivBaseDir()->stringByAppendingPathComponent(NS("Config"));
}

bool IVClientManager::init() {
    if (!NSObject::init()) return false;
    clientVersion_ = IVNoClientVersion;
    clientComponents_ = NSArray::arrayWithObjects({NS("display"), NS("driver")});
    clientDriver_ = make<IVClientDriver>();
    synchronizeWithFileSystem();
    return true;
}

Ref<NSString> IVClientManager::reqJSURL() {
    auto controller = IVController::sharedController();
    return NSString::stringWithFormat(
        NS("%@/v2/req_js.json?appguid=%@&deviceid=%@&userid=%@&hostversion=%@&clientversion=%@"),
        controller->serverURL(), controller->applicationID(), IVController::deviceName(),
        IVController::deviceUID(), IVController::ivSDKVersion(), clientVersion_);
}

Ref<NSString> IVClientManager::pathForComponent(NSString* name) {
    if (!name || !clientComponents_->containsObject(name)) return nullptr;
    return clientRootDir()->stringByAppendingPathComponent(
        NSString::stringWithFormat(NS("%@.js"), name).get());
}

void IVClientManager::setClientVersion(NSString* version) {
    clientVersion_ = version ? version->copy() : Ref<NSString>(IVNoClientVersion);
}

bool IVClientManager::hasClient() {
    return !clientVersion_->isEqualToString(IVNoClientVersion);
}

void IVClientManager::shutdown() {
    shutDown_ = true;
    connection_ = nullptr;
    clientDriver_->shutdown();
}

void IVClientManager::startup() {
    shutDown_ = false;
    clientDriver_->startup();
    synchronizeWithServer();
}

// ---- server sync ----------------------------------------------------------------------------

void IVClientManager::synchronizeWithServer() {
    auto url = NSURL::URLWithString(reqJSURL().get());
    if (!url) return;
    auto request = NSMutableURLRequest::requestWithURL(url.get());
    request->setValueForHTTPHeaderField(NS("gzip"), NS("Accept-Encoding"));
    // The connection's own limit must not end an attempt before the sync's time-out does.
    request->setTimeoutInterval(syncTimeout() + 1.0);
    // Up to three attempts in all.
    connection_ = IVDownloadConnection::timedConnectionWithURLRequest(request.get(), this, nullptr,
                                                                      syncTimeout(), 3);
}

void IVClientManager::downloadTimedOut(IVDownloadConnection*) {
    connection_ = nullptr;
}

void IVClientManager::downloadFailed(IVDownloadConnection*) {
    connection_ = nullptr;
}

void IVClientManager::downloadSucceeded(IVDownloadConnection* connection) {
    Ref<IVDownloadConnection> keep(connection);
    connection_ = nullptr;
    if (shutDown_) return;
    auto data = connection->receivedData();
    std::string bytes(static_cast<const char*>(data->bytes()), data->length());
    if (auto zero = bytes.find('\0'); zero != std::string::npos) bytes.resize(zero);
    auto text = NSString::fromUTF8(bytes);
    auto context = IVCallbackContext::contextWithCallbackInvocation(
        IVInvocation(this, "synchronizeWithServerCallback:", {nullptr}).get(), true);
    IVController::sharedController()->ioRequestManager()->sendAsyncCommand(
        IVJSONCommand::jsonCommandWithType(0, text.get(), context.get()).get());
}

void IVClientManager::synchronizeWithServerCallback(NSObject* parsed) {
    auto reply = as<NSDictionary>(parsed);
    if (!reply || shutDown_) return;
    auto status = as<NSString>(reply->objectForKey(NS("status")));
    if (!status || !status->isEqualToString(NS("AllOkay"))) return;
    auto content = as<NSDictionary>(reply->objectForKey(NS("content")));
    auto response =
        content ? as<NSDictionary>(content->objectForKey(NS("clientResponse"))) : nullptr;
    if (!response) return;
    auto version = as<NSString>(response->objectForKey(NS("clientVersion")));
    auto source = as<NSDictionary>(response->objectForKey(NS("source")));
    auto disabledValue = response->objectForKey(NS("isDisabled"));
    bool disabled = false;
    if (auto n = as<NSNumber>(disabledValue))
        disabled = n->boolValue();
    else if (auto s = as<NSString>(disabledValue))
        disabled = s->boolValue();
    auto controller = IVController::sharedController();
    if (disabled != controller->disabled()) {
        // Takes effect at the next launch.
        controller->sendDatabaseQuery(
            IVDBQuery::queryWithQuery(
                NSString::stringWithFormat(
                    NS("INSERT OR REPLACE INTO settings (id, data) VALUES('%@', %d)"),
                    NS("disabled"), disabled ? 1 : 0)
                    .get(),
                nullptr)
                .get());
    }
    if (!source || source->count() == 0) return;
    // The version names one folder inside Config.
    if (!IVIsPlainPathComponent(version.get())) return;
    if (clientVersion_->isEqualToString(version.get())) return;
    for (NSObject* component : *clientComponents_) {
        if (!as<NSString>(source->objectForKey(component))) return;
    }
    flushUpdateUsingResponse(response.get());
}

void IVClientManager::flushUpdateUsingResponse(NSDictionary* response) {
    auto version = as<NSString>(response->objectForKey(NS("clientVersion")));
    auto dir = clientRootDir()->stringByAppendingPathComponent(
        NSString::stringWithFormat(NS("%qi%@%@"), IVController::sessionStart(), NS("_"), version)
            .get());
    NSFileManager::defaultManager()->createDirectoryAtPath(dir.get(), true, nullptr, nullptr);
    writeComponent(response, dir.get(), 0);
}

void IVClientManager::writeComponent(NSDictionary* response, NSString* newClientDir,
                                     NSUInteger index) {
    auto component = as<NSString>(clientComponents_->objectAtIndex(index));
    auto source = as<NSDictionary>(response->objectForKey(NS("source")));
    auto text = as<NSString>(source->objectForKey(component.get()));
    auto path = newClientDir->stringByAppendingPathComponent(
        NSString::stringWithFormat(NS("%@.js"), component.get()).get());
    auto invocation =
        IVInvocation(this, "flushUpdateUsingResponseCallback:newClientDir:componentIndex:",
                     {response, newClientDir, NSNumber::numberWithUnsignedInteger(index).get()});
    auto context = IVCallbackContext::contextWithCallbackInvocation(invocation.get(), false);
    IVController::sharedController()->ioRequestManager()->sendAsyncCommand(
        IVIOWriteRequest::requestWithPath(
            path.get(), text->dataUsingEncoding(NSUTF8StringEncoding).get(), false, context.get())
            .get());
}

void IVClientManager::flushUpdateUsingResponseCallback(NSDictionary* response,
                                                       NSString* newClientDir,
                                                       NSNumber* componentIndex) {
    if (shutDown_) return;
    NSUInteger index = componentIndex->unsignedIntegerValue();
    if (!hasClient()) {
        auto component = as<NSString>(clientComponents_->objectAtIndex(index));
        NSFileManager::defaultManager()->createSymbolicLinkAtPath(
            pathForComponent(component.get()).get(),
            NSString::stringWithFormat(NS("%@/%@.js"), newClientDir->lastPathComponent(),
                                       component.get())
                .get(),
            nullptr);
    }
    if (index + 1 != clientComponents_->count())
        writeComponent(response, newClientDir, index + 1);
    else
        didUpdateUsingResponse(response);
}

void IVClientManager::didUpdateUsingResponse(NSDictionary* response) {
    if (hasClient()) return;  // the staged pair is taken up at the next launch
    setClientVersion(as<NSString>(response->objectForKey(NS("clientVersion"))).get());
    clientDriver_->startup();
}

// ---- start-up selection ---------------------------------------------------------------------

void IVClientManager::synchronizeWithFileSystem() {
    auto fm = NSFileManager::defaultManager();
    auto root = clientRootDir();
    Ref<NSString> linkedDir;
    int64_t linkedTimestamp = -1;
    int links = 0;
    for (NSObject* item : *clientComponents_) {
        auto path = pathForComponent(static_cast<NSString*>(item));
        if (!fm->fileExistsAtPath(path.get())) continue;
        ++links;
        auto destination = fm->destinationOfSymbolicLinkAtPath(path.get(), nullptr);
        if (!destination) continue;
        auto parts = destination->pathComponents();
        if (parts->count() < 2) continue;
        auto dir = as<NSString>(parts->objectAtIndex(parts->count() - 2));
        int64_t timestamp = timestampFromClientDirName(dir.get());
        if (timestamp == -1) continue;
        if (!linkedDir || timestamp == linkedTimestamp) {
            linkedDir = dir;
            linkedTimestamp = timestamp;
        }
    }
    if (links == 0) {
        setClientVersion(nullptr);
        return;
    }
    Ref<NSString> newerDir;
    int64_t newest = linkedTimestamp;
    auto entries = fm->contentsOfDirectoryAtPath(root.get(), nullptr);
    for (NSObject* item : entries ? *entries : *NSArray::array()) {
        auto name = as<NSString>(item);
        bool isDirectory = false;
        auto full = root->stringByAppendingPathComponent(name.get());
        // A link to a pair is not a pair.
        if (fm->destinationOfSymbolicLinkAtPath(full.get(), nullptr)) continue;
        if (!fm->fileExistsAtPath(full.get(), &isDirectory) || !isDirectory) continue;
        int64_t timestamp = timestampFromClientDirName(name.get());
        if (timestamp > newest && timestamp < IVController::sessionStart()) {
            newest = timestamp;
            newerDir = name;
        }
    }
    if (newerDir) {
        for (NSObject* item : *clientComponents_) {
            auto component = static_cast<NSString*>(item);
            auto path = pathForComponent(component);
            fm->removeItemAtPath(path.get(), nullptr);
            fm->createSymbolicLinkAtPath(
                path.get(),
                NSString::stringWithFormat(NS("%@/%@.js"), newerDir.get(), component).get(),
                nullptr);
        }
        // Only the other pairs' folders go: the links just made stay.
        for (NSObject* item : entries ? *entries : *NSArray::array()) {
            auto name = as<NSString>(item);
            if (name->isEqualToString(newerDir.get())) continue;
            auto full = root->stringByAppendingPathComponent(name.get());
            bool isDirectory = false;
            if (fm->destinationOfSymbolicLinkAtPath(full.get(), nullptr)) continue;
            if (fm->fileExistsAtPath(full.get(), &isDirectory) && isDirectory)
                fm->removeItemAtPath(full.get(), nullptr);
        }
    }
    setClientVersion(
        clientVersionFromClientDirName(newerDir ? newerDir.get() : linkedDir.get()).get());
}
