#include "Classes/PostController.h"

#include "Classes/NSMutableArray+Key.h"
#include "Classes/NoticewallAppDelegate.h"
#include "Classes/PostInfo.h"
#include "Classes/PostPage.h"
#include "Classes/PostingSupport.h"
#include "Classes/ScreenSupport.h"
#include "Classes/SiteHosts.h"
#include "Classes/UIImage+Resize.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSException.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSString.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIImage.h"
#include "UIKit/UILabel.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UITabBarController.h"
#include "UIKit/UIWindow.h"
#include "analytics/TallyAPI.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"
#include "ui/style/DZButton.h"

namespace {

constexpr CGFloat kPhotoJpegQuality = 0.4f;

NSString* const kFurtherActionMessage =
    NS("IMPORTANT - FURTHER ACTION IS REQUIRED TO COMPLETE YOUR REQUEST! You should receive an "
       "email shortly with a link to publish your ads.");

bool isEmpty(NSString* s) {
    return !s || s->length() == 0;
}

bool contains(NSString* text, NSString* phrase, bool ignoringCase = false) {
    if (!text) return false;
    return text->rangeOfString(phrase, ignoringCase
                                           ? NSStringCompareOptions(NSCaseInsensitiveSearch)
                                           : NSStringCompareOptions(0))
               .location != NSNotFound;
}

NSString* orEmpty(NSString* s) {
    return s ? s : NS("");
}

// The pair list rejects a nil name or value as the site's form lacking that field.
void addPair(NSMutableArray* pairs, NSObject* value, NSString* key) {
    setObjectForKey(pairs, value, key);
}

}  // namespace

void PostController::describeClass(RuntimeClass& c) {
    c.implements({"requestStarted:", "requestReceivedResponseHeaders:", "requestFinished:",
                  "requestFailed:", "textFieldShouldReturn:", "textFieldDidEndEditing:",
                  "textViewDidEndEditing:", "actionSheet:clickedButtonAtIndex:",
                  "imagePickerController:didFinishPickingImage:editingInfo:",
                  "imagePickerControllerDidCancel:", "validationSuccess:", "validationCanceled"});
    c.method("previewButtonPressed:", &PostController::previewButtonPressed);
    c.method("postButtonPressed:", &PostController::postButtonPressed);
    c.method("imageAction:", &PostController::imageAction);
    c.method("emailAction:", &PostController::emailAction);
}

Ref<NSString> PostController::anonymizeTitle() {
    return NSString::stringWithFormat(NS("Anonymize (xxxx@%@)"), SiteHosts::mailDomain());
}

// ---- the screen ------------------------------------------------------------------------------

