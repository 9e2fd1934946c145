#include "Classes/Interfaces/PostingInterfaces.h"

#include "Classes/Interfaces/InterfaceKit.h"
#include "Classes/LoginViewController.h"
#include "Classes/PostController.h"
#include "Classes/PostSectionController.h"
#include "Classes/PostStepController.h"
#include "Classes/ReplyViewController.h"
#include "Classes/ValidationViewController.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSString.h"
#include "QuartzCore/CALayer.h"
#include "UIKit/UIActivityIndicatorView.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UILabel.h"
#include "UIKit/UINib.h"
#include "UIKit/UITextField.h"
#include "UIKit/UITextView.h"

using namespace interface;

namespace {

// A screen of the Post tab: 480 less the status, navigation and tab bars.
constexpr CGFloat kPostTabHeight = 367;

Ref<UIView> viewOfHeight(CGFloat height) {
    auto view = screenView();
    view->setFrame(CGRectMake(0, 0, kScreenWidth, height));
    return view;
}

Ref<UIActivityIndicatorView> addSpinner(UIView* parent, CGRect frame) {
    auto spinner = make<UIActivityIndicatorView>(
        &UIActivityIndicatorView::initWithActivityIndicatorStyle, UIActivityIndicatorViewStyleGray);
    spinner->setFrame(frame);
    parent->addSubview(spinner);
    return spinner;
}

Ref<NSArray> buildValidation(NSObject* owner, NSDictionary*) {
    auto view = screenView();
    auto screen = as<ValidationViewController>(owner);
    addNavigationBar(
        view, NS("Verification"),
        barButton(NS("Cancel"), UIBarButtonItemStyleBordered, screen.get(), "cancelButtonPressed:"),
        barButton(NS("Done"), UIBarButtonItemStyleDone, screen.get(), "doneButtonPressed:"));
    addLabel(view, CGRectMake(10, 130, 300, 21), NS("Type the two words:"), 15, true);
    auto answer = addTextField(view, CGRectMake(10, 156, 300, 31), NS("The two words"));
    answer->setReturnKeyType(UIReturnKeyDone);
    auto spinner = addSpinner(view, CGRectMake(150, 83, 20, 20));
    if (screen) {
        screen->setVerificationTextField(answer);
        screen->setActivityIndicator(spinner);
        screen->setView(view);
    }
    return NSArray::arrayWithObject(view);
}

Ref<NSArray> buildReply(NSObject* owner, NSDictionary*) {
    auto view = viewOfHeight(416);
    auto screen = as<ReplyViewController>(owner);
    addLabel(view, CGRectMake(10, 10, 300, 21), NS("Your Email"), 15, true);
    auto email = addTextField(view, CGRectMake(10, 34, 300, 31), NS("you@example.test"));
    email->setKeyboardType(UIKeyboardTypeEmailAddress);
    auto message = make<UITextView>(&UITextView::initWithFrame, CGRectMake(10, 76, 300, 150));
    view->addSubview(message);
    auto placeholder = addLabel(view, CGRectMake(18, 82, 280, 21), NS("Your message"), 15);
    placeholder->setTextColor(UIColor::lightGrayColor());
    if (screen) {
        screen->setEmailTextField(email);
        screen->setMessageTextView(message);
        screen->setMessageLabel(placeholder);
        screen->setView(view);
    }
    return NSArray::arrayWithObject(view);
}

Ref<NSArray> buildLogin(NSObject* owner, NSDictionary*) {
    auto view = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, kScreenWidth, 600));
    view->setBackgroundColor(UIColor::colorWithWhite(0.92f, 1));
    auto screen = as<LoginViewController>(owner);
    auto title = addLabel(view, CGRectMake(20, 16, 280, 24), NS("Bazaarnest Account"), 19, true);
    title->setTextAlignment(UITextAlignmentCenter);
    auto name = addTextField(view, CGRectMake(40, 56, 250, 31), NS("Email or handle"));
    name->setKeyboardType(UIKeyboardTypeEmailAddress);
    auto password = addTextField(view, CGRectMake(40, 98, 250, 31), NS("Password"));
    password->setSecureTextEntry(true);
    auto status = addLabel(view, CGRectMake(40, 140, 210, 31), nullptr, 15, true);
    auto spinner = addSpinner(view, CGRectMake(260, 146, 20, 20));
    if (screen) {
        screen->setUsernameTextField(name);
        screen->setPasswordTextField(password);
        screen->setStatusLabel(status);
        screen->setActivityIndicator(spinner);
        screen->setView(view);
    }
    return NSArray::arrayWithObject(view);
}

