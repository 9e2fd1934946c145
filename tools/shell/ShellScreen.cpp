#include "tools/shell/ShellScreen.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <functional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSIndexPath.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "Foundation/Runtime.h"
#include "MediaPlayer/MPMoviePlayerController.h"
#include "UIKit/UIAccessibilityElement.h"
#include "UIKit/UIActionSheet.h"
#include "UIKit/UIActivityIndicatorView.h"
#include "UIKit/UIAlertView.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIEvent.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UILabel.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UIPickerView.h"
#include "UIKit/UIProgressView.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIScrollView.h"
#include "UIKit/UISegmentedControl.h"
#include "UIKit/UIStandardAppearance.h"
#include "UIKit/UISwitch.h"
#include "UIKit/UITabBar.h"
#include "UIKit/UITabBarController.h"
#include "UIKit/UITableView.h"
#include "UIKit/UITableViewCell.h"
#include "UIKit/UITextField.h"
#include "UIKit/UITextInputTraits.h"
#include "UIKit/UITextView.h"
#include "UIKit/UIToolbar.h"
#include "UIKit/UIWebView.h"
#include "UIKit/UIWindow.h"
#include "tools/shell/ShellPictureNames.h"
#include "ui/style/DZButton.h"
#include "ui/style/DZImageView.h"
#include "ui/style/DZLabel.h"
#include "ui/style/DZPageControl.h"

namespace {

constexpr const char* kRule = "------------------------------------------------------------\n";
// An element's number is not known until the screen is in printed order: the text carries a
// marker (these two bytes around the element's pending index) until then.
constexpr char kMarkOpen = '\x01';
constexpr char kMarkClose = '\x02';

std::string utf8(NSString* s) {
    return s ? s->utf8() : std::string();
}

// One line of text: line breaks, tabs and other control characters become blanks (the app's
// and the pages' text can hold anything; the shell's own markers must not come from it).
std::string oneLine(std::string s) {
    for (char& c : s) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    }
    return s;
}

std::string trim(std::string s) {
    size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos) return std::string();
    size_t e = s.find_last_not_of(' ');
    return s.substr(b, e - b + 1);
}

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

CGRect inWindow(UIView* v) {
    return v->convertRect(v->bounds(), nullptr);
}

// The part of an element that a view shows, by the view's rectangle for it (a bar's button its
// whole bounds, a row its accessory's room, a picker one of its rows), in the window while the
// view is in one; null while none of it shows.
template <class V, class Rect>
std::function<CGRect()> partOf(V* view, Rect rectIn) {
    Weak<V> shown(view);
    return [shown, rectIn] {
        auto o = shown.lock();
        CGRect r = o && o->window() ? rectIn(o.get()) : CGRectNull;
        return CGRectIsNull(r) ? r : o->convertRect(r, nullptr);
    };
}

std::function<CGRect()> partShownBy(UIView* v) {
    return partOf(v, [](UIView* o) { return o->bounds(); });
}

// What the keyboard leaves of a rectangle of the window: the keyboard covers the app's windows
// (not those at the alert level above it), and a person touches what shows around it, the
// largest part. Null when it covers all.
CGRect clearOfKeyboard(UIWindow* window, CGRect r) {
    if (!UIKeyboard::isVisible() || window->windowLevel() >= UIWindowLevelAlert) return r;
    CGRect keys = UIKeyboard::frame();
    CGRect frame = window->frame();
    CGRect cover = CGRectIntersection(r, CGRectOffset(keys, -frame.origin.x, -frame.origin.y));
    if (CGRectIsNull(cover) || CGRectIsEmpty(cover)) return r;
    const CGRect parts[] = {
        CGRectMake(r.origin.x, r.origin.y, r.size.width, CGRectGetMinY(cover) - r.origin.y),
        CGRectMake(r.origin.x, CGRectGetMaxY(cover), r.size.width,
                   CGRectGetMaxY(r) - CGRectGetMaxY(cover)),
        CGRectMake(r.origin.x, r.origin.y, CGRectGetMinX(cover) - r.origin.x, r.size.height),
        CGRectMake(CGRectGetMaxX(cover), r.origin.y, CGRectGetMaxX(r) - CGRectGetMaxX(cover),
                   r.size.height),
    };
    CGRect best = CGRectNull;
    CGFloat bestArea = 0;
    for (const CGRect& part : parts) {
        CGFloat area = part.size.width * part.size.height;
        if (part.size.width >= 1 && part.size.height >= 1 && area > bestArea) {
            best = part;
            bestArea = area;
        }
    }
    return best;
}

// A real touch through the window at the middle of what shows of a view; false when none shows.
bool touchMiddle(UIView* v) {
    auto window = v ? v->window() : nullptr;
    if (!window) return false;
    CGRect shown = clearOfKeyboard(window, CGRectIntersection(inWindow(v), window->bounds()));
    if (CGRectIsNull(shown)) return false;
    return window->tapAtPoint(CGPointMake(CGRectGetMidX(shown), CGRectGetMidY(shown))) != nullptr;
}

bool meets(CGRect a, CGRect clip) {
    CGRect r = CGRectIntersection(a, clip);
    return !CGRectIsNull(r) && r.size.width > 0 && r.size.height > 0;
}

std::string imageName(UIImage* image) {
    return imageFileName(image);
}

// A picture made in memory has no name to give, only that it is one.
std::string pictureText(const std::string& name) {
    if (name == kUnnamedPicture) return "[picture]";
    return "[image " + name + "]";
}

// What shows of a view: its frame in the window, cut by the window and by every view above it
// that clips (scroll views always do).
CGRect shownRect(UIView* v) {
    CGRect r = inWindow(v);
    for (auto s = v->superview(); s; s = s->superview()) {
        if (s->clipsToBounds() || is<UIScrollView>(s.get()) || is<UIWindow>(s.get()))
            r = CGRectIntersection(r, inWindow(s));
    }
    return r;
}

// A page's readable text, each line as one printed line.
std::string pageText(UIWebView* web) {
    std::string page = utf8(web->readableText()), text;
    size_t start = 0;
    for (;;) {
        size_t end = page.find('\n', start);
        text += oneLine(page.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) break;
        text += '\n';
        start = end + 1;
    }
    return text;
}

// Which page a web view shows or is going to: another, even with the same text, has other elements.
std::string pageAddress(UIWebView* web) {
    auto request = web->request();
    auto url = request ? request->URL() : nullptr;
    return url ? utf8(url->absoluteString()) : std::string();
}

// What follows the page's element k on its line, found as the screen numbers them: in order.
std::string textAfterElement(const std::string& text, NSUInteger k) {
    size_t from = 0;
    for (NSUInteger i = 1; i <= k; ++i) {
        size_t at = text.find("[" + std::to_string(i) + "]", from);
        if (at == std::string::npos) return std::string();
        from = at + std::to_string(i).size() + 2;
    }
    size_t end = text.find('\n', from);
    return trim(text.substr(from, end == std::string::npos ? end : end - from));
}

// A loaded image goes by the last part of its URL path, a default image by its picture's name.
std::string imageViewName(DZImageView* view) {
    auto path = view->urlPath();
    if (view->isLoaded() && path && path->length()) return utf8(path->lastPathComponent());
    return pictureName(imageName(view->image()));
}

// Something printed, with its place on screen: a leaf view gives one, a table or a web page
// gives one of many lines.
struct Block {
    CGRect rect{};
    std::vector<std::string> lines;
    // One-line blocks that sit side by side print on one line.
    bool joinable = true;
    // The lines are one text wrapped to its view's width (a text view's): printed on one line
    // among others (in a row), they join with one blank, as the text reads.
    bool wrapped = false;
};

// Blocks printed within one line (a row's views, a bar item's): a wrapped text on one line.
void unwrap(std::vector<Block>& blocks) {
    for (auto& b : blocks) {
        if (!b.wrapped || b.lines.size() < 2) continue;
        std::string line;
        for (auto& l : b.lines) {
            size_t end = l.find_last_not_of(' ');
            std::string part = end == std::string::npos ? std::string() : l.substr(0, end + 1);
            if (!line.empty() && !part.empty()) line += ' ';
            line += part;
        }
        b.lines = {line};
    }
}

bool sameRow(const Block& a, const Block& b) {
    CGFloat top = std::max(CGRectGetMinY(a.rect), CGRectGetMinY(b.rect));
    CGFloat bottom = std::min(CGRectGetMaxY(a.rect), CGRectGetMaxY(b.rect));
    CGFloat smaller = std::max<CGFloat>(1, std::min(a.rect.size.height, b.rect.size.height));
    return bottom - top >= smaller / 2;
}