void PostController::viewDidLoad() {
    UIViewController::viewDidLoad();
    setTitle(NS("Compose"));
    navigationItem()->setRightBarButtonItem(make<UIBarButtonItem>(
        &UIBarButtonItem::initWithTitle, NS("Hide Keyboard"), UIBarButtonItemStyleBordered, this,
        Selector::named("previewButtonPressed:")));
    activityLabel_ = makeActivityLabel(NS("Posting... Please be patient."), view());
    // A view made again (after a memory warning) while a step is out shows it is: a tap on
    // Post meanwhile sends nothing.
    activityLabel_->setHidden(!requests_.isOut());
    view()->bringSubviewToFront(activityLabel_);

    styledPostButton_ = DZButton::buttonWithStyle(NS("blueToolbarButton:"), NS("Post"));
    styledPostButton_->setFont(UIFont::boldSystemFontOfSize(18));
    CGRect frame = postButton_ ? postButton_->frame() : CGRectMake(10, 380, 300, 37);
    frame.origin.y -= 2;
    frame.size.height += 4;
    styledPostButton_->setFrame(frame);
    styledPostButton_->setTitle(NS("This could take a while"), UIControlStateHighlighted);
    styledPostButton_->addTarget(this, Selector::named("postButtonPressed:"),
                                 UIControlEventTouchUpInside);
    view()->addSubview(styledPostButton_);

    auto app = NoticewallAppDelegate::sharedDelegate();
    bool loggedIn = app && app->loginTime();
    if (emailField_) emailField_->setHidden(loggedIn);
    if (emailButton_) emailButton_->setHidden(!loggedIn);
    if (titleField_) {
        CGRect f = titleField_->frame();
        f.size.width = 120;
        titleField_->setFrame(f);
    }

    if (titleField_) titleField_->setText(orEmpty(titleText_));
    if (priceField_) priceField_->setText(orEmpty(priceText_));
    if (emailField_) emailField_->setText(orEmpty(emailText_));
    if (locationField_) locationField_->setText(orEmpty(locationText_));
    if (messageView_) messageView_->setText(orEmpty(messageText_));
    // A compose screen made again for a posting whose session holds photos (the person went
    // back and came here again) shows them: they are published with it whatever it shows.
    for (NSObject* o : *photosSent()) {
        auto sent = as<UIImage>(o);
        bool shown = false;
        for (auto& img : imgs_)
            shown = shown || img.get() == sent.get();
        for (auto& img : imgs_)
            if (!shown && !img) {
                img = sent;
                shown = true;
            }
    }
    for (int32_t i = 0; i < 4; ++i) {
        auto button = slotButton(i);
        if (!button || !imgs_[i]) continue;
        button->setBackgroundImage(imgs_[i], UIControlStateNormal);
        button->setTitle(NS(""), UIControlStateNormal);
    }

    if (!cutomized_) {
        cutomized_ = true;
        auto page = myInfo_ ? myInfo_->postPage() : nullptr;
        showPrice_ = page && (page->getInputKeyByToken(NS("size=\"4\"")) ||
                              page->getInputKeyByToken(NS("size=\"3\"")));
        showImg_ = true;
    }
    if (priceLabel_) priceLabel_->setHidden(!showPrice_);
    if (priceField_) priceField_->setHidden(!showPrice_);
    for (int32_t i = 0; i < 4; ++i) {
        auto button = slotButton(i);
        if (!button) continue;
        if (showImg_) button->setHidden(false);
        button->titleLabel()->setLineBreakMode(UILineBreakModeWordWrap);
        button->titleLabel()->setTextAlignment(UITextAlignmentCenter);
    }
    // The privacy choice lives in the controller: a view loaded again shows the one made.
    if (emailButton_)
        emailButton_->setTitle(hideEmail_ ? NS("Hidden") : NS("Anonymous"), UIControlStateNormal);
    for (UITextField* field :
         {titleField_.get(), priceField_.get(), locationField_.get(), emailField_.get()})
        if (field) field->setDelegate(this);
    if (messageView_) messageView_->setDelegate(this);
}

void PostController::viewWillUnload() {
    UIViewController::viewWillUnload();
    keepTexts();
}

Ref<UIButton> PostController::slotButton(int32_t index) {
    switch (index) {
        case 0:
            return button1_;
        case 1:
            return button2_;
        case 2:
            return button3_;
        case 3:
            return button4_;
        default:
            return nullptr;
    }
}

int32_t PostController::slotOf(UIButton* button) {
    if (!button) return -1;
    for (int32_t i = 0; i < 4; ++i)
        if (slotButton(i).get() == button) return i;
    return -1;
}

Ref<NSMutableArray> PostController::photosSent() {
    if (!photosSent_) {
        auto form = myInfo_ ? myInfo_->postPage() : nullptr;
        auto session = form ? form->getActionUrl() : nullptr;
        photosSent_ =
            session ? myInfo_->photosSentTo(session) : NSMutableArray::arrayWithCapacity(4);
    }
    return photosSent_;
}

bool PostController::isSent(UIImage* image) {
    return image && photosSent()->indexOfObjectIdenticalTo(image) != NSNotFound;
}

Ref<UIImage> PostController::image(int32_t slot) {
    return slot >= 1 && slot <= 4 ? imgs_[slot - 1] : nullptr;
}

