#include "UIKit/UIImagePickerController.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <map>
#include <string>

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSException.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSValue.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIGeometry.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIScrollView.h"

NSString* const UIImagePickerControllerMediaType = NS("UIImagePickerControllerMediaType");
NSString* const UIImagePickerControllerOriginalImage = NS("UIImagePickerControllerOriginalImage");
NSString* const UIImagePickerControllerEditedImage = NS("UIImagePickerControllerEditedImage");
NSString* const UIImagePickerControllerCropRect = NS("UIImagePickerControllerCropRect");
NSString* const UIImagePickerControllerMediaURL = NS("UIImagePickerControllerMediaURL");
NSString* const UIImagePickerControllerReferenceURL = NS("UIImagePickerControllerReferenceURL");
NSString* const UIImagePickerControllerMediaMetadata = NS("UIImagePickerControllerMediaMetadata");

namespace {
std::atomic<bool> cameraAvailable{true};

SEL sel(const char* name) {
    return Selector::named(name);
}

bool isPhotoName(const std::string& name) {
    auto dot = name.rfind('.');
    if (dot == std::string::npos || name[0] == '.') return false;
    std::string ext = name.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == "jpg" || ext == "jpeg" || ext == "png" || ext == "gif";
}
}  // namespace

namespace {
// The grid of the phone's photo picker: four square thumbnails a row, with gaps between them
// and round the edges.
constexpr CGFloat kThumbnailSide = 75;
constexpr CGFloat kThumbnailGap = 4;
constexpr NSUInteger kThumbnailsPerRow = 4;
}  // namespace

// The picker's one screen: the photos as a grid of thumbnails, each named after its file for
// those who cannot see it; a tap on one picks it, Cancel cancels.
class UIImagePickerPhotoList : public UIViewController {
    NS_OBJECT(UIImagePickerPhotoList, UIViewController)
    static void describeClass(RuntimeClass& c) {
        c.method("cancelPressed:", &UIImagePickerPhotoList::cancelPressed);
        c.method("photoTapped:", &UIImagePickerPhotoList::photoTapped);
    }

    Weak<UIImagePickerController> picker;
    // Each photo's thumbnail, made once: decoding the photos again each time the picker shows
    // would be slow.
    std::map<std::string, Ref<UIImage>> thumbnails;

    // The middle of the photo, filling a thumbnail's square; nil when it cannot be read.
    Ref<UIImage> thumbnailOf(NSString* file) {
        std::string key = file->utf8();
        if (auto it = thumbnails.find(key); it != thumbnails.end()) return it->second;
        Ref<UIImage> thumbnail;
        if (auto photo = UIImage::imageWithContentsOfFile(file)) {
            CGSize s = photo->size();
            if (s.width > 0 && s.height > 0) {
                CGFloat k = std::max(kThumbnailSide / s.width, kThumbnailSide / s.height);
                CGSize d = CGSizeMake(s.width * k, s.height * k);
                UIGraphicsBeginImageContextWithOptions(CGSizeMake(kThumbnailSide, kThumbnailSide),
                                                       true, 0);
                photo->drawInRect(CGRectMake((kThumbnailSide - d.width) / 2,
                                             (kThumbnailSide - d.height) / 2, d.width, d.height));
                thumbnail = UIGraphicsGetImageFromCurrentImageContext();
                UIGraphicsEndImageContext();
            }
        }
        thumbnails[key] = thumbnail;
        return thumbnail;
    }

