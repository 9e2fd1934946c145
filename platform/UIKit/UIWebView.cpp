#include "UIKit/UIWebView.h"

#include <libxml/tree.h>

#include <algorithm>
#include <mutex>
#include <optional>

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "Foundation/NetworkWork.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIEvent.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIScrollView.h"
#include "UIKit/WebContent/WebPage.h"
#include "UIKit/WebContent/WebRender.h"
#include "UIKit/WebContent/WebText.h"

using webcontent::Page;

bool UIWebViewDelegate::webViewShouldStartLoadWithRequest(UIWebView*, NSURLRequest*,
                                                          UIWebViewNavigationType) {
    return true;
}

// The scroller that holds the page and the view the page is drawn in, under the names that
// code looking into a web view's subviews by class name expects.
class UIScroller : public UIScrollView {
    NS_OBJECT(UIScroller, UIScrollView)
};

class UIWebDocumentView : public UIView {
    NS_OBJECT(UIWebDocumentView, UIView)
public:
    void drawRect(CGRect rect) override;
    UIWebView::Impl* owner = nullptr;  // cleared when the web view goes
};

namespace {

std::mutex& loaderLock() {
    static std::mutex m;
    return m;
}

Ref<NSError> urlError(NSInteger code, NSString* description, NSURL* url) {
    auto info = NSMutableDictionary::dictionary();
    info->setObject(description, NSLocalizedDescriptionKey);
    if (url) {
        info->setObject(url, NSURLErrorFailingURLErrorKey);
        info->setObject(url->absoluteString(), NSURLErrorFailingURLStringErrorKey);
    }
    return NSError::errorWithDomain(NSURLErrorDomain, code, info);
}

void offlineLoader(NSURLRequest* request, UIWebViewLoadCompletion done) {
    UIWebViewLoadResult result;
    result.error = urlError(NSURLErrorNotConnectedToInternet,
                            NS("The Internet connection appears to be offline."),
                            request ? request->URL().get() : nullptr);
    done(std::move(result));
}

UIWebViewURLLoader& loaderSlot() {
    static UIWebViewURLLoader loader = offlineLoader;
    return loader;
}

UIWebViewURLLoader currentLoader() {
    std::lock_guard<std::mutex> g(loaderLock());
    return loaderSlot();
}

// Fetches through the installed loader and hands the result to `onMain` on the main thread.
// The fetch counts as network work in flight until `onMain` has run (or the loader dropped
// the completion).
void fetchCounted(NSURLRequest* request, std::function<void(const UIWebViewLoadResult&)> onMain,
                  UIWebViewRedirectCheck shouldRedirect = nullptr) {
    Ref<NSURL> url = request ? request->URL() : nullptr;
    Ref<NSString> method = request ? request->HTTPMethod() : nullptr;
    auto ticket =
        std::make_shared<NetworkWorkTicket>((method ? method->utf8() : std::string("GET")) + " " +
                                            (url ? url->absoluteString()->utf8() : std::string()));
    currentLoader()(
        request,
        [ticket, onMain](UIWebViewLoadResult result) {
            NSRunLoop::performOnMainThread(
                [ticket, onMain, result] {
                    onMain(result);
                    ticket->end();
                },
                false);
        },
        std::move(shouldRedirect));
}

// A load the delegate stopped on its way (a refused redirect).
Ref<NSError> interruptedError(NSURL* url) {
    auto info = NSMutableDictionary::dictionary();
    info->setObject(NS("Frame load interrupted"), NSLocalizedDescriptionKey);
    if (url) {
        info->setObject(url, NSURLErrorFailingURLErrorKey);
        info->setObject(url->absoluteString(), NSURLErrorFailingURLStringErrorKey);
    }
    return NSError::errorWithDomain(NS("WebKitErrorDomain"), 102, info);
}

std::string lowerScheme(NSURL* url) {
    auto scheme = url ? url->scheme() : nullptr;
    return scheme ? webcontent::lowercased(scheme->utf8()) : std::string();
}

bool isHTTP(NSURL* url) {
    std::string s = lowerScheme(url);
    return s == "http" || s == "https";
}

// The URL's text without its fragment.
std::string withoutFragment(NSURL* url) {
    std::string s = url ? url->absoluteString()->utf8() : std::string();
    return s.substr(0, s.find('#'));
}

std::string mimeTypeForPath(const std::string& path) {
    auto dot = path.rfind('.');
    auto slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "text/html";
    std::string ext = webcontent::lowercased(path.substr(dot + 1));
    if (ext == "html" || ext == "htm" || ext == "shtml") return "text/html";
    if (ext == "xhtml") return "application/xhtml+xml";
    if (ext == "txt" || ext == "text") return "text/plain";
    if (ext == "css") return "text/css";
    if (ext == "js") return "text/javascript";
    if (ext == "json") return "application/json";
    if (ext == "xml") return "text/xml";
    if (ext == "png") return "image/png";
    if (ext == "jpg" || ext == "jpeg") return "image/jpeg";
    if (ext == "gif") return "image/gif";
    return "application/octet-stream";
}

constexpr int kNewEntry = -1;
constexpr int kReloadEntry = -2;

}  // namespace