// Top to bottom; blocks that share a row print left to right on one line. `besides` hears of
// each chunk of a joined line and the chunk printed before it.
std::vector<std::string> arrange(
    std::vector<Block> blocks,
    const std::function<void(const std::string&, const std::string&)>& besides = nullptr) {
    std::stable_sort(blocks.begin(), blocks.end(), [](const Block& a, const Block& b) {
        CGFloat ay = std::round(CGRectGetMinY(a.rect)), by = std::round(CGRectGetMinY(b.rect));
        if (ay != by) return ay < by;
        return std::round(CGRectGetMinX(a.rect)) < std::round(CGRectGetMinX(b.rect));
    });
    std::vector<std::string> lines;
    for (size_t i = 0; i < blocks.size();) {
        if (!blocks[i].joinable || blocks[i].lines.size() != 1) {
            for (auto& l : blocks[i].lines)
                lines.push_back(l);
            ++i;
            continue;
        }
        std::vector<const Block*> row{&blocks[i]};
        size_t j = i + 1;
        while (j < blocks.size() && blocks[j].joinable && blocks[j].lines.size() == 1 &&
               sameRow(blocks[i], blocks[j])) {
            row.push_back(&blocks[j]);
            ++j;
        }
        std::stable_sort(row.begin(), row.end(), [](const Block* a, const Block* b) {
            return CGRectGetMinX(a->rect) < CGRectGetMinX(b->rect);
        });
        std::string line;
        for (size_t k = 0; k < row.size(); ++k) {
            if (k > 0 && besides) besides(row[k - 1]->lines.front(), row[k]->lines.front());
            if (!line.empty()) line += "   ";
            line += row[k]->lines.front();
        }
        lines.push_back(line);
        i = j;
    }
    return lines;
}

// Whether a view hides what lies under it wherever it is: fully shown (it and every view it
// sits in) and filled with a colour that lets nothing through.
bool hidesWhatIsUnder(UIView* v, CGFloat shownAlpha) {
    if (shownAlpha < 0.99f) return false;
    // Bars paint their whole frame, unless they let the screen show through.
    if (is<UITabBar>(v)) return true;
    if (auto bar = as<UINavigationBar>(v))
        return !bar->isTranslucent() && bar->barStyle() != UIBarStyleBlackTranslucent;
    if (auto bar = as<UIToolbar>(v))
        return !bar->isTranslucent() && bar->barStyle() != UIBarStyleBlackTranslucent;
    auto colour = v->backgroundColor();
    return colour && colour->alpha() >= 0.99f;
}

// What is left of `r` once `cover` is taken away: at most four rectangles.
void subtract(CGRect r, CGRect cover, std::vector<CGRect>& out) {
    CGRect cut = CGRectIntersection(r, cover);
    if (CGRectIsNull(cut) || cut.size.width <= 0 || cut.size.height <= 0) {
        out.push_back(r);
        return;
    }
    auto keep = [&out](CGRect part) {
        if (part.size.width >= 0.5f && part.size.height >= 0.5f) out.push_back(part);
    };
    keep(CGRectMake(r.origin.x, r.origin.y, r.size.width, CGRectGetMinY(cut) - r.origin.y));
    keep(CGRectMake(r.origin.x, CGRectGetMaxY(cut), r.size.width,
                    CGRectGetMaxY(r) - CGRectGetMaxY(cut)));
    keep(CGRectMake(r.origin.x, cut.origin.y, CGRectGetMinX(cut) - r.origin.x, cut.size.height));
    keep(CGRectMake(CGRectGetMaxX(cut), cut.origin.y, CGRectGetMaxX(r) - CGRectGetMaxX(cut),
                    cut.size.height));
}

}  // namespace

class ShellScreenBuilder {
public:
    ShellScreen build(UIWindow* window) {
        ShellScreen screen;
        std::vector<std::string> lines;
        auto app = UIApplication::sharedApplication();
        if (app->isNetworkActivityIndicatorVisible()) lines.push_back("(network activity)");
        auto panels = UIButtonPanelView::shownPanels();
        // While an alert or sheet shows, only its buttons take touches.
        bool underPanel = panels->count() > 0;
        if (window) {
            std::vector<Block> blocks;
            findCovers(window, 1);
            walk(window, window->bounds(), !underPanel, blocks);
            for (auto& l : arrange(std::move(blocks), labelBeside()))
                lines.push_back(l);
        }
        for (NSUInteger i = 0; i < panels->count(); ++i) {
            auto panel = cast<UIButtonPanelView>(panels->objectAtIndex(i));
            panelLines(panel, i + 1 == panels->count(), lines);
        }
        if (UIKeyboard::isVisible()) {
            std::string key = "return";
            if (auto traits =
                    dynamic_cast<UITextInputTraits*>(UIResponder::currentFirstResponder().get())) {
                key = utf8(UIKeyboardReturnKeyTitle(traits));
            }
            lines.push_back("(keyboard: type text; the return key reads \"" + key + "\")");
        }
        screen.text_ = kRule;
        for (auto& l : lines) {
            screen.text_ += number(l, screen.elements_);
            screen.text_ += '\n';
        }
        screen.text_ += kRule;
        nameByWordsOver(screen.elements_);
        return screen;
    }

private:
    std::vector<ShellElement> pending_;
    // The views in the order they are drawn: each view's place in it and where its own views
    // end, and the views among them that hide what lies under them.
    struct Order {
        size_t at = 0;
        size_t end = 0;
    };
    std::unordered_map<const UIView*, Order> order_;
    struct Cover {
        size_t at;
        CGRect rect;
    };
    std::vector<Cover> covers_;
    // How many views were left out so far as covered whole.
    size_t leftUnder_ = 0;

    void findCovers(UIView* v, CGFloat shownAlpha) {
        if (v->isHidden()) return;
        shownAlpha *= v->alpha();
        if (shownAlpha < 0.01f) return;
        // An alert or sheet prints on top of the screen it is over, all of it.
        if (is<UIButtonPanelView>(v)) return;
        size_t at = order_.size();
        Order& place = order_[v];
        place.at = at;
        if (!is<UIWindow>(v) && hidesWhatIsUnder(v, shownAlpha)) {
            CGRect shown = shownRect(v);
            if (!CGRectIsNull(shown) && !CGRectIsEmpty(shown)) covers_.push_back({at, shown});
        }
        for (auto& sub : std::vector<Ref<UIView>>(v->subviewList()))
            findCovers(sub.get(), shownAlpha);
        order_[v].end = order_.size();
    }

    // Whether views drawn after this one and all of its own (a full-screen view over the screen)
    // leave nothing of it to see: a person does not read what lies under them.
    bool isCoveredWhole(UIView* v) {
        auto found = order_.find(v);
        if (found == order_.end()) return false;
        CGRect shown = shownRect(v);
        if (CGRectIsNull(shown) || CGRectIsEmpty(shown)) return false;
        std::vector<CGRect> left{shown}, next;
        for (auto& cover : covers_) {
            if (cover.at < found->second.end) continue;
            next.clear();
            for (auto& r : left)
                subtract(r, cover.rect, next);
            left.swap(next);
            if (left.empty()) return true;
        }
        return false;
    }
    // Words printed where touches reach, to find the controls they lie on.
    struct Words {
        Weak<UIView> view;
        std::string text;
    };
    std::vector<Words> words_;

    // Words that lie on a control (a large button whose labels are laid over it) name it too: a
    // finger on them touches the control. A control that is one part of its view (a row's (-))
    // goes only by the words on that part, not by every word of the row.
    void nameByWordsOver(std::vector<ShellElement>& elements) {
        for (auto& w : words_) {
            auto view = w.view.lock();
            auto window = view ? view->window() : nullptr;
            if (!window) continue;
            CGRect shown = shownRect(view);
            if (CGRectIsNull(shown) || CGRectIsEmpty(shown)) continue;
            auto look = UIEvent::motionEvent(UIEventSubtypeNone);
            CGPoint middle = CGPointMake(CGRectGetMidX(shown), CGRectGetMidY(shown));
            auto hit = window->hitTest(middle, look);
            if (!hit || hit == view) continue;
            for (auto& e : elements) {
                if (e.kind != ShellElement::Button && e.kind != ShellElement::Control) continue;
                auto control = e.view.lock();
                if (!control || !(hit == control || hit->isDescendantOfView(control))) continue;
                if (e.part && !CGRectContainsPoint(e.part(), middle)) continue;
                if (e.label != w.text) e.wordsOver.push_back(w.text);
                break;
            }
        }
    }

    // A field or switch also goes by the text printed just before it on its line
    // ("Message [2] [...]" is the Message field).
    std::function<void(const std::string&, const std::string&)> labelBeside() {
        return [this](const std::string& before, const std::string& chunk) {
            if (chunk.empty() || chunk.front() != kMarkOpen) return;
            if (before.find(kMarkOpen) != std::string::npos) return;
            size_t close = chunk.find(kMarkClose);
            auto& e = pending_[std::stoul(chunk.substr(1, close - 1))];
            if (e.kind == ShellElement::TextField || e.kind == ShellElement::Switch ||
                e.kind == ShellElement::TextView) {
                e.besideLabel = trim(before);
            }
        };
    }

    // The element's marker, printed as "[n]" once numbered.
    std::string mark(ShellElement e) {
        pending_.push_back(std::move(e));
        return std::string(1, kMarkOpen) + std::to_string(pending_.size() - 1) + kMarkClose;
    }

    // Replaces the markers of a line by numbers in printed order.
    std::string number(const std::string& line, std::vector<ShellElement>& out) {
        std::string result;
        for (size_t i = 0; i < line.size(); ++i) {
            if (line[i] != kMarkOpen) {
                result += line[i];
                continue;
            }
            size_t close = line.find(kMarkClose, i);
            size_t index = std::stoul(line.substr(i + 1, close - i - 1));
            ShellElement e = pending_[index];
            if (!ShellScreen::isReachable(e)) {
                // Covered by another view: printed as if it took no touches.
                i = close;
                if (i + 1 < line.size() && line[i + 1] == ' ' &&
                    (result.empty() || result.back() == ' '))
                    ++i;
                continue;
            }
            e.number = static_cast<int>(out.size()) + 1;
            result += "[" + std::to_string(e.number) + "]";
            out.push_back(std::move(e));
            i = close;
        }
        return result;
    }