void PostController::previewButtonPressed(NSObject*) {
    for (UIView* field :
         {static_cast<UIView*>(emailField_.get()), static_cast<UIView*>(titleField_.get()),
          static_cast<UIView*>(priceField_.get()), static_cast<UIView*>(locationField_.get()),
          static_cast<UIView*>(messageView_.get())})
        if (field) field->endEditing(true);
}

bool PostController::textFieldShouldReturn(UITextField* field) {
    if (field == titleField_.get() && locationField_)
        locationField_->becomeFirstResponder();
    else if (field == locationField_.get() && priceField_)
        priceField_->becomeFirstResponder();
    else if (field == priceField_.get() && messageView_)
        messageView_->becomeFirstResponder();
    return true;
}

void PostController::textFieldDidEndEditing(UITextField* field) {
    if (field == titleField_.get())
        titleText_ = field->text();
    else if (field == emailField_.get())
        emailText_ = field->text();
    else if (field == locationField_.get())
        locationText_ = field->text();
    else if (field == priceField_.get())
        priceText_ = field->text();
}

void PostController::textViewDidEndEditing(UITextView* view) {
    if (view == messageView_.get()) messageText_ = view->text();
}

// Editing may still be under way when "Post" is tapped: the fields hold the latest texts.
void PostController::keepTexts() {
    if (titleField_) titleText_ = titleField_->text();
    if (priceField_) priceText_ = priceField_->text();
    if (locationField_) locationText_ = locationField_->text();
    if (emailField_) emailText_ = emailField_->text();
    if (messageView_) messageText_ = messageView_->text();
}

// ---- submitting ------------------------------------------------------------------------------

void PostController::guarded(const std::function<void()>& step) {
    try {
        step();
    } catch (ExceptionRaised& raised) {
        auto page = myInfo_ ? myInfo_->postPage() : nullptr;
        auto action = page ? page->getActionUrl() : nullptr;
        TallyAPI::logError(NS("POST Error Unknown"), orEmpty(action), raised.exception.get());
        if (activityLabel_) activityLabel_->setHidden(true);
        posting::showMessage(NS("Unknown Error"));
    }
}

void PostController::postButtonPressed(NSObject*) {
    // A second tap would post the compose form again while the first post's steps go on.
    if (requests_.isOut()) return;
    // A compose screen the person went back from may still be sending a photo of this posting.
    if (myInfo_ && myInfo_->uploadIsOut()) {
        posting::showMessage(
            NS("A photo of this posting is still on its way. Please try again "
               "in a moment."));
        return;
    }
    keepTexts();
    guarded([this] { post(); });
}

void PostController::post() {
    // Checked before the texts are: a form that can go nowhere says so first.
    if (auto shown = myInfo_ ? myInfo_->postPage() : nullptr;
        refuseStep(shown ? shown->getActionUrl().get() : nullptr))
        return;
    if (isEmpty(titleText_)) {
        posting::showMessage(NS("Please enter title"));
        return;
    }
    if (isEmpty(messageText_)) {
        posting::showMessage(NS("Please enter description"));
        return;
    }
    auto form = myInfo_ ? myInfo_->postPage() : nullptr;
    if (!form) NSException::raise(NSGenericException, NS("No compose form"));
    auto pairs = NSMutableArray::arrayWithCapacity(24);
    if (auto key = form->getInputKeyByToken(NS("size=\"30\"")))
        addPair(pairs, orEmpty(titleText_), key);
    auto priceKey = form->getInputKeyByToken(NS("size=\"4\""));
    if (!priceKey) priceKey = form->getInputKeyByToken(NS("size=\"3\""));
    if (priceKey) addPair(pairs, orEmpty(priceText_), priceKey);
    if (auto key = form->getInputKeyByToken(NS("size=\"20\"")))
        addPair(pairs, orEmpty(locationText_), key);
    if (form->getInputValue(NS("ConfirmEMail"))) {
        if (isEmpty(emailText_)) {
            posting::showMessage(NS("Please enter your email"));
            return;
        }
        addPair(pairs, emailText_, NS("FromEMail"));
        addPair(pairs, emailText_, NS("ConfirmEMail"));
    } else {
        addPair(pairs, NSUserDefaults::standardUserDefaults()->stringForKey(NS("Username")).get(),
                NS("FromEMail"));
    }
    addPair(pairs, hideEmail_ ? NS("A") : NS("C"), form->getInputKeyByToken(NS("checked")).get());
    addPair(pairs, orEmpty(messageText_), form->getTextAreaKey().get());
    sendImageIndex_ = 0;
    addPair(pairs, NS("Continue"), form->getSubmitKey().get());
    // The compose form's signature is required: without it the guard reports the form.
    auto signature = form->getSignatureValueAndKey();
    addPair(pairs, signature->count() == 2 ? signature->objectAtIndex(1).get() : nullptr,
            signature->count() == 2 ? as<NSString>(signature->objectAtIndex(0)).get() : nullptr);
    if (!postInfo_) {
        postInfo_ = make<PostInfo>();
        postInfo_->setPostPage(make<PostPage>());
    }
    auto answer = postInfo_->postPage();
    session_ = form->getActionUrl();
    sendStep(answer, [&] {
        state_ = kStateSubmitted;
        answer->postDataArray(pairs, 0, this, form->getActionUrl());
        PostInfo::setTitleSent(session_, orEmpty(titleText_));
    });
}

