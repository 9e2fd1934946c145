#include "Classes/PostInfo.h"

#include "Classes/PostPage.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSString.h"
#include "Foundation/ProcessWide.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"

void PostInfo::setPostPage(PostPage* page) {
    postPage_ = page;
}

Ref<NSMutableArray> PostInfo::photosSentTo(NSString* session) {
    if (!photosSent_ || !session || !photoSession_ || !photoSession_->isEqualToString(session)) {
        photoSession_ = session;
        photosSent_ = NSMutableArray::arrayWithCapacity(4);
        upload_ = nullptr;
    }
    return photosSent_;
}

void PostInfo::setUploadSent(NKHTTPRequest* upload) {
    upload_ = upload;
}

bool PostInfo::uploadIsOut() const {
    return upload_ && !upload_->isFinished() && !upload_->isCancelled();
}

namespace {
ProcessWide<NSMutableSet>& endedSessions() {
    static ProcessWide<NSMutableSet> slot;
    return slot;
}
ProcessWide<NSMutableSet>& lastStepsOut() {
    static ProcessWide<NSMutableSet> slot;
    return slot;
}
ProcessWide<NSMutableDictionary>& titlesSent() {
    static ProcessWide<NSMutableDictionary> slot;
    return slot;
}
}  // namespace

void PostInfo::endSession(NSString* session) {
    if (session) endedSessions().get()->addObject(session);
}

bool PostInfo::hasSessionEnded(NSString* session) {
    auto ended = endedSessions().peek();
    return ended && session && ended->containsObject(session);
}

void PostInfo::setLastStepOut(NSString* session, bool out) {
    if (!session) return;
    if (out)
        lastStepsOut().get()->addObject(session);
    else if (auto sessions = lastStepsOut().peek())
        sessions->removeObject(session);
}

bool PostInfo::isLastStepOut(NSString* session) {
    auto sessions = lastStepsOut().peek();
    return sessions && session && sessions->containsObject(session);
}

void PostInfo::setTitleSent(NSString* session, NSString* title) {
    if (session && title) titlesSent().get()->setObject(title, session);
}

Ref<NSString> PostInfo::titleSentTo(NSString* session) {
    auto titles = titlesSent().peek();
    return titles && session ? as<NSString>(titles->objectForKey(session)) : nullptr;
}
