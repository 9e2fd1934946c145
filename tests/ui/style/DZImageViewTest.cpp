#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CoreGraphics/CGImage.h"
#include "Foundation/NSError.h"
#include "Foundation/NetworkWork.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIViewRendering.h"
#include "ui/core/DZGeometry.h"
#include "ui/core/DZShape.h"
#include "ui/core/DZStyleSheet.h"
#include "ui/core/DodizTesting.h"
#include "ui/core/URLRequestTesting.h"
#include "ui/style/DZFillStyles.h"
#include "ui/style/DZFrameStyles.h"
#include "ui/style/DZImageView.h"
#include "ui/style/StyleTesting.h"

namespace {

using testhttp::held;
using testhttp::ImageFormat;

// Writes down what the view tells its delegate, and whether the view counted as loading then.
class ImageViewRecorder : public NSObject, public DZImageViewDelegate {
    NS_OBJECT(ImageViewRecorder, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"imageView:didLoadImage:", "imageViewDidStartLoad:",
                      "imageView:didFailLoadWithError:"});
    }

public:
    std::vector<std::string> events;
    std::vector<bool> loadingWhenLoaded;
    Ref<NSError> error;
    DZImageView* expected = nullptr;
    bool sameView = true;
    void imageViewDidLoadImage(DZImageView* view, UIImage* image) override {
        sameView = sameView && view == expected;
        loadingWhenLoaded.push_back(view->isLoading());
        events.push_back(image ? "loaded" : "loaded nil");
    }
    void imageViewDidStartLoad(DZImageView* view) override {
        sameView = sameView && view == expected;
        events.push_back("start");
    }
    void imageViewDidFailLoadWithError(DZImageView* view, NSError* e) override {
        sameView = sameView && view == expected;
        error = e;
        events.push_back(e ? "fail " + e->domain()->utf8() + " " + std::to_string(e->code())
                           : "fail nil");
    }
};

// Sees every image the view shows, and each hook, in order with the delegate's calls.
class RecordingImageView : public DZImageView {
    NS_OBJECT(RecordingImageView, DZImageView)

public:
    std::vector<UIImage*> images;  // identities only
    std::vector<std::string>* log = nullptr;
    void setImage(UIImage* image) override {
        images.push_back(image);
        DZImageView::setImage(image);
    }
    void imageViewDidStartLoad() override { note("hook start"); }
    void imageViewDidLoadImage(UIImage*) override { note("hook loaded"); }
    void imageViewDidFailLoadWithError(NSError* error) override {
        note(error ? "hook fail" : "hook fail nil");
    }

private:
    void note(const char* what) {
        if (log) log->push_back(what);
    }
};

class ImageViews : public RequestQueueTest {
protected:
    void SetUp() override {
        RequestQueueTest::SetUp();
        server.route("GET", "/photo.png", testhttp::image(ImageFormat::PNG, 50, 30));
        server.route("GET", "/photo.jpg", testhttp::image(ImageFormat::JPEG, 40, 20));
        server.route("GET", "/broken.png", testhttp::undecodableImage());
        gate = server.gate();
        server.route("GET", "/held.png", held(gate, testhttp::image(ImageFormat::PNG, 50, 30)));
        defaultImage = UIImage::imageWithSize(CGSizeMake(10, 10), 1);
    }
    Ref<DZImageView> view(CGRect frame, ImageViewRecorder* recorder = nullptr) {
        auto v = make<DZImageView>(&DZImageView::initWithFrame, frame);
        if (recorder) {
            recorder->expected = v.get();
            v->setDelegate(recorder);
        }
        return v;
    }
    Ref<NSString> url(const char* path) { return str(server.url(path)); }
    bool waitIdle() {
        return runLoopUntil([] { return NetworkWork::inFlight() == 0; });
    }

    std::shared_ptr<testhttp::Gate> gate;
    Ref<UIImage> defaultImage;
};

