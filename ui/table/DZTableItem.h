// Table items: the small value objects that describe one row of a framework table (texts, the
// URL it leads to, an image URL, a control or view to embed). A data source holds them, maps
// each to a cell class and hands it to the cell. Every item archives with keyed archiving, each
// class writing only its own fields after its base's. Factories are class operations of the
// receiving class, so the field-less subclasses get their own (DZTableButton::itemWithText makes
// a DZTableButton). Main thread only.
#pragma once

#include "Foundation/NSCoder.h"
#include "Foundation/NSObject.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIGeometry.h"

class DZModel;
class DZStyledText;
class DZStyle;
class NSDate;
class NSString;
class UIControl;
class UIImage;
class UIView;

// The factories of each level, declared again by every class that derives from it (a class
// operation builds the receiving class).
#define DZ_TEXT_ITEM_FACTORIES(Cls)                                                       \
    static Ref<Cls> itemWithText(NSString* text) {                                        \
        return textItem<Cls>(text);                                                       \
    }                                                                                     \
    static Ref<Cls> itemWithText(NSString* text, NSString* URL) {                         \
        return textItem<Cls>(text, URL);                                                  \
    }                                                                                     \
    static Ref<Cls> itemWithText(NSString* text, NSString* URL, NSString* accessoryURL) { \
        return textItem<Cls>(text, URL, accessoryURL);                                    \
    }                                                                                     \
    static Ref<Cls> itemWithText(NSString* text, NSObject* delegate, SEL selector) {      \
        return textItem<Cls>(text, delegate, selector);                                   \
    }

#define DZ_CAPTION_ITEM_FACTORIES(Cls)                                                      \
    DZ_TEXT_ITEM_FACTORIES(Cls)                                                             \
    static Ref<Cls> itemWithTextCaption(NSString* text, NSString* caption) {                \
        return captionItem<Cls>(text, caption);                                             \
    }                                                                                       \
    static Ref<Cls> itemWithTextCaption(NSString* text, NSString* caption, NSString* URL) { \
        return captionItem<Cls>(text, caption, URL);                                        \
    }                                                                                       \
    static Ref<Cls> itemWithTextCaption(NSString* text, NSString* caption, NSString* URL,   \
                                        NSString* accessoryURL) {                           \
        return captionItem<Cls>(text, caption, URL, accessoryURL);                          \
    }

#define DZ_SUBTITLE_ITEM_FACTORIES(Cls)                                                       \
    DZ_TEXT_ITEM_FACTORIES(Cls)                                                               \
    static Ref<Cls> itemWithTextSubtitle(NSString* text, NSString* subtitle) {                \
        return subtitleItem<Cls>(text, subtitle, nullptr, nullptr, nullptr, nullptr);         \
    }                                                                                         \
    static Ref<Cls> itemWithTextSubtitle(NSString* text, NSString* subtitle, NSString* URL) { \
        return subtitleItem<Cls>(text, subtitle, nullptr, nullptr, URL, nullptr);             \
    }                                                                                         \
    static Ref<Cls> itemWithTextSubtitle(NSString* text, NSString* subtitle, NSString* URL,   \
                                         NSString* accessoryURL) {                            \
        return subtitleItem<Cls>(text, subtitle, nullptr, nullptr, URL, accessoryURL);        \
    }                                                                                         \
    static Ref<Cls> itemWithTextSubtitleImageURL(NSString* text, NSString* subtitle,          \
                                                 NSString* imageURL, NSString* URL) {         \
        return subtitleItem<Cls>(text, subtitle, imageURL, nullptr, URL, nullptr);            \
    }                                                                                         \
    static Ref<Cls> itemWithTextSubtitleImageURL(NSString* text, NSString* subtitle,          \
                                                 NSString* imageURL, UIImage* defaultImage,   \
                                                 NSString* URL, NSString* accessoryURL) {     \
        return subtitleItem<Cls>(text, subtitle, imageURL, defaultImage, URL, accessoryURL);  \
    }