    static Block leaf(UIView* v, std::string text) {
        Block b;
        b.rect = inWindow(v);
        b.lines.push_back(std::move(text));
        return b;
    }

    // "[movie 12 s of 30 s]" while a movie plays or is paused, in whole seconds, as the player's
    // own controls show it; just "[movie]" when the app shows none of them (it draws its own).
    static std::string movieLine(MPMovieView* movie) {
        auto player = movie->player();
        if (!player) return std::string();
        auto state = player->playbackState();
        if (state != MPMoviePlaybackStatePlaying && state != MPMoviePlaybackStatePaused)
            return std::string();
        std::string line = "[movie";
        if (player->controlStyle() != MPMovieControlStyleNone)
            line += " " + std::to_string(static_cast<long>(player->currentPlaybackTime())) +
                    " s of " + std::to_string(static_cast<long>(player->duration())) + " s";
        return line + (state == MPMoviePlaybackStatePaused ? ", paused]" : "]");
    }

    // ---- the tree ------------------------------------------------------------------------------

    void walk(UIView* v, CGRect clip, bool touchable, std::vector<Block>& out) {
        if (v->isHidden() || v->alpha() < 0.01f) return;
        if (is<UIButtonPanelView>(v)) return;  // printed on top, after the screen
        // Its maker says there is nothing to read in it (a backdrop).
        if (v->accessibilityElementsHidden()) return;
        if (isCoveredWhole(v)) {
            ++leftUnder_;
            return;
        }
        // Whether touches reach this view's place, even when the view itself lets them through.
        bool reached = touchable;
        touchable = touchable && v->isUserInteractionEnabled();
        CGRect rect = inWindow(v);
        if (auto bar = as<UINavigationBar>(v)) {
            if (meets(rect, clip)) navigationBar(bar, clip, touchable, out);
            return;
        }
        if (auto bar = as<UITabBar>(v)) {
            if (meets(rect, clip)) tabBar(bar, touchable, out);
            return;
        }
        if (auto bar = as<UIToolbar>(v)) {
            if (meets(rect, clip)) toolbar(bar, clip, touchable, out);
            return;
        }
        if (auto table = as<UITableView>(v)) {
            if (meets(rect, clip)) tableView(table, CGRectIntersection(rect, clip), touchable, out);
            return;
        }
        if (auto web = as<UIWebView>(v)) {
            if (meets(rect, clip)) webView(web, touchable, out);
            return;
        }
        if (auto picker = as<UIPickerView>(v)) {
            if (meets(rect, clip)) pickerView(picker, touchable, out);
            return;
        }
        if (auto textView = as<UITextView>(v)) {
            if (meets(rect, clip)) this->textView(textView, touchable, out);
            return;
        }
        if (NSInteger parts = v->accessibilityElementCount(); parts > 0) {
            if (meets(rect, clip)) accessibleParts(v, parts, touchable, out);
            return;
        }
        if (auto movie = as<MPMovieView>(v); movie && meets(rect, clip)) {
            // Its controls (Done) follow as subviews.
            if (auto line = movieLine(movie); !line.empty()) {
                // On the line through the picture's middle, where a person sees the movie.
                Block b = leaf(v, line);
                b.rect = CGRectMake(rect.origin.x, CGRectGetMidY(rect), rect.size.width, 1);
                out.push_back(std::move(b));
            }
        }
        if (!is<UIControl>(v) && takesTaps(v)) {
            // A view that takes taps itself: one element, named by its label, else by what it
            // shows; like a control, it is on this screen when its middle is.
            CGPoint middle = CGPointMake(CGRectGetMidX(rect), CGRectGetMidY(rect));
            if (meets(rect, clip) && CGRectContainsPoint(clip, middle))
                tappableView(v, clip, reached && v->isUserInteractionEnabled(), out);
            return;
        }
        if (auto control = as<UIControl>(v)) {
            // A control shows by its middle: one whose edge only reaches into view (a launcher
            // icon of the next page, a wobbling one's corner) is not on this screen.
            CGPoint middle = CGPointMake(CGRectGetMidX(rect), CGRectGetMidY(rect));
            if (meets(rect, clip) && CGRectContainsPoint(clip, middle))
                this->control(control, touchable, out);
            return;
        }
        if (auto label = as<DZLabel>(v)) {
            std::string text = oneLine(utf8(label->text()));
            if (meets(rect, clip) && !trim(text).empty()) {
                out.push_back(leaf(v, text));
                if (reached) words_.push_back({Weak<UIView>(v), trim(text)});
            }
            return;
        }
        if (auto image = as<DZImageView>(v)) {
            if (meets(rect, clip) && image->image()) {
                std::string text = pictureText(imageViewName(image));
                if (reached && v->isMultipleTouchEnabled())
                    text = mark(fingerTarget(v, imageViewName(image))) + " " + text;
                out.push_back(leaf(v, text));
            }
            // What lies over the image (a photo's caption, status and spinner).
            for (auto& sub : std::vector<Ref<UIView>>(v->subviewList()))
                if (!sub->isHidden() && sub->alpha() >= 0.01f) walk(sub, clip, touchable, out);
            return;
        }
        if (auto label = as<UILabel>(v)) {
            if (!meets(rect, clip)) return;
            // The whole text, even where the picture cuts it short: a person reads it whole
            // once the screen is wider, and finds the element beside it by all of it.
            Block b;
            b.rect = rect;
            std::string text = utf8(label->text());
            if (label->numberOfLines() == 1) {
                std::string s = oneLine(text);
                if (!trim(s).empty()) b.lines.push_back(s);
                if (reached && !trim(s).empty()) words_.push_back({Weak<UIView>(v), trim(s)});
            } else {
                // A label of several lines: each of its paragraphs on a line of its own.
                size_t start = 0;
                for (;;) {
                    size_t end = text.find('\n', start);
                    std::string s =
                        oneLine(text.substr(start, end == std::string::npos ? end : end - start));
                    if (!trim(s).empty()) b.lines.push_back(s);
                    if (end == std::string::npos) break;
                    start = end + 1;
                }
            }
            if (!b.lines.empty()) out.push_back(std::move(b));
            return;
        }
        if (auto image = as<UIImageView>(v)) {
            if (meets(rect, clip) && image->displayedImage()) {
                std::string name = imageName(image->displayedImage());
                out.push_back(leaf(v, pictureText(pictureName(name))));
            }
        } else if (auto spinner = as<UIActivityIndicatorView>(v)) {
            if (meets(rect, clip) && spinner->isAnimating()) out.push_back(leaf(v, "(busy)"));
            return;
        } else if (auto progress = as<UIProgressView>(v)) {
            if (!meets(rect, clip)) return;
            int filled = static_cast<int>(std::lround(progress->progress() * 10));
            out.push_back(leaf(
                v, "[" + std::string(size_t(filled), '#') + std::string(size_t(10 - filled), '-') +
                       "] " + std::to_string(std::lround(progress->progress() * 100)) + "%"));
            return;
        }
        // Scroll views (tables and text views among them) always clip their content.
        if (v->clipsToBounds() || is<UIScrollView>(v)) {
            clip = CGRectIntersection(clip, rect);
            if (CGRectIsNull(clip)) return;
        }
        for (auto& sub : std::vector<Ref<UIView>>(v->subviewList()))
            walk(sub, clip, touchable, out);
    }

    // A view that lists its parts to accessibility (a styled text label): its lines of text as
    // it shows them, each link numbered in its place; tapping a link touches the middle of its
    // frame.
    void accessibleParts(UIView* v, NSInteger count, bool touchable, std::vector<Block>& out) {
        struct Part {
            CGRect frame;
            std::string label;
            bool link;
        };
        std::vector<Part> parts;
        for (NSInteger i = 0; i < count; ++i) {
            auto element = as<UIAccessibilityElement>(v->accessibilityElementAtIndex(i));
            if (!element) continue;
            parts.push_back({element->accessibilityFrame(),
                             oneLine(utf8(element->accessibilityLabel())),
                             (element->accessibilityTraits() & UIAccessibilityTraitLink) != 0});
        }
        std::stable_sort(parts.begin(), parts.end(), [](const Part& a, const Part& b) {
            return CGRectGetMinY(a.frame) < CGRectGetMinY(b.frame);
        });
        // Parts that overlap by half their height share a line, left to right.
        std::vector<std::vector<Part>> rows;
        for (auto& p : parts) {
            Block a, b;
            a.rect = p.frame;
            if (!rows.empty()) b.rect = rows.back().front().frame;
            if (rows.empty() || !sameRow(a, b)) rows.emplace_back();
            rows.back().push_back(p);
        }
        Block block;
        block.rect = inWindow(v);
        block.joinable = false;
        Weak<UIView> target(v);
        for (auto& row : rows) {
            std::stable_sort(row.begin(), row.end(), [](const Part& a, const Part& b) {
                return CGRectGetMinX(a.frame) < CGRectGetMinX(b.frame);
            });
            std::string line;
            for (auto& p : row) {
                if (!p.link || !touchable) {
                    line += p.label;
                    continue;
                }
                ShellElement e;
                e.kind = ShellElement::Link;
                e.label = trim(p.label);
                e.view = v;
                CGPoint middle = CGPointMake(CGRectGetMidX(p.frame), CGRectGetMidY(p.frame));
                e.part = [frame = p.frame] { return frame; };
                e.tap = [target, middle] {
                    auto o = target.lock();
                    auto window = o ? o->window() : nullptr;
                    return window && window->tapAtPoint(middle) != nullptr;
                };
                line += mark(std::move(e)) + " " + p.label;
            }
            line = trim(line);
            if (!line.empty()) block.lines.push_back(line);
        }
        if (!block.lines.empty()) out.push_back(std::move(block));
    }

