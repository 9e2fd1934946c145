#include "ui/table/DZComposeSupport.h"

#include "Foundation/NSDictionary.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "UIKit/UIAlertView.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UIViewController.h"
#include "ui/core/DZGlobalCore.h"
#include "ui/core/DZNavigator.h"
#include "ui/core/DZStringAdditions.h"

namespace {

Ref<NSString> localized(NSString* key) {
    return DZBundleLocalizedString(key, NS(""));
}

}  // namespace

bool DZCancelsWithoutAsking(NSString* text, NSString* defaultText) {
    return isEmptyOrWhitespace(text) || (defaultText && text && text->isEqualToString(defaultText));
}

void DZShowCancelAlert(UIAlertViewDelegate* delegate) {
    auto alert = make<UIAlertView>(&UIAlertView::initWithTitle, localized(NS("Cancel")).get(),
                                   localized(NS("Are you sure you want to cancel?")).get(),
                                   delegate, localized(NS("Yes")).get(),
                                   std::initializer_list<NSString*>{localized(NS("No")).get()});
    alert->show();
}

void DZShowErrorAlert(NSString* message) {
    if (!message || message->length() == 0) return;
    auto alert =
        make<UIAlertView>(&UIAlertView::initWithTitle, localized(NS("Error")).get(), message,
                          nullptr, localized(NS("Ok")).get(), std::initializer_list<NSString*>{});
    alert->show();
}

void DZPersistEditorState(NSMutableDictionary* state, NSObject* delegate, NSString* text,
                          UIViewController* controller) {
    state->setObject(NSNumber::numberWithBool(true).get(), NS("__important__"));
    if (delegate)
        if (auto path = DZNavigator::navigator()->pathForObject(delegate))
            state->setObject(path.get(), NS("delegate"));
    if (text) state->setObject(text, NS("text"));
    if (auto title = controller->navigationItem()->title())
        state->setObject(title.get(), NS("title"));
}

DZEditorState DZRestoreEditorState(NSDictionary* state, UIViewController* controller) {
    DZEditorState restored;
    if (!state) return restored;
    if (auto path = as<NSString>(state->objectForKey(NS("delegate"))))
        restored.delegate = DZNavigator::navigator()->objectForPath(path.get());
    if (auto title = as<NSString>(state->objectForKey(NS("title"))))
        controller->navigationItem()->setTitle(title.get());
    if (auto text = as<NSString>(state->objectForKey(NS("text")))) restored.text = text->copy();
    return restored;
}
