// The site's posting pages: a chain of HTML forms. PostPage tells which step of the chain a page
// is by fixed phrases, lists a step's radio choices, and finds the form's field names (text
// area, submit button, signature, inputs marked by a token), its action URL and the captcha
// frame. Every reader works on the text of the last request (getPage / getReply) and never
// changes it; a reader that finds nothing answers nil or an empty collection.
#pragma once

#include <cstdint>

#include "Classes/WebPage.h"

class NSArray;
class NSMutableArray;
class NSMutableDictionary;
class NSString;

// The steps of the posting chain, as getPostPageType answers them.
enum PostPageType : int32_t {
    kPostPageChooseType = 1,
    kPostPageChooseCategory = 2,
    kPostPageChooseArea = 3,
    kPostPageChooseLocation = 4,
    kPostPageCompose = 5,
    kPostPageCaptcha = 6,
    kPostPagePhoneVerification = 7,
    kPostPageReview = 8,
    kPostPageTerms = 9,
    kPostPageEmailInBody = 10,
    kPostPagePhotos = 11,
    kPostPageUnknown = 12,
};

class PostPage : public WebPage {
    NS_OBJECT(PostPage, WebPage)

public:
    // The city home page's posting link, or nil.
    Ref<NSString> getPostUrl();
    // The step this page is (PostPageType); 1 when there is no text.
    int32_t getPostPageType();
    // The page's radio choices (PostSection), "Bypass this step" first when offered.
    Ref<NSArray> getSectionList();
    Ref<NSArray> getCatagoryList();
    Ref<NSArray> getSuburbList();
    // The text area's field name, or nil.
    Ref<NSString> getTextAreaKey();
    // The first form's action, made absolute on the posting host when relative; nil when none.
    Ref<NSString> getActionUrl();
    // The submit button's field name, or nil.
    Ref<NSString> getSubmitKey();
    // The form's signature field: element 0 its name (20 characters or more), element 1 its
    // value; empty when the page has none.
    Ref<NSArray> getSignatureValueAndKey();
    // Every input (name -> value) of the first form; a later input of a name replaces an
    // earlier one.
    Ref<NSMutableDictionary> getConfirmInputs();
    // The captcha frame's address, or nil.
    Ref<NSString> getVerificationUrl();
    // The page's own error list (a form sent back to be mended): each entry's plain text, one
    // per line; nil when the page has none.
    Ref<NSString> getErrorText();
    // How many photos the photo page shows the posting holding already.
    NSUInteger getHeldPhotoCount();

    // The signature pair added to a form being built, when the page has one; a page without
    // a signature field adds nothing and answers false, so that a step posts what it has and
    // the site answers with its own error page instead of the app failing on the missing pair.
    bool addSignatureToPairs(NSMutableArray* pairs);
    bool addSignatureToValues(NSMutableDictionary* values);
};