    // An image made for several fingers (a pager's page: taps, double taps, pinches) is touched
    // as a finger would: a real touch through the window at the middle of what shows of it. A
    // zoomed page lets touches through to its pager, so it counts wherever touches reach it.
    ShellElement fingerTarget(UIView* v, std::string label) {
        ShellElement e;
        e.kind = ShellElement::Control;
        e.label = std::move(label);
        e.view = v;
        Weak<UIView> target(v);
        e.tap = [target] { return touchMiddle(target.lock().get()); };
        e.touchedAtMiddle = true;
        return e;
    }

    // A view takes taps like a button when it says it is one to assistive technology (an ad's
    // picture) or its class handles touches itself: it enters "touchesEnded:withEvent:" in its
    // class description (a house-ad banner), below the platform's responder, which enters it
    // for every view.
    static bool takesTaps(UIView* v) {
        if (v->accessibilityTraits() & UIAccessibilityTraitButton) return true;
        static const SEL ended = Selector::named("touchesEnded:withEvent:");
        Class platformView = UIView::staticClass();
        for (Class c = v->getClass(); c && c != platformView; c = c->superclass())
            for (const Method& m : c->methods())
                if (m.selector == ended) return true;
        return false;
    }

    void tappableView(UIView* v, CGRect clip, bool touchable, std::vector<Block>& out) {
        std::vector<Block> inside;
        for (auto& sub : std::vector<Ref<UIView>>(v->subviewList()))
            walk(sub, clip, false, inside);
        std::string shown;
        for (auto& l : arrange(std::move(inside))) {
            if (!shown.empty()) shown += " ";
            shown += l;
        }
        std::string label = oneLine(utf8(v->accessibilityLabel()));
        if (!label.empty()) shown = "(" + label + ")" + (shown.empty() ? "" : " " + shown);
        if (shown.empty()) shown = "(button)";
        if (touchable) {
            shown = mark(fingerTarget(v, label.empty() ? trim(shown) : label)) + " " + shown;
        }
        out.push_back(leaf(v, shown));
    }

    // The subviews of a bar item, cell or title view, as inline text.
    std::string inlineText(UIView* v, CGRect clip, bool touchable) {
        std::vector<Block> blocks;
        walk(v, clip, touchable, blocks);
        unwrap(blocks);
        std::string text;
        for (auto& l : arrange(std::move(blocks), labelBeside())) {
            if (!text.empty()) text += "  ";
            text += l;
        }
        return text;
    }

    // ---- controls ------------------------------------------------------------------------------

    void control(UIControl* c, bool touchable, std::vector<Block>& out) {
        touchable = touchable && c->isEnabled();
        if (auto field = as<UITextField>(c)) {
            out.push_back(leaf(c, textField(field, touchable)));
            return;
        }
        if (auto sw = as<UISwitch>(c)) {
            std::string state = sw->isOn() ? "switch: ON" : "switch: OFF";
            if (touchable) {
                ShellElement e;
                e.kind = ShellElement::Switch;
                e.label = utf8(sw->accessibilityLabel());
                e.view = static_cast<UIView*>(sw);
                Weak<UISwitch> target(sw);
                e.tap = [target] {
                    auto o = target.lock();
                    if (o) o->simulateTap();
                    return o != nullptr;
                };
                state = mark(std::move(e)) + " " + state;
            }
            out.push_back(leaf(c, state));
            return;
        }
        if (auto seg = as<UISegmentedControl>(c)) {
            out.push_back(leaf(c, segments(seg, touchable)));
            return;
        }
        std::string title;
        // A picture-only button goes by what its picture stands for; one that shows its state
        // (a filled star) prints starred.
        bool on = false;
        auto spoken = [&on](const std::string& file) {
            auto picture = spokenPicture(file);
            on = picture.on;
            return picture.name;
        };
        if (auto button = as<UIButton>(c)) {
            // An image-only button goes by its accessibility label, as a person knows it, else
            // by its picture.
            title = utf8(button->currentTitle());
            if (title.empty()) title = utf8(c->accessibilityLabel());
            if (title.empty()) title = spoken(imageName(button->currentImage()));
            if (title.empty()) {
                // A picture made in memory in place of the button's words (its title emptied
                // for it) goes by what the table calls such a picture; any other picture by its
                // name.
                title = imageName(button->currentBackgroundImage());
                bool wordsTaken = button->titleForState(UIControlStateNormal) != nullptr;
                title = spoken(title == kUnnamedPicture && wordsTaken
                                   ? std::string(kPhotoInPlaceOfWords)
                                   : title);
            }
        }
        if (title.empty()) title = utf8(c->accessibilityLabel());
        if (auto styled = as<DZButton>(c); styled && title.empty()) {
            // A styled button that shows only a picture (a thumbnail) goes by the picture.
            if (auto url = styled->imageForState(c->state()); url && url->length())
                title = spoken(utf8(url));
            else if (auto normal = styled->imageForState(UIControlStateNormal);
                     normal && normal->length())
                title = spoken(utf8(normal));
        }
        if (title.empty()) {
            // A control of the app's own: what it shows inside.
            std::vector<Block> inside;
            for (auto& sub : std::vector<Ref<UIView>>(c->subviewList()))
                walk(sub, inWindow(c), false, inside);
            for (auto& l : arrange(std::move(inside))) {
                if (!title.empty()) title += " ";
                title += l;
            }
        }
        if (title.empty()) {
            // Page dots without a name say where they stand.
            if (auto dots = as<DZPageControl>(c))
                title = "page " + std::to_string(dots->currentPage() + 1) + " of " +
                        std::to_string(dots->numberOfPages());
        }
        if (title.empty()) title = is<UIButton>(c) ? "button" : utf8(c->className());
        if (is<DZButton>(c)) {
            // A styled button shows its badges (labels inside it) after its title, and one that
            // tells assistive technology it is selected (a tab) is starred.
            for (auto& sub : c->subviewList())
                if (auto badge = as<DZLabel>(sub); badge && !badge->isHidden() && badge->text())
                    title += " [" + utf8(badge->text()) + "]";
            if (c->accessibilityTraits() & UIAccessibilityTraitSelected) title = "*" + title + "*";
        }
        title = oneLine(title);
        std::string shown = on ? "*" + title + "*" : title;
        if (!touchable) {
            out.push_back(leaf(c, "(" + shown + ")" + (c->isEnabled() ? "" : " [disabled]")));
            return;
        }
        ShellElement e;
        e.kind = is<UIButton>(c) ? ShellElement::Button : ShellElement::Control;
        e.label = title;
        e.view = static_cast<UIView*>(c);
        Weak<UIControl> target(c);
        e.tap = [target] {
            auto o = target.lock();
            if (o) o->simulateTap();
            return o != nullptr;
        };
        std::string text = mark(std::move(e)) + " (" + shown + ")";
        if (is<DZButton>(c)) {
            // A styled button inside a styled button (a launcher icon's close button while
            // editing) is a control of its own.
            for (auto& sub : c->subviewList()) {
                auto inner = as<DZButton>(sub);
                if (!inner || inner->isHidden() || inner->alpha() < 0.01f) continue;
                ShellElement close;
                close.kind = ShellElement::Button;
                close.label = "x";
                close.view = inner.get();
                Weak<UIControl> innerTarget(inner.get());
                close.tap = [innerTarget] {
                    auto o = innerTarget.lock();
                    if (o) o->simulateTap();
                    return o != nullptr;
                };
                text += " " + mark(std::move(close)) + " (x)";
            }
        }
        out.push_back(leaf(c, text));
    }

    std::string textField(UITextField* field, bool touchable) {
        std::string content;
        std::string text = utf8(field->text());
        bool editing = field->isEditing();
        // A field that lays its text out in no room at all (a token field while a token is
        // selected) shows neither text nor caret.
        CGRect room = editing ? field->editingRectForBounds(field->bounds())
                              : field->textRectForBounds(field->bounds());
        bool textShows = room.size.width > 0 && room.size.height > 0;
        if (!text.empty()) {
            if (textShows) {
                content =
                    field->isSecureTextEntry() ? std::string(text.size(), '*') : oneLine(text);
                if (editing) content += "_";
            }
        } else {
            if (editing) content += "_";
            if (auto p = field->placeholder(); p && p->length() > 0)
                content += "(" + oneLine(utf8(p)) + ")";
        }
        std::string shown = "[" + content + "]";
        // A title label as the field's left view reads before everything it shows.
        std::string title;
        if (auto label = as<UILabel>(field->leftView()); label && !label->isHidden())
            title = trim(oneLine(utf8(label->text())));
        std::string tokens = (title.empty() ? "" : title + " ") + fieldTokens(field, touchable);
        if (!touchable) return tokens + shown;
        ShellElement e;
        e.kind = ShellElement::TextField;
        e.label = utf8(field->accessibilityLabel());
        if (e.label.empty()) e.label = title;
        if (e.label.empty()) e.label = oneLine(utf8(field->placeholder()));
        e.view = static_cast<UIView*>(field);
        Weak<UITextField> target(field);
        e.tap = [target] {
            auto o = target.lock();
            if (o) o->simulateTap();
            return o != nullptr;
        };
        std::string line = tokens + mark(std::move(e)) + " " + shown;
        if (field->clearButtonShows()) {
            ShellElement clear;
            clear.kind = ShellElement::Button;
            clear.label = "clear";
            clear.view = static_cast<UIView*>(field);
            clear.part = partOf(
                field, [](UITextField* o) { return o->clearButtonRectForBounds(o->bounds()); });
            clear.tap = [target] {
                auto o = target.lock();
                if (o) o->clearText();
                return o != nullptr;
            };
            line += " " + mark(std::move(clear)) + " (clear)";
        }
        return line;
    }