TEST_F(ImageViews, ACacheHitAnswersInsideSetUrlPathWithoutAStart) {
    auto cached = UIImage::imageWithSize(CGSizeMake(20, 16), 1);
    cache->storeImage(cached, url("/cached.png"));
    auto recorder = make<ImageViewRecorder>();
    auto v = view(CGRectMake(0, 0, 40, 40), recorder);
    v->setUrlPath(url("/cached.png"));
    EXPECT_EQ(v->image().get(), cached.get());
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"loaded"}));
    EXPECT_TRUE(v->isLoaded());
    EXPECT_FALSE(v->isLoading());
    EXPECT_EQ(server.requestCount(), 0u);
    EXPECT_EQ(queue->built, 0);

    // Bytes on disk: the queue answers during send, which the view allows for: no start, no
    // default image over the answer.
    auto other = view(CGRectZero, nullptr);
    other->setDefaultImage(defaultImage);
    cache->storeData(dataOf(testhttp::pngBytes(50, 30)), url("/disk.png"));
    other->setUrlPath(url("/disk.png"));
    ASSERT_NE(other->image().get(), nullptr);
    EXPECT_NE(other->image().get(), defaultImage.get());
    EXPECT_FALSE(other->isLoading());
    EXPECT_TRUE(CGSizeEqualToSize(other->image()->size(), CGSizeMake(50, 30)));
    // The default image sized the empty frame first; the frame then had both sides.
    EXPECT_TRUE(CGSizeEqualToSize(size(other), CGSizeMake(10, 10)));
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(ImageViews, TheDefaultImageShowsWhileALoadIsHeld) {
    auto recorder = make<ImageViewRecorder>();
    auto v = view(CGRectMake(0, 0, 100, 0), recorder);
    v->setDefaultImage(defaultImage);
    // The default image shown alone is no load: the delegate hears nothing.
    EXPECT_EQ(v->image().get(), defaultImage.get());
    EXPECT_TRUE(recorder->events.empty());
    EXPECT_FALSE(v->isLoaded());

    v->setUrlPath(url("/held.png"));
    EXPECT_EQ(v->image().get(), defaultImage.get());
    ASSERT_TRUE(runLoopUntil([&] { return gate->waiting() == 1; }));
    ASSERT_TRUE(runLoopUntil([&] { return v->isLoading(); }));
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"start"}));
    EXPECT_FALSE(v->isLoaded());

    gate->open();
    ASSERT_TRUE(runLoopUntil([&] { return !v->isLoading(); }));
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"start", "loaded"}));
    // The load still counted while the image arrived.
    EXPECT_EQ(recorder->loadingWhenLoaded, (std::vector<bool>{true}));
    EXPECT_TRUE(v->isLoaded());
    EXPECT_EQ(v->request().get(), nullptr);
    EXPECT_TRUE(CGSizeEqualToSize(v->image()->size(), CGSizeMake(50, 30)));
    EXPECT_TRUE(recorder->sameView);
    // 100 wide and 0 high: the height follows the image's proportion (the default image was
    // square, so the frame was already 100 high; a fresh view shows the rule plainly below).
    EXPECT_EQ(height(v), 100);

    // Setting the default image while a path is set does not replace what is shown.
    auto another = UIImage::imageWithSize(CGSizeMake(4, 4), 1);
    v->setDefaultImage(another);
    EXPECT_NE(v->image().get(), another.get());
    EXPECT_EQ(v->defaultImage().get(), another.get());
}