    void loadView() override {
        auto grid = make<UIScrollView>(&UIScrollView::initWithFrame,
                                       UIScreen::mainScreen()->applicationFrame());
        grid->setBackgroundColor(UIColor::whiteColor());
        grid->setAlwaysBounceVertical(true);
        setView(grid);
    }
    void viewDidLoad() override {
        auto cancel =
            make<UIBarButtonItem>(&UIBarButtonItem::initWithBarButtonSystemItem,
                                  UIBarButtonSystemItemCancel, this, sel("cancelPressed:"));
        navigationItem()->setRightBarButtonItem(cancel);
    }
    // The folder is read afresh each time the picker shows.
    void viewWillAppear(bool animated) override {
        auto grid = cast<UIScrollView>(view());
        for (auto& v : std::vector<Ref<UIView>>(grid->subviewList()))
            if (is<UIButton>(v.get())) v->removeFromSuperview();
        auto p = picker.lock();
        auto paths = p ? p->photoPaths() : NSArray::array();
        CGFloat pitch = kThumbnailSide + kThumbnailGap;
        for (NSUInteger i = 0; i < paths->count(); ++i) {
            auto file = cast<NSString>(paths->objectAtIndex(i));
            auto button = UIButton::buttonWithType(UIButtonTypeCustom);
            CGFloat x = kThumbnailGap + static_cast<CGFloat>(i % kThumbnailsPerRow) * pitch;
            CGFloat y = kThumbnailGap + static_cast<CGFloat>(i / kThumbnailsPerRow) * pitch;
            button->setFrame(CGRectMake(x, y, kThumbnailSide, kThumbnailSide));
            // A photo that cannot be read leaves its square grey.
            button->setBackgroundColor(UIColor::colorWithWhite(0.8f, 1));
            button->setImage(thumbnailOf(file), UIControlStateNormal);
            button->setAccessibilityLabel(file->lastPathComponent());
            button->setTag(static_cast<NSInteger>(i));
            button->addTarget(this, sel("photoTapped:"), UIControlEventTouchUpInside);
            grid->addSubview(button);
        }
        NSUInteger rows = (paths->count() + kThumbnailsPerRow - 1) / kThumbnailsPerRow;
        grid->setContentSize(CGSizeMake(grid->bounds().size.width,
                                        kThumbnailGap + static_cast<CGFloat>(rows) * pitch));
        UIViewController::viewWillAppear(animated);
    }
    void photoTapped(NSObject* sender) {
        auto button = as<UIView>(sender);
        auto p = picker.lock();
        if (button && p) p->pickPhotoAtIndex(static_cast<NSUInteger>(button->tag()));
    }
    void cancelPressed(NSObject*) {
        if (auto p = picker.lock()) p->cancel();
    }
};

void UIImagePickerController::describeClass(RuntimeClass& c) {
    c.classMethod("isSourceTypeAvailable:", &UIImagePickerController::isSourceTypeAvailable);
}

bool UIImagePickerController::initWithNibName(NSString* nibName, NSBundle* bundle) {
    if (!UINavigationController::initWithNibName(nibName, bundle)) return false;
    mediaTypes_ = NSArray::arrayWithObject(NS("public.image"));
    auto list = make<UIImagePickerPhotoList>();
    list->picker = this;
    list->setTitle(NS("Photos"));
    listController_ = list;
    pushViewController(list, false);
    return true;
}

bool UIImagePickerController::isSourceTypeAvailable(UIImagePickerControllerSourceType type) {
    switch (type) {
        case UIImagePickerControllerSourceTypePhotoLibrary:
        case UIImagePickerControllerSourceTypeSavedPhotosAlbum:
            return true;
        case UIImagePickerControllerSourceTypeCamera:
            return cameraAvailable.load();
    }
    return false;
}

Ref<NSArray> UIImagePickerController::availableMediaTypesForSourceType(
    UIImagePickerControllerSourceType type) {
    if (!isSourceTypeAvailable(type)) return nullptr;
    return NSArray::arrayWithObject(NS("public.image"));
}

bool UIImagePickerController::isCameraDeviceAvailable(UIImagePickerControllerCameraDevice device) {
    return cameraAvailable.load() && device == UIImagePickerControllerCameraDeviceRear;
}

void UIImagePickerController::setCameraAvailable(bool available) {
    cameraAvailable.store(available);
}

bool UIImagePickerController::isCameraAvailable() {
    return cameraAvailable.load();
}