    // The tokens a field shows inline before its text (the cells of a picker field): views
    // inside it, other than its overlay views, that show a label. A selected token prints between
    // stars. A tap touches the token's middle, as a finger would.
    std::string fieldTokens(UITextField* field, bool touchable) {
        std::string line;
        for (auto& sub : std::vector<Ref<UIView>>(field->subviewList())) {
            if (sub->isHidden() || sub == field->leftView() || sub == field->rightView()) continue;
            if (is<UIControl>(sub.get()) || is<UILabel>(sub.get())) continue;
            Ref<UILabel> label;
            for (auto& inner : std::vector<Ref<UIView>>(sub->subviewList()))
                if (auto l = as<UILabel>(inner)) label = l;
            if (!label) continue;
            std::string text = oneLine(utf8(label->text()));
            if (trim(text).empty()) continue;
            std::string shown = label->isHighlighted() ? "*" + text + "*" : text;
            if (touchable) {
                ShellElement e;
                e.kind = ShellElement::Control;
                e.label = text;
                e.view = sub.get();
                Weak<UIView> token(sub.get());
                e.tap = [token] { return touchMiddle(token.lock().get()); };
                e.touchedAtMiddle = true;
                shown = mark(std::move(e)) + " " + shown;
            }
            line += shown + " ";
        }
        return line;
    }

    // Each segment by its title, else by what its picture is called; a segment that takes no
    // touches says so, so that the number before the one beside it is not read as theirs.
    std::string segments(UISegmentedControl* seg, bool touchable) {
        std::string text;
        for (NSUInteger i = 0; i < seg->numberOfSegments(); ++i) {
            std::string title = utf8(seg->titleForSegmentAtIndex(i));
            auto picture = seg->imageForSegmentAtIndex(i);
            if (title.empty() && picture) title = utf8(picture->accessibilityLabel());
            if (title.empty()) title = spokenPicture(imageName(picture.get())).name;
            title = oneLine(title);
            bool selected = seg->selectedSegmentIndex() == static_cast<NSInteger>(i);
            std::string shown = selected ? "*" + title + "*" : title;
            if (!seg->isEnabledForSegmentAtIndex(i)) shown += " [disabled]";
            if (touchable && seg->isEnabledForSegmentAtIndex(i)) {
                ShellElement e;
                e.kind = ShellElement::Segment;
                e.label = title;
                e.view = static_cast<UIView*>(seg);
                Weak<UISegmentedControl> target(seg);
                e.part = [target, i] {
                    auto o = target.lock();
                    return o ? o->convertRect(o->rectForSegmentAtIndex(i), nullptr) : CGRectNull;
                };
                e.tap = [target, i] {
                    auto o = target.lock();
                    if (o) o->tapSegment(i);
                    return o != nullptr;
                };
                shown = mark(std::move(e)) + " " + shown;
            }
            if (!text.empty()) text += " | ";
            text += shown;
        }
        return text;
    }

    void textView(UITextView* tv, bool touchable, std::vector<Block>& out) {
        Block b;
        b.rect = inWindow(tv);
        b.joinable = false;
        b.wrapped = true;
        auto lines = tv->lines();
        for (auto& l : lines)
            b.lines.push_back(oneLine(utf8(NSString::fromUTF16(l.text))));
        if (b.lines.empty()) b.lines.push_back(std::string());
        if (tv->isEditable()) {
            if (tv->isEditing()) b.lines.back() += "_";
            b.lines.front() = "{" + b.lines.front();
            b.lines.back() += "}";
            if (touchable) {
                ShellElement e;
                e.kind = ShellElement::TextView;
                e.label = utf8(tv->accessibilityLabel());
                e.view = static_cast<UIView*>(tv);
                Weak<UITextView> target(tv);
                e.tap = [target] {
                    auto o = target.lock();
                    if (!o) return false;
                    // A tap in the text begins editing where the person touched.
                    CGRect r = inWindow(o);
                    if (auto w = o->window()) {
                        w->tapAtPoint(CGPointMake(CGRectGetMidX(r), CGRectGetMidY(r)));
                    }
                    return o->isFirstResponder() || o->becomeFirstResponder();
                };
                b.lines.front() = mark(std::move(e)) + " " + b.lines.front();
            }
        } else if (lines.empty()) {
            return;
        }
        out.push_back(std::move(b));
    }

    // ---- bars ----------------------------------------------------------------------------------

    std::string barItem(UIBarButtonItem* item, UIView* bar, CGRect clip, bool touchable) {
        if (item->isSpace()) return std::string();
        if (liesOutside(item->itemView().get(), bar, clip)) return std::string();
        if (auto custom = item->customView()) return inlineText(custom, clip, touchable);
        std::string title = oneLine(utf8(item->displayTitle()));
        // An item whose picture its maker named goes by that name, even before the picture is
        // there.
        if (title.empty()) title = oneLine(utf8(item->accessibilityLabel()));
        // A pictured item without a name of its own goes by what its picture stands for; one
        // that shows its state (a filled star) prints starred.
        std::string shown = title;
        bool named = item->accessibilityLabel() && item->accessibilityLabel()->length() > 0;
        if (!item->title() && !named && item->image() && !item->isSystemItem()) {
            auto picture = spokenPicture(title);
            title = picture.name;
            shown = picture.on ? "*" + title + "*" : title;
        }
        if (!touchable || !item->isEnabled()) {
            return "(" + shown + ")" + (item->isEnabled() ? "" : " [disabled]");
        }
        ShellElement e;
        e.kind = ShellElement::BarButton;
        e.label = title;
        e.view = static_cast<UIView*>(bar);
        bool placed = false;
        if (auto shown = item->itemView(); shown && shown->isDescendantOfView(bar)) {
            e.part = partShownBy(shown.get());
            placed = true;
        }
        Weak<UIBarButtonItem> target(item);
        Weak<UIView> on(bar);
        // An item the bar has since let go (its screen pushed over or popped) is no longer there
        // to press.
        e.same = [target, on, placed] {
            auto o = target.lock();
            auto b = on.lock();
            auto shown = o ? o->itemView() : nullptr;
            return o && (!placed || (b && shown && shown->isDescendantOfView(b.get())));
        };
        e.tap = [target, same = e.same] {
            auto o = target.lock();
            return o && same() && o->sendAction();
        };
        return mark(std::move(e)) + " (" + shown + ")";
    }

    std::string barItems(NSArray* items, UIView* bar, CGRect clip, bool touchable) {
        std::string text;
        for (NSUInteger i = 0; items && i < items->count(); ++i) {
            auto item = as<UIBarButtonItem>(items->objectAtIndex(i));
            if (!item) continue;
            std::string s = barItem(item, bar, clip, touchable);
            if (s.empty()) continue;
            if (!text.empty()) text += "  ";
            text += s;
        }
        return text;
    }

    // Whether the view that shows a bar's item has its middle outside the screen (a bar wider
    // than the screen): a person can neither see nor touch it there.
    static bool liesOutside(UIView* shown, UIView* bar, CGRect clip) {
        if (!shown || !shown->isDescendantOfView(bar)) return false;
        CGRect rect = inWindow(shown);
        return !CGRectContainsPoint(clip, CGPointMake(CGRectGetMidX(rect), CGRectGetMidY(rect)));
    }

    void navigationBar(UINavigationBar* bar, CGRect clip, bool touchable, std::vector<Block>& out) {
        auto top = bar->topItem();
        if (!top) return;
        Block b;
        b.rect = inWindow(bar);
        b.joinable = false;
        if (auto prompt = top->prompt(); prompt && prompt->length() > 0) {
            b.lines.push_back(oneLine(utf8(prompt)));
        }
        std::vector<std::string> items;
        if (auto back = bar->backButtonTitle();
            back && !liesOutside(bar->backButtonView().get(), bar, clip)) {
            std::string title = oneLine(utf8(back));
            if (touchable) {
                ShellElement e;
                e.kind = ShellElement::BackButton;
                e.label = title;
                e.view = static_cast<UIView*>(bar);
                if (auto shown = bar->backButtonView(); shown && shown->isDescendantOfView(bar))
                    e.part = partShownBy(shown.get());
                Weak<UINavigationBar> target(bar);
                // The back button of the screen printed: a pop takes it away.
                e.same = [target, back = Weak<UINavigationItem>(bar->backItem().get())] {
                    auto o = target.lock();
                    auto item = back.lock();
                    return o && item && o->backItem() == item && o->backButtonTitle();
                };
                e.tap = [target] {
                    auto o = target.lock();
                    if (!o) return false;
                    auto delegate = o->delegate();
                    if (auto nav = dynamic_cast<UINavigationController*>(delegate.get()))
                        return nav->goBack();
                    return o->tapBackButton();
                };
                items.push_back(mark(std::move(e)) + " < " + title);
            } else {
                items.push_back("< " + title);
            }
        }
        if (auto left = barItems(bar->displayedLeftItems(), bar, clip, touchable); !left.empty())
            items.push_back(left);
        std::string title;
        if (auto tv = top->titleView()) {
            title = inlineText(tv, clip, touchable);
        } else {
            title = "| " + oneLine(utf8(bar->displayedTitle())) + " |";
        }
        items.push_back(title);
        if (auto right = barItems(bar->displayedRightItems(), bar, clip, touchable); !right.empty())
            items.push_back(right);
        std::string line;
        for (auto& p : items) {
            if (!line.empty()) line += "   ";
            line += p;
        }
        b.lines.push_back(line);
        out.push_back(std::move(b));
    }