void PostController::sendImage() {
    // After a failure the post starts again from the first slot: what the site's photo page
    // says it holds is not sent twice.
    while (sendImageIndex_ <= 3 && (!imgs_[sendImageIndex_] || isSent(imgs_[sendImageIndex_])))
        ++sendImageIndex_;
    if (sendImageIndex_ > 3) {
        finishSendImage();
        return;
    }
    int32_t slot = sendImageIndex_++;
    uploadImage(slot);
}

void PostController::uploadImage(int32_t slot) {
    auto page = postInfo_->postPage();
    auto pairs = NSMutableArray::arrayWithCapacity(8);
    page->addSignatureToPairs(pairs);
    addPair(pairs, NS("add"), page->getInputKeyByToken(NS("add")).get());
    addPair(pairs, UIImageJPEGRepresentation(imgs_[slot], kPhotoJpegQuality).get(), NS("file"));
    addPair(pairs, NS("add image"), page->getSubmitKey().get());
    sendStep(page, [&] {
        page->postDataArray(pairs, 0, this, page->getActionUrl());
        // Sent, the site may take it even when its answer is lost.
        photosSent()->addObject(imgs_[slot]);
        if (myInfo_) myInfo_->setUploadSent(page->request());
    });
}

void PostController::finishSendImage() {
    auto page = postInfo_->postPage();
    auto pairs = NSMutableArray::arrayWithCapacity(6);
    page->addSignatureToPairs(pairs);
    addPair(pairs, NS("fin"), page->getInputKeyByToken(NS("fin")).get());
    addPair(pairs, NS("Done with Images"), page->getSubmitKey().get());
    sendStep(page, [&] { page->postDataArray(pairs, 0, this, page->getActionUrl()); });
}

void PostController::postConfirmInputs(PostPage* page, NSString* submitValue, NSString* code,
                                       int32_t nextState) {
    auto inputs = page->getConfirmInputs();
    if (code) inputs->setObject(code, NS("recaptcha_challenge_field"));
    auto submit = page->getSubmitKey();
    if (!submit) NSException::raise(NSInvalidArgumentException, NS("No submit button"));
    inputs->setObject(submitValue, submit);
    // The state moves only with a post that goes out: a form the guard stops leaves it as it was.
    sendStep(page, [&] {
        state_ = nextState;
        page->postData(inputs, 0, this, page->getActionUrl());
    });
}

bool PostController::refuseStep(NSString* action) {
    if (made_ == kOutcomeNone) return posting::refuseStep(action);
    // The form that made its session's posting, shown again at the start: the site would take
    // nothing more from it.
    posting::showMessage(NSString::stringWithFormat(
        NS("Your posting \"%@\" was %@. Another ad starts from New Ads."), orEmpty(titleSent_),
        made_ == kOutcomePublished ? NS("posted") : NS("received")));
    return true;
}

