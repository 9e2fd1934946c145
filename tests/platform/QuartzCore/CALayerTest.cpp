#include <gtest/gtest.h>

#include <cmath>

#include "CoreGraphics/CoreGraphics.h"
#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "QuartzCore/QuartzCore.h"
#include "support/RunLoopTesting.h"

namespace {

struct Pixel {
    int r, g, b, a;
};

Ref<CGContext> flippedContext(size_t w, size_t h) {
    auto c = CGBitmapContextCreate(nullptr, w, h, 8, 0, CGColorSpaceCreateDeviceRGB(),
                                   kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little);
    CGContextTranslateCTM(c, 0, CGFloat(h));
    CGContextScaleCTM(c, 1, -1);
    return c;
}

Pixel pixelAt(CGContextRef c, size_t x, size_t y) {
    auto* p = static_cast<const uint8_t*>(CGBitmapContextGetData(c)) +
              y * CGBitmapContextGetBytesPerRow(c) + x * 4;
    return Pixel{p[2], p[1], p[0], p[3]};
}

class Painter : public NSObject, public CALayerDelegate {
    NS_OBJECT(Painter, NSObject)
    static void describeClass(RuntimeClass& c) { c.implements({"drawLayer:inContext:"}); }
    void drawLayer(CALayer* layer, CGContextRef ctx) override {
        ++calls;
        CGContextSetRGBFillColor(ctx, 0, 0, 1, 1);
        CGContextFillRect(ctx, CGRectMake(0, 0, layer->bounds().size.width, 2));  // the top rows
    }
    int calls = 0;
};

class Listener : public NSObject, public CAAnimationDelegate {
    NS_OBJECT(Listener, NSObject)
    void animationDidStart(CAAnimation*) override { ++started; }
    void animationDidStop(CAAnimation*, bool finished) override {
        ++stopped;
        lastFinished = finished;
    }
    int started = 0, stopped = 0;
    bool lastFinished = false;
};

}  // namespace

TEST(CALayer, GeometryFollowsPositionAnchorAndTransform) {
    auto layer = CALayer::layer();
    layer->setFrame(CGRectMake(10, 20, 100, 50));
    EXPECT_FLOAT_EQ(layer->position().x, 60);
    EXPECT_FLOAT_EQ(layer->position().y, 45);
    EXPECT_FLOAT_EQ(layer->bounds().size.width, 100);
    layer->setAnchorPoint(CGPointMake(0, 0));
    CGRect f = layer->frame();
    EXPECT_FLOAT_EQ(f.origin.x, 60);  // the position is now the top-left corner
    layer->setAnchorPoint(CGPointMake(0.5f, 0.5f));
    layer->setAffineTransform(CGAffineTransformMakeScale(2, 2));
    f = layer->frame();
    EXPECT_FLOAT_EQ(f.size.width, 200);
    EXPECT_FLOAT_EQ(f.origin.x, -40);
    auto rot = CATransform3DMakeRotation(0.5f, 0, 0, 1);
    auto affine = CGAffineTransformMakeRotation(0.5f);
    EXPECT_TRUE(CATransform3DIsAffine(rot));
    EXPECT_NEAR(CATransform3DGetAffineTransform(rot).b, affine.b, 1e-6);
    auto back = CATransform3DConcat(rot, CATransform3DInvert(rot));
    EXPECT_NEAR(back.m12, 0, 1e-6);
    EXPECT_NEAR(back.m11, 1, 1e-6);
}

