// What the posting screens share: the row of a choice, the form that posts a choice back to the
// site, the app delegate's message, what a page the flow cannot go on from says and the word of a
// form whose session has ended.
#pragma once

#include "Foundation/NSObject.h"

class NKHTTPRequest;
class NSMutableDictionary;
class NSString;
class PostPage;
class PostSection;
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
// A form of a session whose posting another form made can go nowhere: the site would answer
// that the posting was submitted, which this ad was not. Says so, and is true, when the session
// posted to `action` has ended.
bool refuseEndedSession(NSString* action);
// The page text without tags and entities, trimmed.
Ref<NSString> plainText(NSString* html);
// What a page the flow cannot go on from shows: its plain text, or "Post Failed" when it has
// none.
Ref<NSString> failureText(NSString* html);
// The reply came with an error status (400 or more): never one of the chain's pages, whatever
// it holds.
bool isRefusal(NKHTTPRequest* request);

}  // namespace posting
