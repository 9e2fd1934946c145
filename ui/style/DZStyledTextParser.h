// Builds a styled node tree from markup (a small subset of XHTML, read by the platform's XML
// parser) or from plain text in which "http://" addresses become links. Main thread.
#pragma once

#include <vector>

#include "Foundation/NSObject.h"
#include "Foundation/NSXMLParser.h"

class DZStyledElement;
class DZStyledNode;
class NSMutableString;
class NSString;

class DZStyledTextParser : public NSObject, public NSXMLParserDelegate {
    NS_OBJECT(DZStyledTextParser, NSObject)
    static void describeClass(RuntimeClass& c);

    // The first top-level node; the others follow it as siblings.
    Ref<DZStyledNode> rootNode() { return rootNode_; }
    bool parseLineBreaks() { return parseLineBreaks_; }
    void setParseLineBreaks(bool parse) { parseLineBreaks_ = parse; }
    bool parseURLs() { return parseURLs_; }
    void setParseURLs(bool parse) { parseURLs_ = parse; }

    void parseXHTML(NSString* html);
    void parseText(NSString* text);
    void parseURLs(NSString* text);

    void addNode(DZStyledNode* node);
    void pushNode(DZStyledElement* element);
    void popNode();
    void flushCharacters();

    void parserDidStartElement(NSXMLParser* parser, NSString* elementName, NSString* namespaceURI,
                               NSString* qualifiedName, NSDictionary* attributes) override;
    void parserDidEndElement(NSXMLParser* parser, NSString* elementName, NSString* namespaceURI,
                             NSString* qualifiedName) override;
    void parserFoundCharacters(NSXMLParser* parser, NSString* string) override;
    Ref<NSData> parserResolveExternalEntityName(NSXMLParser* parser, NSString* name,
                                                NSString* systemID) override;

private:
    Ref<DZStyledNode> rootNode_;
    Weak<DZStyledElement> topElement_;
    Weak<DZStyledNode> lastNode_;
    Ref<NSMutableString> chars_;
    std::vector<Ref<DZStyledElement>> stack_;
    bool parseLineBreaks_ = false;
    bool parseURLs_ = false;
};
