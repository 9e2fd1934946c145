#include "ui/table/DZSearchBar.h"

#include <cmath>

#include "Foundation/NSString.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UIScrollView.h"
#include "UIKit/UITableView.h"
#include "ui/core/DZGeometry.h"
#include "ui/core/DZGlobalCore.h"
#include "ui/core/DZStyleSheet.h"
#include "ui/core/UIColor+DZCategory.h"
#include "ui/style/DZButton.h"
#include "ui/style/DZDefaultStyleSheet.h"
#include "ui/table/DZSearchTextField.h"
#include "ui/table/DZTableSupport.h"
#include "ui/table/DZTableView.h"
#include "ui/table/DZTableViewDataSource.h"

namespace {

constexpr NSTimeInterval kIndexSlideDuration = 0.3;
constexpr CGFloat kMinimumBarHeight = 44;

SEL sel(const char* name) {
    return Selector::named(name);
}

}  // namespace

void DZSearchBar::describeClass(RuntimeClass& c) {
    c.method("textFieldDidBeginEditing", &DZSearchBar::textFieldDidBeginEditing)
        .method("textFieldDidEndEditing", &DZSearchBar::textFieldDidEndEditing);
}

bool DZSearchBar::initWithFrame(CGRect frame) {
    if (!DZView::initWithFrame(frame)) return false;
    boxView_ = make<DZView>(&DZView::initWithFrame, CGRectZero);
    boxView_->setBackgroundColor(UIColor::clearColor().get());
    addSubview(boxView_.get());

    searchField_ = make<DZSearchTextField>(&DZSearchTextField::initWithFrame, CGRectZero);
    searchField_->setPlaceholder(DZBundleLocalizedString(NS("Search"), NS("")).get());
    searchField_->setAutocapitalizationType(UITextAutocapitalizationTypeNone);
    searchField_->addTarget(this, sel("textFieldDidBeginEditing"), UIControlEventEditingDidBegin);
    searchField_->addTarget(this, sel("textFieldDidEndEditing"), UIControlEventEditingDidEnd);
    addSubview(searchField_.get());

    auto sheet = DZTableStyleSheet();
    tintColor_ = sheet->searchBarTintColor();
    setStyle(DZStyleSheet::globalStyleSheet()->styleWithSelector(NS("searchBar")).get());
    setTextFieldStyle(
        DZStyleSheet::globalStyleSheet()->styleWithSelector(NS("searchTextField")).get());
    setFont(sheet->font().get());
    setShowsSearchIcon(true);
    return true;
}

CGFloat DZSearchBar::indexViewWidth() {
    auto table = as<UITableView>(ancestorOrSelfWithClass(this, UITableView::staticClass()));
    if (!table) return 0;
    auto index = ::indexView(table.get());
    return index ? width(index.get()) : 0;
}

void DZSearchBar::showIndexView(bool show) {
    auto table = as<UITableView>(ancestorOrSelfWithClass(this, UITableView::staticClass()));
    auto index = table ? ::indexView(table.get()) : nullptr;
    if (!index) return;
    CGFloat indexWidth = width(index.get());
    UIView::beginAnimations(nullptr, nullptr);
    UIView::setAnimationDuration(kIndexSlideDuration);
    if (show) {
        setLeft(index.get(), width(this) - (indexWidth + 4));
        index->setAlpha(1);
    } else {
        setLeft(index.get(), left(index.get()) + indexWidth + 4);
        index->setAlpha(0);
    }
    CGFloat change = show ? -indexWidth : indexWidth;
    setWidth(searchField_.get(), width(searchField_.get()) + change);
    setWidth(boxView_.get(), width(boxView_.get()) + change);
    UIView::commitAnimations();
}

void DZSearchBar::scrollToTop() {
    auto scroll = as<UIScrollView>(ancestorOrSelfWithClass(this, UIScrollView::staticClass()));
    if (!scroll) return;
    CGFloat y = offsetFromView(this, scroll.get()).y;
    CGPoint offset = scroll->contentOffset();
    if (offset.y != y) scroll->setContentOffset(CGPointMake(offset.x, y), true);
}

void DZSearchBar::textFieldDidBeginEditing() {
    scrollToTop();
    showIndexView(false);
}

void DZSearchBar::textFieldDidEndEditing() {
    showIndexView(true);
}

bool DZSearchBar::becomeFirstResponder() {
    return searchField_->becomeFirstResponder();
}

bool DZSearchBar::resignFirstResponder() {
    return searchField_->resignFirstResponder();
}

void DZSearchBar::layoutSubviews() {
    DZView::layoutSubviews();
    CGFloat indexWidth = searchField_->isEditing() ? 0 : indexViewWidth();
    CGFloat iconPadding = showsSearchIcon_ ? 0 : 4;
    CGFloat buttonWidth = 0;
    if (cancelButton_) {
        cancelButton_->sizeToFit();
        buttonWidth = width(cancelButton_.get()) + 12;
    }
    CGFloat barWidth = width(this), barHeight = height(this);
    CGFloat boxHeight = dzLineHeight(font().get()) + 8;
    boxView_->setFrame(CGRectMake(5, std::floor(barHeight / 2 - boxHeight / 2),
                                  barWidth - (indexWidth + 10 + buttonWidth), boxHeight));
    searchField_->setFrame(CGRectMake(
        iconPadding + 15, 0, barWidth - (iconPadding + 20 + buttonWidth + indexWidth), barHeight));
    if (cancelButton_)
        cancelButton_->setFrame(CGRectMake(right(boxView_.get()) + 12,
                                           std::floor(barHeight / 2 - 15),
                                           width(cancelButton_.get()), 30));
}