struct UIWebView::Impl : webcontent::PageHost, webcontent::PageRenderer::Host {
    // What a page was made from.
    struct Content {
        Ref<NSData> data;
        Ref<NSString> MIMEType;
        Ref<NSString> encoding;
    };
    struct HistoryItem {
        Ref<NSURLRequest> request;
        Content content;  // what was shown, replayed on back and forward
        bool replayable;  // an HTML string or data: a reload shows the same content again
        std::string referrer;
    };
    struct Load {
        uint64_t id = 0;
        Ref<NSURLRequest> request;
        std::optional<Content> content;  // given content; otherwise fetched by URL
        int target = kNewEntry;          // history index for back/forward, or kNew/kReload
        std::string referrer;
        bool committed = false;
    };

    UIWebView* view;
    std::vector<HistoryItem> history;
    int index = -1;
    std::optional<Load> active;  // did-start sent, neither finish nor fail yet
    std::shared_ptr<Page> page;
    uint64_t nextLoadId = 1;
    uint64_t generation = 0;
    Ref<NSURLRequest> scheduledRequest;
    NSInteger scheduledType = UIWebViewNavigationTypeOther;
    bool scheduledPosted = false;
    bool dead = false;
    webcontent::PageRenderer renderer{this};
    Ref<UIWebDocumentView> documentView;
    // The field that has the focus: its page and its handle there (0 for none).
    std::weak_ptr<Page> focusPage;
    int32_t focusHandle = 0;

    // A click or typing that reached the element gives it the focus when it takes text, and
    // takes the focus away otherwise.
    void reached(Page& on, _xmlNode* element) {
        while (element && element->type == XML_ELEMENT_NODE && !on.takesText(element))
            element = element->parent;
        bool takes = element && on.takesText(element);
        focusPage = on.weak_from_this();
        focusHandle = takes ? on.handleOf(element) : 0;
    }

    explicit Impl(UIWebView* v) : view(v) {}

    // ---- the picture --------------------------------------------------------------------------
    void pageScriptsRan() override {
        if (!dead) view->setNeedsLayout();
    }

    void rendererFetches(NSURL* url, ResourceDone done) override {
        if (url && url->isFileURL()) {
            // Read from the device, as the page's own file was; later, as a download would be.
            Ref<NSURL> file(url);
            post([file, done](Impl&) {
                auto path = file->path();
                done(path ? NSData::dataWithContentsOfFile(path) : nullptr);
            });
            return;
        }
        auto request = NSURLRequest::requestWithURL(url);
        Weak<UIWebView> weak(view);
        fetchCounted(request, [weak, done](const UIWebViewLoadResult& result) {
            if (!weak.lock()) return;
            done(result.error ? nullptr : result.data);
        });
    }

    void rendererChanged() override {
        if (!dead) view->setNeedsLayout();
    }

