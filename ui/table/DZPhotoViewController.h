// The full-screen photo browser: a model controller whose model is a photo source. It pages
// through the photos with a DZScrollView, one DZPhotoView a page, under a black translucent
// navigation bar with "n of m" and a toolbar of previous and next arrows; a tap hides or shows
// the chrome, "See All" opens the thumbnail grid, and a slideshow steps every 2 s. Pages near
// the centre load previews at once; the centre's full image comes 0.5 s after a swipe (0.25 s
// after a throw ends), and a new drag cancels that load. Main thread only.
#pragma once

#include <functional>

#include "UIKit/UINavigationController.h"
#include "ui/core/DZModelViewController.h"
#include "ui/table/DZPhotoSource.h"
#include "ui/table/DZScrollView.h"

class DZPhotoView;
class DZStyle;
class DZThumbsViewController;
class NSTimer;
class UIBarButtonItem;
class UIImage;
class UIToolbar;

// What the thumbnail grid tells the one who opened it.
class DZThumbsViewControllerDelegate {
public:
    virtual ~DZThumbsViewControllerDelegate() = default;
    virtual void thumbsViewControllerDidSelectPhoto(DZThumbsViewController* controller,
                                                    DZPhoto* photo) = 0;
    // Optional ("thumbsViewController:shouldNavigateToPhoto:").
    virtual bool thumbsViewControllerShouldNavigateToPhoto(DZThumbsViewController*, DZPhoto*) {
        return true;
    }
};

