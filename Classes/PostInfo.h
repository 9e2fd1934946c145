// Hands the current posting page from one posting screen to the next, and keeps what the
// posting session of that page has been sent of its photos: a compose screen made again for
// the same session (after Back) shows them rather than post them with a form that seems empty.
#pragma once

#include "Foundation/NSObject.h"

class NKHTTPRequest;
class NSMutableArray;
class NSString;
class PostPage;
class UIAlertView;

class PostInfo : public NSObject {
    NS_OBJECT(PostInfo, NSObject)

public:
    Ref<PostPage> postPage() { return postPage_; }
    void setPostPage(PostPage* page);
    // The photos sent to the session whose forms post to `session` (a form's action), in the
    // order sent: the site may hold each. Another session starts an empty list.
    Ref<NSMutableArray> photosSentTo(NSString* session);
    // The last photo sent to the session, until it is answered: a compose screen made again
    // for the session posts nothing meanwhile, since the site's photo page would not yet count
    // it and the photo would be sent twice.
    void setUploadSent(NKHTTPRequest* upload);
    bool uploadIsOut() const;
    // A session whose posting was made (published, or its link mailed): the site takes no form
    // of it again, so a form of it opened meanwhile cannot be sent. Kept for the process's life.
    static void endSession(NSString* session);
    static bool hasSessionEnded(NSString* session);
    // A step of the session is out, whichever form sent it (its compose form, a photo, a
    // category or area choice, the review, the terms, the captcha's answer): until it ends no
    // other step of the session goes. The site keeps the last form of each step it took, so a
    // step of another form meanwhile would make the site publish one ad while the answer names
    // the other. `sender` is the screen whose answer ends it (stepEnded); a step whose request
    // finished or was cancelled without that answer holds nobody back, and one whose screen is
    // gone holds the session until its request ends, as the site still takes it.
    static void setStepOut(NSString* session, NSObject* sender, NKHTTPRequest* request);
    static bool isStepOut(NSString* session);
    // The answer or failure of the step `sender` has out came: the session takes steps again
    // (the same form's next one among them), and the alerts telling the person to wait for it go.
    static void stepEnded(NSObject* sender);
    // An alert telling the person that the session's step is out: it goes when that step ends.
    static void addWaitAlert(NSString* session, UIAlertView* alert);
    // The title of the ad last sent to the session's compose step: the one the site publishes,
    // whichever form of the session sent it.
    static void setTitleSent(NSString* session, NSString* title);
    static Ref<NSString> titleSentTo(NSString* session);

private:
    Ref<PostPage> postPage_;
    Ref<NSString> photoSession_;
    Ref<NSMutableArray> photosSent_;
    Ref<NKHTTPRequest> upload_;
};