    void toolbar(UIToolbar* bar, CGRect clip, bool touchable, std::vector<Block>& out) {
        std::string text = barItems(bar->items(), bar, clip, touchable);
        if (text.empty()) return;
        Block b = leaf(bar, text);
        b.joinable = false;
        out.push_back(std::move(b));
    }

    void tabBar(UITabBar* bar, bool touchable, std::vector<Block>& out) {
        auto items = bar->items();
        if (!items || items->count() == 0) return;
        auto delegate = bar->delegate();
        Weak<UITabBarController> owner(dynamic_cast<UITabBarController*>(delegate.get()));
        std::string line = "Tabs:";
        for (NSUInteger i = 0; i < items->count(); ++i) {
            auto item = as<UITabBarItem>(items->objectAtIndex(i));
            if (!item) continue;
            std::string title = oneLine(utf8(item->displayTitle()));
            std::string shown = item.get() == bar->selectedItem().get() ? "*" + title + "*" : title;
            if (auto badge = item->badgeValue(); badge && badge->length() > 0)
                shown += " (" + oneLine(utf8(badge)) + ")";
            if (touchable && item->isEnabled()) {
                ShellElement e;
                e.kind = ShellElement::Tab;
                e.label = title;
                e.view = static_cast<UIView*>(bar);
                Weak<UITabBar> target(bar);
                Weak<UITabBarItem> tab(item);
                e.part = [target, i] {
                    auto o = target.lock();
                    return o ? o->convertRect(o->frameForItemAtIndex(i), nullptr) : CGRectNull;
                };
                e.tap = [owner, target, tab, i] {
                    if (auto o = owner.lock()) return o->userSelectTabAtIndex(i);
                    auto b = target.lock();
                    auto t = tab.lock();
                    if (b && t) b->userSelectItem(t);
                    return b && t;
                };
                shown = mark(std::move(e)) + " " + shown;
            }
            line += i == 0 ? " " : " | ";
            line += shown;
        }
        Block b = leaf(bar, line);
        b.joinable = false;
        out.push_back(std::move(b));
    }

    // ---- tables --------------------------------------------------------------------------------

    void tableView(UITableView* table, CGRect viewport, bool touchable, std::vector<Block>& out) {
        std::vector<Block> contents;
        auto paths = table->indexPathsForVisibleRows();
        // The views of the table's own (table header and footer, section headers and footers)
        // print where they are; titles the table shows for sections print as such, and the
        // cells print as rows.
        NSInteger sections = table->numberOfSections();
        std::vector<std::string> headers, footers;
        for (NSInteger s = 0; s < sections; ++s) {
            headers.push_back(utf8(table->titleForHeaderInSection(s)));
            footers.push_back(utf8(table->titleForFooterInSection(s)));
        }
        for (auto& sub : std::vector<Ref<UIView>>(table->subviewList())) {
            if (is<UITableViewCell>(sub) || is<UITableViewIndex>(sub)) continue;
            auto label = as<UILabel>(sub);
            std::string text = label ? utf8(label->text()) : std::string();
            bool header = !text.empty() && std::count(headers.begin(), headers.end(), text) > 0;
            bool footer = !text.empty() && std::count(footers.begin(), footers.end(), text) > 0;
            if ((header || footer) && !sub->isHidden() && meets(inWindow(sub), viewport)) {
                Block b = leaf(
                    sub, header ? "-- " + oneLine(text) + " --" : "   (" + oneLine(text) + ")");
                b.joinable = false;
                contents.push_back(std::move(b));
                continue;
            }
            walk(sub, viewport, touchable, contents);
        }
        // Rows that lie under other views (a pinned header, a banner over the list's end) are
        // left out, and count among the rows out of view.
        std::vector<std::pair<NSInteger, NSInteger>> underOthers;
        for (NSUInteger i = 0; i < paths->count(); ++i) {
            auto path = cast<NSIndexPath>(paths->objectAtIndex(i));
            if (auto cell = table->cellForRowAtIndexPath(path)) {
                if (!cell->isHidden() && meets(inWindow(cell), viewport)) {
                    Block shown = isCoveredWhole(cell.get())
                                      ? Block{}
                                      : row(table, cell, path, viewport, touchable);
                    if (!shown.lines.empty())
                        contents.push_back(std::move(shown));
                    else
                        underOthers.emplace_back(path->section(), path->row());
                }
            }
        }
        Block b;
        b.rect = inWindow(table);
        // A table under see-through bars keeps their height as its top inset: it prints below
        // them, where its rows start.
        CGFloat inset = std::clamp<CGFloat>(table->contentInset().top, 0, b.rect.size.height);
        b.rect.origin.y += inset;
        b.rect.size.height -= inset;
        b.joinable = false;
        // Rows out of view, so the person knows to scroll.
        NSInteger above = 0, below = 0, total = 0;
        NSInteger firstShown = -1, lastShown = -1;
        for (NSInteger s = 0; s < sections; ++s) {
            NSInteger rows = table->numberOfRowsInSection(s);
            for (NSInteger r = 0; r < rows; ++r, ++total) {
                if (std::find(underOthers.begin(), underOthers.end(), std::make_pair(s, r)) !=
                    underOthers.end())
                    continue;
                for (NSUInteger i = 0; i < paths->count(); ++i) {
                    auto p = cast<NSIndexPath>(paths->objectAtIndex(i));
                    if (p->section() == s && p->row() == r) {
                        if (firstShown < 0) firstShown = total;
                        lastShown = total;
                    }
                }
            }
        }
        if (firstShown >= 0) {
            above = firstShown;
            below = total - lastShown - 1;
        }
        if (above > 0) b.lines.push_back("(" + rowCount(above) + " above)");
        for (auto& l : arrange(std::move(contents), labelBeside()))
            b.lines.push_back(l);
        if (below > 0) b.lines.push_back("(" + rowCount(below) + " below)");
        if (auto titles = table->sectionIndexTitles(); titles && titles->count() > 0)
            b.lines.push_back(sectionIndex(table, titles, touchable));
        if (!b.lines.empty()) out.push_back(std::move(b));
    }

    static std::string rowCount(NSInteger n) {
        return std::to_string(n) + (n == 1 ? " more row" : " more rows");
    }

    Block row(UITableView* table, UITableViewCell* cell, NSIndexPath* path, CGRect viewport,
              bool touchable) {
        Block b = leaf(cell, std::string());
        b.joinable = false;
        Weak<UITableView> t(table);
        Ref<NSIndexPath> p(path);
        std::string text;
        // What the standard labels show, then any views the app put in the content view.
        std::string main = oneLine(utf8(cell->textLabel()->text()));
        std::string detail;
        if (cell->style() != UITableViewCellStyleDefault)
            detail = oneLine(utf8(cell->detailTextLabel()->text()));
        std::vector<Block> custom;
        size_t leftUnder = leftUnder_;
        for (auto& sub : std::vector<Ref<UIView>>(cell->contentView()->subviewList())) {
            if (sub.get() == cell->textLabel().get()) continue;
            if (cell->style() != UITableViewCellStyleDefault &&
                sub.get() == cell->detailTextLabel().get())
                continue;
            if (sub.get() == cell->imageView().get()) continue;
            walk(sub, viewport, touchable, custom);
        }
        std::string label = main;
        text = main;
        if (!detail.empty()) text += text.empty() ? detail : " - " + detail;
        unwrap(custom);
        for (auto& l : arrange(std::move(custom), labelBeside())) {
            // A row that shows only controls (a settings row's segments) has no words of its
            // own to go by.
            bool controls = !l.empty() && l.front() == kMarkOpen;
            if (label.empty()) label = controls ? "row" : l;
            if (!text.empty()) text += "  ";
            if (text.empty() && controls) text = "(row)  ";
            text += l;
        }
        if (text.empty() && leftUnder_ > leftUnder) {
            // Only the edge of the row shows; what it says lies under other views.
            b.lines.clear();
            return b;
        }
        if (text.empty()) {
            label = "blank row";
            text = "(blank row)";
        }
        if (cell->isSelected()) text = "*" + text + "*";

        std::string prefix;
        if (table->isEditing() && !cell->showingDeleteConfirmation() && cell->isEditing()) {
            auto style = cell->editingStyle();
            if (style != UITableViewCellEditingStyleNone) {
                std::string control = style == UITableViewCellEditingStyleInsert ? "(+)" : "(-)";
                if (touchable) {
                    ShellElement e;
                    e.kind = ShellElement::Control;
                    e.label = control;
                    e.view = static_cast<UIView*>(cell);
                    e.part =
                        partOf(cell, [](UITableViewCell* o) { return o->editingControlRect(); });
                    e.tap = [t, p] {
                        auto o = t.lock();
                        return o && o->tapEditingControlForRowAtIndexPath(p);
                    };
                    control = mark(std::move(e)) + " " + control;
                }
                prefix = control + " ";
            }
        }
        if (touchable) {
            ShellElement e;
            e.kind = ShellElement::Row;
            e.label = label;
            e.view = static_cast<UIView*>(cell);
            e.table = t;
            e.indexPath = p;
            e.tap = [t, p] {
                auto o = t.lock();
                return o && o->tapRowAtIndexPath(p);
            };
            text = mark(std::move(e)) + " " + text;
        }
        text = prefix + text;

        if (auto accessory =
                cell->isEditing() ? cell->editingAccessoryView() : cell->accessoryView()) {
            std::string s = inlineText(accessory, viewport, touchable);
            if (!s.empty()) text += "  " + s;
        } else {
            switch (cell->currentAccessoryType()) {
                case UITableViewCellAccessoryDisclosureIndicator:
                    text += " >";
                    break;
                case UITableViewCellAccessoryCheckmark:
                    text += " (checked)";
                    break;
                case UITableViewCellAccessoryDetailDisclosureButton:
                    if (touchable) {
                        ShellElement e;
                        e.kind = ShellElement::AccessoryButton;
                        e.label = "(i)";
                        e.view = static_cast<UIView*>(cell);
                        e.part = partOf(
                            cell, [](UITableViewCell* o) { return o->accessoryButtonRect(); });
                        e.table = t;
                        e.indexPath = p;
                        e.tap = [t, p] {
                            auto o = t.lock();
                            return o && o->tapAccessoryButtonForRowWithIndexPath(p);
                        };
                        text += " " + mark(std::move(e)) + " (i)";
                    } else {
                        text += " (i)";
                    }
                    break;
                default:
                    break;
            }
        }
        if (cell->showingDeleteConfirmation()) {
            std::string title = oneLine(utf8(cell->deleteConfirmationTitle()));
            if (title.empty()) title = "Delete";
            std::string shown = "(" + title + ")";
            if (touchable) {
                // The button alone is the element: the row's words lie on the cell, not on it,
                // and it is gone with the row it deleted.
                ShellElement e;
                e.kind = ShellElement::Button;
                e.label = title;
                auto button = cell->deleteConfirmationButton();
                e.view = button ? static_cast<UIView*>(button.get()) : static_cast<UIView*>(cell);
                e.tap = [t] {
                    auto o = t.lock();
                    return o && o->confirmDeleteConfirmation();
                };
                shown = mark(std::move(e)) + " " + shown;
            }
            text += "   " + shown;
        }
        b.lines.front() = text;
        return b;
    }

