#include "ui/table/DZTableViewCell.h"

#include <algorithm>
#include <cmath>

#include "Foundation/NSDate.h"
#include "UIKit/UIActivityIndicatorView.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIImage.h"
#include "UIKit/UILabel.h"
#include "UIKit/UISwitch.h"
#include "UIKit/UITableView.h"
#include "UIKit/UITextField.h"
#include "UIKit/UITextView.h"
#include "ui/core/DZGeometry.h"
#include "ui/core/DZNavigator.h"
#include "ui/core/DZStyle.h"
#include "ui/core/DZURLCache.h"
#include "ui/core/DZURLMap.h"
#include "ui/core/NSDate+DZCategory.h"
#include "ui/core/UIColor+DZCategory.h"
#include "ui/style/DZActivityLabel.h"
#include "ui/style/DZDefaultStyleSheet.h"
#include "ui/style/DZFrameStyles.h"
#include "ui/style/DZImageView.h"
#include "ui/style/DZStyledText.h"
#include "ui/style/DZStyledTextLabel.h"
#include "ui/table/DZTableItem.h"
#include "ui/table/DZTableSupport.h"
#include "ui/table/DZTextEditor.h"

namespace {

constexpr CGFloat H = kDZTableHPadding;
constexpr CGFloat V = kDZTableVPadding;
constexpr CGFloat S = kDZTableSmallMargin;
constexpr CGFloat kCaptionWidth = 75;
constexpr CGFloat kCaptionSpacing = 12;
constexpr CGFloat kMessageRowHeight = 90;
constexpr CGFloat kMessageImageSize = 34;
constexpr CGFloat kMoreButtonLeft = 40;
constexpr CGFloat kControlSpacing = 8;

const char* const kRowHeightSelector = "tableView:rowHeightForObject:";

template <class Cell>
void registerRowHeight(RuntimeClass& c) {
    c.classMethod(kRowHeightSelector, &Cell::tableViewRowHeightForObject);
}

bool isEmpty(NSString* s) {
    return !s || s->length() == 0;
}

CGRect contentBounds(UITableViewCell* cell) {
    return cell->contentView()->bounds();
}

// A row label's look: font, colour, the sheet's highlighted colour, alignment, break mode,
// lines (0: unlimited) and whether it shrinks to fit.
void styleLabel(UILabel* label, UIFont* font, UIColor* color, UITextAlignment alignment,
                UILineBreakMode mode, NSInteger lines, bool shrinks) {
    label->setFont(font);
    label->setTextColor(color);
    label->setHighlightedTextColor(DZTableStyleSheet()->highlightedTextColor().get());
    label->setTextAlignment(alignment);
    label->setLineBreakMode(mode);
    label->setNumberOfLines(lines);
    label->setAdjustsFontSizeToFitWidth(shrinks);
}

// The object rule of the cells that embed a view: a bare view is the view; an item of the
// cell's kind brings its view; anything else leaves both empty. False for the object already
// held.
template <class Item, class ViewOf>
bool takeEmbedded(NSObject* object, Ref<Item>& item, Ref<UIView>& view, ViewOf viewOf) {
    if (object == view.get() || object == item.get()) return false;
    if (view) view->removeFromSuperview();
    view = nullptr;
    item = nullptr;
    if (auto bare = as<UIView>(object)) {
        view = bare;
    } else if (auto held = as<Item>(object)) {
        item = held;
        view = viewOf(held.get());
    }
    return true;
}

}  // namespace

// ---- DZTableViewCell ----------------------------------------------------------------------------

void DZTableViewCell::describeClass(RuntimeClass& c) {
    registerRowHeight<DZTableViewCell>(c);
}

CGFloat DZTableViewCell::tableViewRowHeightForObject(UITableView*, NSObject*) {
    return kDZTableDefaultRowHeight;
}

CGFloat DZTableViewCell::rowHeightForClass(Class cls, UITableView* tableView, NSObject* object) {
    const Method* m = cls ? cls->classMethod(Selector::named(kRowHeightSelector)) : nullptr;
    if (!m || !m->imp) return kDZTableDefaultRowHeight;
    Value args[] = {Value::ofObject(tableView), Value::ofObject(object)};
    return static_cast<CGFloat>(m->imp(cls, args).toDouble());
}

void DZTableViewCell::prepareForReuse() {
    setObject(nullptr);
    UITableViewCell::prepareForReuse();
}

// ---- DZTableLinkedItemCell ----------------------------------------------------------------------

Ref<NSObject> DZTableLinkedItemCell::object() {
    return item_;
}

void DZTableLinkedItemCell::setObject(NSObject* object) {
    if (object == item_.get()) return;
    item_ = as<DZTableLinkedItem>(object);
    if (item_ && item_->URL()) {
        int32_t mode = DZNavigator::navigator()->URLMap()->navigationModeForURL(item_->URL().get());
        if (item_->accessoryURL()) {
            setAccessoryType(UITableViewCellAccessoryDetailDisclosureButton);
        } else if (mode == 1 || mode == 2) {
            setAccessoryType(UITableViewCellAccessoryDisclosureIndicator);
        } else {
            setAccessoryType(UITableViewCellAccessoryNone);
        }
        setSelectionStyle(DZTableSelectionStyle());
    } else {
        setAccessoryType(UITableViewCellAccessoryNone);
        setSelectionStyle(UITableViewCellSelectionStyleNone);
    }
}