#define DZ_IMAGE_ITEM_FACTORIES(Cls)                                                          \
    DZ_TEXT_ITEM_FACTORIES(Cls)                                                               \
    static Ref<Cls> itemWithTextImageURL(NSString* text, NSString* imageURL) {                \
        return imageItem<Cls>(text, imageURL, nullptr, nullptr, nullptr);                     \
    }                                                                                         \
    static Ref<Cls> itemWithTextImageURL(NSString* text, NSString* imageURL, NSString* URL) { \
        return imageItem<Cls>(text, imageURL, nullptr, nullptr, URL);                         \
    }                                                                                         \
    static Ref<Cls> itemWithTextImageURL(NSString* text, NSString* imageURL,                  \
                                         UIImage* defaultImage, NSString* URL) {              \
        return imageItem<Cls>(text, imageURL, defaultImage, nullptr, URL);                    \
    }                                                                                         \
    static Ref<Cls> itemWithTextImageURL(NSString* text, NSString* imageURL,                  \
                                         UIImage* defaultImage, DZStyle* imageStyle,          \
                                         NSString* URL) {                                     \
        return imageItem<Cls>(text, imageURL, defaultImage, imageStyle, URL);                 \
    }

class DZTableItem : public NSObject, public NSCoding {
    NS_OBJECT(DZTableItem, NSObject)
    Ref<NSObject> userInfo() { return userInfo_; }
    void setUserInfo(NSObject* info) { userInfo_ = info; }
    void encodeWithCoder(NSCoder* coder) override;
    bool initWithCoder(NSCoder* coder) override;

private:
    Ref<NSObject> userInfo_;
};

class DZTableLinkedItem : public DZTableItem {
    NS_OBJECT(DZTableLinkedItem, DZTableItem)
    Ref<NSString> URL() { return URL_; }
    void setURL(NSString* URL);
    Ref<NSString> accessoryURL() { return accessoryURL_; }
    void setAccessoryURL(NSString* URL);
    // Not owned; the selector is sent to it with the item on selection.
    Ref<NSObject> delegate() { return delegate_.lock(); }
    void setDelegate(NSObject* delegate) { delegate_ = delegate; }
    SEL selector() { return selector_; }
    void setSelector(SEL selector) { selector_ = selector; }
    void encodeWithCoder(NSCoder* coder) override;
    bool initWithCoder(NSCoder* coder) override;

private:
    Ref<NSString> URL_, accessoryURL_;
    Weak<NSObject> delegate_;
    SEL selector_ = nullptr;
};

class DZTableTextItem : public DZTableLinkedItem {
    NS_OBJECT(DZTableTextItem, DZTableLinkedItem)
    DZ_TEXT_ITEM_FACTORIES(DZTableTextItem)
    Ref<NSString> text() { return text_; }
    void setText(NSString* text);
    void encodeWithCoder(NSCoder* coder) override;
    bool initWithCoder(NSCoder* coder) override;

    // The factories' common body: plain initialisation, then the named fields.
    template <class T>
    static Ref<T> textItem(NSString* text, NSString* URL = nullptr,
                           NSString* accessoryURL = nullptr) {
        auto item = make<T>();
        item->setText(text);
        item->setURL(URL);
        item->setAccessoryURL(accessoryURL);
        return item;
    }
    template <class T>
    static Ref<T> textItem(NSString* text, NSObject* delegate, SEL selector) {
        auto item = make<T>();
        item->setText(text);
        item->setDelegate(delegate);
        item->setSelector(selector);
        return item;
    }

private:
    Ref<NSString> text_;
};

class DZTableCaptionItem : public DZTableTextItem {
    NS_OBJECT(DZTableCaptionItem, DZTableTextItem)
    DZ_CAPTION_ITEM_FACTORIES(DZTableCaptionItem)
    Ref<NSString> caption() { return caption_; }
    void setCaption(NSString* caption);
    void encodeWithCoder(NSCoder* coder) override;
    bool initWithCoder(NSCoder* coder) override;

    template <class T>
    static Ref<T> captionItem(NSString* text, NSString* caption, NSString* URL = nullptr,
                              NSString* accessoryURL = nullptr) {
        auto item = textItem<T>(text, URL, accessoryURL);
        item->setCaption(caption);
        return item;
    }

private:
    Ref<NSString> caption_;
};

class DZTableRightCaptionItem : public DZTableCaptionItem {
    NS_OBJECT(DZTableRightCaptionItem, DZTableCaptionItem)
    DZ_CAPTION_ITEM_FACTORIES(DZTableRightCaptionItem)
};