TEST_F(ImageViews, TheSamePathTwiceRestartsOnlyWhileLoading) {
    auto recorder = make<ImageViewRecorder>();
    auto v = view(CGRectZero, recorder);
    v->setUrlPath(url("/held.png"));
    ASSERT_TRUE(runLoopUntil([&] { return gate->waiting() == 1; }));
    ASSERT_TRUE(runLoopUntil([&] { return v->isLoading(); }));
    auto first = v->request();
    // Still loading: the first load stops (a cancel, nil error) and a new one starts.
    v->setUrlPath(url("/held.png"));
    ASSERT_TRUE(runLoopUntil([&] { return v->isLoading(); }));
    EXPECT_NE(v->request().get(), first.get());
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"start", "fail nil", "start"}));
    EXPECT_EQ(recorder->error.get(), nullptr);
    gate->open();
    ASSERT_TRUE(runLoopUntil([&] { return v->isLoaded(); }));
    ASSERT_TRUE(waitIdle());

    // Shown: the same path again cancels and restarts nothing.
    std::size_t asked = server.requestCount();
    auto shown = v->image();
    recorder->events.clear();
    v->setUrlPath(url("/held.png"));
    EXPECT_EQ(v->image().get(), shown.get());
    EXPECT_TRUE(recorder->events.empty());
    EXPECT_FALSE(v->isLoading());
    EXPECT_EQ(server.requestCount(), asked);
}

TEST_F(ImageViews, ANewPathCancelsTheLoadInFlight) {
    auto recorder = make<ImageViewRecorder>();
    auto v = view(CGRectZero, recorder);
    v->setUrlPath(url("/held.png"));
    ASSERT_TRUE(runLoopUntil([&] { return v->isLoading(); }));
    v->setUrlPath(url("/photo.jpg"));
    ASSERT_GE(recorder->events.size(), 2u);
    EXPECT_EQ(recorder->events[1], "fail nil");
    ASSERT_TRUE(runLoopUntil([&] { return v->isLoaded(); }));
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"start", "fail nil", "start", "loaded"}));
    // A 0 by 0 frame takes the image's size.
    EXPECT_TRUE(CGSizeEqualToSize(size(v), CGSizeMake(40, 20)));
    gate->open();
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(CGSizeEqualToSize(v->image()->size(), CGSizeMake(40, 20)));

    // An empty path stops loading and shows the default image (here none).
    v->setUrlPath(NS(""));
    EXPECT_EQ(v->image().get(), nullptr);
    EXPECT_FALSE(v->isLoaded());
}

TEST_F(ImageViews, FailuresKeepTheShownImage) {
    auto recorder = make<ImageViewRecorder>();
    auto v = view(CGRectMake(0, 0, 30, 30), recorder);
    v->setDefaultImage(defaultImage);
    v->setUrlPath(url("/broken.png"));
    ASSERT_TRUE(runLoopUntil([&] { return recorder->error != nullptr; }));
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"start", "fail dodiz20.network 100"}));
    EXPECT_EQ(v->image().get(), defaultImage.get());
    EXPECT_FALSE(v->isLoading());
    EXPECT_FALSE(v->isLoaded());

    recorder->error = nullptr;
    v->setUrlPath(url("/missing.png"));
    ASSERT_TRUE(runLoopUntil([&] { return recorder->error != nullptr; }));
    EXPECT_EQ(recorder->events.size(), 4u);
    EXPECT_EQ(v->image().get(), defaultImage.get());

    // Without a default image the previous image stays while the next loads and fails.
    auto plain = view(CGRectMake(0, 0, 30, 30));
    plain->setUrlPath(url("/photo.png"));
    ASSERT_TRUE(runLoopUntil([&] { return plain->isLoaded(); }));
    auto shown = plain->image();
    plain->setUrlPath(url("/broken.png"));
    EXPECT_EQ(plain->image().get(), shown.get());
    ASSERT_TRUE(runLoopUntil([&] { return !plain->isLoading(); }));
    EXPECT_EQ(plain->image().get(), shown.get());
    // reload tries again.
    std::size_t asked = server.requestsTo("/broken.png").size();
    plain->reload();
    EXPECT_TRUE(plain->isLoading());
    ASSERT_TRUE(runLoopUntil([&] { return !plain->isLoading(); }));
    EXPECT_EQ(server.requestsTo("/broken.png").size(), asked + 1);
}

