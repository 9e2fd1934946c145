#include "ads/ironvine/IVStandardCommandHandler.h"

#include <filesystem>

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "Foundation/NumberConversion.h"
#include "Foundation/Runtime.h"
#include "ads/ironvine/IVAsyncCommand.h"
#include "ads/ironvine/IVBase64.h"
#include "ads/ironvine/IVController.h"
#include "ads/ironvine/IVDatabase.h"
#include "ads/ironvine/IVJSON.h"
#include "ads/ironvine/IVJavascriptBridge.h"
#include "ads/ironvine/network/IVReachability.h"

namespace {
NSString* const kPathKey = NS("path");
NSString* const kCallbackKey = NS("callback");
NSString* const kUnzipToKey = NS("unzipTo");

// Scripts' SQL runs as sent, on the controller's store, on its database worker.
void runQuery(IVDBQuery* query) {
    IVController::sharedController()->sendDatabaseQuery(query);
}

Ref<IVAsyncCommandManager> fileWorker() {
    return IVController::sharedController()->ioRequestManager();
}

void makeParentFolder(const std::string& path) {
    auto parent = NSString::fromUTF8(std::filesystem::path(path).parent_path().string());
    NSFileManager::defaultManager()->createDirectoryAtPath(parent.get(), true, nullptr, nullptr);
}

// The keys scripts may read and set on the controller.
bool isControllerKey(NSString* key) {
    if (!key) return false;
    for (NSString* allowed : {NS("disabled"), NS("sbwPropName"), NS("menuDisplayTime"),
                              NS("exitItemDisplayTime"), NS("execMode")})
        if (key->isEqualToString(allowed)) return true;
    return false;
}
}  // namespace

void IVStandardCommandHandler::describeClass(RuntimeClass& c) {
    using H = IVStandardCommandHandler;
    c.method("sendJSCommandInvocationForJSString:", &H::sendJSCommandInvocationForJSString)
        .method("deleteFile:", &H::deleteFile)
        .method("loadBase64StringFromFile:callback:", &H::loadBase64StringFromFile)
        .method("loadStringFromFile:callback:", &H::loadStringFromFile)
        .method("unzipFile:toFolder:callback:", &H::unzipFile)
        .method("fileWrite:base64String:", &H::fileWriteBase64String)
        .method("fileWrite:string:", &H::fileWriteString)
        .method("unzipContentsOfURL:toFolder:callback:", &H::unzipContentsOfURL)
        .method("writeFile:withContentsOfURL:callback:", &H::writeFile)
        .method("invokeGetSettingCallback:results:", &H::invokeGetSettingCallback)
        .method("getSetting:callback:", &H::getSetting)
        .method("setSetting:number:callback:",
                static_cast<void (H::*)(NSString*, NSObject*, NSString*)>(&H::setSettingNumber))
        .method("setSetting:number:",
                static_cast<void (H::*)(NSString*, NSObject*)>(&H::setSettingNumber))
        .method("setSetting:string:callback:",
                static_cast<void (H::*)(NSString*, NSString*, NSString*)>(&H::setSettingString))
        .method("setSetting:string:",
                static_cast<void (H::*)(NSString*, NSString*)>(&H::setSettingString))
        .method("setSetting:base64Data:callback:",
                static_cast<void (H::*)(NSString*, NSString*, NSString*)>(&H::setSettingBase64Data))
        .method("setSetting:base64Data:",
                static_cast<void (H::*)(NSString*, NSString*)>(&H::setSettingBase64Data))
        .method("invokeSqlExecuteCallback:results:", &H::invokeSqlExecuteCallback)
        .method("sqlExecute:callback:",
                static_cast<void (H::*)(NSString*, NSString*)>(&H::sqlExecute))
        .method("sqlExecute:", static_cast<void (H::*)(NSString*)>(&H::sqlExecute))
        .method("log:", &H::log)
        .method("getNetworkReachabilityForURL:callback:", &H::getNetworkReachabilityForURL)
        .method("getControllerProperty:callback:", &H::getControllerProperty)
        .method("setControllerProperty:value:", &H::setControllerProperty)
        .method("setExecMode:", &H::setExecMode)
        .method("getExecModeWithCallback:", &H::getExecModeWithCallback)
        .method("callback:", &H::callback)
        .method("invokeUnzipCallback:results:", &H::invokeUnzipCallback);
}

bool IVStandardCommandHandler::init() {
    if (!initWithName(NS("BridgeLib"))) return false;
    connections_ = NSMutableArray::array();
    return true;
}

