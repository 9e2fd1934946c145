#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNumber.h"
#include "UIKit/UIAlertView.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UILabel.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UIWindow.h"
#include "support/RunLoopTesting.h"
#include "ui/style/DZActivityLabel.h"
#include "ui/table/DZMessageController.h"
#include "ui/table/DZTableView.h"
#include "ui/table/DZTableViewDataSource.h"
#include "ui/table/TableTesting.h"

namespace {

// Labels every string but "nobody".
class Contacts : public DZListDataSource {
    NS_OBJECT(Contacts, DZListDataSource)

public:
    Ref<NSString> tableViewLabelForObject(UITableView* t, NSObject* object) override {
        auto s = as<NSString>(Ref<NSObject>(object));
        if (s && s->isEqualToString(NS("nobody"))) return nullptr;
        return DZListDataSource::tableViewLabelForObject(t, object);
    }
};

class ComposeRecorder : public NSObject, public DZMessageControllerDelegate {
    NS_OBJECT(ComposeRecorder, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"composeController:didSendFields:", "composeControllerWillCancel:"});
    }

public:
    void composeControllerDidSendFields(DZMessageController*, NSArray* fields) override {
        sent = fields;
    }
    void composeControllerWillCancel(DZMessageController*) override { ++cancels; }
    Ref<NSArray> sent;
    int cancels = 0;
};

Ref<UIAlertView> frontAlert() {
    auto panels = UIButtonPanelView::shownPanels();
    return panels && panels->count() ? as<UIAlertView>(panels->lastObject()) : nullptr;
}

class DZMessageControllers : public ::testing::Test {
protected:
    void SetUp() override {
        window = testWindow();
        root = make<UIViewController>();
        window->setRootViewController(root.get());
        contacts = make<Contacts>();
        recorder = make<ComposeRecorder>();
    }
    void TearDown() override {
        if (root->modalViewController()) root->dismissModalViewControllerAnimated(false);
    }
    Ref<DZMessageController> present(NSArray* recipients = nullptr) {
        auto composer = recipients ? make<DZMessageController>(
                                         &DZMessageController::initWithRecipients, recipients)
                                   : make<DZMessageController>();
        composer->setDataSource(contacts.get());
        composer->setDelegate(recorder.get());
        root->presentModalViewController(composer.get(), false);
        return composer;
    }
    Ref<DZPickerTextField> field(DZMessageController* c, NSUInteger i) {
        return cast<DZPickerTextField>(c->viewForFieldAtIndex(i));
    }
    bool sendEnabled(DZMessageController* c) {
        return c->navigationItem()->rightBarButtonItem()->isEnabled();
    }

    ManualClockScope clock;
    Ref<UIWindow> window;
    Ref<UIViewController> root;
    Ref<Contacts> contacts;
    Ref<ComposeRecorder> recorder;
};

TEST_F(DZMessageControllers, AFreshScreenFocusesToAndTheSubjectRetitlesAfterTheKeystroke) {
    auto c = present();
    EXPECT_FALSE(sendEnabled(c.get()));
    EXPECT_EQ(c->fieldIndexOfFirstResponder(), 0);
    EXPECT_STREQ(c->navigationItem()->title()->UTF8String(), "New Message");
    ASSERT_EQ(c->fieldViews()->count(), 2u);
    // Field, separator, field, separator, body: stacked without gaps.
    auto views = c->scrollView()->subviews();
    ASSERT_EQ(views->count(), 5u);
    CGFloat y = 0;
    for (NSObject* v : *views) {
        EXPECT_FLOAT_EQ(static_cast<UIView*>(v)->frame().origin.y, y);
        y += static_cast<UIView*>(v)->frame().size.height;
    }
    EXPECT_FLOAT_EQ(c->scrollView()->contentSize().height, y);
    EXPECT_STREQ(as<UILabel>(field(c.get(), 1)->leftView())->text()->UTF8String(), "Subject:");

    ASSERT_TRUE(field(c.get(), 1)->becomeFirstResponder());
    field(c.get(), 1)->insertText(NS("Bike"));
    EXPECT_STREQ(c->navigationItem()->title()->UTF8String(), "New Message");
    advanceRunLoop(0.001);
    EXPECT_STREQ(c->navigationItem()->title()->UTF8String(), "Bike");
    EXPECT_STREQ(c->subject()->UTF8String(), "Bike");
    EXPECT_TRUE(c->isModified());
    // Return moves on to the body.
    field(c.get(), 1)->insertText(NS("\n"));
    EXPECT_EQ(c->fieldIndexOfFirstResponder(), 2);
}

