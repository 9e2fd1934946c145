// BridgeLib: the handler every bridge carries. It gives the downloaded scripts files under the
// Documents folder, downloads, zip unpacking, SQL on the engine's store, the settings table,
// a few controller properties, reachability and the execution mode. Script paths are relative
// to Documents and never leave it. Main thread; file work and SQL go to the workers.
#pragma once

#include <optional>
#include <string>

#include "Foundation/NSObject.h"
#include "ads/ironvine/IVCommandHandler.h"
#include "ads/ironvine/IVDownloadConnection.h"

class NSArray;
class NSDictionary;
class NSInvocation;
class NSMutableArray;
class NSNumber;

class IVStandardCommandHandler : public IVCommandHandler, public IVDownloadConnectionDelegate {
    NS_OBJECT(IVStandardCommandHandler, IVCommandHandler)
    static void describeClass(RuntimeClass& c);
    bool init() override;
    Ref<NSString> bridgeScript() override;
    // Where a script's path points inside Documents, or nothing when it would leave it.
    static std::optional<std::string> documentsPath(NSString* relative);

    Ref<NSInvocation> sendJSCommandInvocationForJSString(NSString* javascript);
    void downloadTimedOut(IVDownloadConnection* connection) override;
    void downloadSucceeded(IVDownloadConnection* connection) override;
    void downloadFailed(IVDownloadConnection* connection) override;
    void deleteFile(NSString* path);
    void loadBase64StringFromFile(NSString* path, NSString* callback);
    void loadStringFromFile(NSString* path, NSString* callback);
    void unzipFile(NSString* zip, NSString* folder, NSString* callback);
    void fileWriteBase64String(NSString* path, NSString* base64);
    void fileWriteString(NSString* path, NSString* string);
    void unzipContentsOfURL(NSString* url, NSString* folder, NSString* callback);
    void writeFile(NSString* path, NSString* url, NSString* callback);
    void invokeGetSettingCallback(NSString* callback, NSArray* results);
    void getSetting(NSString* recordID, NSString* callback);
    void setSettingNumber(NSString* recordID, NSObject* number, NSString* callback);
    void setSettingNumber(NSString* recordID, NSObject* number);
    void setSettingString(NSString* recordID, NSString* string, NSString* callback);
    void setSettingString(NSString* recordID, NSString* string);
    void setSettingBase64Data(NSString* recordID, NSString* base64, NSString* callback);
    void setSettingBase64Data(NSString* recordID, NSString* base64);
    void invokeSqlExecuteCallback(NSString* callback, NSArray* results);
    void sqlExecute(NSString* sql, NSString* callback);
    void sqlExecute(NSString* sql);
    void log(NSString* message);
    void getNetworkReachabilityForURL(NSString* url, NSString* callback);
    void getControllerProperty(NSString* key, NSString* callback);
    void setControllerProperty(NSString* key, NSObject* value);
    void setExecMode(int32_t mode);
    void getExecModeWithCallback(NSString* callback);
    void callback(NSString* javascript);
    // Completion of a download to unpack: 1 when the archive could be read, else 0.
    void invokeUnzipCallback(NSString* callback, NSNumber* outcome);

private:
    Ref<NSInvocation> call(const char* selector, NSObject* first);
    void startDownload(NSString* url, NSDictionary* userData);

    Ref<NSMutableArray> connections_;
};
