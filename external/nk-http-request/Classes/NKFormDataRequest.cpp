#include "external/nk-http-request/Classes/NKFormDataRequest.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSStream.h"
#include "external/nk-http-request/Classes/NKHTTPRequestInternal.h"

namespace nk_detail {
Ref<NSString> IANACharSetNameForEncoding(NSStringEncoding encoding);
}

namespace {
// One boundary for every multipart body.
NSString* boundary() {
    return NS("0xKhTmLbOuNdArY");
}

Ref<NSString> textOf(NSDictionary* entry, NSString* key) {
    return as<NSString>(entry->objectForKey(key));
}
}  // namespace

Ref<NKFormDataRequest> NKFormDataRequest::requestWithURL(NSURL* url) {
    return make<NKFormDataRequest>(&NKFormDataRequest::initWithURL, url);
}

bool NKFormDataRequest::initWithURL(NSURL* url) {
    if (!NKHTTPRequest::initWithURL(url)) return false;
    postFormat_ = NKURLEncodedPostFormat;
    stringEncoding_ = NSUTF8StringEncoding;
    return true;
}

Ref<NSObject> NKFormDataRequest::copyWithZone() {
    Ref<NKFormDataRequest> copy = as<NKFormDataRequest>(NKHTTPRequest::copyWithZone());
    if (!copy) return nullptr;
    // The copy builds its own body from the lists: what this request built (a temporary file
    // it will delete, or bytes) is not its to send.
    if (didCreateTemporaryPostDataFile()) {
        copy->setPostBodyFilePath(nullptr);
    }
    copy->setPostBody(nullptr);
    copy->setHaveBuiltPostBody(false);
    if (Ref<NSMutableArray> values = postData()) copy->setPostData(values->mutableCopy());
    if (Ref<NSMutableArray> files = fileData()) copy->setFileData(files->mutableCopy());
    copy->setPostFormat(postFormat());
    copy->setStringEncoding(stringEncoding());
    copy->setRequestMethod(requestMethod());
    return copy;
}

// ---- values and files ---------------------------------------------------------------------------

void NKFormDataRequest::removeEntries(NSMutableArray* list, NSString* key) {
    if (!list) return;
    for (NSUInteger i = 0; i < list->count();) {
        auto entry = as<NSDictionary>(list->objectAtIndex(i));
        Ref<NSString> k = entry ? textOf(entry, NS("key")) : nullptr;
        if (k && key && k->isEqualToString(key)) {
            list->removeObjectAtIndex(i);
        } else {
            ++i;
        }
    }
}

void NKFormDataRequest::addPostValue(NSObject* value, NSString* key) {
    if (!key) return;
    Ref<NSMutableArray> values = postData();
    if (!values) {
        values = NSMutableArray::array();
        setPostData(values);
    }
    Ref<NSString> text = value ? value->description() : NSString::string();
    values->addObject(NSDictionary::dictionaryWithPairs({{NS("key"), key}, {NS("value"), text}}));
}

void NKFormDataRequest::setPostValue(NSObject* value, NSString* key) {
    removeEntries(postData(), key);
    addPostValue(value, key);
}

void NKFormDataRequest::addFile(NSString* filePath, NSString* key) {
    addFile(filePath, nullptr, nullptr, key);
}

void NKFormDataRequest::addFile(NSObject* data, NSString* fileName, NSString* contentType,
                                NSString* key) {
    Ref<NSString> name(fileName), type(contentType);
    if (auto path = as<NSString>(Ref<NSObject>(data))) {
        bool isDirectory = false;
        if (!NSFileManager::defaultManager()->fileExistsAtPath(path, &isDirectory) || isDirectory) {
            failWithError(nk_detail::engineError(
                NKInternalErrorWhileBuildingRequestType,
                NSString::stringWithFormat(NS("No file exists at %@"), path)));
        }
        if (!name) name = path->lastPathComponent();
        if (!type) type = mimeTypeForFileAtPath(path);
    }
    // A part must carry a name and a type on the wire.
    if (!name) name = NS("file");
    if (!type) type = NS("application/octet-stream");
    if (!data || !key) return;
    Ref<NSMutableArray> files = fileData();
    if (!files) {
        files = NSMutableArray::array();
        setFileData(files);
    }
    files->addObject(NSDictionary::dictionaryWithPairs(
        {{NS("data"), data}, {NS("contentType"), type}, {NS("fileName"), name}, {NS("key"), key}}));
}

void NKFormDataRequest::addData(NSData* data, NSString* key) {
    addData(data, NS("file"), nullptr, key);
}

void NKFormDataRequest::addData(NSData* data, NSString* fileName, NSString* contentType,
                                NSString* key) {
    addFile(data, fileName, contentType ? contentType : NS("application/octet-stream"), key);
}

void NKFormDataRequest::setFile(NSString* filePath, NSString* key) {
    setFile(filePath, nullptr, nullptr, key);
}

void NKFormDataRequest::setFile(NSObject* data, NSString* fileName, NSString* contentType,
                                NSString* key) {
    removeEntries(fileData(), key);
    addFile(data, fileName, contentType, key);
}

