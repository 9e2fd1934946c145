// One loaded web page: its document tree (parsed by the HTML parser) and its script context with
// the browser model the pages expect (window, document, location, timers, events). Internal to
// the web view.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSObject.h"

class NSData;
class NSTimer;
class NSURL;
class NSURLRequest;
struct _xmlDoc;
struct _xmlNode;
struct duk_hthread;

namespace webcontent {

// What a page needs from the view that shows it.
class PageHost {
public:
    virtual ~PageHost() = default;
    // A navigation the page started (link, form, location change, reload); the host decides it
    // later, never inside the page's script. Navigation types are UIWebViewNavigationType values.
    virtual void pageRequestsNavigation(NSURLRequest* request, NSInteger navigationType) = 0;
    // Fetches a script the page names. `done` runs later on the main thread, with nil data for a
    // failure, unless the page was closed in between.
    using FetchDone = std::function<void(Ref<NSData> data, std::string encoding)>;
    virtual void pageFetches(NSURL* url, FetchDone done) = 0;
    // The size of the page's viewport in points.
    virtual CGSize pageViewportSize() = 0;
    // Scripts of the page ran and may have changed its document (the picture follows).
    virtual void pageScriptsRan() {}
};

// A data: URL taken apart.
struct DataURL {
    std::string bytes;
    std::string mimeType;  // "text/plain" when not given
    std::string charset;   // "" when not given
};
std::optional<DataURL> decodeDataURL(std::string_view url);

// The navigator's user agent text.
const std::string& pageUserAgent();

// What a select shows: the text of its option marked selected, else of its first option.
std::string chosenOptionText(_xmlNode* select);
// The label of a button input of that type: its value, else the type's own word.
std::string inputButtonLabel(std::string_view type, const std::string& value);

class Page : public std::enable_shared_from_this<Page> {
public:
    // `url` is the document's URL (about:blank for a page without one); `referrer` the URL of
    // the page that led here, "" for none.
    static std::shared_ptr<Page> create(PageHost* host, NSURL* url, std::string referrer);
    ~Page();
    Page(const Page&) = delete;
    Page& operator=(const Page&) = delete;

    // Builds the document. `mimeType` decides how the bytes are read (HTML, plain text, an
    // image); `encoding` is an IANA charset name or "" to take it from the page or its bytes.
    void parse(std::string_view bytes, const std::string& mimeType, const std::string& encoding);
    // Runs the page's scripts in document order (waiting for fetched ones), then fires the
    // document's DOMContentLoaded and the window's load event, then calls `loaded`. It may
    // call `loaded` before it returns.
    void start(std::function<void()> loaded);
    // Abandons the load in progress: scripts still to come never run and `loaded` never runs.
    void stopLoading();
    // Ends the page: its timers stop and nothing of it runs again. Reading it stays possible.
    void close();
    bool isLoaded() const { return loaded_; }

    Ref<NSURL> url();
    // A same-document navigation (a new fragment) changes the URL without a new page.
    void setURL(NSURL* url);
    const std::string& referrer() const { return referrer_; }

    // Script evaluation in the page's global scope; the result as stringByEvaluating... gives it.
    std::string evaluate(std::string_view script);
    std::string title();

    // The page as readable text for the terminal; `clickables`, when given, receives the
    // elements numbered [1], [2], ... in that order.
    std::string readableText(std::vector<_xmlNode*>* clickables);
    // Clicks an element as a finger would: handlers run, then the default action (follow a
    // link, submit a form) unless a handler cancelled it. False when the element is gone.
    bool click(_xmlNode* element);
    // Types into a text field or text area (replacing its text) or picks the option of a
    // selection whose value or label is the text; the page hears input and change events.
    // False for other elements.
    bool enterText(_xmlNode* element, std::string_view text);
    // Whether enterText takes the element: a text field or area, or a selection.
    bool takesText(_xmlNode* element);
    // The first element with that id attribute, or null.
    _xmlNode* elementById(std::string_view id);
    // Elements that the page's style rules hide; readableText leaves them out too.
    void setStyleHiddenElements(std::set<_xmlNode*> elements) {
        styleHidden_ = std::move(elements);
    }

