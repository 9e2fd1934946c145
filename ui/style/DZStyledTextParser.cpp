#include "ui/style/DZStyledTextParser.h"

#include <map>
#include <string>
#include "UIKit/UIImage.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSCharacterSet.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "ui/style/DZStyledNode.h"

void DZStyledTextParser::describeClass(RuntimeClass& c) {
    c.implements({"parser:didStartElement:namespaceURI:qualifiedName:attributes:",
                  "parser:didEndElement:namespaceURI:qualifiedName:", "parser:foundCharacters:",
                  "parser:resolveExternalEntityName:systemID:"});
}

// ---- building ---------------------------------------------------------------------------------

void DZStyledTextParser::addNode(DZStyledNode* node) {
    if (!rootNode_) {
        rootNode_ = node;
        lastNode_ = node;
        return;
    }
    if (auto top = topElement_.lock()) {
        top->addChild(node);
        return;
    }
    if (auto last = lastNode_.lock()) last->setNextSibling(node);
    lastNode_ = node;
}

void DZStyledTextParser::pushNode(DZStyledElement* element) {
    addNode(element);
    stack_.push_back(Ref<DZStyledElement>(element));
    topElement_ = element;
}

void DZStyledTextParser::popNode() {
    if (!stack_.empty()) stack_.pop_back();
    topElement_ = stack_.empty() ? nullptr : stack_.back().get();
}

void DZStyledTextParser::flushCharacters() {
    if (chars_ && chars_->length() > 0) parseText(chars_);
    chars_ = nullptr;
}

// ---- markup -----------------------------------------------------------------------------------

void DZStyledTextParser::parseXHTML(NSString* html) {
    // UTF-8 whatever the string holds, so text beyond ASCII reaches the parser intact.
    auto wrapped = NSString::stringWithFormat(NS("<x>%@</x>"), html);
    auto data = wrapped->dataUsingEncoding(NSUTF8StringEncoding, true);
    if (!data) return;
    auto parser = make<NSXMLParser>(&NSXMLParser::initWithData, data.get());
    parser->setDelegate(this);
    parser->parse();
}

namespace {

Ref<NSString> attribute(NSDictionary* attributes, NSString* name) {
    return attributes ? as<NSString>(attributes->objectForKey(name)) : nullptr;
}

}  // namespace

void DZStyledTextParser::parserDidStartElement(NSXMLParser*, NSString* elementName, NSString*,
                                               NSString*, NSDictionary* attributes) {
    flushCharacters();
    auto tag = elementName->lowercaseString();
    Ref<DZStyledElement> element;
    if (tag->isEqualToString(NS("span"))) {
        element = make<DZStyledInline>();
        element->setClassName(attribute(attributes, NS("class")));
    } else if (tag->isEqualToString(NS("br"))) {
        element = make<DZStyledLineBreakNode>();
        element->setClassName(attribute(attributes, NS("class")));
    } else if (tag->isEqualToString(NS("div")) || tag->isEqualToString(NS("p"))) {
        element = make<DZStyledBlock>();
        element->setClassName(attribute(attributes, NS("class")));
    } else if (tag->isEqualToString(NS("b"))) {
        element = make<DZStyledBoldNode>();
    } else if (tag->isEqualToString(NS("i"))) {
        element = make<DZStyledItalicNode>();
    } else if (tag->isEqualToString(NS("a"))) {
        auto link = make<DZStyledLinkNode>();
        link->setURL(attribute(attributes, NS("href")));
        element = link;
    } else if (tag->isEqualToString(NS("button"))) {
        auto button = make<DZStyledButtonNode>();
        button->setURL(attribute(attributes, NS("href")));
        element = button;
    } else if (tag->isEqualToString(NS("img"))) {
        auto image = make<DZStyledImageNode>();
        image->setClassName(attribute(attributes, NS("class")));
        image->setURL(attribute(attributes, NS("src")));
        if (auto width = attribute(attributes, NS("width"))) image->setWidth(width->floatValue());
        if (auto height = attribute(attributes, NS("height")))
            image->setHeight(height->floatValue());
        element = image;
    }
    if (element) pushNode(element);
}

void DZStyledTextParser::parserDidEndElement(NSXMLParser*, NSString*, NSString*, NSString*) {
    flushCharacters();
    popNode();
}

void DZStyledTextParser::parserFoundCharacters(NSXMLParser*, NSString* string) {
    if (!chars_)
        chars_ = NSMutableString::stringWithString(string);
    else
        chars_->appendString(string);
}

Ref<NSData> DZStyledTextParser::parserResolveExternalEntityName(NSXMLParser*, NSString* name,
                                                                NSString*) {
    // One byte each; "nbsp" reads as a plain space. Any other name stands for nothing, so the
    // reference vanishes and the parse goes on.
    static const std::map<std::string, char> kEntities = {
        {"nbsp", ' '}, {"amp", '&'}, {"quot", '"'}, {"lt", '<'}, {"gt", '>'}};
    auto found = name ? kEntities.find(name->utf8()) : kEntities.end();
    if (found == kEntities.end()) return NSData::data();
    return NSData::dataWithBytes(&found->second, 1);
}

// ---- plain text -------------------------------------------------------------------------------

void DZStyledTextParser::parseText(NSString* text) {
    if (parseLineBreaks_) {
        auto pieces =
            text->componentsSeparatedByCharactersInSet(NSCharacterSet::newlineCharacterSet());
        NSUInteger count = pieces->count();
        for (NSUInteger i = 0; i < count; ++i) {
            parseURLs(cast<NSString>(pieces->objectAtIndex(i)));
            if (i + 1 < count) addNode(make<DZStyledLineBreakNode>());
        }
    } else if (parseURLs_) {
        parseURLs(text);
    } else {
        addNode(DZStyledTextNode::nodeWithText(text));
    }
}

void DZStyledTextParser::parseURLs(NSString* text) {
    NSUInteger length = text->length();
    NSUInteger i = 0;
    auto addText = [&](NSRange range) {
        addNode(DZStyledTextNode::nodeWithText(text->substringWithRange(range).get()));
    };
    auto addLink = [&](NSRange range) {
        auto address = text->substringWithRange(range);
        auto link = alloc<DZStyledLinkNode>();
        link->initWithText(address, address, nullptr);
        addNode(link);
    };
    while (i < length) {
        NSRange start =
            text->rangeOfString(NS("http://"), NSCaseInsensitiveSearch, NSMakeRange(i, length - i));
        if (start.location == NSNotFound) {
            addText(NSMakeRange(i, length - i));
            return;
        }
        NSUInteger s = start.location;
        if (s > i) addText(NSMakeRange(i, s - i));
        // Only a plain space ends an address.
        NSRange space = text->rangeOfString(NS(" "), NSLiteralSearch, NSMakeRange(s, length - s));
        if (space.location == NSNotFound) {
            addLink(NSMakeRange(s, length - s));
            return;
        }
        addLink(NSMakeRange(s, space.location - s));
        i = space.location;
    }
}