TEST_F(ImageViews, TheFrameFollowsTheImage) {
    auto image = UIImage::imageWithSize(CGSizeMake(50, 30), 1);
    auto wide = view(CGRectMake(5, 6, 100, 0));
    wide->setImage(image);
    EXPECT_EQ(rectText(wide->frame()), rectText(CGRectMake(5, 6, 100, 60)));
    auto empty = view(CGRectZero);
    empty->setImage(image);
    EXPECT_EQ(rectText(empty->frame()), rectText(CGRectMake(0, 0, 50, 30)));
    auto tall = view(CGRectMake(0, 0, 0, 40));
    tall->setImage(image);
    EXPECT_EQ(rectText(tall->frame()), rectText(CGRectMake(0, 0, 66, 40)));
    auto fixed = view(CGRectMake(0, 0, 20, 20));
    fixed->setImage(image);
    EXPECT_EQ(rectText(fixed->frame()), rectText(CGRectMake(0, 0, 20, 20)));
    fixed->setAutoresizesToImage(true);
    fixed->setImage(UIImage::imageWithSize(CGSizeMake(7, 9), 1));
    EXPECT_EQ(rectText(fixed->frame()), rectText(CGRectMake(0, 0, 7, 9)));

    // Loaded over the network the same way: 100 wide, 0 high, a 50 by 30 image: 60 high.
    auto loaded = view(CGRectMake(0, 0, 100, 0));
    loaded->setUrlPath(url("/photo.png"));
    ASSERT_TRUE(runLoopUntil([&] { return loaded->isLoaded(); }));
    EXPECT_EQ(rectText(loaded->frame()), rectText(CGRectMake(0, 0, 100, 60)));

    // No proportion without an image side: the frame stays (no division by zero).
    auto noImage = view(CGRectMake(0, 0, 100, 0));
    noImage->setImage(image);
    noImage->setFrame(CGRectMake(0, 0, 100, 0));
    noImage->unsetImage();
    EXPECT_EQ(rectText(noImage->frame()), rectText(CGRectMake(0, 0, 100, 0)));
    auto flat = view(CGRectMake(0, 0, 0, 40));
    flat->setImage(UIImage::imageWithSize(CGSizeMake(10, 0), 1));
    EXPECT_EQ(rectText(flat->frame()), rectText(CGRectMake(0, 0, 0, 40)));
}

TEST_F(ImageViews, ASubclassSeesEveryImageAndItsHooksComeFirst) {
    std::vector<std::string> log;
    auto recorder = make<ImageViewRecorder>();
    auto v = make<RecordingImageView>();
    v->log = &log;
    recorder->expected = v.get();
    v->setDelegate(recorder);
    v->setDefaultImage(defaultImage);  // the default image
    v->setUrlPath(url("/photo.png"));  // the loaded image
    ASSERT_TRUE(runLoopUntil([&] { return v->isLoaded(); }));
    auto loaded = v->image();
    v->unsetImage();  // nil
    EXPECT_FALSE(v->isLoaded());
    EXPECT_FALSE(v->isLoading());
    v->reload();  // from the memory cache
    EXPECT_EQ(v->image().get(), loaded.get());
    v->setUrlPath(nullptr);  // the default image again
    ASSERT_EQ(v->images.size(), 5u);
    EXPECT_EQ(v->images[0], defaultImage.get());
    EXPECT_EQ(v->images[1], loaded.get());
    EXPECT_EQ(v->images[2], nullptr);
    EXPECT_EQ(v->images[3], loaded.get());
    EXPECT_EQ(v->images[4], defaultImage.get());
    EXPECT_EQ(
        log, (std::vector<std::string>{"hook start", "hook loaded", "hook loaded", "hook loaded"}));
    EXPECT_EQ(recorder->events,
              (std::vector<std::string>{"start", "loaded", "loaded nil", "loaded"}));
}

