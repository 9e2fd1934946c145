#include <gtest/gtest.h>

#include "CoreGraphics/CGBitmapContext.h"
#include "CoreGraphics/CGColorSpace.h"
#include "CoreGraphics/CGContext.h"
#include "CoreGraphics/CGGradient.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIDevice.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIImage.h"
#include "ui/core/DZShape.h"
#include "ui/style/DZFillStyles.h"
#include "ui/style/DZFrameStyles.h"
#include "ui/style/DZTextStyle.h"
#include "ui/style/StyleTesting.h"

namespace {

Ref<UIColor> red() {
    return UIColor::redColor();
}
Ref<UIColor> blue() {
    return UIColor::blueColor();
}

// ---- the chain ----------------------------------------------------------------------------

TEST(DZStyleChain, LinksPartsAndSearches) {
    auto a = make<DZStyle>();
    auto b = make<FrameProbe>();
    auto c = make<DZStyle>();
    EXPECT_EQ(a->next(b).get(), a.get());
    b->next(c);
    auto d = make<FrameProbe>();
    a->addStyle(d);
    EXPECT_EQ(c->next().get(), d.get());
    EXPECT_EQ(a->firstStyleOfClass<FrameProbe>().get(), b.get());
    EXPECT_EQ(b->firstStyleOfClass<FrameProbe>().get(), b.get());
    EXPECT_EQ(c->firstStyleOfClass<FrameProbe>().get(), d.get());
    EXPECT_EQ(d->firstStyleOfClass<DZTextStyle>().get(), nullptr);

    auto inner = make<DZStyle>();
    auto far = DZPartStyle::styleWithName(NS("image"), make<DZStyle>(), nullptr);
    auto near = DZPartStyle::styleWithName(NS("image"), inner, far);
    auto head = make<DZStyle>(&DZStyle::initWithNext, near.get());
    EXPECT_EQ(head->styleForPart(NS("image")).get(), near.get());
    EXPECT_EQ(head->styleForPart(NS("title")).get(), nullptr);
    EXPECT_EQ(near->style().get(), inner.get());
}

TEST(DZStyleChain, BaseStepsDrawAndAddNothing) {
    auto chain = make<DZStyle>(&DZStyle::initWithNext, make<DZStyle>().get());
    Ref<DZStyleContext> context;
    drawChain(chain, CGSizeMake(10, 10), nullptr, &context);
    EXPECT_FALSE(context->didDrawContent());
    CGSize s = chain->addToSize(CGSizeMake(7, 9), context);
    EXPECT_EQ(s.width, 7);
    EXPECT_EQ(s.height, 9);
    UIEdgeInsets i = chain->addToInsets(UIEdgeInsetsMake(1, 2, 3, 4), CGSizeMake(5, 5));
    EXPECT_EQ(i.top, 1);
    EXPECT_EQ(i.right, 4);
}

TEST(DZStyleContext, ReadsOneRectangleShapeWhenNoneIsSet) {
    auto context = make<DZStyleContext>();
    auto shape = context->shape();
    EXPECT_TRUE(is<DZRectangleShape>(shape.get()));
    EXPECT_EQ(context->shape().get(), shape.get());
}

TEST(DZStyleChain, GradientStopsFromGreysAndFromUnreadableColours) {
    auto gradient = [](UIColor* first) {
        UIColor* colors[] = {first, UIColor::blackColor().get()};
        auto g = DZStyle::newGradientWithColors(colors, 2);
        return paintedImage(CGSizeMake(10, 10), 1, [&] {
            CGContextDrawLinearGradient(UIGraphicsGetCurrentContext(), g, CGPointMake(0, 0),
                                        CGPointMake(0, 100), 0);
        });
    };
    // A grey gives equal red, green and blue.
    auto grey = gradient(UIColor::colorWithWhite(0.6f, 1));
    RGBA top = pixelAt(grey, 5, 0);
    EXPECT_EQ(top.r, top.g);
    EXPECT_EQ(top.g, top.b);
    EXPECT_NEAR(top.r, 153, 3);
    // A pattern colour or none is a transparent stop.
    auto pattern = UIColor::colorWithPatternImage(UIImage::imageWithSize(CGSizeMake(2, 2), 1));
    EXPECT_LT(pixelAt(gradient(pattern), 5, 0).a, 8);
    EXPECT_LT(pixelAt(gradient(nullptr), 5, 0).a, 8);
}

TEST(DZStyleChain, GradientsAreMadeInTheCurrentContextsColourSpace) {
    auto red = UIColor::redColor();
    auto halfWhite = UIColor::colorWithWhite(1, 0.5f);
    UIColor* colors[] = {red.get(), halfWhite.get()};
    // A grey bitmap takes grey stops: the red's luminance, the white as it is.
    auto grey = CGBitmapContextCreate(nullptr, 4, 4, 8, 4, CGColorSpaceCreateDeviceGray(),
                                      kCGImageAlphaNone);
    ASSERT_TRUE(grey);
    UIGraphicsPushContext(grey);
    auto g = DZStyle::newGradientWithColors(colors, 2);
    UIGraphicsPopContext();
    ASSERT_TRUE(g);
    EXPECT_EQ(g->colorSpace(), CGBitmapContextGetColorSpace(grey));
    ASSERT_EQ(g->stops().size(), 2u);
    EXPECT_NEAR(g->stops()[0].rgba[0], 77.0f / 256, 0.01f);
    EXPECT_EQ(g->stops()[0].rgba[0], g->stops()[0].rgba[2]);
    EXPECT_FLOAT_EQ(g->stops()[0].rgba[3], 1);
    EXPECT_FLOAT_EQ(g->stops()[1].rgba[0], 1);
    EXPECT_FLOAT_EQ(g->stops()[1].rgba[3], 0.5f);
    // An image context is RGB, and so is a gradient made with no context at all.
    UIGraphicsBeginImageContext(CGSizeMake(4, 4));
    auto rgb = DZStyle::newGradientWithColors(colors, 2);
    UIGraphicsEndImageContext();
    EXPECT_EQ(CGColorSpaceGetModel(rgb->colorSpace()), kCGColorSpaceModelRGB);
    EXPECT_FLOAT_EQ(rgb->stops()[0].rgba[0], 1);
    EXPECT_FLOAT_EQ(rgb->stops()[0].rgba[1], 0);
    EXPECT_EQ(CGColorSpaceGetModel(DZStyle::newGradientWithColors(colors, 2)->colorSpace()),
              kCGColorSpaceModelRGB);
}

// ---- shapes -------------------------------------------------------------------------------

// The path the shape operation leaves, over a rectangle at the origin.
template <class F>
CGRect pathBox(F&& build, CGPoint* current = nullptr, bool* empty = nullptr) {
    CGRect box = CGRectNull;
    paintedImage(CGSizeMake(200, 100), 1, [&] {
        auto c = UIGraphicsGetCurrentContext();
        CGContextBeginPath(c);
        build();
        if (empty) *empty = CGContextIsPathEmpty(c);
        if (current && !CGContextIsPathEmpty(c)) *current = CGContextGetPathCurrentPoint(c);
        box = CGContextGetPathBoundingBox(c);
    });
    return box;
}

TEST(DZShape, ArrowsPointsInsetsAndEdges) {
    CGRect r = CGRectMake(0, 0, 60, 30);
    auto left = DZRoundedLeftArrowShape::shapeWithRadius(4.5f);
    EXPECT_EQ(left->insetsForSize(r.size).left, 4);
    EXPECT_EQ(DZRoundedLeftArrowShape::shapeWithRadius(-1)->insetsForSize(r.size).left, 5);
    EXPECT_EQ(DZRoundedLeftArrowShape::shapeWithRadius(4)->insetsForSize(r.size).left, 4);
    UIEdgeInsets right = DZRoundedRightArrowShape::shapeWithRadius(-1)->insetsForSize(r.size);
    EXPECT_EQ(right.right, 5);
    EXPECT_EQ(right.left, 0);

    // The bottom edge stops one unit short of where the left edge begins (p = 10, 2r = 9).
    CGPoint end{};
    pathBox(
        [&] {
            left->openPath(r);
            left->addBottomEdgeToPath(r, 125);
            CGContextRestoreGState(UIGraphicsGetCurrentContext());
        },
        &end);
    EXPECT_EQ(end.x, 18);
    EXPECT_EQ(end.y, 30);

    bool empty = false;
    pathBox([&] { DZRoundedRightArrowShape::shapeWithRadius(4.5f)->addInverseToPath(r); }, nullptr,
            &empty);
    EXPECT_TRUE(empty);
    CGRect inverse = pathBox([&] { left->addInverseToPath(r); }, nullptr, &empty);
    EXPECT_FALSE(empty);
    EXPECT_EQ(inverse.origin.x, -5);
    EXPECT_EQ(inverse.size.width, 70);
}

TEST(DZShape, ArrowPointAndRoundCornersInPixels) {
    auto arrow = DZShapeStyle::styleWithShape(DZRoundedLeftArrowShape::shapeWithRadius(4.5f),
                                              DZSolidFillStyle::styleWithColor(red(), nullptr));
    auto image = drawChain(arrow, CGSizeMake(60, 30));
    EXPECT_TRUE(near(at(image, 1, 15), kRed));  // the point, 10 deep
    EXPECT_TRUE(near(at(image, 1, 3), kClear));
    EXPECT_TRUE(near(at(image, 1, 27), kClear));
    EXPECT_TRUE(near(at(image, 11, 2), kRed));

    auto round = DZShapeStyle::styleWithShape(DZRoundedRectangleShape::shapeWithRadius(-1),
                                              DZSolidFillStyle::styleWithColor(red(), nullptr));
    for (CGFloat width : {40.0f, 200.0f}) {
        auto pill = drawChain(round, CGSizeMake(width, 30));
        // Radius 15 whatever the width: (3, 3) lies outside the corner circle.
        EXPECT_TRUE(near(at(pill, 3, 3), kClear)) << width;
        EXPECT_TRUE(near(at(pill, 15, 1), kRed)) << width;
        EXPECT_TRUE(near(at(pill, width - 3, 27), kClear)) << width;
    }
}

TEST(DZShape, SpeechBubbleBodyAndPointer) {
    auto bubble = DZSpeechBubbleShape::shapeWithRadius(5, 90, 90, CGSizeMake(10, 8));
    CGRect r = CGRectMake(0, 0, 100, 50);
    CGRect body = bubble->subtractPointFromRect(r);
    EXPECT_TRUE(sameRect(body, CGRectMake(0, 8, 100, 42)));
    CGRect box = pathBox([&] { bubble->addToPath(r); });
    // The tip reaches 8 above the body, in the middle of the top edge.
    EXPECT_NEAR(box.origin.x, 0, 1e-3);
    EXPECT_NEAR(box.origin.y, 0, 1e-3);
    EXPECT_NEAR(box.size.width, 100, 1e-3);
    EXPECT_NEAR(box.size.height, 50, 1e-3);
    // Pointers on the sides narrow the body only.
    auto leftSide = DZSpeechBubbleShape::shapeWithRadius(5, 0, 0, CGSizeMake(10, 8));
    EXPECT_TRUE(sameRect(leftSide->subtractPointFromRect(r), CGRectMake(10, 0, 90, 50)));
    auto rightSide = DZSpeechBubbleShape::shapeWithRadius(5, 180, 180, CGSizeMake(10, 8));
    EXPECT_TRUE(sameRect(rightSide->subtractPointFromRect(r), CGRectMake(0, 0, 90, 50)));
    CGRect drawn = pathBox([&] { rightSide->addToPath(r); });
    EXPECT_EQ(drawn.size.width, 90);
    // Out of range: the whole rectangle.
    auto odd = DZSpeechBubbleShape::shapeWithRadius(5, 400, 90, CGSizeMake(10, 8));
    EXPECT_TRUE(sameRect(odd->subtractPointFromRect(r), CGRectMake(0, 0, 100, 50)));
}

TEST(DZShape, RectangleEdgesIgnoreTheLight) {
    auto rect = DZRectangleShape::shape();
    CGRect r = CGRectMake(0, 0, 40, 20);
    for (auto edge : {&DZShape::addTopEdgeToPath, &DZShape::addRightEdgeToPath,
                      &DZShape::addBottomEdgeToPath, &DZShape::addLeftEdgeToPath}) {
        CGPoint a{}, b{};
        CGRect lit = pathBox([&] { ((*rect).*edge)(r, 0); }, &a);
        CGRect shaded = pathBox([&] { ((*rect).*edge)(r, 270); }, &b);
        EXPECT_TRUE(sameRect(lit, shaded));
        EXPECT_TRUE(CGPointEqualToPoint(a, b));
    }
}

// ---- fills and borders --------------------------------------------------------------------

TEST(DZFillBorder, AFillBehindABorderStaysInsideIt) {
    auto probe = make<FrameProbe>();
    auto chain = DZSolidBorderStyle::styleWithColor(
        red(), 2, DZSolidFillStyle::styleWithColor(blue(), probe));
    auto image = drawChain(chain, CGSizeMake(100, 40));
    EXPECT_TRUE(sameRect(probe->frame, CGRectMake(2, 2, 96, 36)));
    EXPECT_TRUE(near(at(image, 0.5f, 20), kRed));
    EXPECT_TRUE(near(at(image, 1.5f, 20), kRed));
    EXPECT_TRUE(near(at(image, 2.5f, 20), kBlue));
    EXPECT_TRUE(near(at(image, 50, 39.5f), kRed));
    EXPECT_TRUE(near(at(image, 50, 20), kBlue));
}

TEST(DZFillBorder, BordersMoveTheFrame) {
    auto probe = make<FrameProbe>();
    drawChain(DZHighlightBorderStyle::styleWithColor(red(), blue(), 1, probe), CGSizeMake(100, 40));
    EXPECT_TRUE(sameRect(probe->frame, CGRectMake(1, 2, 98, 36)));
    drawChain(DZLinearGradientBorderStyle::styleWithColor1(red(), blue(), 3, probe),
              CGSizeMake(100, 40));
    EXPECT_TRUE(sameRect(probe->frame, CGRectMake(3, 3, 94, 34)));
}

TEST(DZFillBorder, ABottomOnlyFourBorder) {
    auto probe = make<FrameProbe>();
    auto chain = DZSolidFillStyle::styleWithColor(
        UIColor::whiteColor(), DZFourBorderStyle::styleWithBottom(red(), 2, probe));
    auto image = drawChain(chain, CGSizeMake(100, 40));
    EXPECT_TRUE(sameRect(probe->frame, CGRectMake(0, 0, 100, 38)));
    EXPECT_TRUE(near(at(image, 50, 39), kRed));
    // The other edges are stroked clear over the white fill.
    EXPECT_TRUE(near(at(image, 50, 0.5f), kWhite));
    EXPECT_TRUE(near(at(image, 0.5f, 20), kWhite));
    EXPECT_TRUE(near(at(image, 99.5f, 20), kWhite));
}

TEST(DZFillBorder, BevelLitAt125) {
    auto probe = make<FrameProbe>();
    auto chain = DZBevelBorderStyle::styleWithHighlight(red(), blue(), 2, 125, probe);
    auto image = drawChain(chain, CGSizeMake(40, 40));
    EXPECT_TRUE(near(at(image, 20, 0.5f), kRed));    // top
    EXPECT_TRUE(near(at(image, 0.5f, 20), kRed));    // left
    EXPECT_TRUE(near(at(image, 39.5f, 20), kBlue));  // right
    EXPECT_TRUE(near(at(image, 20, 39.5f), kBlue));  // bottom
    EXPECT_TRUE(sameRect(probe->frame, CGRectMake(2, 2, 36, 36)));
    // Lit from 270 (below): only the top is shaded; without a highlight the lit edges are
    // clear and take nothing off the frame.
    auto below = drawChain(DZBevelBorderStyle::styleWithHighlight(nullptr, blue(), 2, 270, probe),
                           CGSizeMake(40, 40));
    EXPECT_TRUE(near(at(below, 20, 0.5f), kBlue));
    EXPECT_TRUE(near(at(below, 20, 39.5f), kClear)) << at(below, 20, 39.5f);
    EXPECT_TRUE(sameRect(probe->frame, CGRectMake(0, 2, 40, 38)));
}

TEST(DZFillBorder, ReflectiveFillShowsTheColourAloneBelowTheGloss) {
    auto image =
        drawChain(DZReflectiveFillStyle::styleWithColor(blue(), nullptr), CGSizeMake(40, 40));
    EXPECT_TRUE(near(at(image, 20, 30), kBlue));
    EXPECT_TRUE(near(at(image, 20, 38), kBlue));
    EXPECT_FALSE(near(at(image, 20, 2), kBlue, 20));  // glossed
    auto lit =
        drawChain(DZReflectiveFillStyle::styleWithColor(blue(), true, nullptr), CGSizeMake(40, 40));
    EXPECT_FALSE(near(at(lit, 20, 38), kBlue, 10));
}

TEST(DZFillBorder, GradientFillRunsTopToBottom) {
    auto image = drawChain(DZLinearGradientFillStyle::styleWithColor1(red(), blue(), nullptr),
                           CGSizeMake(20, 100));
    EXPECT_TRUE(near(at(image, 10, 0.25f), kRed, 4));
    EXPECT_TRUE(near(at(image, 10, 99.75f), kBlue, 4));
}

// ---- frame, shadow and content ------------------------------------------------------------

TEST(DZFrameSteps, ShadowInsetsMeasuresAndSide) {
    auto probe = make<FrameProbe>();
    auto shadow = DZShadowStyle::styleWithColor(UIColor::blackColor(), 4, CGSizeMake(0, 2), probe);
    Ref<DZStyleContext> context;
    drawChain(shadow, CGSizeMake(100, 40), nullptr, &context);
    EXPECT_TRUE(sameRect(probe->frame, CGRectMake(2, 0, 96, 32)));
    CGSize s = shadow->addToSize(CGSizeZero, context);
    EXPECT_EQ(s.width, 4);
    EXPECT_EQ(s.height, 8);
    auto up = DZShadowStyle::styleWithColor(UIColor::blackColor(), 4, CGSizeMake(0, -2), probe);
    drawChain(up, CGSizeMake(100, 40));
    EXPECT_EQ(probe->frame.origin.y, 8);
    EXPECT_LT(up->addToSize(CGSizeZero, context).height, s.height);

    // A sharp shadow 4 below the fill.
    auto sharp = DZShadowStyle::styleWithColor(UIColor::blackColor(), 0, CGSizeMake(0, 4),
                                               DZSolidFillStyle::styleWithColor(red(), nullptr));
    auto image = drawChain(sharp, CGSizeMake(40, 40));
    EXPECT_TRUE(near(at(image, 20, 2), kRed));
    EXPECT_TRUE(near(at(image, 20, 38), kBlack));

    // Systems before 3.2 turned the context's vertical offset the other way: the same step casts
    // its shadow up, behind the fill, and the space left below it stays clear.
    UIDevice::currentDevice()->setSystemVersion(NS("3.1"));
    auto old = drawChain(sharp, CGSizeMake(40, 40));
    UIDevice::currentDevice()->setSystemVersion(nullptr);
    EXPECT_TRUE(near(at(old, 20, 2), kRed));
    EXPECT_FALSE(near(at(old, 20, 38), kBlack));
}

TEST(DZFrameSteps, ShapeInsetAndBoxMoveFramesAndMeasure) {
    auto probe = make<FrameProbe>();
    auto chain = DZInsetStyle::styleWithInset(
        UIEdgeInsetsMake(1, 2, 3, 4),
        DZShapeStyle::styleWithShape(
            DZRoundedLeftArrowShape::shapeWithRadius(-1),
            DZBoxStyle::styleWithPadding(UIEdgeInsetsMake(5, 6, 7, 8), probe)));
    Ref<DZStyleContext> context;
    drawChain(chain, CGSizeMake(100, 34), nullptr, &context);
    EXPECT_TRUE(sameRect(probe->frame, CGRectMake(2, 1, 94, 30)));
    // The arrow's inset (5 for height 30) and the padding come off the content frame.
    EXPECT_TRUE(sameRect(probe->contentFrame, CGRectMake(11, 5, 100 - 11 - 8, 34 - 12)));
    EXPECT_TRUE(is<DZRoundedLeftArrowShape>(context->shape().get()));
    // The shape measures after the rest of the chain grew the size.
    auto shapeOnly =
        DZShapeStyle::styleWithShape(DZRoundedLeftArrowShape::shapeWithRadius(-1), nullptr);
    CGSize s = shapeOnly->addToSize(CGSizeMake(10, 30), context);
    EXPECT_EQ(s.width, 15);
    CGSize grown = DZShapeStyle::styleWithShape(
                       DZRoundedLeftArrowShape::shapeWithRadius(-1),
                       DZBoxStyle::styleWithPadding(UIEdgeInsetsMake(0, 0, 30, 0), nullptr))
                       ->addToSize(CGSizeMake(10, 0), context);
    EXPECT_EQ(grown.width, 15);
    UIEdgeInsets insets = chain->addToInsets(UIEdgeInsetsZero, CGSizeMake(10, 30));
    EXPECT_EQ(insets.left, 2 + 5);
    EXPECT_EQ(insets.top, 1);
}

TEST(DZFrameSteps, BlendSourceAtopDarkensOnlyTheImage) {
    auto redSquare = paintedImage(CGSizeMake(10, 10), 2,
                                  [] { fill(UIColor::redColor(), CGRectMake(0, 0, 10, 10)); });
    auto chain = DZImageStyle::styleWithImage(redSquare, nullptr, UIViewContentModeCenter,
                                              CGSizeZero, nullptr);
    chain->addStyle(DZBlendStyle::styleWithBlend(
        kCGBlendModeSourceAtop,
        DZSolidFillStyle::styleWithColor(UIColor::colorWithWhite(0, 0.5f), nullptr)));
    auto image = drawChain(chain, CGSizeMake(40, 40));
    EXPECT_TRUE(near(at(image, 20, 20), RGBA{128, 0, 0, 255}, 3));
    EXPECT_TRUE(near(at(image, 5, 5), kClear));
    // Mode 0 only passes on: the fill lands everywhere.
    auto plain = DZBlendStyle::styleWithBlend(0, DZSolidFillStyle::styleWithColor(red(), nullptr));
    EXPECT_TRUE(near(at(drawChain(plain, CGSizeMake(10, 10)), 5, 5), kRed));
}

TEST(DZFrameSteps, MaskLetsThroughWhereItsImageIs) {
    auto mask = paintedImage(CGSizeMake(40, 40), 1,
                             [] { fill(UIColor::blackColor(), CGRectMake(0, 0, 20, 20)); });
    auto chain = DZMaskStyle::styleWithMask(mask, DZSolidFillStyle::styleWithColor(red(), nullptr));
    auto image = drawChain(chain, CGSizeMake(40, 40));
    EXPECT_TRUE(near(at(image, 10, 10), kRed));
    EXPECT_TRUE(near(at(image, 30, 10), kClear));
    EXPECT_TRUE(near(at(image, 10, 30), kClear));
}

TEST(DZFrameSteps, ContentAndImageSteps) {
    auto host = make<StyleHost>();
    Ref<DZStyleContext> context;
    drawChain(DZContentStyle::styleWithNext(nullptr), CGSizeMake(10, 10), host, &context);
    EXPECT_EQ(host->drawn, 1);
    EXPECT_TRUE(context->didDrawContent());
    // Without a delegate that draws, nothing is marked drawn.
    drawChain(DZContentStyle::styleWithNext(nullptr), CGSizeMake(10, 10), nullptr, &context);
    EXPECT_FALSE(context->didDrawContent());

    // A fixed size adds exactly that; otherwise the image's size in the redraw modes and up.
    auto fixed = DZImageStyle::styleWithImageURL(nullptr, nullptr, UIViewContentModeCenter,
                                                 CGSizeMake(20, 20), nullptr);
    host->image = UIImage::imageWithSize(CGSizeMake(7, 5), 1);
    context->setDelegate(host);
    CGSize s = fixed->addToSize(CGSizeMake(1, 1), context);
    EXPECT_EQ(s.width, 21);
    EXPECT_EQ(s.height, 21);
    auto centred = DZImageStyle::styleWithImageURL(nullptr, nullptr, UIViewContentModeCenter,
                                                   CGSizeZero, nullptr);
    EXPECT_EQ(centred->addToSize(CGSizeZero, context).width, 7);
    auto filled = DZImageStyle::styleWithImageURL(NS("bundle://none.png"), nullptr);
    EXPECT_EQ(filled->addToSize(CGSizeZero, context).width, 0);
    // A URL the cache does not have draws nothing and still draws the rest of the chain.
    auto probe = make<FrameProbe>();
    auto missing = DZImageStyle::styleWithImageURL(NS("http://images.test/none.png"), probe);
    missing->setImage(nullptr);
    drawChain(missing, CGSizeMake(10, 10));
    EXPECT_EQ(probe->frame.size.width, 10);
}

// ---- text ---------------------------------------------------------------------------------

class TextSteps : public testing::Test {
protected:
    void SetUp() override { UITextPainterInstall(painter); }
    void TearDown() override { UITextPainterInstall(nullptr); }
    std::shared_ptr<RecordingTextPainter> painter = std::make_shared<RecordingTextPainter>();
};

TEST_F(TextSteps, CentresOneLineAndLeavesWhereItWent) {
    auto host = make<StyleHost>();
    host->text = NS("Post");
    auto font = UIFont::boldSystemFontOfSize(12);  // 6 a character, 15 a line
    auto text = DZTextStyle::styleWithFont(font, nullptr);
    auto context = make<DZStyleContext>();
    context->setDelegate(host);
    context->setFrame(CGRectMake(0, 0, 120, 50));
    context->setContentFrame(CGRectMake(10, 20, 100, 30));
    paintedImage(CGSizeMake(120, 50), 2, [&] { text->draw(context); });
    ASSERT_EQ(painter->calls.size(), 1u);
    EXPECT_EQ(painter->calls[0].text, u"Post");
    EXPECT_EQ(painter->calls[0].rect.origin.x, 10 + 38);
    EXPECT_EQ(painter->calls[0].rect.origin.y, 20 + 8);
    EXPECT_TRUE(context->didDrawContent());
    // One line: the placed rectangle relative to the old content frame.
    EXPECT_TRUE(sameRect(context->contentFrame(), CGRectMake(38, 8, 24, 15)));
    EXPECT_EQ(host->drawn, 0);
}

TEST_F(TextSteps, AlignmentsAndLines) {
    auto font = UIFont::boldSystemFontOfSize(12);
    auto left =
        DZTextStyle::styleWithFont(font, nullptr, 0, nullptr, CGSizeZero, UITextAlignmentLeft, 1,
                                   UILineBreakModeTailTruncation, 1, nullptr);
    EXPECT_TRUE(sameRect(left->rectForText(NS("Post"), CGSizeMake(80, 40), font),
                         CGRectMake(0, 0, 80, 40)));
    auto right = DZTextStyle::styleWithFont(font, nullptr, UITextAlignmentRight, nullptr);
    EXPECT_EQ(right->rectForText(NS("A very long title"), CGSizeMake(30, 20), font).origin.x, 0);
    EXPECT_EQ(right->rectForText(NS("Post"), CGSizeMake(30, 20), font).origin.x, 6);
    auto two =
        DZTextStyle::styleWithFont(font, nullptr, 0, nullptr, CGSizeZero, UITextAlignmentCenter, 0,
                                   UILineBreakModeWordWrap, 2, nullptr);
    CGSize s = two->sizeOfText(NS("one two three four five six seven"), font, CGSizeMake(40, 1000));
    EXPECT_LE(s.height, 2 * 15);
    EXPECT_GT(s.height, 15);
}

// The first row (scale 2 pixels) holding a pixel the test accepts, -1 when none.
template <class F>
int firstRow(UIImage* image, F&& accept) {
    auto px = UIImagePixelsOf(image->CGImage());
    for (size_t y = 0; y < px.height; ++y)
        for (size_t x = 0; x < px.width; ++x)
            if (accept(pixelAt(px, int(x), int(y)))) return int(y);
    return -1;
}

TEST(TextShadow, APositiveHeightCastsTheShadowUpwards) {
    auto host = make<StyleHost>();
    host->text = NS("HHHH");
    auto font = UIFont::boldSystemFontOfSize(16);
    auto plain = DZTextStyle::styleWithFont(font, UIColor::blackColor(), nullptr);
    auto shadowed =
        DZTextStyle::styleWithFont(font, UIColor::blackColor(), red(), CGSizeMake(0, 5), nullptr);
    auto isInk = [](RGBA c) { return c.a > 128 && c.r < 60; };
    auto isShadow = [](RGBA c) { return c.a > 128 && c.r > 200 && c.g < 60; };
    int textTop = firstRow(drawChain(plain, CGSizeMake(80, 40), host), isInk);
    ASSERT_GE(textTop, 0);
    int shadowTop = firstRow(drawChain(shadowed, CGSizeMake(80, 40), host), isShadow);
    ASSERT_GE(shadowTop, 0);
    // Set as (0, -5): five points (ten pixels) above the text.
    EXPECT_NEAR(shadowTop, textTop - 10, 1);
}

TEST_F(TextSteps, ShadowOffsetIsTurnedAndNilTextFallsToTheDelegate) {
    auto host = make<StyleHost>();
    host->text = NS("x");
    auto shadow = DZTextStyle::styleWithFont(nullptr, nullptr, UIColor::blackColor(),
                                             CGSizeMake(0, 1), nullptr);
    // The text is drawn in black with its shadow: a sharp copy one point higher.
    Ref<DZStyleContext> context;
    drawChain(shadow, CGSizeMake(40, 20), host, &context);
    EXPECT_TRUE(context->didDrawContent());
    host->text = nullptr;
    drawChain(shadow, CGSizeMake(40, 20), host, &context);
    EXPECT_EQ(host->drawn, 1);
    EXPECT_TRUE(context->didDrawContent());
    EXPECT_EQ(painter->calls.size(), 1u);
}

}  // namespace