void PostController::sendStep(WebPage* page, const std::function<void()>& send) {
    // Every step of the form, its Post and the captcha's answer among them, passes here.
    if (!requests_.isOut() && refuseStep(session_)) return;
    if (!requests_.send(page, send)) return;
    // The ad the site holds for the session as this step went: what its outcome is about.
    titleSent_ = PostInfo::titleSentTo(session_);
    PostInfo::setStepOut(session_, this, page->request().get());
    held_ = this;
    auto nav = navigationController();
    if (!nav) return;
    shownIn_ = nav.get();
    stackAtStep_.clear();
    auto stack = nav->viewControllers();
    for (NSObject* o : *stack)
        stackAtStep_.emplace_back(as<UIViewController>(o).get());
}

void PostController::stepAnswered() {
    if (requests_.isOut()) return;
    held_ = nullptr;
    PostInfo::stepEnded(this);
}

bool PostController::onSessionScreensOnly(UINavigationController* nav) {
    auto stack = nav->viewControllers();
    if (stack->count() < 2 || stack->count() > stackAtStep_.size()) return false;
    for (NSUInteger i = 0; i < stack->count(); ++i)
        if (stackAtStep_[i].lock().get() != stack->objectAtIndex(i).get()) return false;
    return true;
}

void PostController::postSuccess() {
    TallyAPI::logEvent(NS("Post Success"));
    posting::showMessage(aboutTheAd(NS("Your posting \"%@\" was posted.\n%@"), NS("Post Success")));
    returnToStart();
}

void PostController::returnToStart() {
    Ref<PostController> keep = this;
    // The posting's session is over: its photos are the form's own again.
    photosSent()->removeAllObjects();
    auto nav = navigationController();
    if (!nav) {
        // Left by Back: the session's screens the person is still on are spent (the site takes
        // no step of the session again) and go as they would have. A screen opened since (a form
        // chosen again and typed into, a posting begun anew, a page) is the person's: the stack
        // stays as it is.
        nav = shownIn_.lock();
        if (!nav || !onSessionScreensOnly(nav)) return;
    }
    nav->popToRootViewControllerAnimated(true);
    nav->pushViewController(this, true);
}

void PostController::presentCaptcha(PostPage* page) {
    ValidationViewController::presentOver(this, page->getVerificationUrl(), this);
}

// ---- the site's replies ----------------------------------------------------------------------

void PostController::requestStarted(NKHTTPRequest*) {
    if (activityLabel_) activityLabel_->setHidden(false);
}

void PostController::requestFinished(NKHTTPRequest* request) {
    Ref<PostController> keep = this;
    // A reply handed over without its request is the page the session holds now.
    if (request && !requests_.ended(request)) return;
    stepAnswered();
    if (activityLabel_) activityLabel_->setHidden(true);
    if (state_ == kStateEditing || !postInfo_) return;
    auto page = postInfo_->postPage();
    // The photo page says what the site holds: of the photos sent, only so many arrived (one
    // the site refused or a post lost before it came are sent again on the next Post).
    if (state_ == kStateSubmitted && page->getPostPageType() == kPostPagePhotos) {
        NSUInteger held = page->getHeldPhotoCount(), sent = photosSent()->count();
        if (held < sent) photosSent()->removeObjectsInRange(NSMakeRange(held, sent - held));
    }
    auto text = page->getReply();
    // An error status is never a success, whatever the page says (or does not say): the
    // "no text" rule holds for the site's ordinary answers only.
    replyFailed_ = posting::isRefusal(request);
    int32_t type = page->getPostPageType();
    if (replyFailed_ && !text) type = kPostPageUnknown;
    // What the site did with the posting reaches the person wherever they are: made, or refused
    // (below). A compose screen the person went back from has left the posting: an answer that
    // leads on (a step's form, a word on the form) goes no further.
    if (tellOutcome(text, type) || (!navigationController() && leadsOn(type))) return;
    guarded([&] {
        switch (state_) {
            case kStateSubmitted:
                replyInSubmittedState(page, text, type);
                break;
            case kStateConfirmed:
                replyInConfirmedState(page, text, type);
                break;
            case kStateCaptcha:
                replyInCaptchaState(text);
                break;
            default:
                break;
        }
    });
}

