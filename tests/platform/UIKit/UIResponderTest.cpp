#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Foundation/NSDictionary.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSValue.h"
#include "Foundation/ProcessWide.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIKitNotifications.h"
#include "UIKit/UITextField.h"
#include "UIKit/UITextInputTraits.h"
#include "UIKit/UITextView.h"
#include "UIKit/UIWindow.h"
#include "support/FoundationTesting.h"

namespace {
std::vector<std::string> gLog;

class FieldDelegate : public NSObject, public UITextFieldDelegate {
    NS_OBJECT(FieldDelegate, NSObject)
    std::string name;
    bool allowBegin = true, allowEnd = true, allowReturn = true;
    std::string forbidden;  // text the delegate refuses to let in
    bool textFieldShouldBeginEditing(UITextField*) override {
        gLog.push_back(name + ".shouldBegin");
        return allowBegin;
    }
    void textFieldDidBeginEditing(UITextField*) override { gLog.push_back(name + ".didBegin"); }
    bool textFieldShouldEndEditing(UITextField*) override {
        gLog.push_back(name + ".shouldEnd");
        return allowEnd;
    }
    void textFieldDidEndEditing(UITextField*) override { gLog.push_back(name + ".didEnd"); }
    bool textFieldShouldChangeCharactersInRangeReplacementString(UITextField*, NSRange,
                                                                 NSString* s) override {
        return s->utf8() != forbidden;
    }
    bool textFieldShouldReturn(UITextField*) override {
        gLog.push_back(name + ".shouldReturn");
        return allowReturn;
    }
};

class Observer : public NSObject {
    NS_OBJECT(Observer, NSObject)
    static void describeClass(RuntimeClass& c) { c.method("note:", &Observer::note); }
    void note(NSNotification* n) {
        std::string s = n->name()->utf8();
        if (s.rfind("UIKeyboard", 0) == 0) {
            auto end = as<NSValue>(n->userInfo()->objectForKey(UIKeyboardFrameEndUserInfoKey));
            s += " " + NSStringFromCGRect(CGRectValue(end))->utf8();
        }
        gLog.push_back(s);
    }
};

class ExitTarget : public NSObject {
    NS_OBJECT(ExitTarget, NSObject)
    static void describeClass(RuntimeClass& c) { c.method("exited:", &ExitTarget::exited); }
    void exited(NSObject*) { gLog.push_back("exited"); }
};

class ShakeCatcher : public UIView {
    NS_OBJECT(ShakeCatcher, UIView)
    int shakes = 0;
    bool canBecomeFirstResponder() override { return true; }
    void motionEnded(UIEventSubtype motion, UIEvent* event) override {
        if (motion == UIEventSubtypeMotionShake) ++shakes;
        UIView::motionEnded(motion, event);
    }
};

// A text input that never lets the focus go.
class StubbornInput : public UIResponder, public UIKeyInput {
    NS_OBJECT(StubbornInput, UIResponder)
    bool canBecomeFirstResponder() override { return true; }
    bool canResignFirstResponder() override { return false; }
    bool hasText() override { return false; }
    void insertText(NSString*) override {}
    void deleteBackward() override {}
};

class Focusable : public UIResponder {
    NS_OBJECT(Focusable, UIResponder)
    bool canBecomeFirstResponder() override { return true; }
};

class ResponderTest : public testing::Test {
protected:
    Ref<UIWindow> window = make<UIWindow>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 480));
    Ref<UITextField> first = make<UITextField>(&UIView::initWithFrame, CGRectMake(10, 10, 200, 30));
    Ref<UITextField> second =
        make<UITextField>(&UIView::initWithFrame, CGRectMake(10, 50, 200, 30));
    Ref<FieldDelegate> d1 = make<FieldDelegate>(), d2 = make<FieldDelegate>();
    void SetUp() override {
        gLog.clear();
        window->makeKeyAndVisible();
        window->addSubview(first);
        window->addSubview(second);
        d1->name = "first";
        d2->name = "second";
        first->setDelegate(d1);
        second->setDelegate(d2);
    }
    void TearDown() override { window->endEditing(true); }
};
}  // namespace