    // Lays the page out again when its document, the view's size or its resources changed;
    // the page's scroller and the view it is drawn in take the laid-out height.
    void refreshLayout() {
        if (dead) return;
        Page& current = currentPage();
        CGSize size = view->bounds().size;
        bool changed = renderer.update(&current, size);
        current.setStyleHiddenElements(renderer.hiddenElements());
        if (!changed) return;
        CGFloat height = renderer.contentHeight();
        if (documentView) {
            documentView->setFrame(CGRectMake(0, 0, size.width, height));
            documentView->setNeedsDisplay();
        }
        if (auto scroller = view->scrollView()) {
            scroller->setContentSize(CGSizeMake(size.width, height));
        }
    }

    void paint(CGContextRef context, CGRect rect) {
        if (!dead) renderer.paint(context, rect);
    }

    // The page with its style rules applied to what reads as text.
    Page& laidOutPage() {
        refreshLayout();
        return currentPage();
    }

    // ---- PageHost ---------------------------------------------------------------------------
    void pageRequestsNavigation(NSURLRequest* request, NSInteger type) override {
        if (dead) return;
        // A browser keeps only the last navigation a page asked for before it could act.
        scheduledRequest = request;
        scheduledType = type;
        if (scheduledPosted) return;
        scheduledPosted = true;
        Weak<UIWebView> weak(view);
        NSRunLoop::mainRunLoop()->performBlock([weak] {
            if (auto v = weak.lock()) v->impl().runScheduled();
        });
    }

    void pageFetches(NSURL* url, PageHost::FetchDone done) override {
        auto request = NSURLRequest::requestWithURL(url);
        Weak<UIWebView> weak(view);
        fetchCounted(request, [weak, done](const UIWebViewLoadResult& result) {
            if (!weak.lock()) return;
            done(result.error ? nullptr : result.data,
                 result.textEncoding ? result.textEncoding->utf8() : std::string());
        });
    }

    CGSize pageViewportSize() override { return view->bounds().size; }

    // ---- navigation ---------------------------------------------------------------------------
    void runScheduled() {
        scheduledPosted = false;
        Ref<NSURLRequest> request = std::move(scheduledRequest);
        scheduledRequest = nullptr;
        if (!request || dead) return;
        std::string referrer;
        if (page && isHTTP(page->url())) referrer = page->url()->absoluteString()->utf8();
        navigate(request, UIWebViewNavigationType(scheduledType), std::nullopt, kNewEntry,
                 referrer);
    }

    bool isSameDocument(NSURLRequest* request, UIWebViewNavigationType type) {
        if (!page ||
            (type != UIWebViewNavigationTypeLinkClicked && type != UIWebViewNavigationTypeOther)) {
            return false;
        }
        auto method = request->HTTPMethod();
        if (method && !method->isEqualToString(NS("GET"))) return false;
        Ref<NSURL> url = request->URL();
        auto fragment = url ? url->fragment() : nullptr;
        return fragment && withoutFragment(url) == withoutFragment(page->url());
    }

    void navigate(Ref<NSURLRequest> request, UIWebViewNavigationType type,
                  std::optional<Content> content, int target, std::string referrer) {
        if (!request || dead) return;
        Ref<UIWebView> keep(view);
        uint64_t gen = ++generation;
        // The request the delegate sees is the one that goes out, user agent included.
        if (!content && isHTTP(request->URL()) &&
            !request->valueForHTTPHeaderField(NS("User-Agent"))) {
            auto withAgent = request->mutableCopy();
            withAgent->setValueForHTTPHeaderField(UIWebView::userAgent(), NS("User-Agent"));
            request = withAgent;
        }
        if (auto d = view->delegate()) {
            if (!d->webViewShouldStartLoadWithRequest(view, request, type)) return;
        }
        // The delegate may have started another navigation (or released the view) meanwhile.
        if (gen != generation || dead) return;
        scheduledRequest = nullptr;
        if (!content && target == kNewEntry && isSameDocument(request, type)) {
            page->setURL(request->URL());
            if (index >= 0) {
                HistoryItem item = history[size_t(index)];
                item.request = request;
                history.resize(size_t(index) + 1);
                history.push_back(item);
                index = int(history.size()) - 1;
            }
            return;
        }
        cancelActive();
        if (gen != generation || dead) return;
        Load load;
        load.id = nextLoadId++;
        load.request = request;
        load.content = std::move(content);
        load.target = target;
        load.referrer = std::move(referrer);
        uint64_t id = load.id;
        active = std::move(load);
        view->loading_ = true;
        if (auto d = view->delegate()) d->webViewDidStartLoad(view);
        if (!active || active->id != id || dead) return;
        fetch(id);
    }