void PostController::replyInSubmittedState(PostPage* page, NSString* text, int32_t type) {
    switch (type) {
        case kPostPageReview: {
            auto inputs = page->getConfirmInputs();
            auto submit = page->getSubmitKey();
            if (!submit) NSException::raise(NSInvalidArgumentException, NS("No submit button"));
            inputs->setObject(NS("Continue"), submit);
            page->addSignatureToValues(inputs);
            sendStep(page, [&] {
                state_ = kStateConfirmed;
                page->postData(inputs, 0, this, page->getActionUrl());
            });
            return;
        }
        case kPostPageCompose: {
            // The site's own words say what to mend (a description too long among them); the
            // fields keep what was typed.
            auto errors = page->getErrorText();
            posting::showMessage(errors ? errors.get() : NS("Please fill in all fields"));
            return;
        }
        case kPostPageEmailInBody:
            posting::showMessage(
                NS("Your email address is included in the body of your posting, exposing you to "
                   "phishing attacks and spam. Please consider removing it."));
            return;
        case kPostPagePhotos: {
            // A photo the site refused (too large, no room) is left out: the site's words say
            // so, and the rest of the posting goes on.
            if (auto errors = page->getErrorText()) posting::showMessage(errors);
            sendImage();
            return;
        }
        default:
            // The site's words tell why (a spent form's "already submitted" among them); without
            // them the tap would seem to do nothing.
            TallyAPI::logEvent(NS("Post Error - Submit"));
            showRefusal(posting::failureText(text));
    }
}

void PostController::replyInConfirmedState(PostPage* page, NSString* text, int32_t type) {
    switch (type) {
        case kPostPageCaptcha:
            presentCaptcha(page);
            return;
        case kPostPageTerms:
            postConfirmInputs(page, NS("ACCEPT the terms of use"), nullptr, state_);
            return;
        case kPostPagePhoneVerification:
            posting::showMessage(posting::phoneVerificationMessage());
            return;
        default:
            showRefusal(posting::failureText(text));
            TallyAPI::logEvent(NS("Post Error - Confirm"));
    }
}

void PostController::replyInCaptchaState(NSString* text) {
    TallyAPI::logEvent(NS("Post Failed"));
    showRefusal(posting::failureText(text));
    returnToStart();
}

void PostController::showRefusal(NSString* words) {
    posting::showMessage(aboutTheAd(NS("Your posting \"%@\" was not posted.\n%@"), words));
}

bool PostController::awayFromForm() {
    auto nav = navigationController();
    if (!nav || nav->topViewController().get() != this) return true;
    auto tabs = nav->tabBarController();
    return tabs && tabs->selectedViewController().get() != nav.get();
}

Ref<NSString> PostController::aboutTheAd(NSString* naming, NSString* words) {
    // On its form the words go with the title it shows, unless that was edited after the ad went.
    auto shown = titleField_ ? titleField_->text() : titleText_;
    if (!awayFromForm() && (!titleSent_ || (shown && shown->isEqualToString(titleSent_))))
        return words;
    return NSString::stringWithFormat(naming, orEmpty(titleSent_), words);
}

bool PostController::leadsOn(int32_t type) {
    switch (state_) {
        case kStateSubmitted:
            return type == kPostPageReview || type == kPostPageCompose ||
                   type == kPostPageEmailInBody || type == kPostPagePhotos;
        case kStateConfirmed:
            return type == kPostPageCaptcha || type == kPostPageTerms;
        default:
            return false;
    }
}