Ref<NSString> IVStandardCommandHandler::bridgeScript() {
    // Built on each call: the Documents folder moves with the home folder.
    return NSString::stringWithFormat(
        NS(R"JS(var BridgeLib=function(){var _1={};function _2(){return"%@";};_1.getLocalFileBaseURL=_2;function _3(_4){sendCommand("log:\""+_4+"\";");};_1.log=_3;function _5(_6){sendCommand("sqlExecute:\""+_6+"\";");};_1.sqlExecute=_5;function _7(_8,_9){sendCommand("sqlExecute:\""+_8+"\" callback:\""+_9+"\";");};_1.sqlExecuteWithCallback=_7;function _a(_b,_c){sendCommand("setSetting:\""+_b+"\" base64Data:\""+_c+"\";");};_1.setSettingBase64String=_a;function _d(_e,_f){sendCommand("setSetting:\""+_e+"\" string:\""+_f+"\";");};_1.setSettingString=_d;function _10(_11,_12){sendCommand("setSetting:\""+_11+"\" number:\""+_12+"\";");};_1.setSettingNumber=_10;function _13(_14,_15){sendCommand("getSetting:\""+_14+"\" callback:\""+_15+"\";");};_1.getSettingWithCallback=_13;function _16(_17,_18){sendCommand("setControllerProperty:\""+_17+"\" value:\""+_18+"\";");};_1.setControllerProperty=_16;function _19(_1a,_1b){sendCommand("getControllerProperty:\""+_1a+"\" callback:\""+_1b+"\";");};_1.getControllerPropertyWithCallback=_19;function _1c(_1d,_1e){sendCommand("getNetworkReachabilityForURL:\""+_1d+"\" callback:\""+_1e+"\";");};_1.getNetworkReachabilityWithCallback=_1c;function _1f(_20){sendCommand("getExecModeWithCallback:\""+_20+"\";");};_1.getExecModeWithCallback=_1f;function _21(_22){sendCommand("setExecMode:"+_22+";");};_1.setExecMode=_21;function _23(_24,_25,_26){sendCommand("writeFile:\""+_24+"\" withContentsOfURL:\""+_25+"\" callback:\""+_26+"\";");};_1.writeFileWithContentsOfURLWithCallback=_23;function _27(_28,_29,_2a){sendCommand("unzipContentsOfURL:\""+_28+"\" toFolder:\""+_29+"\" callback:\""+_2a+"\";");};_1.unzipContentsOfURLToFolderWithCallback=_27;function _2b(_2c,_2d){sendCommand("fileWrite:\""+_2c+"\" string:\""+_2d+"\";");};_1.fileWriteString=_2b;function _2e(_2f,_30){sendCommand("fileWrite:\""+_2f+"\" base64String:\""+_30+"\";");};_1.fileWriteBase64String=_2e;function _31(_32,_33,_34){sendCommand("unzipFile:\""+_32+"\" toFolder:\""+_33+"\" callback:\""+_34+"\";");};_1.unzipFileToFolderWithCallback=_31;function _35(_36,_37){sendCommand("loadStringFromFile:\""+_36+"\" callback:\""+_37+"\";");};_1.loadStringFromFileWithCallback=_35;function _38(_39,_3a){sendCommand("loadBase64StringFromFile:\""+_39+"\" callback:\""+_3a+"\";");};_1.loadBase64StringFromFileWithCallback=_38;function _3b(_3c){sendCommand("deleteFile:\""+_3c+"\";");};_1.deleteFile=_3b;function _3d(_3e){sendCommand("getLogContentsWithCallback:\""+_3e+"\";");};_1.getLogContentsWithCallback=_3d;function _3f(){sendCommand("resetLogContents;");};_1.resetLogContents=_3f;function _40(_41){sendCommand("callback:\""+_41+"\";");};_1.callback=_40;return _1;}();)JS"),
        IVController::localFileBaseURL()->absoluteString());
}

std::optional<std::string> IVStandardCommandHandler::documentsPath(NSString* relative) {
    if (!relative) return std::nullopt;
    std::filesystem::path root =
        std::filesystem::path(IVController::localFileBasePath()->utf8()).lexically_normal();
    std::filesystem::path joined = (root.string() + "/" + relative->utf8());
    joined = joined.lexically_normal();
    std::string r = root.string(), j = joined.string();
    while (j.size() > 1 && j.back() == '/')
        j.pop_back();
    if (j.size() <= r.size() + 1 || j.compare(0, r.size(), r) != 0 || j[r.size()] != '/')
        return std::nullopt;
    return j;
}

