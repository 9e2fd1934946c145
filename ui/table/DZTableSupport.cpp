#include "ui/table/DZTableSupport.h"

#include <limits>

#include "Foundation/ProcessWide.h"
#include "UIKit/UIStringDrawing.h"
#include "ui/style/DZDefaultStyleSheet.h"

Ref<DZDefaultStyleSheet> DZTableStyleSheet() {
    if (auto sheet = as<DZDefaultStyleSheet>(DZStyleSheet::globalStyleSheet())) return sheet;
    static ProcessWide<DZDefaultStyleSheet> fallback;
    return fallback.get();
}

UITableViewCellSelectionStyle DZTableSelectionStyle() {
    return static_cast<UITableViewCellSelectionStyle>(DZTableStyleSheet()->tableSelectionStyle());
}

CGSize DZTableTextSize(NSString* text, UIFont* font, CGFloat width, NSInteger lineBreakMode) {
    if (!text) return CGSizeMake(0, 0);
    return sizeWithFont(text, font, CGSizeMake(width, std::numeric_limits<CGFloat>::max()),
                        static_cast<UILineBreakMode>(lineBreakMode));
}