void NKFormDataRequest::setData(NSData* data, NSString* key) {
    setData(data, NS("file"), nullptr, key);
}

void NKFormDataRequest::setData(NSData* data, NSString* fileName, NSString* contentType,
                                NSString* key) {
    removeEntries(fileData(), key);
    addData(data, fileName, contentType, key);
}

// ---- the body -----------------------------------------------------------------------------------

void NKFormDataRequest::buildPostBody() {
    if (haveBuiltPostBody()) return;
    Ref<NSMutableArray> values = postData();
    Ref<NSMutableArray> files = fileData();
    if (!values && !files) {
        NKHTTPRequest::buildPostBody();
        return;
    }
    // A body built before (and marked unbuilt since) is made again from the lists, not added
    // to: the same lists give the same body.
    if (builtOnce_) {
        if (didCreateTemporaryPostDataFile()) removePostDataFile();
        setDidCreateTemporaryPostDataFile(false);
        setPostBody(nullptr);
    }
    builtOnce_ = true;
    if (files && files->count() > 0) setShouldStreamPostDataFromDisk(true);
    if (postFormat() == NKURLEncodedPostFormat) {
        buildURLEncodedPostBody();
    } else {
        buildMultipartFormDataPostBody();
    }
    NKHTTPRequest::buildPostBody();
}

void NKFormDataRequest::appendPostString(NSString* string) {
    Ref<NSData> bytes = string ? string->dataUsingEncoding(stringEncoding()) : nullptr;
    // Text the encoding cannot carry adds nothing; the rest of the body is still written.
    appendPostData(bytes ? bytes.get() : NSData::data().get());
}

Ref<NSString> NKFormDataRequest::encodeURL(NSString* string) {
    if (!string) return NSString::string();
    Ref<NSString> escaped = string->stringByAddingPercentEscapesUsingEncoding(
        stringEncoding(), nullptr, NS(":/?#[]@!$&'()*+,;=\"<>%{}|\\^~` "));
    return escaped ? escaped : NSString::string();
}

void NKFormDataRequest::buildURLEncodedPostBody() {
    Ref<NSMutableArray> files = fileData();
    if (files && files->count() > 0) {
        setPostFormat(NKMultipartFormDataPostFormat);
        buildMultipartFormDataPostBody();
        return;
    }
    Ref<NSString> charset = nk_detail::IANACharSetNameForEncoding(stringEncoding());
    addRequestHeader(
        NS("Content-Type"),
        NSString::stringWithFormat(NS("application/x-www-form-urlencoded; charset=%@"), charset));
    setupPostBody();
    Ref<NSMutableArray> values = postData();
    NSUInteger n = values ? values->count() : 0;
    for (NSUInteger i = 0; i < n; ++i) {
        auto entry = as<NSDictionary>(values->objectAtIndex(i));
        appendPostString(NSString::stringWithFormat(
            NS("%@=%@%@"), encodeURL(textOf(entry, NS("key"))),
            encodeURL(textOf(entry, NS("value"))), i + 1 < n ? NS("&") : NS("")));
    }
}

void NKFormDataRequest::buildMultipartFormDataPostBody() {
    Ref<NSString> charset = nk_detail::IANACharSetNameForEncoding(stringEncoding());
    addRequestHeader(NS("Content-Type"),
                     NSString::stringWithFormat(NS("multipart/form-data; charset=%@; boundary=%@"),
                                                charset, boundary()));
    Ref<NSString> separator = NSString::stringWithFormat(NS("\r\n--%@\r\n"), boundary());
    appendPostString(NSString::stringWithFormat(NS("--%@\r\n"), boundary()));

    Ref<NSMutableArray> values = postData();
    Ref<NSMutableArray> files = fileData();
    NSUInteger valueCount = values ? values->count() : 0;
    NSUInteger fileCount = files ? files->count() : 0;

    for (NSUInteger i = 0; i < valueCount; ++i) {
        auto entry = as<NSDictionary>(values->objectAtIndex(i));
        appendPostString(NSString::stringWithFormat(
            NS("Content-Disposition: form-data; name=\"%@\"\r\n\r\n"), textOf(entry, NS("key"))));
        appendPostString(textOf(entry, NS("value")));
        if (i + 1 < valueCount || fileCount > 0) appendPostString(separator);
    }

    for (NSUInteger i = 0; i < fileCount; ++i) {
        auto entry = as<NSDictionary>(files->objectAtIndex(i));
        appendPostString(NSString::stringWithFormat(
            NS("Content-Disposition: form-data; name=\"%@\"; filename=\"%@\"\r\n"),
            textOf(entry, NS("key")), textOf(entry, NS("fileName"))));
        appendPostString(NSString::stringWithFormat(NS("Content-Type: %@\r\n\r\n"),
                                                    textOf(entry, NS("contentType"))));
        Ref<NSObject> data = entry->objectForKey(NS("data"));
        if (auto path = as<NSString>(data)) {
            appendPostDataFromFile(path);
        } else if (auto bytes = as<NSData>(data)) {
            appendPostData(bytes);
        }
        if (i + 1 < fileCount) appendPostString(separator);
    }

    appendPostString(NSString::stringWithFormat(NS("\r\n--%@--\r\n"), boundary()));
}
