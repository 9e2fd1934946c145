#include <gtest/gtest.h>

#include <cmath>

#include "CoreGraphics/CGColor.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSString.h"
#include "QuartzCore/CALayer.h"
#include "UIKit/UIView.h"
#include "UIKit/UIViewRendering.h"
#include "platform/UIKit/DrawingTesting.h"

namespace {

Ref<UIView> box(CGRect frame, UIColor* color) {
    auto v = make<UIView>(&UIView::initWithFrame, frame);
    v->setBackgroundColor(color);
    return v;
}

bool sameRect(CGRect a, CGRect b) {
    return std::abs(a.origin.x - b.origin.x) < 1e-3f && std::abs(a.origin.y - b.origin.y) < 1e-3f &&
           std::abs(a.size.width - b.size.width) < 1e-3f &&
           std::abs(a.size.height - b.size.height) < 1e-3f;
}

// The layer of an image view that has no style of its own: its display shows the image as the
// contents; without the image it displays as any view's layer.
class ImageLayer : public CALayer {
    NS_OBJECT(ImageLayer, CALayer)
public:
    Ref<UIImage> image;
    void display() override {
        if (image) {
            setContents(image->CGImage());
        } else {
            CALayer::display();
        }
    }
};

class ImageLayerView : public UIView {
    NS_OBJECT(ImageLayerView, UIView)
public:
    int draws = 0;
    Class layerClass() override { return ImageLayer::staticClass(); }
    void drawRect(CGRect) override {
        ++draws;
        UIColor::blackColor()->setFill();
        UIRectFill(CGRectMake(0, 0, 5, 5));
    }
};

// A 20 x 10 picture: red with two blue columns at the left.
Ref<UIImage> wideImage() {
    return paintedImage(CGSizeMake(20, 10), 1, [] {
        fill(UIColor::redColor(), CGRectMake(0, 0, 20, 10));
        fill(UIColor::blueColor(), CGRectMake(0, 0, 2, 10));
    });
}

Ref<CALayer> plainLayer(CGRect frame, UIColor* color) {
    auto l = CALayer::layer();
    l->setFrame(frame);
    l->setBackgroundColor(color->CGColor());
    return l;
}

}  // namespace

TEST(UIViewLayer, TheLayerHoldsTheViewsGeometryAndLook) {
    auto view = box(CGRectMake(10, 20, 40, 30), UIColor::redColor());
    view->setAlpha(0.5f);
    view->setClipsToBounds(true);
    view->setContentMode(UIViewContentModeTopLeft);
    auto layer = view->layer();
    ASSERT_TRUE(layer);
    EXPECT_EQ(view->layer(), layer);  // made once
    EXPECT_EQ(layer->delegate().get(), static_cast<CALayerDelegate*>(view.get()));
    EXPECT_TRUE(sameRect(layer->frame(), CGRectMake(10, 20, 40, 30)));
    EXPECT_FLOAT_EQ(layer->opacity(), 0.5f);
    EXPECT_TRUE(layer->masksToBounds());
    EXPECT_TRUE(CGColorEqualToColor(layer->backgroundColor(), UIColor::redColor()->CGColor()));
    EXPECT_TRUE(layer->contentsGravity()->isEqualToString(kCAGravityTopLeft));

    // The view's changes reach the layer...
    view->setCenter(CGPointMake(100, 100));
    view->setBounds(CGRectMake(5, 5, 20, 20));
    view->setHidden(true);
    view->setBackgroundColor(nullptr);
    EXPECT_TRUE(CGPointEqualToPoint(layer->position(), CGPointMake(100, 100)));
    EXPECT_TRUE(sameRect(layer->bounds(), CGRectMake(5, 5, 20, 20)));
    EXPECT_TRUE(layer->isHidden());
    EXPECT_EQ(layer->backgroundColor(), nullptr);

    // ...and the layer's read back through the view.
    layer->setHidden(false);
    layer->setOpacity(0.25f);
    layer->setBackgroundColor(CGColorCreateGenericRGB(0, 0, 1, 1));
    layer->setAffineTransform(CGAffineTransformMakeRotation(float(M_PI / 2)));
    EXPECT_FALSE(view->isHidden());
    EXPECT_FLOAT_EQ(view->alpha(), 0.25f);
    CGFloat r = 0, g = 0, b = 0, a = 0;
    ASSERT_TRUE(view->backgroundColor());
    view->backgroundColor()->getRed(&r, &g, &b, &a);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(r, 0);
    // A quarter turn makes the 20 x 20 square's frame the same square about the same centre.
    EXPECT_TRUE(sameRect(view->frame(), CGRectMake(90, 90, 20, 20)));
    EXPECT_TRUE(sameRect(layer->frame(), view->frame()));
    // Moving the anchor moves the frame as the layer does.
    layer->setAffineTransform(CGAffineTransformIdentity);
    layer->setAnchorPoint(CGPointMake(0, 0));
    EXPECT_TRUE(sameRect(view->frame(), CGRectMake(100, 100, 20, 20)));
    view->setFrame(CGRectMake(0, 0, 10, 10));
    EXPECT_TRUE(sameRect(layer->frame(), CGRectMake(0, 0, 10, 10)));
    EXPECT_TRUE(CGPointEqualToPoint(view->center(), CGPointZero));
}