Ref<NSString> UIImagePickerController::photoLibraryPath() {
    const char* env = std::getenv("BAZAARNEST_PHOTO_LIBRARY");
    if (env && *env) return NSString::fromUTF8(env);
    auto path = NSHomeDirectory()
                    ->stringByAppendingPathComponent(NS("Library"))
                    ->stringByAppendingPathComponent(NS("PhotoLibrary"));
    NSFileManager::defaultManager()->createDirectoryAtPath(path, true, nullptr, nullptr);
    return path;
}

void UIImagePickerController::setSourceType(UIImagePickerControllerSourceType type) {
    if (!isSourceTypeAvailable(type)) {
        NSException::raise(NSInvalidArgumentException, NS("Source type %d not available"),
                           static_cast<int>(type));
    }
    sourceType_ = type;
    listController_->setTitle(type == UIImagePickerControllerSourceTypeCamera ? NS("Camera")
                                                                              : NS("Photos"));
}

void UIImagePickerController::setMediaTypes(NSArray* types) {
    mediaTypes_ = types;
}

void UIImagePickerController::setDelegate(UIImagePickerControllerDelegate* delegate) {
    pickerDelegate_ = delegate;
    UINavigationController::setDelegate(dynamic_cast<UINavigationControllerDelegate*>(delegate));
}

Ref<NSArray> UIImagePickerController::photoPaths() {
    auto folder = photoLibraryPath();
    auto names = NSFileManager::defaultManager()->contentsOfDirectoryAtPath(folder, nullptr);
    std::vector<std::string> photos;
    for (NSUInteger i = 0; names && i < names->count(); ++i) {
        auto name = cast<NSString>(names->objectAtIndex(i))->utf8();
        if (isPhotoName(name)) photos.push_back(name);
    }
    std::sort(photos.begin(), photos.end());
    auto result = NSMutableArray::array();
    for (auto& name : photos) {
        result->addObject(folder->stringByAppendingPathComponent(NSString::fromUTF8(name)));
    }
    return result;
}

bool UIImagePickerController::pickPhotoAtIndex(NSUInteger index) {
    Ref<UIImagePickerController> keep(this);
    auto paths = photoPaths();
    if (index >= paths->count()) return false;
    auto path = cast<NSString>(paths->objectAtIndex(index));
    auto image = UIImage::imageWithContentsOfFile(path);
    if (!image) return false;

    auto info = NSMutableDictionary::dictionary();
    info->setObject(NS("public.image"), UIImagePickerControllerMediaType);
    info->setObject(image, UIImagePickerControllerOriginalImage);
    if (sourceType_ != UIImagePickerControllerSourceTypeCamera) {
        info->setObject(NSURL::fileURLWithPath(path), UIImagePickerControllerReferenceURL);
    }
    Ref<NSMutableDictionary> editingInfo;
    if (allowsEditing_) {
        CGSize size = image->size();
        auto crop = valueWithCGRect(CGRectMake(0, 0, size.width, size.height));
        info->setObject(image, UIImagePickerControllerEditedImage);
        info->setObject(crop, UIImagePickerControllerCropRect);
        editingInfo = NSMutableDictionary::dictionary();
        editingInfo->setObject(image, UIImagePickerControllerOriginalImage);
        editingInfo->setObject(crop, UIImagePickerControllerCropRect);
    }

    auto d = pickerDelegate_.lock();
    if (respondsTo(d.get(), sel("imagePickerController:didFinishPickingMediaWithInfo:"))) {
        d->imagePickerControllerDidFinishPickingMediaWithInfo(this, info);
    } else if (respondsTo(d.get(),
                          sel("imagePickerController:didFinishPickingImage:editingInfo:"))) {
        d->imagePickerControllerDidFinishPickingImage(this, image, editingInfo);
    } else {
        // Nobody takes the photo: the picker goes away rather than stay on screen for good.
        dismissModalViewControllerAnimated(true);
    }
    return true;
}

void UIImagePickerController::cancel() {
    Ref<UIImagePickerController> keep(this);
    auto d = pickerDelegate_.lock();
    if (respondsTo(d.get(), sel("imagePickerControllerDidCancel:"))) {
        d->imagePickerControllerDidCancel(this);
    } else {
        dismissModalViewControllerAnimated(true);
    }
}
