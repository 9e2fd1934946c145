#include "tools/catalog/CatalogTables.h"

#include <algorithm>
#include <cmath>

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSIndexPath.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UILabel.h"
#include "UIKit/UISwitch.h"
#include "UIKit/UITextField.h"
#include "UIKit/UIViewController.h"
#include "json/ZJSONDeserializer.h"
#include "tools/catalog/CatalogHosts.h"
#include "ui/core/DZNavigator.h"
#include "ui/core/DZURLMap.h"
#include "ui/core/DZURLRequest.h"
#include "ui/style/DZButton.h"
#include "ui/style/DZStyledText.h"
#include "ui/table/DZTableItem.h"
#include "ui/table/DZTableView.h"
#include "ui/table/DZTableViewController.h"
#include "ui/table/DZTableViewDataSource.h"
#include "ui/table/DZTableViewDragRefreshDelegate.h"
#include "ui/table/DZTextEditor.h"

namespace {

Ref<NSString> itemsURL(int page) {
    return NSString::stringWithFormat(NS("http://%s/items.json?page=%d"),
                                      catalog_hosts::kCatalogServicesHost, page);
}

// The pages of the catalog's items service, appended as they come.
class CatalogItemsModel : public DZURLRequestModel {
    NS_OBJECT(CatalogItemsModel, DZURLRequestModel)

public:
    void load(int32_t policy, bool more) override {
        setIsLoadingMore(more);
        int next = more ? page_ + 1 : 1;
        sendCatalogPageRequest(itemsURL(next).get(), this, policy, next);
    }
    void requestDidFinishLoad(DZURLRequest* request) override {
        auto page = readCatalogPage(request, this);
        if (!page) return;
        if (!isLoadingMore() || !items_) items_ = NSMutableArray::array();
        auto items = as<NSArray>(page->objectForKey(NS("items")));
        if (items) items_->addObjectsFromArray(items.get());
        total_ = as<NSNumber>(page->objectForKey(NS("total")))->intValue();
        page_ = as<NSNumber>(request->userInfo())->intValue();
        setHasNoMore(static_cast<int>(items_->count()) >= total_);
        DZURLRequestModel::requestDidFinishLoad(request);
    }
    Ref<NSArray> items() { return items_; }
    int total() { return total_; }

private:
    Ref<NSMutableArray> items_;
    int page_ = 0;
    int total_ = 0;
};

// Subtitle rows with thumbnails, then a more button while the service has more.
class CatalogItemsSource : public DZListDataSource {
    NS_OBJECT(CatalogItemsSource, DZListDataSource)

public:
    void tableViewDidLoadModel(UITableView*) override {
        auto model = as<CatalogItemsModel>(this->model());
        items()->removeAllObjects();
        auto loaded = model->items();
        for (NSUInteger i = 0; loaded && i < loaded->count(); ++i) {
            auto entry = as<NSDictionary>(loaded->objectAtIndex(i));
            items()->addObject(DZTableSubtitleItem::itemWithTextSubtitleImageURL(
                                   as<NSString>(entry->objectForKey(NS("title"))).get(),
                                   as<NSString>(entry->objectForKey(NS("subtitle"))).get(),
                                   as<NSString>(entry->objectForKey(NS("thumbnail"))).get(),
                                   nullptr)
                                   .get());
        }
        if (!model->hasNoMore()) {
            auto more = DZTableMoreButton::itemWithTextSubtitle(
                NS("Load more"),
                NSString::stringWithFormat(NS("%u of %d"), loaded->count(), model->total()).get());
            items()->addObject(more.get());
        }
    }
    Ref<NSString> titleForEmpty() override { return NS("No items"); }
};

class CatalogPagedController : public DZTableViewController {
    NS_OBJECT(CatalogPagedController, DZTableViewController)

public:
    bool initWithNibName(NSString* nibName, NSBundle* bundle) override {
        if (!DZTableViewController::initWithNibName(nibName, bundle)) return false;
        setTitle(NS("Paged Items"));
        setVariableHeightRows(true);
        return true;
    }
    void createModel() override {
        auto source = make<CatalogItemsSource>();
        source->setModel(make<CatalogItemsModel>().get());
        setDataSource(source.get());
    }
    Ref<DZTableViewDelegate> createDelegate() override {
        return make<DZTableViewDragRefreshDelegate>(
            &DZTableViewDragRefreshDelegate::initWithController, this);
    }
};

// A plain screen that URLs of the other modes open: dark text on white.
class CatalogTablesTarget : public UIViewController {
    NS_OBJECT(CatalogTablesTarget, UIViewController)

public:
    void loadView() override {
        UIViewController::loadView();
        view()->setBackgroundColor(UIColor::whiteColor().get());
        auto label = make<UILabel>(&UILabel::initWithFrame, CGRectMake(10, 10, 300, 30));
        label->setText(NS("Opened from a table row"));
        view()->addSubview(label.get());
    }
};

class CatalogSharedTarget : public CatalogTablesTarget {
    NS_OBJECT(CatalogSharedTarget, CatalogTablesTarget)

public:
    bool initWithNibName(NSString* nibName, NSBundle* bundle) override {
        if (!CatalogTablesTarget::initWithNibName(nibName, bundle)) return false;
        setTitle(NS("Shared Screen"));
        return true;
    }
};

// Covers the tables until its Done button closes it.
class CatalogModalTarget : public CatalogTablesTarget {
    NS_OBJECT(CatalogModalTarget, CatalogTablesTarget)
    static void describeClass(RuntimeClass& c) { c.method("done:", &CatalogModalTarget::done); }

public:
    bool initWithNibName(NSString* nibName, NSBundle* bundle) override {
        if (!CatalogTablesTarget::initWithNibName(nibName, bundle)) return false;
        setTitle(NS("Modal Screen"));
        navigationItem()->setRightBarButtonItem(
            make<UIBarButtonItem>(&UIBarButtonItem::initWithBarButtonSystemItem,
                                  UIBarButtonSystemItemDone, static_cast<NSObject*>(this),
                                  Selector::named("done:"))
                .get());
        return true;
    }
    void loadView() override {
        CatalogTablesTarget::loadView();
        auto note = make<UILabel>(&UILabel::initWithFrame, CGRectMake(10, 44, 300, 42));
        note->setNumberOfLines(2);
        note->setText(NS("It covers the tables until Done closes it."));
        view()->addSubview(note.get());
    }
    void done(NSObject*) { dismissModalViewControllerAnimated(true); }
};

// The one-line field of the controls: its text stops short of the row's right edge, as the
// rows' other words do (the row gives a field the width up to its edge).
class CatalogNameField : public UITextField {
    NS_OBJECT(CatalogNameField, UITextField)

public:
    // The placeholder's and the typing's rectangles follow this one.
    CGRect textRectForBounds(CGRect bounds) override {
        bounds.size.width = std::max<CGFloat>(0, bounds.size.width - kRightMargin);
        return UITextField::textRectForBounds(bounds);
    }

private:
    static constexpr CGFloat kRightMargin = 10;
};

// A row that shows a colour: its caption, then the colour in a box (a view of the row's whole
// size would show the colour alone, with no word to say what it is).
Ref<UIView> swatchRow(NSString* caption, UIColor* colour) {
    auto row = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 44));
    auto label = make<UILabel>(&UILabel::initWithFrame, CGRectMake(10, 0, 90, 44));
    label->setText(caption);
    label->setFont(UIFont::boldSystemFontOfSize(17));
    label->setBackgroundColor(UIColor::clearColor());
    row->addSubview(label);
    auto box = make<UIView>(&UIView::initWithFrame, CGRectMake(100, 8, 210, 28));
    box->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    box->setBackgroundColor(colour);
    box->setAccessibilityLabel(NS("Orange view"));
    row->addSubview(box);
    return row;
}

