#include "SiteTesting.h"

// jpeglib.h needs size_t and FILE declared before it.
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>
#include <png.h>

#include "CFNetwork/CFNetwork.h"
#include "Classes/CatagoryItem.h"
#include "Classes/CatagoryPage.h"
#include "Classes/ItemInfo.h"
#include "Classes/ItemListPage.h"
#include "Classes/MetroItem.h"
#include "Classes/MetroPage.h"
#include "Classes/PostSection.h"
#include "Classes/Regex.h"
#include "Classes/StringFunctions.h"
#include "Classes/SuburbPage.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSHTTPCookieStorage.h"
#include "Foundation/NSURL.h"
#include "external/nk-http-request/Classes/NKFormDataRequest.h"
#include "support/RunLoopTesting.h"

namespace sitetest {

namespace {

const char* const kUserAgent =
    "Mozilla/5.0 (iPhone; CPU iPhone OS 5_0 like Mac OS X) AppleWebKit/534.46 (KHTML, like "
    "Gecko) Version/5.1 Mobile/9A334 Safari/7534.48.3";
const char* const kAccept = "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";

Page finish(NKHTTPRequest* r) {
    Page p;
    p.request = r;
    p.status = r->responseStatusCode();
    p.failed = r->error() != nullptr;
    if (Ref<NSString> s = r->responseString()) p.text = s->utf8();
    if (Ref<NSData> d = r->responseData())
        p.bytes.assign(static_cast<const char*>(d->bytes()), d->length());
    if (Ref<NSDictionary> h = r->responseHeaders()) {
        if (auto type = as<NSString>(h->objectForKey(NS("Content-Type"))))
            p.contentType = type->utf8();
    }
    if (Ref<NSURL> u = r->url()) p.url = u->absoluteString()->utf8();
    return p;
}

// A page read from text has made no request of its own, so the address it came from goes into
// the member its requests set.
struct PageAddress : WebPage {
    static void set(WebPage* page, NSURL* url) { page->*(&PageAddress::url_) = url; }
};

template <class P>
Ref<P> pageOf(const std::string& text, const std::string& url = {}) {
    Ref<P> page = make<P>();
    load(page.get(), text, url);
    return page;
}

std::string textOrEmpty(NSString* text) {
    return text ? text->utf8() : std::string();
}

struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void jpegFailed(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1);
}

}  // namespace

Page get(const std::string& url) {
    site();
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(NSURL::URLWithString(str(url)));
    r->addRequestHeader(NS("User-Agent"), str(kUserAgent));
    r->addRequestHeader(NS("Accept"), str(kAccept));
    r->setValidatesSecureCertificate(true);  // as the app's pages ask
    r->startSynchronous();
    return finish(r);
}

Page post(const std::string& url, const Pairs& pairs, int format) {
    site();
    Ref<NKFormDataRequest> r = NKFormDataRequest::requestWithURL(NSURL::URLWithString(str(url)));
    r->addRequestHeader(NS("User-Agent"), str(kUserAgent));
    r->addRequestHeader(NS("Accept"), str(kAccept));
    r->setValidatesSecureCertificate(true);
    r->setPostFormat(format);
    for (const auto& [name, value] : pairs) {
        if (value.isFile) {
            r->addData(NSData::dataWithBytes(value.text.data(),
                                             static_cast<NSUInteger>(value.text.size())),
                       str(name), NS("image/jpeg"), str(name));
        } else {
            r->setPostValue(str(value.text), str(name));
        }
    }
    r->startSynchronous();
    return finish(r);
}

void clearCookies() {
    NSHTTPCookieStorage::sharedHTTPCookieStorage()->removeAllCookies();
    NKHTTPRequest::setSessionCookies(nullptr);
}

namespace {
struct StreamState {
    StreamResult result;
    bool done = false;
};

void onStreamEvent(CFReadStreamRef stream, CFStreamEventType type, void* info) {
    auto* state = static_cast<StreamState*>(info);
    if (type == kCFStreamEventHasBytesAvailable) {
        std::string buffer(16384, '\0');
        CFIndex n = CFReadStreamRead(stream, reinterpret_cast<uint8_t*>(buffer.data()),
                                     static_cast<CFIndex>(buffer.size()));
        if (n > 0) state->result.body.append(buffer.data(), static_cast<size_t>(n));
    } else if (type == kCFStreamEventEndEncountered) {
        state->done = true;
    } else if (type == kCFStreamEventErrorOccurred) {
        state->done = true;
        state->result.failed = true;
        if (Ref<NSError> e = CFReadStreamCopyError(stream)) state->result.errorCode = e->code();
    }
}
}  // namespace

