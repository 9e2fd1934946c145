// The text content of a snippet of markup: tags go, character data stays and entity
// references become their characters. The XML parser does the work over the snippet wrapped in
// one root element; what it cannot read ends the text where it stopped.
#pragma once

#include "Foundation/NSXMLParser.h"

class NSMutableArray;

class DZMarkupStripper : public NSObject, public NSXMLParserDelegate {
    NS_OBJECT(DZMarkupStripper, NSObject)
    Ref<NSString> parse(NSString* text);

    void parserFoundCharacters(NSXMLParser* parser, NSString* string) override;
    Ref<NSData> parserResolveExternalEntityName(NSXMLParser* parser, NSString* name,
                                                NSString* systemID) override;

private:
    Ref<NSMutableArray> strings_;  // only during parse()
};