TEST_F(DZMessageControllers, SendNeedsARecipientAndGivesTheFieldsPlusAnUntitledBody) {
    auto c = present(NSArray::arrayWithObjects({NS("ann@bazaar.test"), NS("nobody")}).get());
    // The unlabelled recipient is left out; focus goes to the first field without a value.
    ASSERT_EQ(field(c.get(), 0)->cells()->count(), 1u);
    EXPECT_EQ(c->fieldIndexOfFirstResponder(), 1);
    EXPECT_TRUE(sendEnabled(c.get()));
    c->setSubject(NS("Hello"));
    c->setBody(NS("Is it still for sale?"));

    c->setRequireNonEmptyMessageBody(true);
    c->setBody(NS("  \n "));
    c->updateSendCommand();
    EXPECT_FALSE(sendEnabled(c.get()));
    c->setBody(NS("Is it still for sale?"));
    c->updateSendCommand();
    EXPECT_TRUE(sendEnabled(c.get()));

    c->send();
    ASSERT_TRUE(recorder->sent);
    ASSERT_EQ(recorder->sent->count(), 3u);
    auto to = cast<DZMessageRecipientField>(recorder->sent->objectAtIndex(0));
    EXPECT_STREQ(cast<NSString>(to->recipients()->objectAtIndex(0))->UTF8String(),
                 "ann@bazaar.test");
    EXPECT_STREQ(cast<DZMessageTextField>(recorder->sent->objectAtIndex(1))->text()->UTF8String(),
                 "Hello");
    auto bodyField = cast<DZMessageTextField>(recorder->sent->objectAtIndex(2));
    EXPECT_FALSE(bodyField->title());
    EXPECT_FALSE(bodyField->isRequired());
    EXPECT_STREQ(bodyField->text()->UTF8String(), "Is it still for sale?");
    // The controller stays up, sending, until the delegate says otherwise.
    EXPECT_EQ(root->modalViewController().get(), static_cast<UIViewController*>(c.get()));
    ASSERT_TRUE(c->activityView());
    EXPECT_FALSE(sendEnabled(c.get()));
    c->showActivityView(false);
    EXPECT_FALSE(c->activityView());
    EXPECT_TRUE(sendEnabled(c.get()));
    // The field list itself keeps its two entries.
    EXPECT_EQ(c->fields()->count(), 2u);
}

TEST_F(DZMessageControllers, CancelAsksOnlyOnceSomethingCountsAsEntered) {
    auto c = present();
    c->setSubject(NS("Only a subject"));
    c->cancel();
    EXPECT_FALSE(frontAlert());
    EXPECT_EQ(recorder->cancels, 1);
    EXPECT_FALSE(root->modalViewController());

    auto d = present();
    ASSERT_TRUE(d->textEditor()->becomeFirstResponder());
    d->textEditor()->textField()->insertText(NS("Hi"));
    advanceRunLoop(0.001);
    EXPECT_TRUE(d->isModified());
    d->cancel();
    ASSERT_TRUE(frontAlert());
    ASSERT_TRUE(frontAlert()->clickButtonWithTitle(NS("No")));
    EXPECT_EQ(root->modalViewController().get(), static_cast<UIViewController*>(d.get()));
    d->cancel();
    ASSERT_TRUE(frontAlert()->clickButtonWithTitle(NS("Yes")));
    EXPECT_EQ(recorder->cancels, 2);
    EXPECT_FALSE(root->modalViewController());
}

TEST_F(DZMessageControllers, StateComesBackAfterAMemoryWarningAndBadEntriesAreSkipped) {
    auto c =
        present(NSArray::arrayWithObjects({NS("ann@bazaar.test"), NS("bob@bazaar.test")}).get());
    c->setSubject(NS("Sofa"));
    c->setBody(NS("Still there?"));
    ASSERT_TRUE(c->textEditor()->becomeFirstResponder());
    auto state = NSMutableDictionary::dictionary();
    c->persistView(state.get());
    EXPECT_EQ(as<NSNumber>(state->objectForKey(NS("firstResponder")))->intValue(), 2);
    EXPECT_TRUE(as<NSNumber>(state->objectForKey(NS("__important__")))->boolValue());
    root->dismissModalViewControllerAnimated(false);

    auto again = make<DZMessageController>();
    again->setDataSource(contacts.get());
    again->restoreView(state.get());
    auto cells = field(again.get(), 0)->cells();
    ASSERT_EQ(cells->count(), 2u);
    EXPECT_STREQ(cast<NSString>(cells->objectAtIndex(1))->UTF8String(), "bob@bazaar.test");
    EXPECT_STREQ(again->subject()->UTF8String(), "Sofa");
    EXPECT_STREQ(again->body()->UTF8String(), "Still there?");

    // A recipient entry of the wrong kind, an undecodable cell and an entry past the fields.
    auto broken = NSMutableDictionary::dictionary();
    auto badCells = NSMutableDictionary::dictionary();
    badCells->setObject(
        NSArray::arrayWithObjects({NSData::dataWithBytes("junk", 4).get(), NS("not data")}).get(),
        NS("cells"));
    badCells->setObject(NS(" "), NS("text"));
    broken->setObject(
        NSArray::arrayWithObjects({badCells.get(), NSNumber::numberWithInt(3).get(), NS("extra")})
            .get(),
        NS("fields"));
    broken->setObject(NSNumber::numberWithInt(-1).get(), NS("firstResponder"));
    auto third = make<DZMessageController>();
    root->presentModalViewController(third.get(), false);
    third->restoreView(broken.get());
    EXPECT_EQ(field(third.get(), 0)->cells()->count(), 0u);
    EXPECT_EQ(third->fieldIndexOfFirstResponder(), 2);  // -1 focuses the body
}

}  // namespace
