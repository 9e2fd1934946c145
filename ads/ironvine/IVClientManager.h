// Keeps the engine's script pair ("display" and "driver") in versioned folders under IV/Config,
// with the links Config/display.js and Config/driver.js that the rest of the engine reads; asks
// the ad server at every start whether a newer pair exists, stores it for the next launch, and
// records whether the server has switched the engine off. Main thread.
#pragma once

#include <cstdint>

#include "Foundation/NSObject.h"
#include "ads/ironvine/IVDownloadConnection.h"

class IVClientDriver;
class NSArray;
class NSDictionary;
class NSNumber;
class NSString;

// The version of no installed pair.
extern NSString* const IVNoClientVersion;  // "0.0"

class IVClientManager : public NSObject, public IVDownloadConnectionDelegate {
    NS_OBJECT(IVClientManager, NSObject)
    static void describeClass(RuntimeClass& c);
    // Everything after the first "_", or nil.
    static Ref<NSString> clientVersionFromClientDirName(NSString* name);
    // The first of exactly two "_"-separated pieces when it is a positive count, else -1.
    static int64_t timestampFromClientDirName(NSString* name);
    static Ref<NSString> clientRootDir();

    bool init() override;
    Ref<IVClientDriver> clientDriver() { return clientDriver_; }
    // The sync request's URL; values go in as they are.
    Ref<NSString> reqJSURL();
    // Config/{name}.js for "display" and "driver", else nil.
    Ref<NSString> pathForComponent(NSString* name);

    void downloadTimedOut(IVDownloadConnection* connection) override;
    void downloadFailed(IVDownloadConnection* connection) override;
    void downloadSucceeded(IVDownloadConnection* connection) override;

    void synchronizeWithServer();
    void synchronizeWithServerCallback(NSObject* reply);
    void flushUpdateUsingResponse(NSDictionary* response);
    void flushUpdateUsingResponseCallback(NSDictionary* response, NSString* newClientDir,
                                          NSNumber* componentIndex);
    void didUpdateUsingResponse(NSDictionary* response);
    // The start-up choice of the pair to run: a pair staged by an earlier launch replaces the
    // linked one.
    void synchronizeWithFileSystem();

    void setClientVersion(NSString* version);
    Ref<NSString> clientVersion() { return clientVersion_; }
    bool hasClient();
    void shutdown();
    void startup();
    // True while the sync's connection is under way.
    bool isSynchronizing() { return connection_ != nullptr; }
    // The sync's time-out: 80 s without a client, 40 s with one.
    double syncTimeout() { return hasClient() ? 40.0 : 80.0; }

private:
    void writeComponent(NSDictionary* response, NSString* newClientDir, NSUInteger index);

    Ref<NSString> clientVersion_;
    Ref<NSArray> clientComponents_;
    Ref<IVClientDriver> clientDriver_;
    Ref<IVDownloadConnection> connection_;
    // Set by shutdown(): what the sync still delivers then is dropped, as the engine it was for
    // is gone (another one may already use the same folder).
    bool shutDown_ = false;
};