    std::string sectionIndex(UITableView* table, NSArray* titles, bool touchable) {
        std::string line = "Index:";
        Weak<UITableView> t(table);
        for (NSUInteger i = 0; i < titles->count(); ++i) {
            std::string title = oneLine(utf8(as<NSString>(titles->objectAtIndex(i))));
            if (touchable) {
                ShellElement e;
                e.kind = ShellElement::Control;
                e.label = title;
                e.view = static_cast<UIView*>(table);
                NSInteger index = static_cast<NSInteger>(i);
                e.part = partOf(table, [index](UITableView* o) {
                    return o->rectForSectionIndexAtIndex(index);
                });
                e.tap = [t, index] {
                    auto o = t.lock();
                    return o && o->tapSectionIndexAtIndex(index);
                };
                line += " " + mark(std::move(e));
            }
            line += " " + title;
        }
        return line;
    }

    // ---- pickers, web pages, alerts
    // --------------------------------------------------------------

    void pickerView(UIPickerView* picker, bool touchable, std::vector<Block>& out) {
        Block b;
        b.rect = inWindow(picker);
        b.joinable = false;
        Weak<UIPickerView> target(picker);
        NSInteger components = picker->numberOfComponents();
        for (NSInteger c = 0; c < components; ++c) {
            std::string line = components > 1 ? "Picker " + std::to_string(c + 1) + ":" : "Picker:";
            NSInteger rows = picker->numberOfRowsInComponent(c);
            for (NSInteger r = 0; r < rows; ++r) {
                std::string title = oneLine(utf8(picker->titleForRow(r, c)));
                if (title.empty()) {
                    if (auto v = picker->viewForRow(r, c))
                        title = inlineText(v, v->bounds(), false);
                }
                if (title.empty()) title = "?";
                if (picker->selectedRowInComponent(c) == r) title = "*" + title + "*";
                if (touchable) {
                    ShellElement e;
                    e.kind = ShellElement::PickerRow;
                    e.label =
                        trim(title.front() == '*' ? title.substr(1, title.size() - 2) : title);
                    e.view = static_cast<UIView*>(picker);
                    e.part =
                        partOf(picker, [r, c](UIPickerView* o) { return o->rectForRow(r, c); });
                    e.tap = [target, r, c] {
                        auto o = target.lock();
                        if (o) o->userSelectRow(r, c);
                        return o != nullptr;
                    };
                    title = mark(std::move(e)) + " " + title;
                }
                line += r == 0 ? " " : " | ";
                line += title;
            }
            b.lines.push_back(line);
        }
        if (!b.lines.empty()) out.push_back(std::move(b));
    }

    void webView(UIWebView* web, bool touchable, std::vector<Block>& out) {
        Block b;
        b.rect = inWindow(web);
        b.joinable = false;
        std::string text = pageText(web);
        NSUInteger count = web->clickableElementCount();
        // The page numbers its elements from 1; on screen they take the shell's numbers.
        std::string renumbered;
        size_t from = 0;
        Weak<UIWebView> target(web);
        std::string address = pageAddress(web);
        for (NSUInteger k = 1; k <= count; ++k) {
            std::string token = "[" + std::to_string(k) + "]";
            size_t at = text.find(token, from);
            if (at == std::string::npos) break;
            renumbered += text.substr(from, at - from);
            from = at + token.size();
            if (!touchable) continue;
            size_t end = text.find('\n', from);
            std::string after =
                trim(text.substr(from, end == std::string::npos ? end : end - from));
            ShellElement e;
            e.kind = ShellElement::WebElement;
            e.view = static_cast<UIView*>(web);
            e.webView = static_cast<UIWebView*>(web);
            e.webIndex = k;
            e.part = partOf(web, [k](UIWebView* o) { return o->rectForElementAtIndex(k); });
            e.takesText = after.rfind("[text:", 0) == 0 || after.rfind("[password]", 0) == 0 ||
                          after.rfind("[select:", 0) == 0;
            // The page does not say where the element's text ends: up to the next element or
            // field, without the punctuation that follows a link.
            size_t next = after.find(" [");
            e.label = trim(next == std::string::npos ? after : after.substr(0, next));
            while (!e.label.empty() && std::strchr(" .,;:!?", e.label.back()))
                e.label.pop_back();
            e.tap = [target, k] {
                auto o = target.lock();
                return o && o->clickElementAtIndex(k);
            };
            // Another page, or this one changed in place, may number another element k: this one
            // is gone.
            e.same = [target, k, after, address] {
                auto o = target.lock();
                return o && pageAddress(o.get()) == address && k <= o->clickableElementCount() &&
                       textAfterElement(pageText(o.get()), k) == after;
            };
            renumbered += mark(std::move(e));
        }
        renumbered += text.substr(from);
        size_t start = 0;
        while (start <= renumbered.size()) {
            size_t end = renumbered.find('\n', start);
            std::string line = renumbered.substr(
                start, end == std::string::npos ? std::string::npos : end - start);
            b.lines.push_back(line);
            if (end == std::string::npos) break;
            start = end + 1;
        }
        while (!b.lines.empty() && trim(b.lines.back()).empty())
            b.lines.pop_back();
        while (!b.lines.empty() && trim(b.lines.front()).empty())
            b.lines.erase(b.lines.begin());
        if (web->isLoading()) b.lines.push_back("(loading)");
        if (!b.lines.empty()) out.push_back(std::move(b));
    }

    void panelLines(UIButtonPanelView* panel, bool front, std::vector<std::string>& lines) {
        bool sheet = is<UIActionSheet>(panel);
        std::string title = oneLine(utf8(panel->title()));
        std::string head = sheet ? "== Action sheet" : "== Alert";
        lines.push_back(head + (title.empty() ? "" : ": " + title) + " ==");
        if (auto alert = as<UIAlertView>(panel)) {
            if (auto m = alert->message(); m && m->length() > 0) {
                std::string message = utf8(m);
                size_t start = 0;
                for (;;) {
                    size_t end = message.find('\n', start);
                    size_t length = end == std::string::npos ? end : end - start;
                    lines.push_back("   " + oneLine(message.substr(start, length)));
                    if (end == std::string::npos) break;
                    start = end + 1;
                }
            }
        }
        std::string buttons;
        Weak<UIButtonPanelView> target(panel);
        for (NSInteger i = 0; i < panel->numberOfButtons(); ++i) {
            std::string t = oneLine(utf8(panel->buttonTitleAtIndex(i)));
            std::string shown = "(" + t + ")";
            // Only the panel in front takes touches.
            if (front) {
                ShellElement e;
                e.kind = ShellElement::PanelButton;
                e.label = t;
                e.view = static_cast<UIView*>(panel);
                for (auto& sub : panel->subviewList())
                    if (is<UIButton>(sub) && sub->tag() == i) e.part = partShownBy(sub.get());
                e.tap = [target, i] {
                    auto o = target.lock();
                    return o && o->clickButtonAtIndex(i);
                };
                shown = mark(std::move(e)) + " " + shown;
            }
            if (!buttons.empty()) buttons += "   ";
            buttons += shown;
        }
        if (!buttons.empty()) lines.push_back("   " + buttons);
    }
};

