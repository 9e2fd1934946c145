// A posting step that lists the site's choices (a category level or an area level) and posts
// the chosen one back to the site. The action comes from the page shown (myInfo); the reply
// lands in the step's own page holder (postInfo), which the next step gets as its myInfo.
#pragma once

#include "UIKit/UITableView.h"
#include "UIKit/UIViewController.h"
#include "external/nk-http-request/Classes/NKHTTPRequestDelegate.h"

#include "Classes/PostInfo.h"
#include "Classes/PostPage.h"
#include "Classes/RequestInFlight.h"
#include "Foundation/NSArray.h"

class PostStepController : public UIViewController,
                           public NKHTTPRequestDelegate,
                           public UITableViewDataSource,
                           public UITableViewDelegate {
    NS_OBJECT(PostStepController, UIViewController)
    static void describeClass(RuntimeClass& c);

public:
    void viewDidLoad() override;

    NSInteger numberOfSectionsInTableView(UITableView*) override { return 1; }
    NSInteger tableViewNumberOfRowsInSection(UITableView* table, NSInteger section) override;
    Ref<UITableViewCell> tableViewCellForRowAtIndexPath(UITableView* table,
                                                        NSIndexPath* path) override;
    void tableViewWillDisplayCellForRowAtIndexPath(UITableView* table, UITableViewCell* cell,
                                                   NSIndexPath* path) override;
    // While the step's post is in flight its rows take no taps: a second choice would go out
    // with the same form, and the site takes a form once.
    Ref<NSIndexPath> tableViewWillSelectRowAtIndexPath(UITableView* table,
                                                       NSIndexPath* path) override;
    void tableViewDidSelectRowAtIndexPath(UITableView* table, NSIndexPath* path) override;

    void requestStarted(NKHTTPRequest* request) override;
    void requestReceivedResponseHeaders(NKHTTPRequest*) override {}
    void requestFinished(NKHTTPRequest* request) override;
    void requestFailed(NKHTTPRequest* request) override;

    Ref<UITableView> myTableView() { return myTableView_; }
    void setMyTableView(UITableView* v) { myTableView_ = v; }
    Ref<PostInfo> myInfo() { return myInfo_; }
    void setMyInfo(PostInfo* info) { myInfo_ = info; }
    Ref<PostInfo> postInfo() { return postInfo_; }
    Ref<NSArray> choices() { return choices_; }
    Ref<UIView> activityLabel() { return activityLabel_; }
    // A choice's post is out and its answer not in yet.
    bool isPosting() { return requests_.isOut(); }

    void dealloc() override;

protected:
    // The step's title and its choices from the page shown.
    virtual NSString* stepTitle() = 0;
    virtual Ref<NSArray> choicesOf(PostPage* page) = 0;
    // The reply's page type decides the next step; NO for a page the step does not go on from,
    // whose text the step then shows.
    virtual bool nextStep(int32_t pageType) = 0;
    // Pushes the next step's screen from its interface, with this step's page holder.
    void push(UIViewController* next, NSString* interfaceName);

private:
    Ref<UITableView> myTableView_;
    Ref<NSArray> choices_;
    Ref<UIView> activityLabel_;
    Ref<PostInfo> myInfo_;
    Ref<PostInfo> postInfo_;
    RequestInFlight requests_;
};