int32_t PostController::outcomeOf(NSString* text, int32_t type) {
    bool mailed = contains(text, NS("You should receive an email shortly"));
    if (leadsOn(type)) return kOutcomeNone;
    switch (state_) {
        case kStateSubmitted:
            return isSuccess(text, true) ? kOutcomePublished : kOutcomeNone;
        case kStateConfirmed:
            if (type == kPostPagePhoneVerification) return kOutcomeNone;
            if (isSuccess(text, false)) return kOutcomePublished;
            return mailed ? kOutcomeMailed : kOutcomeNone;
        case kStateCaptcha:
            if ((!replyFailed_ && isEmpty(text)) || mailed) return kOutcomeMailed;
            return isSuccess(text, false) ? kOutcomePublished : kOutcomeNone;
        default:
            return kOutcomeNone;
    }
}

bool PostController::tellOutcome(NSString* text, int32_t type) {
    int32_t outcome = outcomeOf(text, type);
    // The site takes no form of the session again: a form of it opened since says so.
    if (outcome != kOutcomeNone) {
        PostInfo::endSession(session_);
        made_ = outcome;
    }
    switch (outcome) {
        case kOutcomePublished:
            postSuccess();
            return true;
        case kOutcomeMailed:
            posting::showMessage(
                aboutTheAd(NS("Your posting \"%@\" was received.\n%@"), kFurtherActionMessage));
            returnToStart();
            return true;
        default:
            return false;
    }
}

// Only the site's own words prove a posting: an empty answer may come from a site that took
// nothing, and is a failure.
bool PostController::isSuccess(NSString* text, bool ignoringCase) {
    if (replyFailed_) return false;
    return contains(text, NS("Your posting can be seen"), ignoringCase);
}

void PostController::requestFailed(NKHTTPRequest* request) {
    Ref<PostController> keep = this;
    if (!requests_.ended(request)) return;
    stepAnswered();
    if (activityLabel_) activityLabel_->setHidden(true);
    auto error = request ? request->error() : nullptr;
    NSLog(NS("err %@"), error ? error->localizedDescription().get() : NS(""));
    // A step that may have made the posting (the review's, the terms', the captcha's) lost its
    // answer: the person, on the form or elsewhere, might post the ad again. "My Postings" is
    // named only to one logged in, who has it.
    if (state_ == kStateConfirmed || state_ == kStateCaptcha) {
        auto app = NoticewallAppDelegate::sharedDelegate();
        posting::showMessage(NSString::stringWithFormat(
            NS("Network connection error: the answer about your posting \"%@\" was lost, and the "
               "site may have taken it. Please look for its email%@ before you post it again."),
            orEmpty(titleSent_), app && app->loginTime() ? NS(" or under My Postings") : NS("")));
        return;
    }
    // Left by Back, an earlier step's loss made nothing, and the screen left takes the posting
    // no further.
    if (navigationController()) posting::showMessage(NS("Network connection error"));
}

void PostController::validationSuccess(NSString* code) {
    Ref<PostController> keep = this;
    guarded([&] { postConfirmInputs(postInfo_->postPage(), NS("Continue"), code, kStateCaptcha); });
}

void PostController::validationCanceled() {
    if (auto nav = navigationController()) nav->popToRootViewControllerAnimated(true);
}

// ---- photos and privacy ----------------------------------------------------------------------

void PostController::imageAction(NSObject* sender) {
    auto button = as<UIButton>(sender);
    int32_t slot = slotOf(button.get());
    // The site has no way to take a photo back: one it may hold is neither deleted nor replaced
    // here, or the posting would carry a photo the form no longer shows.
    if (slot >= 0 && isSent(imgs_[slot])) {
        posting::showMessage(
            NS("This photo is with the site already and goes out with the posting."));
        return;
    }
    pressedButton_ = button.get();
    bool hasPhoto = slot >= 0 && imgs_[slot];
    auto sheet = alloc<UIActionSheet>();
    sheet->initWithTitle(NS(""), this, NS("Cancel"), nullptr);
    sheet->setTag(kPhotoSheetTag);
    sheet->addButtonWithTitle(NS("Pick from Camera Roll"));
    if (UIImagePickerController::isSourceTypeAvailable(UIImagePickerControllerSourceTypeCamera)) {
        if (hasPhoto) {
            sheet->addButtonWithTitle(NS("Take New Picture"));
            sheet->addButtonWithTitle(NS("Delete this Picture"));
        } else {
            sheet->addButtonWithTitle(NS("Take Picture"));
        }
    } else if (hasPhoto) {
        sheet->addButtonWithTitle(NS("Delete this Picture"));
    }
    Ref<UITabBarController> tabs = tabBarController();
    if (tabs)
        sheet->showFromTabBar(tabs->tabBar());
    else
        sheet->showInView(view());
}

