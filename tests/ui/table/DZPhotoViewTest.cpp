// Photo pages: which size version loads from the cache or the network, the placeholder never
// covering a loaded full image, the size learnt from the first image, and the caption, status
// and spinner over the photo.
#include <gtest/gtest.h>

#include "Foundation/NSURLError.h"
#include "Foundation/NetworkWork.h"
#include "UIKit/UIActivityIndicatorView.h"
#include "UIKit/UIViewRendering.h"
#include "support/http/TestServer.h"
#include "ui/core/URLRequestTesting.h"
#include "ui/style/DZLabel.h"
#include "ui/table/DZPhotoView.h"
#include "ui/table/PhotoTesting.h"

namespace {

class PhotoViews : public RequestQueueTest {
protected:
    void SetUp() override {
        RequestQueueTest::SetUp();
        gate = server.gate();
        server.routePrefix("GET", "/set/", testhttp::image(testhttp::ImageFormat::PNG, 60, 40));
        server.route("GET", "/set/p0-1.png",
                     held(gate, testhttp::image(testhttp::ImageFormat::PNG, 300, 200)));
        set = TestPhotoSet::setWith(3, 3, server.url("/set"));
        placeholder = UIImage::imageWithSize(CGSizeMake(10, 10), 1);
        page = make<DZPhotoView>(&DZPhotoView::initWithFrame, CGRectMake(0, 0, 320, 480));
        page->setDefaultImage(placeholder);
    }
    void TearDown() override {
        gate->open();
        RequestQueueTest::TearDown();
    }
    Ref<NSString> urlOf(int photo, int version) {
        return str(
            server.url("/set/p" + std::to_string(photo) + "-" + std::to_string(version) + ".png"));
    }
    bool waitIdle() {
        return runLoopUntil([] { return NetworkWork::inFlight() == 0; });
    }

    std::shared_ptr<testhttp::Gate> gate;
    Ref<TestPhotoSet> set;
    Ref<UIImage> placeholder;
    Ref<DZPhotoView> page;
};

TEST_F(PhotoViews, PreviewsComeFromTheCacheFirstAndTheThumbnailFromTheNetwork) {
    page->setPhoto(set->photos[1].get());
    EXPECT_FALSE(page->loadPreview(false));  // nothing cached, no network
    EXPECT_EQ(page->photoVersion(), DZPhotoVersionNone);
    EXPECT_EQ(page->urlPath(), nullptr);

    ASSERT_TRUE(page->loadPreview(true));
    EXPECT_EQ(page->photoVersion(), DZPhotoVersionThumbnail);
    EXPECT_TRUE(page->urlPath()->isEqualToString(urlOf(1, 4)));
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(page->isLoaded());
    EXPECT_EQ(server.requestCount(), 1u);

    // A cached preview beats the thumbnail; a cached full image beats both, without a request.
    auto preview = UIImage::imageWithSize(CGSizeMake(150, 100), 1);
    cache->storeImage(preview, urlOf(2, 3));
    page->setPhoto(set->photos[2].get());
    ASSERT_TRUE(page->loadPreview(false));
    EXPECT_EQ(page->photoVersion(), DZPhotoVersionSmall);
    EXPECT_EQ(page->image().get(), preview.get());
    auto full = UIImage::imageWithSize(CGSizeMake(300, 200), 1);
    cache->storeImage(full, urlOf(2, 1));
    ASSERT_TRUE(page->loadPreview(false));
    EXPECT_EQ(page->photoVersion(), DZPhotoVersionLarge);
    EXPECT_EQ(page->image().get(), full.get());
    EXPECT_EQ(page->contentMode(), UIViewContentModeScaleAspectFill);
    EXPECT_EQ(server.requestCount(), 1u);

    // A photo without a version skips it.
    set->photos[0]->urls.erase(4);
    page->setPhoto(set->photos[0].get());
    EXPECT_FALSE(page->loadVersion(DZPhotoVersionThumbnail, true));
}

TEST_F(PhotoViews, ThePlaceholderNeverCoversTheLoadedImageWhileTheFullOneLoads) {
    auto preview = UIImage::imageWithSize(CGSizeMake(150, 100), 1);
    cache->storeImage(preview, urlOf(0, 3));
    page->setPhoto(set->photos[0].get());
    EXPECT_EQ(page->image().get(), placeholder.get());
    EXPECT_EQ(page->contentMode(), UIViewContentModeCenter);
    ASSERT_TRUE(page->loadPreview(false));
    page->loadImage();  // the full image is held at the server
    EXPECT_EQ(page->photoVersion(), DZPhotoVersionLarge);
    EXPECT_TRUE(page->isLoading());
    EXPECT_EQ(page->image().get(), preview.get());
    EXPECT_FALSE(page->statusSpinner()->isHidden());  // loading shows the spinner
    gate->open();
    ASSERT_TRUE(waitIdle());
    ASSERT_TRUE(page->image());
    EXPECT_EQ(page->image()->size().width, 300);
    EXPECT_TRUE(page->statusSpinner()->isHidden());
}

TEST_F(PhotoViews, AnUnknownSizeIsLearntFromTheFirstImage) {
    auto parent = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 480));
    parent->addSubview(page);
    parent->layoutIfNeeded();
    set->photos[1]->size_ = CGSizeZero;
    page->setPhoto(set->photos[1].get());
    ASSERT_TRUE(page->loadPreview(true));
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(CGSizeEqualToSize(set->photos[1]->size(), CGSizeMake(60, 40)));
    EXPECT_TRUE(parent->needsLayout());
    // A known size stays as it is.
    set->photos[2]->size_ = CGSizeMake(1000, 500);
    page->setPhoto(set->photos[2].get());
    ASSERT_TRUE(page->loadPreview(true));
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(CGSizeEqualToSize(set->photos[2]->size(), CGSizeMake(1000, 500)));
}

