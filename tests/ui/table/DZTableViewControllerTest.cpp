#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSNumber.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIWindow.h"
#include "support/RunLoopTesting.h"
#include "support/http/TestServer.h"
#include "ui/core/DZURLCache.h"
#include "ui/core/DZURLRequest.h"
#include "ui/core/DZURLRequestQueue.h"
#include "ui/style/DZActivityLabel.h"
#include "ui/style/DZDefaultStyleSheet.h"
#include "ui/style/DZErrorView.h"
#include "ui/table/DZTableItem.h"
#include "ui/table/DZTableSupport.h"
#include "ui/table/DZTableView.h"
#include "ui/table/DZTableViewDataSource.h"
#include "ui/table/DZTableViewDragRefreshDelegate.h"
#include "ui/table/TableTesting.h"

namespace {

constexpr int kPageSize = 20;

Ref<NSString> str(const std::string& s) {
    return NSString::stringWithUTF8String(s.c_str());
}

// Pages of item names, one per line, from the test server.
class PagesModel : public DZURLRequestModel {
    NS_OBJECT(PagesModel, DZURLRequestModel)

public:
    std::string base;
    std::vector<std::string> names;
    int page = 0;
    void load(int32_t policy, bool more) override {
        setIsLoadingMore(more);
        int next = more ? page + 1 : 1;
        auto request = DZURLRequest::requestWithURL(
            str(base + "/items.json?page=" + std::to_string(next)), this);
        request->setCachePolicy(policy);
        request->setResponse(make<DZURLDataResponse>().get());
        request->setUserInfo(NSNumber::numberWithInt(next).get());
        request->send();
    }
    void requestDidFinishLoad(DZURLRequest* request) override {
        auto data = as<DZURLDataResponse>(request->response())->data();
        std::string body(static_cast<const char*>(data->bytes()), data->length());
        if (!isLoadingMore()) names.clear();
        int added = 0;
        for (size_t start = 0; start < body.size();) {
            size_t end = body.find('\n', start);
            if (end == std::string::npos) end = body.size();
            if (end > start) {
                names.push_back(body.substr(start, end - start));
                ++added;
            }
            start = end + 1;
        }
        page = as<NSNumber>(request->userInfo())->intValue();
        setHasNoMore(added < kPageSize);
        DZURLRequestModel::requestDidFinishLoad(request);
    }
};

// Text rows for the names, then a more button while the model has more.
class PagesSource : public DZListDataSource {
    NS_OBJECT(PagesSource, DZListDataSource)
    static void describeClass(RuntimeClass& c) {
        c.implements(
            {"tableView:willUpdateObject:atIndexPath:", "tableView:willInsertObject:atIndexPath:",
             "tableView:willRemoveObject:atIndexPath:"});
    }

public:
    void tableViewDidLoadModel(UITableView*) override {
        auto pages = as<PagesModel>(model());
        items()->removeAllObjects();
        for (auto& name : pages->names)
            items()->addObject(DZTableTextItem::itemWithText(str(name)).get());
        if (!pages->hasNoMore()) {
            items()->addObject(
                DZTableMoreButton::itemWithTextSubtitle(NS("Load more"), NS("")).get());
        }
    }
    Ref<NSString> titleForEmpty() override { return emptyTitle; }
    Ref<NSIndexPath> tableViewWillInsertObject(UITableView*, NSObject* object,
                                               NSIndexPath* indexPath) override {
        items()->insertObject(object, static_cast<NSUInteger>(indexPath->row()));
        return indexPath;
    }
    // A changed row reloads its whole section.
    Ref<NSIndexPath> tableViewWillUpdateObject(UITableView*, NSObject*, NSIndexPath*) override {
        return NSIndexPath::indexPathWithIndex(0);
    }
    Ref<NSIndexPath> tableViewWillRemoveObject(UITableView*, NSObject*,
                                               NSIndexPath* indexPath) override {
        items()->removeObjectAtIndex(static_cast<NSUInteger>(indexPath->row()));
        return indexPath;
    }
    Ref<NSString> emptyTitle;
};

// Writes down the row changes and their animations.
class RecordingTable : public DZTableView {
    NS_OBJECT(RecordingTable, DZTableView)

public:
    void insertRowsAtIndexPaths(NSArray* paths, UITableViewRowAnimation a) override {
        note("insert rows", a);
        DZTableView::insertRowsAtIndexPaths(paths, a);
    }
    void deleteRowsAtIndexPaths(NSArray* paths, UITableViewRowAnimation a) override {
        note("delete rows", a);
        DZTableView::deleteRowsAtIndexPaths(paths, a);
    }
    void reloadSections(const std::vector<NSUInteger>& sections,
                        UITableViewRowAnimation a) override {
        note("reload sections", a);
        DZTableView::reloadSections(sections, a);
    }
    void note(const char* what, UITableViewRowAnimation a) {
        changes.push_back(std::string(what) + " " + std::to_string(a));
    }
    std::vector<std::string> changes;
};

class RefreshingController : public RecordingTableController {
    NS_OBJECT(RefreshingController, RecordingTableController)

public:
    Ref<DZTableViewDelegate> createDelegate() override {
        return make<DZTableViewDragRefreshDelegate>(
            &DZTableViewDragRefreshDelegate::initWithController, this);
    }
};

class DZTableControllers : public ::testing::Test {
protected:
    void SetUp() override {
        queue = make<DZURLRequestQueue>();
        DZURLRequestQueue::setMainQueue(queue.get());
        DZURLCache::sharedCache()->removeAll(true);
        server.route("GET", "/items.json", [this](const testhttp::Request& r) {
            int page = std::stoi(r.query.substr(r.query.find('=') + 1));
            std::string body;
            int first = (page - 1) * kPageSize + 1;
            for (int i = first; i < first + kPageSize && i <= total; ++i)
                body += "Item " + std::to_string(i) + "\n";
            return testhttp::Response(200, body);
        });
        window = testWindow();
    }
    void TearDown() override {
        if (controller) controller->view()->removeFromSuperview();
        queue->cancelAllRequests();
        DZURLRequestQueue::setMainQueue(nullptr);
    }