void DZTableLinkedItemCell::setCaptionItem(NSObject* object) {
    if (object == item_.get()) return;
    DZTableLinkedItemCell::setObject(object);
    auto item = as<DZTableCaptionItem>(object);
    if (!item) return;
    textLabel()->setText(item->caption().get());
    detailTextLabel()->setText(item->text().get());
}

// ---- DZTableTextItemCell ------------------------------------------------------------------------

void DZTableTextItemCell::describeClass(RuntimeClass& c) {
    registerRowHeight<DZTableTextItemCell>(c);
}

Ref<UIFont> DZTableTextItemCell::textFontForItem(NSObject* item) {
    auto sheet = DZTableStyleSheet();
    if (is<DZTableLongTextItem>(item) || is<DZTableGrayTextItem>(item)) return sheet->font();
    return sheet->tableFont();
}

CGFloat DZTableTextItemCell::tableViewRowHeightForObject(UITableView* tableView, NSObject* object) {
    auto item = as<DZTableTextItem>(object);
    CGFloat width = ::width(tableView) - (2 * H + 2 * tableCellMargin(tableView));
    CGFloat textHeight = 0;
    if (item && item->text()) {
        auto font = textFontForItem(item.get());
        textHeight =
            DZTableTextSize(item->text().get(), font.get(), width, UILineBreakModeTailTruncation)
                .height;
        textHeight = std::min(textHeight, kDZTableMaxLabelHeight);
    }
    return textHeight + 2 * V;
}

bool DZTableTextItemCell::initWithStyle(UITableViewCellStyle style, NSString* reuseIdentifier) {
    if (!DZTableLinkedItemCell::initWithStyle(style, reuseIdentifier)) return false;
    auto label = textLabel();
    label->setHighlightedTextColor(DZTableStyleSheet()->highlightedTextColor().get());
    label->setLineBreakMode(UILineBreakModeWordWrap);
    label->setNumberOfLines(0);
    return true;
}

void DZTableTextItemCell::layoutSubviews() {
    DZTableLinkedItemCell::layoutSubviews();
    textLabel()->setFrame(CGRectInset(contentBounds(this), H, V));
}

void DZTableTextItemCell::setObject(NSObject* object) {
    if (object == item_.get()) return;
    DZTableLinkedItemCell::setObject(object);
    auto item = as<DZTableTextItem>(object);
    if (!item) return;
    auto sheet = DZTableStyleSheet();
    auto label = textLabel();
    label->setText(item->text().get());
    if (is<DZTableButton>(item.get())) {
        label->setFont(sheet->tableButtonFont().get());
        label->setTextColor(sheet->linkTextColor().get());
        label->setTextAlignment(UITextAlignmentCenter);
        setAccessoryType(UITableViewCellAccessoryNone);
        setSelectionStyle(DZTableSelectionStyle());
    } else if (is<DZTableLink>(item.get())) {
        label->setFont(sheet->tableFont().get());
        label->setTextColor(sheet->linkTextColor().get());
        label->setTextAlignment(UITextAlignmentLeft);
    } else if (is<DZTableSummaryItem>(item.get())) {
        label->setFont(sheet->tableSummaryFont().get());
        label->setTextColor(sheet->tableSubTextColor().get());
        label->setTextAlignment(UITextAlignmentCenter);
    } else if (is<DZTableLongTextItem>(item.get())) {
        label->setFont(sheet->font().get());
        label->setTextColor(sheet->textColor().get());
        label->setTextAlignment(UITextAlignmentLeft);
    } else if (is<DZTableGrayTextItem>(item.get())) {
        label->setFont(sheet->font().get());
        label->setTextColor(sheet->tableSubTextColor().get());
        label->setTextAlignment(UITextAlignmentLeft);
    } else {
        label->setFont(sheet->tableFont().get());
        label->setTextColor(sheet->textColor().get());
        label->setTextAlignment(UITextAlignmentLeft);
    }
}

// ---- DZTableCaptionItemCell ---------------------------------------------------------------------

void DZTableCaptionItemCell::describeClass(RuntimeClass& c) {
    registerRowHeight<DZTableCaptionItemCell>(c);
}

CGFloat DZTableCaptionItemCell::tableViewRowHeightForObject(UITableView* tableView,
                                                            NSObject* object) {
    auto item = as<DZTableCaptionItem>(object);
    CGFloat width = ::width(tableView) -
                    (2 * H + kCaptionWidth + kCaptionSpacing + 2 * tableCellMargin(tableView));
    CGFloat textHeight = 0;
    if (item && item->text()) {
        textHeight =
            DZTableTextSize(item->text().get(), DZTableStyleSheet()->tableSmallFont().get(), width,
                            UILineBreakModeWordWrap)
                .height;
    }
    return textHeight + 2 * V;
}