TEST(UIViewLayer, TheLayerTreeMirrorsTheViewTree) {
    auto root = box(CGRectMake(0, 0, 100, 100), nullptr);
    auto a = box(CGRectMake(0, 0, 10, 10), nullptr), b = box(CGRectMake(0, 0, 10, 10), nullptr);
    root->addSubview(a);
    a->addSubview(b);
    // Asking one view gives the whole tree its layers.
    auto bl = b->layer();
    ASSERT_TRUE(root->existingLayer() && a->existingLayer());
    EXPECT_EQ(bl->superlayer().get(), a->existingLayer());
    EXPECT_EQ(a->existingLayer()->superlayer().get(), root->existingLayer());

    // A sublayer that belongs to no view stays below views added after it.
    auto shade = CALayer::layer();
    root->layer()->insertSublayer(shade, 0);
    auto c = box(CGRectMake(0, 0, 10, 10), nullptr), d = box(CGRectMake(0, 0, 10, 10), nullptr);
    root->addSubview(c);
    root->insertSubview(d, 1);  // between a and c
    auto order = [&] {
        std::vector<CALayer*> out;
        for (auto& l : root->layer()->sublayerList())
            out.push_back(l.get());
        return out;
    };
    ASSERT_TRUE(c->existingLayer() && d->existingLayer());
    EXPECT_EQ(order(), (std::vector<CALayer*>{shade, a->layer(), d->layer(), c->layer()}));
    root->exchangeSubviewAtIndex(0, 2);  // a <-> c
    EXPECT_EQ(order(), (std::vector<CALayer*>{shade, c->layer(), d->layer(), a->layer()}));
    root->sendSubviewToBack(a);
    root->bringSubviewToFront(c);
    EXPECT_EQ(order(), (std::vector<CALayer*>{a->layer(), shade, d->layer(), c->layer()}));
    d->removeFromSuperview();
    EXPECT_EQ(d->layer()->superlayer(), nullptr);
    EXPECT_EQ(order(), (std::vector<CALayer*>{a->layer(), shade, c->layer()}));

    // A view with a layer added to a tree without layers gives that tree its layers.
    auto other = box(CGRectMake(0, 0, 50, 50), nullptr);
    auto sibling = box(CGRectMake(0, 0, 5, 5), nullptr);
    other->addSubview(sibling);
    other->addSubview(d);
    ASSERT_TRUE(other->existingLayer() && sibling->existingLayer());
    EXPECT_EQ(other->layer()->sublayerList().size(), 2u);
    EXPECT_EQ(other->layer()->sublayerList()[1].get(), d->existingLayer());

    // A view that outlives its superview takes its layer out of the dead one's.
    Ref<CALayer> keptLayer = other->layer();
    other = nullptr;
    EXPECT_EQ(sibling->layer()->superlayer(), nullptr);
    EXPECT_TRUE(keptLayer->sublayerList().empty());
}