    // Ends the load in progress as cancelled.
    void cancelActive() {
        if (!active) return;
        Ref<NSURL> url = active->request->URL();
        bool committed = active->committed;
        active.reset();
        view->loading_ = false;
        if (committed && page) page->stopLoading();
        if (auto d = view->delegate()) {
            d->webViewDidFailLoadWithError(view,
                                           urlError(NSURLErrorCancelled, NS("cancelled"), url));
        }
    }

    void post(std::function<void(Impl&)> step) {
        Weak<UIWebView> weak(view);
        NSRunLoop::mainRunLoop()->performBlock([weak, step] {
            if (auto v = weak.lock()) step(v->impl());
        });
    }

    void fetch(uint64_t id) {
        Load& load = *active;
        if (load.content) {
            Content c = *load.content;
            post([id, c](Impl& self) { self.arrived(id, c, nullptr); });
            return;
        }
        Ref<NSURLRequest> request = load.request;
        Ref<NSURL> url = request->URL();
        std::string scheme = lowerScheme(url);
        if (scheme == "about") {
            Content c{NSData::data(), NS("text/html"), NS("UTF-8")};
            post([id, c](Impl& self) { self.arrived(id, c, nullptr); });
        } else if (scheme == "file") {
            post([id, url](Impl& self) {
                auto path = url->path();
                auto data = path ? NSData::dataWithContentsOfFile(path) : nullptr;
                if (!data) {
                    self.failed(
                        id, urlError(NSURLErrorFileDoesNotExist,
                                     NS("The requested URL was not found on this server."), url));
                    return;
                }
                Content c{data, NSString::fromUTF8(mimeTypeForPath(path->utf8())), nullptr};
                self.arrived(id, c, nullptr);
            });
        } else if (scheme == "data") {
            post([id, url](Impl& self) {
                auto decoded = webcontent::decodeDataURL(url->absoluteString()->utf8());
                if (!decoded) {
                    self.failed(id, urlError(NSURLErrorBadURL, NS("bad URL"), url));
                    return;
                }
                Content c{
                    NSData::dataWithBytes(decoded->bytes.data(), NSUInteger(decoded->bytes.size())),
                    NSString::fromUTF8(decoded->mimeType),
                    decoded->charset.empty() ? nullptr : NSString::fromUTF8(decoded->charset)};
                self.arrived(id, c, nullptr);
            });
        } else if (scheme == "http" || scheme == "https") {
            Weak<UIWebView> weak(view);
            fetchCounted(
                request,
                [weak, id](const UIWebViewLoadResult& result) {
                    auto v = weak.lock();
                    if (!v) return;
                    if (result.error) {
                        v->impl().failed(id, result.error);
                        return;
                    }
                    Content c{result.data ? result.data : NSData::data(),
                              result.MIMEType ? result.MIMEType : Ref<NSString>(NS("text/html")),
                              result.textEncoding};
                    v->impl().arrived(id, c, result.URL);
                },
                [weak, id](NSURLRequest* redirected) {
                    auto v = weak.lock();
                    return v && v->impl().redirectAllowed(id, redirected);
                });
        } else {
            post([id, url](Impl& self) {
                self.failed(id, urlError(NSURLErrorUnsupportedURL, NS("unsupported URL"), url));
            });
        }
    }