bool DZTableCaptionItemCell::initWithStyle(UITableViewCellStyle, NSString* reuseIdentifier) {
    if (!DZTableLinkedItemCell::initWithStyle(UITableViewCellStyleValue2, reuseIdentifier))
        return false;
    auto sheet = DZTableStyleSheet();
    styleLabel(textLabel().get(), sheet->tableTitleFont().get(), sheet->linkTextColor().get(),
               UITextAlignmentRight, UILineBreakModeTailTruncation, 1, true);
    styleLabel(detailTextLabel().get(), sheet->tableSmallFont().get(), sheet->textColor().get(),
               UITextAlignmentLeft, UILineBreakModeWordWrap, 0, true);
    detailTextLabel()->setMinimumFontSize(8);
    return true;
}

Ref<UILabel> DZTableCaptionItemCell::captionLabel() {
    return textLabel();
}

void DZTableCaptionItemCell::layoutSubviews() {
    DZTableLinkedItemCell::layoutSubviews();
    CGRect b = contentBounds(this);
    textLabel()->setFrame(CGRectMake(H, V, kCaptionWidth, dzLineHeight(textLabel()->font().get())));
    CGFloat x = H + kCaptionWidth + kCaptionSpacing;
    detailTextLabel()->setFrame(CGRectMake(
        x, V, b.size.width - (2 * H + kCaptionWidth + kCaptionSpacing), b.size.height - 2 * V));
}

void DZTableCaptionItemCell::setObject(NSObject* object) {
    setCaptionItem(object);
}

// ---- DZTableRightCaptionItemCell ----------------------------------------------------------------

bool DZTableRightCaptionItemCell::initWithStyle(UITableViewCellStyle, NSString* reuseIdentifier) {
    if (!DZTableLinkedItemCell::initWithStyle(UITableViewCellStyleValue2, reuseIdentifier))
        return false;
    auto sheet = DZTableStyleSheet();
    textLabel()->setHighlightedTextColor(sheet->highlightedTextColor().get());
    textLabel()->setLineBreakMode(UILineBreakModeWordWrap);
    textLabel()->setNumberOfLines(0);
    detailTextLabel()->setHighlightedTextColor(sheet->highlightedTextColor().get());
    return true;
}

Ref<UILabel> DZTableRightCaptionItemCell::captionLabel() {
    return textLabel();
}

void DZTableRightCaptionItemCell::setObject(NSObject* object) {
    setCaptionItem(object);
}

// ---- DZTableSubtextItemCell ---------------------------------------------------------------------

void DZTableSubtextItemCell::describeClass(RuntimeClass& c) {
    registerRowHeight<DZTableSubtextItemCell>(c);
}

CGFloat DZTableSubtextItemCell::tableViewRowHeightForObject(UITableView* tableView,
                                                            NSObject* object) {
    auto item = as<DZTableCaptionItem>(object);
    auto sheet = DZTableStyleSheet();
    CGFloat width = ::width(tableView) - 2 * H;
    CGFloat height = 2 * V;
    if (!item) return height;
    height += DZTableTextSize(item->text().get(), sheet->tableFont().get(), width,
                              UILineBreakModeTailTruncation)
                  .height;
    height +=
        DZTableTextSize(item->caption().get(), sheet->font().get(), width, UILineBreakModeWordWrap)
            .height;
    return height;
}

bool DZTableSubtextItemCell::initWithStyle(UITableViewCellStyle, NSString* reuseIdentifier) {
    if (!DZTableLinkedItemCell::initWithStyle(UITableViewCellStyleValue2, reuseIdentifier))
        return false;
    auto sheet = DZTableStyleSheet();
    auto text = detailTextLabel();
    styleLabel(text.get(), sheet->tableFont().get(), sheet->textColor().get(),
               text->textAlignment(), text->lineBreakMode(), text->numberOfLines(), true);
    styleLabel(textLabel().get(), sheet->font().get(), sheet->tableSubTextColor().get(),
               UITextAlignmentLeft, UILineBreakModeWordWrap, 0, false);
    textLabel()->setContentMode(UIViewContentModeTop);
    return true;
}

Ref<UILabel> DZTableSubtextItemCell::captionLabel() {
    return textLabel();
}

void DZTableSubtextItemCell::layoutSubviews() {
    DZTableLinkedItemCell::layoutSubviews();
    CGRect b = contentBounds(this);
    auto text = detailTextLabel();
    auto caption = textLabel();
    if (!isEmpty(caption->text().get())) {
        text->sizeToFit();
        setOrigin(text.get(), CGPointMake(H, V));
        CGSize size = DZTableTextSize(caption->text().get(), caption->font().get(),
                                      b.size.width - 2 * H, caption->lineBreakMode());
        caption->setFrame(CGRectMake(H, bottom(text.get()), size.width, size.height));
    } else {
        CGFloat oldHeight = height(text.get());
        text->sizeToFit();
        CGFloat y = std::floor(b.size.height / 2 - (height(caption.get()) + oldHeight) / 2);
        setTop(text.get(), y);
        setLeft(text.get(), 2 * y);
    }
}

void DZTableSubtextItemCell::setObject(NSObject* object) {
    setCaptionItem(object);
}

// ---- DZTableSubtitleItemCell --------------------------------------------------------------------

void DZTableSubtitleItemCell::describeClass(RuntimeClass& c) {
    registerRowHeight<DZTableSubtitleItemCell>(c);
}

