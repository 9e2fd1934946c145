// The model contract: the plain model's answers and notifications, and a URL request model
// loading through the queue from the loopback server, aged on the manual clock.
#include "Foundation/NSArray.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSIndexPath.h"
#include "URLRequestTesting.h"
#include "ui/core/DZModel.h"

using namespace testhttp;

namespace {

class ModelRecorder : public NSObject, public DZModelDelegate {
    NS_OBJECT(ModelRecorder, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"modelDidStartLoad:", "modelDidFinishLoad:", "model:didFailLoadWithError:",
                      "modelDidCancelLoad:", "modelDidChange:",
                      "model:didInsertObject:atIndexPath:", "modelDidBeginUpdates:"});
    }

public:
    std::vector<std::string> events;
    bool leaveOnChange = false;
    void modelDidStartLoad(DZModelProtocol*) override { events.push_back("start"); }
    void modelDidFinishLoad(DZModelProtocol*) override { events.push_back("finish"); }
    void modelDidFailLoadWithError(DZModelProtocol*, NSError* e) override {
        events.push_back("fail " + std::to_string(e->code()));
    }
    void modelDidCancelLoad(DZModelProtocol*) override { events.push_back("cancel"); }
    void modelDidChange(DZModelProtocol* model) override {
        events.push_back("change");
        if (leaveOnChange) model->delegates()->removeObject(this);
    }
    void modelDidInsertObject(DZModelProtocol*, NSObject* o, NSIndexPath* p) override {
        events.push_back("insert " + o->description()->utf8() + " " +
                         std::to_string(p->indexAtPosition(0)));
    }
    void modelDidBeginUpdates(DZModelProtocol*) override { events.push_back("begin"); }
};

// Answers only the finish.
class FinishOnly : public NSObject, public DZModelDelegate {
    NS_OBJECT(FinishOnly, NSObject)
    static void describeClass(RuntimeClass& c) { c.implements({"modelDidFinishLoad:"}); }

public:
    int finished = 0;
    void modelDidFinishLoad(DZModelProtocol*) override { ++finished; }
};

// A model of one text resource; it reads the content before the base class's finish (a
// processor that is the model itself would keep it alive through its own request).
class TextModel : public DZURLRequestModel {
    NS_OBJECT(TextModel, DZURLRequestModel)

public:
    std::string url;
    std::string text;
    void load(int32_t cachePolicy, bool more) override {
        setIsLoadingMore(more);
        auto request = DZURLRequest::requestWithURL(str(url), this);
        request->setCachePolicy(cachePolicy);
        request->setResponse(make<DZURLDataResponse>());
        request->send();
    }
    void requestDidFinishLoad(DZURLRequest* request) override {
        if (auto processor = as<DZURLDataResponse>(request->response())) {
            text = (isLoadingMore() ? text : "") + bytesOf(processor->data());
        }
        DZURLRequestModel::requestDidFinishLoad(request);
    }
};

class Models : public RequestQueueTest {};

}  // namespace

TEST_F(Models, ThePlainModelIsAlwaysLoadedAndNotifiesWhoAnswers) {
    auto model = make<DZModel>();
    EXPECT_TRUE(model->isLoaded());
    EXPECT_FALSE(model->isLoading());
    EXPECT_FALSE(model->isLoadingMore());
    EXPECT_FALSE(model->isOutdated());
    model->load(7, false);
    EXPECT_TRUE(model->isLoaded());

    auto recorder = make<ModelRecorder>();
    auto finishOnly = make<FinishOnly>();
    model->delegates()->addObject(finishOnly);
    model->delegates()->addObject(recorder);
    model->didStartLoad();  // FinishOnly lacks it and is skipped
    model->didFinishLoad();
    model->beginUpdates();
    model->didInsertObject(NS("row"), NSIndexPath::indexPathWithIndex(3));
    model->endUpdates();  // nobody answers
    EXPECT_EQ(recorder->events,
              (std::vector<std::string>{"start", "finish", "begin", "insert row 3"}));
    EXPECT_EQ(finishOnly->finished, 1);

    // A delegate may leave while it is called; the others still hear it.
    auto second = make<ModelRecorder>();
    model->delegates()->addObject(second);
    recorder->leaveOnChange = true;
    model->didChange();
    model->didChange();
    EXPECT_EQ(recorder->events.back(), "change");
    EXPECT_EQ(std::count(recorder->events.begin(), recorder->events.end(), "change"), 1);
    EXPECT_EQ(second->events, (std::vector<std::string>{"change", "change"}));
    // Observers are not retained.
    EXPECT_EQ(second->retainCount(), 1u);
}

TEST_F(Models, AURLModelLoadsThenAgesOutAfterTheInvalidationAge) {
    server.route("GET", "/list", text("first page"));
    auto model = make<TextModel>();
    model->url = server.url("/list");
    auto recorder = make<ModelRecorder>();
    model->delegates()->addObject(recorder);
    EXPECT_FALSE(model->isLoaded());
    EXPECT_FALSE(model->isOutdated());

    model->load(DZURLRequestCachePolicyDefault, false);
    EXPECT_TRUE(model->isLoading());
    ASSERT_TRUE(runLoopUntil([&] { return !model->isLoading(); }));
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"start", "finish"}));
    EXPECT_TRUE(model->isLoaded());
    EXPECT_EQ(model->text, "first page");
    ASSERT_TRUE(model->cacheKey());
    EXPECT_FALSE(model->isOutdated());

    Clock::advance(23 * 3600);
    EXPECT_FALSE(model->isOutdated());
    Clock::advance(2 * 3600);
    EXPECT_TRUE(model->isOutdated());

    model->reset();
    EXPECT_FALSE(model->isLoaded());
    EXPECT_FALSE(model->isOutdated());
}