    template <class C = RecordingTableController>
    Ref<C> showController(Ref<PagesModel>& model, Ref<PagesSource>& source) {
        model = make<PagesModel>();
        model->base = server.url("");
        if (!model->base.empty() && model->base.back() == '/') model->base.pop_back();
        source = make<PagesSource>();
        source->setModel(model.get());
        auto c = make<C>();
        controller = c;
        c->setVariableHeightRows(true);
        c->view()->setFrame(window->bounds());
        window->addSubview(c->view().get());
        c->setDataSource(source.get());
        c->viewWillAppear(false);
        c->viewDidAppear(false);
        return c;
    }
    bool loaded(PagesModel* model) {
        return runLoopUntil([&] { return !model->isLoading(); });
    }
    NSInteger rows() { return controller->tableView()->numberOfRowsInSection(0); }

    ManualClockScope clock;
    testhttp::TestServer server;
    Ref<DZURLRequestQueue> queue;
    Ref<UIWindow> window;
    Ref<RecordingTableController> controller;
    int total = 45;
};

}  // namespace

TEST_F(DZTableControllers, LoadsPagesAndMoreFromTheServer) {
    Ref<PagesModel> model;
    Ref<PagesSource> source;
    auto c = showController(model, source);
    ASSERT_TRUE(model->isLoading());
    auto loading = as<DZActivityLabel>(c->loadingView());
    ASSERT_TRUE(loading);
    EXPECT_EQ(loading->text()->utf8(), "Loading...");
    EXPECT_EQ(loading->style(), DZActivityLabelStyleWhiteBox);
    ASSERT_TRUE(c->tableOverlayView());
    EXPECT_EQ(loading->superview(), c->tableOverlayView());

    ASSERT_TRUE(loaded(model.get()));
    EXPECT_FALSE(c->loadingView());
    EXPECT_FALSE(c->tableOverlayView());  // the empty container goes too
    EXPECT_EQ(rows(), kPageSize + 1);
    EXPECT_TRUE(is<DZTableViewVarHeightDelegate>(c->tableDelegate().get()));

    // The more button asks the controller's model for the next page.
    auto table = c->tableView();
    ASSERT_TRUE(table->tapRowAtIndexPath(NSIndexPath::indexPathForRow(kPageSize, 0).get()));
    EXPECT_TRUE(model->isLoadingMore());
    EXPECT_FALSE(c->loadingView());  // a loaded model that can show rows gets no loading view
    ASSERT_TRUE(loaded(model.get()));
    EXPECT_EQ(rows(), 2 * kPageSize + 1);
    ASSERT_TRUE(table->tapRowAtIndexPath(NSIndexPath::indexPathForRow(2 * kPageSize, 0).get()));
    ASSERT_TRUE(loaded(model.get()));
    EXPECT_EQ(rows(), total);  // the last page has no more button
    auto last = as<DZTableTextItem>(source->items()->lastObject());
    EXPECT_EQ(last->text()->utf8(), "Item 45");
    ASSERT_EQ(c->selected.size(), 2u);
    EXPECT_TRUE(is<DZTableMoreButton>(c->selected[0].get()));
}

