#include <gtest/gtest.h>

#include "support/FoundationTesting.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSException.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSXMLParser.h"

namespace {

std::string s(NSString* v) {
    return v ? v->utf8() : "nil";
}

// Records every event as a line; consecutive character pieces are joined into one event, since
// the parser may split them anywhere.
class Recorder : public NSObject, public NSXMLParserDelegate {
    NS_OBJECT(Recorder, NSObject)
public:
    std::vector<std::string> events;
    std::map<std::string, std::string> entities;  // what the resolver answers
    std::vector<std::string> asked;               // "name systemID" per resolver call
    std::string abortAt;                          // abort when this event is recorded
    std::vector<Ref<NSError>> errors;
    size_t characterPieces = 0;
    size_t characterBytes = 0;
    NSInteger lineAtAbort = 0;
    Ref<NSXMLParser> releaseOnFirstElement;  // to drop the caller's last reference mid-parse

    std::string all() {
        std::string out;
        for (auto& e : events)
            out += e + "|";
        return out;
    }
    std::string characters() {
        std::string out;
        for (auto& e : events)
            if (e.rfind("chars ", 0) == 0) out += e.substr(6);
        return out;
    }

    void add(NSXMLParser* p, std::string e) {
        events.push_back(e);
        if (!abortAt.empty() && e == abortAt) {
            lineAtAbort = p->lineNumber();
            p->abortParsing();
        }
    }
    void parserDidStartDocument(NSXMLParser* p) override { add(p, "startDoc"); }
    void parserDidEndDocument(NSXMLParser* p) override { add(p, "endDoc"); }
    void parserDidStartElement(NSXMLParser* p, NSString* name, NSString* uri, NSString* qname,
                               NSDictionary* attributes) override {
        releaseOnFirstElement = nullptr;
        std::string e = "start " + s(name);
        if (uri || qname) e += " {" + s(uri) + "} " + s(qname);
        for (NSObject* key : *attributes)
            e += " " + text(key) + "=" + text(attributes->objectForKey(key));
        add(p, e);
    }
    void parserDidEndElement(NSXMLParser* p, NSString* name, NSString* uri,
                             NSString* qname) override {
        std::string e = "end " + s(name);
        if (uri || qname) e += " {" + s(uri) + "} " + s(qname);
        add(p, e);
    }
    void parserDidStartMappingPrefix(NSXMLParser* p, NSString* prefix, NSString* uri) override {
        add(p, "map " + s(prefix) + "=" + s(uri));
    }
    void parserDidEndMappingPrefix(NSXMLParser* p, NSString* prefix) override {
        add(p, "unmap " + s(prefix));
    }
    void parserFoundCharacters(NSXMLParser* p, NSString* chars) override {
        ++characterPieces;
        std::string piece = chars->utf8();
        characterBytes += piece.size();
        if (!events.empty() && events.back().rfind("chars ", 0) == 0) {
            events.back() += piece;
            if (!abortAt.empty() && events.back() == abortAt) p->abortParsing();
        } else {
            add(p, "chars " + piece);
        }
    }
    void parserFoundComment(NSXMLParser* p, NSString* comment) override {
        add(p, "comment " + s(comment));
    }
    void parserFoundCDATA(NSXMLParser* p, NSData* data) override {
        add(p, "cdata " + std::string(data->view()));
    }
    void parserFoundProcessingInstruction(NSXMLParser* p, NSString* target,
                                          NSString* data) override {
        add(p, "pi " + s(target) + " " + s(data));
    }
    Ref<NSData> parserResolveExternalEntityName(NSXMLParser*, NSString* name,
                                                NSString* systemID) override {
        asked.push_back(s(name) + " " + s(systemID));
        auto it = entities.find(name->utf8());
        if (it == entities.end()) return nullptr;
        return NSData::dataWithBytes(it->second.data(), static_cast<NSUInteger>(it->second.size()));
    }
    void parserParseErrorOccurred(NSXMLParser* p, NSError* error) override {
        errors.push_back(error);
        add(p, "error " + std::to_string(error->code()));
    }
};

Ref<NSXMLParser> parserFor(const std::string& xml) {
    return make<NSXMLParser>(
        &NSXMLParser::initWithData,
        NSData::dataWithBytes(xml.data(), static_cast<NSUInteger>(xml.size())));
}

// Parses with a recorder; returns parse()'s result.
bool run(const std::string& xml, Recorder* r, bool namespaces = false, bool prefixes = false,
         bool resolveExternal = false) {
    auto p = parserFor(xml);
    p->setDelegate(r);
    p->setShouldProcessNamespaces(namespaces);
    p->setShouldReportNamespacePrefixes(prefixes);
    p->setShouldResolveExternalEntities(resolveExternal);
    return p->parse();
}

TEST(NSXMLParser, ReportsElementsAttributesTextCDATACommentsInOrder) {
    auto r = make<Recorder>();
    ASSERT_TRUE(
        run("<?xml version=\"1.0\"?>\n"
            "<root b=\"x &amp; y&#65;&lt;\" a='1'><!-- note --><item id=\"7\">one<i>two"
            "</i></item><![CDATA[<raw> & stuff]]><?pi some data?><empty/></root>",
            r));
    EXPECT_EQ(r->all(),
              "startDoc|start root b=x & yA< a=1|comment  note |start item id=7|chars one|"
              "start i|chars two|end i|end item|cdata <raw> & stuff|pi pi some data|"
              "start empty|end empty|end root|endDoc|");
    EXPECT_TRUE(r->errors.empty());
}

TEST(NSXMLParser, NamespacesAsWrittenOrProcessed) {
    const std::string doc = "<a:r xmlns:a=\"urn:a\" xmlns=\"urn:d\" a:k=\"v\"><c/></a:r>";
    auto plain = make<Recorder>();
    ASSERT_TRUE(run(doc, plain));
    EXPECT_EQ(plain->all(),
              "startDoc|start a:r xmlns:a=urn:a xmlns=urn:d a:k=v|start c|end c|end a:r|endDoc|");

    auto ns = make<Recorder>();
    ASSERT_TRUE(run(doc, ns, true, true));
    EXPECT_EQ(ns->all(),
              "startDoc|map a=urn:a|map =urn:d|start r {urn:a} a:r a:k=v|start c {urn:d} c|"
              "end c {urn:d} c|end r {urn:a} a:r|unmap a|unmap |endDoc|");

    // An undeclared prefix only matters when namespaces are processed.
    auto loose = make<Recorder>();
    EXPECT_TRUE(run("<p:x/>", loose));
    auto strict = make<Recorder>();
    EXPECT_FALSE(run("<p:x/>", strict, true));
    ASSERT_EQ(strict->errors.size(), 1u);
}

TEST(NSXMLParser, UndeclaredEntitiesComeFromTheDelegate) {
    auto r = make<Recorder>();
    r->entities = {{"eacute", "\xC3\xA9"}, {"nbsp", " "}, {"amp", "never asked"}};
    ASSERT_TRUE(
        run("<x t=\"&eacute;t&eacute; &amp; &nbsp;!\">caf&eacute;&nbsp;&amp;&#233;</x>", r));
    EXPECT_EQ(r->all(),
              "startDoc|start x t=\xC3\xA9t\xC3\xA9 &  !|chars caf\xC3\xA9 &\xC3\xA9|"
              "end x|endDoc|");
    // Asked with no system id; the predefined entities never reach the delegate.
    for (auto& a : r->asked)
        EXPECT_TRUE(a == "eacute nil" || a == "nbsp nil") << a;
    EXPECT_GE(r->asked.size(), 3u);
}

TEST(NSXMLParser, AnUnresolvedEntityStopsTheParseKeepingWhatCameBefore) {
    auto p = parserFor("<x><a>one</a>two &shy; three<b/></x>");
    auto r = make<Recorder>();
    p->setDelegate(r);
    EXPECT_FALSE(p->parse());
    EXPECT_EQ(r->all(), "startDoc|start x|start a|chars one|end a|chars two |error 26|");
    ASSERT_EQ(r->errors.size(), 1u);
    auto error = p->parserError();
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error, r->errors[0]);
    EXPECT_EQ(s(error->domain()), "NSXMLParserErrorDomain");
    EXPECT_EQ(error->code(), NSXMLParserUndeclaredEntityError);
    auto info = error->userInfo();
    EXPECT_NE(s(as<NSString>(info->objectForKey(NSXMLParserErrorMessageKey))).find("shy"),
              std::string::npos);
    EXPECT_EQ(text(info->objectForKey(NSXMLParserErrorLineNumberKey)), "1");
    EXPECT_EQ(p->lineNumber(), 1);
    EXPECT_GT(p->columnNumber(), 17);
}