TEST_F(Models, AnAnswerFromTheCacheGoesStraightToLoadedWithTheFilesDate) {
    server.route("GET", "/cached", text("from the network"));
    auto model = make<TextModel>();
    model->url = server.url("/cached");
    model->load(DZURLRequestCachePolicyDefault, false);
    ASSERT_TRUE(runLoopUntil([&] { return model->isLoaded(); }));
    Ref<NSDate> first = model->loadedTime();

    Clock::advance(60);
    auto again = make<TextModel>();
    again->url = model->url;
    auto recorder = make<ModelRecorder>();
    again->delegates()->addObject(recorder);
    again->load(DZURLRequestCachePolicyDefault, false);
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"finish"}));
    EXPECT_EQ(again->text, "from the network");
    EXPECT_NEAR(again->loadedTime()->timeIntervalSinceDate(first), 0, 0.001);
    EXPECT_EQ(server.requestsTo("/cached").size(), 1u);
}

TEST_F(Models, InvalidatingMarksOutdatedAndErasingDeletesTheFile) {
    server.route("GET", "/inv", text("data"));
    auto model = make<TextModel>();
    model->url = server.url("/inv");
    model->load(DZURLRequestCachePolicyDefault, false);
    ASSERT_TRUE(runLoopUntil([&] { return model->isLoaded(); }));
    Ref<NSString> key = model->cacheKey();
    ASSERT_TRUE(cache->hasDataForKey(key, 1e9));

    model->invalidate(false);
    EXPECT_TRUE(model->isOutdated());
    EXPECT_TRUE(model->isLoaded());
    EXPECT_FALSE(cache->hasDataForKey(key, 3600));  // backdated a day
    EXPECT_TRUE(cache->hasDataForKey(key, 1e9));

    // A reload (network only) brings the key back; erasing removes the file.
    model->load(DZURLRequestCachePolicyNetwork, false);
    ASSERT_TRUE(runLoopUntil([&] { return model->cacheKey() != nullptr; }));
    model->invalidate(true);
    EXPECT_FALSE(cache->hasDataForKey(key, 1e9));
    EXPECT_TRUE(model->isOutdated());
    cache->storeDataForKey(dataOf("again"), key);
    model->invalidate(true);  // no key any more: nothing happens
    EXPECT_TRUE(cache->hasDataForKey(key, 1e9));
}

TEST_F(Models, AMoreLoadKeepsTheLastFullLoadsTimeAndKey) {
    server.route("GET", "/page1", text("one"));
    server.route("GET", "/page2", text("two"));
    auto model = make<TextModel>();
    model->url = server.url("/page1");
    model->load(DZURLRequestCachePolicyDefault, false);
    ASSERT_TRUE(runLoopUntil([&] { return model->isLoaded(); }));
    Ref<NSDate> time = model->loadedTime();
    std::string key = model->cacheKey()->utf8();

    Clock::advance(30);
    model->url = server.url("/page2");
    model->load(DZURLRequestCachePolicyDefault, true);
    ASSERT_TRUE(runLoopUntil([&] { return !model->isLoading(); }));
    EXPECT_EQ(model->text, "onetwo");
    EXPECT_EQ(model->loadedTime().get(), time.get());
    EXPECT_EQ(model->cacheKey()->utf8(), key);
}

TEST_F(Models, FailuresAndCancelsLeaveTheEarlierState) {
    server.route("GET", "/ok", text("kept"));
    auto gate = server.gate();
    server.route("GET", "/slow", held(gate, text("late")));
    auto model = make<TextModel>();
    auto recorder = make<ModelRecorder>();
    model->delegates()->addObject(recorder);
    model->url = server.url("/ok");
    model->load(DZURLRequestCachePolicyDefault, false);
    ASSERT_TRUE(runLoopUntil([&] { return model->isLoaded(); }));
    Ref<NSDate> time = model->loadedTime();

    model->url = server.url("/missing");
    model->load(DZURLRequestCachePolicyNetwork, false);
    ASSERT_TRUE(runLoopUntil([&] { return !model->isLoading(); }));
    EXPECT_EQ(recorder->events.back(), "fail 404");
    EXPECT_EQ(model->loadedTime().get(), time.get());
    EXPECT_EQ(model->text, "kept");

    model->url = server.url("/slow");
    model->load(DZURLRequestCachePolicyNetwork, false);
    EXPECT_TRUE(model->isLoading());
    model->cancel();
    EXPECT_FALSE(model->isLoading());
    EXPECT_EQ(recorder->events.back(), "cancel");
    EXPECT_EQ(model->loadedTime().get(), time.get());
    gate->open();
}

TEST_F(Models, AFreedModelCancelsItsLoad) {
    auto gate = server.gate();
    server.route("GET", "/abandoned", held(gate, text("nobody")));
    auto watcher = make<RequestRecorder>();
    {
        auto model = make<TextModel>();
        model->url = server.url("/abandoned");
        model->load(DZURLRequestCachePolicyNetwork, false);
        ASSERT_TRUE(model->loadingRequest());
        model->loadingRequest()->delegates()->addObject(watcher);
        EXPECT_EQ(queue->totalLoading(), 1);
    }
    EXPECT_EQ(watcher->events, (std::vector<std::string>{"cancel"}));
    EXPECT_EQ(queue->totalLoading(), 0);
    EXPECT_EQ(DZNetworkActivityCount(), 0);
    gate->open();
}
