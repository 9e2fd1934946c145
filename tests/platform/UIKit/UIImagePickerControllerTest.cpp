// The image picker over a folder of photos: availability, the delegate's two forms and cancel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSURL.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIImagePickerController.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UIViewRendering.h"
#include "platform/UIKit/ControllerTesting.h"
#include "platform/UIKit/DrawingTesting.h"
#include "support/FoundationTesting.h"

namespace {

// The header of a PNG of the given size: enough for the image model to read it.
Ref<NSData> pngHeader(uint32_t width, uint32_t height) {
    std::vector<uint8_t> b = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A,
                              0,    0,   0,   13,  'I',  'H',  'D',  'R'};
    for (uint32_t v : {width, height}) {
        for (int shift = 24; shift >= 0; shift -= 8)
            b.push_back(static_cast<uint8_t>(v >> shift));
    }
    b.insert(b.end(), {8, 2, 0, 0, 0, 0, 0, 0, 0});
    return NSData::dataWithBytes(b.data(), static_cast<NSUInteger>(b.size()));
}

class PickerDelegate : public NSObject, public UIImagePickerControllerDelegate {
    NS_OBJECT(PickerDelegate, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"imagePickerController:didFinishPickingMediaWithInfo:"});
    }
    Ref<NSDictionary> info;
    void imagePickerControllerDidFinishPickingMediaWithInfo(UIImagePickerController* picker,
                                                            NSDictionary* i) override {
        info = i;
        picker->dismissModalViewControllerAnimated(true);
    }
};

// The older delegate: the image and its editing information.
class OldPickerDelegate : public NSObject, public UIImagePickerControllerDelegate {
    NS_OBJECT(OldPickerDelegate, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"imagePickerController:didFinishPickingImage:editingInfo:",
                      "imagePickerControllerDidCancel:"});
    }
    Ref<UIImage> image;
    int cancels = 0;
    void imagePickerControllerDidFinishPickingImage(UIImagePickerController*, UIImage* i,
                                                    NSDictionary*) override {
        image = i;
    }
    void imagePickerControllerDidCancel(UIImagePickerController*) override { ++cancels; }
};

// The picker's thumbnails, in order.
std::vector<Ref<UIButton>> thumbnails(UIImagePickerController* picker) {
    std::vector<Ref<UIButton>> found;
    auto screen = picker->topViewController();
    if (!screen) return found;
    for (auto& v : screen->view()->subviewList())
        if (auto b = as<UIButton>(v)) found.push_back(b);
    std::sort(found.begin(), found.end(), [](auto& a, auto& b) { return a->tag() < b->tag(); });
    return found;
}

struct PickerTest : testing::Test {
    Ref<NSString> folder;
    void SetUp() override {
        folder = NSTemporaryDirectory()->stringByAppendingPathComponent(NS("PickerPhotos"));
        auto fm = NSFileManager::defaultManager();
        fm->removeItemAtPath(folder, nullptr);
        fm->createDirectoryAtPath(folder, true, nullptr, nullptr);
        pngHeader(64, 48)->writeToFile(folder->stringByAppendingPathComponent(NS("b.png")), true);
        pngHeader(10, 20)->writeToFile(folder->stringByAppendingPathComponent(NS("a.PNG")), true);
        NSData::data()->writeToFile(folder->stringByAppendingPathComponent(NS("notes.txt")), true);
        setenv("BAZAARNEST_PHOTO_LIBRARY", folder->utf8().c_str(), 1);
    }
    void TearDown() override {
        unsetenv("BAZAARNEST_PHOTO_LIBRARY");
        UIImagePickerController::setCameraAvailable(true);
        NSFileManager::defaultManager()->removeItemAtPath(folder, nullptr);
    }
};

TEST_F(PickerTest, PicksAPhotoOfTheFolder) {
    CallLog log;
    auto window = keyWindow();
    auto screen = recorder("Compose", log);
    window->addSubview(screen->view());
    auto picker = make<UIImagePickerController>();
    auto delegate = make<PickerDelegate>();
    picker->setDelegate(delegate);
    screen->presentModalViewController(picker, true);

    auto paths = picker->photoPaths();
    ASSERT_EQ(paths->count(), 2u);  // images only, by name
    EXPECT_EQ(text(cast<NSString>(paths->objectAtIndex(0))->lastPathComponent()), "a.PNG");
    EXPECT_FALSE(picker->pickPhotoAtIndex(2));

    // The picker's screen shows the photos as thumbnails named after their files; a tap on
    // one picks that photo.
    auto thumbs = thumbnails(picker);
    ASSERT_EQ(thumbs.size(), 2u);
    EXPECT_EQ(text(thumbs[1]->accessibilityLabel()), "b.png");
    thumbs[1]->sendActionsForControlEvents(UIControlEventTouchUpInside);
    ASSERT_NE(delegate->info, nullptr);
    auto image = as<UIImage>(delegate->info->objectForKey(UIImagePickerControllerOriginalImage));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->size().width, 64);
    EXPECT_EQ(text(delegate->info->objectForKey(UIImagePickerControllerMediaType)), "public.image");
    auto url = as<NSURL>(delegate->info->objectForKey(UIImagePickerControllerReferenceURL));
    ASSERT_NE(url, nullptr);
    EXPECT_EQ(text(url->lastPathComponent()), "b.png");
    EXPECT_EQ(screen->modalViewController(), nullptr);  // the delegate dismissed it
}

