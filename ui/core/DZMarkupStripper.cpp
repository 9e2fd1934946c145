#include "ui/core/DZMarkupStripper.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSString.h"
#include "ui/core/DZEntityTables.h"

Ref<NSString> DZMarkupStripper::parse(NSString* text) {
    strings_ = NSMutableArray::array();
    // Always UTF-8: that is what the parser reads a document without a declaration as.
    Ref<NSData> data = NSString::stringWithFormat(NS("<x>%@</x>"), text ? text : NS(""))
                           ->dataUsingEncoding(NSUTF8StringEncoding);
    auto parser = make<NSXMLParser>(&NSXMLParser::initWithData, data);
    parser->setDelegate(this);
    parser->parse();
    Ref<NSString> result = strings_->componentsJoinedByString(NS(""));
    strings_ = nullptr;
    return result;
}

void DZMarkupStripper::parserFoundCharacters(NSXMLParser*, NSString* string) {
    if (strings_ && string) strings_->addObject(string);
}

Ref<NSData> DZMarkupStripper::parserResolveExternalEntityName(NSXMLParser*, NSString* name,
                                                              NSString*) {
    return as<NSData>(DZEntityTables::sharedInstance()->iso88591()->objectForKey(name));
}