TEST_F(ResponderTest, FocusMovesThroughTheDelegates) {
    EXPECT_TRUE(first->becomeFirstResponder());
    EXPECT_TRUE(first->isEditing());
    EXPECT_EQ(UIResponder::currentFirstResponder().get(), first.get());
    EXPECT_TRUE(second->becomeFirstResponder());
    EXPECT_EQ(gLog,
              (std::vector<std::string>{"first.shouldBegin", "first.didBegin", "second.shouldBegin",
                                        "first.shouldEnd", "first.didEnd", "second.didBegin"}));
    EXPECT_FALSE(first->isEditing());
    gLog.clear();
    // A field that will not let go keeps the focus.
    d2->allowEnd = false;
    EXPECT_FALSE(first->becomeFirstResponder());
    EXPECT_TRUE(second->isFirstResponder());
    EXPECT_FALSE(second->resignFirstResponder());
    EXPECT_EQ(gLog, (std::vector<std::string>{"first.shouldBegin", "second.shouldEnd",
                                              "second.shouldEnd"}));
    // Forced, it goes whatever the delegate says.
    EXPECT_TRUE(window->endEditing(true));
    EXPECT_FALSE(UIResponder::currentFirstResponder());
    EXPECT_EQ(gLog.back(), "second.didEnd");
}

TEST_F(ResponderTest, RefusalsAndViewsOffScreen) {
    d1->allowBegin = false;
    EXPECT_FALSE(first->becomeFirstResponder());
    EXPECT_FALSE(first->isEditing());
    auto loose = make<UITextField>(&UIView::initWithFrame, CGRectMake(0, 0, 10, 10));
    EXPECT_FALSE(loose->becomeFirstResponder());  // not in a window
    EXPECT_TRUE(second->becomeFirstResponder());
    // Leaving the window ends editing, whatever the delegate would say.
    d2->allowEnd = false;
    second->removeFromSuperview();
    EXPECT_FALSE(UIResponder::currentFirstResponder());
    EXPECT_FALSE(second->isEditing());
    EXPECT_EQ(gLog.back(), "second.didEnd");
}

TEST_F(ResponderTest, TypingAsksTheDelegateAndReturnEndsOnExit) {
    auto observer = make<Observer>();
    auto center = NSNotificationCenter::defaultCenter();
    center->addObserver(observer, Selector::named("note:"), UITextFieldTextDidChangeNotification,
                        first);
    first->insertText(NS("ignored"));  // not editing: nothing happens
    EXPECT_EQ(first->text()->utf8(), "");
    first->becomeFirstResponder();
    gLog.clear();
    first->insertText(NS("bike"));
    d1->forbidden = "!";
    first->insertText(NS("!"));
    first->deleteBackward();
    EXPECT_EQ(first->text()->utf8(), "bik");
    EXPECT_EQ(gLog, (std::vector<std::string>{"UITextFieldTextDidChangeNotification",
                                              "UITextFieldTextDidChangeNotification"}));
    gLog.clear();
    // Return without a did-end-on-exit action keeps the focus.
    first->insertText(NS("\n"));
    EXPECT_TRUE(first->isFirstResponder());
    auto target = make<ExitTarget>();
    first->addTarget(target, Selector::named("exited:"), UIControlEventEditingDidEndOnExit);
    gLog.clear();
    first->insertText(NS("e\nlost"));
    EXPECT_EQ(first->text()->utf8(), "bike");  // what follows the return goes nowhere
    EXPECT_FALSE(first->isFirstResponder());
    EXPECT_EQ(gLog, (std::vector<std::string>{"UITextFieldTextDidChangeNotification",
                                              "first.shouldReturn", "exited", "first.shouldEnd",
                                              "first.didEnd"}));
    center->removeObserver(observer);
}

