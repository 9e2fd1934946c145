#include "ads/meridian/MRURLDownload.h"

#include <cstdio>
#include <cstdlib>

#include "Foundation/FileSupport.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSFileHandle.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "URLLoading/NSURLResponse.h"

namespace {

int64_t fileLength(NSString* path) {
    auto attributes = NSFileManager::defaultManager()->attributesOfItemAtPath(path, nullptr);
    if (!attributes) return -1;
    auto size = as<NSNumber>(attributes->objectForKey(NSFileSize));
    return size ? size->longLongValue() : -1;
}

// "bytes <first>-<last>/<total>" or "bytes */<total>": the first byte (-1 for "*") and the
// total (-1 when unknown). False when the text is not of that form.
bool parseContentRange(NSString* text, int64_t* first, int64_t* total) {
    if (!text) return false;
    std::string s = text->utf8();
    if (s.rfind("bytes ", 0) != 0) return false;
    s = s.substr(6);
    auto slash = s.find('/');
    if (slash == std::string::npos) return false;
    std::string range = s.substr(0, slash), whole = s.substr(slash + 1);
    *total = whole == "*" ? -1 : std::strtoll(whole.c_str(), nullptr, 10);
    if (range == "*") {
        *first = -1;
        return true;
    }
    char* end = nullptr;
    *first = std::strtoll(range.c_str(), &end, 10);
    return end && *end == '-';
}

}  // namespace

bool MRURLDownload::initWithURL(NSURL* url, NSString* file, MRURLDownloadDelegate* delegate) {
    if (!init()) return false;
    url_ = url;
    filePath_ = file ? cast<NSString>(file->copy()) : nullptr;
    delegate_ = delegate;
    downloadData_ = NSMutableData::data();
    totalDataDownloaded_ = 0;
    int64_t length = filePath_ ? fileLength(filePath_.get()) : -1;
    firstDownload_ = length < 0;
    startDownload(url, firstDownload_ ? 0 : static_cast<int32_t>(length));
    return true;
}

void MRURLDownload::startDownload(NSURL* url, int32_t offset) {
    auto request = NSMutableURLRequest::requestWithURL(url);
    if (offset > 0)
        request->setValueForHTTPHeaderField(
            NSString::stringWithFormat(NS("bytes=%d-"), offset).get(), NS("Range"));
    offset_ = offset;
    disposition_ = Disposition::Unknown;
    if (connection_) connection_->cancel();
    connection_ = nullptr;
    auto connection = alloc<NSURLConnection>();
    if (connection->initWithRequest(request.get(), this, false)) {
        connection_ = connection;
        connection_->start();
    }
}

void MRURLDownload::dealloc() {
    if (connection_) connection_->cancel();
    connection_ = nullptr;
    NSObject::dealloc();
}

void MRURLDownload::connectionDidReceiveResponse(NSURLConnection*, NSURLResponse* response) {
    auto http = as<NSHTTPURLResponse>(response);
    if (firstDownload_ && http && http->allHeaderFields()) {
        if (auto length = http->valueForHTTPHeaderField(NS("Content-Length")))
            contentLength_ = length->floatValue();
    }
    downloadData_->setLength(0);
    if (!http) {
        // Not HTTP (a file URL): the whole resource.
        disposition_ = Disposition::Rewrite;
        return;
    }
    int64_t first = 0, total = -1;
    bool ranged =
        parseContentRange(http->valueForHTTPHeaderField(NS("Content-Range")).get(), &first, &total);
    switch (http->statusCode()) {
        case 200:
            disposition_ = Disposition::Rewrite;
            break;
        case 206:
            disposition_ = ranged && first == offset_ ? Disposition::Append : Disposition::Refuse;
            break;
        case 416:
            // Nothing past the end: the file is whole when its length is the resource's.
            disposition_ = offset_ > 0 && ranged && first < 0 && total == offset_
                               ? Disposition::AlreadyWhole
                               : Disposition::Refuse;
            break;
        default:
            disposition_ = Disposition::Refuse;
            break;
    }
}

void MRURLDownload::connectionDidReceiveData(NSURLConnection*, NSData* data) {
    totalDataDownloaded_ += static_cast<float>(data->length());
    if (disposition_ == Disposition::Append || disposition_ == Disposition::Rewrite)
        downloadData_->appendData(data);
}

void MRURLDownload::storeReceivedBytes() {
    if (!filePath_) return;
    if (disposition_ == Disposition::Rewrite) {
        file_detail::writeDataAtomically(downloadData_.get(), filePath_.get(),
                                         file_detail::Target::OwnStore);
    } else if (disposition_ == Disposition::Append && downloadData_->length() > 0) {
        if (fileLength(filePath_.get()) < 0) {
            file_detail::writeDataAtomically(downloadData_.get(), filePath_.get(),
                                             file_detail::Target::OwnStore);
            return;
        }
        auto handle = NSFileHandle::fileHandleForWritingAtPath(filePath_.get());
        if (!handle) return;
        handle->seekToEndOfFile();
        handle->writeData(downloadData_.get());
        handle->closeFile();
    }
}

void MRURLDownload::connectionDidFinishLoading(NSURLConnection*) {
    Ref<MRURLDownload> keep(this);
    if (disposition_ == Disposition::Refuse || disposition_ == Disposition::Unknown) {
        fail(NSError::errorWithDomain(
                 NSURLErrorDomain, NSURLErrorBadServerResponse,
                 NSDictionary::dictionaryWithObject(
                     NS("The server's reply does not continue the file"), NSLocalizedDescriptionKey)
                     .get())
                 .get());
        return;
    }
    storeReceivedBytes();
    connection_ = nullptr;
    downloadData_ = NSMutableData::data();
    if (auto d = delegate_.lock()) d->downloadDidFinish(this);
}

void MRURLDownload::connectionDidFailWithError(NSURLConnection*, NSError* error) {
    Ref<MRURLDownload> keep(this);
    // What arrived stays in the file, so the next attempt asks only for the rest.
    storeReceivedBytes();
    fail(error);
}

void MRURLDownload::fail(NSError* error) {
    connection_ = nullptr;
    downloadData_ = NSMutableData::data();
    if (auto d = delegate_.lock()) d->downloadDidFail(this, error);
}
