#include "Classes/ResultScreenInterfaces.h"

#include "Classes/FavoriteViewController.h"
#include "Classes/Interfaces/InterfaceKit.h"
#include "Classes/ItemListViewController.h"
#include "Classes/ItemTableViewCell.h"
#include "Classes/ItemViewController.h"
#include "Classes/ScreenSupport.h"
#include "Foundation/NSArray.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UILabel.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UINib.h"
#include "UIKit/UIWebView.h"

namespace {

// A screen pushed over the tab bar: 480 less the status and navigation bars.
constexpr CGFloat kPushedHeight = 416;
// A tab's screen: 480 less the status bar and the tab bar.
constexpr CGFloat kTabHeight = 411;
constexpr CGFloat kBannerHeight = 50;
constexpr CGFloat kRowHeight = 88;

Ref<UIView> screenView(CGFloat height) {
    auto view = interface::screenView();
    view->setFrame(CGRectMake(0, 0, interface::kScreenWidth, height));
    return view;
}

// Over the foot of the list, which runs under it: see-through and letting touches through
// until an ad shows.
Ref<UIView> bannerHolder(UIView* parent, CGFloat y, UIScrollView* list) {
    auto holder = make<BannerHolder>(&UIView::initWithFrame,
                                     CGRectMake(0, y, interface::kScreenWidth, kBannerHeight));
    holder->setList(list);
    holder->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                UIViewAutoresizingFlexibleTopMargin);
    parent->addSubview(holder);
    return holder;
}

Ref<UITableView> resultTable(UIView* parent, CGFloat top, CGFloat height,
                             ItemListViewController* owner) {
    auto table = interface::addTable(parent, CGRectMake(0, top, interface::kScreenWidth, height),
                                     UITableViewStylePlain, owner);
    table->setRowHeight(kRowHeight);
    return table;
}

Ref<UILabel> label(UIView* parent, CGRect frame, UIFont* font, UIColor* color,
                   UITextAlignment alignment = UITextAlignmentLeft) {
    auto l = make<UILabel>(&UILabel::initWithFrame, frame);
    l->setFont(font);
    l->setTextColor(color);
    l->setTextAlignment(alignment);
    l->setBackgroundColor(UIColor::clearColor());
    parent->addSubview(l);
    return l;
}

Ref<NSArray> buildItemList(NSObject* owner, NSDictionary*) {
    auto screen = as<ItemListViewController>(owner);
    auto view = screenView(kPushedHeight);
    if (screen) {
        auto table = resultTable(view, 0, kPushedHeight, screen);
        screen->setMyTableView(table);
        screen->setAdsHolder(bannerHolder(view, kPushedHeight - kBannerHeight, table));
        screen->navigationItem()->setRightBarButtonItem(
            interface::barButton(NS("Save"), UIBarButtonItemStyleBordered, screen, "saveAction"));
        screen->setView(view);
    }
    return NSArray::arrayWithObject(view);
}

Ref<NSArray> buildFavorites(NSObject* owner, NSDictionary*) {
    auto screen = as<FavoriteViewController>(owner);
    auto view = screenView(kTabHeight);
    if (screen) {
        auto edit = interface::barButton(NS("Edit"), UIBarButtonItemStyleBordered, screen,
                                         "editButtonPressed:");
        auto bar = interface::addNavigationBar(view, NS("Favorite"), nullptr, edit);
        bar->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
        screen->setNavigationBar(bar);
        screen->setEditButton(edit);
        CGFloat top = interface::kBarHeight;
        auto table = resultTable(view, top, kTabHeight - top, screen);
        screen->setMyTableView(table);
        screen->setAdsHolder(bannerHolder(view, kTabHeight - kBannerHeight, table));
        screen->setView(view);
    }
    return NSArray::arrayWithObject(view);
}

