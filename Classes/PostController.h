// The "Compose" screen of the posting flow: title, price, location, e-mail, description and up
// to four photos. "Post" fills the site's compose form and submits it, uploads each photo
// through the site's photo page, confirms the posting, accepts the terms of use, lets the user
// answer a captcha when the site asks for one, and reports the result. It is a small state
// machine over the site's reply pages. Made from the interface "PostController".
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "Classes/ValidationViewController.h"
#include "UIKit/UIActionSheet.h"
#include "UIKit/UIImagePickerController.h"
#include "UIKit/UITextField.h"
#include "UIKit/UITextView.h"
#include "UIKit/UIViewController.h"
#include "external/nk-http-request/Classes/NKHTTPRequestDelegate.h"
#include "ui/style/DZButton.h"

#include "Classes/PostInfo.h"
#include "Classes/PostPage.h"
#include "Classes/RequestInFlight.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIImage.h"
#include "UIKit/UILabel.h"

class PostController : public UIViewController,
                       public NKHTTPRequestDelegate,
                       public UITextFieldDelegate,
                       public UITextViewDelegate,
                       public UIActionSheetDelegate,
                       public UIImagePickerControllerDelegate,
                       public UINavigationControllerDelegate,
                       public ValidationViewDelegate {
    NS_OBJECT(PostController, UIViewController)
    static void describeClass(RuntimeClass& c);

public:
    // 0 before the first submit; 1 after the compose form, a photo or the photo finish; 2 after
    // the confirm post; 3 after the captcha answer.
    enum : int32_t {
        kStateEditing = 0,
        kStateSubmitted = 1,
        kStateConfirmed = 2,
        kStateCaptcha = 3
    };
    enum : NSInteger { kPhotoSheetTag = 0, kPrivacySheetTag = 1 };

    void viewDidLoad() override;
    // What the fields show is kept before the view is let go (another tab, the photo picker).
    void viewWillUnload() override;

    void previewButtonPressed(NSObject* sender);
    bool textFieldShouldReturn(UITextField* field) override;
    void textFieldDidEndEditing(UITextField* field) override;
    void textViewDidEndEditing(UITextView* view) override;

    // Runs post() inside a guard: any exception is reported as "Unknown Error". No tap goes
    // out while a step of the posting is out.
    void postButtonPressed(NSObject* sender);
    void post();
    void sendImage();
    void uploadImage(int32_t slot);
    void finishSendImage();
    void postSuccess();

    void imageAction(NSObject* sender);
    void emailAction(NSObject* sender);
    void actionSheetClickedButtonAtIndex(UIActionSheet* sheet, NSInteger index) override;
    void imageActionSheetClickedButtonAtIndex(UIActionSheet* sheet, NSInteger index);
    void emailActionSheetClickedButtonAtIndex(UIActionSheet* sheet, NSInteger index);
    void startImagePicker(int32_t sourceType);
    void removePicture();
    void imagePickerControllerDidFinishPickingImage(UIImagePickerController* picker, UIImage* image,
                                                    NSDictionary* info) override;
    void imagePickerControllerDidCancel(UIImagePickerController* picker) override;

    void validationSuccess(NSString* code) override;
    void validationCanceled() override;

    void requestStarted(NKHTTPRequest* request) override;
    void requestReceivedResponseHeaders(NKHTTPRequest*) override {}
    void requestFinished(NKHTTPRequest* request) override;
    void requestFailed(NKHTTPRequest* request) override;

    // The "Anonymize" button's title: the site's relay address on its mail domain.
    static Ref<NSString> anonymizeTitle();

    // ---- outlets and properties ----------------------------------------------------------
#define POST_OUTLET(Type, getter, setter) \
    Ref<Type> getter() {                  \
        return getter##_;                 \
    }                                     \
    void setter(Type* v) {                \
        getter##_ = v;                    \
    }
    POST_OUTLET(UITextField, titleField, setTitleField)
    POST_OUTLET(UITextField, priceField, setPriceField)
    POST_OUTLET(UITextField, locationField, setLocationField)
    POST_OUTLET(UITextField, emailField, setEmailField)
    POST_OUTLET(UITextView, messageView, setMessageView)
    POST_OUTLET(UILabel, priceLabel, setPriceLabel)
    POST_OUTLET(UILabel, emailLabel, setEmailLabel)
    POST_OUTLET(UIButton, emailButton, setEmailButton)
    POST_OUTLET(UIButton, button1, setButton1)
    POST_OUTLET(UIButton, button2, setButton2)
    POST_OUTLET(UIButton, button3, setButton3)
    POST_OUTLET(UIButton, button4, setButton4)
    POST_OUTLET(UIButton, postButton, setPostButton)
    POST_OUTLET(PostInfo, myInfo, setMyInfo)
#undef POST_OUTLET
    Ref<PostInfo> postInfo() {
        return postInfo_;
    }
    int32_t state() {
        return state_;
    }
    bool showPrice() {
        return showPrice_;
    }
    // The photo of slot 1 to 4, or nil.
    Ref<UIImage> image(int32_t slot);
    Ref<UIButton> pressedButton() {
        return pressedButton_.lock();
    }
    int32_t sendImageIndex() {
        return sendImageIndex_;
    }
    Ref<UIView> activityLabel() {
        return activityLabel_;
    }
    // The styled "Post" button laid over the placeholder.
    Ref<DZButton> styledPostButton() {
        return styledPostButton_;
    }

    void dealloc() override;

private:
    Ref<UIButton> slotButton(int32_t index);
    // The slot (0 to 3) of a photo button, -1 for none.
    int32_t slotOf(UIButton* button);
    void keepTexts();
    // The photos sent to this posting's session on the site, shared with any compose screen
    // made again for it.
    Ref<NSMutableArray> photosSent();
    // The site may hold the photo already: it is not sent again, and stays in its slot.
    bool isSent(UIImage* image);
    void replyInSubmittedState(PostPage* page, NSString* text, int32_t type);
    void replyInConfirmedState(PostPage* page, NSString* text, int32_t type);
    void replyInCaptchaState(NSString* text);
    // The answer leads on to a further step of the chain (its form, or the form again with a
    // word on it): the posting is neither made nor refused yet.
    bool leadsOn(int32_t type);
    // What the answer says the site did with the posting: published it, or mailed the link
    // that publishes it. None for an answer that leads on (a step's form) or refuses it.
    enum : int32_t { kOutcomeNone = 0, kOutcomePublished = 1, kOutcomeMailed = 2 };
    int32_t outcomeOf(NSString* text, int32_t type);
    // Tells the person the posting's outcome, if the answer holds one, and ends the session.
    bool tellOutcome(NSString* text, int32_t type);
    // The site's words on a posting it did not take; after Back they name the ad.
    void showRefusal(NSString* words);
    // The person is not on this form (it was left by Back): what is told of the posting may
    // reach them over another ad's form.
    bool awayFromForm();
    // The words, after a line naming the ad (`naming`: its title, then the words) when told
    // away from the form, or on a form whose title no longer reads as the ad sent.
    Ref<NSString> aboutTheAd(NSString* naming, NSString* words);
    // The session is over: its photos are the form's own again, and its screens go.
    void returnToStart();
    // The stack holds nothing but screens it held as the last step went out (the person went
    // back along them, no further than the session's first step, and opened none since).
    bool onSessionScreensOnly(UINavigationController* nav);
    // The site's answer reads as a posting made: "Your posting can be seen", never with an
    // error status.
    bool isSuccess(NSString* text, bool ignoringCase);
    void presentCaptcha(PostPage* page);
    // Runs a step of the flow inside the guard (see postButtonPressed).
    void guarded(const std::function<void()>& step);
    // Posts the page's form inputs with the submit button's value (and the captcha's code),
    // moving to `nextState`.
    void postConfirmInputs(PostPage* page, NSString* submitValue, NSString* code,
                           int32_t nextState);
    // A step of the form must not go (said to the person): a step of its session is out or its
    // posting was made, by another form or by this one.
    bool refuseStep(NSString* action);
    // The step's answer or failure came: nothing of the form is out any more.
    void stepAnswered();
    // Sends a step of the posting through the guard of one request out (see RequestInFlight).
    // Until its answer the screen is kept, and where it shows: the answer may be the posting's
    // outcome, which reaches the person after Back too.
    void sendStep(WebPage* page, const std::function<void()>& send);

    Ref<UITextField> titleField_, priceField_, locationField_, emailField_;
    Ref<UITextView> messageView_;
    Ref<UILabel> priceLabel_, emailLabel_;
    Ref<UIButton> emailButton_, button1_, button2_, button3_, button4_, postButton_;
    Ref<DZButton> styledPostButton_;
    Ref<PostInfo> myInfo_;
    Ref<PostInfo> postInfo_;
    Ref<UIView> activityLabel_;
    Ref<UIImage> imgs_[4];
    Weak<UIButton> pressedButton_;
    int32_t state_ = kStateEditing;
    RequestInFlight requests_;
    // The texts as last edited, to refill the fields when the view loads again.
    Ref<NSString> titleText_, priceText_, locationText_, emailText_, messageText_;
    // "Hide (No Email)" chosen on the privacy sheet: the posting's privacy field says "A".
    bool hideEmail_ = false;
    bool cutomized_ = false;
    bool showPrice_ = false;
    bool showImg_ = false;
    int32_t sendImageIndex_ = 0;
    Ref<NSMutableArray> photosSent_;
    // The last reply came with an error status (400 or more).
    bool replyFailed_ = false;
    // Kept while a step is out, and the stack and its screens as the step went out.
    Ref<PostController> held_;
    Weak<UINavigationController> shownIn_;
    std::vector<Weak<UIViewController>> stackAtStep_;
    // The posting session the form was sent to (its action).
    Ref<NSString> session_;
    // What this form's own steps made of the session's posting (an outcome), if anything.
    int32_t made_ = kOutcomeNone;
    // The title of the ad the site held for the session as the last step went: the one its
    // answers are about, whatever the title field says since.
    Ref<NSString> titleSent_;
};
