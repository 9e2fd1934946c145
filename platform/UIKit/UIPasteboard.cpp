#include "UIKit/UIPasteboard.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSString.h"
#include "Foundation/ProcessWide.h"

NSString* const UIPasteboardTypeUTF8PlainText = NS("public.utf8-plain-text");

Ref<UIPasteboard> UIPasteboard::generalPasteboard() {
    static ProcessWide<UIPasteboard> shared;
    return shared.get();
}

bool UIPasteboard::init() {
    values_ = NSMutableDictionary::dictionary();
    return true;
}

void UIPasteboard::setValueForPasteboardType(NSObject* value, NSString* pasteboardType) {
    values_->removeAllObjects();
    if (value && pasteboardType) {
        // Strings are copied: a mutable string changed later does not change the pasteboard.
        Ref<NSObject> kept = value;
        if (auto s = as<NSString>(kept)) kept = s->copy();
        values_->setObject(kept, pasteboardType);
    }
    ++changeCount_;
}

Ref<NSObject> UIPasteboard::valueForPasteboardType(NSString* pasteboardType) {
    return pasteboardType ? values_->objectForKey(pasteboardType) : nullptr;
}

Ref<NSArray> UIPasteboard::pasteboardTypes() {
    return values_->allKeys();
}

Ref<NSString> UIPasteboard::string() {
    return as<NSString>(valueForPasteboardType(UIPasteboardTypeUTF8PlainText));
}

void UIPasteboard::setString(NSString* string) {
    setValueForPasteboardType(string, UIPasteboardTypeUTF8PlainText);
}