TEST(NSXMLParser, DelegateCanAbort) {
    auto p = parserFor("<x>\n<a>one</a>\n<stop/>\n<b>two</b></x>");
    auto r = make<Recorder>();
    r->abortAt = "start stop";
    p->setDelegate(r);
    EXPECT_FALSE(p->parse());
    EXPECT_EQ(r->all(),
              "startDoc|start x|chars \n|start a|chars one|end a|chars \n|start stop|"
              "error 512|");
    EXPECT_EQ(r->lineAtAbort, 3);
    ASSERT_NE(p->parserError(), nullptr);
    EXPECT_EQ(p->parserError()->code(), NSXMLParserDelegateAbortedParseError);
    EXPECT_EQ(p->lineNumber(), 3);
    // Outside a parse, abort does nothing; parsing again starts over cleanly.
    p->abortParsing();
    auto again = make<Recorder>();
    p->setDelegate(again);
    EXPECT_TRUE(p->parse());
    EXPECT_EQ(p->parserError(), nullptr);
    EXPECT_EQ(again->events.back(), "endDoc");
}

class Raiser : public NSObject, public NSXMLParserDelegate {
    NS_OBJECT(Raiser, NSObject)
    int elements = 0;
    void parserDidStartElement(NSXMLParser*, NSString*, NSString*, NSString*,
                               NSDictionary*) override {
        if (++elements == 2) NSException::raise(NSInvalidArgumentException, NS("bad element"));
    }
    Ref<NSData> parserResolveExternalEntityName(NSXMLParser*, NSString*, NSString*) override {
        NSException::raise(NSGenericException, NS("no entities"));
        return nullptr;
    }
};