TEST_F(ResponderTest, SecureFieldsShowDotsAndPlaceholderShowsWhenEmpty) {
    first->setPlaceholder(NS("Keyword"));
    EXPECT_EQ(first->displayedText()->utf8(), "Keyword");
    first->setSecureTextEntry(true);
    first->setText(NS("pass"));
    EXPECT_EQ(first->displayedText()->utf8(), "\u2022\u2022\u2022\u2022");
    first->becomeFirstResponder();
    first->clearText();
    EXPECT_EQ(first->text()->utf8(), "");
}

TEST_F(ResponderTest, KeyboardShowsOnceWhileTextHasTheFocus) {
    auto observer = make<Observer>();
    auto center = NSNotificationCenter::defaultCenter();
    for (NSString* n : {UIKeyboardWillShowNotification, UIKeyboardDidShowNotification,
                        UIKeyboardWillHideNotification, UIKeyboardDidHideNotification})
        center->addObserver(observer, Selector::named("note:"), n, nullptr);
    first->becomeFirstResponder();
    second->becomeFirstResponder();  // moving between fields keeps the keyboard up
    auto view = make<UITextView>(&UIView::initWithFrame, CGRectMake(0, 100, 320, 100));
    window->addSubview(view);
    view->becomeFirstResponder();
    second->becomeFirstResponder();
    std::vector<std::string> notes;
    for (auto& s : gLog)
        if (s.rfind("UIKeyboard", 0) == 0) notes.push_back(s);
    EXPECT_EQ(notes,
              (std::vector<std::string>{"UIKeyboardWillShowNotification {{0, 264}, {320, 216}}",
                                        "UIKeyboardDidShowNotification {{0, 264}, {320, 216}}"}));
    gLog.clear();
    second->resignFirstResponder();
    EXPECT_EQ(gLog,
              (std::vector<std::string>{"second.shouldEnd", "second.didEnd",
                                        "UIKeyboardWillHideNotification {{0, 480}, {320, 216}}",
                                        "UIKeyboardDidHideNotification {{0, 480}, {320, 216}}"}));
    center->removeObserver(observer);
}

TEST_F(ResponderTest, ShakeReachesTheFirstResponderAndPassesUp) {
    auto catcher = make<ShakeCatcher>(&UIView::initWithFrame, CGRectMake(0, 0, 100, 100));
    auto inner = make<ShakeCatcher>(&UIView::initWithFrame, CGRectMake(0, 0, 10, 10));
    window->addSubview(catcher);
    catcher->addSubview(inner);
    auto app = UIApplication::sharedApplication();
    app->performShake();
    EXPECT_EQ(catcher->shakes, 0);  // nobody has the focus: the window hears it
    ASSERT_TRUE(inner->becomeFirstResponder());
    app->performShake();
    EXPECT_EQ(inner->shakes, 1);
    EXPECT_EQ(catcher->shakes, 1);  // passed up the chain by the base class
}

TEST(ResponderFocus, NeitherFocusNorKeyboardOutlivesTheTest) {
    // Kept alive past its test, as by a holder that is never reset.
    auto stubborn = make<StubbornInput>();
    ASSERT_TRUE(stubborn->becomeFirstResponder());
    EXPECT_TRUE(UIKeyboard::isVisible());
    resetProcessWideInstances();  // as between two tests
    EXPECT_FALSE(UIResponder::currentFirstResponder());
    EXPECT_FALSE(stubborn->isFirstResponder());
    EXPECT_FALSE(UIKeyboard::isVisible());
    // The next test's responder takes the focus without asking the old one.
    auto next = make<Focusable>();
    EXPECT_TRUE(next->becomeFirstResponder());
    EXPECT_EQ(UIResponder::currentFirstResponder().get(), next.get());
    stubborn = nullptr;  // its end takes nothing from the new focus
    EXPECT_TRUE(next->isFirstResponder());
    EXPECT_TRUE(next->resignFirstResponder());
}