// A styled text in a row of its own, inset like the text of the rows around it (a bare styled
// text fills its row edge to edge, and two of them run together).
Ref<DZTableStyledTextItem> styledRow(DZStyledText* text) {
    auto item = DZTableStyledTextItem::itemWithText(text);
    item->setPadding(UIEdgeInsetsMake(11, 10, 11, 10));
    return item;
}

// Every kind of row, URLs of the four navigation modes, an editor row, a banner and a row
// menu.
class CatalogTablesController : public DZTableViewController, public UITextFieldDelegate {
    NS_OBJECT(CatalogTablesController, DZTableViewController)
    static void describeClass(RuntimeClass& c) {
        c.method("showRowMenu:", &CatalogTablesController::showRowMenu);
        c.method("closeRowMenu:", &CatalogTablesController::closeRowMenu);
        c.implements({"textFieldShouldReturn:"});
    }

public:
    bool initWithNibName(NSString* nibName, NSBundle* bundle) override {
        if (!DZTableViewController::initWithNibName(nibName, bundle)) return false;
        setTitle(NS("Tables"));
        setVariableHeightRows(true);
        // The fields sit low in the list: the table makes room for the keyboard and scrolls
        // the focused row above it.
        setAutoresizesForKeyboard(true);
        return true;
    }
    // Return ends typing in the one-line field.
    bool textFieldShouldReturn(UITextField* field) override {
        field->resignFirstResponder();
        return true;
    }
    void createModel() override {
        auto date = NSDate::dateWithTimeIntervalSince1970(1262304000);  // Jan 1, 2010
        auto thumb = NSString::stringWithFormat(NS("http://%s/thumbs/3.png"),
                                                catalog_hosts::kCatalogServicesHost);
        auto details = DZTableTextItem::itemWithText(NS("Details"), NS("catalog://tables/paged"),
                                                     NS("catalog://tables/shared"));
        auto menu = DZTableTextItem::itemWithText(NS("Show a row menu"), this,
                                                  Selector::named("showRowMenu:"));
        auto toggle = make<UISwitch>();
        toggle->setAccessibilityLabel(NS("Switch"));
        auto field = make<CatalogNameField>();
        field->setPlaceholder(NS("Name"));
        // Typed words as large as the caption beside them.
        field->setFont(UIFont::systemFontOfSize(20));
        field->setDelegate(this);
        auto editor = make<DZTextEditor>(&DZTextEditor::initWithFrame, CGRectMake(0, 0, 300, 44));
        editor->setPlaceholder(NS("Note"));
        editor->setMaxNumberOfLines(4);
        auto swatch = swatchRow(NS("Swatch"), UIColor::orangeColor().get());
        setDataSource(
            DZSectionedDataSource::dataSourceWithObjects(
                {NS("Links"),
                 DZTableTextItem::itemWithText(NS("Paged items"), NS("catalog://tables/paged"))
                     .get(),
                 DZTableLink::itemWithText(NS("Shared screen"), NS("catalog://tables/shared"))
                     .get(),
                 DZTableButton::itemWithText(NS("Modal screen"), NS("catalog://tables/modal"))
                     .get(),
                 DZTableTextItem::itemWithText(NS("Outside link"),
                                               NS("http://catalog.services.test/about"))
                     .get(),
                 details.get(),
                 menu.get(),
                 NS("Texts"),
                 DZTableCaptionItem::itemWithTextCaption(NS("Ten-speed, blue"), NS("Bike")).get(),
                 DZTableRightCaptionItem::itemWithTextCaption(NS("$120"), NS("Price")).get(),
                 DZTableSubtextItem::itemWithTextCaption(NS("Desk"), NS("Solid oak, two drawers"))
                     .get(),
                 DZTableSubtitleItem::itemWithTextSubtitle(NS("Lamp"), NS("Brass, works")).get(),
                 DZTableMessageItem::itemWithTitle(NS("Seller"), NS("Re: desk"),
                                                   NS("Is it still for sale?"), date.get(), nullptr)
                     .get(),
                 DZTableLongTextItem::itemWithText(
                     NS("A long text row wraps over as many lines as its text needs, measured in "
                        "the sheet's body font."))
                     .get(),
                 DZTableGrayTextItem::itemWithText(NS("A grey text row")).get(),
                 DZTableSummaryItem::itemWithText(NS("3 rows of a summary")).get(),
                 DZTableImageItem::itemWithTextImageURL(NS("Image row"), thumb.get()).get(),
                 DZTableRightImageItem::itemWithTextImageURL(NS("Right image"), thumb.get()).get(),
                 DZTableActivityItem::itemWithText(NS("Working...")).get(),
                 styledRow(DZStyledText::textFromXHTML(
                               NS("<b>Styled</b> text with <a href=\"catalog://tables/shared\">a "
                                  "link</a>"))
                               .get())
                     .get(),
                 styledRow(
                     DZStyledText::textWithURLs(NS("Plain text at http://catalog.services.test/"))
                         .get())
                     .get(),
                 NS("Controls"),
                 DZTableControlItem::itemWithCaption(NS("Alerts"), toggle.get()).get(),
                 DZTableControlItem::itemWithCaption(NS("Name"), field.get()).get(),
                 static_cast<NSObject*>(editor.get()),
                 DZTableViewItem::itemWithCaption(NS("Swatch"), swatch.get()).get()})
                .get());
    }
    void viewDidLoad() override {
        DZTableViewController::viewDidLoad();
        auto banner = make<UILabel>();
        banner->setText(NS("Banner: 45 items on catalog.services.test"));
        banner->setTextAlignment(UITextAlignmentCenter);
        banner->setBackgroundColor(UIColor::colorWithWhite(0.9f, 1).get());
        setTableBannerView(banner.get(), false);
    }
    // The menu takes the row's place: a dark strip with its two buttons; either closes it.
    void showRowMenu(NSObject* item) {
        auto path = dataSource()->tableViewIndexPathForObject(tableView().get(), item);
        auto cell = path ? tableView()->cellForRowAtIndexPath(path.get()) : nullptr;
        if (!cell) return;
        // The row did its work by opening the menu; it does not stay selected under it.
        tableView()->deselectRowAtIndexPath(path.get(), true);
        CGRect bounds = cell->contentView()->bounds();
        auto menu = make<UIView>(&UIView::initWithFrame, bounds);
        menu->setBackgroundColor(UIColor::colorWithWhite(0.25f, 1).get());
        menu->setAccessibilityLabel(NS("Row menu"));
        CGFloat x = 10;
        for (NSString* title : {NS("Reply"), NS("Delete")}) {
            auto button = DZButton::buttonWithStyle(NS("blackToolbarButton:"), title);
            button->sizeToFit();
            CGRect f = button->frame();
            f.size.width = std::max<CGFloat>(f.size.width, 70);
            f.origin = CGPointMake(x, std::floor((bounds.size.height - f.size.height) / 2));
            button->setFrame(f);
            button->addTarget(this, Selector::named("closeRowMenu:"), UIControlEventTouchUpInside);
            menu->addSubview(button.get());
            x += f.size.width + 10;
        }
        showMenu(menu.get(), cell.get(), true);
    }
    void closeRowMenu(NSObject*) { hideMenu(true); }
};

}  // namespace