TEST_F(PhotoViews, AStatusHidesTheCaptionUntilItIsCleared) {
    page->setPhoto(set->photos[0].get());
    auto caption = page->captionLabel();
    ASSERT_TRUE(caption);
    EXPECT_TRUE(caption->text()->isEqualToString(NS("Photo 1")));
    EXPECT_FALSE(caption->isHidden());
    page->showStatus(NS("Connection Error"));
    EXPECT_TRUE(caption->isHidden());
    EXPECT_FALSE(page->statusLabel()->isHidden());
    page->layoutIfNeeded();
    // A full-width strip above the toolbar.
    EXPECT_EQ(page->statusLabel()->frame().size.width, 320);
    EXPECT_LT(page->statusLabel()->frame().origin.y + page->statusLabel()->frame().size.height,
              480 - 44 + 1);
    page->showStatus(nullptr);
    EXPECT_FALSE(caption->isHidden());
    EXPECT_TRUE(page->statusLabel()->isHidden());

    // Hidden captions stay hidden when the extras come back.
    page->setHidesCaption(true);
    EXPECT_EQ(caption->alpha(), 0);
    page->setHidesExtras(true);
    page->setHidesExtras(false);
    EXPECT_EQ(caption->alpha(), 0);
    page->setHidesCaption(false);
    EXPECT_EQ(caption->alpha(), 1);

    // A failed load shows the error's title.
    page->setPhoto(set->photos[1].get());
    page->imageViewDidFailLoadWithError(NSError::errorWithDomain(NSURLErrorDomain, -1009, nullptr));
    EXPECT_TRUE(page->statusLabel()->text()->isEqualToString(NS("No Internet Connection")));
}

}  // namespace

TEST_F(PhotoViews, APreviewOfOtherProportionsIsFittedInsideThePage) {
    auto cache = DZURLCache::sharedCache();
    // A tall photo whose square thumbnail is all there is yet: fitted, not spilling sideways.
    set->photos[2]->size_ = CGSizeMake(200, 300);
    page->setFrame(CGRectMake(0, 0, 200, 300));
    auto square = UIImage::imageWithSize(CGSizeMake(100, 100), 1);
    cache->storeImage(square, urlOf(2, 3));
    page->setPhoto(set->photos[2].get());
    ASSERT_TRUE(page->loadPreview(false));
    EXPECT_EQ(page->image().get(), square.get());
    EXPECT_EQ(page->contentMode(), UIViewContentModeScaleAspectFit);
    CGRect drawn = UIViewContentModeRect(page->contentMode(), page->bounds(), square->size());
    EXPECT_TRUE(CGRectContainsRect(page->bounds(), drawn));
}
