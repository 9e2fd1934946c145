#include "UIKit/WebContent/WebPage.h"

#include <libxml/HTMLparser.h>
#include <libxml/HTMLtree.h>
#include <libxml/tree.h>
#include <libxml/xmlIO.h>

#include <algorithm>
#include <cstring>

#include "Foundation/NSData.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/NSTimer.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "UIKit/WebContent/WebText.h"
#include "duktape.h"

namespace webcontent {

namespace {

// Recovering parse, quiet, never reaching the network for a DTD.
constexpr int kParseOptions =
    HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET;

const char* nameOf(xmlNode* n) {
    return n && n->name ? reinterpret_cast<const char*>(n->name) : "";
}

bool isElement(xmlNode* n, const char* name = nullptr) {
    return n && n->type == XML_ELEMENT_NODE && (!name || std::strcmp(nameOf(n), name) == 0);
}

std::string attribute(xmlNode* n, const char* name) {
    if (!n || n->type != XML_ELEMENT_NODE) return {};
    xmlChar* v = xmlGetProp(n, reinterpret_cast<const xmlChar*>(name));
    if (!v) return {};
    std::string s(reinterpret_cast<const char*>(v));
    xmlFree(v);
    return s;
}

bool hasAttribute(xmlNode* n, const char* name) {
    return n && n->type == XML_ELEMENT_NODE &&
           xmlHasProp(n, reinterpret_cast<const xmlChar*>(name)) != nullptr;
}

std::string contentOf(xmlNode* n) {
    xmlChar* c = xmlNodeGetContent(n);
    if (!c) return {};
    std::string s(reinterpret_cast<const char*>(c));
    xmlFree(c);
    return s;
}

// Appends or inserts a node by hand: the library's own insertion merges adjacent text nodes
// and frees the inserted one, which scripts may still hold.
void linkChild(xmlNode* parent, xmlNode* child, xmlNode* before) {
    child->parent = parent;
    if (before) {
        child->next = before;
        child->prev = before->prev;
        if (before->prev) {
            before->prev->next = child;
        } else {
            parent->children = child;
        }
        before->prev = child;
    } else {
        child->next = nullptr;
        child->prev = parent->last;
        if (parent->last) {
            parent->last->next = child;
        } else {
            parent->children = child;
        }
        parent->last = child;
    }
    if (child->doc != parent->doc) xmlSetTreeDoc(child, parent->doc);
}

void clearPrivate(xmlNode* n) {
    for (; n; n = n->next) {
        n->_private = nullptr;
        if (n->type == XML_ELEMENT_NODE) clearPrivate(n->children);
    }
}

std::string serialize(xmlDoc* doc, xmlNode* node) {
    xmlOutputBuffer* out = xmlAllocOutputBuffer(nullptr);
    if (!out) return {};
    htmlNodeDumpFormatOutput(out, doc, node, "UTF-8", 0);
    xmlOutputBufferFlush(out);
    std::string s(reinterpret_cast<const char*>(xmlOutputBufferGetContent(out)),
                  xmlOutputBufferGetSize(out));
    xmlOutputBufferClose(out);
    return s;
}

bool isJavaScript(xmlNode* script) {
    if (hasAttribute(script, "type")) {
        std::string type = lowercased(trimmed(attribute(script, "type")));
        if (auto semi = type.find(';'); semi != std::string::npos)
            type = trimmed(type.substr(0, semi));
        static const char* const kTypes[] = {
            "",
            "text/javascript",
            "application/javascript",
            "application/x-javascript",
            "text/ecmascript",
            "application/ecmascript",
            "text/jscript",
            "text/livescript",
            "text/x-javascript",
        };
        return std::any_of(std::begin(kTypes), std::end(kTypes),
                           [&](const char* t) { return type == t; });
    }
    if (hasAttribute(script, "language")) {
        std::string lang = lowercased(trimmed(attribute(script, "language")));
        return lang.empty() || lang.rfind("javascript", 0) == 0 || lang == "jscript" ||
               lang == "ecmascript" || lang == "livescript";
    }
    return true;
}

std::string scriptText(xmlNode* script) {
    std::string text;
    for (xmlNode* c = script->children; c; c = c->next) {
        if ((c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) && c->content) {
            text += reinterpret_cast<const char*>(c->content);
        }
    }
    return text;
}

bool oneOfNames(std::string_view name, std::initializer_list<std::string_view> names) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

bool isHidden(xmlNode* n) {
    if (hasAttribute(n, "hidden")) return true;
    if (!hasAttribute(n, "style")) return false;
    std::string style;
    for (char c : lowercased(attribute(n, "style"))) {
        if (!isSpace(c)) style += c;
    }
    return style.find("display:none") != std::string::npos ||
           style.find("visibility:hidden") != std::string::npos;
}

}  // namespace

std::optional<DataURL> decodeDataURL(std::string_view url) {
    if (url.size() < 5 || lowercased(std::string(url.substr(0, 5))) != "data:") return {};
    std::string_view rest = url.substr(5);
    size_t comma = rest.find(',');
    if (comma == std::string_view::npos) return {};
    std::string header(rest.substr(0, comma));
    std::string payload = percentDecoded(rest.substr(comma + 1));
    DataURL out;
    bool base64 = false;
    size_t start = 0;
    bool first = true;
    while (start <= header.size()) {
        size_t semi = header.find(';', start);
        std::string part = trimmed(
            header.substr(start, semi == std::string::npos ? std::string::npos : semi - start));
        std::string lower = lowercased(part);
        if (first) {
            out.mimeType = lower;
        } else if (lower == "base64") {
            base64 = true;
        } else if (lower.rfind("charset=", 0) == 0) {
            out.charset = part.substr(8);
        }
        first = false;
        if (semi == std::string::npos) break;
        start = semi + 1;
    }
    if (out.mimeType.empty()) out.mimeType = "text/plain";
    if (base64) {
        auto decoded = base64Decoded(payload);
        if (!decoded) return {};
        out.bytes = std::move(*decoded);
    } else {
        out.bytes = std::move(payload);
    }
    return out;
}

// ---- life -----------------------------------------------------------------------------------

std::shared_ptr<Page> Page::create(PageHost* host, NSURL* url, std::string referrer) {
    return std::shared_ptr<Page>(new Page(host, url, std::move(referrer)));
}

Page::Page(PageHost* host, NSURL* url, std::string referrer)
    : host_(host), url_(url), referrer_(std::move(referrer)) {}

Page::~Page() {
    for (auto& [id, timer] : timers_)
        timer->invalidate();
    timers_.clear();
    if (ctx_) duk_destroy_heap(ctx_);
    ctx_ = nullptr;
    // Detached subtrees first: freeing them consults their document.
    for (xmlNode* n : detached_)
        xmlFreeNode(n);
    detached_.clear();
    if (doc_) xmlFreeDoc(doc_);
}

void Page::close() {
    closed_ = true;
    stopped_ = true;
    for (auto& [id, timer] : timers_)
        timer->invalidate();
    timers_.clear();
    loadedCallback_ = nullptr;
}

void Page::stopLoading() {
    stopped_ = true;
    loadedCallback_ = nullptr;
}

Ref<NSURL> Page::url() {
    return url_;
}

void Page::setURL(NSURL* url) {
    url_ = url;
}

// ---- the document -----------------------------------------------------------------------------

void Page::parse(std::string_view bytes, const std::string& mimeType, const std::string& encoding) {
    std::string mime = lowercased(trimmed(mimeType.substr(0, mimeType.find(';'))));
    std::string html;
    const char* charset = nullptr;
    std::string charsetName = encoding;
    std::string urlText = url_ ? url_->absoluteString()->utf8() : std::string("about:blank");
    if (mime.empty() || mime == "text/html" || mime == "application/xhtml+xml") {
        html.assign(bytes);
        if (charsetName.empty()) {
            // A page that names its charset is read by it; otherwise UTF-8 when the bytes are.
            std::string head = lowercased(std::string(bytes.substr(0, 2048)));
            if (head.find("charset") == std::string::npos && isValidUTF8(bytes)) {
                charsetName = "UTF-8";
            }
        }
    } else if (mime.rfind("image/", 0) == 0) {
        html = "<html><head></head><body><img src=\"" + escapedHTML(urlText) + "\"></body></html>";
        charsetName = "UTF-8";
    } else if (mime.rfind("text/", 0) == 0 || mime.find("json") != std::string::npos ||
               mime.find("javascript") != std::string::npos ||
               mime.find("xml") != std::string::npos) {
        std::string text = isValidUTF8(bytes) ? std::string(bytes) : latin1ToUTF8(bytes);
        // As a phone's browser shows a text: its lines kept, a long one wrapped at the screen's
        // edge (broken inside a word when it has to be).
        html =
            "<html><head></head><body><pre style=\"white-space: pre-wrap; "
            "word-wrap: break-word\">" +
            escapedHTML(text) + "</pre></body></html>";
        charsetName = "UTF-8";
    }
    if (!charsetName.empty()) charset = charsetName.c_str();
    if (!html.empty()) {
        doc_ =
            htmlReadMemory(html.data(), int(html.size()), urlText.c_str(), charset, kParseOptions);
    }
    if (!doc_) doc_ = htmlNewDocNoDtD(nullptr, nullptr);
    ensureSkeleton();
    setUpScripts();
}

xmlNode* Page::findElement(xmlNode* from, std::string_view name) {
    for (xmlNode* n = from; n; n = n->next) {
        if (n->type != XML_ELEMENT_NODE) continue;
        if (name == nameOf(n)) return n;
        if (xmlNode* found = findElement(n->children, name)) return found;
    }
    return nullptr;
}

void Page::ensureSkeleton() {
    xmlNode* root = xmlDocGetRootElement(doc_);
    if (!root) {
        root = xmlNewDocNode(doc_, nullptr, BAD_CAST "html", nullptr);
        xmlDocSetRootElement(doc_, root);
    }
    xmlNode* head = nullptr;
    xmlNode* body = nullptr;
    for (xmlNode* c = root->children; c; c = c->next) {
        if (isElement(c, "head") && !head) head = c;
        if ((isElement(c, "body") || isElement(c, "frameset")) && !body) body = c;
    }
    if (!head) {
        head = xmlNewDocNode(doc_, nullptr, BAD_CAST "head", nullptr);
        linkChild(root, head, root->children);
    }
    if (!body) {
        body = xmlNewDocNode(doc_, nullptr, BAD_CAST "body", nullptr);
        linkChild(root, body, nullptr);
    }
}

int32_t Page::handleOf(xmlNode* node) {
    if (!node) return 0;
    auto h = static_cast<int32_t>(reinterpret_cast<intptr_t>(node->_private));
    if (h > 0 && size_t(h) < handles_.size() && handles_[size_t(h)] == node) return h;
    handles_.push_back(node);
    h = int32_t(handles_.size() - 1);
    node->_private = reinterpret_cast<void*>(intptr_t(h));
    return h;
}

xmlNode* Page::nodeOf(int32_t handle) {
    if (handle <= 0 || size_t(handle) >= handles_.size()) return nullptr;
    return handles_[size_t(handle)];
}

bool Page::isAttached(xmlNode* node) {
    for (xmlNode* n = node; n; n = n->parent) {
        if (n == reinterpret_cast<xmlNode*>(doc_)) return true;
    }
    return false;
}

void Page::insertNode(xmlNode* parent, xmlNode* child, xmlNode* before) {
    if (!parent || !child || child == before) return;
    if (child->type == XML_DOCUMENT_NODE || child->type == XML_HTML_DOCUMENT_NODE) return;
    for (xmlNode* a = parent; a; a = a->parent) {
        if (a == child) return;  // a node cannot go inside itself
    }
    if (before && before->parent != parent) before = nullptr;
    detached_.erase(child);
    xmlUnlinkNode(child);
    linkChild(parent, child, before);
    if (isAttached(child)) runInsertedScripts(child);
}

void Page::removeNode(xmlNode* child) {
    if (!child || !child->parent) return;
    xmlUnlinkNode(child);
    detached_.insert(child);
}

void Page::detachChildren(xmlNode* node) {
    while (node->children)
        removeNode(node->children);
}

xmlNode* Page::createElement(std::string_view name) {
    std::string n(name);
    xmlNode* e = xmlNewDocNode(doc_, nullptr, BAD_CAST n.c_str(), nullptr);
    if (e) detached_.insert(e);
    return e;
}

xmlNode* Page::createText(std::string_view text) {
    std::string t(text);
    xmlNode* n = xmlNewDocText(doc_, BAD_CAST t.c_str());
    if (n) detached_.insert(n);
    return n;
}

xmlNode* Page::createComment(std::string_view text) {
    std::string t(text);
    xmlNode* n = xmlNewDocComment(doc_, BAD_CAST t.c_str());
    if (n) detached_.insert(n);
    return n;
}

xmlNode* Page::cloneNode(xmlNode* node, bool deep) {
    if (!node || node->type == XML_DOCUMENT_NODE || node->type == XML_HTML_DOCUMENT_NODE) {
        return nullptr;
    }
    xmlNode* copy = xmlDocCopyNode(node, doc_, deep ? 1 : 2);
    if (!copy) return nullptr;
    copy->_private = nullptr;
    if (copy->type == XML_ELEMENT_NODE) clearPrivate(copy->children);
    detached_.insert(copy);
    // A copied script has not run: it may run once it is inserted.
    return copy;
}

std::vector<xmlNode*> Page::parseFragment(std::string_view html) {
    std::string wrapped = "<html><head></head><body>";
    wrapped.append(html);
    wrapped += "</body></html>";
    std::vector<xmlNode*> out;
    xmlDoc* frag =
        htmlReadMemory(wrapped.data(), int(wrapped.size()), nullptr, "UTF-8", kParseOptions);
    if (!frag) return out;
    xmlNode* body = findElement(xmlDocGetRootElement(frag), "body");
    while (body && body->children) {
        xmlNode* n = body->children;
        xmlUnlinkNode(n);
        xmlSetTreeDoc(n, doc_);
        n->_private = nullptr;
        if (n->type == XML_ELEMENT_NODE) clearPrivate(n->children);
        out.push_back(n);
    }
    xmlFreeDoc(frag);
    return out;
}

std::string Page::innerHTML(xmlNode* node) {
    std::string s;
    if (!node) return s;
    for (xmlNode* c = node->children; c; c = c->next)
        s += serialize(doc_, c);
    return s;
}

std::string Page::outerHTML(xmlNode* node) {
    return node ? serialize(doc_, node) : std::string();
}

void Page::setInnerHTML(xmlNode* element, std::string_view html) {
    if (!element || element->type != XML_ELEMENT_NODE) return;
    detachChildren(element);
    for (xmlNode* n : parseFragment(html)) {
        linkChild(element, n, nullptr);
        // Scripts that arrive through inner HTML never run, as in a browser.
        std::vector<xmlNode*> stack{n};
        while (!stack.empty()) {
            xmlNode* s = stack.back();
            stack.pop_back();
            if (isElement(s, "script")) startedScripts_.insert(s);
            for (xmlNode* c = s->children; c; c = c->next) {
                if (c->type == XML_ELEMENT_NODE) stack.push_back(c);
            }
        }
    }
}

void Page::setTextContent(xmlNode* node, std::string_view text) {
    if (!node) return;
    std::string t(text);
    if (node->type == XML_ELEMENT_NODE) {
        detachChildren(node);
        if (!t.empty()) {
            xmlNode* n = xmlNewDocText(doc_, BAD_CAST t.c_str());
            if (n) linkChild(node, n, nullptr);
        }
    } else if (node->type == XML_TEXT_NODE || node->type == XML_COMMENT_NODE ||
               node->type == XML_CDATA_SECTION_NODE) {
        xmlNodeSetContent(node, BAD_CAST t.c_str());
    }
}

xmlNode* Page::elementById(std::string_view id) {
    if (id.empty()) return nullptr;
    std::vector<xmlNode*> stack;
    for (xmlNode* n = doc_->children; n; n = n->next)
        stack.push_back(n);
    std::reverse(stack.begin(), stack.end());
    while (!stack.empty()) {
        xmlNode* n = stack.back();
        stack.pop_back();
        if (n->type != XML_ELEMENT_NODE) continue;
        if (hasAttribute(n, "id") && attribute(n, "id") == id) return n;
        std::vector<xmlNode*> kids;
        for (xmlNode* c = n->children; c; c = c->next)
            kids.push_back(c);
        stack.insert(stack.end(), kids.rbegin(), kids.rend());
    }
    return nullptr;
}

std::string Page::title() {
    xmlNode* t = findElement(doc_->children, "title");
    return t ? collapsedWhitespace(contentOf(t)) : std::string();
}

Ref<NSURL> Page::resolve(std::string_view relative) {
    auto text = NSString::fromUTF8(trimmed(std::string(relative)));
    Ref<NSURL> base = url_;
    Ref<NSURL> u = NSURL::URLWithString(text, base);
    if (!u) {
        // Hand-written links often carry spaces and other characters a URL may not hold.
        auto escaped = text->stringByAddingPercentEscapesUsingEncoding(NSUTF8StringEncoding);
        if (escaped) u = NSURL::URLWithString(escaped, base);
    }
    return u ? u->absoluteURL() : nullptr;
}

void Page::requestNavigation(std::string_view url, NSInteger type, std::string_view method,
                             std::string_view body) {
    if (closed_) return;
    Ref<NSURL> target = resolve(url);
    if (!target) return;
    auto request = NSMutableURLRequest::requestWithURL(target);
    std::string m = method.empty() ? std::string("GET") : std::string(method);
    request->setHTTPMethod(NSString::fromUTF8(m));
    if (m == "POST") {
        request->setHTTPBody(NSData::dataWithBytes(body.data(), NSUInteger(body.size())));
        request->setValueForHTTPHeaderField(NS("application/x-www-form-urlencoded"),
                                            NS("Content-Type"));
    }
    if (url_) {
        auto scheme = url_->scheme();
        if (scheme && (scheme->caseInsensitiveCompare(NS("http")) == NSOrderedSame ||
                       scheme->caseInsensitiveCompare(NS("https")) == NSOrderedSame)) {
            request->setValueForHTTPHeaderField(url_->absoluteString(), NS("Referer"));
        }
    }
    host_->pageRequestsNavigation(request, type);
}

// ---- the load: scripts in document order, then the load event
// ------------------------------------

const char* Page::readyState() const {
    if (loaded_) return "complete";
    if (started_ && !walking_ && !walkBlocked_) return "interactive";
    return "loading";
}

xmlNode* Page::nextInOrder(xmlNode* node, bool skipChildren) {
    if (!node) return nullptr;
    if (!skipChildren && node->children &&
        (node->type == XML_ELEMENT_NODE || node->type == XML_HTML_DOCUMENT_NODE ||
         node->type == XML_DOCUMENT_NODE)) {
        return node->children;
    }
    for (xmlNode* n = node; n && n != reinterpret_cast<xmlNode*>(doc_); n = n->parent) {
        if (n->next) return n->next;
    }
    return nullptr;
}

void Page::start(std::function<void()> loaded) {
    if (started_ || closed_) return;
    started_ = true;
    walking_ = true;
    loadedCallback_ = std::move(loaded);
    callHook("exposeIds", handleOf(reinterpret_cast<xmlNode*>(doc_)));
    walkNext_ = doc_->children;
    continueWalk();
}

void Page::continueWalk() {
    auto self = shared_from_this();
    while (walkNext_ && !stopped_) {
        xmlNode* node = walkNext_;
        if (node->type == XML_ELEMENT_NODE) {
            std::string_view name = nameOf(node);
            if (name == "script") {
                if (startedScripts_.count(node)) {
                    walkNext_ = nextInOrder(node, true);
                    continue;
                }
                xmlNode* fallback = nextInOrder(node, true);
                if (!runScriptElement(node, true)) {
                    walkBlocked_ = true;  // resumes when the script has arrived
                    walkNext_ = node;
                    return;
                }
                walkNext_ = isAttached(node)                     ? nextInOrder(node, true)
                            : (fallback && isAttached(fallback)) ? fallback
                                                                 : nullptr;
                continue;
            }
            if (name == "body") callHook("bodyOnload", handleOf(node));
            if (name == "noscript" || name == "template" || name == "style" || name == "textarea" ||
                name == "title") {
                walkNext_ = nextInOrder(node, true);
                continue;
            }
        }
        walkNext_ = nextInOrder(node, false);
    }
    if (stopped_) return;
    walking_ = false;
    if (pendingFetches_ == 0) finishLoad();
}

void Page::finishLoad() {
    if (loaded_ || stopped_ || !started_) return;
    auto self = shared_from_this();
    callHook("domContentLoaded", 0);
    if (stopped_) return;
    loaded_ = true;
    callHook("load", 0);
    auto done = std::move(loadedCallback_);
    loadedCallback_ = nullptr;
    if (done && !stopped_) done();
}

bool Page::runScriptElement(xmlNode* script, bool parserInserted) {
    startedScripts_.insert(script);
    if (!isJavaScript(script)) return true;
    auto runText = [&](const std::string& text) { runScriptFor(script, parserInserted, text); };
    if (hasAttribute(script, "src")) {
        std::string src = trimmed(attribute(script, "src"));
        Ref<NSURL> url = src.empty() ? nullptr : resolve(src);
        if (!url) return true;
        std::string scheme = lowercased(url->scheme() ? url->scheme()->utf8() : std::string());
        if (scheme == "file") {
            auto path = url->path();
            auto data = path ? NSData::dataWithContentsOfFile(path) : nullptr;
            if (data) runText(decodedText(data->view(), ""));
            return true;
        }
        if (scheme == "data") {
            if (auto d = decodeDataURL(url->absoluteString()->utf8())) {
                runText(decodedText(d->bytes, d->charset));
            }
            return true;
        }
        if (scheme == "http" || scheme == "https") {
            std::string charset = attribute(script, "charset");
            std::weak_ptr<Page> weak = weak_from_this();
            if (!parserInserted) ++pendingFetches_;
            host_->pageFetches(url, [weak, script, parserInserted, charset](Ref<NSData> data,
                                                                            std::string enc) {
                auto self = weak.lock();
                if (!self || self->stopped_) return;
                if (!parserInserted) --self->pendingFetches_;
                if (data) {
                    self->runScriptFor(script, parserInserted,
                                       decodedText(data->view(), enc.empty() ? charset : enc));
                    if (self->stopped_) return;
                }
                if (parserInserted) {
                    self->walkBlocked_ = false;
                    self->walkNext_ =
                        self->isAttached(script) ? self->nextInOrder(script, true) : nullptr;
                    self->continueWalk();
                } else if (!self->walking_ && !self->walkBlocked_ && self->pendingFetches_ == 0) {
                    self->finishLoad();
                }
            });
            return !parserInserted;
        }
        return true;
    }
    runText(scriptText(script));
    return true;
}

void Page::runScriptFor(xmlNode* script, bool parserInserted, const std::string& text) {
    // What the script writes goes in right after it; a script that the parser did not place
    // writes at the end of the body instead.
    xmlNode* savedScript = currentScript_;
    xmlNode* savedAfter = writeAfter_;
    std::string savedWrites = std::move(pendingWrites_);
    pendingWrites_.clear();
    currentScript_ = parserInserted ? script : nullptr;
    writeAfter_ = script;
    runScriptText(text);
    flushWrites();
    currentScript_ = savedScript;
    writeAfter_ = savedAfter;
    pendingWrites_ = std::move(savedWrites);
}

void Page::runInsertedScripts(xmlNode* root) {
    if (!started_ || closed_) return;
    std::vector<xmlNode*> scripts;
    std::vector<xmlNode*> stack{root};
    while (!stack.empty()) {
        xmlNode* n = stack.back();
        stack.pop_back();
        if (n->type != XML_ELEMENT_NODE) continue;
        if (isElement(n, "script")) {
            if (!startedScripts_.count(n)) scripts.push_back(n);
            continue;
        }
        std::vector<xmlNode*> kids;
        for (xmlNode* c = n->children; c; c = c->next)
            kids.push_back(c);
        stack.insert(stack.end(), kids.rbegin(), kids.rend());
    }
    for (xmlNode* s : scripts) {
        if (closed_) break;
        runScriptElement(s, false);
    }
}

void Page::write(std::string_view html) {
    if (currentScript_ && !loaded_) {
        pendingWrites_.append(html);
        return;
    }
    xmlNode* body = findElement(doc_->children, "body");
    if (!body) return;
    for (xmlNode* n : parseFragment(html)) {
        insertNode(body, n, nullptr);
        if (n->type == XML_ELEMENT_NODE) callHook("exposeIds", handleOf(n));
    }
}

void Page::flushWrites() {
    if (pendingWrites_.empty()) return;
    std::string html = std::move(pendingWrites_);
    pendingWrites_.clear();
    xmlNode* after = writeAfter_;
    bool inHead = false;
    for (xmlNode* a = after; a; a = a->parent) {
        if (isElement(a, "head")) inHead = true;
    }
    xmlNode* body = findElement(doc_->children, "body");
    std::vector<xmlNode*> written = parseFragment(html);
    for (xmlNode* n : written) {
        bool headContent = n->type == XML_COMMENT_NODE ||
                           (n->type == XML_TEXT_NODE && trimmed(contentOf(n)).empty()) ||
                           (n->type == XML_ELEMENT_NODE &&
                            oneOfNames(nameOf(n), {"script", "style", "meta", "link", "title",
                                                   "base", "noscript"}));
        if (inHead && !headContent && body) {
            // What a script in the head writes for the page itself opens the body, as the
            // parser would; it goes before what the body already holds, in writing order.
            xmlNode* before =
                bodySpill_ && bodySpill_->parent == body ? bodySpill_->next : body->children;
            linkChild(body, n, before);
            bodySpill_ = n;
            continue;
        }
        if (after && after->parent && isAttached(after)) {
            // Written text lands right after the script (or what it wrote before); the walk
            // reaches it next, so scripts in it run in order.
            linkChild(after->parent, n, after->next);
        } else if (body) {
            linkChild(body, n, nullptr);
        } else {
            detached_.insert(n);
            continue;
        }
        after = n;
    }
    writeAfter_ = after;
    for (xmlNode* n : written) {
        if (n->type == XML_ELEMENT_NODE) callHook("exposeIds", handleOf(n));
    }
}

// ---- timers
// ---------------------------------------------------------------------------------------

int32_t Page::addTimer(double milliseconds, bool repeats) {
    if (closed_) return 0;
    int32_t id = nextTimer_++;
    double seconds = std::max(0.0, milliseconds / 1000.0);
    // A repeating timer of no interval would keep the loop busy forever; browsers clamp too.
    if (repeats) seconds = std::max(seconds, 0.004);
    std::weak_ptr<Page> weak = weak_from_this();
    auto timer = NSTimer::timerWithTimeInterval(seconds, repeats, [weak, id](NSTimer*) {
        if (auto self = weak.lock()) self->timerFired(id);
    });
    NSRunLoop::mainRunLoop()->addTimer(timer, NSRunLoopCommonModes);
    timers_[id] = timer;
    return id;
}

void Page::removeTimer(int32_t id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    it->second->invalidate();
    timers_.erase(it);
}

void Page::timerFired(int32_t id) {
    if (closed_) return;
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    Ref<NSTimer> keep = it->second;
    if (keep->timeInterval() == 0) timers_.erase(it);  // a one-shot timer is done
    callHook("fire", id);
}

// ---- clicks and readable text
// --------------------------------------------------------------------

bool Page::click(xmlNode* element) {
    if (closed_ || !element || element->type != XML_ELEMENT_NODE) return false;
    bool done = false;
    callHook("click", handleOf(element), &done);
    return done;
}

bool Page::enterText(xmlNode* element, std::string_view text) {
    if (closed_ || !element || element->type != XML_ELEMENT_NODE) return false;
    bool done = false;
    callHook("enterText", handleOf(element), &done, text);
    return done;
}

bool Page::takesText(xmlNode* element) {
    if (closed_ || !isElement(element)) return false;
    std::string_view name = nameOf(element);
    if (name == "textarea" || name == "select") return true;
    std::string type = lowercased(attribute(element, "type"));
    return name == "input" && !oneOfNames(type, {"submit", "button", "reset", "image", "checkbox",
                                                 "radio", "hidden", "file"});
}

namespace {

class TextWriter {
public:
    void word(std::string_view w) {
        if (w.empty()) return;
        if (pendingBreak_ && !out_.empty()) {
            while (!out_.empty() && out_.back() == ' ')
                out_.pop_back();
            out_ += pendingBreak_ >= 2 ? "\n\n" : "\n";
            atLineStart_ = true;
        } else if (pendingSpace_ && !atLineStart_ && !out_.empty() && out_.back() != ' ') {
            out_ += ' ';
        }
        pendingBreak_ = 0;
        pendingSpace_ = false;
        atLineStart_ = false;
        out_.append(w);
    }
    void text(std::string_view t, bool pre) {
        if (pre) {
            size_t start = 0;
            while (start <= t.size()) {
                size_t nl = t.find('\n', start);
                std::string_view line = t.substr(
                    start, nl == std::string_view::npos ? std::string_view::npos : nl - start);
                std::string cleaned;
                for (char c : line)
                    cleaned += c == '\t' ? ' ' : c;
                while (!cleaned.empty() && cleaned.back() == ' ')
                    cleaned.pop_back();
                if (!cleaned.empty()) word(cleaned);
                if (nl == std::string_view::npos) break;
                lineBreak(1);
                start = nl + 1;
            }
            return;
        }
        std::string w;
        for (size_t i = 0; i < t.size(); ++i) {
            unsigned char c = static_cast<unsigned char>(t[i]);
            bool nbsp =
                c == 0xC2 && i + 1 < t.size() && static_cast<unsigned char>(t[i + 1]) == 0xA0;
            if (isSpace(char(c)) || nbsp) {
                if (!w.empty()) {
                    word(w);
                    w.clear();
                }
                pendingSpace_ = true;
                if (nbsp) ++i;
            } else {
                w += char(c);
            }
        }
        if (!w.empty()) word(w);
    }
    void space() { pendingSpace_ = true; }
    void lineBreak(int n) { pendingBreak_ = std::max(pendingBreak_, n); }
    void brk() { pendingBreak_ = pendingBreak_ >= 1 ? 2 : 1; }
    size_t size() const { return out_.size(); }
    std::string finish() {
        while (!out_.empty() && (out_.back() == ' ' || out_.back() == '\n'))
            out_.pop_back();
        return out_;
    }

private:
    std::string out_;
    int pendingBreak_ = 0;
    bool pendingSpace_ = false;
    bool atLineStart_ = true;
};

bool oneOf(std::string_view name, std::initializer_list<std::string_view> names) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

std::string chosenOptionText(xmlNode* select) {
    xmlNode* first = nullptr;
    xmlNode* selected = nullptr;
    // Options may sit in groups.
    std::function<void(xmlNode*)> look = [&](xmlNode* n) {
        for (; n && !selected; n = n->next) {
            if (isElement(n, "option")) {
                if (!first) first = n;
                if (hasAttribute(n, "selected")) selected = n;
            } else if (isElement(n, "optgroup")) {
                look(n->children);
            }
        }
    };
    if (select) look(select->children);
    xmlNode* shown = selected ? selected : first;
    return shown ? collapsedWhitespace(contentOf(shown)) : std::string();
}

std::string inputButtonLabel(std::string_view type, const std::string& value) {
    if (!value.empty()) return value;
    if (type == "reset") return "Reset";
    return type == "button" ? std::string() : "Submit";
}

std::string Page::readableText(std::vector<xmlNode*>* clickables) {
    TextWriter w;
    int number = 0;
    std::vector<xmlNode*> found;
    std::function<void(xmlNode*, bool, bool)> walk = [&](xmlNode* n, bool pre, bool inClickable) {
        for (; n; n = n->next) {
            if (n->type == XML_TEXT_NODE || n->type == XML_CDATA_SECTION_NODE) {
                if (n->content) w.text(reinterpret_cast<const char*>(n->content), pre);
                continue;
            }
            if (n->type != XML_ELEMENT_NODE) continue;
            std::string_view name = nameOf(n);
            if (oneOf(name, {"head", "script", "style", "noscript", "template", "title", "meta",
                             "link"}) ||
                isHidden(n) || styleHidden_.count(n) > 0) {
                continue;
            }
            std::string type = lowercased(attribute(n, "type"));
            if (name == "input" && type == "hidden") continue;

            bool clickable = false;
            if (!inClickable) {
                // Links, buttons, form fields and whatever a script listens to for clicks.
                clickable = ((name == "a" || name == "area") && hasAttribute(n, "href")) ||
                            oneOf(name, {"button", "input", "textarea", "select"}) ||
                            hasAttribute(n, "onclick") || clickable_.count(n) > 0;
            }
            int level = 0;
            if (name.size() == 2 && name[0] == 'h' && name[1] >= '1' && name[1] <= '6') {
                level = name[1] - '0';
            }
            bool paragraph = level > 0 || oneOf(name, {"p", "ul", "ol", "table", "blockquote",
                                                       "pre", "form", "dl", "hr"});
            bool block =
                paragraph ||
                oneOf(name, {"div",    "li",      "tr",     "center",     "section", "article",
                             "header", "footer",  "nav",    "aside",      "main",    "dt",
                             "dd",     "address", "figure", "figcaption", "caption", "fieldset",
                             "legend", "body",    "html",   "frameset"});
            if (name == "br") {
                w.brk();
                continue;
            }
            if (block) w.lineBreak(paragraph ? 2 : 1);
            if (name == "td" || name == "th") w.space();
            if (level > 0) {
                w.word(std::string(size_t(level), '#'));
                w.space();
            }
            if (name == "li") {
                w.word("-");
                w.space();
            }
            if (name == "hr") w.word("---");
            size_t before = w.size();
            if (clickable) {
                found.push_back(n);
                ++number;
                w.space();
                w.word("[" + std::to_string(number) + "]");
                w.space();
                before = w.size();
            }
            if (name == "img" || (name == "input" && type == "image")) {
                std::string src = attribute(n, "src");
                Ref<NSURL> u = src.empty() ? nullptr : resolve(src);
                w.space();
                // A local file by its name: its folder is the machine's, not the page's.
                std::string shown = !u               ? std::string()
                                    : u->isFileURL() ? u->lastPathComponent()->utf8()
                                                     : u->absoluteString()->utf8();
                w.word(u ? "[image " + shown + "]" : std::string("[image]"));
                w.space();
            } else if (oneOf(name, {"iframe", "embed", "frame"})) {
                std::string src = attribute(n, "src");
                Ref<NSURL> u = src.empty() ? nullptr : resolve(src);
                w.space();
                w.word(u ? "[embedded " + u->absoluteString()->utf8() + "]"
                         : std::string("[embedded]"));
                w.space();
                continue;
            } else if (name == "input") {
                std::string value = attribute(n, "value");
                if (oneOf(type, {"submit", "button", "reset"})) {
                    w.text(value.empty() && type == "button" ? "Submit"
                                                             : inputButtonLabel(type, value),
                           false);
                } else if (type == "checkbox" || type == "radio") {
                    w.word(hasAttribute(n, "checked") ? "[x]" : "[ ]");
                } else if (type != "image") {
                    w.space();
                    w.word("[" + (type == "password" ? std::string("password") : "text: " + value) +
                           "]");
                    w.space();
                }
            } else if (name == "textarea") {
                w.space();
                w.word("[text: " + collapsedWhitespace(contentOf(n)) + "]");
                w.space();
            } else if (name == "select") {
                w.space();
                w.word("[select: " + chosenOptionText(n) + "]");
                w.space();
            } else {
                walk(n->children, pre || name == "pre", inClickable || clickable);
            }
            if (clickable && w.size() == before && (name == "a" || name == "area")) {
                // A link with nothing readable inside shows where it leads.
                Ref<NSURL> u = resolve(attribute(n, "href"));
                w.word(u ? u->absoluteString()->utf8() : attribute(n, "href"));
            }
            if (clickable) w.space();
            if (block) w.lineBreak(paragraph ? 2 : 1);
            if (name == "td" || name == "th") w.space();
        }
    };
    walk(doc_->children, false, false);
    if (clickables) *clickables = std::move(found);
    return w.finish();
}

}  // namespace webcontent