// ---- prepared calls -------------------------------------------------------------------------

Ref<NSInvocation> IVStandardCommandHandler::call(const char* selector, NSObject* first) {
    return IVInvocation(this, selector, {first});
}

Ref<NSInvocation> IVStandardCommandHandler::sendJSCommandInvocationForJSString(
    NSString* javascript) {
    return call("callback:", javascript);
}

// ---- files ----------------------------------------------------------------------------------

void IVStandardCommandHandler::deleteFile(NSString* path) {
    if (auto p = documentsPath(path))
        NSFileManager::defaultManager()->removeItemAtPath(NSString::fromUTF8(*p).get(), nullptr);
}

void IVStandardCommandHandler::loadBase64StringFromFile(NSString* path, NSString* callback) {
    auto p = documentsPath(path);
    if (!p) return;
    auto data = NSData::dataWithContentsOfFile(NSString::fromUTF8(*p).get());
    auto text = IVBase64::base64StringWithData(data ? data.get() : NSData::data().get());
    send(IVFillCallback(callback, IVQuotedForScript(text.get())).get());
}

void IVStandardCommandHandler::loadStringFromFile(NSString* path, NSString* callback) {
    auto p = documentsPath(path);
    if (!p) return;
    auto data = NSData::dataWithContentsOfFile(NSString::fromUTF8(*p).get());
    // A missing file reads as empty text.
    auto text = data ? NSString::fromUTF8(std::string_view(static_cast<const char*>(data->bytes()),
                                                           data->length()))
                     : NSString::string();
    send(IVFillCallback(callback, IVQuotedForScript(text.get())).get());
}

void IVStandardCommandHandler::unzipFile(NSString* zip, NSString* folder, NSString* callback) {
    auto source = documentsPath(zip), destination = documentsPath(folder);
    if (!source || !destination) return;
    auto context =
        IVCallbackContext::contextWithCallbackInvocation(call("callback:", callback).get(), false);
    fileWorker()->sendAsyncCommand(IVIOUnzipRequest::requestWithSourceZipFilePath(
                                       NSString::fromUTF8(*source).get(),
                                       NSString::fromUTF8(*destination).get(), context.get())
                                       .get());
}

void IVStandardCommandHandler::fileWriteBase64String(NSString* path, NSString* base64) {
    auto p = documentsPath(path);
    if (!p) return;
    makeParentFolder(*p);
    fileWorker()->sendAsyncCommand(IVIOWriteRequest::requestWithPath(
                                       NSString::fromUTF8(*p).get(),
                                       IVBase64::dataWithBase64String(base64).get(), false, nullptr)
                                       .get());
}

void IVStandardCommandHandler::fileWriteString(NSString* path, NSString* string) {
    auto p = documentsPath(path);
    if (!p) return;
    makeParentFolder(*p);
    auto data = (string ? string : NS(""))->dataUsingEncoding(NSUTF8StringEncoding);
    fileWorker()->sendAsyncCommand(
        IVIOWriteRequest::requestWithPath(NSString::fromUTF8(*p).get(), data.get(), false, nullptr)
            .get());
}

// ---- downloads ------------------------------------------------------------------------------

void IVStandardCommandHandler::startDownload(NSString* url, NSDictionary* userData) {
    auto target = url ? NSURL::URLWithString(url) : nullptr;
    if (!target) {
        send(IVFillCallback(as<NSString>(userData->objectForKey(kCallbackKey)).get(), int64_t{0})
                 .get());
        return;
    }
    auto connection = IVDownloadConnection::connectionWithURLRequest(
        NSURLRequest::requestWithURL(target.get()).get(), this, userData);
    if (connection) connections_->addObject(connection.get());
}

void IVStandardCommandHandler::writeFile(NSString* path, NSString* url, NSString* callback) {
    auto p = documentsPath(path);
    if (!p) return;
    startDownload(url, NSDictionary::dictionaryWithObjectsAndKeys(
                           {NSString::fromUTF8(*p).get(), kPathKey, callback ? callback : NS(""),
                            kCallbackKey})
                           .get());
}

