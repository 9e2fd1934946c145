// The event-driven XML parser: it walks a document once and reports what it meets to its
// delegate, synchronously inside parse(). It never fetches anything over the network and never
// expands entities by itself: an entity that XML does not predefine reaches the delegate through
// parserResolveExternalEntityName, and only the bytes the delegate returns become text. That keeps
// documents from reaching outside and keeps entity bombs from growing.
#pragma once

#include "Foundation/NSObject.h"

class NSData;
class NSDictionary;
class NSError;
class NSString;
class NSURL;
class NSXMLParser;

extern NSString* const NSXMLParserErrorDomain;

// Keys of a parser error's user info: the parser's message, line and column (NSNumber).
extern NSString* const NSXMLParserErrorMessageKey;     // "NSXMLParserErrorMessage"
extern NSString* const NSXMLParserErrorLineNumberKey;  // "NSXMLParserErrorLineNumber"
extern NSString* const NSXMLParserErrorColumnKey;      // "NSXMLParserErrorColumn"

// Codes of NSXMLParserErrorDomain. The well-formedness codes are those of the underlying XML
// library, which the platform's share; a code without a name here is passed on as it is.
using NSXMLParserError = NSInteger;
enum : NSXMLParserError {
    NSXMLParserInternalError = 1,
    NSXMLParserOutOfMemoryError = 2,
    NSXMLParserDocumentStartError = 3,
    NSXMLParserEmptyDocumentError = 4,
    NSXMLParserPrematureDocumentEndError = 5,
    NSXMLParserInvalidHexCharacterRefError = 6,
    NSXMLParserInvalidDecimalCharacterRefError = 7,
    NSXMLParserInvalidCharacterRefError = 8,
    NSXMLParserInvalidCharacterError = 9,
    NSXMLParserCharacterRefAtEOFError = 10,
    NSXMLParserCharacterRefInPrologError = 11,
    NSXMLParserCharacterRefInEpilogError = 12,
    NSXMLParserCharacterRefInDTDError = 13,
    NSXMLParserEntityRefAtEOFError = 14,
    NSXMLParserEntityRefInPrologError = 15,
    NSXMLParserEntityRefInEpilogError = 16,
    NSXMLParserEntityRefInDTDError = 17,
    NSXMLParserParsedEntityRefAtEOFError = 18,
    NSXMLParserParsedEntityRefInPrologError = 19,
    NSXMLParserParsedEntityRefInEpilogError = 20,
    NSXMLParserParsedEntityRefInInternalSubsetError = 21,
    NSXMLParserEntityReferenceWithoutNameError = 22,
    NSXMLParserEntityReferenceMissingSemiError = 23,
    NSXMLParserParsedEntityRefNoNameError = 24,
    NSXMLParserParsedEntityRefMissingSemiError = 25,
    NSXMLParserUndeclaredEntityError = 26,
    NSXMLParserUnparsedEntityError = 28,
    NSXMLParserEntityIsExternalError = 29,
    NSXMLParserEntityIsParameterError = 30,
    NSXMLParserUnknownEncodingError = 31,
    NSXMLParserEncodingNotSupportedError = 32,
    NSXMLParserStringNotStartedError = 33,
    NSXMLParserStringNotClosedError = 34,
    NSXMLParserNamespaceDeclarationError = 35,
    NSXMLParserEntityNotStartedError = 37,
    NSXMLParserEntityNotFinishedError = 38,
    NSXMLParserLessThanSymbolInAttributeError = 38,
    NSXMLParserAttributeNotStartedError = 39,
    NSXMLParserAttributeNotFinishedError = 40,
    NSXMLParserAttributeHasNoValueError = 41,
    NSXMLParserAttributeRedefinedError = 42,
    NSXMLParserLiteralNotStartedError = 43,
    NSXMLParserLiteralNotFinishedError = 44,
    NSXMLParserCommentNotFinishedError = 45,
    NSXMLParserProcessingInstructionNotStartedError = 46,
    NSXMLParserProcessingInstructionNotFinishedError = 47,
    NSXMLParserNotationNotStartedError = 48,
    NSXMLParserNotationNotFinishedError = 49,
    NSXMLParserAttributeListNotStartedError = 50,
    NSXMLParserAttributeListNotFinishedError = 51,
    NSXMLParserMixedContentDeclNotStartedError = 52,
    NSXMLParserMixedContentDeclNotFinishedError = 53,
    NSXMLParserElementContentDeclNotStartedError = 54,
    NSXMLParserElementContentDeclNotFinishedError = 55,
    NSXMLParserXMLDeclNotStartedError = 56,
    NSXMLParserXMLDeclNotFinishedError = 57,
    NSXMLParserConditionalSectionNotStartedError = 58,
    NSXMLParserConditionalSectionNotFinishedError = 59,
    NSXMLParserExternalSubsetNotFinishedError = 60,
    NSXMLParserDOCTYPEDeclNotFinishedError = 61,
    NSXMLParserMisplacedCDATAEndStringError = 62,
    NSXMLParserCDATANotFinishedError = 63,
    NSXMLParserMisplacedXMLDeclarationError = 64,
    NSXMLParserSpaceRequiredError = 65,
    NSXMLParserSeparatorRequiredError = 66,
    NSXMLParserNMTOKENRequiredError = 67,
    NSXMLParserNAMERequiredError = 68,
    NSXMLParserPCDATARequiredError = 69,
    NSXMLParserURIRequiredError = 70,
    NSXMLParserPublicIdentifierRequiredError = 71,
    NSXMLParserLTRequiredError = 72,
    NSXMLParserGTRequiredError = 73,
    NSXMLParserLTSlashRequiredError = 74,
    NSXMLParserEqualExpectedError = 75,
    NSXMLParserTagNameMismatchError = 76,
    NSXMLParserUnfinishedTagError = 77,
    NSXMLParserStandaloneValueError = 78,
    NSXMLParserInvalidEncodingNameError = 79,
    NSXMLParserCommentContainsDoubleHyphenError = 80,
    NSXMLParserInvalidEncodingError = 81,
    NSXMLParserExternalStandaloneEntityError = 82,
    NSXMLParserInvalidConditionalSectionError = 83,
    NSXMLParserEntityValueRequiredError = 84,
    NSXMLParserNotWellBalancedError = 85,
    NSXMLParserExtraContentError = 86,
    NSXMLParserInvalidCharacterInEntityError = 87,
    NSXMLParserParsedEntityRefInInternalError = 88,
    NSXMLParserEntityRefLoopError = 89,
    NSXMLParserEntityBoundaryError = 90,
    NSXMLParserInvalidURIError = 91,
    NSXMLParserURIFragmentError = 92,
    NSXMLParserNoDTDError = 94,
    NSXMLParserDelegateAbortedParseError = 512,
};