TEST(CALayer, SublayersInsertMoveAndConvert) {
    auto root = CALayer::layer();
    root->setFrame(CGRectMake(0, 0, 200, 200));
    auto a = CALayer::layer(), b = CALayer::layer(), c = CALayer::layer();
    root->addSublayer(a);
    root->addSublayer(b);
    root->insertSublayer(c, 0);
    ASSERT_EQ(root->sublayerList().size(), 3u);
    EXPECT_EQ(root->sublayerList()[0].get(), c.get());
    root->insertSublayer(b, 0);  // moving within the same layer
    EXPECT_EQ(root->sublayerList()[0].get(), b.get());
    EXPECT_EQ(root->sublayerList().size(), 3u);
    a->removeFromSuperlayer();
    EXPECT_FALSE(a->superlayer());
    EXPECT_EQ(root->sublayerList().size(), 2u);
    b->setFrame(CGRectMake(50, 60, 20, 20));
    CGPoint p = b->convertPoint(CGPointMake(5, 5), root);
    EXPECT_FLOAT_EQ(p.x, 55);
    EXPECT_FLOAT_EQ(p.y, 65);
    root->setMasksToBounds(true);
    b->setFrame(CGRectMake(190, 0, 20, 20));
    CGRect visible = b->visibleRect();
    EXPECT_FLOAT_EQ(visible.size.width, 10);
    EXPECT_EQ(root->hitTest(CGPointMake(195, 5)).get(), b.get());
}

TEST(CALayer, DisplayDrawsThroughTheDelegateIntoContents) {
    auto layer = CALayer::layer();
    auto painter = make<Painter>();
    layer->setDelegate(painter);
    layer->setBounds(CGRectMake(0, 0, 10, 8));
    layer->setContentsScale(2);
    layer->setNeedsDisplay();
    layer->displayIfNeeded();
    EXPECT_EQ(painter->calls, 1);
    EXPECT_FALSE(layer->needsDisplay());
    auto image = as<CGImage>(layer->contents());
    ASSERT_TRUE(image);
    EXPECT_EQ(CGImageGetWidth(image), 20u);
    // The delegate's top rows are the image's first rows.
    auto bytes = CGDataProviderCopyData(CGImageGetDataProvider(image));
    const auto* p = static_cast<const uint8_t*>(bytes->bytes());
    EXPECT_EQ(p[0], 255);  // blue of the first pixel
    EXPECT_EQ(p[CGImageGetBytesPerRow(image) * 10 + 3], 0);
    layer->displayIfNeeded();
    EXPECT_EQ(painter->calls, 1);
}

TEST(CALayer, RenderDrawsBackgroundRoundedCornersBorderAndSublayers) {
    auto root = CALayer::layer();
    root->setFrame(CGRectMake(0, 0, 40, 40));
    root->setBackgroundColor(CGColorCreateGenericRGB(1, 0, 0, 1));
    root->setCornerRadius(10);
    root->setMasksToBounds(true);
    root->setBorderWidth(2);
    root->setBorderColor(CGColorCreateGenericRGB(0, 1, 0, 1));
    auto child = CALayer::layer();
    child->setFrame(CGRectMake(10, 10, 10, 10));
    child->setBackgroundColor(CGColorCreateGenericRGB(0, 0, 1, 1));
    child->setOpacity(0.5f);
    root->addSublayer(child);
    auto c = flippedContext(40, 40);
    root->renderInContext(c);
    EXPECT_EQ(pixelAt(c, 0, 0).a, 0);      // cut corner
    EXPECT_EQ(pixelAt(c, 20, 0).g, 255);   // border on top
    EXPECT_EQ(pixelAt(c, 30, 30).r, 255);  // background
    Pixel mixed = pixelAt(c, 15, 15);      // half blue over red
    EXPECT_NEAR(mixed.b, 128, 3);
    EXPECT_NEAR(mixed.r, 127, 3);
}

