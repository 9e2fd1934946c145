#include "ui/table/DZPhotoViewController.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/NSTimer.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIImage.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIToolbar.h"
#include "ui/core/DZGeometry.h"
#include "ui/core/DZGlobalCore.h"
#include "ui/core/DZNavigationController.h"
#include "ui/core/DZNavigator.h"
#include "ui/core/DZStyle.h"
#include "ui/core/DZStyleSheet.h"
#include "ui/core/DZURLCache.h"
#include "ui/core/DZURLMap.h"
#include "ui/core/UIViewController+DZCategory.h"
#include "ui/style/DZActivityLabel.h"
#include "ui/table/DZPhotoView.h"
#include "ui/table/DZThumbsViewController.h"

namespace {
Ref<UIImage> bundleImage(const char* name) {
    return DZURLCache::sharedCache()->imageForURL(
        NSString::stringWithFormat(NS("bundle://Dodiz20.bundle/images/%s"), name));
}
Ref<NSString> localized(NSString* key, NSString* comment) {
    return DZBundleLocalizedString(key, comment);
}
}  // namespace

void DZPhotoViewController::describeClass(RuntimeClass& c) {
    c.implements({"scrollViewWillBeginDragging:", "scrollViewDidEndDecelerating:",
                  "scrollViewWillRotate:toOrientation:", "scrollViewDidRotate:",
                  "scrollViewDidBeginZooming:", "scrollViewDidEndZooming:", "scrollViewShouldZoom:",
                  "scrollView:tapped:", "scrollView:sizeOfPageAtIndex:",
                  "thumbsViewController:shouldNavigateToPhoto:"});
    c.method("nextAction", &DZPhotoViewController::nextAction)
        .method("previousAction", &DZPhotoViewController::previousAction)
        .method("playAction", &DZPhotoViewController::playAction)
        .method("pauseAction", &DZPhotoViewController::pauseAction)
        .method("showThumbnails", &DZPhotoViewController::showThumbnails);
}

bool DZPhotoViewController::initWithNibName(NSString* nibName, NSBundle* bundle) {
    if (!DZModelViewController::initWithNibName(nibName, bundle)) return false;
    auto back = make<UIBarButtonItem>(
        &UIBarButtonItem::initWithTitle,
        localized(NS("Photo"), NS("Title for back button that returns to photo browser")).get(),
        UIBarButtonItemStylePlain, static_cast<NSObject*>(nullptr), static_cast<SEL>(nullptr));
    navigationItem()->setBackBarButtonItem(back);
    setStatusBarStyle(UIStatusBarStyleBlackTranslucent);
    setNavigationBarStyle(UIBarStyleBlackTranslucent);
    setNavigationBarTintColor(nullptr);
    setWantsFullScreenLayout(true);
    setHidesBottomBarWhenPushed(true);
    defaultImage_ = bundleImage("photoDefault.png");
    return true;
}

bool DZPhotoViewController::initWithPhoto(DZPhoto* photo) {
    if (!init()) return false;
    setCenterPhoto(photo);
    return true;
}

bool DZPhotoViewController::initWithPhotoSource(DZPhotoSource* source) {
    if (!init()) return false;
    setPhotoSource(source);
    return true;
}

void DZPhotoViewController::dealloc() {
    if (thumbsController_) thumbsController_->setDelegate(nullptr);
    if (auto t = std::move(slideshowTimer_)) t->invalidate();
    if (auto t = std::move(loadTimer_)) t->invalidate();
    if (scrollView_) {
        scrollView_->setDelegate(nullptr);
        scrollView_->setDataSource(nullptr);
    }
    thumbsController_ = nullptr;
    centerPhoto_ = nullptr;
    photoSource_ = nullptr;
    statusText_ = nullptr;
    captionStyle_ = nullptr;
    defaultImage_ = nullptr;
    DZModelViewController::dealloc();
}

void DZPhotoViewController::setCaptionStyle(DZStyle* style) {
    captionStyle_ = style;
}
void DZPhotoViewController::setDefaultImage(UIImage* image) {
    defaultImage_ = image;
}