class DZTableSubtextItem : public DZTableCaptionItem {
    NS_OBJECT(DZTableSubtextItem, DZTableCaptionItem)
    DZ_CAPTION_ITEM_FACTORIES(DZTableSubtextItem)
};

class DZTableSubtitleItem : public DZTableTextItem {
    NS_OBJECT(DZTableSubtitleItem, DZTableTextItem)
    DZ_SUBTITLE_ITEM_FACTORIES(DZTableSubtitleItem)
    Ref<NSString> subtitle() { return subtitle_; }
    void setSubtitle(NSString* subtitle);
    Ref<NSString> imageURL() { return imageURL_; }
    void setImageURL(NSString* URL);
    Ref<UIImage> defaultImage() { return defaultImage_; }
    void setDefaultImage(UIImage* image);
    void encodeWithCoder(NSCoder* coder) override;
    bool initWithCoder(NSCoder* coder) override;

    template <class T>
    static Ref<T> subtitleItem(NSString* text, NSString* subtitle, NSString* imageURL,
                               UIImage* defaultImage, NSString* URL, NSString* accessoryURL) {
        auto item = textItem<T>(text, URL, accessoryURL);
        item->setSubtitle(subtitle);
        item->setImageURL(imageURL);
        item->setDefaultImage(defaultImage);
        return item;
    }

private:
    Ref<NSString> subtitle_, imageURL_;
    Ref<UIImage> defaultImage_;
};

class DZTableMoreButton : public DZTableSubtitleItem {
    NS_OBJECT(DZTableMoreButton, DZTableSubtitleItem)
    DZ_SUBTITLE_ITEM_FACTORIES(DZTableMoreButton)
    void dealloc() override;
    bool isLoading() { return isLoading_; }
    void setIsLoading(bool loading) { isLoading_ = loading; }
    // The model asked for more rows; nil asks the controller's.
    Ref<DZModel> model() { return model_; }
    void setModel(DZModel* model);

private:
    bool isLoading_ = false;
    Ref<DZModel> model_;
};

class DZTableMessageItem : public DZTableTextItem {
    NS_OBJECT(DZTableMessageItem, DZTableTextItem)
    static Ref<DZTableMessageItem> itemWithTitle(NSString* title, NSString* caption, NSString* text,
                                                 NSDate* timestamp, NSString* URL);
    static Ref<DZTableMessageItem> itemWithTitle(NSString* title, NSString* caption, NSString* text,
                                                 NSDate* timestamp, NSString* imageURL,
                                                 NSString* URL);
    Ref<NSString> title() { return title_; }
    void setTitle(NSString* title);
    Ref<NSString> caption() { return caption_; }
    void setCaption(NSString* caption);
    Ref<NSDate> timestamp() { return timestamp_; }
    void setTimestamp(NSDate* timestamp);
    Ref<NSString> imageURL() { return imageURL_; }
    void setImageURL(NSString* URL);
    void encodeWithCoder(NSCoder* coder) override;
    bool initWithCoder(NSCoder* coder) override;

private:
    Ref<NSString> title_, caption_;
    Ref<NSDate> timestamp_;
    Ref<NSString> imageURL_;
};

// Field-less looks of a text row.
class DZTableLongTextItem : public DZTableTextItem {
    NS_OBJECT(DZTableLongTextItem, DZTableTextItem)
    DZ_TEXT_ITEM_FACTORIES(DZTableLongTextItem)
};
class DZTableGrayTextItem : public DZTableTextItem {
    NS_OBJECT(DZTableGrayTextItem, DZTableTextItem)
    DZ_TEXT_ITEM_FACTORIES(DZTableGrayTextItem)
};
class DZTableButton : public DZTableTextItem {
    NS_OBJECT(DZTableButton, DZTableTextItem)
    DZ_TEXT_ITEM_FACTORIES(DZTableButton)
};
class DZTableLink : public DZTableTextItem {
    NS_OBJECT(DZTableLink, DZTableTextItem)
    DZ_TEXT_ITEM_FACTORIES(DZTableLink)
};
class DZTableSummaryItem : public DZTableTextItem {
    NS_OBJECT(DZTableSummaryItem, DZTableTextItem)
    DZ_TEXT_ITEM_FACTORIES(DZTableSummaryItem)
};