CGSize DZSearchBar::sizeThatFits(CGSize size) {
    CGFloat h = dzLineHeight(font().get()) + 20;
    return CGSizeMake(size.width, std::max(h, kMinimumBarHeight));
}

// ---- properties -------------------------------------------------------------------------------

Ref<NSString> DZSearchBar::text() {
    return searchField_->text();
}

void DZSearchBar::setText(NSString* text) {
    searchField_->setText(text);
}

Ref<NSString> DZSearchBar::placeholder() {
    return searchField_->placeholder();
}

void DZSearchBar::setPlaceholder(NSString* placeholder) {
    searchField_->setPlaceholder(placeholder);
}

Ref<DZTableView> DZSearchBar::tableView() {
    return searchField_->tableView();
}

Ref<UIColor> DZSearchBar::textColor() {
    return searchField_->textColor();
}

void DZSearchBar::setTextColor(UIColor* color) {
    searchField_->setTextColor(color);
}

Ref<UIFont> DZSearchBar::font() {
    return searchField_->font();
}

void DZSearchBar::setFont(UIFont* font) {
    searchField_->setFont(font);
}

void DZSearchBar::setTextFieldStyle(DZStyle* style) {
    textFieldStyle_ = style;
    boxView_->setStyle(style);
}

UIReturnKeyType DZSearchBar::returnKeyType() {
    return searchField_->returnKeyType();
}

void DZSearchBar::setReturnKeyType(UIReturnKeyType type) {
    searchField_->setReturnKeyType(type);
}

CGFloat DZSearchBar::rowHeight() {
    return searchField_->rowHeight();
}

void DZSearchBar::setRowHeight(CGFloat height) {
    searchField_->setRowHeight(height);
}

bool DZSearchBar::isEditing() {
    return searchField_->isEditing();
}

bool DZSearchBar::searchesAutomatically() {
    return searchField_->searchesAutomatically();
}

void DZSearchBar::setSearchesAutomatically(bool v) {
    searchField_->setSearchesAutomatically(v);
}

void DZSearchBar::setShowsCancelButton(bool show) {
    if (show == showsCancelButton_) return;
    showsCancelButton_ = show;
    if (show) {
        cancelButton_ = DZButton::buttonWithStyle(
            NS("blackToolbarButton:"), DZBundleLocalizedString(NS("Cancel"), NS("")).get());
        cancelButton_->addTarget(searchField_.get(), sel("resignFirstResponder"),
                                 UIControlEventTouchUpInside);
        addSubview(cancelButton_.get());
    } else {
        cancelButton_->removeFromSuperview();
        cancelButton_ = nullptr;
    }
    setNeedsLayout();
}

bool DZSearchBar::showsDoneButton() {
    return searchField_->showsDoneButton();
}

void DZSearchBar::setShowsDoneButton(bool v) {
    searchField_->setShowsDoneButton(v);
}

bool DZSearchBar::showsDarkScreen() {
    return searchField_->showsDarkScreen();
}

void DZSearchBar::setShowsDarkScreen(bool v) {
    searchField_->setShowsDarkScreen(v);
}

void DZSearchBar::setShowsSearchIcon(bool show) {
    if (show == showsSearchIcon_) return;
    showsSearchIcon_ = show;
    if (show) {
        auto icon = alloc<UIImageView>();
        icon->initWithImage(UIImage::imageNamed(NS("Dodiz20.bundle/images/searchIcon.png")).get());
        icon->sizeToFit();
        icon->setContentMode(UIViewContentModeLeft);
        icon->setFrame(CGRectInset(icon->frame(), -2, 0));
        searchField_->setLeftView(icon.get());
        searchField_->setLeftViewMode(UITextFieldViewModeAlways);
    } else {
        searchField_->setLeftView(nullptr);
        searchField_->setLeftViewMode(UITextFieldViewModeNever);
    }
    setNeedsLayout();
}

Ref<DZTableViewDataSource> DZSearchBar::dataSource() {
    return searchField_->dataSource();
}

void DZSearchBar::setDataSource(DZTableViewDataSource* dataSource) {
    searchField_->setDataSource(dataSource);
}

Ref<UITextFieldDelegate> DZSearchBar::delegate() {
    return searchField_->delegate();
}

void DZSearchBar::setDelegate(UITextFieldDelegate* delegate) {
    searchField_->setDelegate(delegate);
}

void DZSearchBar::search() {
    searchField_->search();
}

void DZSearchBar::showSearchResults(bool show) {
    searchField_->showSearchResults(show);
}
