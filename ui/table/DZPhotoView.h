// One page of the photo browser: an image view that shows one photo, chooses which size
// version to load (a cached full image or preview first, the thumbnail from the network, the
// full image when asked), and lays a caption, a status text and a spinner over it. The browser
// also uses one without a photo as its full-screen status view. Main thread only.
#pragma once

#include "ui/style/DZImageView.h"
#include "ui/table/DZPhotoSource.h"

class DZLabel;
class DZStyle;
class UIActivityIndicatorView;

class DZPhotoView : public DZImageView {
    NS_OBJECT(DZPhotoView, DZImageView)

public:
    bool initWithFrame(CGRect frame) override;
    void dealloc() override;

    Ref<DZPhoto> photo() { return photo_; }
    // A new photo (or nil) starts from no version and shows its caption.
    void setPhoto(DZPhoto* photo);
    Ref<DZStyle> captionStyle() { return captionStyle_; }
    void setCaptionStyle(DZStyle* style);
    bool hidesExtras() { return hidesExtras_; }
    void setHidesExtras(bool hides);
    bool hidesCaption() { return hidesCaption_; }
    void setHidesCaption(bool hides);
    DZPhotoVersion photoVersion() { return photoVersion_; }

    // Loads a version; NO when the photo has none, or when it is not cached and the network
    // is not allowed.
    bool loadVersion(DZPhotoVersion version, bool fromNetwork);
    // The best preview at hand: a cached full image, else a cached preview, else the thumbnail
    // (from the network when allowed).
    bool loadPreview(bool fromNetwork);
    void loadImage();

    void showCaption(NSString* caption);
    // Below 0 hides the spinner; 0 or more shows it spinning.
    void showProgress(CGFloat progress);
    // A text hides the caption and shows over the photo; nil shows the caption again.
    void showStatus(NSString* text);

    Ref<DZLabel> statusLabel() { return statusLabel_; }
    Ref<DZLabel> captionLabel() { return captionLabel_; }
    Ref<UIActivityIndicatorView> statusSpinner() { return statusSpinner_; }

    // The loaded full image is never replaced by the placeholder.
    void setImage(UIImage* image) override;
    void imageViewDidStartLoad() override;
    void imageViewDidLoadImage(UIImage* image) override;
    void imageViewDidFailLoadWithError(NSError* error) override;
    void layoutSubviews() override;

private:
    bool sourceIsLoading();
    void layoutLabel(DZLabel* label, CGRect screen, CGFloat cx, CGFloat cy, CGFloat bar);

    Ref<DZPhoto> photo_;
    Ref<UIActivityIndicatorView> statusSpinner_;
    Ref<DZLabel> statusLabel_;
    Ref<DZLabel> captionLabel_;
    Ref<DZStyle> captionStyle_;
    DZPhotoVersion photoVersion_ = DZPhotoVersionNone;
    bool hidesExtras_ = false;
    bool hidesCaption_ = false;
};