class DZTableImageItem : public DZTableTextItem {
    NS_OBJECT(DZTableImageItem, DZTableTextItem)
    DZ_IMAGE_ITEM_FACTORIES(DZTableImageItem)
    Ref<NSString> imageURL() { return imageURL_; }
    void setImageURL(NSString* URL);
    Ref<UIImage> defaultImage() { return defaultImage_; }
    void setDefaultImage(UIImage* image);
    Ref<DZStyle> imageStyle() { return imageStyle_; }
    void setImageStyle(DZStyle* style);
    void encodeWithCoder(NSCoder* coder) override;
    bool initWithCoder(NSCoder* coder) override;

    template <class T>
    static Ref<T> imageItem(NSString* text, NSString* imageURL, UIImage* defaultImage,
                            DZStyle* imageStyle, NSString* URL) {
        auto item = textItem<T>(text, URL);
        item->setImageURL(imageURL);
        item->setDefaultImage(defaultImage);
        item->setImageStyle(imageStyle);
        return item;
    }

private:
    Ref<NSString> imageURL_;
    Ref<UIImage> defaultImage_;
    Ref<DZStyle> imageStyle_;
};

class DZTableRightImageItem : public DZTableImageItem {
    NS_OBJECT(DZTableRightImageItem, DZTableImageItem)
    DZ_IMAGE_ITEM_FACTORIES(DZTableRightImageItem)
};

class DZTableActivityItem : public DZTableItem {
    NS_OBJECT(DZTableActivityItem, DZTableItem)
    static Ref<DZTableActivityItem> itemWithText(NSString* text);
    Ref<NSString> text() { return text_; }
    void setText(NSString* text);

private:
    Ref<NSString> text_;
};

// A row of styled text; the text label sits at the margin inside the cell, the text at the
// padding inside its label.
class DZTableStyledTextItem : public DZTableLinkedItem {
    NS_OBJECT(DZTableStyledTextItem, DZTableLinkedItem)
    static Ref<DZTableStyledTextItem> itemWithText(DZStyledText* text);
    static Ref<DZTableStyledTextItem> itemWithText(DZStyledText* text, NSString* URL);
    static Ref<DZTableStyledTextItem> itemWithText(DZStyledText* text, NSString* URL,
                                                   NSString* accessoryURL);
    bool init() override;
    Ref<DZStyledText> text() { return text_; }
    void setText(DZStyledText* text);
    UIEdgeInsets margin() { return margin_; }
    void setMargin(UIEdgeInsets margin) { margin_ = margin; }
    UIEdgeInsets padding() { return padding_; }
    void setPadding(UIEdgeInsets padding) { padding_ = padding; }
    // The text goes under "text" when it can be archived; margin and padding never do.
    void encodeWithCoder(NSCoder* coder) override;
    bool initWithCoder(NSCoder* coder) override;

private:
    Ref<DZStyledText> text_;
    UIEdgeInsets margin_{};
    UIEdgeInsets padding_{6, 6, 6, 6};
};

class DZTableControlItem : public DZTableItem {
    NS_OBJECT(DZTableControlItem, DZTableItem)
    static Ref<DZTableControlItem> itemWithCaption(NSString* caption, UIControl* control);
    Ref<NSString> caption() { return caption_; }
    void setCaption(NSString* caption);
    Ref<UIControl> control() { return control_; }
    void setControl(UIControl* control);
    void encodeWithCoder(NSCoder* coder) override;
    bool initWithCoder(NSCoder* coder) override;

private:
    Ref<NSString> caption_;
    Ref<UIControl> control_;
};

class DZTableViewItem : public DZTableItem {
    NS_OBJECT(DZTableViewItem, DZTableItem)
    static Ref<DZTableViewItem> itemWithCaption(NSString* caption, UIView* view);
    Ref<NSString> caption() { return caption_; }
    void setCaption(NSString* caption);
    Ref<UIView> view() { return view_; }
    void setView(UIView* view);
    void encodeWithCoder(NSCoder* coder) override;
    bool initWithCoder(NSCoder* coder) override;

private:
    Ref<NSString> caption_;
    Ref<UIView> view_;
};
