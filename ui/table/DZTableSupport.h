// What the table classes share: the default style sheet's variables, read from the global
// sheet (or a default sheet when the application installed another kind).
#pragma once

#include "Foundation/NSObject.h"
#include "UIKit/UITableViewCell.h"

class DZDefaultStyleSheet;
class NSString;
class UIFont;

Ref<DZDefaultStyleSheet> DZTableStyleSheet();
// The sheet's selection style for rows that can be selected.
UITableViewCellSelectionStyle DZTableSelectionStyle();
// The text's size in the font at a width with unbounded height (0 by 0 for nil text).
CGSize DZTableTextSize(NSString* text, UIFont* font, CGFloat width, NSInteger lineBreakMode);
