#include <gtest/gtest.h>

#include <string>

#include "Foundation/NSString.h"
#include "UIKit/UITextField.h"
#include "UIKit/UITextInputTraits.h"
#include "UIKit/UIWindow.h"
#include "tools/shell/ShellScreen.h"

namespace {

// The line the shell prints under a focused text field whose return key is `type`.
std::string keyboardLine(UIReturnKeyType type) {
    auto window = make<UIWindow>(&UIWindow::initWithFrame, CGRectMake(0, 0, 320, 480));
    window->setHidden(false);
    auto field = make<UITextField>(&UITextField::initWithFrame, CGRectMake(20, 20, 280, 31));
    field->setReturnKeyType(type);
    window->addSubview(field);
    field->becomeFirstResponder();
    auto text = ShellScreen::captureWindow(window).text();
    field->resignFirstResponder();
    auto at = text.find("(keyboard:");
    if (at == std::string::npos) return "";
    return text.substr(at, text.find('\n', at) - at);
}

}  // namespace

TEST(ShellReturnKeyTest, BothSearchKeysAreTitledSearchAndKeepTheirValues) {
    // Their values are the platform's: archived and stored settings carry them as numbers.
    EXPECT_EQ(UIReturnKeyWebSearch, 2);
    EXPECT_EQ(UIReturnKeyPortalSearch, 8);
    const std::string search = "(keyboard: type text; the return key reads \"Search\")";
    EXPECT_EQ(keyboardLine(UIReturnKeyWebSearch), search);
    EXPECT_EQ(keyboardLine(UIReturnKeyPortalSearch), search);
    EXPECT_EQ(keyboardLine(UIReturnKeySearch), search);
    EXPECT_EQ(keyboardLine(UIReturnKeyJoin),
              "(keyboard: type text; the return key reads \"Join\")");
    EXPECT_EQ(keyboardLine(UIReturnKeyDone),
              "(keyboard: type text; the return key reads \"Done\")");
}
