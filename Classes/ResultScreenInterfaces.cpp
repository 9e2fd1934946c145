#include "Classes/ResultScreenInterfaces.h"

#include "Classes/FavoriteViewController.h"
#include "Classes/ItemListViewController.h"
#include "Classes/ItemTableViewCell.h"
#include "Classes/ItemViewController.h"
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
#include "UIKit/UIToolbar.h"
#include "UIKit/UIWebView.h"

namespace {

// A screen pushed over the tab bar: 480 less the status and navigation bars.
constexpr CGFloat kPushedHeight = 416;
// A tab's screen: 480 less the status bar and the tab bar.
constexpr CGFloat kTabHeight = 411;
constexpr CGFloat kBannerHeight = 50;
constexpr CGFloat kRowHeight = 88;

Ref<UIView> screenView(CGFloat height) {
    auto view = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 320, height));
    view->setBackgroundColor(UIColor::whiteColor());
    view->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    return view;
}

Ref<UIView> bannerHolder(UIView* parent, CGFloat y) {
    auto holder = make<UIView>(&UIView::initWithFrame, CGRectMake(0, y, 320, kBannerHeight));
    holder->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                UIViewAutoresizingFlexibleTopMargin);
    parent->addSubview(holder);
    return holder;
}

Ref<UITableView> resultTable(UIView* parent, CGRect frame, ItemListViewController* owner) {
    auto table = alloc<UITableView>();
    table->initWithFrame(frame, UITableViewStylePlain);
    table->setRowHeight(kRowHeight);
    table->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    table->setDataSource(owner);
    table->setDelegate(owner);
    parent->addSubview(table);
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
        screen->setMyTableView(
            resultTable(view, CGRectMake(0, 0, 320, kPushedHeight - kBannerHeight), screen));
        screen->setAdsHolder(bannerHolder(view, kPushedHeight - kBannerHeight));
        screen->navigationItem()->setRightBarButtonItem(make<UIBarButtonItem>(
            &UIBarButtonItem::initWithTitle, NS("Save"), UIBarButtonItemStyleBordered, screen.get(),
            Selector::named("saveAction")));
        screen->setView(view);
    }
    return NSArray::arrayWithObject(view);
}

Ref<NSArray> buildFavorites(NSObject* owner, NSDictionary*) {
    auto screen = as<FavoriteViewController>(owner);
    auto view = screenView(kTabHeight);
    if (screen) {
        auto bar =
            make<UINavigationBar>(&UINavigationBar::initWithFrame, CGRectMake(0, 0, 320, 44));
        bar->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
        view->addSubview(bar);
        auto item = screen->navigationItem();
        item->setTitle(NS("Favorite"));
        auto edit = make<UIBarButtonItem>(&UIBarButtonItem::initWithTitle, NS("Edit"),
                                          UIBarButtonItemStyleBordered, screen.get(),
                                          Selector::named("editButtonPressed:"));
        item->setRightBarButtonItem(edit);
        bar->setItems(NSArray::arrayWithObject(item));
        screen->setNavigationBar(bar);
        screen->setEditButton(edit);
        screen->setMyTableView(
            resultTable(view, CGRectMake(0, 44, 320, kTabHeight - 44 - kBannerHeight), screen));
        screen->setAdsHolder(bannerHolder(view, kTabHeight - kBannerHeight));
        screen->setView(view);
    }
    return NSArray::arrayWithObject(view);
}