StreamResult validatedGet(const std::string& url) {
    site();
    Ref<CFHTTPMessage> message = CFHTTPMessageCreateRequest(
        kCFAllocatorDefault, NS("GET"), NSURL::URLWithString(str(url)), kCFHTTPVersion1_1);
    Ref<CFReadStream> stream = CFReadStreamCreateForHTTPRequest(kCFAllocatorDefault, message);
    StreamState state;
    CFStreamClientContext context{0, &state, nullptr, nullptr, nullptr};
    CFReadStreamSetClient(stream,
                          kCFStreamEventHasBytesAvailable | kCFStreamEventErrorOccurred |
                              kCFStreamEventEndEncountered,
                          onStreamEvent, &context);
    NSRunLoop* loop = CFRunLoopGetCurrent();
    CFReadStreamScheduleWithRunLoop(stream, loop, NSDefaultRunLoopMode);
    if (CFReadStreamOpen(stream)) runLoopUntil([&] { return state.done; }, 10.0);
    CFReadStreamSetClient(stream, 0, nullptr, nullptr);
    CFReadStreamUnscheduleFromRunLoop(stream, loop, NSDefaultRunLoopMode);
    CFReadStreamClose(stream);
    return state.result;
}

std::string rawExchange(const std::string& bytes, bool* reset, int port) {
    if (reset) *reset = false;
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port ? port : site().port()));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return {};
    }
    ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    std::string out;
    char buffer[16384];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0) break;
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == ECONNRESET && reset) *reset = true;
        if (n <= 0) break;
        out.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return out;
}

std::string rawBody(const std::string& response) {
    size_t at = response.find("\r\n\r\n");
    return at == std::string::npos ? std::string() : response.substr(at + 4);
}

bnsite::HttpResponse handled(const std::string& url, const std::string& cookie,
                             const std::optional<std::string>& form, bnsite::Site* on) {
    bnsite::HttpRequest r;
    std::size_t hostAt = url.find("://") + 3;
    std::size_t pathAt = std::min(url.find('/', hostAt), url.size());
    r.tls = url.rfind("https://", 0) == 0;
    r.host = url.substr(hostAt, pathAt - hostAt);
    r.target = pathAt < url.size() ? url.substr(pathAt) : "/";
    if (!cookie.empty()) r.headers.push_back({"Cookie", cookie});
    if (form) {
        r.method = "POST";
        r.headers.push_back({"Content-Type", "application/x-www-form-urlencoded"});
        r.body = *form;
    }
    return (on ? *on : site()).handle(r);
}

std::string cookieSet(const bnsite::HttpResponse& response, const std::string& name) {
    for (const auto& h : response.headers) {
        if (h.name == "Set-Cookie" && h.value.rfind(name + "=", 0) == 0)
            return h.value.substr(0, h.value.find(';'));
    }
    return "";
}

// ---- patterns and pages ------------------------------------------------------------------------

std::optional<std::string> match(const std::string& text, const std::string& pattern, int group) {
    auto regex = make<Regex>(&Regex::initWithMarks, str(text).get(), str(pattern).get(),
                             static_cast<NSString*>(nullptr), static_cast<NSString*>(nullptr));
    return textOf(regex->getMatchCapture(group).get());
}

std::vector<std::vector<std::string>> walk(const std::string& text, const std::string& pattern,
                                           int groups, const char* startMark, const char* endMark) {
    std::vector<std::vector<std::string>> out;
    auto regex = make<Regex>(&Regex::initWithMarks, str(text).get(), str(pattern).get(),
                             startMark ? str(startMark).get() : nullptr,
                             endMark ? str(endMark).get() : nullptr);
    for (;;) {
        std::vector<std::string> captures;
        for (int g = 1; g <= groups; ++g) {
            Ref<NSString> capture = regex->getMatchCapture(g);
            if (!capture) return out;
            captures.push_back(capture->utf8());
        }
        out.push_back(captures);
        regex->gotoNextMatch();
    }
}

std::vector<std::string> split(const std::string& text, const std::string& marker) {
    std::vector<std::string> out;
    Ref<NSArray> pieces = str(text)->componentsSeparatedByString(str(marker).get());
    for (NSUInteger i = 0; i < pieces->count(); ++i)
        out.push_back(cast<NSString>(pieces->objectAtIndex(i))->utf8());
    return out;
}

