#include "MessageUI/MFOutbox.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "Foundation/Clock.h"
#include "Foundation/FileSupport.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UILabel.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UIView.h"
#include "UIKit/UIViewController.h"

namespace {
// Seconds between 1970 and the clock's 2001 reference date.
constexpr double kUnixOffset = 978307200.0;
constexpr CGFloat kRowHeight = 44;
constexpr CGFloat kInset = 8;

// The form as the phone lays it out on white: a row per header field (To, Cc, Subject, ...)
// with a hairline under it, then the body, wrapped to the width. Placed at each layout, so that
// it fits whatever size the composer is shown at.
class MFComposeFormView : public UIView {
    NS_OBJECT(MFComposeFormView, UIView)
public:
    std::vector<Ref<UILabel>> rows;
    std::vector<Ref<UIView>> rules;
    Ref<UILabel> body;

    void setContents(const std::vector<std::string>& lines, const std::string* text) {
        for (auto& v : subviewList())
            v->removeFromSuperview();
        rows.clear();
        rules.clear();
        body = nullptr;
        for (auto& line : lines) {
            auto label = make<UILabel>(&UILabel::initWithFrame, CGRectZero);
            label->setText(NSString::fromUTF8(line));
            label->setFont(UIFont::systemFontOfSize(15));
            label->setBackgroundColor(UIColor::whiteColor());
            addSubview(label);
            rows.push_back(label);
            auto rule = make<UIView>(&UIView::initWithFrame, CGRectZero);
            rule->setBackgroundColor(UIColor::colorWithWhite(0.8f, 1));
            addSubview(rule);
            rules.push_back(rule);
        }
        if (text) {
            body = make<UILabel>(&UILabel::initWithFrame, CGRectZero);
            body->setNumberOfLines(0);
            body->setLineBreakMode(UILineBreakModeWordWrap);
            body->setFont(UIFont::systemFontOfSize(15));
            body->setBackgroundColor(UIColor::whiteColor());
            body->setText(NSString::fromUTF8(*text));
            addSubview(body);
        }
        setNeedsLayout();
    }

    void layoutSubviews() override {
        CGRect b = bounds();
        CGFloat width = std::max<CGFloat>(0, b.size.width - 2 * kInset);
        CGFloat y = 0;
        for (size_t i = 0; i < rows.size(); ++i) {
            rows[i]->setFrame(CGRectMake(kInset, y, width, kRowHeight - 1));
            rules[i]->setFrame(CGRectMake(0, y + kRowHeight - 1, b.size.width, 1));
            y += kRowHeight;
        }
        if (!body) return;
        // As tall as the wrapped text (within what remains of the view); the text starts at
        // its top, as a text view's does.
        CGSize fits = body->sizeThatFits(CGSizeMake(width, 0));
        CGFloat room = std::max<CGFloat>(kRowHeight, b.size.height - y - 2 * kInset);
        body->setFrame(CGRectMake(kInset, y + kInset, width,
                                  std::min(room, std::max(std::ceil(fits.height), kRowHeight))));
    }
};

class MFComposeForm : public UIViewController {
    NS_OBJECT(MFComposeForm, UIViewController)
public:
    std::vector<std::string> lines;
    std::string body;
    bool hasBody = false;

    void loadView() override {
        auto form = make<MFComposeFormView>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 416));
        form->setBackgroundColor(UIColor::whiteColor());
        form->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                  UIViewAutoresizingFlexibleHeight);
        setView(form);
        rebuild();
    }
    void rebuild() {
        if (!isViewLoaded()) return;
        if (auto form = as<MFComposeFormView>(view()))
            form->setContents(lines, hasBody ? &body : nullptr);
    }
};
}  // namespace

