#include "Classes/PostInfo.h"

#include <map>
#include <string>
#include <vector>

#include "Classes/PostPage.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSString.h"
#include "Foundation/ProcessWide.h"
#include "UIKit/UIAlertView.h"
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
// The step each session has out, by session, with the alerts waiting for it.
struct StepOut {
    Weak<NSObject> sender;
    Weak<NKHTTPRequest> request;
    std::vector<Weak<UIAlertView>> waitAlerts;
};
ProcessWide<std::map<std::string, StepOut>>& stepsOut() {
    static ProcessWide<std::map<std::string, StepOut>> slot;
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

void PostInfo::setStepOut(NSString* session, NSObject* sender, NKHTTPRequest* request) {
    if (!session) return;
    auto& step = (*stepsOut().get())[session->utf8()];
    step.sender = sender;
    step.request = request;
}

bool PostInfo::isStepOut(NSString* session) {
    auto steps = stepsOut().peek();
    if (!steps || !session) return false;
    auto at = steps->find(session->utf8());
    if (at == steps->end()) return false;
    auto request = at->second.request.lock();
    // Out while its request is, even once the screen that sent it is gone: the site takes it
    // all the same.
    return request && !request->isFinished() && !request->isCancelled();
}

void PostInfo::stepEnded(NSObject* sender) {
    auto steps = stepsOut().peek();
    if (!steps || !sender) return;
    for (auto at = steps->begin(); at != steps->end(); ++at) {
        if (at->second.sender.lock().get() != sender) continue;
        auto alerts = std::move(at->second.waitAlerts);
        steps->erase(at);
        // Only these alerts go: whatever else the person was told stays.
        for (auto& weak : alerts)
            if (auto alert = weak.lock())
                alert->dismissWithClickedButtonIndex(alert->cancelButtonIndex(), false);
        return;
    }
}

void PostInfo::addWaitAlert(NSString* session, UIAlertView* alert) {
    if (session && alert) (*stepsOut().get())[session->utf8()].waitAlerts.emplace_back(alert);
}

void PostInfo::setTitleSent(NSString* session, NSString* title) {
    if (session && title) titlesSent().get()->setObject(title, session);
}

Ref<NSString> PostInfo::titleSentTo(NSString* session) {
    auto titles = titlesSent().peek();
    return titles && session ? as<NSString>(titles->objectForKey(session)) : nullptr;
}