CGFloat DZTableSubtitleItemCell::tableViewRowHeightForObject(UITableView*, NSObject* object) {
    auto sheet = DZTableStyleSheet();
    CGFloat height = dzLineHeight(sheet->tableFont().get()) + 2 * V;
    auto item = as<DZTableSubtitleItem>(object);
    if (item && item->subtitle()) height += dzLineHeight(sheet->font().get());
    return height;
}

bool DZTableSubtitleItemCell::initWithStyle(UITableViewCellStyle, NSString* reuseIdentifier) {
    if (!DZTableLinkedItemCell::initWithStyle(UITableViewCellStyleValue2, reuseIdentifier))
        return false;
    auto sheet = DZTableStyleSheet();
    styleLabel(textLabel().get(), sheet->tableFont().get(), sheet->textColor().get(),
               UITextAlignmentLeft, UILineBreakModeTailTruncation, 1, true);
    styleLabel(detailTextLabel().get(), sheet->font().get(), sheet->tableSubTextColor().get(),
               UITextAlignmentLeft, UILineBreakModeTailTruncation, 2, false);
    detailTextLabel()->setContentMode(UIViewContentModeTop);
    return true;
}

Ref<UILabel> DZTableSubtitleItemCell::subtitleLabel() {
    return detailTextLabel();
}

Ref<DZImageView> DZTableSubtitleItemCell::imageView2() {
    if (!imageView2_) {
        imageView2_ = make<DZImageView>();
        contentView()->addSubview(imageView2_);
    }
    return imageView2_;
}

void DZTableSubtitleItemCell::layoutSubviews() {
    DZTableLinkedItemCell::layoutSubviews();
    CGRect b = contentBounds(this);
    CGFloat h = b.size.height;
    CGFloat width = b.size.width - (h + S);
    CGFloat left = H;
    if (imageView2_) {
        imageView2_->setFrame(CGRectMake(0, 0, h, h));
        left = right(imageView2_.get()) + S;
    }
    auto text = textLabel();
    auto subtitle = detailTextLabel();
    if (!isEmpty(subtitle->text().get())) {
        CGFloat textHeight = dzLineHeight(text->font().get());
        CGFloat subtitleHeight = dzLineHeight(subtitle->font().get());
        CGFloat y = std::floor((h - (textHeight + subtitleHeight)) / 2);
        text->setFrame(CGRectMake(left, y, width, textHeight));
        subtitle->setFrame(CGRectMake(left, bottom(text.get()), width, subtitleHeight));
    } else {
        CGFloat x = (imageView2_ ? right(imageView2_.get()) : 0) + S;
        text->setFrame(CGRectMake(x, 0, width, h));
        subtitle->setFrame(CGRectZero);
    }
}

void DZTableSubtitleItemCell::setObject(NSObject* object) {
    if (object == item_.get()) return;
    DZTableLinkedItemCell::setObject(object);
    auto item = as<DZTableSubtitleItem>(object);
    if (!item) return;
    if (!isEmpty(item->text().get())) textLabel()->setText(item->text().get());
    if (!isEmpty(item->subtitle().get())) detailTextLabel()->setText(item->subtitle().get());
    if (item->defaultImage()) imageView2()->setDefaultImage(item->defaultImage().get());
    if (item->imageURL()) imageView2()->setUrlPath(item->imageURL().get());
}

// ---- DZTableMoreButtonCell ----------------------------------------------------------------------

void DZTableMoreButtonCell::describeClass(RuntimeClass& c) {
    registerRowHeight<DZTableMoreButtonCell>(c);
}

CGFloat DZTableMoreButtonCell::tableViewRowHeightForObject(UITableView* tableView,
                                                           NSObject* object) {
    return std::max(DZTableSubtitleItemCell::tableViewRowHeightForObject(tableView, object),
                    1.5f * kDZTableDefaultRowHeight);
}

bool DZTableMoreButtonCell::initWithStyle(UITableViewCellStyle, NSString* reuseIdentifier) {
    if (!DZTableSubtitleItemCell::initWithStyle(UITableViewCellStyleSubtitle, reuseIdentifier))
        return false;
    textLabel()->setFont(DZTableStyleSheet()->tableSmallFont().get());
    return true;
}

Ref<UIActivityIndicatorView> DZTableMoreButtonCell::activityIndicatorView() {
    if (!activityIndicatorView_) {
        activityIndicatorView_ =
            make<UIActivityIndicatorView>(&UIActivityIndicatorView::initWithActivityIndicatorStyle,
                                          UIActivityIndicatorViewStyleGray);
        contentView()->addSubview(activityIndicatorView_);
    }
    return activityIndicatorView_;
}

void DZTableMoreButtonCell::layoutSubviews() {
    DZTableSubtitleItemCell::layoutSubviews();
    CGRect b = contentBounds(this);
    if (activityIndicatorView_) {
        auto spinner = activityIndicatorView_;
        setLeft(spinner.get(), kMoreButtonLeft - (width(spinner.get()) + S));
        setTop(spinner.get(), std::floor(b.size.height / 2 - height(spinner.get()) / 2));
    }
    for (auto label : {textLabel(), detailTextLabel()}) {
        CGRect f = label->frame();
        label->setFrame(CGRectMake(kMoreButtonLeft, f.origin.y,
                                   b.size.width - (S + kMoreButtonLeft), f.size.height));
    }
}

