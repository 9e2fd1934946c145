// Hands the current posting page from one posting screen to the next, and keeps what the
// posting session of that page has been sent of its photos: a compose screen made again for
// the same session (after Back) shows them rather than post them with a form that seems empty.
#pragma once

#include "Foundation/NSObject.h"

class NKHTTPRequest;
class NSMutableArray;
class NSString;
class PostPage;

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
    // A step that may make the session's posting is out (the review's, the terms', the
    // captcha's): until its answer no other form of the session sends anything, or the site
    // would publish that form's ad under the first one's outcome.
    static void setLastStepOut(NSString* session, bool out);
    static bool isLastStepOut(NSString* session);
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