    // ---- used by the script bindings (WebScript.cpp) ----------------------------------------
    duk_hthread* context() { return ctx_; }
    PageHost* host() { return host_; }
    _xmlDoc* document() { return doc_; }
    // Node handles for scripts: small positive numbers, stable for the page's life.
    int32_t handleOf(_xmlNode* node);
    _xmlNode* nodeOf(int32_t handle);
    bool isAttached(_xmlNode* node);
    // Tree editing that keeps removed subtrees alive (scripts may still hold them) and runs
    // scripts that become part of the document.
    void insertNode(_xmlNode* parent, _xmlNode* child, _xmlNode* before);
    void removeNode(_xmlNode* child);
    _xmlNode* createElement(std::string_view name);
    _xmlNode* createText(std::string_view text);
    _xmlNode* createComment(std::string_view text);
    _xmlNode* cloneNode(_xmlNode* node, bool deep);
    void setInnerHTML(_xmlNode* element, std::string_view html);
    std::string innerHTML(_xmlNode* node);
    std::string outerHTML(_xmlNode* node);
    void setTextContent(_xmlNode* node, std::string_view text);
    // document.write: during the load the text goes in after the running script; afterwards
    // it is appended to the body.
    void write(std::string_view html);
    void flushWrites();
    // Resolves a URL the page names against the document's URL.
    Ref<NSURL> resolve(std::string_view relative);
    void requestNavigation(std::string_view url, NSInteger type, std::string_view method,
                           std::string_view body);
    int32_t addTimer(double milliseconds, bool repeats);
    void removeTimer(int32_t id);
    // Elements that have a click listener set from a script.
    void markClickable(_xmlNode* node) { clickable_.insert(node); }
    const char* readyState() const;

private:
    Page(PageHost* host, NSURL* url, std::string referrer);
    void setUpScripts();
    bool callHook(const char* name, int32_t arg, bool* result = nullptr,
                  std::optional<std::string_view> text = std::nullopt);
    void continueWalk();
    void finishLoad();
    bool runScriptElement(_xmlNode* script, bool parserInserted);
    void runScriptText(const std::string& text);
    void runScriptFor(_xmlNode* script, bool parserInserted, const std::string& text);
    void fetchScript(_xmlNode* script, const std::string& src, bool parserInserted);
    _xmlNode* nextInOrder(_xmlNode* node, bool skipChildren);
    void detachChildren(_xmlNode* node);
    std::vector<_xmlNode*> parseFragment(std::string_view html);
    void runInsertedScripts(_xmlNode* root);
    void ensureSkeleton();
    _xmlNode* findElement(_xmlNode* from, std::string_view name);
    void timerFired(int32_t id);

    PageHost* host_;
    Ref<NSURL> url_;
    std::string referrer_;
    _xmlDoc* doc_ = nullptr;
    duk_hthread* ctx_ = nullptr;
    std::vector<_xmlNode*> handles_{nullptr};
    std::set<_xmlNode*> detached_;
    std::set<_xmlNode*> startedScripts_;
    std::set<_xmlNode*> clickable_;
    std::set<_xmlNode*> styleHidden_;
    std::unordered_map<int32_t, Ref<NSTimer>> timers_;
    int32_t nextTimer_ = 1;
    std::function<void()> loadedCallback_;
    _xmlNode* walkNext_ = nullptr;
    _xmlNode* currentScript_ = nullptr;
    _xmlNode* writeAfter_ = nullptr;
    _xmlNode* bodySpill_ = nullptr;
    std::string pendingWrites_;
    int pendingFetches_ = 0;
    bool walking_ = false;
    bool walkBlocked_ = false;
    bool started_ = false;
    bool loaded_ = false;
    bool stopped_ = false;
    bool closed_ = false;
};

}  // namespace webcontent
