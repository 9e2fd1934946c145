// What the popup editors (the text bar and the post popup) share: when Cancel may close at once,
// the alerts they show, and the navigator state they persist.
#pragma once

#include "Foundation/NSObject.h"

class NSDictionary;
class NSMutableDictionary;
class NSString;
class UIAlertViewDelegate;
class UIViewController;

// Cancel closes without asking on blank text or on the text the editor started with.
bool DZCancelsWithoutAsking(NSString* text, NSString* defaultText);
// "Are you sure you want to cancel?" with Yes (index 0) and No.
void DZShowCancelAlert(UIAlertViewDelegate* delegate);
// An error alert with an Ok button; nothing for an empty message.
void DZShowErrorAlert(NSString* message);

// The state an editor keeps across memory warnings: marked important, the delegate as a
// navigator path, the text and the navigation title.
void DZPersistEditorState(NSMutableDictionary* state, NSObject* delegate, NSString* text,
                          UIViewController* controller);
struct DZEditorState {
    Ref<NSObject> delegate;
    Ref<NSString> text;
};
// Restores the title on the controller; answers the delegate and the text.
DZEditorState DZRestoreEditorState(NSDictionary* state, UIViewController* controller);
