#include "ui/table/DZTableItem.h"

#include "Foundation/NSDate.h"
#include "Foundation/NSString.h"
#include "UIKit/UIControl.h"
#include "UIKit/UIImage.h"
#include "ui/core/DZModel.h"
#include "ui/core/DZStyle.h"
#include "ui/style/DZStyledText.h"

namespace {

Ref<NSString> copied(NSString* s) {
    return s ? s->copy() : nullptr;
}

// Nil fields are left out of the archive.
void encodeIfSet(NSCoder* coder, NSObject* value, NSString* key) {
    if (value) coder->encodeObject(value, key);
}

template <class T>
Ref<T> decoded(NSCoder* coder, NSString* key) {
    return as<T>(coder->decodeObjectForKey(key));
}

}  // namespace

// ---- DZTableItem --------------------------------------------------------------------------------

void DZTableItem::encodeWithCoder(NSCoder*) {}

bool DZTableItem::initWithCoder(NSCoder*) {
    return init();
}

// ---- DZTableLinkedItem --------------------------------------------------------------------------

void DZTableLinkedItem::setURL(NSString* URL) {
    URL_ = copied(URL);
}

void DZTableLinkedItem::setAccessoryURL(NSString* URL) {
    accessoryURL_ = copied(URL);
}

void DZTableLinkedItem::encodeWithCoder(NSCoder* coder) {
    DZTableItem::encodeWithCoder(coder);
    encodeIfSet(coder, URL_.get(), NS("URL"));
    encodeIfSet(coder, accessoryURL_.get(), NS("accessoryURL"));
}

bool DZTableLinkedItem::initWithCoder(NSCoder* coder) {
    if (!DZTableItem::initWithCoder(coder)) return false;
    setURL(decoded<NSString>(coder, NS("URL")).get());
    setAccessoryURL(decoded<NSString>(coder, NS("accessoryURL")).get());
    return true;
}

// ---- DZTableTextItem ----------------------------------------------------------------------------

void DZTableTextItem::setText(NSString* text) {
    text_ = copied(text);
}

void DZTableTextItem::encodeWithCoder(NSCoder* coder) {
    DZTableLinkedItem::encodeWithCoder(coder);
    encodeIfSet(coder, text_.get(), NS("text"));
}

bool DZTableTextItem::initWithCoder(NSCoder* coder) {
    if (!DZTableLinkedItem::initWithCoder(coder)) return false;
    setText(decoded<NSString>(coder, NS("text")).get());
    return true;
}

// ---- DZTableCaptionItem -------------------------------------------------------------------------

void DZTableCaptionItem::setCaption(NSString* caption) {
    caption_ = copied(caption);
}

void DZTableCaptionItem::encodeWithCoder(NSCoder* coder) {
    DZTableTextItem::encodeWithCoder(coder);
    encodeIfSet(coder, caption_.get(), NS("caption"));
}

bool DZTableCaptionItem::initWithCoder(NSCoder* coder) {
    if (!DZTableTextItem::initWithCoder(coder)) return false;
    setCaption(decoded<NSString>(coder, NS("caption")).get());
    return true;
}

// ---- DZTableSubtitleItem ------------------------------------------------------------------------

void DZTableSubtitleItem::setSubtitle(NSString* subtitle) {
    subtitle_ = copied(subtitle);
}

void DZTableSubtitleItem::setImageURL(NSString* URL) {
    imageURL_ = copied(URL);
}

void DZTableSubtitleItem::setDefaultImage(UIImage* image) {
    defaultImage_ = image;
}

void DZTableSubtitleItem::encodeWithCoder(NSCoder* coder) {
    DZTableTextItem::encodeWithCoder(coder);
    encodeIfSet(coder, subtitle_.get(), NS("subtitle"));
    encodeIfSet(coder, imageURL_.get(), NS("imageURL"));
}