TEST(NSXMLParser, ADelegateExceptionLeavesParseAndTheParserStaysUsable) {
    auto p = parserFor("<x><y/><z/></x>");
    auto r = make<Raiser>();
    p->setDelegate(r);
    EXPECT_EQ(raisedName([&] { p->parse(); }), "NSInvalidArgumentException");
    EXPECT_EQ(r->elements, 2);
    auto q = parserFor("<x>&e;</x>");
    q->setDelegate(r);
    EXPECT_EQ(raisedName([&] { q->parse(); }), "NSGenericException");
    r->elements = -10;
    EXPECT_TRUE(p->parse());
}

TEST(NSXMLParser, MalformedDocumentsFailWithTheirCode) {
    struct {
        const char* doc;
        NSInteger code;
    } cases[] = {
        // As on the platform, a document that ends early (or never starts) is error 5.
        {"", NSXMLParserPrematureDocumentEndError},
        {"<x><y>", NSXMLParserPrematureDocumentEndError},
        {"<x></y>", NSXMLParserTagNameMismatchError},
        {"<x a=1/>", NSXMLParserAttributeNotStartedError},
        {"<x a='1' a='2'/>", NSXMLParserAttributeRedefinedError},
        {"<x>a & b</x>", NSXMLParserNAMERequiredError},
        {"<x/><y/>", NSXMLParserPrematureDocumentEndError},
        {"<x><!-- open</x>", NSXMLParserCommentNotFinishedError},
        {"<x>&#0;</x>", NSXMLParserInvalidCharacterError},
        {"<x>\x01</x>", NSXMLParserInvalidCharacterError},
        {"<x a=\"<\"/>", NSXMLParserLessThanSymbolInAttributeError},
        {"<x a=\"&shy;\"/>", NSXMLParserUndeclaredEntityError},
    };
    for (auto& c : cases) {
        auto r = make<Recorder>();
        auto p = parserFor(c.doc);
        p->setDelegate(r);
        EXPECT_FALSE(p->parse()) << c.doc;
        ASSERT_NE(p->parserError(), nullptr) << c.doc;
        EXPECT_EQ(p->parserError()->code(), c.code) << c.doc;
        EXPECT_EQ(r->errors.size(), 1u) << c.doc;
        EXPECT_NE(r->events.back(), "endDoc") << c.doc;
    }
    // Arbitrary bytes never crash and never pass.
    std::string junk;
    for (int i = 0; i < 5000; ++i)
        junk += static_cast<char>((i * 7919) % 251);
    auto r = make<Recorder>();
    EXPECT_FALSE(run("<x>" + junk, r));
    // Deep nesting is walked without recursion; the unclosed end is the only complaint.
    std::string deep;
    for (int i = 0; i < 20000; ++i)
        deep += "<a>";
    auto nested = make<Recorder>();
    EXPECT_FALSE(run(deep, nested));
    ASSERT_EQ(nested->errors.size(), 1u);
    EXPECT_EQ(nested->errors[0]->code(), NSXMLParserPrematureDocumentEndError);
    EXPECT_EQ(nested->events.size(), 20002u);
}

