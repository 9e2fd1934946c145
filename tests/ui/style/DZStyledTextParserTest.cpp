// The styled node tree and the parser that builds it from markup or plain text.
#include <gtest/gtest.h>

#include <string>

#include "Foundation/NSString.h"
#include "UIKit/UIImage.h"
#include "ui/core/DZURLCache.h"
#include "ui/style/DZStyledTextParser.h"
#include "ui/style/StyledTextTesting.h"

namespace {

Ref<NSString> s(const char* text) {
    return NSString::fromUTF8(text);
}

Ref<DZStyledTextNode> textNode(const char* text) {
    return DZStyledTextNode::nodeWithText(s(text));
}

// ---- nodes --------------------------------------------------------------------------------------

TEST(StyledNodes, EveryElementPrintsAsADivAndTextJoinsWithNothingBetween) {
    auto block = make<DZStyledBlock>();
    block->addText(NS("Go to "));
    auto link = alloc<DZStyledLinkNode>();
    link->initWithText(NS("the site"), NS("http://a.test/"), nullptr);
    block->addChild(link);
    EXPECT_EQ(block->outerHTML()->utf8(), "<div>Go to <div>the site</div></div>");
    EXPECT_EQ(block->outerText()->utf8(), "Go to the site");
    // The markup goes on with the siblings after the node; the text does not.
    block->setNextSibling(textNode(" after"));
    EXPECT_EQ(block->outerHTML()->utf8(), "<div>Go to <div>the site</div></div> after");
    EXPECT_EQ(block->outerText()->utf8(), "Go to the site");
    EXPECT_EQ(make<DZStyledBlock>()->outerHTML()->utf8(), "<div/>");
    EXPECT_EQ(make<DZStyledElement>()->outerText()->utf8(), "");

    auto image = make<DZStyledImageNode>(&DZStyledImageNode::initWithURL, NS("bundle://x.png"));
    EXPECT_EQ(image->outerHTML()->utf8(), "<img src=\"bundle://x.png\"/>");
    EXPECT_EQ(image->description()->utf8(), "(bundle://x.png)");
    EXPECT_EQ(link->description()->utf8(), "<the site>");
    auto bold = alloc<DZStyledBoldNode>();
    bold->initWithText(NS("b"), nullptr);
    auto italic = alloc<DZStyledItalicNode>();
    italic->initWithText(NS("i"), nullptr);
    EXPECT_EQ(bold->description()->utf8(), "*b*");
    EXPECT_EQ(italic->description()->utf8(), "/i/");
}

TEST(StyledNodes, ChildrenKnowTheirParentAndAncestors) {
    auto block = make<DZStyledBlock>();
    auto bold = make<DZStyledBoldNode>();
    block->addChild(bold);
    bold->addText(NS("deep"));
    auto text = bold->firstChild();
    EXPECT_EQ(text->parentNode().get(), bold.get());
    EXPECT_EQ(text->ancestorOrSelfWithClass(DZStyledBlock::staticClass()).get(), block.get());
    EXPECT_EQ(text->ancestorOrSelfWithClass(DZStyledTextNode::staticClass()).get(), text.get());
    EXPECT_FALSE(text->ancestorOrSelfWithClass(DZStyledLinkNode::staticClass()));
    // A chain added at once: its last node becomes the last child.
    auto first = textNode("1");
    first->setNextSibling(textNode("2"));
    block->addChild(first);
    EXPECT_EQ(block->lastChild()->outerText()->utf8(), "2");
    EXPECT_EQ(first->parentNode().get(), block.get());
}

TEST(StyledNodes, ReplacingChildrenKeepsTheListWhole) {
    auto make3 = [] {
        auto e = make<DZStyledElement>();
        e->addText(NS("a"));
        e->addText(NS("b"));
        e->addText(NS("c"));
        return e;
    };
    // The last child with nil: its predecessor becomes the last child.
    auto e = make3();
    e->replaceChild(e->lastChild(), nullptr);
    EXPECT_EQ(treeOf(e->firstChild()), "'a' 'b'");
    EXPECT_EQ(e->lastChild()->outerText()->utf8(), "b");
    e->addText(NS("d"));
    EXPECT_EQ(treeOf(e->firstChild()), "'a' 'b' 'd'");

    // The first child with nil: the next one moves up and the rest stays.
    e = make3();
    e->replaceChild(e->firstChild(), nullptr);
    EXPECT_EQ(treeOf(e->firstChild()), "'b' 'c'");

    // The first child with another node: it takes the old one's place and siblings.
    e = make3();
    auto old = e->firstChild();
    e->replaceChild(old, textNode("x"));
    EXPECT_EQ(treeOf(e->firstChild()), "'x' 'b' 'c'");
    EXPECT_FALSE(old->nextSibling());
    EXPECT_EQ(e->firstChild()->parentNode().get(), e.get());

    // A middle one, and the last one with a node (which becomes the last child).
    e = make3();
    e->replaceChild(e->firstChild()->nextSibling(), textNode("y"));
    EXPECT_EQ(treeOf(e->firstChild()), "'a' 'y' 'c'");
    e->replaceChild(e->lastChild(), textNode("z"));
    EXPECT_EQ(e->lastChild()->outerText()->utf8(), "z");
    // A node that is no child changes nothing.
    e->replaceChild(textNode("stranger"), textNode("w"));
    EXPECT_EQ(treeOf(e->firstChild()), "'a' 'y' 'z'");
}

TEST(StyledNodes, ElementsAreFoundByClassDepthFirst) {
    auto text =
        markup("<span class=\"a\">1<span class=\"b\">2</span></span><div class=\"b\">3</div>");
    ASSERT_TRUE(text);
    auto found = text->getElementByClassName(NS("b"));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->outerText()->utf8(), "2");
    EXPECT_FALSE(text->getElementByClassName(NS("c")));
}

