#include "MessageUI/MFOutbox.h"

#include <cstdio>
#include <ctime>
#include <string>

#include "Foundation/Clock.h"
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
constexpr CGFloat kLineHeight = 24;

// The form: one label per line of the composed item.
class MFComposeForm : public UIViewController {
    NS_OBJECT(MFComposeForm, UIViewController)
    std::vector<std::string> lines;

    void loadView() override {
        UIViewController::loadView();
        rebuild();
    }
    void rebuild() {
        if (!isViewLoaded()) return;
        auto content = view();
        auto old = content->subviewList();
        for (auto& v : old)
            v->removeFromSuperview();
        CGFloat y = 8;
        CGFloat width = content->bounds().size.width;
        for (auto& line : lines) {
            auto label =
                make<UILabel>(&UILabel::initWithFrame, CGRectMake(8, y, width - 16, kLineHeight));
            label->setText(NSString::fromUTF8(line));
            label->setFont(UIFont::systemFontOfSize(15));
            content->addSubview(label);
            y += kLineHeight;
        }
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
        return data->writeToFile(path, true) ? path : nullptr;
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

void setFormLines(UIViewController* form, const std::vector<std::string>& lines) {
    if (auto f = dynamic_cast<MFComposeForm*>(form)) {
        f->lines = lines;
        f->rebuild();
    }
}

}  // namespace mf_detail