    void arrived(uint64_t id, const Content& content, NSURL* finalURL) {
        if (!active || active->id != id || dead) return;
        Ref<UIWebView> keep(view);
        Load& load = *active;
        if (finalURL && !finalURL->isEqual(load.request->URL())) {
            auto moved = load.request->mutableCopy();
            moved->setURL(finalURL);
            load.request = moved->copy();
        }
        Ref<NSURL> docURL = load.request->URL();
        if (!docURL) docURL = NSURL::URLWithString(NS("about:blank"));
        auto fresh = Page::create(this, docURL, load.referrer);
        std::string_view bytes = content.data ? content.data->view() : std::string_view();
        fresh->parse(bytes, content.MIMEType ? content.MIMEType->utf8() : std::string("text/html"),
                     content.encoding ? content.encoding->utf8() : std::string());
        if (page) page->close();
        page = fresh;
        renderer.reset();
        // A new document is read from its top, whatever the last one was scrolled to.
        if (auto scroller = view->scrollView()) scroller->setContentOffset(CGPointMake(0, 0));
        view->setNeedsLayout();
        scheduledRequest = nullptr;  // what the old page asked for dies with it
        commit(load, content);
        load.committed = true;
        Weak<UIWebView> weak(view);
        fresh->start([weak, id] {
            if (auto v = weak.lock()) v->impl().finished(id);
        });
    }

    void commit(const Load& load, const Content& content) {
        bool replayable = load.content.has_value();
        if (load.target >= 0 && size_t(load.target) < history.size()) {
            replayable = history[size_t(load.target)].replayable;
        } else if (load.target == kReloadEntry && index >= 0) {
            replayable = history[size_t(index)].replayable;
        }
        HistoryItem item{load.request, content, replayable, load.referrer};
        if (load.target >= 0 && size_t(load.target) < history.size()) {
            history[size_t(load.target)] = item;
            index = load.target;
        } else if (load.target == kReloadEntry && index >= 0) {
            history[size_t(index)] = item;
        } else if (index >= 0 && history[size_t(index)].request->URL()->absoluteString()->isEqual(
                                     load.request->URL()->absoluteString())) {
            // Loading the URL already shown replaces its entry rather than adding one.
            history[size_t(index)] = item;
        } else {
            history.resize(size_t(index + 1));
            history.push_back(item);
            index = int(history.size()) - 1;
        }
    }

    void finished(uint64_t id) {
        if (!active || active->id != id || dead) return;
        Ref<UIWebView> keep(view);
        active.reset();
        view->loading_ = false;
        if (auto d = view->delegate()) d->webViewDidFinishLoad(view);
    }

    // A server redirect of the load is offered to the delegate as any other navigation would
    // be; a refused one ends the load.
    bool redirectAllowed(uint64_t id, NSURLRequest* redirected) {
        if (!active || active->id != id || dead) return false;
        Ref<UIWebView> keep(view);
        if (auto d = view->delegate()) {
            if (!d->webViewShouldStartLoadWithRequest(view, redirected,
                                                      UIWebViewNavigationTypeOther)) {
                failed(id, interruptedError(redirected->URL()));
                return false;
            }
        }
        return active && active->id == id && !dead;
    }

    void failed(uint64_t id, NSError* error) {
        if (!active || active->id != id || dead) return;
        Ref<UIWebView> keep(view);
        bool committed = active->committed;
        active.reset();
        view->loading_ = false;
        if (committed && page) page->stopLoading();
        if (auto d = view->delegate()) d->webViewDidFailLoadWithError(view, error);
    }

    Page& currentPage() {
        if (!page) {
            // Before any load the view shows an empty document, as a browser does.
            page = Page::create(this, NSURL::URLWithString(NS("about:blank")), "");
            page->parse("", "text/html", "UTF-8");
            page->start(nullptr);
            renderer.reset();
            view->setNeedsLayout();
        }
        return *page;
    }

    void replay(int target, UIWebViewNavigationType type) {
        if (target < 0 || size_t(target) >= history.size()) return;
        HistoryItem item = history[size_t(target)];
        bool refetch = type == UIWebViewNavigationTypeReload && !item.replayable;
        navigate(item.request, type, refetch ? std::nullopt : std::optional<Content>(item.content),
                 type == UIWebViewNavigationTypeReload ? kReloadEntry : target, item.referrer);
    }