TEST(StyledNodes, AnImageAlreadyInTheMemoryCacheIsThereAtOnce) {
    auto cache = DZURLCache::sharedCache();
    auto picture = UIImage::imageWithSize(CGSizeMake(3, 4), 1);
    cache->storeImage(picture, NS("http://img.test/in-memory.png"));
    auto node = make<DZStyledImageNode>(&DZStyledImageNode::initWithURL,
                                        NS("http://img.test/in-memory.png"));
    EXPECT_EQ(node->image().get(), picture.get());
    // The same URL again keeps what the node has; another one takes the cache's answer.
    auto other = UIImage::imageWithSize(CGSizeMake(1, 1), 1);
    node->setImage(other);
    node->setURL(NS("http://img.test/in-memory.png"));
    EXPECT_EQ(node->image().get(), other.get());
    node->setURL(NS("http://img.test/not-cached.png"));
    EXPECT_FALSE(node->image());
    cache->removeAll(false);
}

TEST(StyledNodes, LongSiblingChainsAreWalkedAndFreedWithoutDeepRecursion) {
    // Far more links than a stack of nested calls would survive.
    constexpr int kCount = 300000;
    Weak<DZStyledNode> firstSeen, lastSeen;
    {
        auto block = make<DZStyledBlock>();
        Ref<DZStyledNode> head;
        for (int i = 0; i < kCount; ++i) {
            auto link = alloc<DZStyledLinkNode>();
            link->initWithText(NS("x"), NS("http://a.test/"), head);
            head = link;
        }
        block->addChild(head);
        firstSeen = head.get();
        lastSeen = block->lastChild().get();
        EXPECT_EQ(block->outerText()->length(), NSUInteger(kCount));
        EXPECT_EQ(head->outerHTML()->length(), NSUInteger(kCount) * 12);
    }
    EXPECT_FALSE(firstSeen.lock());
    EXPECT_FALSE(lastSeen.lock());
}

// ---- markup -------------------------------------------------------------------------------------

TEST(StyledMarkup, TagsBuildTheirNodes) {
    EXPECT_EQ(treeOf(markup("Hello <b>bold</b> world")), "'Hello ' b['bold'] ' world'");
    EXPECT_EQ(treeOf(markup("<I>it</I><SPAN class=\"c\">s</SPAN>")), "i['it'] span.c['s']");
    EXPECT_EQ(treeOf(markup("<p class=\"p\">one</p><div>two<br/>three</div>")),
              "block.p['one'] block['two' br[] 'three']");
    EXPECT_EQ(treeOf(markup("<a href=\"http://a.test/x\">go</a> <button href=\"/b\">b</button>")),
              "a(http://a.test/x)['go'] ' ' button(/b)['b']");
    auto text = markup("<img src=\"bundle://p.png\" width=\"20\" height=\"10.5\" class=\"pic\"/>");
    ASSERT_TRUE(text);
    auto image = as<DZStyledImageNode>(text->rootNode());
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width(), 20);
    EXPECT_EQ(image->height(), 10.5f);
    EXPECT_EQ(image->className()->utf8(), "pic");
    EXPECT_EQ(treeOf(text), "img(bundle://p.png).pic[]");
    // Unknown tags push nothing; their text still counts.
    EXPECT_EQ(treeOf(markup("<u>under</u>lined")), "'under' 'lined'");
}

TEST(StyledMarkup, EntitiesResolveAndUnknownOnesVanish) {
    EXPECT_EQ(treeOf(markup("cats &amp; dogs")), "'cats & dogs'");
    EXPECT_EQ(treeOf(markup("a&nbsp;b")), "'a b'");
    EXPECT_EQ(treeOf(markup("&lt;&quot;&gt;")), "'<\">'");
    // An entity of no meaning is dropped and the parse goes on.
    EXPECT_EQ(treeOf(markup("x&bogus;y <b>z</b>")), "'xy ' b['z']");
}