TEST_F(ImageViews, WithoutAStyleTheLayerTakesTheImage) {
    auto v = view(CGRectZero);
    v->setUrlPath(url("/photo.png"));
    ASSERT_TRUE(runLoopUntil([&] { return v->isLoaded(); }));
    auto layer = as<DZImageLayer>(v->layer());
    ASSERT_NE(layer.get(), nullptr);
    EXPECT_EQ(layer->override().get(), v.get());
    EXPECT_TRUE(layer->needsDisplay());
    layer->displayIfNeeded();
    EXPECT_EQ(layer->contents().get(), static_cast<NSObject*>(v->image()->CGImage().get()));

    // Rendered at scale 2: the image's gradient, point for point (red across, green down).
    auto picture = UIViewRenderImage(v, 2);
    ASSERT_NE(picture.get(), nullptr);
    EXPECT_TRUE(near(at(picture, 10.25f, 10.25f), RGBA{52, 88, 128, 255}, 6));
    EXPECT_TRUE(near(at(picture, 40.25f, 20.25f), RGBA{208, 176, 128, 255}, 6));

    // The view's own drawing adds nothing over the contents.
    auto drawn = paintedImage(CGSizeMake(50, 30), 2, [&] { v->drawRect(v->bounds()); });
    EXPECT_TRUE(near(at(drawn, 25, 15), kClear));
}

TEST_F(ImageViews, WithAStyleTheChainDrawsTheImageInItsShape) {
    auto red = paintedImage(CGSizeMake(40, 40), 1,
                            [] { fill(UIColor::redColor(), CGRectMake(0, 0, 40, 40)); });
    auto v = view(CGRectMake(0, 0, 40, 40));
    v->setImage(red);
    auto layer = as<DZImageLayer>(v->layer());
    EXPECT_EQ(layer->override().get(), v.get());
    auto shape = DZRoundedRectangleShape::shapeWithRadius(12);
    v->setStyle(DZShapeStyle::styleWithShape(
        shape, DZSolidFillStyle::styleWithColor(UIColor::blueColor(),
                                                DZContentStyle::styleWithNext(nullptr))));
    EXPECT_EQ(layer->override().get(), nullptr);
    EXPECT_TRUE(layer->needsDisplay());
    layer->displayIfNeeded();
    EXPECT_EQ(layer->contents().get(), nullptr);

    auto picture = UIViewRenderImage(v, 2);
    EXPECT_TRUE(near(at(picture, 20, 20), kRed));
    EXPECT_TRUE(near(at(picture, 20, 1), kRed));
    // The corner lies outside the rounded shape: neither the fill nor the image reach it.
    EXPECT_TRUE(near(at(picture, 0.5f, 0.5f), kClear));

    // Only a content step hands the drawing to the view.
    auto context = make<DZStyleContext>();
    context->setFrame(CGRectMake(0, 0, 40, 40));
    auto untouched = paintedImage(CGSizeMake(40, 40), 2, [&] {
        v->drawLayerWithStyle(context,
                              DZSolidFillStyle::styleWithColor(UIColor::blueColor(), nullptr));
    });
    EXPECT_TRUE(near(at(untouched, 20, 20), kClear));
    // With no image the default image is drawn.
    v->setImage(nullptr);
    v->setDefaultImage(paintedImage(CGSizeMake(4, 4), 1,
                                    [] { fill(UIColor::greenColor(), CGRectMake(0, 0, 4, 4)); }));
    auto fallback = paintedImage(CGSizeMake(40, 40), 2, [&] { v->drawContent(v->bounds()); });
    EXPECT_TRUE(near(at(fallback, 20, 20), kGreen));
}

TEST_F(ImageViews, AFreedViewCancelsItsLoadAndTellsNoOne) {
    auto recorder = make<ImageViewRecorder>();
    {
        auto v = view(CGRectZero, recorder);
        v->setUrlPath(url("/held.png"));
        ASSERT_TRUE(runLoopUntil([&] { return v->isLoading(); }));
    }
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"start"}));
    gate->open();
    EXPECT_TRUE(waitIdle());
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"start"}));
}

}  // namespace