    void shutDown() {
        dead = true;
        if (documentView) documentView->owner = nullptr;
        renderer.reset();
        active.reset();
        scheduledRequest = nullptr;
        if (page) page->close();
    }
};

// ---- UIWebView ---------------------------------------------------------------------------------

void UIWebView::describeClass(RuntimeClass& c) {
    c.method("loadRequest:", &UIWebView::loadRequest);
    c.method("loadHTMLString:baseURL:", &UIWebView::loadHTMLString);
    c.method("loadData:MIMEType:textEncodingName:baseURL:", &UIWebView::loadData);
    c.method("request", &UIWebView::request);
    c.method("isLoading", &UIWebView::isLoading);
    c.method("stopLoading", &UIWebView::stopLoading);
    c.method("reload", &UIWebView::reload);
    c.method("canGoBack", &UIWebView::canGoBack);
    c.method("canGoForward", &UIWebView::canGoForward);
    c.method("goBack", &UIWebView::goBack);
    c.method("goForward", &UIWebView::goForward);
    c.method("stringByEvaluatingJavaScriptFromString:",
             &UIWebView::stringByEvaluatingJavaScriptFromString);
    c.property("scalesPageToFit", &UIWebView::scalesPageToFit, &UIWebView::setScalesPageToFit);
    c.property("dataDetectorTypes", &UIWebView::dataDetectorTypes,
               &UIWebView::setDataDetectorTypes);
    c.property("detectsPhoneNumbers", &UIWebView::detectsPhoneNumbers,
               &UIWebView::setDetectsPhoneNumbers);
    c.property("allowsInlineMediaPlayback", &UIWebView::allowsInlineMediaPlayback,
               &UIWebView::setAllowsInlineMediaPlayback);
    c.property("mediaPlaybackRequiresUserAction", &UIWebView::mediaPlaybackRequiresUserAction,
               &UIWebView::setMediaPlaybackRequiresUserAction);
    c.property("mediaPlaybackAllowsAirPlay", &UIWebView::mediaPlaybackAllowsAirPlay,
               &UIWebView::setMediaPlaybackAllowsAirPlay);
    c.method("scrollView", &UIWebView::scrollView);
}

UIWebView::UIWebView() = default;
UIWebView::~UIWebView() = default;

UIWebView::Impl& UIWebView::impl() {
    // alloc without an initialiser still gets a working view.
    if (!impl_) impl_ = std::make_unique<Impl>(this);
    return *impl_;
}

bool UIWebView::initWithFrame(CGRect frame) {
    if (!UIView::initWithFrame(frame)) return false;
    // Code that looks for the scroller and the document view by class name finds them entered.
    UIScroller::staticClass();
    UIWebDocumentView::staticClass();
    impl();
    CGRect inside{{0, 0}, frame.size};
    auto scroller = alloc<UIScroller>();
    scroller->initWithFrame(inside);
    scroller->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                  UIViewAutoresizingFlexibleHeight);
    // Sized to the laid-out page by each layout pass.
    auto document = alloc<UIWebDocumentView>();
    document->initWithFrame(inside);
    document->owner = &impl();
    impl().documentView = document;
    scroller->addSubview(document);
    addSubview(scroller);
    return true;
}

void UIWebView::dealloc() {
    if (impl_) impl_->shutDown();
    UIView::dealloc();
}

Ref<UIScrollView> UIWebView::scrollView() {
    auto views = subviewList();
    return views.empty() ? nullptr : as<UIScrollView>(views.front().get());
}

void UIWebView::setDetectsPhoneNumbers(bool v) {
    if (v) {
        dataDetectorTypes_ |= UIDataDetectorTypePhoneNumber;
    } else {
        dataDetectorTypes_ &= ~UIDataDetectorTypes(UIDataDetectorTypePhoneNumber);
    }
}