namespace {

// A window a person sees: not hidden, not faded out, and on the screen.
bool showsOnScreen(UIWindow* window) {
    if (!window || window->isHidden() || window->alpha() < 0.01f) return false;
    CGRect seen = CGRectIntersection(window->frame(), UIScreen::mainScreen()->bounds());
    return !CGRectIsNull(seen) && seen.size.width > 0 && seen.size.height > 0;
}

}  // namespace

ShellScreen ShellScreen::capture() {
    auto app = UIApplication::sharedApplication();
    // The home screen is in front: nothing of the app shows or takes touches.
    if (app->applicationState() == UIApplicationStateBackground) {
        ShellScreen screen;
        screen.text_ = std::string(kRule) + "(" + std::string(kInBackground) + ")\n" + kRule;
        return screen;
    }
    auto key = app->keyWindow();
    if (showsOnScreen(key.get())) return captureWindow(key.get());
    // The key window is leaving (a full-screen ad fading and sliding away while its animation
    // runs): the screen is what lies under it, the frontmost window still showing.
    Ref<UIWindow> front;
    auto windows = app->windows();
    for (NSUInteger i = 0; windows && i < windows->count(); ++i) {
        auto window = as<UIWindow>(windows->objectAtIndex(i));
        if (!showsOnScreen(window.get())) continue;
        if (!front || window->windowLevel() >= front->windowLevel()) front = window;
    }
    return captureWindow(front ? front.get() : key.get());
}

ShellScreen ShellScreen::captureWindow(UIWindow* window) {
    ShellScreenBuilder builder;
    return builder.build(window);
}

const ShellElement* ShellScreen::elementNumbered(int number) const {
    if (number < 1 || number > static_cast<int>(elements_.size())) return nullptr;
    return &elements_[static_cast<size_t>(number - 1)];
}

const ShellElement* ShellScreen::elementLabelled(std::string_view label) const {
    std::string wanted = trim(std::string(label));
    if (wanted.empty()) return nullptr;
    for (auto& e : elements_) {
        if (e.label == wanted || e.besideLabel == wanted) return &e;
    }
    for (auto& e : elements_) {
        if (std::find(e.wordsOver.begin(), e.wordsOver.end(), wanted) != e.wordsOver.end())
            return &e;
    }
    std::string folded = lower(wanted);
    for (auto& e : elements_) {
        if (lower(e.label) == folded || lower(e.besideLabel) == folded) return &e;
    }
    for (auto& e : elements_) {
        for (auto& w : e.wordsOver)
            if (lower(w) == folded) return &e;
    }
    // A page's text runs on after a link: "help pages" finds "[3] help pages for details".
    for (auto& e : elements_) {
        if (e.kind != ShellElement::WebElement) continue;
        std::string l = lower(e.label);
        if (l.size() > folded.size() && l.compare(0, folded.size(), folded) == 0 &&
            !std::isalnum(static_cast<unsigned char>(l[folded.size()])))
            return &e;
    }
    return nullptr;
}

std::pair<Ref<UIWindow>, CGPoint> ShellScreen::windowUnderFinger(UIWindow* window, CGPoint point) {
    // The windows by level, the later of one level in front, as the screen draws them.
    std::vector<Ref<UIWindow>> shown;
    auto add = [&shown](Ref<UIWindow> w) {
        if (showsOnScreen(w.get()) && std::find(shown.begin(), shown.end(), w) == shown.end())
            shown.push_back(w);
    };
    auto windows = UIApplication::sharedApplication()->windows();
    for (NSUInteger i = 0; windows && i < windows->count(); ++i)
        add(as<UIWindow>(windows->objectAtIndex(i)));
    std::stable_sort(shown.begin(), shown.end(),
                     [](const Ref<UIWindow>& a, const Ref<UIWindow>& b) {
                         return a->windowLevel() < b->windowLevel();
                     });
    auto look = UIEvent::motionEvent(UIEventSubtypeNone);
    for (size_t i = shown.size(); i-- > 0;) {
        if (shown[i].get() == window) break;
        CGPoint there = window->convertPointToWindow(point, shown[i].get());
        if (shown[i]->hitTest(there, look)) return {shown[i], there};
    }
    return {Ref<UIWindow>(window), point};
}

CGRect ShellScreen::clearOfKeyboard(UIWindow* window, CGRect r) {
    return ::clearOfKeyboard(window, r);
}

bool ShellScreen::landsIn(UIView* view, CGPoint point) {
    auto window = view ? view->window() : nullptr;
    if (!window) return false;
    auto [front, there] = windowUnderFinger(window.get(), point);
    if (front != window) return false;
    // A look at what lies there, not a touch: views that act on a touch's hit test (a banner
    // counts the touches that reach it) must not take the look for one.
    auto hit = window->hitTest(there, UIEvent::motionEvent(UIEventSubtypeNone));
    return hit && (hit == view || hit->isDescendantOfView(view) || view->isDescendantOfView(hit));
}

namespace {

// Where a finger reaches an element (see ShellScreen::reachableArea); with `whole` false only
// whether it does (a rectangle of no size at the middle).
CGRect aimAt(const ShellElement& element, bool whole) {
    auto view = element.view.lock();
    auto window = view ? view->window() : nullptr;
    if (!window) return CGRectNull;
    // Whether it is reached at all goes by what shows of its view, where a finger lands by its
    // part: finding a part can take long (a page's link), too long for every element printed.
    // A picker's row is found at once, and one off its wheel is out of a finger's reach.
    CGRect area = shownRect(view);
    if (element.part && (whole || element.kind == ShellElement::PickerRow))
        area = CGRectIntersection(element.part(), area);
    // An alert's or sheet's buttons are on top of everything.
    if (element.kind == ShellElement::PanelButton) return area;
    if (view->isLeavingScreen() || CGRectIsNull(area) || CGRectIsEmpty(area)) return CGRectNull;
    area = clearOfKeyboard(window.get(), area);
    if (CGRectIsNull(area)) return CGRectNull;
    CGPoint middle = CGPointMake(CGRectGetMidX(area), CGRectGetMidY(area));
    if (!ShellScreen::landsIn(view.get(), middle)) return CGRectNull;
    if (!whole) return CGRectMake(middle.x, middle.y, 0, 0);
    // How far from the middle touches still land in it, each way along a line, in steps that
    // keep the looks few.
    auto reach = [&](CGFloat from, CGFloat low, CGFloat high, auto pointAt) {
        CGFloat step = std::max<CGFloat>(1, (high - low) / 64);
        CGFloat first = from, last = from;
        for (CGFloat at = from - step; at > low && ShellScreen::landsIn(view.get(), pointAt(at));
             at -= step)
            first = at;
        for (CGFloat at = from + step; at < high && ShellScreen::landsIn(view.get(), pointAt(at));
             at += step)
            last = at;
        return std::make_pair(first, last);
    };
    auto [top, bottom] = reach(middle.y, CGRectGetMinY(area), CGRectGetMaxY(area),
                               [&](CGFloat y) { return CGPointMake(middle.x, y); });
    CGFloat y = (top + bottom) / 2;
    auto [left, right] = reach(middle.x, CGRectGetMinX(area), CGRectGetMaxX(area),
                               [&](CGFloat x) { return CGPointMake(x, y); });
    return CGRectMake(left, top, right - left, bottom - top);
}

}  // namespace

bool ShellScreen::isReachable(const ShellElement& element) {
    if (element.kind == ShellElement::PanelButton) return true;
    return !CGRectIsNull(aimAt(element, false));
}

CGRect ShellScreen::reachableArea(const ShellElement& element) {
    return aimAt(element, true);
}

bool ShellScreen::isReachable(UIView* view) {
    ShellElement element;
    element.view = view;
    if (isReachable(element)) return true;
    // Covered is covered all over: a view over its middle (a banner) leaves the rest of a list or
    // a bar to a finger. Looks at points spread over what shows of it, clear of the keyboard.
    auto window = view ? view->window() : nullptr;
    if (!window || view->isLeavingScreen()) return false;
    CGRect area = clearOfKeyboard(window.get(), shownRect(view));
    if (CGRectIsNull(area) || CGRectIsEmpty(area)) return false;
    constexpr int kAcross = 8;
    for (int i = 0; i < kAcross; ++i)
        for (int j = 0; j < kAcross; ++j) {
            CGPoint p = CGPointMake(area.origin.x + area.size.width * (i + 0.5f) / kAcross,
                                    area.origin.y + area.size.height * (j + 0.5f) / kAcross);
            if (landsIn(view, p)) return true;
        }
    return false;
}

bool ShellScreen::isStillShown(const ShellElement& element) {
    auto view = element.view.lock();
    if (!view || !view->window()) return false;
    if (auto panel = as<UIButtonPanelView>(view)) return panel->isVisible();
    return true;
}

bool ShellScreen::isRowDelete(const ShellElement& element) {
    auto view = element.view.lock();
    auto cell = view ? as<UITableViewCell>(view->superview()) : nullptr;
    return cell && cell->showingDeleteConfirmation() &&
           cell->deleteConfirmationButton().get() == view.get();
}

bool ShellScreen::isStillThere(const ShellElement& element) {
    if (!isStillShown(element)) return false;
    auto view = element.view.lock();
    if (view->isLeavingScreen()) return false;
    for (auto v = view; v; v = v->superview())
        if (v->isHidden() || v->alpha() < 0.01f) return false;
    return !element.same || element.same();
}