void DZTableMoreButtonCell::setObject(NSObject* object) {
    if (object == item_.get()) return;
    DZTableSubtitleItemCell::setObject(object);
    auto item = as<DZTableMoreButton>(object);
    if (!item) return;
    setAnimating(item->isLoading());
    textLabel()->setTextColor(DZTableStyleSheet()->moreLinkTextColor().get());
    setSelectionStyle(DZTableSelectionStyle());
}

void DZTableMoreButtonCell::setAnimating(bool animating) {
    if (animating == animating_) return;
    animating_ = animating;
    if (animating) {
        activityIndicatorView()->startAnimating();
    } else if (activityIndicatorView_) {
        activityIndicatorView_->stopAnimating();
    }
    setNeedsLayout();
}

// ---- DZTableMessageItemCell ---------------------------------------------------------------------

void DZTableMessageItemCell::describeClass(RuntimeClass& c) {
    registerRowHeight<DZTableMessageItemCell>(c);
}

CGFloat DZTableMessageItemCell::tableViewRowHeightForObject(UITableView*, NSObject*) {
    return kMessageRowHeight;
}

bool DZTableMessageItemCell::initWithStyle(UITableViewCellStyle, NSString* reuseIdentifier) {
    if (!DZTableLinkedItemCell::initWithStyle(UITableViewCellStyleValue2, reuseIdentifier))
        return false;
    auto sheet = DZTableStyleSheet();
    styleLabel(textLabel().get(), sheet->font().get(), sheet->textColor().get(),
               UITextAlignmentLeft, UILineBreakModeTailTruncation, 1, true);
    textLabel()->setContentMode(UIViewContentModeLeft);
    styleLabel(detailTextLabel().get(), sheet->font().get(), sheet->tableSubTextColor().get(),
               UITextAlignmentLeft, UILineBreakModeTailTruncation, 2, false);
    detailTextLabel()->setContentMode(UIViewContentModeLeft);
    return true;
}

Ref<UILabel> DZTableMessageItemCell::captionLabel() {
    return textLabel();
}

Ref<UILabel> DZTableMessageItemCell::titleLabel() {
    if (!titleLabel_) {
        titleLabel_ = make<UILabel>();
        titleLabel_->setTextColor(UIColor::blackColor().get());
        titleLabel_->setHighlightedTextColor(UIColor::whiteColor().get());
        titleLabel_->setFont(DZTableStyleSheet()->tableFont().get());
        titleLabel_->setContentMode(UIViewContentModeLeft);
        contentView()->addSubview(titleLabel_);
    }
    return titleLabel_;
}

Ref<UILabel> DZTableMessageItemCell::timestampLabel() {
    if (!timestampLabel_) {
        auto sheet = DZTableStyleSheet();
        timestampLabel_ = make<UILabel>();
        timestampLabel_->setFont(sheet->tableTimestampFont().get());
        timestampLabel_->setTextColor(sheet->timestampTextColor().get());
        timestampLabel_->setHighlightedTextColor(UIColor::whiteColor().get());
        timestampLabel_->setContentMode(UIViewContentModeLeft);
        contentView()->addSubview(timestampLabel_);
    }
    return timestampLabel_;
}

Ref<DZImageView> DZTableMessageItemCell::imageView2() {
    if (!imageView2_) {
        imageView2_ = make<DZImageView>();
        contentView()->addSubview(imageView2_);
    }
    return imageView2_;
}

void DZTableMessageItemCell::prepareForReuse() {
    DZTableLinkedItemCell::prepareForReuse();
    if (imageView2_) imageView2_->unsetImage();
    if (titleLabel_) titleLabel_->setText(nullptr);
    if (timestampLabel_) timestampLabel_->setText(nullptr);
}

void DZTableMessageItemCell::layoutSubviews() {
    DZTableLinkedItemCell::layoutSubviews();
    CGRect b = contentBounds(this);
    CGFloat left = 10;
    if (imageView2_) {
        imageView2_->setFrame(CGRectMake(S, S, kMessageImageSize, kMessageImageSize));
        left = 46;
    }
    CGFloat labelWidth = b.size.width - left;
    CGFloat y = S;
    auto place = [&](UILabel* label, CGFloat lines) {
        if (label && !isEmpty(label->text().get())) {
            label->setFrame(
                CGRectMake(left, y, labelWidth, lines * dzLineHeight(label->font().get())));
            y += ::height(label);
        } else if (label) {
            label->setFrame(CGRectZero);
        }
    };
    place(titleLabel_.get(), 1);
    place(textLabel().get(), 1);
    place(detailTextLabel().get(), 2);
    if (timestampLabel_ && !isEmpty(timestampLabel_->text().get())) {
        timestampLabel_->setAlpha(showingDeleteConfirmation() ? 0 : 1);
        timestampLabel_->sizeToFit();
        CGFloat stampWidth = ::width(timestampLabel_.get());
        setLeft(timestampLabel_.get(), b.size.width - (stampWidth + S));
        setTop(timestampLabel_.get(), titleLabel_ ? ::top(titleLabel_.get()) : S);
        if (titleLabel_)
            setWidth(titleLabel_.get(), ::width(titleLabel_.get()) - (stampWidth + 2 * S));
    } else if (timestampLabel_) {
        timestampLabel_->setFrame(CGRectZero);
    }
}