TEST(UIViewLayer, VisibleRectAndConversionsFollowTheViews) {
    auto window = box(CGRectMake(0, 0, 320, 480), nullptr);
    auto clip = box(CGRectMake(0, 100, 320, 50), nullptr);
    clip->setClipsToBounds(true);
    auto banner = box(CGRectMake(10, 30, 300, 50), nullptr);  // half of it below the clip
    window->addSubview(clip);
    clip->addSubview(banner);
    auto visible = banner->layer()->visibleRect();
    EXPECT_TRUE(sameRect(visible, CGRectMake(0, 0, 300, 20)));
    CGPoint centre = banner->layer()->convertPoint(
        CGPointMake(CGRectGetMidX(visible), CGRectGetMidY(visible)), window->layer());
    EXPECT_TRUE(CGPointEqualToPoint(centre, banner->convertPoint(CGPointMake(150, 10), window)));
    EXPECT_TRUE(CGPointEqualToPoint(centre, CGPointMake(160, 140)));
}

TEST(UIViewLayer, ALayerClassOfItsOwnShowsContentsOrTheViewsDrawing) {
    auto root = box(CGRectMake(0, 0, 40, 40), UIColor::greenColor());
    auto view = make<ImageLayerView>(&UIView::initWithFrame, CGRectMake(0, 0, 40, 40));
    root->addSubview(view);
    view->setContentMode(UIViewContentModeCenter);
    auto layer = as<ImageLayer>(view->layer());
    ASSERT_TRUE(layer);
    layer->image = wideImage();
    layer->setNeedsDisplay();
    auto shown = UIViewRenderImage(root, 1);
    ASSERT_TRUE(shown);
    EXPECT_TRUE(layer->contents());
    // Centred at its own size: 20 x 10 from (10, 15); the drawing lies on top.
    EXPECT_TRUE(near(pixelAt(shown, 10, 20), kBlue, 0));
    EXPECT_TRUE(near(pixelAt(shown, 20, 20), kRed, 0));
    EXPECT_TRUE(near(pixelAt(shown, 20, 12), kGreen, 0));
    EXPECT_TRUE(near(pixelAt(shown, 2, 2), kBlack, 0));

    // Without the image the layer displays as the view's: its contents go, the drawing stays.
    layer->image = nullptr;
    layer->setNeedsDisplay();
    int draws = view->draws;
    auto plain = UIViewRenderImage(root, 1);
    EXPECT_FALSE(layer->contents());
    EXPECT_EQ(view->draws, draws + 1);
    EXPECT_TRUE(near(pixelAt(plain, 20, 20), kGreen, 0));
    EXPECT_TRUE(near(pixelAt(plain, 2, 2), kBlack, 0));
}

TEST(UIViewLayer, ContentsFollowTheContentModeAndScale) {
    auto view = box(CGRectMake(0, 0, 40, 40), UIColor::greenColor());
    view->layer()->setContents(wideImage()->CGImage());
    view->setContentMode(UIViewContentModeBottomRight);
    auto corner = UIViewRenderImage(view, 1);
    EXPECT_TRUE(near(pixelAt(corner, 20, 35), kBlue, 0));
    EXPECT_TRUE(near(pixelAt(corner, 30, 29), kGreen, 0));
    // At a contents scale of 2 the picture is 10 x 5 points.
    view->setContentScaleFactor(2);
    auto half = UIViewRenderImage(view, 1);
    EXPECT_TRUE(near(pixelAt(half, 30, 37), kBlue, 0));
    EXPECT_TRUE(near(pixelAt(half, 29, 37), kGreen, 0));
    EXPECT_TRUE(near(pixelAt(half, 35, 34), kGreen, 0));
    // The view's display mark leaves the contents alone.
    view->setBackgroundColor(UIColor::whiteColor());
    view->setNeedsDisplay();
    UIViewRenderImage(view, 1);
    EXPECT_TRUE(view->layer()->contents());
}