void IVStandardCommandHandler::unzipContentsOfURL(NSString* url, NSString* folder,
                                                  NSString* callback) {
    auto zip = documentsPath(NS("temp.zip")), destination = documentsPath(folder);
    if (!zip || !destination) return;
    startDownload(url, NSDictionary::dictionaryWithObjectsAndKeys(
                           {NSString::fromUTF8(*zip).get(), kPathKey, callback ? callback : NS(""),
                            kCallbackKey, NSString::fromUTF8(*destination).get(), kUnzipToKey})
                           .get());
}

void IVStandardCommandHandler::downloadSucceeded(IVDownloadConnection* connection) {
    Ref<IVDownloadConnection> keep(connection);
    auto info = as<NSDictionary>(connection->userData());
    auto path = as<NSString>(info->objectForKey(kPathKey));
    auto callbackFormat = as<NSString>(info->objectForKey(kCallbackKey));
    auto unzipTo = as<NSString>(info->objectForKey(kUnzipToKey));
    makeParentFolder(path->utf8());
    auto data = connection->receivedData();
    if (!unzipTo) {
        auto done = IVCallbackContext::contextWithCallbackInvocation(
            call("callback:", IVFillCallback(callbackFormat.get(), int64_t{1}).get()).get(), false);
        fileWorker()->sendAsyncCommand(
            IVIOWriteRequest::requestWithPath(path.get(), data.get(), false, done.get()).get());
    } else {
        // The file worker runs these in order: the archive is whole before it is unpacked.
        fileWorker()->sendAsyncCommand(
            IVIOWriteRequest::requestWithPath(path.get(), data.get(), false, nullptr).get());
        NSFileManager::defaultManager()->createDirectoryAtPath(unzipTo.get(), true, nullptr,
                                                               nullptr);
        auto done = IVCallbackContext::contextWithCallbackInvocation(
            call("invokeUnzipCallback:results:", callbackFormat.get()).get(), true);
        fileWorker()->sendAsyncCommand(
            IVIOUnzipRequest::requestWithSourceZipFilePath(path.get(), unzipTo.get(), done.get())
                .get());
    }
    connections_->removeObjectIdenticalTo(connection);
}

void IVStandardCommandHandler::downloadFailed(IVDownloadConnection* connection) {
    Ref<IVDownloadConnection> keep(connection);
    auto info = as<NSDictionary>(connection->userData());
    send(IVFillCallback(as<NSString>(info->objectForKey(kCallbackKey)).get(), int64_t{0}).get());
    connections_->removeObjectIdenticalTo(connection);
}

void IVStandardCommandHandler::downloadTimedOut(IVDownloadConnection* connection) {
    connections_->removeObjectIdenticalTo(connection);
}

void IVStandardCommandHandler::invokeUnzipCallback(NSString* callback, NSNumber* outcome) {
    bool ok = outcome && as<NSNumber>(static_cast<NSObject*>(outcome)) && outcome->boolValue();
    send(IVFillCallback(callback, int64_t{ok ? 1 : 0}).get());
}

// ---- settings and SQL -----------------------------------------------------------------------

void IVStandardCommandHandler::getSetting(NSString* recordID, NSString* callback) {
    auto ids = NSArray::arrayWithObject(recordID ? recordID : NS(""));
    auto context = IVCallbackContext::contextWithCallbackInvocation(
        call("invokeGetSettingCallback:results:", callback).get(), true);
    auto query = IVDBQuery::queryWithQuery(NS("SELECT data FROM settings WHERE id=?"), ids.get(),
                                           context.get());
    runQuery(query.get());
}

void IVStandardCommandHandler::invokeGetSettingCallback(NSString* callback, NSArray* results) {
    auto rows = as<NSArray>(static_cast<NSObject*>(results));
    if (!rows || rows->count() == 0) return;
    auto row = as<NSArray>(rows->objectAtIndex(0));
    if (!row || row->count() == 0) return;
    auto value = row->objectAtIndex(0);
    if (auto number = as<NSNumber>(value)) {
        send(IVFillCallback(callback, static_cast<int64_t>(number->longLongValue())).get());
        return;
    }
    send(IVFillCallback(callback, IVQuotedForScript(value->description().get())).get());
}

void IVStandardCommandHandler::setSettingNumber(NSString* recordID, NSObject* number,
                                                NSString* callback) {
    int64_t value = 0;
    if (auto n = as<NSNumber>(number))
        value = n->longLongValue();
    else if (auto s = as<NSString>(number))
        value = s->longLongValue();
    auto context = callback ? IVCallbackContext::contextWithCallbackInvocation(
                                  call("callback:", callback).get(), false)
                            : nullptr;
    IVController::sharedController()->database()->setRecordID(recordID, NS("settings"), value,
                                                              context.get());
}