void load(WebPage* page, const std::string& text, const std::string& url) {
    page->setWebpage(str(text).get());
    if (!url.empty()) PageAddress::set(page, NSURL::URLWithString(str(url).get()).get());
}

std::optional<std::string> textOf(NSString* text) {
    if (!text) return std::nullopt;
    return text->utf8();
}

std::optional<std::string> inputValue(const std::string& page, const std::string& name) {
    return textOf(pageOf<WebPage>(page)->getInputValue(str(name).get()).get());
}

std::optional<std::string> inputKeyByToken(const std::string& page, const std::string& token) {
    return textOf(pageOf<WebPage>(page)->getInputKeyByToken(str(token).get()).get());
}

// ---- page readers -------------------------------------------------------------------------------

namespace {
Metro metroOf(MetroItem* item) {
    return {textOrEmpty(item->name().get()), textOrEmpty(item->url().get()),
            textOrEmpty(item->state().get()), textOrEmpty(item->region().get())};
}

std::vector<Metro> metrosOf(NSArray* items) {
    std::vector<Metro> out;
    for (NSUInteger i = 0; i < items->count(); ++i)
        out.push_back(metroOf(cast<MetroItem>(items->objectAtIndex(i)).get()));
    return out;
}
}  // namespace

std::vector<Metro> scrapeMetros(const std::string& page) {
    return metrosOf(pageOf<MetroPage>(page)->getMetros().get());
}

std::vector<Metro> scrapeSuburbs(const std::string& page, const Metro& parent) {
    auto item = MetroItem::itemWithName(str(parent.name).get(), str(parent.url).get(),
                                        str(parent.state).get(), str(parent.region).get());
    return metrosOf(pageOf<SuburbPage>(page)->getSuburbs(item.get()).get());
}

std::vector<CategoryItem> scrapeCategories(const std::string& page) {
    std::vector<CategoryItem> out;
    Ref<NSMutableArray> items = pageOf<CatagoryPage>(page)->getCatagories();
    for (NSUInteger i = 0; i < items->count(); ++i) {
        auto c = cast<CatagoryItem>(items->objectAtIndex(i));
        out.push_back({textOrEmpty(c->name().get()), textOrEmpty(c->url().get()),
                       textOrEmpty(c->section().get()), c->allCatagory()});
    }
    return out;
}

std::vector<Row> scrapeRows(const std::string& page) {
    std::vector<Row> out;
    Ref<NSMutableArray> items = pageOf<ItemListPage>(page)->getItemList();
    for (NSUInteger i = 0; i < items->count(); ++i) {
        auto item = cast<ItemInfo>(items->objectAtIndex(i));
        Row r;
        r.title = textOrEmpty(item->title().get());
        r.link = textOrEmpty(item->detailUrl().get());
        r.hasPrice = item->price() != nullptr;
        r.price = textOrEmpty(item->price().get());
        r.hasLocation = item->location() != nullptr;
        r.location = textOrEmpty(item->location().get());
        r.hasExtra = item->extraInfo() != nullptr;
        r.extraInfo = textOrEmpty(item->extraInfo().get());
        out.push_back(r);
    }
    return out;
}

bool hasMoreResults(const std::string& page) {
    return pageOf<ItemListPage>(page)->hasMoreResults();
}

ItemDetails scrapeItem(const std::string& page, const std::string& pageUrl) {
    auto item = make<ItemInfo>();
    item->showImage = true;
    pageOf<ItemPage>(page, pageUrl)->fillItemInfo(item.get());
    ItemDetails d;
    d.detail = textOrEmpty(item->detail().get());
    d.time = textOf(item->time().get());
    d.phone = textOf(item->phoneNumber().get());
    d.replyUrl = textOf(item->replyUrl().get());
    Ref<NSMutableArray> images = item->imageUrl();
    for (NSUInteger i = 0; images && i < images->count(); ++i)
        d.images.push_back(cast<NSString>(images->objectAtIndex(i))->utf8());
    return d;
}

std::string escapeQuery(const std::string& text) {
    return escapeQueryString(str(text).get())->utf8();
}