bool DZTableSubtitleItem::initWithCoder(NSCoder* coder) {
    if (!DZTableTextItem::initWithCoder(coder)) return false;
    setSubtitle(decoded<NSString>(coder, NS("subtitle")).get());
    setImageURL(decoded<NSString>(coder, NS("imageURL")).get());
    return true;
}

// ---- DZTableMoreButton --------------------------------------------------------------------------

void DZTableMoreButton::dealloc() {
    model_ = nullptr;
    DZTableSubtitleItem::dealloc();
}

void DZTableMoreButton::setModel(DZModel* model) {
    model_ = model;
}

// ---- DZTableMessageItem -------------------------------------------------------------------------

Ref<DZTableMessageItem> DZTableMessageItem::itemWithTitle(NSString* title, NSString* caption,
                                                          NSString* text, NSDate* timestamp,
                                                          NSString* URL) {
    return itemWithTitle(title, caption, text, timestamp, nullptr, URL);
}

Ref<DZTableMessageItem> DZTableMessageItem::itemWithTitle(NSString* title, NSString* caption,
                                                          NSString* text, NSDate* timestamp,
                                                          NSString* imageURL, NSString* URL) {
    auto item = make<DZTableMessageItem>();
    item->setTitle(title);
    item->setCaption(caption);
    item->setText(text);
    item->setTimestamp(timestamp);
    item->setImageURL(imageURL);
    item->setURL(URL);
    return item;
}

void DZTableMessageItem::setTitle(NSString* title) {
    title_ = copied(title);
}

void DZTableMessageItem::setCaption(NSString* caption) {
    caption_ = copied(caption);
}

void DZTableMessageItem::setTimestamp(NSDate* timestamp) {
    timestamp_ = timestamp;
}

void DZTableMessageItem::setImageURL(NSString* URL) {
    imageURL_ = copied(URL);
}

void DZTableMessageItem::encodeWithCoder(NSCoder* coder) {
    DZTableTextItem::encodeWithCoder(coder);
    encodeIfSet(coder, title_.get(), NS("title"));
    encodeIfSet(coder, caption_.get(), NS("caption"));
    encodeIfSet(coder, timestamp_.get(), NS("timestamp"));
    encodeIfSet(coder, imageURL_.get(), NS("imageURL"));
}

bool DZTableMessageItem::initWithCoder(NSCoder* coder) {
    if (!DZTableTextItem::initWithCoder(coder)) return false;
    setTitle(decoded<NSString>(coder, NS("title")).get());
    setCaption(decoded<NSString>(coder, NS("caption")).get());
    setTimestamp(decoded<NSDate>(coder, NS("timestamp")).get());
    setImageURL(decoded<NSString>(coder, NS("imageURL")).get());
    return true;
}

// ---- DZTableImageItem ---------------------------------------------------------------------------

void DZTableImageItem::setImageURL(NSString* URL) {
    imageURL_ = copied(URL);
}

void DZTableImageItem::setDefaultImage(UIImage* image) {
    defaultImage_ = image;
}

void DZTableImageItem::setImageStyle(DZStyle* style) {
    imageStyle_ = style;
}

void DZTableImageItem::encodeWithCoder(NSCoder* coder) {
    DZTableTextItem::encodeWithCoder(coder);
    encodeIfSet(coder, imageURL_.get(), NS("imageURL"));
}

bool DZTableImageItem::initWithCoder(NSCoder* coder) {
    if (!DZTableTextItem::initWithCoder(coder)) return false;
    setImageURL(decoded<NSString>(coder, NS("imageURL")).get());
    return true;
}

// ---- DZTableActivityItem ------------------------------------------------------------------------

Ref<DZTableActivityItem> DZTableActivityItem::itemWithText(NSString* text) {
    auto item = make<DZTableActivityItem>();
    item->setText(text);
    return item;
}

void DZTableActivityItem::setText(NSString* text) {
    text_ = copied(text);
}