TEST_F(DZTableControllers, EmptyAndErrorStates) {
    total = 0;
    Ref<PagesModel> model;
    Ref<PagesSource> source;
    auto c = showController(model, source);
    ASSERT_TRUE(loaded(model.get()));
    EXPECT_FALSE(c->emptyView());  // no texts: nothing to show
    EXPECT_FALSE(c->tableView()->dataSource());

    source->emptyTitle = NS("No listings");
    c->invalidateView();
    model->load(4, false);
    ASSERT_TRUE(loaded(model.get()));
    auto empty = as<DZErrorView>(c->emptyView());
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->superview(), c->tableOverlayView());

    // A request the server holds times out on the clock.
    auto gate = server.gate();
    server.route("GET", "/items.json", testhttp::held(gate, [](const testhttp::Request&) {
                     return testhttp::Response(200, "late\n");
                 }));
    model->load(4, false);
    ASSERT_TRUE(runLoopUntil([&] { return gate->waiting() >= 1; }));
    advanceRunLoop(301);
    ASSERT_TRUE(loaded(model.get()));
    auto error = as<DZErrorView>(c->errorView());
    ASSERT_TRUE(error);
    EXPECT_EQ(c->modelError()->code(), -1001);
    EXPECT_EQ(source->titleForError(c->modelError().get())->utf8(), "Connection Timed Out");
    EXPECT_EQ(error->title()->utf8(), "Connection Timed Out");
    EXPECT_EQ(error->subtitle()->utf8(), "Sorry, there was an error.");
    gate->open();
}

// A controller whose model comes without a data source.
class ModelOnlyController : public DZTableViewController {
    NS_OBJECT(ModelOnlyController, DZTableViewController)
public:
    void createInterstitialModel() override { setModel(make<DZModel>().get()); }
};

TEST_F(DZTableControllers, AnErrorWithoutADataSourceClearsTheTable) {
    auto c = make<ModelOnlyController>();
    c->view()->setFrame(window->bounds());
    window->addSubview(c->view().get());
    // Rows the table was given by hand, and an error view from before.
    auto rowsByHand =
        DZListDataSource::dataSourceWithObjects({DZTableTextItem::itemWithText(NS("stale")).get()});
    c->tableView()->setDataSource(rowsByHand.get());
    c->tableView()->reloadData();
    ASSERT_EQ(c->tableView()->numberOfRowsInSection(0), 1);
    c->setErrorView(make<DZErrorView>(&DZErrorView::initWithTitle, NS("Old"), nullptr,
                                      static_cast<UIImage*>(nullptr))
                        .get());
    ASSERT_TRUE(c->errorView());
    ASSERT_FALSE(c->dataSource());
    c->showError(true);
    EXPECT_FALSE(c->errorView());  // nothing to say
    EXPECT_FALSE(c->tableOverlayView());
    EXPECT_FALSE(c->tableView()->dataSource());
    EXPECT_EQ(c->tableView()->numberOfSections(), 0);
    c->view()->removeFromSuperview();
}

TEST_F(DZTableControllers, ModelChangesAnimateRowsAsTheSourceAnswers) {
    Ref<PagesModel> model;
    Ref<PagesSource> source;
    auto table = alloc<RecordingTable>();
    table->initWithFrame(CGRectMake(0, 0, 320, 480), UITableViewStylePlain);
    auto c = make<RecordingTableController>();
    c->view();
    c->tableView()->removeFromSuperview();
    c->setTableView(table.get());
    c->view()->addSubview(table.get());
    controller = c;
    model = make<PagesModel>();
    model->base = server.url("");
    if (model->base.back() == '/') model->base.pop_back();
    source = make<PagesSource>();
    source->setModel(model.get());
    window->addSubview(c->view().get());
    c->setDataSource(source.get());
    c->viewWillAppear(false);
    c->viewDidAppear(false);
    ASSERT_TRUE(loaded(model.get()));
    NSInteger before = rows();

    auto row = DZTableTextItem::itemWithText(NS("New"));
    model->didInsertObject(row.get(), NSIndexPath::indexPathForRow(0, 0).get());
    EXPECT_EQ(rows(), before + 1);
    model->didDeleteObject(row.get(), NSIndexPath::indexPathForRow(0, 0).get());
    EXPECT_EQ(rows(), before);
    model->didUpdateObject(source->items()->objectAtIndex(0).get(),
                           NSIndexPath::indexPathForRow(0, 0).get());
    EXPECT_EQ(table->changes,
              (std::vector<std::string>{"insert rows 3", "delete rows 2", "reload sections 3"}));
    // Off screen the controller refreshes instead.
    c->viewWillDisappear(false);
    c->viewDidDisappear(false);
    model->didDeleteObject(row.get(), NSIndexPath::indexPathForRow(0, 0).get());
    EXPECT_EQ(table->changes.size(), 3u);
}