NSInteger DZPhotoViewController::numberOfPhotos() {
    return photoSource_ ? photoSource_->numberOfPhotos() : 0;
}

bool DZPhotoViewController::isOurModel(DZModelProtocol* model) {
    auto ours = photoSource_ ? photoSource_->photoModel() : nullptr;
    return model && ours && static_cast<DZModelProtocol*>(ours.get()) == model;
}

void DZPhotoViewController::setPhotoSource(DZPhotoSource* source) {
    if (source == photoSource_.get()) return;
    photoSource_ = source;
    moveToPhotoAtIndex(0, false);
    setModel(source ? source->photoModel() : nullptr);
}

void DZPhotoViewController::setCenterPhoto(DZPhoto* photo) {
    if (!photo || photo == centerPhoto_.get()) return;
    auto source = photo->photoSource();
    if (source != photoSource_) {
        photoSource_ = source;
        moveToPhotoAtIndex(photo->index(), false);
        setModel(source ? source->photoModel() : nullptr);
    } else {
        moveToPhotoAtIndex(photo->index(), false);
        refresh();
    }
}

Ref<DZPhotoView> DZPhotoViewController::createPhotoView() {
    return make<DZPhotoView>(&DZPhotoView::initWithFrame, CGRectZero);
}

Ref<DZThumbsViewController> DZPhotoViewController::createThumbsViewController() {
    return make<DZThumbsViewController>(&DZThumbsViewController::initWithDelegate,
                                        static_cast<DZThumbsViewControllerDelegate*>(this));
}

// ---- view ------------------------------------------------------------------------------------

void DZPhotoViewController::loadView() {
    CGRect screen = UIScreen::mainScreen()->bounds();
    auto root = make<UIView>(&UIView::initWithFrame, screen);
    setView(root);
    innerView_ = make<UIView>(&UIView::initWithFrame,
                              CGRectMake(0, 0, screen.size.width, screen.size.height));
    innerView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                    UIViewAutoresizingFlexibleHeight);
    root->addSubview(innerView_);
    scrollView_ = make<DZScrollView>(&DZScrollView::initWithFrame, screen);
    scrollView_->setDelegate(this);
    scrollView_->setDataSource(this);
    scrollView_->setRotateEnabled(false);
    scrollView_->setBackgroundColor(UIColor::blackColor());
    scrollView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                     UIViewAutoresizingFlexibleHeight);
    innerView_->addSubview(scrollView_);

    nextButton_ = make<UIBarButtonItem>(
        &UIBarButtonItem::initWithImage, bundleImage("nextIcon.png").get(),
        UIBarButtonItemStylePlain, static_cast<NSObject*>(this), Selector::named("nextAction"));
    previousButton_ = make<UIBarButtonItem>(
        &UIBarButtonItem::initWithImage, bundleImage("previousIcon.png").get(),
        UIBarButtonItemStylePlain, static_cast<NSObject*>(this), Selector::named("previousAction"));
    // The arrows are pictures only: assistive technology reads them by these names.
    nextButton_->setAccessibilityLabel(NS("Next"));
    previousButton_->setAccessibilityLabel(NS("Previous"));
    // Made, but not among the toolbar's items: the slideshow starts from code.
    auto play = playButtonItem(false);
    (void)play;

    auto space = [] {
        return make<UIBarButtonItem>(&UIBarButtonItem::initWithBarButtonSystemItem,
                                     UIBarButtonSystemItemFlexibleSpace,
                                     static_cast<NSObject*>(nullptr), static_cast<SEL>(nullptr));
    };
    toolbar_ = make<UIToolbar>(&UIToolbar::initWithFrame,
                               CGRectMake(0, screen.size.height - 44, screen.size.width, 44));
    if (navigationBarStyle() == UIBarStyleDefault)
        toolbar_->setTintColor(DZStyleSheet::globalStyleSheet()->toolbarTintColor());
    toolbar_->setBarStyle(navigationBarStyle());
    toolbar_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                  UIViewAutoresizingFlexibleTopMargin);
    toolbar_->setItems(NSArray::arrayWithObjects(
        {space().get(), previousButton_.get(), space().get(), nextButton_.get(), space().get()}));
    innerView_->addSubview(toolbar_);
}

