// The pasteboard: the general pasteboard that copy and paste share across the system, holding
// one item of values by type ("public.utf8-plain-text" ...). Main thread.
#pragma once

#include "Foundation/NSObject.h"

class NSArray;
class NSMutableDictionary;
class NSString;

class UIPasteboard : public NSObject {
    NS_OBJECT(UIPasteboard, NSObject)
    // The shared pasteboard, made on first use.
    static Ref<UIPasteboard> generalPasteboard();

    bool init() override;
    // Replaces what the pasteboard holds by the one value of the type; nil clears it.
    // setValue:forPasteboardType: (named apart from key-value coding's setValue:forKey:).
    void setValueForPasteboardType(NSObject* value, NSString* pasteboardType);
    // nil when nothing of the type is held.
    Ref<NSObject> valueForPasteboardType(NSString* pasteboardType);
    // The types held, in the order they were set.
    Ref<NSArray> pasteboardTypes();
    // The plain text held, nil when none.
    Ref<NSString> string();
    void setString(NSString* string);
    // Counts every change of the contents.
    NSInteger changeCount() { return changeCount_; }

private:
    Ref<NSMutableDictionary> values_;
    NSInteger changeCount_ = 0;
};

// "public.utf8-plain-text"
extern NSString* const UIPasteboardTypeUTF8PlainText;