TEST_F(DZTableControllers, BannerOverlayAndScrollPosition) {
    Ref<PagesModel> model;
    Ref<PagesSource> source;
    auto c = showController(model, source);
    ASSERT_TRUE(loaded(model.get()));
    auto table = c->tableView();
    CGFloat h = DZTableStyleSheet()->tableBannerViewHeight();
    auto banner = make<UIView>();
    c->setTableBannerView(banner.get(), true);
    EXPECT_EQ(table->contentInset().bottom, h);
    EXPECT_EQ(banner->superview(), c->view());
    EXPECT_EQ(banner->frame().origin.y, table->frame().size.height - h);
    EXPECT_FALSE(banner->isUserInteractionEnabled());
    c->setTableBannerView(nullptr, false);
    EXPECT_EQ(table->contentInset().bottom, 0);
    EXPECT_FALSE(banner->superview());

    auto overlay = make<UIView>();
    c->setTableOverlayView(overlay.get(), false);
    EXPECT_EQ(overlay->superview(), c->view());
    c->setTableOverlayView(nullptr, true);
    advanceRunLoop(0.5);
    EXPECT_FALSE(overlay->superview());

    // The scroll position goes into the saved state and comes back, never past the ends.
    table->setContentOffset(CGPointMake(0, 150));
    auto state = NSMutableDictionary::dictionary();
    c->persistView(state.get());
    EXPECT_FLOAT_EQ(as<NSNumber>(state->objectForKey(NS("scrollOffsetY")))->floatValue(), 150);
    table->setContentOffset(CGPointMake(0, 0));
    c->restoreView(state.get());
    EXPECT_EQ(table->contentOffset().y, 150);
    state->setObject(NSNumber::numberWithFloat(99999).get(), NS("scrollOffsetY"));
    c->restoreView(state.get());
    EXPECT_EQ(table->contentOffset().y, table->contentSize().height - table->bounds().size.height);
    // Short content never scrolls above its top.
    source->items()->removeAllObjects();
    table->reloadData();
    table->setContentSize(CGSizeMake(320, 44));
    c->restoreView(state.get());
    EXPECT_EQ(table->contentOffset().y, 0);
}

TEST_F(DZTableControllers, PullToRefreshReloadsFromTheNetwork) {
    Ref<PagesModel> model;
    Ref<PagesSource> source;
    auto c = showController<RefreshingController>(model, source);
    ASSERT_TRUE(loaded(model.get()));
    auto refresh = as<DZTableViewDragRefreshDelegate>(c->tableDelegate());
    ASSERT_TRUE(refresh);
    auto header = refresh->headerView();
    auto table = c->tableView();
    EXPECT_EQ(header->superview(), table);
    EXPECT_EQ(header->frame().origin.y, -table->bounds().size.height);
    // The model's first load finished after the delegate was made: its time shows.
    EXPECT_EQ(header->lastUpdatedLabel()->text()->utf8().rfind("Last updated: ", 0), 0u);
    EXPECT_NE(header->lastUpdatedLabel()->text()->utf8(), "Last updated: never");

    std::vector<std::string> order;
    auto token = NSNotificationCenter::defaultCenter()->addObserverForName(
        NS("DragRefreshTableReload"), nullptr, [&](NSNotification*) {
            order.push_back(model->isLoading() ? "post while loading" : "post");
        });
    // Just short of the threshold: nothing.
    table->beginDragging();
    table->dragTo(CGPointMake(0, -64.9f));
    EXPECT_EQ(header->status(), DZTableHeaderDragRefreshPullToReload);
    table->endDragging(false);
    EXPECT_TRUE(order.empty());
    EXPECT_FALSE(model->isLoading());
    // At the threshold: the post, then a network-only reload.
    table->beginDragging();
    table->dragTo(CGPointMake(0, -70));
    EXPECT_EQ(header->status(), DZTableHeaderDragRefreshReleaseToReload);
    table->dragTo(CGPointMake(0, -65));
    table->endDragging(false);
    EXPECT_EQ(order, std::vector<std::string>{"post"});
    EXPECT_TRUE(model->isLoading());
    EXPECT_EQ(header->status(), DZTableHeaderDragRefreshLoading);
    EXPECT_EQ(header->statusLabel()->text()->utf8(), "Updating...");
    EXPECT_EQ(table->contentInset().top, 60);
    ASSERT_TRUE(loaded(model.get()));
    EXPECT_EQ(header->status(), DZTableHeaderDragRefreshPullToReload);
    EXPECT_EQ(table->contentInset().top, 0);
    EXPECT_EQ(server.requestsTo("/items.json").size(), 2u);
    NSNotificationCenter::defaultCenter()->removeObserver(token.get());

    // A replaced delegate takes its header with it.
    c->setVariableHeightRows(false);
    c->updateTableDelegate();
    refresh = nullptr;
    EXPECT_FALSE(header->superview());
}