Ref<NSArray> buildItemScreen(NSObject* owner, NSDictionary*) {
    auto screen = as<ItemViewController>(owner);
    auto view = screenView(kPushedHeight);
    if (screen) {
        CGFloat webHeight = kPushedHeight - interface::kBarHeight;
        auto web = make<UIWebView>(&UIWebView::initWithFrame,
                                   CGRectMake(0, 0, interface::kScreenWidth, webHeight));
        web->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                 UIViewAutoresizingFlexibleHeight);
        view->addSubview(web);
        screen->setWebView(web);
        screen->setAdsHolder(bannerHolder(view, webHeight - kBannerHeight, web->scrollView()));
        auto button = [&](const char* image, const char* action) {
            return make<UIBarButtonItem>(&UIBarButtonItem::initWithImage,
                                         UIImage::imageNamed(NSString::fromUTF8(image)).get(),
                                         UIBarButtonItemStylePlain, screen.get(),
                                         Selector::named(action));
        };
        auto reply = button("toolbar_reply.png", "replyButtonPressed:");
        auto star = button("staroff32.png", "starButtonPressed:");
        auto original = button("toolbar_web.png", "webButtonPressed:");
        auto share = button("toolbar_share.png", "shareButtonPressed:");
        auto space = [] {
            return make<UIBarButtonItem>(&UIBarButtonItem::initWithBarButtonSystemItem,
                                         UIBarButtonSystemItemFlexibleSpace, nullptr, nullptr);
        };
        interface::addToolbar(
            view, NSArray::arrayWithObjects({reply.get(), space().get(), star.get(), space().get(),
                                             original.get(), space().get(), share.get()}));
        screen->setReplyButton(reply);
        screen->setStarButton(star);
        screen->setWebButton(original);
        screen->setShareButton(share);
        screen->setView(view);
    }
    return NSArray::arrayWithObject(view);
}

Ref<NSArray> buildCell(NSObject*, NSDictionary*) {
    auto cell = alloc<ItemTableViewCell>();
    cell->initWithStyle(UITableViewCellStyleDefault, NS("ItemTableViewCell"));
    cell->setFrame(CGRectMake(0, 0, 320, kRowHeight));
    // Laid out with its accessory first, so that the views below keep the places given here and
    // only move when the content view does (a row in edit mode).
    cell->setAccessoryType(UITableViewCellAccessoryDisclosureIndicator);
    cell->layoutIfNeeded();
    auto content = cell->contentView();
    auto pinnedRight = [](UIView* v) {
        v->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin);
        return v;
    };
    auto stretched = [](UIView* v) {
        v->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
        return v;
    };
    auto grey = UIColor::colorWithRed(0.4f, 0.4f, 0.4f, 1);
    auto price = make<UIImageView>(&UIImageView::initWithFrame, CGRectMake(262, 4, 58, 22));
    // The tag's point and hole keep their size however wide the price makes it.
    if (auto tag = UIImage::imageNamed(NS("pricetag.png")))
        price->setImage(tag->stretchableImageWithLeftCapWidth(12, 0));
    // The tag reaches the row's right edge, over the accessory's room.
    content->addSubview(price);
    pinnedRight(price);
    cell->setPriceImageView(price);
    auto priceLabel =
        label(content, CGRectMake(225, 4, 92, 22), UIFont::fontWithName(NS("MarkerFelt-Thin"), 14),
              UIColor::whiteColor(), UITextAlignmentRight);
    cell->setPriceLabel(priceLabel);
    pinnedRight(priceLabel);
    auto title = label(content, CGRectMake(6, 4, 308, 22), UIFont::boldSystemFontOfSize(15),
                       UIColor::blackColor());
    cell->setTitleLabel(title);
    stretched(title);
    auto detail = label(content, CGRectMake(6, 28, 286, 18), UIFont::systemFontOfSize(13), grey);
    cell->setDetailLabel(detail);
    stretched(detail);
    auto time = label(content, CGRectMake(192, 48, 100, 16), UIFont::systemFontOfSize(12), grey,
                      UITextAlignmentRight);
    cell->setTimeLabel(time);
    pinnedRight(time);
    auto place = label(content, CGRectMake(126, 64, 166, 16), UIFont::systemFontOfSize(12),
                       UIColor::colorWithRed(100 / 255.0f, 122 / 255.0f, 147 / 255.0f, 1),
                       UITextAlignmentRight);
    cell->setLocationLabel(place);
    pinnedRight(place);
    return NSArray::arrayWithObject(cell);
}

}  // namespace

void registerResultScreenInterfaces() {
    registerInterface(NS("ItemListViewController"), buildItemList);
    registerInterface(NS("FavoriteViewController"), buildFavorites);
    registerInterface(NS("ItemViewController"), buildItemScreen);
    registerInterface(NS("ItemTableViewCell"), buildCell);
}