TEST(StyledMarkup, AnUnknownEndTagClosesTheInnermostKnownElement) {
    EXPECT_EQ(treeOf(markup("<a href=\"h\">in <u>u</u> after</a> end")),
              "a(h)['in ' 'u'] ' after' ' end'");
}

TEST(StyledMarkup, CharacterDataInPiecesBecomesOneTextNode) {
    // The entity splits the character data; it still makes one node up to the next tag.
    EXPECT_EQ(treeOf(markup("one &amp; two &amp; three<b>x</b>")), "'one & two & three' b['x']");
}

TEST(StyledMarkup, TextBeyondAsciiSurvives) {
    auto text = markup(
        "Gr\xC3\xBC\xC3\x9F"
        "e <b>\xE2\x82\xAC"
        "5</b> \xF0\x9F\x9A\xB2");
    EXPECT_EQ(treeOf(text),
              "'Gr\xC3\xBC\xC3\x9F"
              "e ' b['\xE2\x82\xAC"
              "5'] ' \xF0\x9F\x9A\xB2'");
}

TEST(StyledMarkup, BadMarkupKeepsWhatCameBeforeAndEmptyInputGivesNoText) {
    EXPECT_EQ(treeOf(markup("good <b>bold</b> then <i>broken")), "'good ' b['bold'] ' then ' i[]");
    EXPECT_FALSE(markup(""));
    EXPECT_FALSE(markup("<u>"));
    EXPECT_FALSE(DZStyledText::textFromXHTML(nullptr));
}

TEST(StyledMarkup, AddressesInMarkupTextBecomeLinksOnlyWhenAsked) {
    EXPECT_EQ(treeOf(markup("see http://a.test/x now")),
              "'see ' a(http://a.test/x)['http://a.test/x'] ' now'");
    auto plain = DZStyledText::textFromXHTML(NS("see http://a.test/x now"), false, false);
    EXPECT_EQ(treeOf(plain), "'see http://a.test/x now'");
    auto breaks = DZStyledText::textFromXHTML(NS("a\nb"), true, false);
    EXPECT_EQ(treeOf(breaks), "'a' br[] 'b'");
}

// ---- plain text ---------------------------------------------------------------------------------

TEST(StyledPlainText, OnlyHttpAddressesEndedByASpaceBecomeLinks) {
    EXPECT_EQ(treeOf(DZStyledText::textWithURLs(NS("Visit HTTP://A.test/p, or not"))),
              "'Visit ' a(HTTP://A.test/p,)['HTTP://A.test/p,'] ' or not'");
    // Tabs do not end an address; other schemes are plain text.
    EXPECT_EQ(treeOf(DZStyledText::textWithURLs(NS("http://a.test/\tx https://b.test/"))),
              "a(http://a.test/\tx)['http://a.test/\tx'] ' https://b.test/'");
    EXPECT_EQ(treeOf(DZStyledText::textWithURLs(NS("http://a.test/"))),
              "a(http://a.test/)['http://a.test/']");
    // Markup in plain text is text.
    EXPECT_EQ(treeOf(DZStyledText::textWithURLs(NS("<b>x</b>"))), "'<b>x</b>'");
    EXPECT_FALSE(DZStyledText::textWithURLs(NS("")));
}

TEST(StyledPlainText, NewlinesBecomeLineBreaksWhenAsked) {
    EXPECT_EQ(treeOf(DZStyledText::textWithURLs(NS("one\ntwo"), true)), "'one' br[] 'two'");
    EXPECT_EQ(treeOf(DZStyledText::textWithURLs(NS("one\ntwo"), false)), "'one\ntwo'");
    // Empty pieces add nothing but their break; addresses are found in every piece.
    EXPECT_EQ(treeOf(DZStyledText::textWithURLs(NS("\nhttp://a.test/\n"), true)),
              "br[] a(http://a.test/)['http://a.test/'] br[]");
}

TEST(StyledPlainText, TheParserAddsTopLevelNodesAsSiblings) {
    auto parser = make<DZStyledTextParser>();
    EXPECT_FALSE(parser->parseLineBreaks());
    EXPECT_FALSE(parser->parseURLs());
    parser->parseText(NS("plain http://a.test/"));
    EXPECT_EQ(treeOf(parser->rootNode()), "'plain http://a.test/'");
    parser->pushNode(make<DZStyledBoldNode>());
    parser->parseText(NS("in"));
    parser->popNode();
    parser->parseText(NS("out"));
    EXPECT_EQ(treeOf(parser->rootNode()), "'plain http://a.test/' b['in'] 'out'");
    // A pop with nothing open does nothing.
    parser->popNode();
    parser->parseText(NS("!"));
    EXPECT_EQ(treeOf(parser->rootNode()), "'plain http://a.test/' b['in'] 'out' '!'");
}

}  // namespace