class DZPhotoViewController : public DZModelViewController,
                              public DZScrollViewDelegate,
                              public DZScrollViewDataSource,
                              public DZThumbsViewControllerDelegate {
    NS_OBJECT(DZPhotoViewController, DZModelViewController)
    static void describeClass(RuntimeClass& c);

public:
    // The photo index that means none.
    static constexpr NSInteger kNoPhotoIndex = 2147483647;
    static constexpr NSInteger kPlayButtonTag = 1;
    static constexpr NSInteger kActivityLabelTag = 96;

    bool initWithNibName(NSString* nibName, NSBundle* bundle) override;
    bool initWithPhoto(DZPhoto* photo);
    bool initWithPhotoSource(DZPhotoSource* source);
    void dealloc() override;

    Ref<DZPhotoSource> photoSource() { return photoSource_; }
    void setPhotoSource(DZPhotoSource* source);
    Ref<DZPhoto> centerPhoto() { return centerPhoto_; }
    void setCenterPhoto(DZPhoto* photo);
    NSInteger centerPhotoIndex() { return centerPhotoIndex_; }
    Ref<DZStyle> captionStyle() { return captionStyle_; }
    void setCaptionStyle(DZStyle* style);
    Ref<UIImage> defaultImage() { return defaultImage_; }
    void setDefaultImage(UIImage* image);

    Ref<DZScrollView> scrollView() { return scrollView_; }
    Ref<UIToolbar> toolbar() { return toolbar_; }
    Ref<UIBarButtonItem> nextButton() { return nextButton_; }
    Ref<UIBarButtonItem> previousButton() { return previousButton_; }
    Ref<DZThumbsViewController> thumbsController() { return thumbsController_; }
    bool isSlideshowRunning() { return slideshowTimer_ != nullptr; }
    bool isImageLoadPending() { return loadTimer_ != nullptr; }
    Ref<DZPhotoView> statusView();

    // Override points.
    virtual Ref<DZPhotoView> createPhotoView();
    virtual Ref<DZThumbsViewController> createThumbsViewController();
    virtual void didMoveToPhoto(DZPhoto*, DZPhoto*) {}

    // ---- view ----------------------------------------------------------------------------
    void loadView() override;
    void viewDidUnload() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;
    void willAnimateRotationToInterfaceOrientation(UIInterfaceOrientation orientation,
                                                   NSTimeInterval duration) override;
    Ref<UIView> rotatingFooterView() override;
    void updateToolbarWithOrientation(UIInterfaceOrientation orientation);

    // ---- chrome ------------------------------------------------------------------------
    void updateChrome();
    bool isShowingChrome();
    void showBars(bool show, bool animated);
    void showCaptions(bool show);
    void showProgress(CGFloat progress);
    void showStatus(NSString* text);
    void showActivity(NSString* title);

    // ---- actions -----------------------------------------------------------------------
    void nextAction();
    void previousAction();
    void playAction();
    void pauseAction();
    void showThumbnails();
    Ref<NSString> URLForThumbnails();
    // Index kNoPhotoIndex means the first photo.
    void moveToPhotoAtIndex(NSInteger index, bool delay);
    // The centre index, clamped to the last photo (to the first when there are none).
    void moveToNextValidPhoto();

    // ---- model controller ----------------------------------------------------------------
    bool shouldLoad() override { return false; }
    bool shouldLoadMore() override { return centerPhoto_ == nullptr; }
    bool canShowModel() override;
    void didRefreshModel() override;
    void didLoadModel(bool firstTime) override;
    void showLoading(bool show) override;
    void showEmpty(bool show) override;
    void showError(bool show) override;
    void modelDidFinishLoad(DZModelProtocol* model) override;
    void modelDidFailLoadWithError(DZModelProtocol* model, NSError* error) override;
    void modelDidCancelLoad(DZModelProtocol* model) override;
    void modelDidDeleteObject(DZModelProtocol* model, NSObject* object,
                              NSIndexPath* indexPath) override;

    // ---- pager -------------------------------------------------------------------------
    void scrollViewDidMoveToPageAtIndex(DZScrollView* scrollView, NSInteger index) override;
    void scrollViewWillBeginDragging(DZScrollView* scrollView) override;
    void scrollViewDidEndDecelerating(DZScrollView* scrollView) override;
    void scrollViewWillRotate(DZScrollView* scrollView, UIInterfaceOrientation o) override;
    void scrollViewDidRotate(DZScrollView* scrollView) override;
    void scrollViewDidBeginZooming(DZScrollView* scrollView) override;
    void scrollViewDidEndZooming(DZScrollView* scrollView) override;
    bool scrollViewShouldZoom(DZScrollView* scrollView) override;
    void scrollViewTapped(DZScrollView* scrollView, UITouch* touch) override;
    NSInteger numberOfPagesInScrollView(DZScrollView* scrollView) override;
    Ref<UIView> scrollViewPageAtIndex(DZScrollView* scrollView, NSInteger index) override;
    CGSize scrollViewSizeOfPageAtIndex(DZScrollView* scrollView, NSInteger index) override;

    // ---- grid --------------------------------------------------------------------------
    void thumbsViewControllerDidSelectPhoto(DZThumbsViewController* controller,
                                            DZPhoto* photo) override;
    bool thumbsViewControllerShouldNavigateToPhoto(DZThumbsViewController*, DZPhoto*) override {
        return false;
    }

private:
    NSInteger numberOfPhotos();
    void moveToPhoto(DZPhoto* photo);
    void showPhoto(DZPhoto* photo, DZPhotoView* page);
    void updatePhotoView();
    void loadImages();
    void startImageLoadTimer(NSTimeInterval delay);
    void cancelImageLoadTimer();
    void loadImageDelayed();
    void updateVisiblePhotoViews();
    void resetVisiblePhotoViews();
    void slideshowTimer();
    Ref<DZPhotoView> centerPhotoView();
    void forEachVisiblePage(const std::function<void(NSInteger, DZPhotoView*)>& fn);
    Ref<UIBarButtonItem> playButtonItem(bool pause);
    bool isOurModel(DZModelProtocol* model);

    Ref<DZPhoto> centerPhoto_;
    NSInteger centerPhotoIndex_ = 0;
    Ref<UIView> innerView_;
    Ref<DZScrollView> scrollView_;
    Ref<DZPhotoView> photoStatusView_;
    Ref<UIToolbar> toolbar_;
    Ref<UIBarButtonItem> nextButton_, previousButton_;
    Ref<DZStyle> captionStyle_;
    Ref<UIImage> defaultImage_;
    Ref<NSString> statusText_;
    Ref<NSTimer> slideshowTimer_;
    Ref<NSTimer> loadTimer_;
    bool delayLoad_ = false;
    Ref<DZThumbsViewController> thumbsController_;
    // The stack the browser shows in: its bars are given back when the browser goes, even once
    // it has left the stack.
    Weak<UINavigationController> shownIn_;
    Ref<DZPhotoSource> photoSource_;
};