Ref<UIBarButtonItem> DZPhotoViewController::playButtonItem(bool pause) {
    auto item = make<UIBarButtonItem>(
        &UIBarButtonItem::initWithBarButtonSystemItem,
        pause ? UIBarButtonSystemItemPause : UIBarButtonSystemItemPlay,
        static_cast<NSObject*>(this), Selector::named(pause ? "pauseAction" : "playAction"));
    item->setTag(kPlayButtonTag);
    return item;
}

void DZPhotoViewController::viewDidUnload() {
    DZModelViewController::viewDidUnload();
    if (scrollView_) {
        scrollView_->setDelegate(nullptr);
        scrollView_->setDataSource(nullptr);
    }
    innerView_ = nullptr;
    scrollView_ = nullptr;
    photoStatusView_ = nullptr;
    nextButton_ = previousButton_ = nullptr;
    toolbar_ = nullptr;
}

void DZPhotoViewController::viewWillAppear(bool animated) {
    DZModelViewController::viewWillAppear(animated);
    shownIn_ = navigationController().get();
    updateToolbarWithOrientation(interfaceOrientation());
}

void DZPhotoViewController::viewWillDisappear(bool animated) {
    DZModelViewController::viewWillDisappear(animated);
    if (scrollView_) scrollView_->cancelTouches();
    pauseAction();
    if (nextViewController(this)) showBars(true, false);
    // The browser hid the bars with its chrome: whether it goes back or on, the screen after it
    // gets them back, and the status bar too.
    auto nav = shownIn_.lock();
    if (nav && nav->navigationBar()->alpha() == 0) {
        showBars(true, false);
        nav->navigationBar()->setAlpha(1);
        nav->setNavigationBarHidden(false);
        UIApplication::sharedApplication()->setStatusBarHidden(false, UIStatusBarAnimationNone);
    }
}

bool DZPhotoViewController::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation o) {
    return DZOrientationAllowed(o);
}

void DZPhotoViewController::willAnimateRotationToInterfaceOrientation(UIInterfaceOrientation o,
                                                                      NSTimeInterval duration) {
    DZModelViewController::willAnimateRotationToInterfaceOrientation(o, duration);
    updateToolbarWithOrientation(o);
}

Ref<UIView> DZPhotoViewController::rotatingFooterView() {
    return toolbar_;
}

void DZPhotoViewController::updateToolbarWithOrientation(UIInterfaceOrientation o) {
    if (!toolbar_ || !isViewLoaded()) return;
    bool portrait =
        o == UIInterfaceOrientationPortrait || o == UIInterfaceOrientationPortraitUpsideDown;
    CGRect f = toolbar_->frame();
    f.size.height = portrait ? 44 : 33 + 1;
    f.origin.y = view()->frame().size.height - f.size.height;
    toolbar_->setFrame(f);
}

// ---- chrome ----------------------------------------------------------------------------------

void DZPhotoViewController::updateChrome() {
    NSInteger count = numberOfPhotos();
    if (count > 1) {
        setTitle(NSString::stringWithFormat(
            localized(NS("%d of %d"), NS("Current page in photo browser (1 of 10)")),
            static_cast<int>(centerPhotoIndex_ + 1), static_cast<int>(count)));
    } else {
        setTitle(photoSource_ ? photoSource_->title() : nullptr);
    }
    if (is<DZThumbsViewController>(dzPreviousViewController(this)) || count < 2) {
        navigationItem()->setRightBarButtonItem(nullptr);
    } else {
        navigationItem()->setRightBarButtonItem(
            make<UIBarButtonItem>(&UIBarButtonItem::initWithTitle,
                                  localized(NS("See All"), NS("See all photo thumbnails")).get(),
                                  UIBarButtonItemStyleBordered, static_cast<NSObject*>(this),
                                  Selector::named("showThumbnails")));
    }
    if (!toolbar_) return;
    if (auto play = itemWithTag(toolbar_, kPlayButtonTag)) play->setEnabled(count > 1);
    if (previousButton_) previousButton_->setEnabled(centerPhotoIndex_ > 0);
    if (nextButton_)
        nextButton_->setEnabled(centerPhotoIndex_ >= 0 && centerPhotoIndex_ < count - 1);
}