Ref<UIViewController> makeCatalogTablesScreen() {
    auto map = DZNavigator::navigator()->URLMap();
    if (map->navigationModeForURL(NS("catalog://tables/paged")) != 1) {
        map->fromToViewController(NS("catalog://tables/paged"),
                                  CatalogPagedController::staticClass());
        map->fromToSharedViewController(NS("catalog://tables/shared"),
                                        CatalogSharedTarget::staticClass());
        map->fromToModalViewController(NS("catalog://tables/modal"),
                                       CatalogModalTarget::staticClass());
    }
    return make<CatalogTablesController>();
}

void sendCatalogPageRequest(NSString* url, DZURLRequestModel* model, int32_t policy, int page) {
    auto request = DZURLRequest::requestWithURL(url, model);
    request->setCachePolicy(policy);
    request->setResponse(make<DZURLDataResponse>().get());
    request->setUserInfo(NSNumber::numberWithInt(page).get());
    request->send();
}

Ref<NSDictionary> readCatalogPage(DZURLRequest* request, DZURLRequestModel* model) {
    auto data = as<DZURLDataResponse>(request->response())->data();
    Ref<NSError> error;
    auto page = ZJSONDeserializer::deserializer()->deserializeAsDictionary(data.get(), &error);
    if (!page) model->DZURLRequestModel::requestDidFailLoadWithError(request, error.get());
    return page;
}
