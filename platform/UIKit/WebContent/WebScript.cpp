// The page's script engine: one engine heap per page, the native tree operations the browser
// model (WebPrelude.cpp) is built on, evaluation and the hooks into the model.
//
// The engine unwinds its errors with longjmp, so no native operation here may leave a C++
// object with a destructor alive across an engine call that can throw. The operations only read
// their arguments with the non-throwing accessors, keep C++ work in inner scopes, and report
// failure by returning an error code, which the engine raises after the operation has returned.
#include <libxml/tree.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "Foundation/Clock.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "UIKit/WebContent/WebPage.h"
#include "UIKit/WebContent/WebScript.h"
#include "UIKit/WebContent/WebText.h"
#include "duktape.h"

namespace webcontent {

const std::string& pageUserAgent() {
    // An immutable shared value: never destroyed, so it stays readable to the end.
    static const std::string& ua = *new std::string(
        "Mozilla/5.0 (iPhone; U; CPU iPhone OS 5_1 like Mac OS X; en-us) Mobile/9B176");
    return ua;
}

namespace {

const char kPageKey[] = "page";
const char kHooksKey[] = "hooks";

Page* pageFrom(duk_context* ctx) {
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, kPageKey);
    auto* page = static_cast<Page*>(duk_get_pointer(ctx, -1));
    duk_pop_2(ctx);
    return page;
}

// An argument as UTF-8 text (coerced in place without throwing).
std::string arg(duk_context* ctx, duk_idx_t i) {
    duk_size_t len = 0;
    const char* s = duk_safe_to_lstring(ctx, i, &len);
    return joinedSurrogates(std::string_view(s ? s : "", len));
}

xmlNode* argNode(duk_context* ctx, Page* page, duk_idx_t i) {
    return page->nodeOf(duk_get_int(ctx, i));
}

void pushText(duk_context* ctx, const std::string& s) {
    duk_push_lstring(ctx, s.data(), s.size());
}

void pushHandles(duk_context* ctx, Page* page, const std::vector<xmlNode*>& nodes) {
    duk_idx_t arr = duk_push_array(ctx);
    for (size_t i = 0; i < nodes.size(); ++i) {
        duk_push_int(ctx, page->handleOf(nodes[i]));
        duk_put_prop_index(ctx, arr, duk_uarridx_t(i));
    }
}

// Elements below `root` in document order that pass `keep`.
template <class F>
std::vector<xmlNode*> descendants(xmlNode* root, F&& keep) {
    std::vector<xmlNode*> out;
    if (!root) return out;
    xmlNode* n = root->children;
    while (n) {
        if (n->type == XML_ELEMENT_NODE && keep(n)) out.push_back(n);
        if (n->type == XML_ELEMENT_NODE && n->children) {
            n = n->children;
            continue;
        }
        while (n && n != root && !n->next)
            n = n->parent;
        if (!n || n == root) break;
        n = n->next;
    }
    return out;
}

std::string attr(xmlNode* n, const std::string& name) {
    xmlChar* v = xmlGetProp(n, BAD_CAST name.c_str());
    std::string s = v ? reinterpret_cast<const char*>(v) : "";
    if (v) xmlFree(v);
    return s;
}

bool attrIs(xmlNode* n, const char* name, const std::string& value) {
    return xmlHasProp(n, BAD_CAST name) && attr(n, name) == value;
}

std::vector<std::string> words(const std::string& s) {
    std::vector<std::string> out;
    std::string w;
    for (char c : s) {
        if (isSpace(c)) {
            if (!w.empty()) out.push_back(std::move(w));
            w.clear();
        } else {
            w += c;
        }
    }
    if (!w.empty()) out.push_back(std::move(w));
    return out;
}

// Every native operation: looks up its page and turns a C++ failure into a script error.
#define NATIVE(name)                                    \
    duk_ret_t name##Body(duk_context* ctx, Page* page); \
    duk_ret_t name(duk_context* ctx) {                  \
        Page* page = pageFrom(ctx);                     \
        if (!page) return DUK_RET_ERROR;                \
        duk_ret_t r;                                    \
        try {                                           \
            r = name##Body(ctx, page);                  \
        } catch (...) {                                 \
            r = DUK_RET_ERROR;                          \
        }                                               \
        return r;                                       \
    }                                                   \
    duk_ret_t name##Body([[maybe_unused]] duk_context* ctx, [[maybe_unused]] Page* page)

NATIVE(nType) {
    xmlNode* n = argNode(ctx, page, 0);
    int t = 0;
    if (n) {
        switch (n->type) {
            case XML_ELEMENT_NODE:
                t = 1;
                break;
            case XML_TEXT_NODE:
                t = 3;
                break;
            case XML_CDATA_SECTION_NODE:
                t = 4;
                break;
            case XML_COMMENT_NODE:
                t = 8;
                break;
            case XML_HTML_DOCUMENT_NODE:
            case XML_DOCUMENT_NODE:
                t = 9;
                break;
            case XML_DTD_NODE:
                t = 10;
                break;
            default:
                t = 0;
        }
    }
    duk_push_int(ctx, t);
    return 1;
}

NATIVE(nName) {
    xmlNode* n = argNode(ctx, page, 0);
    const char* name =
        n && n->type == XML_ELEMENT_NODE && n->name ? reinterpret_cast<const char*>(n->name) : "";
    duk_push_string(ctx, name);
    return 1;
}

xmlNode* related(xmlNode* n, int which) {
    if (!n) return nullptr;
    switch (which) {
        case 0:
            return n->parent;
        case 1:
            return n->type == XML_ELEMENT_NODE || n->type == XML_HTML_DOCUMENT_NODE ? n->children
                                                                                    : nullptr;
        case 2:
            return n->type == XML_ELEMENT_NODE || n->type == XML_HTML_DOCUMENT_NODE ? n->last
                                                                                    : nullptr;
        case 3:
            return n->next;
        default:
            return n->prev;
    }
}

NATIVE(nRelative) {
    xmlNode* n = argNode(ctx, page, 0);
    duk_push_int(ctx, page->handleOf(related(n, duk_get_current_magic(ctx))));
    return 1;
}

NATIVE(nGetAttr) {
    xmlNode* n = argNode(ctx, page, 0);
    bool found = false;
    std::string value;
    {
        std::string name = arg(ctx, 1);
        if (n && n->type == XML_ELEMENT_NODE && xmlHasProp(n, BAD_CAST name.c_str())) {
            found = true;
            value = attr(n, name);
        }
    }
    if (found) {
        pushText(ctx, value);
    } else {
        duk_push_null(ctx);
    }
    return 1;
}

NATIVE(nSetAttr) {
    xmlNode* n = argNode(ctx, page, 0);
    std::string name = arg(ctx, 1);
    std::string value = arg(ctx, 2);
    if (n && n->type == XML_ELEMENT_NODE && !name.empty()) {
        xmlSetProp(n, BAD_CAST name.c_str(), BAD_CAST value.c_str());
    }
    return 0;
}

NATIVE(nRemoveAttr) {
    xmlNode* n = argNode(ctx, page, 0);
    std::string name = arg(ctx, 1);
    if (n && n->type == XML_ELEMENT_NODE) xmlUnsetProp(n, BAD_CAST name.c_str());
    return 0;
}

NATIVE(nHasAttr) {
    xmlNode* n = argNode(ctx, page, 0);
    bool has;
    {
        std::string name = arg(ctx, 1);
        has = n && n->type == XML_ELEMENT_NODE && xmlHasProp(n, BAD_CAST name.c_str());
    }
    duk_push_boolean(ctx, has);
    return 1;
}

NATIVE(nAttrs) {
    xmlNode* n = argNode(ctx, page, 0);
    std::vector<std::pair<std::string, std::string>> pairs;
    if (n && n->type == XML_ELEMENT_NODE) {
        for (xmlAttr* a = n->properties; a; a = a->next) {
            std::string name = reinterpret_cast<const char*>(a->name);
            pairs.emplace_back(name, attr(n, name));
        }
    }
    duk_idx_t arr = duk_push_array(ctx);
    for (size_t i = 0; i < pairs.size(); ++i) {
        duk_idx_t pair = duk_push_array(ctx);
        pushText(ctx, pairs[i].first);
        duk_put_prop_index(ctx, pair, 0);
        pushText(ctx, pairs[i].second);
        duk_put_prop_index(ctx, pair, 1);
        duk_put_prop_index(ctx, arr, duk_uarridx_t(i));
    }
    return 1;
}

NATIVE(nText) {
    xmlNode* n = argNode(ctx, page, 0);
    std::string text;
    if (n) {
        xmlChar* c = xmlNodeGetContent(n);
        if (c) {
            text = reinterpret_cast<const char*>(c);
            xmlFree(c);
        }
    }
    pushText(ctx, text);
    return 1;
}

NATIVE(nSetText) {
    page->setTextContent(argNode(ctx, page, 0), arg(ctx, 1));
    return 0;
}

NATIVE(nHTML) {
    pushText(ctx, page->innerHTML(argNode(ctx, page, 0)));
    return 1;
}

NATIVE(nOuter) {
    pushText(ctx, page->outerHTML(argNode(ctx, page, 0)));
    return 1;
}

NATIVE(nSetHTML) {
    page->setInnerHTML(argNode(ctx, page, 0), arg(ctx, 1));
    return 0;
}

NATIVE(nCreate) {
    std::string name = arg(ctx, 0);
    int32_t h = 0;
    if (!name.empty() && name.find_first_of(" \t\n<>\"'/=") == std::string::npos) {
        h = page->handleOf(page->createElement(name));
    }
    if (!h) return DUK_RET_ERROR;
    duk_push_int(ctx, h);
    return 1;
}

NATIVE(nCreateText) {
    duk_push_int(ctx, page->handleOf(page->createText(arg(ctx, 0))));
    return 1;
}

NATIVE(nCreateComment) {
    duk_push_int(ctx, page->handleOf(page->createComment(arg(ctx, 0))));
    return 1;
}

NATIVE(nClone) {
    duk_push_int(ctx,
                 page->handleOf(page->cloneNode(argNode(ctx, page, 0), duk_to_boolean(ctx, 1))));
    return 1;
}

NATIVE(nInsert) {
    xmlNode* parent = argNode(ctx, page, 0);
    xmlNode* child = argNode(ctx, page, 1);
    xmlNode* before = argNode(ctx, page, 2);
    if (!parent || !child) return DUK_RET_TYPE_ERROR;
    for (xmlNode* a = parent; a; a = a->parent) {
        if (a == child) return DUK_RET_ERROR;  // HierarchyRequestError
    }
    page->insertNode(parent, child, before);
    return 0;
}

NATIVE(nRemove) {
    page->removeNode(argNode(ctx, page, 0));
    return 0;
}

NATIVE(nRoot) {
    duk_push_int(ctx, page->handleOf(reinterpret_cast<xmlNode*>(page->document())));
    return 1;
}

NATIVE(nById) {
    page->flushWrites();
    duk_push_int(ctx, page->handleOf(page->elementById(arg(ctx, 0))));
    return 1;
}

NATIVE(nByTag) {
    page->flushWrites();
    std::vector<xmlNode*> found;
    {
        xmlNode* root = argNode(ctx, page, 0);
        std::string tag = arg(ctx, 1);
        found = descendants(root, [&](xmlNode* n) {
            return tag == "*" || tag == reinterpret_cast<const char*>(n->name);
        });
    }
    pushHandles(ctx, page, found);
    return 1;
}

NATIVE(nByClass) {
    page->flushWrites();
    std::vector<xmlNode*> found;
    {
        xmlNode* root = argNode(ctx, page, 0);
        std::vector<std::string> wanted = words(arg(ctx, 1));
        if (!wanted.empty()) {
            found = descendants(root, [&](xmlNode* n) {
                if (!xmlHasProp(n, BAD_CAST "class")) return false;
                auto have = words(attr(n, "class"));
                for (auto& w : wanted) {
                    if (std::find(have.begin(), have.end(), w) == have.end()) return false;
                }
                return true;
            });
        }
    }
    pushHandles(ctx, page, found);
    return 1;
}

NATIVE(nByName) {
    page->flushWrites();
    std::vector<xmlNode*> found;
    {
        std::string name = arg(ctx, 0);
        found = descendants(reinterpret_cast<xmlNode*>(page->document()),
                            [&](xmlNode* n) { return attrIs(n, "name", name); });
    }
    pushHandles(ctx, page, found);
    return 1;
}

NATIVE(nWrite) {
    page->write(arg(ctx, 0));
    return 0;
}

NATIVE(nURL) {
    std::string url;
    {
        Ref<NSURL> u = page->url();
        url = u ? u->absoluteString()->utf8() : std::string("about:blank");
    }
    pushText(ctx, url);
    return 1;
}

NATIVE(nReferrer) {
    pushText(ctx, page->referrer());
    return 1;
}

NATIVE(nResolve) {
    std::string out;
    {
        std::string relative = arg(ctx, 0);
        Ref<NSURL> u = page->resolve(relative);
        out = u ? u->absoluteString()->utf8() : relative;
    }
    pushText(ctx, out);
    return 1;
}

NATIVE(nNavigate) {
    page->requestNavigation(arg(ctx, 0), duk_get_int(ctx, 1), arg(ctx, 2), arg(ctx, 3));
    return 0;
}

NATIVE(nSetTimer) {
    duk_push_int(ctx, page->addTimer(duk_get_number(ctx, 0), duk_to_boolean(ctx, 1)));
    return 1;
}

NATIVE(nClearTimer) {
    page->removeTimer(duk_get_int(ctx, 0));
    return 0;
}

NATIVE(nNow) {
    // Whole milliseconds, as a browser's clock reads.
    duk_push_number(ctx, std::floor((Clock::now() + NSTimeIntervalSince1970) * 1000.0));
    return 1;
}

NATIVE(nViewport) {
    CGSize size = page->host()->pageViewportSize();
    duk_idx_t arr = duk_push_array(ctx);
    duk_push_number(ctx, size.width);
    duk_put_prop_index(ctx, arr, 0);
    duk_push_number(ctx, size.height);
    duk_put_prop_index(ctx, arr, 1);
    return 1;
}

NATIVE(nLog) {
    NSLogMessage(NSString::fromUTF8(arg(ctx, 0)));
    return 0;
}

NATIVE(nClickable) {
    if (xmlNode* n = argNode(ctx, page, 0)) page->markClickable(n);
    return 0;
}

NATIVE(nReadyState) {
    duk_push_string(ctx, page->readyState());
    return 1;
}

NATIVE(nUserAgent) {
    pushText(ctx, pageUserAgent());
    return 1;
}

struct NativeEntry {
    const char* name;
    duk_c_function fn;
    duk_idx_t args;
    int magic;
};

const NativeEntry kNatives[] = {
    {"type", nType, 1, 0},
    {"name", nName, 1, 0},
    {"parent", nRelative, 1, 0},
    {"first", nRelative, 1, 1},
    {"last", nRelative, 1, 2},
    {"next", nRelative, 1, 3},
    {"prev", nRelative, 1, 4},
    {"getAttr", nGetAttr, 2, 0},
    {"setAttr", nSetAttr, 3, 0},
    {"removeAttr", nRemoveAttr, 2, 0},
    {"hasAttr", nHasAttr, 2, 0},
    {"attrs", nAttrs, 1, 0},
    {"text", nText, 1, 0},
    {"setText", nSetText, 2, 0},
    {"html", nHTML, 1, 0},
    {"outer", nOuter, 1, 0},
    {"setHTML", nSetHTML, 2, 0},
    {"create", nCreate, 1, 0},
    {"createText", nCreateText, 1, 0},
    {"createComment", nCreateComment, 1, 0},
    {"clone", nClone, 2, 0},
    {"insert", nInsert, 3, 0},
    {"remove", nRemove, 1, 0},
    {"root", nRoot, 0, 0},
    {"byId", nById, 1, 0},
    {"byTag", nByTag, 2, 0},
    {"byClass", nByClass, 2, 0},
    {"byName", nByName, 1, 0},
    {"write", nWrite, 1, 0},
    {"url", nURL, 0, 0},
    {"referrer", nReferrer, 0, 0},
    {"resolve", nResolve, 1, 0},
    {"navigate", nNavigate, 4, 0},
    {"setTimer", nSetTimer, 2, 0},
    {"clearTimer", nClearTimer, 1, 0},
    {"now", nNow, 0, 0},
    {"viewport", nViewport, 0, 0},
    {"log", nLog, 1, 0},
    {"clickable", nClickable, 1, 0},
    {"readyState", nReadyState, 0, 0},
    {"userAgent", nUserAgent, 0, 0},
};

void fatal(void*, const char* message) {
    NSLog(NS("Script engine failure: %s"), message ? message : "");
    std::abort();
}

}  // namespace