TEST_F(DZTableControllers, TheHeaderSaysNeverUntilAModelWithoutTimesLoads) {
    auto c = make<RecordingTableController>();
    controller = c;
    window->addSubview(c->view().get());
    auto stub = make<StubModel>();
    stub->loaded = false;
    stub->startsLoading = true;
    auto source =
        DZListDataSource::dataSourceWithObjects({DZTableTextItem::itemWithText(NS("a")).get()});
    source->setModel(stub.get());
    c->setDataSource(source.get());
    auto refresh = make<DZTableViewDragRefreshDelegate>(
        &DZTableViewDragRefreshDelegate::initWithController, c.get());
    auto header = refresh->headerView();
    header->setUpdateDate(nullptr);
    EXPECT_EQ(header->lastUpdatedLabel()->text()->utf8(), "Last updated: never");
    // A load started elsewhere turns the header too, and keeps it in view above the top.
    auto table = c->tableView();
    table->setContentOffset(CGPointMake(0, -30));
    stub->load(7, false);
    size_t loads = stub->loads.size();
    EXPECT_EQ(header->status(), DZTableHeaderDragRefreshLoading);
    EXPECT_EQ(table->contentInset().top, 60);
    // Dragging while loading neither changes the status nor loads again.
    table->setDelegate(refresh.get());
    table->beginDragging();
    table->dragTo(CGPointMake(0, -80));
    table->endDragging(false);
    EXPECT_EQ(header->status(), DZTableHeaderDragRefreshLoading);
    EXPECT_EQ(stub->loads.size(), loads);
    stub->finish();
    EXPECT_NE(header->lastUpdatedLabel()->text()->utf8(), "Last updated: never");
    EXPECT_EQ(header->lastUpdatedLabel()->text()->utf8().rfind("Last updated: ", 0), 0u);
    EXPECT_EQ(table->contentInset().top, 0);
}

namespace {

class CountingTable : public DZTableView {
    NS_OBJECT(CountingTable, DZTableView)

public:
    void reloadData() override {
        ++reloads;
        DZTableView::reloadData();
    }
    int reloads = 0;
};

}  // namespace

TEST_F(DZTableControllers, RotatingBetweenAppearancesReloads) {
    auto app = UIApplication::sharedApplication();
    auto c = make<RecordingTableController>();
    controller = c;
    auto table = alloc<CountingTable>();
    table->initWithFrame(CGRectMake(0, 0, 320, 480), UITableViewStylePlain);
    c->view();
    c->tableView()->removeFromSuperview();
    c->setTableView(table.get());
    c->view()->addSubview(table.get());
    c->viewWillAppear(false);
    c->viewWillDisappear(false);
    int before = table->reloads;
    c->viewWillAppear(false);  // same orientation
    EXPECT_EQ(table->reloads, before);
    c->viewWillDisappear(false);
    auto previous = app->statusBarOrientation();
    app->setStatusBarOrientation(UIInterfaceOrientationLandscapeLeft);
    c->viewWillAppear(false);
    EXPECT_EQ(table->reloads, before + 1);
    app->setStatusBarOrientation(previous);
}

