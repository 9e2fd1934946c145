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
#include "UIKit/UIGeometry.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UILabel.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UITableViewController.h"

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
constexpr CGFloat kThumbnailSide = 40;
}  // namespace

// The picker's one screen: the photos as rows, each with its thumbnail and file name; a tap
// picks one, Cancel cancels.
class UIImagePickerPhotoList : public UITableViewController {
    NS_OBJECT(UIImagePickerPhotoList, UITableViewController)
    static void describeClass(RuntimeClass& c) {
        c.implements({"tableView:didSelectRowAtIndexPath:"});
        c.method("cancelPressed:", &UIImagePickerPhotoList::cancelPressed);
    }

    Weak<UIImagePickerController> picker;
    Ref<NSArray> paths;
    // Each photo's thumbnail, made once: decoding the photos again for every row shown would
    // be slow.
    std::map<std::string, Ref<UIImage>> thumbnails;

    // The photo shrunk to fit a square the size of a row's picture; nil when it cannot be read.
    Ref<UIImage> thumbnailOf(NSString* file) {
        std::string key = file->utf8();
        if (auto it = thumbnails.find(key); it != thumbnails.end()) return it->second;
        Ref<UIImage> thumbnail;
        if (auto photo = UIImage::imageWithContentsOfFile(file)) {
            CGSize s = photo->size();
            if (s.width > 0 && s.height > 0) {
                CGFloat k = std::min(kThumbnailSide / s.width, kThumbnailSide / s.height);
                CGSize t = CGSizeMake(std::max<CGFloat>(1, std::round(s.width * k)),
                                      std::max<CGFloat>(1, std::round(s.height * k)));
                UIGraphicsBeginImageContextWithOptions(t, false, 0);
                photo->drawInRect(CGRectMake(0, 0, t.width, t.height));
                thumbnail = UIGraphicsGetImageFromCurrentImageContext();
                UIGraphicsEndImageContext();
            }
        }
        thumbnails[key] = thumbnail;
        return thumbnail;
    }

    void viewDidLoad() override {
        auto cancel =
            make<UIBarButtonItem>(&UIBarButtonItem::initWithBarButtonSystemItem,
                                  UIBarButtonSystemItemCancel, this, sel("cancelPressed:"));
        navigationItem()->setRightBarButtonItem(cancel);
    }
    void viewWillAppear(bool animated) override {
        auto p = picker.lock();
        paths = p ? p->photoPaths() : NSArray::array();
        if (auto table = tableView()) table->reloadData();
        UITableViewController::viewWillAppear(animated);
    }
    NSInteger tableViewNumberOfRowsInSection(UITableView*, NSInteger) override {
        return paths ? static_cast<NSInteger>(paths->count()) : 0;
    }
    Ref<UITableViewCell> tableViewCellForRowAtIndexPath(UITableView* table,
                                                        NSIndexPath* path) override {
        auto cell = table->dequeueReusableCellWithIdentifier(NS("Photo"));
        if (!cell) {
            cell = alloc<UITableViewCell>();
            cell->initWithStyle(UITableViewCellStyleDefault, NS("Photo"));
        }
        auto file = cast<NSString>(paths->objectAtIndex(static_cast<NSUInteger>(path->row())));
        cell->textLabel()->setText(file->lastPathComponent());
        cell->imageView()->setImage(thumbnailOf(file));
        return cell;
    }
    void tableViewDidSelectRowAtIndexPath(UITableView* table, NSIndexPath* path) override {
        table->deselectRowAtIndexPath(path, true);
        if (auto p = picker.lock()) p->pickPhotoAtIndex(static_cast<NSUInteger>(path->row()));
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
