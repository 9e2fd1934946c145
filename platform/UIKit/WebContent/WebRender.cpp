#include "UIKit/WebContent/WebRender.h"

#include <libxml/tree.h>
#include <litehtml/litehtml.h>
// After the engine's main header, which they need.
#include <litehtml/el_image.h>
#include <litehtml/el_text.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "CoreGraphics/CGContextCairo.h"
#include "Foundation/NSData.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "UIKit/FontSupport.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIStringDrawing.h"
#include "UIKit/WebContent/WebPage.h"
#include "UIKit/WebContent/WebText.h"

namespace webcontent {

namespace {

// The engine's default look of elements: what a browser gives a page before its own rules.
const char* const kDefaultStyleSheet = R"(
html, address, blockquote, body, dd, div, dl, dt, fieldset, form, frame, frameset, h1, h2, h3,
h4, h5, h6, noframes, ol, p, ul, center, dir, hr, menu, pre, article, aside, footer, header,
main, nav, section, figure, figcaption, details, summary { display: block; }
head, script, style, noscript, template, title, meta, link, base, [hidden] { display: none; }
li { display: list-item; }
table { display: table; border-spacing: 2px; }
tr { display: table-row; }
thead { display: table-header-group; }
tbody { display: table-row-group; }
tfoot { display: table-footer-group; }
col { display: table-column; }
colgroup { display: table-column-group; }
td, th { display: table-cell; padding: 1px; vertical-align: middle; }
caption { display: table-caption; text-align: center; }
th { font-weight: bold; text-align: center; }
body { margin: 8px; }
h1 { font-size: 2em; margin: .67em 0; font-weight: bold; }
h2 { font-size: 1.5em; margin: .75em 0; font-weight: bold; }
h3 { font-size: 1.17em; margin: .83em 0; font-weight: bold; }
h4 { margin: 1.12em 0; font-weight: bold; }
h5 { font-size: .83em; margin: 1.5em 0; font-weight: bold; }
h6 { font-size: .75em; margin: 1.67em 0; font-weight: bold; }
p, blockquote, ul, ol, dl, fieldset, form, pre { margin: 1em 0; }
blockquote { margin-left: 40px; margin-right: 40px; }
ul, ol, dd { margin-left: 40px; }
ul { list-style-type: disc; }
ol { list-style-type: decimal; }
b, strong { font-weight: bold; }
i, cite, em, var, address { font-style: italic; }
pre, tt, code, kbd, samp { font-family: monospace; }
pre { white-space: pre; }
big { font-size: 1.17em; }
small, sub, sup { font-size: .83em; }
u, ins { text-decoration: underline; }
s, strike, del { text-decoration: line-through; }
center { text-align: center; }
a:link, a { color: #0000EE; text-decoration: underline; }
hr { border: 1px inset; margin: .5em 0; }
img { display: inline-block; }
input, select, button, textarea { display: inline-block; border: 1px solid #888888; }
button { background-color: #e6e6e6; border-radius: 4px; padding: 2px 8px; }
textarea { background-color: #ffffff; padding: 2px; }
br { display: block; }
)";

// The text a form control shows, worked out from the document when the markup is written.
constexpr const char* kShownAttribute = "data-bn-shown";

bool isRawText(std::string_view name) {
    return name == "style";
}

bool isVoid(std::string_view name) {
    static const char* const names[] = {"area",  "base", "br",   "col",   "embed",  "hr",    "img",
                                        "input", "link", "meta", "param", "source", "track", "wbr"};
    return std::any_of(std::begin(names), std::end(names),
                       [&](const char* n) { return name == n; });
}

std::string attributeOf(xmlNode* n, const char* name) {
    xmlChar* v = xmlGetProp(n, reinterpret_cast<const xmlChar*>(name));
    std::string value = v ? reinterpret_cast<const char*>(v) : "";
    xmlFree(v);
    return value;
}

// The text a form control shows, or nothing for a control that shows none (a select's options
// are not laid out: the control shows the chosen one).
std::optional<std::string> shownByControl(xmlNode* n, std::string_view name) {
    if (name == "select") return chosenOptionText(n);
    if (name != "input") return std::nullopt;
    std::string type = lowercased(trimmed(attributeOf(n, "type")));
    std::string value = attributeOf(n, "value");
    if (type == "submit" || type == "button" || type == "reset")
        return inputButtonLabel(type, value);
    if (type == "password") {
        std::string dots;  // one per character: UTF-8 lead bytes
        for (char c : value)
            if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) dots += "\u2022";
        return dots;
    }
    return value;
}

void writeNode(Page* page, xmlNode* n, std::string& out) {
    for (; n; n = n->next) {
        if (n->type == XML_TEXT_NODE || n->type == XML_CDATA_SECTION_NODE) {
            if (n->content) appendEscapedHTML(out, reinterpret_cast<const char*>(n->content));
            continue;
        }
        if (n->type != XML_ELEMENT_NODE || !n->name) continue;
        std::string_view name = reinterpret_cast<const char*>(n->name);
        if (name == "script") continue;  // already run; the engine has nothing to show of it
        out += '<';
        out += name;
        for (xmlAttr* a = n->properties; a; a = a->next) {
            if (!a->name) continue;
            std::string_view an = reinterpret_cast<const char*>(a->name);
            if (an == kNodeAttribute || an == kShownAttribute) continue;
            out += ' ';
            out += an;
            out += "=\"";
            for (xmlNode* v = a->children; v; v = v->next) {
                if (v->content) appendEscapedHTML(out, reinterpret_cast<const char*>(v->content));
            }
            out += '"';
        }
        out += ' ';
        out += kNodeAttribute;
        out += "=\"";
        out += std::to_string(page->handleOf(n));
        out += '"';
        auto shown = shownByControl(n, name);
        if (shown) {
            out += ' ';
            out += kShownAttribute;
            out += "=\"";
            appendEscapedHTML(out, *shown);
            out += '"';
        }
        out += '>';
        if (isVoid(name)) continue;
        if (shown) {
            out += "</";
            out += name;
            out += '>';
            continue;
        }
        if (isRawText(name)) {
            for (xmlNode* c = n->children; c; c = c->next) {
                // A style sheet cannot end its own element early.
                if (c->content) {
                    std::string text = reinterpret_cast<const char*>(c->content);
                    for (size_t at; (at = lowercased(text).find("</style")) != std::string::npos;)
                        text.erase(at, 7);
                    out += text;
                }
            }
        } else {
            writeNode(page, n->children, out);
        }
        out += "</";
        out += name;
        out += '>';
    }
}

// The engine's UTF-8 text as UTF-16 units, into room the caller keeps; a sequence that is not
// UTF-8 reads as U+FFFD.
void toU16(const char* text, std::u16string& out) {
    out.clear();
    if (!text) return;
    std::string_view bytes(text);
    if (!NSString::appendUTF8(out, bytes)) out = NSString::fromUTF8(bytes)->u16();
}

void setFill(CGContextRef c, const litehtml::web_color& color) {
    CGContextSetRGBFillColor(c, color.red / 255.0f, color.green / 255.0f, color.blue / 255.0f,
                             color.alpha / 255.0f);
}

CGRect rectOf(const litehtml::position& p) {
    return CGRectMake(CGFloat(p.x), CGFloat(p.y), CGFloat(p.width), CGFloat(p.height));
}

// A rectangle with elliptical corners, one quarter-ellipse per corner.
void addRoundedRect(CGContextRef c, CGRect r, const litehtml::border_radiuses& rad) {
    const CGFloat k = 0.5523f;
    CGFloat x0 = r.origin.x, y0 = r.origin.y, x1 = x0 + r.size.width, y1 = y0 + r.size.height;
    auto clampX = [&](int v) {
        return std::min<CGFloat>(CGFloat(std::max(v, 0)), r.size.width / 2);
    };
    auto clampY = [&](int v) {
        return std::min<CGFloat>(CGFloat(std::max(v, 0)), r.size.height / 2);
    };
    CGFloat tlx = clampX(rad.top_left_x), tly = clampY(rad.top_left_y);
    CGFloat trx = clampX(rad.top_right_x), try_ = clampY(rad.top_right_y);
    CGFloat brx = clampX(rad.bottom_right_x), bry = clampY(rad.bottom_right_y);
    CGFloat blx = clampX(rad.bottom_left_x), bly = clampY(rad.bottom_left_y);
    CGContextMoveToPoint(c, x0 + tlx, y0);
    CGContextAddLineToPoint(c, x1 - trx, y0);
    CGContextAddCurveToPoint(c, x1 - trx + trx * k, y0, x1, y0 + try_ - try_ * k, x1, y0 + try_);
    CGContextAddLineToPoint(c, x1, y1 - bry);
    CGContextAddCurveToPoint(c, x1, y1 - bry + bry * k, x1 - brx + brx * k, y1, x1 - brx, y1);
    CGContextAddLineToPoint(c, x0 + blx, y1);
    CGContextAddCurveToPoint(c, x0 + blx - blx * k, y1, x0, y1 - bly + bly * k, x0, y1 - bly);
    CGContextAddLineToPoint(c, x0, y0 + tly);
    CGContextAddCurveToPoint(c, x0, y0 + tly - tly * k, x0 + tlx - tlx * k, y0, x0 + tlx, y0);
    CGContextClosePath(c);
}

bool hasRadius(const litehtml::border_radiuses& r) {
    return r.top_left_x > 0 || r.top_left_y > 0 || r.top_right_x > 0 || r.top_right_y > 0 ||
           r.bottom_right_x > 0 || r.bottom_right_y > 0 || r.bottom_left_x > 0 ||
           r.bottom_left_y > 0;
}

bool painted(const litehtml::border& b) {
    return b.width > 0 && b.style != litehtml::border_style_none &&
           b.style != litehtml::border_style_hidden && b.color.alpha > 0;
}

bool sameColor(const litehtml::web_color& a, const litehtml::web_color& b) {
    return a.red == b.red && a.green == b.green && a.blue == b.blue && a.alpha == b.alpha;
}

std::atomic<int> paintWordByWord{0};

// Painting of our own beside the container's calls: words the container holds back to paint
// together are painted first, so that everything lands in the order the engine draws it.
class HeldBackWords {
public:
    virtual void paintHeldBackWords() = 0;

protected:
    ~HeldBackWords() = default;
};

// A form control as the phone's web view draws it, painted and not editable: a field as a
// white box with its value, a select as one box with the chosen option and a small arrow, a
// checkbox or radio button with its state, a button input as a rounded button with its label.
// The shown text is the control's one child, so it is measured and painted as any text.
class FormControl final : public litehtml::html_tag {
public:
    enum class Kind { Field, Select, Check, Radio, Button, Hidden };

    FormControl(const std::shared_ptr<litehtml::document>& doc, Kind kind, HeldBackWords* words)
        : litehtml::html_tag(doc), kind_(kind), words_(words) {}

    // The control for the tag and its attributes, or null for an element laid out as usual.
    static std::shared_ptr<litehtml::element> create(std::string_view tag,
                                                     const litehtml::string_map& attributes,
                                                     const std::shared_ptr<litehtml::document>& doc,
                                                     HeldBackWords* words) {
        auto get = [&](const char* name) {
            auto it = attributes.find(name);
            return it == attributes.end() ? std::string() : it->second;
        };
        Kind kind = Kind::Select;
        if (tag == "input") {
            std::string type = lowercased(trimmed(get("type")));
            if (type == "image") return std::make_shared<litehtml::el_image>(doc);
            kind = type == "hidden"                                          ? Kind::Hidden
                   : type == "checkbox"                                      ? Kind::Check
                   : type == "radio"                                         ? Kind::Radio
                   : type == "submit" || type == "button" || type == "reset" ? Kind::Button
                                                                             : Kind::Field;
        } else if (tag != "select") {
            return nullptr;
        }
        auto control = std::make_shared<FormControl>(doc, kind, words);
        if (kind == Kind::Field || kind == Kind::Select || kind == Kind::Button) {
            std::string shown = get(kShownAttribute);
            // An empty control keeps a line's height.
            if (shown.empty()) shown = "\u00a0";
            control->appendChild(std::make_shared<litehtml::el_text>(shown.c_str(), doc));
        }
        return control;
    }

    void parse_styles(bool is_reparse) override {
        // The control's own look, where the page's rules say nothing of it.
        auto px = [](int n) { return std::to_string(n) + "px"; };
        auto box = [&](int top, int right, int bottom, int left) {
            return std::vector<std::pair<const char*, std::string>>{{"padding-top", px(top)},
                                                                    {"padding-right", px(right)},
                                                                    {"padding-bottom", px(bottom)},
                                                                    {"padding-left", px(left)},
                                                                    {"white-space", "nowrap"}};
        };
        std::vector<std::pair<const char*, std::string>> look;
        if (kind_ == Kind::Field) {
            int chars = std::atoi(get_attr("size", "0"));
            look = box(2, 3, 2, 3);
            look.insert(look.end(),
                        {{"width", px(chars > 0 ? std::clamp(chars * 8, 16, 600) : 150)},
                         {"background-color", "#ffffff"},
                         {"overflow", "hidden"}});
        } else if (kind_ == Kind::Select) {
            look = box(2, kArrowRoom, 2, 4);
            look.push_back({"background-color", "#ffffff"});
        } else if (kind_ == Kind::Button) {
            look = box(2, 8, 2, 8);
            look.insert(look.end(), {{"background-color", "#e6e6e6"},
                                     {"text-align", "center"},
                                     {"border-top-left-radius", "4px"},
                                     {"border-top-right-radius", "4px"},
                                     {"border-bottom-left-radius", "4px"},
                                     {"border-bottom-right-radius", "4px"}});
        } else if (kind_ == Kind::Check || kind_ == Kind::Radio) {
            look = box(0, 0, 0, 0);
            look.insert(look.end(), {{"width", "11px"},
                                     {"height", "11px"},
                                     {"margin-left", "3px"},
                                     {"margin-right", "3px"}});
        }
        for (const auto& [name, value] : look) {
            if (!m_style.get_property(name))
                m_style.add_property(name, value.c_str(), nullptr, false, this);
        }
        litehtml::html_tag::parse_styles(is_reparse);
        if (kind_ == Kind::Hidden) m_display = litehtml::display_none;
    }

    void draw(litehtml::uint_ptr hdc, int x, int y, const litehtml::position* clip) override {
        auto c = reinterpret_cast<CGContextRef>(hdc);
        words_->paintHeldBackWords();
        bool toggle = kind_ == Kind::Check || kind_ == Kind::Radio;
        if (!toggle) litehtml::html_tag::draw(hdc, x, y, clip);
        if (!c || get_visibility() != litehtml::visibility_visible) return;
        litehtml::position content = m_pos;
        content.x += x;
        content.y += y;
        if (kind_ == Kind::Select) {
            // A small arrow pointing down, in the room kept at the right.
            CGFloat cx = CGFloat(content.right() + m_padding.right) - CGFloat(kArrowRoom) / 2;
            CGFloat cy = CGFloat(content.y) + CGFloat(content.height) / 2;
            CGContextSetRGBFillColor(c, 0.27f, 0.27f, 0.27f, 1);
            CGContextBeginPath(c);
            CGContextMoveToPoint(c, cx - 4, cy - 2);
            CGContextAddLineToPoint(c, cx + 4, cy - 2);
            CGContextAddLineToPoint(c, cx, cy + 3);
            CGContextClosePath(c);
            CGContextFillPath(c);
            return;
        }
        if (!toggle) return;
        litehtml::position box = content;
        box += m_padding;
        box += m_borders;
        CGRect r = CGRectInset(rectOf(box), 0.5f, 0.5f);
        bool on = get_attr("checked") != nullptr;
        CGContextSaveGState(c);
        CGContextSetRGBFillColor(c, 1, 1, 1, 1);
        CGContextSetRGBStrokeColor(c, 0.53f, 0.53f, 0.53f, 1);
        CGContextSetLineWidth(c, 1);
        if (kind_ == Kind::Radio) {
            CGContextFillEllipseInRect(c, r);
            CGContextStrokeEllipseInRect(c, r);
            if (on) {
                CGContextSetRGBFillColor(c, 0.13f, 0.13f, 0.13f, 1);
                CGContextFillEllipseInRect(c, CGRectInset(r, r.size.width / 4, r.size.height / 4));
            }
        } else {
            CGContextFillRect(c, r);
            CGContextStrokeRect(c, r);
            if (on) {
                // A tick from the left middle down to the bottom third and up to the top right.
                CGFloat w = r.size.width, h = r.size.height;
                CGContextSetRGBStrokeColor(c, 0.13f, 0.13f, 0.13f, 1);
                CGContextSetLineWidth(c, std::max<CGFloat>(1.5f, w / 6));
                CGContextBeginPath(c);
                CGContextMoveToPoint(c, r.origin.x + w * 0.2f, r.origin.y + h * 0.5f);
                CGContextAddLineToPoint(c, r.origin.x + w * 0.42f, r.origin.y + h * 0.75f);
                CGContextAddLineToPoint(c, r.origin.x + w * 0.8f, r.origin.y + h * 0.22f);
                CGContextStrokePath(c);
            }
        }
        CGContextRestoreGState(c);
    }

private:
    static constexpr int kArrowRoom = 16;
    Kind kind_;
    HeldBackWords* words_;
};

}  // namespace

PaintWordByWordScope::PaintWordByWordScope() {
    ++paintWordByWord;
}

PaintWordByWordScope::~PaintWordByWordScope() {
    --paintWordByWord;
}

bool PaintWordByWordScope::active() {
    return paintWordByWord > 0;
}

std::string markupForLayout(Page* page) {
    std::string out;
    if (!page || !page->document()) return out;
    writeNode(page, page->document()->children, out);
    return out;
}

// Final: it is only ever deleted as itself, since the container base has no virtual destructor.
struct PageRenderer::Impl final : litehtml::document_container, HeldBackWords {
    struct Font {
        Ref<UIFont> font;
        int ascent = 0;
        int descent = 0;
        int height = 0;
        int xHeight = 0;
        unsigned decoration = 0;
        // Widths measured in this font, looked up by the text without copying it.
        struct TextHash {
            using is_transparent = void;
            size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
        };
        std::unordered_map<std::string, int, TextHash, std::equal_to<>> widths;
    };
    struct Resource {
        bool arrived = false;
        Ref<UIImage> image;
        std::string text;
    };

    Host* host;
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
    litehtml::context context;
    litehtml::document::ptr document;
    std::vector<Font> fonts{Font()};  // handle 0 is no font
    std::map<std::string, Resource> resources;
    std::string markup;
    Ref<NSURL> base;
    CGSize viewport{0, 0};
    bool dirty = true;
    bool failed = false;
    CGFloat height = 0;
    std::set<_xmlNode*> hidden;
    Page* page = nullptr;
    CGContextRef drawing = nullptr;
    std::shared_ptr<UITextMeasurer> measurer;  // what the layout was measured with
    // Words drawn one after another in one colour, held back to be painted in one drawing call
    // (with their decorations between them, in order) when something else is drawn or the
    // painting ends: painting each word by itself costs more than showing its glyphs.
    struct HeldBack {
        CGContextRef context = nullptr;  // nil when nothing is held back
        litehtml::web_color color;
        UIFontSupport::TextBatch glyphs;
        std::vector<CGRect> decorations;  // at the batch's breaks
    } held;
    std::u16string units;  // a word's text, kept from word to word
    std::vector<CGFloat> advances;
    // Words too long for the viewport's width: the page is laid out again with each of them
    // free to break after any character, as a phone browser breaks a word that cannot fit.
    std::set<std::string, std::less<>> breakable;
    // Boxes of a set width wider than the viewport, by node: laid out again at the width they
    // are given.
    std::map<int, bool> narrowed;  // a table's node: true

    explicit Impl(Host* h) : host(h) { context.load_master_stylesheet(kDefaultStyleSheet); }
    ~Impl() { *alive = false; }

    Ref<NSURL> resolve(const char* src, const char* baseurl) {
        if (!src || !*src) return nullptr;
        Ref<NSURL> from = base;
        if (baseurl && *baseurl) {
            if (auto b = NSURL::URLWithString(NSString::stringWithUTF8String(baseurl), base))
                from = b;
        }
        return NSURL::URLWithString(NSString::stringWithUTF8String(trimmed(src).c_str()), from);
    }

    // Starts fetching what `url` names unless it is known; data: URLs arrive at once.
    Resource* resource(NSURL* url, bool image) {
        if (!url) return nullptr;
        std::string key = url->absoluteString()->utf8();
        auto found = resources.find(key);
        if (found != resources.end()) return &found->second;
        Resource& r = resources[key];
        auto accept = [image](Resource& r, NSData* data) {
            r.arrived = true;
            if (!data) return;
            if (image) {
                r.image = UIImage::imageWithData(data);
            } else {
                r.text = decodedText(
                    std::string_view(static_cast<const char*>(data->bytes()), data->length()), "");
            }
        };
        if (auto d = decodeDataURL(key)) {
            accept(r, NSData::dataWithBytes(d->bytes.data(), d->bytes.size()));
            return &r;
        }
        auto scheme = url->scheme() ? lowercased(url->scheme()->utf8()) : std::string();
        // The device's files only for a page that is one of them (its own URL, whatever its
        // base element says): a page from the network never reads them.
        bool local = scheme == "file" && page && page->url() && page->url()->isFileURL();
        if (scheme != "http" && scheme != "https" && !local) {
            r.arrived = true;
            return &r;
        }
        std::weak_ptr<bool> weak = alive;
        host->rendererFetches(url, [this, weak, key, accept](Ref<NSData> data) {
            if (weak.expired()) return;
            auto it = resources.find(key);
            if (it == resources.end()) return;
            accept(it->second, data.get());
            dirty = true;
            host->rendererChanged();
        });
        return &r;
    }

    // ---- document_container ------------------------------------------------------------------
    litehtml::uint_ptr create_font(const char* faceName, int size, int weight,
                                   litehtml::font_style italic, unsigned int decoration,
                                   litehtml::font_metrics* fm) override {
        std::string families = lowercased(faceName ? faceName : "");
        UIFontSupport::FontClass kind = UIFontSupport::FontClass::Sans;
        for (size_t start = 0; start <= families.size();) {
            size_t end = families.find(',', start);
            if (end == std::string::npos) end = families.size();
            std::string f = trimmed(families.substr(start, end - start));
            f.erase(std::remove(f.begin(), f.end(), '"'), f.end());
            f.erase(std::remove(f.begin(), f.end(), '\''), f.end());
            if (f == "monospace" || f.find("courier") != std::string::npos) {
                kind = UIFontSupport::FontClass::Mono;
                break;
            }
            if (f == "serif" || f.find("times") != std::string::npos || f == "georgia") {
                kind = UIFontSupport::FontClass::Serif;
                break;
            }
            if (f == "sans-serif" || f.find("helvetica") != std::string::npos ||
                f.find("arial") != std::string::npos)
                break;
            start = end + 1;
        }
        bool bold = weight >= 600;
        bool it = italic == litehtml::fontStyleItalic;
        const char* name = nullptr;
        switch (kind) {
            case UIFontSupport::FontClass::Mono:
                name = bold ? (it ? "Courier-BoldOblique" : "Courier-Bold")
                            : (it ? "Courier-Oblique" : "Courier");
                break;
            case UIFontSupport::FontClass::Serif:
                name = bold ? (it ? "TimesNewRomanPS-BoldItalicMT" : "TimesNewRomanPS-BoldMT")
                            : (it ? "TimesNewRomanPS-ItalicMT" : "TimesNewRomanPSMT");
                break;
            default:
                name = bold ? (it ? "Helvetica-BoldOblique" : "Helvetica-Bold")
                            : (it ? "Helvetica-Oblique" : "Helvetica");
        }
        Font f;
        f.font =
            UIFont::fontWithName(NSString::stringWithUTF8String(name), CGFloat(std::max(size, 1)));
        auto m = UITextMeasurerCurrent()->metrics(f.font);
        // The line's extra room goes half above, half below, so that the height is the
        // ascent and descent together, as the engine places lines.
        int ascent = int(std::lround(m.ascender)), descent = int(std::lround(-m.descender));
        f.height = std::max(int(std::lround(m.lineHeight)), ascent + descent);
        f.ascent = ascent + (f.height - ascent - descent) / 2;
        f.descent = f.height - f.ascent;
        f.xHeight = int(std::lround(m.xHeight));
        f.decoration = decoration;
        if (fm) {
            fm->ascent = f.ascent;
            fm->descent = f.descent;
            fm->height = f.height;
            fm->x_height = f.xHeight;
            fm->draw_spaces = decoration != 0;
        }
        fonts.push_back(f);
        return litehtml::uint_ptr(fonts.size() - 1);
    }

    void delete_font(litehtml::uint_ptr) override {}

    Font* fontOf(litehtml::uint_ptr h) { return h > 0 && h < fonts.size() ? &fonts[h] : nullptr; }

    int text_width(const char* text, litehtml::uint_ptr hFont) override {
        Font* f = fontOf(hFont);
        if (!f || !text) return 0;
        std::string_view key(text);
        auto found = f->widths.find(key);
        if (found != f->widths.end()) return found->second;
        toU16(text, units);
        int w = int(std::ceil(UITextMeasurerCurrent()->widthOfText(units, f->font)));
        f->widths.emplace(key, w);
        return w;
    }

    void draw_text(litehtml::uint_ptr hdc, const char* text, litehtml::uint_ptr hFont,
                   litehtml::web_color color, const litehtml::position& pos) override {
        Font* f = fontOf(hFont);
        auto c = reinterpret_cast<CGContextRef>(hdc);
        if (!f || !c || !text || color.alpha == 0) return;
        // White space shows nothing but its decoration.
        if (!f->decoration && std::all_of(text, text + std::strlen(text), [](char ch) {
                return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r';
            }))
            return;
        if (held.context && (held.context != c || !sameColor(held.color, color)))
            paintHeldBackWords();
        setFill(c, color);
        CGFloat baseline = CGFloat(pos.y + f->ascent);
        toU16(text, units);
        held.context = c;
        held.color = color;
        auto measurer = UITextMeasurerCurrent();
        if (dynamic_cast<UIFontTextMeasurer*>(measurer.get())) {
            held.glyphs.addText(units, f->font, CGPointMake(CGFloat(pos.x), baseline));
        } else {
            // Another measurer (the test font) placed the words: each character goes where it
            // measured, so the picture matches the layout.
            advances.assign(units.size() + 1, 0);
            measurer->cumulativeAdvances(units, f->font, advances.data());
            for (size_t i = 0; i < units.size(); ++i) {
                if (units[i] >= 0xDC00 && units[i] <= 0xDFFF) continue;
                size_t n =
                    (units[i] >= 0xD800 && units[i] <= 0xDBFF && i + 1 < units.size()) ? 2 : 1;
                held.glyphs.addText(std::u16string_view(units).substr(i, n), f->font,
                                    CGPointMake(CGFloat(pos.x) + advances[i], baseline));
            }
        }
        // Held back together, words and decorations must look as each painted alone.
        const bool together = !PaintWordByWordScope::active() && CGContextDrawsShapesDirectly(c);
        if (!together) paintHeldBackWords();
        if (!f->decoration) return;
        CGFloat width = CGFloat(text_width(text, hFont));
        CGFloat thick = std::max<CGFloat>(1, f->font->pointSize() / 14);
        auto decorate = [&](CGRect r) {
            if (!together) {
                CGContextFillRect(c, r);
                return;
            }
            held.glyphs.addBreak();
            held.decorations.push_back(r);
        };
        if (f->decoration & litehtml::font_decoration_underline)
            decorate(CGRectMake(CGFloat(pos.x), baseline + 1, width, thick));
        if (f->decoration & litehtml::font_decoration_linethrough)
            decorate(CGRectMake(CGFloat(pos.x), baseline - CGFloat(f->xHeight) / 2, width, thick));
        if (f->decoration & litehtml::font_decoration_overline)
            decorate(CGRectMake(CGFloat(pos.x), CGFloat(pos.y), width, thick));
    }

    void paintHeldBackWords() override {
        CGContextRef c = held.context;
        if (!c) return;
        held.context = nullptr;
        if (held.glyphs.empty()) return;
        setFill(c, held.color);
        CGContextPaintWithCairo(c, [&](cairo_t* cr) {
            held.glyphs.show(
                cr, [&](size_t i) { CGContextFillRectWithCairo(c, cr, held.decorations[i]); });
        });
        held.decorations.clear();
    }

    int pt_to_px(int pt) const override { return pt * 4 / 3; }
    int get_default_font_size() const override { return 16; }
    const char* get_default_font_name() const override { return "Helvetica"; }

    void draw_list_marker(litehtml::uint_ptr hdc, const litehtml::list_marker& marker) override {
        auto c = reinterpret_cast<CGContextRef>(hdc);
        paintHeldBackWords();
        if (!c) return;
        setFill(c, marker.color);
        CGRect r = rectOf(marker.pos);
        switch (marker.marker_type) {
            case litehtml::list_style_type_disc:
                CGContextFillEllipseInRect(c, r);
                break;
            case litehtml::list_style_type_circle:
                CGContextSetRGBStrokeColor(c, marker.color.red / 255.0f,
                                           marker.color.green / 255.0f, marker.color.blue / 255.0f,
                                           marker.color.alpha / 255.0f);
                CGContextSetLineWidth(c, 1);
                CGContextStrokeEllipseInRect(c, CGRectInset(r, 0.5f, 0.5f));
                break;
            case litehtml::list_style_type_square:
                CGContextFillRect(c, r);
                break;
            default:
                // Numbered markers: the number and a full stop, ending just before the box.
                if (marker.font && marker.index > 0) {
                    std::string text = std::to_string(marker.index) + ".";
                    int w = text_width(text.c_str(), marker.font);
                    litehtml::position p = marker.pos;
                    p.x = marker.pos.x - w + marker.pos.width;
                    Font* f = fontOf(marker.font);
                    if (f) p.y = marker.pos.y + marker.pos.height - f->ascent;
                    draw_text(hdc, text.c_str(), marker.font, marker.color, p);
                }
                break;
        }
    }

    void load_image(const char* src, const char* baseurl, bool) override {
        resource(resolve(src, baseurl), true);
    }

    void get_image_size(const char* src, const char* baseurl, litehtml::size& sz) override {
        auto url = resolve(src, baseurl);
        Resource* r = resource(url, true);
        if (r && r->image) {
            // An image's header may claim any size: kept within what layout's ints can hold.
            CGSize s = r->image->size();
            auto side = [](CGFloat v) { return int(std::clamp<CGFloat>(v, 0, 1 << 24)); };
            sz.width = side(s.width);
            sz.height = side(s.height);
        } else {
            sz.width = sz.height = 0;
        }
    }

    void draw_background(litehtml::uint_ptr hdc, const litehtml::background_paint& bg) override {
        auto c = reinterpret_cast<CGContextRef>(hdc);
        paintHeldBackWords();
        if (!c) return;
        CGContextSaveGState(c);
        CGRect clip = rectOf(bg.clip_box);
        if (hasRadius(bg.border_radius)) {
            CGContextBeginPath(c);
            addRoundedRect(c, rectOf(bg.border_box), bg.border_radius);
            CGContextClip(c);
        }
        CGContextClipToRect(c, clip);
        if (bg.color.alpha > 0) {
            setFill(c, bg.color);
            CGContextFillRect(c, clip);
        }
        if (!bg.image.empty()) {
            Resource* r = resource(resolve(bg.image.c_str(), bg.baseurl.c_str()), true);
            if (r && r->image && bg.image_size.width > 0 && bg.image_size.height > 0) {
                CGFloat w = CGFloat(bg.image_size.width), h = CGFloat(bg.image_size.height);
                // The engine gives the first tile's place on the page, its origin box included.
                CGFloat x = CGFloat(bg.position_x);
                CGFloat y = CGFloat(bg.position_y);
                bool rx = bg.repeat == litehtml::background_repeat_repeat ||
                          bg.repeat == litehtml::background_repeat_repeat_x;
                bool ry = bg.repeat == litehtml::background_repeat_repeat ||
                          bg.repeat == litehtml::background_repeat_repeat_y;
                CGFloat x0 = x, y0 = y;
                if (rx) x0 = x - std::ceil((x - clip.origin.x) / w) * w;
                if (ry) y0 = y - std::ceil((y - clip.origin.y) / h) * h;
                CGFloat x1 = rx ? CGRectGetMaxX(clip) : x0 + 1;
                CGFloat y1 = ry ? CGRectGetMaxY(clip) : y0 + 1;
                UIGraphicsPushContext(c);
                int tiles = 0;
                for (CGFloat ty = y0; ty < y1 && tiles < 4096; ty += h) {
                    for (CGFloat tx = x0; tx < x1 && tiles < 4096; tx += w, ++tiles)
                        r->image->drawInRect(CGRectMake(tx, ty, w, h));
                }
                UIGraphicsPopContext();
            }
        }
        CGContextRestoreGState(c);
    }

    void draw_borders(litehtml::uint_ptr hdc, const litehtml::borders& b,
                      const litehtml::position& draw_pos, bool) override {
        auto c = reinterpret_cast<CGContextRef>(hdc);
        paintHeldBackWords();
        if (!c) return;
        CGRect r = rectOf(draw_pos);
        bool uniform = painted(b.top) && painted(b.left) && painted(b.right) && painted(b.bottom) &&
                       b.top.width == b.left.width && b.top.width == b.right.width &&
                       b.top.width == b.bottom.width && sameColor(b.top.color, b.left.color) &&
                       sameColor(b.top.color, b.right.color) &&
                       sameColor(b.top.color, b.bottom.color);
        if (uniform && hasRadius(b.radius)) {
            // The ring between the outer edge and the padding edge.
            setFill(c, b.top.color);
            CGContextBeginPath(c);
            addRoundedRect(c, r, b.radius);
            litehtml::border_radiuses inner = b.radius;
            litehtml::margins m;
            m.left = b.left.width;
            m.right = b.right.width;
            m.top = b.top.width;
            m.bottom = b.bottom.width;
            inner -= m;
            CGFloat w = CGFloat(b.top.width);
            addRoundedRect(c, CGRectInset(r, w, w), inner);
            CGContextEOFillPath(c);
            return;
        }
        auto side = [&](const litehtml::border& s, CGRect rect) {
            if (!painted(s)) return;
            setFill(c, s.color);
            CGContextFillRect(c, rect);
        };
        CGFloat x = r.origin.x, y = r.origin.y, w = r.size.width, h = r.size.height;
        side(b.top, CGRectMake(x, y, w, CGFloat(b.top.width)));
        side(b.bottom, CGRectMake(x, y + h - CGFloat(b.bottom.width), w, CGFloat(b.bottom.width)));
        side(b.left, CGRectMake(x, y, CGFloat(b.left.width), h));
        side(b.right, CGRectMake(x + w - CGFloat(b.right.width), y, CGFloat(b.right.width), h));
    }

    void split_text(const char* text, const std::function<void(const char*)>& on_word,
                    const std::function<void(const char*)>& on_space) override {
        if (breakable.empty()) {
            litehtml::document_container::split_text(text, on_word, on_space);
            return;
        }
        auto pieces = [&](const char* word) {
            std::string_view w(word);
            if (!breakable.count(w)) {
                on_word(word);
                return;
            }
            // A word of its own for each character: a line may end after any of them.
            for (size_t i = 0; i < w.size();) {
                size_t n = 1;
                while (i + n < w.size() && (static_cast<unsigned char>(w[i + n]) & 0xC0) == 0x80)
                    ++n;
                on_word(std::string(w.substr(i, n)).c_str());
                i += n;
            }
        };
        litehtml::document_container::split_text(text, pieces, on_space);
    }

    void set_caption(const char*) override {}
    void set_base_url(const char* base_url) override {
        if (auto u = resolve(base_url, nullptr)) base = u;
    }
    void link(const std::shared_ptr<litehtml::document>&, const litehtml::element::ptr&) override {}
    void on_anchor_click(const char*, const litehtml::element::ptr&) override {}
    void set_cursor(const char*) override {}
    void transform_text(litehtml::tstring& text, litehtml::text_transform tt) override {
        if (tt == litehtml::text_transform_none || text.empty()) return;
        auto s = NSString::stringWithUTF8String(text.c_str());
        if (tt == litehtml::text_transform_uppercase)
            s = s->uppercaseString();
        else if (tt == litehtml::text_transform_lowercase)
            s = s->lowercaseString();
        else if (tt == litehtml::text_transform_capitalize)
            s = s->capitalizedString();
        text = s->utf8();
    }
    void import_css(litehtml::tstring& text, const litehtml::tstring& url,
                    litehtml::tstring& baseurl) override {
        auto u = resolve(url.c_str(), baseurl.c_str());
        Resource* r = resource(u, false);
        if (!r || !r->arrived) return;
        text = r->text;
        baseurl = u->absoluteString()->utf8();
    }
    void set_clip(const litehtml::position& pos, const litehtml::border_radiuses& radius, bool,
                  bool) override {
        paintHeldBackWords();
        if (!drawing) return;
        CGContextSaveGState(drawing);
        if (hasRadius(radius)) {
            CGContextBeginPath(drawing);
            addRoundedRect(drawing, rectOf(pos), radius);
            CGContextClip(drawing);
        } else {
            CGContextClipToRect(drawing, rectOf(pos));
        }
    }
    void del_clip() override {
        paintHeldBackWords();
        if (drawing) CGContextRestoreGState(drawing);
    }
    void get_client_rect(litehtml::position& client) const override {
        client = litehtml::position(0, 0, int(viewport.width), int(viewport.height));
    }
    std::shared_ptr<litehtml::element> create_element(
        const char* tag, const litehtml::string_map& attributes,
        const std::shared_ptr<litehtml::document>& doc) override {
        return FormControl::create(tag ? tag : "", attributes, doc, this);
    }
    void get_media_features(litehtml::media_features& media) const override {
        media.type = litehtml::media_type_screen;
        media.width = media.device_width = int(viewport.width);
        media.height = media.device_height = int(viewport.height);
        media.color = 8;
        media.color_index = 256;
        media.monochrome = 0;
        media.resolution = 163;
    }
    void get_language(litehtml::tstring& language, litehtml::tstring& culture) const override {
        language = "en";
        culture = "en-US";
    }

    // ---- layout ------------------------------------------------------------------------------
    void collectHidden(const litehtml::element::ptr& el, bool parentHidden) {
        if (!el) return;
        bool isHidden = parentHidden;
        if (!parentHidden && (el->get_display() == litehtml::display_none ||
                              el->get_visibility() != litehtml::visibility_visible)) {
            if (const char* h = el->get_attr(kNodeAttribute)) {
                if (auto* n = page->nodeOf(int32_t(std::atoi(h)))) {
                    hidden.insert(n);
                    isHidden = true;
                }
            }
        }
        for (size_t i = 0, n = el->get_children_count(); i < n; ++i)
            collectHidden(el->get_child(int(i)), isHidden);
    }

    // Adds the boxes of a set width (tables and blocks) that run past the viewport's right
    // edge to `narrowed`, by their node; true when it found one that was not there.
    bool collectWideBoxes(const litehtml::element::ptr& el) {
        if (!el) return false;
        bool found = false;
        auto display = el->get_display();
        if ((display == litehtml::display_table || display == litehtml::display_block) &&
            el->get_placement().right() > int(viewport.width)) {
            litehtml::css_length width = el->get_css_width();
            if (!width.is_predefined() && width.units() != litehtml::css_units_percentage) {
                if (const char* h = el->get_attr(kNodeAttribute))
                    found =
                        narrowed.emplace(std::atoi(h), display == litehtml::display_table).second;
            }
        }
        for (size_t i = 0, n = el->get_children_count(); i < n; ++i)
            found = collectWideBoxes(el->get_child(int(i))) || found;
        return found;
    }

    // The style that lets the narrowed boxes take the width they are given, as text does: a
    // block's own, a table the whole of it (its borders within).
    std::string narrowingStyle() const {
        std::string css;
        for (auto [node, table] : narrowed) {
            css += '[';
            css += kNodeAttribute;
            css += "=\"" + std::to_string(node) + "\"] { width: ";
            css += table ? "100%" : "auto";
            css += " !important; }\n";
        }
        return css;
    }

    // Lays the markup out anew at the viewport's width, with the narrowed boxes' style.
    void render() {
        document.reset();
        fonts.resize(1);
        litehtml::css narrowing;
        if (!narrowed.empty()) {
            narrowing.parse_stylesheet(narrowingStyle().c_str(), nullptr, nullptr, nullptr);
            narrowing.sort_selectors();
        }
        document = litehtml::document::createFromUTF8(markup.c_str(), this, &context,
                                                      narrowed.empty() ? nullptr : &narrowing);
        if (document) document->render(std::max(int(viewport.width), 0));
    }

    // Adds the words that wrapping text leaves running past the viewport's right edge to
    // `breakable`; true when it found one that was not there.
    bool collectOverlongWords(const litehtml::element::ptr& el) {
        if (!el) return false;
        bool found = false;
        if (dynamic_cast<litehtml::el_text*>(el.get())) {
            auto ws = el->get_white_space();
            bool wraps = ws == litehtml::white_space_normal ||
                         ws == litehtml::white_space_pre_line ||
                         ws == litehtml::white_space_pre_wrap;
            if (wraps && el->get_placement().right() > int(viewport.width)) {
                std::string word;
                el->get_text(word);
                if (word.size() > 1) found = breakable.insert(word).second;
            }
        }
        for (size_t i = 0, n = el->get_children_count(); i < n; ++i)
            found = collectOverlongWords(el->get_child(int(i))) || found;
        return found;
    }

    void layOut() {
        document.reset();
        fonts.resize(1);
        measurer = UITextMeasurerCurrent();
        hidden.clear();
        breakable.clear();
        narrowed.clear();
        height = viewport.height;
        failed = false;
        if (!page) return;
        try {
            render();
            // Once more with the boxes set wider than the screen narrowed to it, as a phone's
            // browser fits them; then with the words that still do not fit made breakable (one
            // more pass at most: a word that still does not fit is one that cannot).
            if (document && viewport.width > 0 && collectWideBoxes(document->root())) render();
            if (document && viewport.width > 0 && collectOverlongWords(document->root())) render();
            if (document) {
                height = std::max(height, CGFloat(document->height()));
                collectHidden(document->root(), false);
            }
        } catch (const std::exception& e) {
            document.reset();
            failed = true;
            NSLog(NS("Web view: the page %@ could not be laid out (%s); it shows white"),
                  base ? base->absoluteString().get() : NS(""), e.what());
        }
    }
};

PageRenderer::PageRenderer(Host* host) : impl_(std::make_unique<Impl>(host)) {}
PageRenderer::~PageRenderer() = default;

bool PageRenderer::update(Page* page, CGSize viewport) {
    Impl& d = *impl_;
    std::string markup = markupForLayout(page);
    if (page != d.page) {
        d.page = page;
        d.dirty = true;
        d.base = page ? page->url() : nullptr;
    }
    if (!d.dirty && markup == d.markup && UITextMeasurerCurrent() == d.measurer &&
        viewport.width == d.viewport.width && viewport.height == d.viewport.height)
        return false;
    d.markup = std::move(markup);
    d.viewport = viewport;
    d.dirty = false;
    d.layOut();
    return true;
}

CGFloat PageRenderer::contentHeight() const {
    return impl_->height;
}

void PageRenderer::paint(CGContextRef context, CGRect rect) {
    Impl& d = *impl_;
    if (!context) return;
    // Text measured one way and drawn another would not fit its boxes (a screenshot may bring
    // real font measures to a page laid out with the test font).
    if (d.page && UITextMeasurerCurrent() != d.measurer) d.layOut();
    CGContextSaveGState(context);
    CGContextSetRGBFillColor(context, 1, 1, 1, 1);
    CGContextFillRect(context, rect);
    if (d.document) {
        litehtml::position clip(int(std::floor(rect.origin.x)), int(std::floor(rect.origin.y)),
                                int(std::ceil(rect.size.width)) + 1,
                                int(std::ceil(rect.size.height)) + 1);
        d.drawing = context;
        try {
            d.document->draw(reinterpret_cast<litehtml::uint_ptr>(context), 0, 0, &clip);
        } catch (const std::exception& e) {
            NSLog(NS("Web view: the page could not be painted (%s)"), e.what());
        }
        d.paintHeldBackWords();
        d.drawing = nullptr;
    }
    CGContextRestoreGState(context);
}

_xmlNode* PageRenderer::elementAt(CGPoint point) {
    Impl& d = *impl_;
    if (!d.document || !d.page || !d.document->root()) return nullptr;
    int x = int(std::floor(point.x)), y = int(std::floor(point.y));
    auto el = d.document->root()->get_element_by_point(x, y, x, y);
    for (; el; el = el->parent()) {
        if (const char* h = el->get_attr(kNodeAttribute)) {
            if (auto* n = d.page->nodeOf(int32_t(std::atoi(h)))) return n;
        }
    }
    return nullptr;
}

const std::set<_xmlNode*>& PageRenderer::hiddenElements() const {
    return impl_->hidden;
}

void PageRenderer::reset() {
    Host* host = impl_->host;
    impl_ = std::make_unique<Impl>(host);
}

}  // namespace webcontent