void PostController::emailAction(NSObject*) {
    auto sheet = alloc<UIActionSheet>();
    sheet->initWithTitle(NS("Protect Your Email Privacy"), this, NS("Cancel"), nullptr);
    sheet->setTag(kPrivacySheetTag);
    sheet->addButtonWithTitle(NS("Hide (No Email)"));
    sheet->addButtonWithTitle(anonymizeTitle());
    Ref<UITabBarController> tabs = tabBarController();
    if (tabs)
        sheet->showFromTabBar(tabs->tabBar());
    else
        sheet->showInView(view());
}

void PostController::actionSheetClickedButtonAtIndex(UIActionSheet* sheet, NSInteger index) {
    if (sheet->tag() == kPhotoSheetTag)
        imageActionSheetClickedButtonAtIndex(sheet, index);
    else if (sheet->tag() == kPrivacySheetTag)
        emailActionSheetClickedButtonAtIndex(sheet, index);
}

void PostController::imageActionSheetClickedButtonAtIndex(UIActionSheet*, NSInteger index) {
    bool camera =
        UIImagePickerController::isSourceTypeAvailable(UIImagePickerControllerSourceTypeCamera);
    if (index == 1)
        startImagePicker(UIImagePickerControllerSourceTypePhotoLibrary);
    else if (index == 2 && camera)
        startImagePicker(UIImagePickerControllerSourceTypeCamera);
    else if (index == 2)
        removePicture();
    else if (index == 3)
        removePicture();
}

void PostController::emailActionSheetClickedButtonAtIndex(UIActionSheet*, NSInteger index) {
    if (index != 1 && index != 2) return;
    hideEmail_ = index == 1;
    if (emailButton_)
        emailButton_->setTitle(hideEmail_ ? NS("Hidden") : NS("Anonymous"), UIControlStateNormal);
}

void PostController::startImagePicker(int32_t sourceType) {
    auto picker = make<UIImagePickerController>();
    picker->setSourceType(static_cast<UIImagePickerControllerSourceType>(sourceType));
    picker->setDelegate(this);
    presentModalViewController(picker, true);
}

void PostController::removePicture() {
    auto button = pressedButton_.lock();
    int32_t slot = slotOf(button.get());
    if (slot < 0) return;
    imgs_[slot] = nullptr;
    button->setBackgroundImage(nullptr, UIControlStateNormal);
    button->setTitle(NS("Add Picture"), UIControlStateNormal);
}

void PostController::imagePickerControllerDidFinishPickingImage(UIImagePickerController*,
                                                                UIImage* image, NSDictionary*) {
    auto button = pressedButton_.lock();
    int32_t slot = slotOf(button.get());
    if (slot >= 0 && image) {
        CGSize size = image->size();
        imgs_[slot] = UIImageResize::resizedImage(
            image, CGSizeMake(size.width / 3, size.height / 3), kCGInterpolationLow);
        button->setBackgroundImage(imgs_[slot], UIControlStateNormal);
        button->setTitle(NS(""), UIControlStateNormal);
    }
    dismissModalViewControllerAnimated(true);
}

void PostController::imagePickerControllerDidCancel(UIImagePickerController*) {
    dismissModalViewControllerAnimated(true);
}

void PostController::dealloc() {
    for (auto& img : imgs_)
        img = nullptr;
    myInfo_ = nullptr;
    postInfo_ = nullptr;
    photosSent_ = nullptr;
    UIViewController::dealloc();
}