void Page::setUpScripts() {
    ctx_ = duk_create_heap(nullptr, nullptr, nullptr, nullptr, fatal);
    if (!ctx_) return;
    duk_push_global_stash(ctx_);
    duk_push_pointer(ctx_, this);
    duk_put_prop_string(ctx_, -2, kPageKey);
    duk_pop(ctx_);

    // Compiling the model is most of a page's start-up; it is compiled once per process and
    // every later page loads the compiled form, which never changes: it is kept, with its
    // lock, for the whole run and never destroyed.
    static std::mutex& lock = *new std::mutex();
    static std::string& compiled = *new std::string();
    std::lock_guard<std::mutex> guard(lock);
    if (compiled.empty()) {
        size_t length = std::strlen(kPreludeSource);
        if (duk_pcompile_lstring(ctx_, DUK_COMPILE_FUNCTION, kPreludeSource, length) != 0) {
            NSLog(NS("Browser model does not compile: %s"), duk_safe_to_string(ctx_, -1));
            duk_pop(ctx_);
            return;
        }
        duk_dup_top(ctx_);
        duk_dump_function(ctx_);
        duk_size_t size = 0;
        auto* bytes = static_cast<const char*>(duk_get_buffer(ctx_, -1, &size));
        compiled.assign(bytes, size);
        duk_pop(ctx_);
    } else {
        void* buffer = duk_push_fixed_buffer(ctx_, compiled.size());
        std::memcpy(buffer, compiled.data(), compiled.size());
        duk_load_function(ctx_);
    }
    duk_idx_t natives = duk_push_object(ctx_);
    for (const NativeEntry& e : kNatives) {
        duk_push_c_function(ctx_, e.fn, e.args);
        duk_set_magic(ctx_, -1, e.magic);
        duk_put_prop_string(ctx_, natives, e.name);
    }
    duk_push_global_object(ctx_);
    if (duk_pcall(ctx_, 2) != 0) {
        NSLog(NS("Browser model does not start: %s"), duk_safe_to_string(ctx_, -1));
        duk_pop(ctx_);
        return;
    }
    duk_push_global_stash(ctx_);
    duk_swap_top(ctx_, -2);
    duk_put_prop_string(ctx_, -2, kHooksKey);
    duk_pop(ctx_);
}