Ref<NSArray> buildItemScreen(NSObject* owner, NSDictionary*) {
    auto screen = as<ItemViewController>(owner);
    auto view = screenView(kPushedHeight);
    if (screen) {
        constexpr CGFloat toolbarHeight = 44;
        CGFloat webHeight = kPushedHeight - toolbarHeight - kBannerHeight;
        auto web = make<UIWebView>(&UIWebView::initWithFrame, CGRectMake(0, 0, 320, webHeight));
        web->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                 UIViewAutoresizingFlexibleHeight);
        view->addSubview(web);
        screen->setWebView(web);
        screen->setAdsHolder(bannerHolder(view, webHeight));
        auto toolbar =
            make<UIToolbar>(&UIToolbar::initWithFrame,
                            CGRectMake(0, kPushedHeight - toolbarHeight, 320, toolbarHeight));
        toolbar->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                     UIViewAutoresizingFlexibleTopMargin);
        auto button = [&](const char* image, const char* action) {
            return make<UIBarButtonItem>(&UIBarButtonItem::initWithImage,
                                         UIImage::imageNamed(NSString::fromUTF8(image)).get(),
                                         UIBarButtonItemStylePlain, screen.get(),
                                         Selector::named(action));
        };
        auto reply = button("toolbar_reply.png", "replyButtonPressed:");
        auto star = button("staroff32.png", "starButtonPressed:");
        auto web2 = button("toolbar_web.png", "webButtonPressed:");
        auto share = button("toolbar_share.png", "shareButtonPressed:");
        auto space = [&] {
            return make<UIBarButtonItem>(&UIBarButtonItem::initWithBarButtonSystemItem,
                                         UIBarButtonSystemItemFlexibleSpace, nullptr, nullptr);
        };
        toolbar->setItems(
            NSArray::arrayWithObjects({reply.get(), space().get(), star.get(), space().get(),
                                       web2.get(), space().get(), share.get()}));
        view->addSubview(toolbar);
        screen->setReplyButton(reply);
        screen->setStarButton(star);
        screen->setWebButton(web2);
        screen->setShareButton(share);
        screen->setView(view);
    }
    return NSArray::arrayWithObject(view);
}

Ref<NSArray> buildCell(NSObject*, NSDictionary*) {
    auto cell = alloc<ItemTableViewCell>();
    cell->initWithStyle(UITableViewCellStyleDefault, NS("ItemTableViewCell"));
    cell->setFrame(CGRectMake(0, 0, 320, kRowHeight));
    auto content = cell->contentView();
    auto grey = UIColor::colorWithRed(0.4f, 0.4f, 0.4f, 1);
    auto price = make<UIImageView>(&UIImageView::initWithFrame, CGRectMake(262, 4, 58, 22));
    price->setImage(UIImage::imageNamed(NS("pricetag.png")));
    // The tag reaches the row's right edge, over the accessory's room.
    content->addSubview(price);
    cell->setPriceImageView(price);
    cell->setPriceLabel(label(content, CGRectMake(220, 4, 92, 22),
                              UIFont::fontWithName(NS("MarkerFelt-Thin"), 14),
                              UIColor::whiteColor(), UITextAlignmentRight));
    cell->setTitleLabel(label(content, CGRectMake(6, 4, 308, 22), UIFont::boldSystemFontOfSize(15),
                              UIColor::blackColor()));
    cell->setDetailLabel(
        label(content, CGRectMake(6, 28, 286, 18), UIFont::systemFontOfSize(13), grey));
    cell->setTimeLabel(label(content, CGRectMake(192, 48, 100, 16), UIFont::systemFontOfSize(12),
                             grey, UITextAlignmentRight));
    cell->setLocationLabel(label(
        content, CGRectMake(126, 64, 166, 16), UIFont::systemFontOfSize(12),
        UIColor::colorWithRed(100 / 255.0f, 122 / 255.0f, 147 / 255.0f, 1), UITextAlignmentRight));
    return NSArray::arrayWithObject(cell);
}

}  // namespace

void registerResultScreenInterfaces() {
    registerInterface(NS("ItemListViewController"), buildItemList);
    registerInterface(NS("FavoriteViewController"), buildFavorites);
    registerInterface(NS("ItemViewController"), buildItemScreen);
    registerInterface(NS("ItemTableViewCell"), buildCell);
}