// The delegate protocol. Every method is optional; the defaults ignore the event.
class NSXMLParserDelegate {
public:
    virtual ~NSXMLParserDelegate() = default;

    virtual void parserDidStartDocument(NSXMLParser*) {}
    // Only after a document that parsed to its end without error.
    virtual void parserDidEndDocument(NSXMLParser*) {}
    // parser:didStartElement:namespaceURI:qualifiedName:attributes:. Without namespace
    // processing the element name is the name as written and the URI and qualified name are nil;
    // with it, the element name is the local name, the URI that of its namespace (nil for
    // none) and the qualified name the name as written. The attributes map the names as written
    // to their values, in document order (without namespace processing, namespace declarations
    // come first).
    virtual void parserDidStartElement(NSXMLParser*, NSString* /*elementName*/,
                                       NSString* /*namespaceURI*/, NSString* /*qualifiedName*/,
                                       NSDictionary* /*attributes*/) {}
    virtual void parserDidEndElement(NSXMLParser*, NSString* /*elementName*/,
                                     NSString* /*namespaceURI*/, NSString* /*qualifiedName*/) {}
    // Only with shouldReportNamespacePrefixes (and namespace processing). The default namespace
    // has the empty prefix.
    virtual void parserDidStartMappingPrefix(NSXMLParser*, NSString* /*prefix*/,
                                             NSString* /*namespaceURI*/) {}
    virtual void parserDidEndMappingPrefix(NSXMLParser*, NSString* /*prefix*/) {}
    // Character data may come in several pieces, split wherever the parser chooses (at
    // entity and character references, at buffer boundaries): a delegate that wants a whole
    // run of text joins the pieces until the next tag.
    virtual void parserFoundCharacters(NSXMLParser*, NSString* /*string*/) {}
    virtual void parserFoundIgnorableWhitespace(NSXMLParser*, NSString* /*whitespace*/) {}
    virtual void parserFoundProcessingInstruction(NSXMLParser*, NSString* /*target*/,
                                                  NSString* /*data*/) {}
    virtual void parserFoundComment(NSXMLParser*, NSString* /*comment*/) {}
    // The bytes of a CDATA section, UTF-8.
    virtual void parserFoundCDATA(NSXMLParser*, NSData* /*CDATABlock*/) {}
    // parser:resolveExternalEntityName:systemID:. Asked for every reference to an entity that
    // XML does not predefine (systemID is nil unless the document declared an external one);
    // the returned bytes, read as UTF-8, stand for the reference as character data. nil leaves
    // an undeclared entity an error (NSXMLParserUndeclaredEntityError).
    virtual Ref<NSData> parserResolveExternalEntityName(NSXMLParser*, NSString* /*name*/,
                                                        NSString* /*systemID*/) {
        return nullptr;
    }
    // Once, for the error that stopped the parse.
    virtual void parserParseErrorOccurred(NSXMLParser*, NSError* /*parseError*/) {}
};