bool Page::callHook(const char* name, int32_t argument, bool* result,
                    std::optional<std::string_view> text) {
    if (!ctx_ || closed_) return false;
    auto self = shared_from_this();
    duk_push_global_stash(ctx_);
    duk_get_prop_string(ctx_, -1, kHooksKey);
    if (!duk_is_object(ctx_, -1)) {
        duk_pop_2(ctx_);
        return false;
    }
    duk_get_prop_string(ctx_, -1, name);
    duk_push_int(ctx_, argument);
    if (text) duk_push_lstring(ctx_, text->data(), text->size());
    bool ok = duk_pcall(ctx_, text ? 2 : 1) == 0;
    if (ok && result) *result = duk_to_boolean(ctx_, -1);
    duk_pop_3(ctx_);
    if (host_) host_->pageScriptsRan();
    return ok;
}

void Page::runScriptText(const std::string& text) {
    if (!ctx_ || closed_) return;
    auto self = shared_from_this();
    duk_peval_lstring(ctx_, text.data(), text.size());
    duk_pop(ctx_);
    if (host_) host_->pageScriptsRan();
}

std::string Page::evaluate(std::string_view script) {
    if (!ctx_ || closed_) return {};
    auto self = shared_from_this();
    bool ok = duk_peval_lstring(ctx_, script.data(), script.size()) == 0;
    std::string out;
    if (ok) {
        switch (duk_get_type(ctx_, -1)) {
            case DUK_TYPE_STRING:
            case DUK_TYPE_NUMBER:
            case DUK_TYPE_BOOLEAN: {
                duk_size_t len = 0;
                const char* s = duk_safe_to_lstring(ctx_, -1, &len);
                out = joinedSurrogates(std::string_view(s ? s : "", len));
                break;
            }
            default:
                break;
        }
    }
    duk_pop(ctx_);
    if (host_) host_->pageScriptsRan();
    return out;
}

}  // namespace webcontent