void DZTableMessageItemCell::didMoveToSuperview() {
    DZTableLinkedItemCell::didMoveToSuperview();
    if (!superview()) return;
    auto color = backgroundColor();
    if (imageView2_) imageView2_->setBackgroundColor(color.get());
    if (titleLabel_) titleLabel_->setBackgroundColor(color.get());
    if (timestampLabel_) timestampLabel_->setBackgroundColor(color.get());
}

void DZTableMessageItemCell::setObject(NSObject* object) {
    if (object == item_.get()) return;
    DZTableLinkedItemCell::setObject(object);
    auto item = as<DZTableMessageItem>(object);
    if (!item) return;
    if (!isEmpty(item->title().get())) titleLabel()->setText(item->title().get());
    if (!isEmpty(item->caption().get())) textLabel()->setText(item->caption().get());
    if (!isEmpty(item->text().get())) detailTextLabel()->setText(item->text().get());
    if (item->timestamp())
        timestampLabel()->setText(formatShortTime(item->timestamp().get()).get());
    if (item->imageURL()) imageView2()->setUrlPath(item->imageURL().get());
}

// ---- DZTableImageItemCell -----------------------------------------------------------------------

namespace {

Ref<UIImage> imageForItem(DZTableImageItem* item) {
    Ref<UIImage> image;
    if (item->imageURL()) image = DZURLCache::sharedCache()->imageForURL(item->imageURL().get());
    if (!image) image = item->defaultImage();
    return image;
}

}  // namespace

void DZTableImageItemCell::describeClass(RuntimeClass& c) {
    registerRowHeight<DZTableImageItemCell>(c);
}

CGFloat DZTableImageItemCell::tableViewRowHeightForObject(UITableView* tableView,
                                                          NSObject* object) {
    auto item = as<DZTableImageItem>(object);
    if (!item) return 2 * V;
    CGSize imageSize = CGSizeMake(0, 0);
    Ref<DZImageStyle> style;
    if (item->imageStyle()) style = item->imageStyle()->firstStyleOfClass<DZImageStyle>();
    auto image = imageForItem(item.get());
    if (style && (style->size().width != 0 || style->size().height != 0)) {
        imageSize = CGSizeMake(style->size().width + 12, style->size().height);
    } else if (image) {
        imageSize = CGSizeMake(image->size().width + 12, image->size().height);
    } else if (item->imageURL()) {
        imageSize = CGSizeMake(62, 50);
    }
    CGFloat width = ::width(tableView) - (imageSize.width + 2 * H + 2 * kDZTableImageMargin);
    CGFloat textHeight =
        DZTableTextSize(item->text().get(), DZTableStyleSheet()->tableSmallFont().get(), width,
                        UILineBreakModeTailTruncation)
            .height;
    return std::max(textHeight, imageSize.height) + 2 * V;
}

bool DZTableImageItemCell::initWithStyle(UITableViewCellStyle style, NSString* reuseIdentifier) {
    if (!DZTableTextItemCell::initWithStyle(style, reuseIdentifier)) return false;
    imageView2_ = make<DZImageView>();
    contentView()->addSubview(imageView2_);
    return true;
}

void DZTableImageItemCell::layoutSubviews() {
    DZTableTextItemCell::layoutSubviews();
    auto item = as<DZTableImageItem>(item_);
    CGRect b = contentBounds(this);
    CGFloat cellHeight = height(this);
    auto label = textLabel();
    if (!item || !imageView2_->urlPath()) {
        label->setFrame(CGRectInset(b, H, V));
        imageView2_->setFrame(CGRectZero);
        return;
    }
    auto image = imageForItem(item.get());
    CGSize imageSize = image ? image->size() : CGSizeMake(50, 50);
    if (is<DZTableRightImageItem>(item.get())) {
        label->setFrame(
            CGRectMake(H, V, b.size.width - (2 * H + imageSize.width + 12), b.size.height - 2 * V));
        imageView2_->setFrame(CGRectMake(right(label.get()) + 12,
                                         std::floor(cellHeight / 2 - imageSize.height / 2),
                                         imageSize.width, imageSize.height));
        return;
    }
    CGFloat w = imageSize.width, h = imageSize.height;
    if (auto style =
            item->imageStyle() ? item->imageStyle()->firstStyleOfClass<DZImageStyle>() : nullptr) {
        imageView2_->setContentMode(style->contentMode());
        imageView2_->setClipsToBounds(true);
        imageView2_->setBackgroundColor(UIColor::clearColor().get());
        if (style->size().width != 0) w = style->size().width;
        if (style->size().height != 0) h = style->size().height;
    }
    imageView2_->setFrame(CGRectMake(H, std::floor(cellHeight / 2 - h / 2), w, h));
    label->setFrame(
        CGRectMake(H + w + 12, V, b.size.width - (2 * H + w + 12), b.size.height - 2 * V));
}

void DZTableImageItemCell::didMoveToSuperview() {
    DZTableTextItemCell::didMoveToSuperview();
    if (superview()) imageView2_->setBackgroundColor(backgroundColor().get());
}