// ---- DZTableStyledTextItem ----------------------------------------------------------------------

Ref<DZTableStyledTextItem> DZTableStyledTextItem::itemWithText(DZStyledText* text) {
    return itemWithText(text, nullptr, nullptr);
}

Ref<DZTableStyledTextItem> DZTableStyledTextItem::itemWithText(DZStyledText* text, NSString* URL) {
    return itemWithText(text, URL, nullptr);
}

Ref<DZTableStyledTextItem> DZTableStyledTextItem::itemWithText(DZStyledText* text, NSString* URL,
                                                               NSString* accessoryURL) {
    auto item = make<DZTableStyledTextItem>();
    item->setText(text);
    item->setURL(URL);
    item->setAccessoryURL(accessoryURL);
    return item;
}

bool DZTableStyledTextItem::init() {
    if (!DZTableLinkedItem::init()) return false;
    margin_ = UIEdgeInsetsZero;
    padding_ = UIEdgeInsetsMake(6, 6, 6, 6);
    return true;
}

void DZTableStyledTextItem::setText(DZStyledText* text) {
    text_ = text;
}

void DZTableStyledTextItem::encodeWithCoder(NSCoder* coder) {
    DZTableLinkedItem::encodeWithCoder(coder);
    // A styled text that cannot be archived is left out rather than failing the whole archive.
    if (dynamic_cast<NSCoding*>(text_.get())) coder->encodeObject(text_.get(), NS("text"));
}

bool DZTableStyledTextItem::initWithCoder(NSCoder* coder) {
    if (!DZTableLinkedItem::initWithCoder(coder)) return false;
    margin_ = UIEdgeInsetsZero;
    padding_ = UIEdgeInsetsMake(6, 6, 6, 6);
    setText(decoded<DZStyledText>(coder, NS("text")).get());
    return true;
}

// ---- DZTableControlItem -------------------------------------------------------------------------

Ref<DZTableControlItem> DZTableControlItem::itemWithCaption(NSString* caption, UIControl* control) {
    auto item = make<DZTableControlItem>();
    item->setCaption(caption);
    item->setControl(control);
    return item;
}

void DZTableControlItem::setCaption(NSString* caption) {
    caption_ = copied(caption);
}

void DZTableControlItem::setControl(UIControl* control) {
    control_ = control;
}

void DZTableControlItem::encodeWithCoder(NSCoder* coder) {
    DZTableItem::encodeWithCoder(coder);
    encodeIfSet(coder, caption_.get(), NS("caption"));
    encodeIfSet(coder, control_.get(), NS("control"));
}

bool DZTableControlItem::initWithCoder(NSCoder* coder) {
    if (!DZTableItem::initWithCoder(coder)) return false;
    setCaption(decoded<NSString>(coder, NS("caption")).get());
    setControl(decoded<UIControl>(coder, NS("control")).get());
    return true;
}

// ---- DZTableViewItem ----------------------------------------------------------------------------

Ref<DZTableViewItem> DZTableViewItem::itemWithCaption(NSString* caption, UIView* view) {
    auto item = make<DZTableViewItem>();
    item->setCaption(caption);
    item->setView(view);
    return item;
}

void DZTableViewItem::setCaption(NSString* caption) {
    caption_ = copied(caption);
}

void DZTableViewItem::setView(UIView* view) {
    view_ = view;
}

void DZTableViewItem::encodeWithCoder(NSCoder* coder) {
    DZTableItem::encodeWithCoder(coder);
    encodeIfSet(coder, caption_.get(), NS("caption"));
    encodeIfSet(coder, view_.get(), NS("view"));
}

bool DZTableViewItem::initWithCoder(NSCoder* coder) {
    if (!DZTableItem::initWithCoder(coder)) return false;
    setCaption(decoded<NSString>(coder, NS("caption")).get());
    setView(decoded<UIView>(coder, NS("view")).get());
    return true;
}
