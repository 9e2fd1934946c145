// What the posting screens share: the row of a choice, the form that posts a choice back to the
// site, the app delegate's message, what a page the flow cannot go on from says and the word of a
// form whose session is busy or has ended.
#pragma once

#include "Foundation/NSObject.h"

class NKHTTPRequest;
class NKHTTPRequestDelegate;
class NSMutableDictionary;
class NSString;
class PostPage;
class PostSection;
class RequestInFlight;
class UITableView;
class UITableViewCell;

namespace posting {

// A choice's row: the name in bold system font 17 with a disclosure indicator (reuse
// identifier "Cell").
Ref<UITableViewCell> choiceCell(UITableView* table, PostSection* section);
// The choice's field, the signature of the page shown (left out when the page has none) and
// "go" -> "Continue".
Ref<NSMutableDictionary> choiceForm(PostSection* section, PostPage* shown);
// A message through the app delegate.
void showMessage(NSString* message);
// The message the site's phone verification step gives.
NSString* phoneVerificationMessage();
// Whether a step of a form of the session posted to `action` must not go, said to the person
// when so; the form keeps what was typed. While a step of the session is out, the site would
// take this form's step in place of the one being sent (the alert saying so goes when that step
// ends); once a posting was made, it would answer that the posting was submitted, which this ad
// was not.
bool refuseStep(NSString* action);
// A list screen's choice posted back to the session of the page shown (its form's action), its
// answer into `answer`, through the screen's record of requests, unless refuseStep says it must
// not go: the step is then the session's one step out, `sender`'s until its answer
// (PostInfo::stepEnded). `listener` hears the answer. False when nothing went.
bool sendChoice(NSObject* sender, NKHTTPRequestDelegate* listener, RequestInFlight& requests,
                PostSection* section, PostPage* shown, PostPage* answer,
                NSObject* sentFor = nullptr);
// The page text without tags and entities, trimmed.
Ref<NSString> plainText(NSString* html);
// What a page the flow cannot go on from shows: its plain text, or "Post Failed" when it has
// none.
Ref<NSString> failureText(NSString* html);
// The reply came with an error status (400 or more): never one of the chain's pages, whatever
// it holds.
bool isRefusal(NKHTTPRequest* request);

}  // namespace posting
