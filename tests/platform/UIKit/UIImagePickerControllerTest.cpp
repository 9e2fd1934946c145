// The image picker over a folder of photos: availability, the delegate's two forms and cancel.
#include <gtest/gtest.h>

#include <cstdlib>

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSURL.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIImagePickerController.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UILabel.h"
#include "UIKit/UITableView.h"
#include "UIKit/UITableViewCell.h"
#include "UIKit/UITableViewController.h"
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

    // The picker's screen lists the photos; a tap on a row picks that photo.
    auto list = as<UITableViewController>(picker->topViewController());
    ASSERT_NE(list, nullptr);
    auto table = list->tableView();
    ASSERT_EQ(table->numberOfRowsInSection(0), 2);
    auto row = table->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(1, 0));
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(text(row->textLabel()->text()), "b.png");
    EXPECT_TRUE(table->tapRowAtIndexPath(NSIndexPath::indexPathForRow(1, 0)));
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

TEST_F(PickerTest, EachRowShowsThePhotosThumbnail) {
    // A real photo, red with a blue right half.
    auto photo = paintedImage(CGSizeMake(200, 100), 1, [] {
        fill(UIColor::redColor(), CGRectMake(0, 0, 100, 100));
        fill(UIColor::blueColor(), CGRectMake(100, 0, 100, 100));
    });
    UIImagePNGRepresentation(photo)->writeToFile(
        folder->stringByAppendingPathComponent(NS("c.png")), true);
    auto window = keyWindow();
    CallLog log;
    auto screen = recorder("Compose", log);
    window->addSubview(screen->view());
    auto picker = make<UIImagePickerController>();
    screen->presentModalViewController(picker, false);
    auto list = as<UITableViewController>(picker->topViewController());
    ASSERT_NE(list, nullptr);
    auto row = list->tableView()->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(2, 0));
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(text(row->textLabel()->text()), "c.png");
    row->setBackgroundColor(UIColor::whiteColor());
    auto shot = UIViewRenderImage(row, 1);
    ASSERT_TRUE(shot);
    // The photo shrunk into the row's picture: red, then blue, left of the name.
    CGRect thumb = row->imageView()->frame();
    EXPECT_GT(thumb.size.width, 20);
    EXPECT_LT(CGRectGetMaxX(thumb), row->textLabel()->frame().origin.x + 1);
    int y = int(CGRectGetMidY(thumb));
    EXPECT_TRUE(near(pixelAt(shot, int(thumb.origin.x + thumb.size.width / 4), y), kRed, 12));
    EXPECT_TRUE(near(pixelAt(shot, int(thumb.origin.x + thumb.size.width * 3 / 4), y), kBlue, 12));
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