Ref<NSArray> buildPostSection(NSObject* owner, NSDictionary*) {
    auto view = viewOfHeight(kPostTabHeight);
    auto screen = as<PostSectionController>(owner);
    auto head = addLabel(view, CGRectMake(0, 0, kScreenWidth, 30), nullptr, 17, true);
    auto table = addTable(view, CGRectMake(0, 30, kScreenWidth, kPostTabHeight - 30),
                          UITableViewStylePlain, owner);
    auto login = addButton(view, CGRectMake(40, 120, 240, 37), NS("Login to Your Account"), owner,
                           "loginButtonPressed:");
    auto noAccount = addButton(view, CGRectMake(40, 172, 240, 37), NS("Post without Account"),
                               owner, "postNoAccountButtonPressed:");
    login->setHidden(true);
    noAccount->setHidden(true);
    if (screen) {
        screen->setTableHeadLabel(head);
        screen->setMyTableView(table);
        screen->setLoginButton(login);
        screen->setPostNoAccountButton(noAccount);
        screen->setView(view);
    } else if (auto plain = as<UIViewController>(owner)) {
        plain->setView(view);
    }
    return NSArray::arrayWithObject(view);
}

Ref<NSArray> buildPostStep(NSObject* owner, NSDictionary*) {
    auto view = viewOfHeight(kPostTabHeight);
    auto table = addTable(view, CGRectMake(0, 0, kScreenWidth, kPostTabHeight),
                          UITableViewStylePlain, owner);
    if (auto screen = as<PostStepController>(owner)) {
        screen->setMyTableView(table);
        screen->setView(view);
    }
    return NSArray::arrayWithObject(view);
}

Ref<NSArray> buildCompose(NSObject* owner, NSDictionary*) {
    auto view = viewOfHeight(kPostTabHeight);
    auto screen = as<PostController>(owner);
    auto title = addTextField(view, CGRectMake(10, 8, 300, 31), NS("Title"));
    auto location = addTextField(view, CGRectMake(135, 8, 175, 31), NS("Location"));
    auto priceLabel = addLabel(view, CGRectMake(10, 47, 50, 31), NS("Price"), 15, true);
    auto price = addTextField(view, CGRectMake(60, 47, 90, 31), NS("$"));
    price->setKeyboardType(UIKeyboardTypeNumbersAndPunctuation);
    auto emailLabel = addLabel(view, CGRectMake(158, 47, 50, 31), NS("Email"), 15, true);
    auto email = addTextField(view, CGRectMake(205, 47, 105, 31), NS("Email"));
    email->setKeyboardType(UIKeyboardTypeEmailAddress);
    auto privacy =
        addButton(view, CGRectMake(205, 47, 105, 31), NS("Anonymous"), owner, "emailAction:");
    auto message = make<UITextView>(&UITextView::initWithFrame, CGRectMake(10, 86, 300, 112));
    // The description's box, drawn as the text fields above draw theirs: on the white screen an
    // empty text view is otherwise nowhere to be seen.
    message->layer()->setBorderWidth(1);
    message->layer()->setBorderColor(UIColor::colorWithWhite(0.55f, 1)->CGColor());
    message->layer()->setCornerRadius(6);
    view->addSubview(message);
    Ref<UIButton> slots[4];
    for (int i = 0; i < 4; ++i) {
        slots[i] = addButton(view, CGRectMake(10 + i * 76, 206, 72, 72), NS("Add Picture"), owner,
                             "imageAction:");
        // "Add Picture" is wider than a slot: two lines, which the compose screen wraps by word
        // and centres as it appears.
        slots[i]->titleLabel()->setNumberOfLines(2);
        slots[i]->setHidden(true);
    }
    auto post = addButton(view, CGRectMake(10, 300, 300, 37), nullptr, nullptr, nullptr);
    post->setHidden(true);
    if (screen) {
        screen->setTitleField(title);
        screen->setLocationField(location);
        screen->setPriceLabel(priceLabel);
        screen->setPriceField(price);
        screen->setEmailLabel(emailLabel);
        screen->setEmailField(email);
        screen->setEmailButton(privacy);
        screen->setMessageView(message);
        screen->setButton1(slots[0]);
        screen->setButton2(slots[1]);
        screen->setButton3(slots[2]);
        screen->setButton4(slots[3]);
        screen->setPostButton(post);
        screen->setView(view);
    }
    return NSArray::arrayWithObject(view);
}

}  // namespace

void registerPostingInterfaces() {
    registerInterface(NS("ValidationViewController"), buildValidation);
    registerInterface(NS("ReplyViewController"), buildReply);
    registerInterface(NS("LoginViewController"), buildLogin);
    registerInterface(NS("PostSectionController"), buildPostSection);
    registerInterface(NS("PostCatagoryController"), buildPostStep);
    registerInterface(NS("PostLocationController"), buildPostStep);
    registerInterface(NS("PostController"), buildCompose);
}