bool DZPhotoViewController::isShowingChrome() {
    auto nav = navigationController();
    auto bar = nav ? nav->navigationBar() : nullptr;
    return !bar || bar->alpha() != 0;
}

void DZPhotoViewController::showBars(bool show, bool animated) {
    ::showBars(this, show, animated);
    CGFloat alpha = show ? 1 : 0;
    if (!toolbar_ || toolbar_->alpha() == alpha) return;
    Weak<DZPhotoViewController> weak(this);
    auto done = [weak, show] {
        auto self = weak.lock();
        auto nav = self ? self->navigationController() : nullptr;
        if (nav) nav->setNavigationBarHidden(!show);
    };
    if (animated) {
        UIView::animateWithDuration(
            0.3,
            [this, show, alpha] {
                showCaptions(show);
                toolbar_->setAlpha(alpha);
            },
            [done](bool) { done(); });
    } else {
        done();
        showCaptions(show);
        toolbar_->setAlpha(alpha);
    }
}

void DZPhotoViewController::showCaptions(bool show) {
    if (!scrollView_) return;
    forEachVisiblePage([show](NSInteger, DZPhotoView* page) { page->setHidesCaption(!show); });
}

Ref<DZPhotoView> DZPhotoViewController::statusView() {
    if (!photoStatusView_ && scrollView_) {
        photoStatusView_ = make<DZPhotoView>(&DZPhotoView::initWithFrame, scrollView_->frame());
        photoStatusView_->setDefaultImage(defaultImage_);
        photoStatusView_->setPhoto(nullptr);
        innerView_->addSubview(photoStatusView_);
    }
    return photoStatusView_;
}

void DZPhotoViewController::showProgress(CGFloat progress) {
    bool onScreen = hasViewAppeared() || isViewAppearing();
    if (onScreen && progress >= 0 && scrollView_ && !scrollView_->centerPage()) {
        statusView()->showProgress(progress);
        statusView()->setHidden(false);
    } else if (photoStatusView_) {
        photoStatusView_->setHidden(true);
    }
}

void DZPhotoViewController::showStatus(NSString* text) {
    statusText_ = text ? text->copy() : nullptr;
    bool onScreen = hasViewAppeared() || isViewAppearing();
    if (onScreen && text && scrollView_ && !scrollView_->centerPage()) {
        statusView()->showStatus(text);
        statusView()->setHidden(false);
    } else if (photoStatusView_) {
        photoStatusView_->setHidden(true);
    }
}

void DZPhotoViewController::showActivity(NSString* title) {
    if (!innerView_) return;
    if (title) {
        auto label = make<DZActivityLabel>(
            static_cast<bool (DZActivityLabel::*)(CGRect, DZActivityLabelStyle, NSString*)>(
                &DZActivityLabel::initWithFrame),
            scrollView_->frame(), DZActivityLabelStyleBlackBezel, title);
        label->setTag(kActivityLabelTag);
        innerView_->addSubview(label);
        scrollView_->setScrollEnabled(false);
    } else {
        if (auto label = innerView_->viewWithTag(kActivityLabelTag)) label->removeFromSuperview();
        scrollView_->setScrollEnabled(true);
    }
}

// ---- moving between photos -------------------------------------------------------------------

void DZPhotoViewController::moveToPhoto(DZPhoto* photo) {
    Ref<DZPhoto> previous = centerPhoto_;  // alive until the hook returns
    centerPhoto_ = photo;
    didMoveToPhoto(centerPhoto_, previous);
}