void UIWebView::loadRequest(NSURLRequest* request) {
    if (!request || !request->URL()) return;
    impl().navigate(request->copy(), UIWebViewNavigationTypeOther, std::nullopt, kNewEntry, "");
}

void UIWebView::loadHTMLString(NSString* string, NSURL* baseURL) {
    auto data = string ? string->dataUsingEncoding(NSUTF8StringEncoding) : NSData::data();
    loadData(data, NS("text/html"), NS("UTF-8"), baseURL);
}

void UIWebView::loadData(NSData* data, NSString* MIMEType, NSString* textEncodingName,
                         NSURL* baseURL) {
    Ref<NSURL> url = baseURL ? Ref<NSURL>(baseURL) : NSURL::URLWithString(NS("about:blank"));
    Impl::Content content{data ? Ref<NSData>(data) : NSData::data(),
                          MIMEType ? MIMEType->copy() : Ref<NSString>(NS("text/html")),
                          textEncodingName ? textEncodingName->copy() : nullptr};
    impl().navigate(NSURLRequest::requestWithURL(url), UIWebViewNavigationTypeOther, content,
                    kNewEntry, "");
}

Ref<NSURLRequest> UIWebView::request() {
    Impl& d = impl();
    if (d.active && !d.active->committed) return d.active->request;
    if (d.index >= 0) return d.history[size_t(d.index)].request;
    return nullptr;
}

void UIWebView::stopLoading() {
    Impl& d = impl();
    d.scheduledRequest = nullptr;
    d.cancelActive();
}

void UIWebView::reload() {
    Impl& d = impl();
    d.replay(d.index, UIWebViewNavigationTypeReload);
}

bool UIWebView::canGoBack() {
    return impl().index > 0;
}

bool UIWebView::canGoForward() {
    Impl& d = impl();
    return d.index >= 0 && size_t(d.index) + 1 < d.history.size();
}

void UIWebView::goBack() {
    if (canGoBack()) impl().replay(impl().index - 1, UIWebViewNavigationTypeBackForward);
}

void UIWebView::goForward() {
    if (canGoForward()) impl().replay(impl().index + 1, UIWebViewNavigationTypeBackForward);
}

Ref<NSString> UIWebView::stringByEvaluatingJavaScriptFromString(NSString* script) {
    if (!script) return NS("");
    Impl& d = impl();
    if (d.dead) return NS("");
    std::shared_ptr<Page> page = d.currentPage().shared_from_this();
    return NSString::fromUTF8(page->evaluate(script->utf8()));
}

Ref<NSString> UIWebView::readableText() {
    return NSString::fromUTF8(impl().laidOutPage().readableText(nullptr));
}

Ref<NSString> UIWebView::pageTitle() {
    return NSString::fromUTF8(impl().currentPage().title());
}

NSUInteger UIWebView::clickableElementCount() {
    std::vector<_xmlNode*> clickables;
    impl().laidOutPage().readableText(&clickables);
    return NSUInteger(clickables.size());
}

bool UIWebView::clickElementAtIndex(NSUInteger number) {
    std::shared_ptr<Page> page = impl().laidOutPage().shared_from_this();
    std::vector<_xmlNode*> clickables;
    page->readableText(&clickables);
    if (number < 1 || number > clickables.size()) return false;
    impl().reached(*page, clickables[number - 1]);
    return page->click(clickables[number - 1]);
}

bool UIWebView::enterTextInElementAtIndex(NSUInteger number, NSString* text) {
    std::shared_ptr<Page> page = impl().laidOutPage().shared_from_this();
    std::vector<_xmlNode*> clickables;
    page->readableText(&clickables);
    if (number < 1 || number > clickables.size()) return false;
    if (!page->enterText(clickables[number - 1], text ? text->utf8() : std::string())) return false;
    impl().reached(*page, clickables[number - 1]);
    return true;
}