TEST(UIViewLayer, CornersClipWithMasksToBoundsAndBordersDrawOnTop) {
    auto root = box(CGRectMake(0, 0, 60, 60), UIColor::whiteColor());
    auto card = box(CGRectMake(10, 10, 40, 40), UIColor::redColor());
    card->layer()->setCornerRadius(10);
    card->addSubview(box(CGRectMake(0, 0, 40, 10), UIColor::blueColor()));
    root->addSubview(card);
    // Without masking the background is rounded but the subview is not cut.
    auto open = UIViewRenderImage(root, 1);
    EXPECT_TRUE(near(pixelAt(open, 11, 11), kBlue, 0));
    EXPECT_TRUE(near(pixelAt(open, 11, 48), kWhite, 0));
    EXPECT_TRUE(near(pixelAt(open, 30, 30), kRed, 0));

    card->layer()->setMasksToBounds(true);
    EXPECT_TRUE(card->clipsToBounds());
    card->layer()->setBorderWidth(2);
    card->layer()->setBorderColor(UIColor::greenColor()->CGColor());
    auto masked = UIViewRenderImage(root, 1);
    EXPECT_TRUE(near(pixelAt(masked, 11, 11), kWhite, 0));  // the corner is cut
    EXPECT_TRUE(near(pixelAt(masked, 30, 15), kBlue, 0));
    EXPECT_TRUE(near(pixelAt(masked, 30, 30), kRed, 0));
    // The border covers the subview along the edge, inside the bounds.
    EXPECT_TRUE(near(pixelAt(masked, 30, 10), kGreen, 0));
    EXPECT_TRUE(near(pixelAt(masked, 10, 30), kGreen, 0));
    EXPECT_TRUE(near(pixelAt(masked, 9, 30), kWhite, 0));
    EXPECT_TRUE(near(pixelAt(masked, 13, 30), kRed, 0));
}

TEST(UIViewLayer, SublayersWithoutViewsDrawInTheirPlace) {
    auto root = box(CGRectMake(0, 0, 60, 60), UIColor::whiteColor());
    auto cell = box(CGRectMake(0, 20, 60, 20), UIColor::redColor());
    root->addSubview(cell);
    // Below the cell, above it (out of its bounds: nothing clips), and one that is hidden.
    root->layer()->insertSublayer(plainLayer(CGRectMake(0, 10, 60, 20), UIColor::blueColor()), 0);
    cell->layer()->addSublayer(plainLayer(CGRectMake(0, 15, 30, 10), UIColor::greenColor()));
    auto hidden = plainLayer(CGRectMake(0, 0, 60, 60), UIColor::blackColor());
    hidden->setHidden(true);
    root->layer()->addSublayer(hidden);
    auto gradient = CAGradientLayer::layer();
    gradient->setFrame(CGRectMake(40, 45, 20, 10));
    gradient->setColors(NSArray::arrayWithObjects(
        {UIColor::blackColor()->CGColor(), UIColor::blackColor()->CGColor()}));
    root->layer()->addSublayer(gradient);

    auto image = UIViewRenderImage(root, 1);
    EXPECT_TRUE(near(pixelAt(image, 30, 15), kBlue, 0));
    EXPECT_TRUE(near(pixelAt(image, 30, 25), kRed, 0));  // the cell covers the layer below it
    EXPECT_TRUE(near(pixelAt(image, 10, 38), kGreen, 0));
    EXPECT_TRUE(near(pixelAt(image, 10, 42), kGreen, 0));
    EXPECT_TRUE(near(pixelAt(image, 45, 42), kWhite, 0));
    EXPECT_TRUE(near(pixelAt(image, 50, 50), kBlack, 0));
    EXPECT_TRUE(near(pixelAt(image, 5, 55), kWhite, 0));
}

TEST(UIViewLayer, TheViewsLayerRendersTheViewTree) {
    auto root = box(CGRectMake(0, 0, 20, 20), UIColor::whiteColor());
    auto inner = box(CGRectMake(10, 10, 10, 10), UIColor::redColor());
    root->addSubview(inner);
    auto snapshot = paintedImage(CGSizeMake(20, 20), 1, [&] {
        root->layer()->renderInContext(UIGraphicsGetCurrentContext());
    });
    EXPECT_TRUE(near(pixelAt(snapshot, 5, 5), kWhite, 0));
    EXPECT_TRUE(near(pixelAt(snapshot, 15, 15), kRed, 0));
}

TEST(UIViewLayer, AShadowFallsOutsideTheView) {
    auto root = box(CGRectMake(0, 0, 60, 60), UIColor::whiteColor());
    auto card = box(CGRectMake(10, 10, 30, 30), UIColor::redColor());
    root->addSubview(card);
    card->layer()->setShadowOpacity(1);
    card->layer()->setShadowRadius(0);
    card->layer()->setShadowOffset(CGSizeMake(5, 5));
    auto image = UIViewRenderImage(root, 1);
    EXPECT_TRUE(near(pixelAt(image, 25, 25), kRed, 0));
    EXPECT_TRUE(near(pixelAt(image, 42, 42), kBlack, 0));  // down and right, in the view's units
    EXPECT_TRUE(near(pixelAt(image, 8, 8), kWhite, 0));
}