TEST_F(PickerTest, ThePhotosShowAsAGridOfSquareThumbnails) {
    // A real photo, red with a blue right half, twice as wide as high.
    auto photo = paintedImage(CGSizeMake(200, 100), 1, [] {
        fill(UIColor::redColor(), CGRectMake(0, 0, 100, 100));
        fill(UIColor::blueColor(), CGRectMake(100, 0, 100, 100));
    });
    for (const char* name : {"c.png", "d.png", "e.png"})
        UIImagePNGRepresentation(photo)->writeToFile(
            folder->stringByAppendingPathComponent(NSString::fromUTF8(name)), true);
    auto window = keyWindow();
    CallLog log;
    auto screen = recorder("Compose", log);
    window->addSubview(screen->view());
    auto picker = make<UIImagePickerController>();
    screen->presentModalViewController(picker, false);
    auto thumbs = thumbnails(picker);
    ASSERT_EQ(thumbs.size(), 5u);
    // Four squares a row, the fifth at the start of the next row.
    CGRect first = thumbs[0]->frame(), fourth = thumbs[3]->frame(), fifth = thumbs[4]->frame();
    EXPECT_EQ(first.size.width, 75);
    EXPECT_EQ(first.size.height, 75);
    EXPECT_EQ(fourth.origin.y, first.origin.y);
    EXPECT_GT(fourth.origin.x, 3 * 75);
    EXPECT_LE(CGRectGetMaxX(fourth), 320);
    EXPECT_EQ(fifth.origin.x, first.origin.x);
    EXPECT_GT(fifth.origin.y, CGRectGetMaxY(first));
    EXPECT_EQ(text(thumbs[2]->accessibilityLabel()), "c.png");

    // The photo fills its square, its middle kept: red on the left, blue on the right.
    auto shot = UIScreenRenderKeyWindow();
    CGRect c = thumbs[2]->convertRect(thumbs[2]->bounds(), nullptr);
    int y = int(CGRectGetMidY(c));
    EXPECT_TRUE(near(pixelAt(shot, int(c.origin.x + 3), y), kRed, 12))
        << pixelAt(shot, int(c.origin.x + 3), y);
    EXPECT_TRUE(near(pixelAt(shot, int(CGRectGetMaxX(c) - 3), y), kBlue, 12));
    // Filled to its top, not shrunk into the square with room above and below.
    EXPECT_TRUE(near(pixelAt(shot, int(CGRectGetMidX(c) - 4), int(c.origin.y + 1)), kRed, 12));
    EXPECT_TRUE(
        near(pixelAt(shot, int(CGRectGetMidX(c) + 4), int(CGRectGetMaxY(c) - 2)), kBlue, 12));
    screen->dismissModalViewControllerAnimated(false);
}

TEST_F(PickerTest, OlderDelegateAndCancel) {
    auto window = keyWindow();
    auto screen = make<UIViewController>();
    window->addSubview(screen->view());
    auto picker = make<UIImagePickerController>();
    auto old = make<OldPickerDelegate>();
    picker->setDelegate(old);
    EXPECT_TRUE(picker->pickPhotoAtIndex(0));
    ASSERT_NE(old->image, nullptr);
    EXPECT_EQ(old->image->size().height, 20);
    picker->cancel();
    EXPECT_EQ(old->cancels, 1);

    // Without a cancel method the picker takes itself away.
    auto plain = make<UIImagePickerController>();
    screen->presentModalViewController(plain, false);
    plain->cancel();
    EXPECT_EQ(screen->modalViewController(), nullptr);
}

TEST_F(PickerTest, TheCameraIsASetting) {
    EXPECT_TRUE(UIImagePickerController::isSourceTypeAvailable(
        UIImagePickerControllerSourceTypePhotoLibrary));
    UIImagePickerController::setCameraAvailable(false);
    EXPECT_FALSE(
        UIImagePickerController::isSourceTypeAvailable(UIImagePickerControllerSourceTypeCamera));
    auto picker = make<UIImagePickerController>();
    auto e = raisedBy([&] { picker->setSourceType(UIImagePickerControllerSourceTypeCamera); });
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(text(e->reason()), "Source type 1 not available");
    UIImagePickerController::setCameraAvailable(true);
    picker->setSourceType(UIImagePickerControllerSourceTypeCamera);
    EXPECT_EQ(picker->sourceType(), UIImagePickerControllerSourceTypeCamera);
}

}  // namespace