NSUInteger UIWebView::focusedElementIndex() {
    Impl& d = impl();
    if (d.dead || !d.focusHandle) return 0;
    std::shared_ptr<Page> page = d.laidOutPage().shared_from_this();
    if (page != d.focusPage.lock()) return 0;
    _xmlNode* focused = page->nodeOf(d.focusHandle);
    if (!focused || !page->isAttached(focused)) return 0;
    std::vector<_xmlNode*> clickables;
    page->readableText(&clickables);
    auto at = std::find(clickables.begin(), clickables.end(), focused);
    return at == clickables.end() ? 0 : static_cast<NSUInteger>(at - clickables.begin()) + 1;
}

bool UIWebView::clickElementWithId(NSString* elementId) {
    if (!elementId) return false;
    std::shared_ptr<Page> page = impl().currentPage().shared_from_this();
    _xmlNode* element = page->elementById(elementId->utf8());
    return element && page->click(element);
}

namespace {
// The page's element under a point of the view, through the scroller's offset: where a finger
// finds it.
_xmlNode* elementAtPoint(UIWebView::Impl& d, UIScrollView* scroller, CGPoint point) {
    CGPoint at = point;
    if (scroller) {
        at.x += scroller->contentOffset().x - scroller->frame().origin.x;
        at.y += scroller->contentOffset().y - scroller->frame().origin.y;
    }
    return d.renderer.elementAt(at);
}
}  // namespace

bool UIWebView::tapAtPoint(CGPoint point) {
    Impl& d = impl();
    if (d.dead) return false;
    std::shared_ptr<Page> page = d.laidOutPage().shared_from_this();
    _xmlNode* element = elementAtPoint(d, scrollView().get(), point);
    d.reached(*page, element);
    return element && page->click(element);
}

CGRect UIWebView::rectForElementAtIndex(NSUInteger number) {
    Impl& d = impl();
    if (d.dead) return CGRectNull;
    std::vector<_xmlNode*> clickables;
    d.laidOutPage().readableText(&clickables);
    if (number < 1 || number > clickables.size()) return CGRectNull;
    _xmlNode* wanted = clickables[number - 1];
    auto scroller = scrollView();
    auto on = [&](CGFloat x, CGFloat y) {
        for (auto* n = elementAtPoint(d, scroller.get(), CGPointMake(x, y)); n; n = n->parent)
            if (n == wanted) return true;
        return false;
    };
    // The first place a finger finds it from the top, as far right as it runs on that line and
    // as far down as it runs from there.
    constexpr CGFloat step = 3;
    CGSize size = bounds().size;
    for (CGFloat y = 0; y < size.height; y += step) {
        for (CGFloat x = 0; x < size.width; x += step) {
            if (!on(x, y)) continue;
            CGFloat right = x, bottom = y;
            while (right + step < size.width && on(right + step, y))
                right += step;
            CGFloat middle = (x + right) / 2;
            while (bottom + step < size.height && on(middle, bottom + step))
                bottom += step;
            return CGRectMake(x, y, right - x + 1, bottom - y + 1);
        }
    }
    return CGRectNull;
}

void UIWebView::touchesEnded(NSSet* touches, UIEvent* event) {
    auto touch = as<UITouch>(touches ? touches->anyObject() : nullptr);
    // A finger that lifts where it landed clicks what it is on; the views around take no tap.
    if (touch && touch->farthestFromLanding() <= UITouchTapSlop &&
        tapAtPoint(touch->locationInView(this))) {
        UIView::touchesCancelled(touches, event);
        return;
    }
    UIView::touchesEnded(touches, event);
}

void UIWebView::layoutSubviews() {
    UIView::layoutSubviews();
    impl().refreshLayout();
}

void UIWebDocumentView::drawRect(CGRect rect) {
    if (owner) owner->paint(UIGraphicsGetCurrentContext(), rect);
}

UIWebViewURLLoader UIWebView::setURLLoader(UIWebViewURLLoader loader) {
    std::lock_guard<std::mutex> g(loaderLock());
    UIWebViewURLLoader previous = loaderSlot();
    loaderSlot() = loader ? std::move(loader) : UIWebViewURLLoader(offlineLoader);
    return previous;
}

Ref<NSString> UIWebView::userAgent() {
    return NSString::fromUTF8(webcontent::pageUserAgent());
}