class NSXMLParser : public NSObject {
    NS_OBJECT(NSXMLParser, NSObject)
    bool initWithData(NSData* data);
    // File URLs only: false (nil) for another scheme or a file that cannot be read.
    bool initWithContentsOfURL(NSURL* url);

    Ref<NSXMLParserDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(NSXMLParserDelegate* delegate) { delegate_ = delegate; }

    bool shouldProcessNamespaces() { return processNamespaces_; }
    void setShouldProcessNamespaces(bool v) { processNamespaces_ = v; }
    bool shouldReportNamespacePrefixes() { return reportPrefixes_; }
    void setShouldReportNamespacePrefixes(bool v) { reportPrefixes_ = v; }
    // With it, references to entities that the document declares itself are offered to the
    // delegate's resolver too; without it they stand for nothing. Either way the parser never
    // expands them nor loads anything.
    bool shouldResolveExternalEntities() { return resolveExternal_; }
    void setShouldResolveExternalEntities(bool v) { resolveExternal_ = v; }

    // Runs the whole document through the delegate. false when it stopped at an error or was
    // aborted (parserError() then says why). A parser runs once at a time; calling parse() from
    // one of its own callbacks returns false.
    bool parse();
    // Stops the running parse after the current callback, with
    // NSXMLParserDelegateAbortedParseError.
    void abortParsing();
    Ref<NSError> parserError() { return error_; }

    // Where the parser is (1-based), read during a callback; after parse(), where it stopped.
    NSInteger lineNumber();
    NSInteger columnNumber();

    // Internal: the state of one running parse (NSXMLParser.cpp).
    struct Run;

private:
    Ref<NSData> data_;
    Weak<NSXMLParserDelegate> delegate_;
    bool processNamespaces_ = false;
    bool reportPrefixes_ = false;
    bool resolveExternal_ = false;
    Ref<NSError> error_;
    Run* run_ = nullptr;
    NSInteger line_ = 0;
    NSInteger column_ = 0;
};