TEST_F(DZTableControllers, TheScrollPositionComesBackAfterAMemoryWarningOffScreen) {
    Ref<PagesModel> model;
    Ref<PagesSource> source;
    auto c = showController(model, source);
    ASSERT_TRUE(loaded(model.get()));
    c->tableView()->layoutIfNeeded();
    c->tableView()->setContentOffset(CGPointMake(0, 150));
    c->viewWillDisappear(false);
    c->view()->removeFromSuperview();
    c->viewDidDisappear(false);
    c->didReceiveMemoryWarning();
    ASSERT_FALSE(c->isViewLoaded());
    ASSERT_TRUE(c->frozenState());
    c->view()->setFrame(window->bounds());
    window->addSubview(c->view().get());
    c->viewWillAppear(false);
    c->viewDidAppear(false);
    EXPECT_EQ(c->tableView()->contentOffset().y, 150);
    EXPECT_FALSE(c->frozenState());
    EXPECT_EQ(rows(), kPageSize + 1);
}

TEST_F(DZTableControllers, ARowMenuTakesTheRowsPlaceUntilItGoes) {
    Ref<PagesModel> model;
    Ref<PagesSource> source;
    auto c = showController(model, source);
    ASSERT_TRUE(loaded(model.get()));
    c->tableView()->layoutIfNeeded();
    auto path = NSIndexPath::indexPathForRow(2, 0);
    auto cell = c->tableView()->cellForRowAtIndexPath(path.get());
    ASSERT_TRUE(cell);
    auto text = cell->textLabel();
    ASSERT_FALSE(text->isHidden());
    // An accessory view already hidden stays hidden after the menu.
    auto spare = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 10, 10));
    spare->setHidden(true);
    cell->contentView()->addSubview(spare.get());
    auto menu = make<UILabel>(&UILabel::initWithFrame, cell->contentView()->bounds());
    menu->setText(NS("Row menu: Reply  Delete"));
    c->showMenu(menu.get(), cell.get(), true);
    advanceRunLoop(0.5);
    cell->layoutIfNeeded();
    // The row's text makes way: laid out again, it still does not show under the menu's.
    EXPECT_TRUE(text->isHidden());
    EXPECT_FALSE(menu->isHidden());
    EXPECT_EQ(menu->superview().get(), cell->contentView().get());
    c->hideMenu(true);
    advanceRunLoop(0.5);
    EXPECT_FALSE(text->isHidden());
    EXPECT_TRUE(spare->isHidden());
    EXPECT_FALSE(menu->superview());
}

// The menu slides away for a while after it is hidden; a scroll in that time that hands its cell
// to another row must not carry the menu there.
TEST_F(DZTableControllers, ALeavingRowMenuStaysWithItsRowWhenTheCellIsReused) {
    Ref<PagesModel> model;
    Ref<PagesSource> source;
    auto c = showController(model, source);
    ASSERT_TRUE(loaded(model.get()));
    auto table = c->tableView();
    table->layoutIfNeeded();
    auto cell = table->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(0, 0).get());
    ASSERT_TRUE(cell);
    auto menu = make<UILabel>(&UILabel::initWithFrame, cell->contentView()->bounds());
    menu->setText(NS("Row menu: Reply  Delete"));
    c->showMenu(menu.get(), cell.get(), true);
    advanceRunLoop(0.5);
    ASSERT_EQ(menu->superview().get(), cell->contentView().get());

    // A scroll hides the menu and moves the first row, and it alone, off the screen at once.
    table->setContentOffset(CGPointMake(
        0, table->rectForRowAtIndexPath(NSIndexPath::indexPathForRow(1, 0).get()).origin.y + 1));
    table->layoutIfNeeded();
    EXPECT_FALSE(c->menuView());
    auto reusedFor = table->indexPathForCell(cell.get());
    ASSERT_TRUE(reusedFor) << "the scroll should give the first row's cell to another row";
    EXPECT_GT(reusedFor->row(), 0);
    EXPECT_FALSE(menu->superview()) << "the menu went to row " << reusedFor->row();
    EXPECT_FALSE(cell->textLabel()->isHidden());

    // A menu still showing goes with its row too when a reload hands the cells round.
    auto other = table->cellForRowAtIndexPath(reusedFor.get());
    c->showMenu(menu.get(), other.get(), false);
    table->reloadData();
    table->layoutIfNeeded();
    if (auto holder = menu->superview()) {
        auto cells = table->visibleCells();
        bool onItsRow = false;
        for (NSUInteger i = 0; i < cells->count(); ++i) {
            auto shown = as<UITableViewCell>(cells->objectAtIndex(i));
            if (shown->contentView() == holder)
                onItsRow = table->indexPathForCell(shown.get())->row() == reusedFor->row();
        }
        EXPECT_TRUE(onItsRow) << "the menu moved off row " << reusedFor->row();
    }
}