TEST(NSXMLParser, EntityBombsDoNotExpand) {
    std::string doc = "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\">";
    doc += "<!ENTITY lol1 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">";
    for (int i = 2; i <= 9; ++i) {
        doc += "<!ENTITY lol" + std::to_string(i) + " \"";
        for (int k = 0; k < 10; ++k)
            doc += "&lol" + std::to_string(i - 1) + ";";
        doc += "\">";
    }
    doc += "]><lolz a=\"&lol9;\">&lol9;&lol9;</lolz>";
    auto start = std::chrono::steady_clock::now();
    auto r = make<Recorder>();
    EXPECT_TRUE(run(doc, r));
    EXPECT_EQ(r->all(), "startDoc|start lolz a=|end lolz|endDoc|");
    EXPECT_TRUE(r->asked.empty());
    // Even with resolving on, the delegate is asked by name and nothing expands by itself.
    auto asking = make<Recorder>();
    EXPECT_TRUE(run(doc, asking, false, false, true));
    EXPECT_EQ(asking->asked, (std::vector<std::string>{"lol9 nil", "lol9 nil", "lol9 nil"}));
    EXPECT_EQ(asking->characterBytes, 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(NSXMLParser, ExternalEntitiesAreNeverLoaded) {
    const std::string doc =
        "<!DOCTYPE x [<!ENTITY ext SYSTEM \"file:///etc/hostname\">]>"
        "<x>[&ext;]</x>";
    auto r = make<Recorder>();
    EXPECT_TRUE(run(doc, r));
    EXPECT_EQ(r->characters(), "[]");
    auto resolving = make<Recorder>();
    resolving->entities = {{"ext", "from delegate"}};
    EXPECT_TRUE(run(doc, resolving, false, false, true));
    EXPECT_EQ(resolving->asked, (std::vector<std::string>{"ext file:///etc/hostname"}));
    EXPECT_EQ(resolving->characters(), "[from delegate]");
    // An external DTD is not fetched either.
    auto dtd = make<Recorder>();
    EXPECT_TRUE(run("<!DOCTYPE x SYSTEM \"http://127.0.0.1:9/x.dtd\"><x>ok</x>", dtd));
    EXPECT_EQ(dtd->characters(), "ok");
}

TEST(NSXMLParser, LongTextArrivesWhole) {
    std::string body;
    for (int i = 0; i < 3000; ++i)
        body += "word" + std::to_string(i) + " \xC3\xA9 ";
    auto r = make<Recorder>();
    ASSERT_TRUE(run("<x>" + body + "<![CDATA[" + body + "]]></x>", r));
    EXPECT_EQ(r->characters(), body);
    std::string cdata;
    for (auto& e : r->events)
        if (e.rfind("cdata ", 0) == 0) cdata += e.substr(6);
    EXPECT_EQ(cdata, body);
    EXPECT_GT(r->characterPieces, 1u);  // the pieces the delegate must join
}

TEST(NSXMLParser, SurvivesTheDelegateDroppingTheParser) {
    auto r = make<Recorder>();
    {
        auto p = parserFor("<x><a/>text</x>");
        p->setDelegate(r);
        r->releaseOnFirstElement = p;
        NSXMLParser* raw = p.get();
        p = nullptr;  // only the delegate holds it now
        EXPECT_TRUE(raw->parse());
    }
    EXPECT_EQ(r->all(), "startDoc|start x|start a|end a|chars text|end x|endDoc|");
    // A parser whose delegate is gone parses on quietly.
    auto p = parserFor("<x/>");
    {
        auto gone = make<Recorder>();
        p->setDelegate(gone);
    }
    EXPECT_EQ(p->delegate(), nullptr);
    EXPECT_TRUE(p->parse());
}

TEST(NSXMLParser, ReadsUTF16WithOrWithoutByteOrderMark) {
    auto markup = NSString::fromUTF8("<x a=\"\xC3\xA9\">caf\xC3\xA9 \xE2\x82\xAC</x>");
    for (NSStringEncoding enc : {NSUTF16StringEncoding, NSUTF16LittleEndianStringEncoding,
                                 NSUTF16BigEndianStringEncoding}) {
        auto p = make<NSXMLParser>(&NSXMLParser::initWithData, markup->dataUsingEncoding(enc));
        auto r = make<Recorder>();
        p->setDelegate(r);
        EXPECT_TRUE(p->parse()) << enc;
        EXPECT_EQ(r->all(),
                  "startDoc|start x a=\xC3\xA9|chars caf\xC3\xA9 \xE2\x82\xAC|end x|endDoc|")
            << enc;
    }
}

TEST(NSXMLParser, ReadsFileURLsOnlyAndDeclaredEncodings) {
    std::string path = std::string(std::getenv("BAZAARNEST_HOME")) + "/parser-test.xml";
    {
        std::ofstream f(path, std::ios::binary);
        f << "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><x>caf\xE9</x>";
    }
    auto p = make<NSXMLParser>(&NSXMLParser::initWithContentsOfURL,
                               NSURL::fileURLWithPath(NSString::fromUTF8(path)));
    ASSERT_NE(p, nullptr);
    auto r = make<Recorder>();
    p->setDelegate(r);
    EXPECT_TRUE(p->parse());
    EXPECT_EQ(r->characters(), "caf\xC3\xA9");
    EXPECT_EQ(make<NSXMLParser>(&NSXMLParser::initWithContentsOfURL,
                                NSURL::URLWithString(NS("http://127.0.0.1/x.xml"))),
              nullptr);
    EXPECT_EQ(make<NSXMLParser>(&NSXMLParser::initWithContentsOfURL,
                                NSURL::fileURLWithPath(NSString::fromUTF8(path + ".missing"))),
              nullptr);
}

}  // namespace
