// What the posting screens share: the row of a choice, the form that posts a choice back to the
// site, and the app delegate's message.
#pragma once

#include "Foundation/NSObject.h"

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

}  // namespace posting
