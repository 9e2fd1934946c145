#include "ui/style/DZLabel.h"

#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIFont.h"
#include "ui/core/DZStyle.h"
#include "ui/core/DZStyleContext.h"
#include "ui/core/DZStyleSheet.h"
#include "ui/style/DZDefaultStyleSheet.h"

void DZLabel::describeClass(RuntimeClass& c) {
    c.implements({"textForLayerWithStyle:"});
}

bool DZLabel::initWithText(NSString* text) {
    if (!init()) return false;
    setText(text);
    return true;
}

void DZLabel::setText(NSString* text) {
    if (objectsEqual(text, text_)) return;
    text_ = text ? text->copy() : nullptr;
    setNeedsDisplay();
}

Ref<UIFont> DZLabel::font() {
    if (!font_)
        if (auto sheet = as<DZDefaultStyleSheet>(DZStyleSheet::globalStyleSheet()))
            font_ = sheet->font();
    return font_;
}

void DZLabel::setFont(UIFont* font) {
    if (font == font_.get()) return;
    font_ = font;
    setNeedsDisplay();
}

Ref<DZStyleContext> DZLabel::contextIn(CGRect frame) {
    auto context = make<DZStyleContext>();
    context->setDelegate(this);
    context->setFrame(frame);
    context->setContentFrame(frame);
    // The field as it stands: the text step takes its own font when the label has none.
    context->setFont(font_);
    return context;
}

void DZLabel::drawRect(CGRect) {
    auto context = contextIn(bounds());
    if (auto style = this->style()) style->draw(context);
    if (!context->didDrawContent()) drawContent(bounds());
}

CGSize DZLabel::sizeThatFits(CGSize size) {
    auto style = this->style();
    if (!style) return CGSizeZero;
    return style->addToSize(CGSizeZero, contextIn(CGRectMake(0, 0, size.width, size.height)));
}