void DZTableImageItemCell::setObject(NSObject* object) {
    if (object == item_.get()) return;
    DZTableTextItemCell::setObject(object);
    auto item = as<DZTableImageItem>(object);
    if (!item) return;
    imageView2_->setStyle(item->imageStyle().get());
    imageView2_->setDefaultImage(item->defaultImage().get());
    imageView2_->setUrlPath(item->imageURL().get());
    auto sheet = DZTableStyleSheet();
    if (is<DZTableRightImageItem>(item.get())) {
        textLabel()->setFont(sheet->tableSmallFont().get());
        textLabel()->setTextAlignment(UITextAlignmentCenter);
        setAccessoryType(UITableViewCellAccessoryNone);
    } else {
        textLabel()->setFont(sheet->tableFont().get());
        textLabel()->setTextAlignment(UITextAlignmentLeft);
    }
}

// ---- styled text ----------------------------------------------------------------------------

namespace {

// The text measured in the sheet's body font unless it has its own, at the width.
CGFloat styledHeight(DZStyledText* text, CGFloat width) {
    if (!text) return 0;
    if (!text->font()) text->setFont(DZTableStyleSheet()->font().get());
    text->setWidth(width);
    return text->height();
}

Ref<DZStyledTextLabel> makeStyledLabel(UIView* content) {
    auto label = make<DZStyledTextLabel>();
    label->setContentMode(UIViewContentModeLeft);
    content->addSubview(label);
    return label;
}

}  // namespace

void DZStyledTextTableCell::describeClass(RuntimeClass& c) {
    registerRowHeight<DZStyledTextTableCell>(c);
}

CGFloat DZStyledTextTableCell::tableViewRowHeightForObject(UITableView* tableView,
                                                           NSObject* object) {
    return styledHeight(as<DZStyledText>(object).get(),
                        ::width(tableView) - 2 * tableCellMargin(tableView));
}

bool DZStyledTextTableCell::initWithStyle(UITableViewCellStyle style, NSString* reuseIdentifier) {
    if (!DZTableViewCell::initWithStyle(style, reuseIdentifier)) return false;
    label_ = makeStyledLabel(contentView().get());
    setSelectionStyle(UITableViewCellSelectionStyleNone);
    return true;
}

void DZStyledTextTableCell::layoutSubviews() {
    DZTableViewCell::layoutSubviews();
    label_->setFrame(contentBounds(this));
}

void DZStyledTextTableCell::didMoveToSuperview() {
    DZTableViewCell::didMoveToSuperview();
    if (superview()) label_->setBackgroundColor(backgroundColor().get());
}

Ref<NSObject> DZStyledTextTableCell::object() {
    return label_->text();
}

void DZStyledTextTableCell::setObject(NSObject* object) {
    if (object == label_->text().get()) return;
    label_->setText(as<DZStyledText>(object).get());
}

void DZStyledTextTableItemCell::describeClass(RuntimeClass& c) {
    registerRowHeight<DZStyledTextTableItemCell>(c);
}

CGFloat DZStyledTextTableItemCell::tableViewRowHeightForObject(UITableView* tableView,
                                                               NSObject* object) {
    auto item = as<DZTableStyledTextItem>(object);
    if (!item) return 0;
    UIEdgeInsets padding = item->padding();
    CGFloat width =
        ::width(tableView) - (2 * tableCellMargin(tableView) + padding.left + padding.right);
    // Room for the accessory.
    if (item->URL()) width -= 23;
    return styledHeight(item->text().get(), width) + padding.top + padding.bottom;
}

bool DZStyledTextTableItemCell::initWithStyle(UITableViewCellStyle style,
                                              NSString* reuseIdentifier) {
    if (!DZTableLinkedItemCell::initWithStyle(style, reuseIdentifier)) return false;
    label_ = makeStyledLabel(contentView().get());
    return true;
}

void DZStyledTextTableItemCell::layoutSubviews() {
    DZTableLinkedItemCell::layoutSubviews();
    auto item = as<DZTableStyledTextItem>(item_);
    UIEdgeInsets margin = item ? item->margin() : UIEdgeInsetsZero;
    label_->setFrame(CGRectOffset(contentBounds(this), margin.left, margin.top));
}

void DZStyledTextTableItemCell::didMoveToSuperview() {
    DZTableLinkedItemCell::didMoveToSuperview();
    if (superview()) label_->setBackgroundColor(backgroundColor().get());
}

void DZStyledTextTableItemCell::setObject(NSObject* object) {
    if (object == item_.get()) return;
    DZTableLinkedItemCell::setObject(object);
    auto item = as<DZTableStyledTextItem>(object);
    if (!item) return;
    label_->setText(item->text().get());
    label_->setContentInset(item->padding());
    setNeedsLayout();
}

// ---- DZTableActivityItemCell --------------------------------------------------------------------

bool DZTableActivityItemCell::initWithStyle(UITableViewCellStyle style, NSString* reuseIdentifier) {
    if (!DZTableViewCell::initWithStyle(style, reuseIdentifier)) return false;
    activityLabel_ =
        make<DZActivityLabel>(&DZActivityLabel::initWithStyle, DZActivityLabelStyleGray);
    contentView()->addSubview(activityLabel_);
    setAccessoryType(UITableViewCellAccessoryNone);
    setSelectionStyle(UITableViewCellSelectionStyleNone);
    return true;
}

