// The photo picker. A folder of photos in the sandbox stands in for the photo library and the
// camera: Library/PhotoLibrary under the home folder, or the folder named by the environment
// variable BAZAARNEST_PHOTO_LIBRARY. Whether the phone has a camera is a setting. The picker
// shows the folder's images (.jpg, .jpeg, .png, .gif, by name) as a grid of thumbnails; a
// person (the shell) picks one by index or cancels.
#pragma once

#include "UIKit/UINavigationController.h"

class NSDictionary;
class UIImage;
class UIImagePickerController;

enum UIImagePickerControllerSourceType : NSInteger {
    UIImagePickerControllerSourceTypePhotoLibrary = 0,
    UIImagePickerControllerSourceTypeCamera = 1,
    UIImagePickerControllerSourceTypeSavedPhotosAlbum = 2,
};

enum UIImagePickerControllerCameraDevice : NSInteger {
    UIImagePickerControllerCameraDeviceRear = 0,
    UIImagePickerControllerCameraDeviceFront = 1,
};

// Keys of the info dictionary handed to the delegate.
extern NSString* const UIImagePickerControllerMediaType;      // "public.image"
extern NSString* const UIImagePickerControllerOriginalImage;  // the UIImage
extern NSString* const UIImagePickerControllerEditedImage;    // with allowsEditing
extern NSString* const UIImagePickerControllerCropRect;       // with allowsEditing
extern NSString* const UIImagePickerControllerMediaURL;
extern NSString* const UIImagePickerControllerReferenceURL;  // the photo's file URL (library)
extern NSString* const UIImagePickerControllerMediaMetadata;

// "imagePickerController:didFinishPickingMediaWithInfo:" is called when implemented, else the
// older "imagePickerController:didFinishPickingImage:editingInfo:". Without
// "imagePickerControllerDidCancel:" a cancel dismisses the picker itself.
class UIImagePickerControllerDelegate {
public:
    virtual ~UIImagePickerControllerDelegate() = default;
    virtual void imagePickerControllerDidFinishPickingMediaWithInfo(UIImagePickerController*,
                                                                    NSDictionary*) {}
    virtual void imagePickerControllerDidFinishPickingImage(UIImagePickerController*, UIImage*,
                                                            NSDictionary*) {}
    virtual void imagePickerControllerDidCancel(UIImagePickerController*) {}
};

class UIImagePickerController : public UINavigationController {
    NS_OBJECT(UIImagePickerController, UINavigationController)
    static void describeClass(RuntimeClass& c);

    bool initWithNibName(NSString* nibName, NSBundle* bundle) override;

    // The library and the saved album always; the camera when the setting allows it.
    static bool isSourceTypeAvailable(UIImagePickerControllerSourceType type);
    // ["public.image"] for an available source, nil otherwise.
    static Ref<NSArray> availableMediaTypesForSourceType(UIImagePickerControllerSourceType type);
    static bool isCameraDeviceAvailable(UIImagePickerControllerCameraDevice device);
    // The setting (on by default: the phone has a camera).
    static void setCameraAvailable(bool available);
    static bool isCameraAvailable();
    // The folder that stands in for the library and the camera.
    static Ref<NSString> photoLibraryPath();

    UIImagePickerControllerSourceType sourceType() { return sourceType_; }
    // Raises NSInvalidArgumentException "Source type N not available" for one that is not.
    void setSourceType(UIImagePickerControllerSourceType type);
    Ref<NSArray> mediaTypes() { return mediaTypes_; }
    void setMediaTypes(NSArray* types);
    bool allowsEditing() { return allowsEditing_; }
    void setAllowsEditing(bool allows) { allowsEditing_ = allows; }
    bool allowsImageEditing() { return allowsEditing_; }
    void setAllowsImageEditing(bool allows) { allowsEditing_ = allows; }
    UIImagePickerControllerCameraDevice cameraDevice() { return cameraDevice_; }
    void setCameraDevice(UIImagePickerControllerCameraDevice device) { cameraDevice_ = device; }

    // The picker's delegate; when it also adopts the navigation controller's delegate it is
    // made that one too, as the platform's single delegate property does.
    Ref<UIImagePickerControllerDelegate> delegate() { return pickerDelegate_.lock(); }
    void setDelegate(UIImagePickerControllerDelegate* delegate);

    // The photos on offer: their paths, in order (read afresh from the folder).
    Ref<NSArray> photoPaths();
    // The person's choice: the photo at the index goes to the delegate. False when there is
    // no such photo or it cannot be read as an image.
    bool pickPhotoAtIndex(NSUInteger index);
    // The person's cancel.
    void cancel();

private:
    UIImagePickerControllerSourceType sourceType_ = UIImagePickerControllerSourceTypePhotoLibrary;
    UIImagePickerControllerCameraDevice cameraDevice_ = UIImagePickerControllerCameraDeviceRear;
    Ref<NSArray> mediaTypes_;
    Weak<UIImagePickerControllerDelegate> pickerDelegate_;
    Ref<UIViewController> listController_;
    bool allowsEditing_ = false;
};
