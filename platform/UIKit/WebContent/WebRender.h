// The picture of a page: its document tree laid out and painted by the HTML/CSS layout engine
// (litehtml), which draws through our CoreGraphics, fonts and image decoders. Images and linked
// style sheets come through the host's fetch; data: URLs are read inline. Internal to the web
// view.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>

#include "CoreGraphics/CGContext.h"
#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSObject.h"
#include "UIKit/WebContent/WebPage.h"

class NSData;
class NSURL;
struct _xmlNode;

namespace webcontent {

class PageRenderer {
public:
    class Host {
    public:
        virtual ~Host() = default;
        // Fetches an image or style sheet; `done` runs later on the main thread with nil data
        // for a failure, and never once the renderer is gone.
        using ResourceDone = std::function<void(Ref<NSData> data)>;
        virtual void rendererFetches(NSURL* url, ResourceDone done) = 0;
        // Something arrived that changes the picture; the next update lays the page out again.
        virtual void rendererChanged() = 0;
    };

    explicit PageRenderer(Host* host);
    ~PageRenderer();
    PageRenderer(const PageRenderer&) = delete;
    PageRenderer& operator=(const PageRenderer&) = delete;

    // Brings the layout up to date with the page's document (as its scripts left it), the
    // viewport and what has arrived since; cheap when nothing changed. A null page is empty.
    // True when it laid the page out again.
    bool update(Page* page, CGSize viewport);
    // The laid-out height in points (at least the viewport's when the page is shorter).
    CGFloat contentHeight() const;
    // Paints the part of the page within `rect` (page coordinates) into the context; white
    // first, so a page the engine could not lay out shows white.
    void paint(CGContextRef context, CGRect rect);
    // The document's element under the point (page coordinates), or null.
    _xmlNode* elementAt(CGPoint point);
    // Elements that style rules hide (display:none, visibility:hidden), as last laid out.
    const std::set<_xmlNode*>& hiddenElements() const;
    // Forgets the page: fetches in flight are dropped.
    void reset();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// A host for a page laid out away from any view (fuzzing, benchmarks): nothing is fetched, no
// navigation happens.
class DetachedPageHost : public PageHost, public PageRenderer::Host {
public:
    explicit DetachedPageHost(CGSize viewport) : viewport_(viewport) {}
    void pageRequestsNavigation(NSURLRequest*, NSInteger) override {}
    void pageFetches(NSURL*, FetchDone) override {}
    CGSize pageViewportSize() override { return viewport_; }
    void rendererFetches(NSURL*, ResourceDone) override {}
    void rendererChanged() override {}

private:
    CGSize viewport_;
};

// While one lives, pages paint each word in a drawing call of its own instead of holding words
// back to paint them together: the general path the held-back painting is held to in tests.
class PaintWordByWordScope {
public:
    PaintWordByWordScope();
    ~PaintWordByWordScope();
    PaintWordByWordScope(const PaintWordByWordScope&) = delete;
    PaintWordByWordScope& operator=(const PaintWordByWordScope&) = delete;
    static bool active();
};

// The page's document as markup the layout engine reads: elements carry their script handle in
// the attribute `kNodeAttribute`, so laid-out boxes lead back to the document's nodes.
inline constexpr const char* kNodeAttribute = "data-bn-node";
std::string markupForLayout(Page* page);

}  // namespace webcontent