namespace mf_detail {

Ref<NSString> outboxPath() {
    auto path = NSHomeDirectory()
                    ->stringByAppendingPathComponent(NS("Library"))
                    ->stringByAppendingPathComponent(NS("Outbox"));
    NSFileManager::defaultManager()->createDirectoryAtPath(path, true, nullptr, nullptr);
    return path;
}

Ref<NSString> writeToOutbox(NSString* text, const char* prefix, const char* extension) {
    auto folder = outboxPath();
    auto fm = NSFileManager::defaultManager();
    for (int n = 1; n < 100000; ++n) {
        char name[64];
        std::snprintf(name, sizeof name, "%s-%04d.%s", prefix, n, extension);
        auto path = folder->stringByAppendingPathComponent(NSString::fromUTF8(name));
        if (fm->fileExistsAtPath(path)) continue;
        std::string bytes = text->utf8();
        auto data = NSData::dataWithBytes(bytes.data(), static_cast<NSUInteger>(bytes.size()));
        return file_detail::writeDataAtomically(data.get(), path.get(),
                                                file_detail::Target::OwnStore)
                   ? path
                   : nullptr;
    }
    return nullptr;
}

std::string headerValue(NSString* value) {
    if (!value) return "";
    std::string s = value->utf8();
    for (char& c : s) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return s;
}

std::string recipientList(NSArray* recipients) {
    std::string out;
    for (NSUInteger i = 0; recipients && i < recipients->count(); ++i) {
        auto r = as<NSString>(recipients->objectAtIndex(i));
        if (!r) continue;
        if (!out.empty()) out += ", ";
        out += headerValue(r);
    }
    return out;
}

std::string mailDate() {
    std::time_t t = static_cast<std::time_t>(Clock::now() + kUnixOffset);
    std::tm tm{};
    gmtime_r(&t, &tm);
    static const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char out[64];
    std::snprintf(out, sizeof out, "%s, %02d %s %04d %02d:%02d:%02d +0000", days[tm.tm_wday],
                  tm.tm_mday, months[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min,
                  tm.tm_sec);
    return out;
}

Ref<UIViewController> makeForm(NSObject* composer) {
    auto form = make<MFComposeForm>();
    auto cancel = make<UIBarButtonItem>(&UIBarButtonItem::initWithBarButtonSystemItem,
                                        UIBarButtonSystemItemCancel, composer,
                                        Selector::named("cancelPressed:"));
    auto send =
        make<UIBarButtonItem>(&UIBarButtonItem::initWithTitle, NS("Send"), UIBarButtonItemStyleDone,
                              composer, Selector::named("sendPressed:"));
    form->navigationItem()->setLeftBarButtonItem(cancel);
    form->navigationItem()->setRightBarButtonItem(send);
    return form;
}

std::string readableHTML(const std::string& html) {
    std::string out;
    bool space = false;
    auto put = [&](char c) {
        if (c == ' ') {
            // Runs of blanks and line ends in the source read as one space, none at a line start.
            space = !out.empty() && out.back() != '\n';
            return;
        }
        if (c == '\n') {
            space = false;
            out += '\n';
            return;
        }
        if (space) out += ' ';
        space = false;
        out += c;
    };
    for (size_t i = 0; i < html.size(); ++i) {
        char c = html[i];
        if (c == '<') {
            size_t end = html.find('>', i);
            if (end == std::string::npos) break;
            std::string tag;
            for (size_t k = i + 1;
                 k < end && !std::isspace(static_cast<unsigned char>(html[k])) && html[k] != '>';
                 ++k)
                tag += static_cast<char>(std::tolower(static_cast<unsigned char>(html[k])));
            if (!tag.empty() && tag.back() == '/') tag.pop_back();
            if (tag == "br" || tag == "p" || tag == "/p" || tag == "div" || tag == "/div" ||
                tag == "li" || tag == "tr")
                put('\n');
            i = end;
            continue;
        }
        if (c == '&') {
            static const std::pair<const char*, char> entities[] = {
                {"&amp;", '&'},  {"&lt;", '<'},   {"&gt;", '>'},
                {"&quot;", '"'}, {"&#39;", '\''}, {"&nbsp;", ' '}};
            bool matched = false;
            for (auto& [name, ch] : entities) {
                if (html.compare(i, std::strlen(name), name) == 0) {
                    put(ch);
                    i += std::strlen(name) - 1;
                    matched = true;
                    break;
                }
            }
            if (matched) continue;
        }
        put(c == '\n' || c == '\r' || c == '\t' ? ' ' : c);
    }
    return out;
}

void setFormLines(UIViewController* form, const std::vector<std::string>& lines, NSString* body) {
    if (auto f = dynamic_cast<MFComposeForm*>(form)) {
        f->lines = lines;
        f->hasBody = body != nullptr;
        f->body = body ? body->utf8() : std::string();
        f->rebuild();
    }
}

}  // namespace mf_detail