void DZPhotoViewController::moveToPhotoAtIndex(NSInteger index, bool delay) {
    centerPhotoIndex_ = index == kNoPhotoIndex ? 0 : index;
    moveToPhoto(photoSource_ ? photoSource_->photoAtIndex(centerPhotoIndex_).get() : nullptr);
    delayLoad_ = delay;
}

void DZPhotoViewController::moveToNextValidPhoto() {
    NSInteger count = numberOfPhotos();
    NSInteger index = centerPhotoIndex_ >= count ? count - 1 : centerPhotoIndex_;
    // With no photos left there is no last one: the browser starts over at the first.
    moveToPhotoAtIndex(index < 0 ? 0 : index, false);
}

void DZPhotoViewController::showPhoto(DZPhoto* photo, DZPhotoView* page) {
    page->setPhoto(photo);
    if (!page->photo() && statusText_) page->showStatus(statusText_);
}

void DZPhotoViewController::updatePhotoView() {
    if (!scrollView_) return;
    scrollView_->setCenterPageIndex(centerPhotoIndex_);
    loadImages();
    updateChrome();
}

void DZPhotoViewController::forEachVisiblePage(
    const std::function<void(NSInteger, DZPhotoView*)>& fn) {
    if (!scrollView_) return;
    auto pages = scrollView_->visiblePages();
    auto keys = pages->allKeys();
    for (NSObject* key : *keys)
        if (auto page = as<DZPhotoView>(pages->objectForKey(key)))
            fn(static_cast<NSNumber*>(key)->intValue(), page.get());
}

Ref<DZPhotoView> DZPhotoViewController::centerPhotoView() {
    return scrollView_ ? as<DZPhotoView>(scrollView_->centerPage()) : nullptr;
}

void DZPhotoViewController::loadImages() {
    auto center = centerPhotoView();
    forEachVisiblePage([&](NSInteger, DZPhotoView* page) {
        if (page != center.get()) page->loadPreview(true);
    });
    if (!center) return;
    center->loadPreview(false);
    if (!delayLoad_) {
        center->loadImage();
    } else {
        delayLoad_ = false;
        startImageLoadTimer(0.5);
    }
}

void DZPhotoViewController::startImageLoadTimer(NSTimeInterval delay) {
    cancelImageLoadTimer();
    Weak<DZPhotoViewController> weak(this);
    loadTimer_ = NSTimer::scheduledTimerWithTimeInterval(delay, false, [weak](NSTimer*) {
        if (auto self = weak.lock()) self->loadImageDelayed();
    });
}

void DZPhotoViewController::cancelImageLoadTimer() {
    if (auto t = std::move(loadTimer_)) t->invalidate();
}

void DZPhotoViewController::loadImageDelayed() {
    loadTimer_ = nullptr;
    if (auto center = centerPhotoView()) center->loadImage();
}

void DZPhotoViewController::updateVisiblePhotoViews() {
    if (!photoSource_) return;
    moveToPhoto(photoSource_->photoAtIndex(centerPhotoIndex_));
    bool changed = false;
    forEachVisiblePage([this, &changed](NSInteger index, DZPhotoView* page) {
        page->showProgress(-1);
        auto photo = photoSource_->photoAtIndex(index);
        changed = changed || photo.get() != page->photo().get();
        showPhoto(photo.get(), page);
    });
    // A source loaded again (the grid of thumbnails loads it) hands out new photo objects: a
    // page given one shows its placeholder until its image is asked for again.
    if (changed) loadImages();
}

void DZPhotoViewController::resetVisiblePhotoViews() {
    forEachVisiblePage([](NSInteger, DZPhotoView* page) {
        if (!page->isLoading()) page->showProgress(-1);
    });
}

// ---- actions ---------------------------------------------------------------------------------

void DZPhotoViewController::nextAction() {
    pauseAction();
    if (scrollView_ && centerPhotoIndex_ < numberOfPhotos() - 1)
        scrollView_->setCenterPageIndex(scrollView_->centerPageIndex() + 1);
}