void IVStandardCommandHandler::setSettingNumber(NSString* recordID, NSObject* number) {
    setSettingNumber(recordID, number, nullptr);
}

void IVStandardCommandHandler::setSettingString(NSString* recordID, NSString* string,
                                                NSString* callback) {
    auto context = callback ? IVCallbackContext::contextWithCallbackInvocation(
                                  call("callback:", callback).get(), false)
                            : nullptr;
    IVController::sharedController()->database()->setRecordID(
        recordID, NS("settings"), string ? string : NS(""), context.get());
}

void IVStandardCommandHandler::setSettingString(NSString* recordID, NSString* string) {
    setSettingString(recordID, string, nullptr);
}

void IVStandardCommandHandler::setSettingBase64Data(NSString* recordID, NSString* base64,
                                                    NSString* callback) {
    auto context = callback ? IVCallbackContext::contextWithCallbackInvocation(
                                  call("callback:", callback).get(), false)
                            : nullptr;
    IVController::sharedController()->database()->setRecordID(
        recordID, NS("settings"), IVBase64::dataWithBase64String(base64).get(), context.get());
}

void IVStandardCommandHandler::setSettingBase64Data(NSString* recordID, NSString* base64) {
    setSettingBase64Data(recordID, base64, nullptr);
}

void IVStandardCommandHandler::sqlExecute(NSString* sql, NSString* callback) {
    auto context = IVCallbackContext::contextWithCallbackInvocation(
        call("invokeSqlExecuteCallback:results:", callback).get(), true);
    runQuery(IVDBQuery::queryWithQuery(sql, context.get()).get());
}

void IVStandardCommandHandler::sqlExecute(NSString* sql) {
    runQuery(IVDBQuery::queryWithQuery(sql).get());
}

void IVStandardCommandHandler::invokeSqlExecuteCallback(NSString* callback, NSArray* results) {
    auto rows = as<NSArray>(static_cast<NSObject*>(results));
    auto json = IVJSON::stringWithObject(rows ? rows.get() : NSArray::array().get());
    send(IVFillCallback(callback, IVQuotedForScript(json.get())).get());
}

void IVStandardCommandHandler::log(NSString*) {}

// ---- controller, network, mode --------------------------------------------------------------

void IVStandardCommandHandler::getNetworkReachabilityForURL(NSString* url, NSString* callback) {
    auto reachability = IVReachability::sharedReachability();
    auto parsed = url ? NSURL::URLWithString(url) : nullptr;
    reachability->setHostName(parsed ? parsed->host().get() : nullptr);
    send(IVFillCallback(callback, int64_t{reachability->internetConnectionStatus()}).get());
}

void IVStandardCommandHandler::getControllerProperty(NSString* key, NSString* callback) {
    if (!isControllerKey(key)) return;
    auto value = IVController::sharedController()->valueForKey(key);
    send(IVFillCallback(callback,
                        IVQuotedForScript(value ? value->description().get() : NS("(null)")))
             .get());
}

void IVStandardCommandHandler::setControllerProperty(NSString* key, NSObject* value) {
    if (!isControllerKey(key)) return;
    auto controller = IVController::sharedController();
    auto text = as<NSString>(value);
    auto number = as<NSNumber>(value);
    auto asDouble = [&] {
        return number ? number->doubleValue() : text ? text->doubleValue() : 0.0;
    };
    if (key->isEqualToString(NS("disabled")))
        controller->setDisabled(number ? number->boolValue() : text && text->boolValue());
    else if (key->isEqualToString(NS("sbwPropName")))
        controller->setSbwPropName(text ? text.get() : NS(""));
    else if (key->isEqualToString(NS("menuDisplayTime")))
        controller->setMenuDisplayTime(asDouble());
    else if (key->isEqualToString(NS("exitItemDisplayTime")))
        controller->setExitItemDisplayTime(asDouble());
    else if (key->isEqualToString(NS("execMode")))
        controller->setExecMode(truncatedNumber<int32_t>(asDouble()));
}

void IVStandardCommandHandler::setExecMode(int32_t mode) {
    if (auto b = bridge()) b->setExecMode(mode);
}

void IVStandardCommandHandler::getExecModeWithCallback(NSString* callback) {
    auto b = bridge();
    send(IVFillCallback(callback, int64_t{b ? b->execMode() : 0}).get());
}

void IVStandardCommandHandler::callback(NSString* javascript) {
    if (javascript) send(javascript);
}