std::string resultUrl(const Query& q, int pageNumber) {
    std::string offset = pageNumber >= 2 ? std::to_string(100 * (pageNumber - 1)) : "";
    if (q.keyword) {
        std::string host = match(q.locationUrl, "(http://[^/]*)").value_or("");
        std::string area = match(q.locationUrl, "http://.*(/[^\\.]*)").value_or("");
        std::string category = q.categoryUrl;
        std::erase(category, '/');
        std::string url = host + "/search/" + category + area + "?";
        url += "query=" + escapeQuery(*q.keyword);
        if (q.sortOrder == 1) url += "&sort=rel";
        if (q.sortOrder == 2) url += "&sort=priceasc";
        if (q.sortOrder == 3) url += "&sort=pricedsc";
        url += "&srchType=" + q.searchType;
        url += "&minAsk=" + q.priceMin + "&maxAsk=" + q.priceMax;
        if (q.hasImage) url += "&hasPic=1";
        if (pageNumber >= 2) url += "&s=" + offset;
        return url;
    }
    if (pageNumber < 2) return q.locationUrl + "/" + q.categoryUrl;
    return q.locationUrl + "/" + q.categoryUrl + "index" + offset + ".html";
}

int postPageType(const std::string& page) {
    return pageOf<PostPage>(page)->getPostPageType();
}

std::vector<Section> sectionList(const std::string& page) {
    std::vector<Section> out;
    Ref<NSArray> sections = pageOf<PostPage>(page)->getSectionList();
    for (NSUInteger i = 0; i < sections->count(); ++i) {
        auto s = cast<PostSection>(sections->objectAtIndex(i));
        out.push_back({textOrEmpty(s->name().get()), textOrEmpty(s->key().get()),
                       textOrEmpty(s->value().get())});
    }
    return out;
}

std::vector<std::string> signature(const std::string& page) {
    std::vector<std::string> out;
    Ref<NSArray> pair = pageOf<PostPage>(page)->getSignatureValueAndKey();
    for (NSUInteger i = 0; i < pair->count(); ++i)
        out.push_back(cast<NSString>(pair->objectAtIndex(i))->utf8());
    return out;
}

std::map<std::string, std::string> confirmInputs(const std::string& page) {
    std::map<std::string, std::string> out;
    Ref<NSMutableDictionary> inputs = pageOf<PostPage>(page)->getConfirmInputs();
    Ref<NSArray> names = inputs->allKeys();
    for (NSUInteger i = 0; i < names->count(); ++i) {
        auto name = cast<NSString>(names->objectAtIndex(i));
        out[name->utf8()] = cast<NSString>(inputs->objectForKey(name.get()))->utf8();
    }
    return out;
}

std::optional<std::string> postActionUrl(const std::string& page) {
    return readPage(page, &PostPage::getActionUrl);
}

std::optional<std::string> iframeUrl(const std::string& page) {
    return readPage(page, &PostPage::getVerificationUrl);
}

std::optional<std::string> solveCaptcha(const std::string& url, bool answerRight) {
    site();
    auto page = make<VerificationPage>();
    page->downloadPageSync(str(url).get());
    Ref<NSString> field = page->getChallengeField();
    if (!field) return std::nullopt;
    std::string answer =
        answerRight ? site().captchaAnswer(field->utf8()).value_or("") : "wrong words";
    page->postAnswer(str(answer).get(), nullptr);
    return textOf(page->getVerificationCode().get());
}

// ---- images -------------------------------------------------------------------------------------

std::string jpegBytes() {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = 8;
    info.image_height = 8;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_start_compress(&info, TRUE);
    unsigned char row[8 * 3] = {};
    for (int y = 0; y < 8; ++y) {
        JSAMPROW r = row;
        jpeg_write_scanlines(&info, &r, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::string out(reinterpret_cast<char*>(buffer), size);
    std::free(buffer);
    return out;
}

bool decodesAsJpeg(const std::string& bytes, int* width, int* height) {
    jpeg_decompress_struct info{};
    JpegErrors errors{};
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = jpegFailed;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info);
    std::vector<unsigned char> row(info.output_width *
                                   static_cast<unsigned>(info.output_components));
    while (info.output_scanline < info.output_height) {
        JSAMPROW r = row.data();
        jpeg_read_scanlines(&info, &r, 1);
    }
    *width = static_cast<int>(info.output_width);
    *height = static_cast<int>(info.output_height);
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

bool decodesAsPng(const std::string& bytes, int* width, int* height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return false;
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(image));
    bool ok = png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) != 0;
    *width = static_cast<int>(image.width);
    *height = static_cast<int>(image.height);
    png_image_free(&image);
    return ok;
}

}  // namespace sitetest