void DZPhotoViewController::previousAction() {
    pauseAction();
    if (scrollView_ && centerPhotoIndex_ >= 1)
        scrollView_->setCenterPageIndex(scrollView_->centerPageIndex() - 1);
}

void DZPhotoViewController::playAction() {
    if (slideshowTimer_) return;
    if (toolbar_ && itemWithTag(toolbar_, kPlayButtonTag))
        replaceItemWithTag(toolbar_, kPlayButtonTag, playButtonItem(true));
    Weak<DZPhotoViewController> weak(this);
    slideshowTimer_ = NSTimer::scheduledTimerWithTimeInterval(2.0, true, [weak](NSTimer*) {
        if (auto self = weak.lock()) self->slideshowTimer();
    });
}

void DZPhotoViewController::pauseAction() {
    if (!slideshowTimer_) return;
    if (toolbar_ && itemWithTag(toolbar_, kPlayButtonTag))
        replaceItemWithTag(toolbar_, kPlayButtonTag, playButtonItem(false));
    if (auto t = std::move(slideshowTimer_)) t->invalidate();
}

void DZPhotoViewController::slideshowTimer() {
    if (!scrollView_) return;
    if (centerPhotoIndex_ == numberOfPhotos() - 1)
        scrollView_->setCenterPageIndex(0);
    else
        scrollView_->setCenterPageIndex(centerPhotoIndex_ + 1);
}

Ref<NSString> DZPhotoViewController::URLForThumbnails() {
    if (!photoSource_) return nullptr;
    if (!respondsTo(photoSource_.get(), Selector::named("URLValueWithName:"))) return nullptr;
    return photoSource_->URLValueWithName(NS("DZThumbsViewController"));
}

void DZPhotoViewController::showThumbnails() {
    auto url = URLForThumbnails();
    if (url) {
        if (!thumbsController_) {
            auto navigator = DZNavigator::navigator();
            auto query = NSDictionary::dictionaryWithObject(this, NS("delegate"));
            thumbsController_ =
                as<DZThumbsViewController>(navigator->viewControllerForURL(url, query));
            if (thumbsController_) navigator->URLMap()->setObject(thumbsController_, url);
        }
        DZNavigateToURLPath(url);
        return;
    }
    if (!thumbsController_) {
        thumbsController_ = createThumbsViewController();
        thumbsController_->setPhotoSource(photoSource_);
    }
    auto nav = navigationController();
    if (auto dzNav = as<DZNavigationController>(nav))
        dzNav->pushViewControllerAnimatedWithTransition(thumbsController_,
                                                        UIViewAnimationTransitionCurlDown);
    else if (nav)
        nav->pushViewController(thumbsController_, true);
}

// ---- model controller ------------------------------------------------------------------------

bool DZPhotoViewController::canShowModel() {
    return numberOfPhotos() > 0;
}

void DZPhotoViewController::didRefreshModel() {
    DZModelViewController::didRefreshModel();
    updatePhotoView();
}

void DZPhotoViewController::didLoadModel(bool firstTime) {
    DZModelViewController::didLoadModel(firstTime);
    if (firstTime) updatePhotoView();
}

void DZPhotoViewController::showLoading(bool show) {
    showProgress(show ? 0 : -1);
}

void DZPhotoViewController::showEmpty(bool show) {
    if (show) {
        if (scrollView_) scrollView_->reloadData();
        showStatus(localized(NS("This photo set contains no photos."), NS("")));
    } else {
        showStatus(nullptr);
    }
}

void DZPhotoViewController::showError(bool show) {
    showStatus(show ? DZUserErrorTitle(modelError()) : nullptr);
}

void DZPhotoViewController::modelDidFinishLoad(DZModelProtocol* model) {
    if (isOurModel(model)) {
        if (centerPhotoIndex_ >= numberOfPhotos()) {
            moveToNextValidPhoto();
            if (scrollView_) scrollView_->reloadData();
            resetVisiblePhotoViews();
        } else {
            updateVisiblePhotoViews();
        }
    }
    DZModelViewController::modelDidFinishLoad(model);
}

