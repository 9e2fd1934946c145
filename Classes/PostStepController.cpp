#include "Classes/PostStepController.h"

#include "Classes/PostCatagoryController.h"
#include "Classes/PostController.h"
#include "Classes/PostInfo.h"
#include "Classes/PostPage.h"
#include "Classes/PostSection.h"
#include "Classes/PostingSupport.h"
#include "Classes/ScreenSupport.h"
#include "Classes/Theme.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UITableViewCell.h"

void PostStepController::describeClass(RuntimeClass& c) {
    c.implements(
        {"requestStarted:", "requestReceivedResponseHeaders:", "requestFinished:", "requestFailed:",
         "numberOfSectionsInTableView:", "tableView:willDisplayCell:forRowAtIndexPath:",
         "tableView:willSelectRowAtIndexPath:", "tableView:didSelectRowAtIndexPath:"});
}

void PostStepController::viewDidLoad() {
    UIViewController::viewDidLoad();
    auto page = myInfo_ ? myInfo_->postPage() : nullptr;
    choices_ = page ? choicesOf(page.get()) : nullptr;
    activityLabel_ = makeActivityLabel(NS("Loading..."), view());
    // A view made again (after a memory warning) while the choice is out shows it is.
    activityLabel_->setHidden(!requests_.isOut());
    view()->bringSubviewToFront(activityLabel_);
    setTitle(stepTitle());
}

NSInteger PostStepController::tableViewNumberOfRowsInSection(UITableView*, NSInteger) {
    return choices_ ? static_cast<NSInteger>(choices_->count()) : 0;
}

Ref<UITableViewCell> PostStepController::tableViewCellForRowAtIndexPath(UITableView* table,
                                                                        NSIndexPath* path) {
    return posting::choiceCell(
        table,
        as<PostSection>(choices_->objectAtIndex(static_cast<NSUInteger>(path->row()))).get());
}

void PostStepController::tableViewWillDisplayCellForRowAtIndexPath(UITableView*,
                                                                   UITableViewCell* cell,
                                                                   NSIndexPath*) {
    cell->setBackgroundColor(Theme::getCellBackgroundColor(nullptr));
}

Ref<NSIndexPath> PostStepController::tableViewWillSelectRowAtIndexPath(UITableView*,
                                                                       NSIndexPath* path) {
    return requests_.rowToSelect(path);
}

void PostStepController::tableViewDidSelectRowAtIndexPath(UITableView* table, NSIndexPath* path) {
    auto section = as<PostSection>(choices_->objectAtIndex(static_cast<NSUInteger>(path->row())));
    if (!postInfo_) {
        postInfo_ = make<PostInfo>();
        postInfo_->setPostPage(make<PostPage>());
    }
    // A step of a session with a step out, or whose posting was made since, sends its choice
    // nowhere.
    if (section)
        posting::sendChoice(this, this, requests_, section.get(), myInfo_->postPage().get(),
                            postInfo_->postPage().get());
    table->deselectRowAtIndexPath(path, true);
}

void PostStepController::requestStarted(NKHTTPRequest*) {
    activityLabel_->setHidden(false);
}

void PostStepController::requestFinished(NKHTTPRequest* request) {
    Ref<PostStepController> keep = this;
    if (!requests_.ended(request)) return;
    PostInfo::stepEnded(this);
    activityLabel_->setHidden(true);
    auto page = postInfo_->postPage();
    int32_t type = posting::isRefusal(request) ? kPostPageUnknown : page->getPostPageType();
    // A refusal or a page the chain does not have: the site's words say why, instead of a tap
    // that seems to do nothing.
    if (!nextStep(type)) posting::showMessage(posting::failureText(page->getReply()));
}

void PostStepController::requestFailed(NKHTTPRequest* request) {
    if (!requests_.ended(request)) return;
    PostInfo::stepEnded(this);
    activityLabel_->setHidden(true);
    posting::showMessage(NS("Network connection error"));
}

void PostStepController::push(UIViewController* next, NSString* interfaceName) {
    next->initWithNibName(interfaceName, nullptr);
    if (auto step = as<PostStepController>(next)) step->setMyInfo(postInfo_);
    if (auto compose = as<PostController>(next)) compose->setMyInfo(postInfo_);
    if (auto nav = navigationController()) nav->pushViewController(next, true);
}

void PostStepController::dealloc() {
    choices_ = nullptr;
    myInfo_ = nullptr;
    postInfo_ = nullptr;
    myTableView_ = nullptr;
    UIViewController::dealloc();
}