void DZTableActivityItemCell::layoutSubviews() {
    DZTableViewCell::layoutSubviews();
    CGRect b = contentBounds(this);
    auto table = as<UITableView>(superview());
    if (table && table->style() != UITableViewStylePlain) {
        activityLabel_->setFrame(CGRectInset(b, -1, -1));
    } else {
        activityLabel_->setFrame(b);
    }
}

Ref<NSObject> DZTableActivityItemCell::object() {
    return item_;
}

void DZTableActivityItemCell::setObject(NSObject* object) {
    if (object == item_.get()) return;
    item_ = as<DZTableActivityItem>(object);
    activityLabel_->setText(item_ ? item_->text().get() : nullptr);
}

// ---- DZTableControlCell -------------------------------------------------------------------------

void DZTableControlCell::describeClass(RuntimeClass& c) {
    registerRowHeight<DZTableControlCell>(c);
}

bool DZTableControlCell::shouldConsiderControlIntrinsicSize(UIView* view) {
    return is<UISwitch>(view);
}

bool DZTableControlCell::shouldSizeControlToFit(UIView* view) {
    return is<UITextView>(view) || is<DZTextEditor>(view);
}

bool DZTableControlCell::shouldRespectControlPadding(UIView* view) {
    return is<UITextField>(view);
}

CGFloat DZTableControlCell::tableViewRowHeightForObject(UITableView*, NSObject* object) {
    Ref<UIView> view = as<UIView>(object);
    if (!view) {
        if (auto item = as<DZTableControlItem>(object)) view = item->control();
    }
    CGFloat height = 0;
    if (view) {
        height = ::height(view.get());
        if (height == 0) {
            if (auto textView = as<UITextView>(view)) {
                height = 5 * dzLineHeight(textView->font().get());
            } else if (auto editor = as<DZTextEditor>(view)) {
                height = 5 * dzLineHeight(editor->font().get());
            } else if (auto field = as<UITextField>(view)) {
                height = dzLineHeight(field->font().get()) + 2 * S;
            } else {
                view->sizeToFit();
                height = ::height(view.get());
            }
        }
    }
    return std::max(height, kDZTableDefaultRowHeight);
}

bool DZTableControlCell::initWithStyle(UITableViewCellStyle style, NSString* reuseIdentifier) {
    if (!DZTableViewCell::initWithStyle(style, reuseIdentifier)) return false;
    setSelectionStyle(UITableViewCellSelectionStyleNone);
    return true;
}

void DZTableControlCell::layoutSubviews() {
    DZTableViewCell::layoutSubviews();
    if (!control_) return;
    CGRect b = contentBounds(this);
    if (shouldSizeControlToFit(control_.get())) {
        control_->setFrame(CGRectInset(b, 2, kControlSpacing / 2));
        return;
    }
    CGFloat w = b.size.width - kControlSpacing;
    if (!shouldRespectControlPadding(control_.get())) w -= kControlSpacing;
    CGFloat x = kControlSpacing;
    auto caption = textLabel();
    if (!isEmpty(caption->text().get())) {
        CGFloat fitted = caption->sizeThatFits(b.size).width;
        w -= fitted + kControlSpacing;
        x = fitted + 2 * kControlSpacing;
    }
    if (height(control_.get()) == 0) control_->sizeToFit();
    if (shouldConsiderControlIntrinsicSize(control_.get())) x += w - width(control_.get());
    contentView()->addSubview(control_);
    CGFloat h = height(control_.get());
    if (shouldConsiderControlIntrinsicSize(control_.get())) w = width(control_.get());
    control_->setFrame(CGRectMake(x, std::floor(b.size.height / 2 - h / 2), w, h));
}

Ref<NSObject> DZTableControlCell::object() {
    if (item_) return item_;
    return control_;
}

void DZTableControlCell::setObject(NSObject* object) {
    if (!takeEmbedded(object, item_, control_,
                      [](DZTableControlItem* item) { return Ref<UIView>(item->control()); }))
        return;
    textLabel()->setText(item_ ? item_->caption().get() : nullptr);
    if (control_) {
        control_->setBackgroundColor(UIColor::clearColor().get());
        contentView()->addSubview(control_);
    }
    setNeedsLayout();
}

// ---- DZTableFlushViewCell -----------------------------------------------------------------------

bool DZTableFlushViewCell::initWithStyle(UITableViewCellStyle style, NSString* reuseIdentifier) {
    if (!DZTableViewCell::initWithStyle(style, reuseIdentifier)) return false;
    setSelectionStyle(UITableViewCellSelectionStyleNone);
    return true;
}

void DZTableFlushViewCell::layoutSubviews() {
    DZTableViewCell::layoutSubviews();
    if (view_) view_->setFrame(contentBounds(this));
}

Ref<NSObject> DZTableFlushViewCell::object() {
    if (item_) return item_;
    return view_;
}

void DZTableFlushViewCell::setObject(NSObject* object) {
    if (!takeEmbedded(object, item_, view_, [](DZTableViewItem* item) { return item->view(); }))
        return;
    if (view_) contentView()->addSubview(view_);
    setNeedsLayout();
}