void DZPhotoViewController::modelDidFailLoadWithError(DZModelProtocol* model, NSError* error) {
    if (isOurModel(model)) resetVisiblePhotoViews();
    DZModelViewController::modelDidFailLoadWithError(model, error);
}

void DZPhotoViewController::modelDidCancelLoad(DZModelProtocol* model) {
    if (isOurModel(model)) resetVisiblePhotoViews();
    DZModelViewController::modelDidCancelLoad(model);
}

void DZPhotoViewController::modelDidDeleteObject(DZModelProtocol*, NSObject* object, NSIndexPath*) {
    if (!object || object != DZPhotoObject(centerPhoto_.get())) return;
    showActivity(nullptr);
    moveToNextValidPhoto();
    if (scrollView_) scrollView_->reloadData();
    refresh();
}

// ---- pager -----------------------------------------------------------------------------------

void DZPhotoViewController::scrollViewDidMoveToPageAtIndex(DZScrollView*, NSInteger index) {
    if (index == centerPhotoIndex_) return;
    moveToPhotoAtIndex(index, true);
    refresh();
}

void DZPhotoViewController::scrollViewWillBeginDragging(DZScrollView*) {
    cancelImageLoadTimer();
    showCaptions(false);
    showBars(false, true);
}

void DZPhotoViewController::scrollViewDidEndDecelerating(DZScrollView*) {
    startImageLoadTimer(0.25);
}

void DZPhotoViewController::scrollViewWillRotate(DZScrollView*, UIInterfaceOrientation) {
    if (auto page = centerPhotoView()) page->setHidesExtras(true);
}
void DZPhotoViewController::scrollViewDidRotate(DZScrollView*) {
    if (auto page = centerPhotoView()) page->setHidesExtras(false);
}
void DZPhotoViewController::scrollViewDidBeginZooming(DZScrollView*) {
    if (auto page = centerPhotoView()) page->setHidesExtras(true);
}
void DZPhotoViewController::scrollViewDidEndZooming(DZScrollView*) {
    if (auto page = centerPhotoView()) page->setHidesExtras(false);
}

bool DZPhotoViewController::scrollViewShouldZoom(DZScrollView*) {
    auto page = centerPhotoView();
    return page && page->image() != page->defaultImage();
}

void DZPhotoViewController::scrollViewTapped(DZScrollView*, UITouch*) {
    if (isShowingChrome())
        showBars(false, true);
    else
        showBars(true, false);
}

NSInteger DZPhotoViewController::numberOfPagesInScrollView(DZScrollView*) {
    return numberOfPhotos();
}

Ref<UIView> DZPhotoViewController::scrollViewPageAtIndex(DZScrollView* scrollView,
                                                         NSInteger index) {
    auto page = as<DZPhotoView>(scrollView->dequeueReusablePage());
    if (!page) {
        page = createPhotoView();
        page->setCaptionStyle(captionStyle_);
        page->setDefaultImage(defaultImage_);
        page->setHidesCaption(toolbar_ && toolbar_->alpha() == 0);
    }
    showPhoto(photoSource_ ? photoSource_->photoAtIndex(index).get() : nullptr, page);
    return page;
}

CGSize DZPhotoViewController::scrollViewSizeOfPageAtIndex(DZScrollView*, NSInteger index) {
    auto photo = photoSource_ ? photoSource_->photoAtIndex(index) : nullptr;
    return photo ? photo->size() : CGSizeZero;
}

// ---- grid ------------------------------------------------------------------------------------

void DZPhotoViewController::thumbsViewControllerDidSelectPhoto(DZThumbsViewController*,
                                                               DZPhoto* photo) {
    setCenterPhoto(photo);
    auto nav = navigationController();
    if (auto base = as<DZBaseNavigationController>(nav))
        base->popViewControllerAnimatedWithTransition(UIViewAnimationTransitionCurlUp);
    else if (nav)
        nav->popViewControllerAnimated(true);
}