TEST(CALayer, ContentsGravityAndGradientLayer) {
    // A 4 x 4 green image, centred in a 10 x 10 layer.
    uint8_t px[4 * 4 * 4];
    for (int i = 0; i < 16; ++i)
        px[i * 4] = 0, px[i * 4 + 1] = 255, px[i * 4 + 2] = 0, px[i * 4 + 3] = 255;
    auto data = NSData::dataWithBytes(px, sizeof px);
    auto image = CGImageCreate(4, 4, 8, 32, 16, CGColorSpaceCreateDeviceRGB(),
                               kCGImageAlphaPremultipliedLast, CGDataProviderCreateWithCFData(data),
                               nullptr, false, kCGRenderingIntentDefault);
    auto layer = CALayer::layer();
    layer->setFrame(CGRectMake(0, 0, 10, 10));
    layer->setContents(image);
    layer->setContentsGravity(kCAGravityCenter);
    auto c = flippedContext(10, 10);
    layer->renderInContext(c);
    EXPECT_EQ(pixelAt(c, 5, 5).g, 255);
    EXPECT_EQ(pixelAt(c, 1, 1).a, 0);
    layer->setContentsGravity(kCAGravityTopLeft);
    auto d = flippedContext(10, 10);
    layer->renderInContext(d);
    EXPECT_EQ(pixelAt(d, 1, 1).g, 255);
    EXPECT_EQ(pixelAt(d, 8, 8).a, 0);

    auto g = CAGradientLayer::layer();
    g->setFrame(CGRectMake(0, 0, 4, 20));
    auto top = CGColorCreateGenericGray(0, 0.5f);
    auto bottom = CGColorCreateGenericGray(0, 0);
    g->setColors(NSArray::arrayWithObjects({top.get(), bottom.get()}));
    auto e = flippedContext(4, 20);
    g->renderInContext(e);
    EXPECT_GT(pixelAt(e, 1, 1).a, pixelAt(e, 1, 18).a);
    EXPECT_NEAR(pixelAt(e, 1, 0).a, 125, 6);
}

TEST(CAAnimation, AddedAnimationsStopAfterTheirDurationOrWhenRemoved) {
    ManualClockScope clock;
    auto layer = CALayer::layer();
    auto listener = make<Listener>();
    auto fade = CABasicAnimation::animationWithKeyPath(NS("contents"));
    fade->setDuration(0.75);
    fade->setDelegate(listener);
    fade->setToValue(NS("next"));
    layer->addAnimation(fade, NS("animateContents"));
    EXPECT_EQ(listener->started, 1);
    auto kept = as<CABasicAnimation>(layer->animationForKey(NS("animateContents")));
    ASSERT_TRUE(kept);
    EXPECT_NE(kept.get(), fade.get());  // a copy is kept
    EXPECT_TRUE(kept->toValue()->isEqual(NS("next")));
    advanceRunLoop(0.5);
    EXPECT_EQ(listener->stopped, 0);
    advanceRunLoop(0.3);
    EXPECT_EQ(listener->stopped, 1);
    EXPECT_TRUE(listener->lastFinished);
    EXPECT_FALSE(layer->animationForKey(NS("animateContents")));

    auto t = CATransition::animation();
    EXPECT_TRUE(t->type()->isEqualToString(kCATransitionFade));
    t->setType(kCATransitionPush);
    t->setSubtype(kCATransitionFromRight);
    t->setDelegate(listener);
    layer->addAnimation(t, nullptr);
    layer->removeAllAnimations();
    EXPECT_EQ(listener->stopped, 2);
    EXPECT_FALSE(listener->lastFinished);
    advanceRunLoop(1);
    EXPECT_EQ(listener->stopped, 2);  // the cancelled stop never comes
}

TEST(CATransaction, SettingsNestAndTheCompletionRunsAtCommit) {
    int done = 0;
    CATransaction::begin();
    CATransaction::setDisableActions(true);
    CATransaction::setCompletionBlock([&] { ++done; });
    CATransaction::begin();
    EXPECT_TRUE(CATransaction::disableActions());
    CATransaction::commit();
    EXPECT_EQ(done, 0);
    CATransaction::commit();
    EXPECT_EQ(done, 1);
    EXPECT_FALSE(CATransaction::disableActions());
}
