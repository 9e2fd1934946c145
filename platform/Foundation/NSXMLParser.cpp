// The parser runs libxml2's SAX2 push interface over the document in small chunks. libxml2 never
// substitutes entities here and never loads anything: the document's own entity declarations
// are only noted, and every reference to an entity that XML does not predefine is answered by
// our getEntity hook, which asks the delegate and hands libxml2 the answer as literal text.
#include "Foundation/NSXMLParser.h"

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/TextSupport.h"

NSString* const NSXMLParserErrorDomain = NS("NSXMLParserErrorDomain");
NSString* const NSXMLParserErrorMessageKey = NS("NSXMLParserErrorMessage");
NSString* const NSXMLParserErrorLineNumberKey = NS("NSXMLParserErrorLineNumber");
NSString* const NSXMLParserErrorColumnKey = NS("NSXMLParserErrorColumn");

namespace {

// Small chunks bound how much of the document libxml2 reads on after a stop (which only
// silences its events) before the next chunk boundary.
constexpr size_t kChunkSize = 4096;

Ref<NSString> text(const xmlChar* s) {
    return s ? NSString::fromUTF8(reinterpret_cast<const char*>(s)) : nullptr;
}

Ref<NSString> text(const xmlChar* s, size_t len) {
    return NSString::fromUTF8(std::string_view(reinterpret_cast<const char*>(s), len));
}

std::string qualified(const xmlChar* prefix, const xmlChar* local) {
    std::string q;
    if (prefix) {
        q = reinterpret_cast<const char*>(prefix);
        q += ':';
    }
    q += reinterpret_cast<const char*>(local);
    return q;
}

}  // namespace

struct NSXMLParser::Run {
    NSXMLParser* parser = nullptr;
    xmlParserCtxtPtr ctxt = nullptr;
    bool stopped = false;  // no more events: after an error or an abort
    bool aborted = false;
    bool failed = false;
    NSInteger errorCode = 0;
    std::string errorMessage;
    NSInteger errorLine = 0, errorColumn = 0;

    // General entities the document declares: name → (libxml2 entity type, system id).
    struct Declared {
        int type = 0;
        std::string systemID;
        bool hasSystemID = false;
    };
    std::map<std::string, Declared> declared;

    // The entities handed to libxml2; it never frees what getEntity returns.
    struct Synthetic {
        xmlEntity entity{};
        std::string name;
        std::string content;
    };
    std::map<std::string, std::unique_ptr<Synthetic>> synthetic;
    // An entity's text for attribute values, which libxml2 passes with the reference kept.
    std::map<std::string, std::string> attributeText;
    // The prefixes each open element mapped, for the end-of-mapping reports.
    std::vector<std::vector<Ref<NSString>>> prefixes;

    Ref<NSXMLParserDelegate> delegate() {
        if (stopped) return nullptr;
        return parser->delegate_.lock();
    }

    void stop() {
        stopped = true;
        if (ctxt) ctxt->disableSAX = 1;
    }

    void fail(NSInteger code, std::string message, NSInteger line, NSInteger column) {
        if (failed || aborted) return;
        failed = true;
        errorCode = code;
        while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
            message.pop_back();
        errorMessage = std::move(message);
        errorLine = line;
        errorColumn = column;
        stop();
    }

    static Run* of(void* ctx) { return static_cast<Run*>(ctx); }

    // An exception from a delegate must not unwind through libxml2's C frames: it is held,
    // the parse stops, and parse() rethrows it once libxml2 has returned.
    std::exception_ptr pending;
    template <auto Handler, class... A>
    static void guarded(void* ctx, A... args) {
        try {
            Handler(ctx, args...);
        } catch (...) {
            Run* r = of(ctx);
            if (!r->pending) r->pending = std::current_exception();
            r->stop();
        }
    }
    static xmlEntityPtr guardedGetEntity(void* ctx, const xmlChar* name) {
        try {
            return getEntity(ctx, name);
        } catch (...) {
            Run* r = of(ctx);
            if (!r->pending) r->pending = std::current_exception();
            r->stop();
            return nullptr;
        }
    }

    // ---- SAX2 handlers -----------------------------------------------------------------------

    static void startDocument(void* ctx) {
        Run* r = of(ctx);
        if (auto d = r->delegate()) d->parserDidStartDocument(r->parser);
    }

    static void endDocument(void* ctx) {
        Run* r = of(ctx);
        if (r->failed) return;
        if (auto d = r->delegate()) d->parserDidEndDocument(r->parser);
    }

    // Decodes what libxml2 leaves in attribute values when it does not substitute: "&#38;" for
    // an ampersand and "&name;" for a general entity reference.
    std::string decodeAttribute(const xmlChar* begin, const xmlChar* end) {
        std::string_view raw(reinterpret_cast<const char*>(begin),
                             static_cast<size_t>(end - begin));
        if (raw.find('&') == std::string_view::npos) return std::string(raw);
        std::string out;
        out.reserve(raw.size());
        size_t i = 0;
        while (i < raw.size()) {
            char c = raw[i];
            size_t semi = c == '&' ? raw.find(';', i + 1) : std::string_view::npos;
            if (semi == std::string_view::npos) {
                out += c;
                ++i;
                continue;
            }
            std::string_view ref = raw.substr(i + 1, semi - i - 1);
            if (!ref.empty() && ref[0] == '#') {
                bool hex = ref.size() > 1 && (ref[1] == 'x' || ref[1] == 'X');
                std::string digits(ref.substr(hex ? 2 : 1));
                char* stopAt = nullptr;
                unsigned long cp = std::strtoul(digits.c_str(), &stopAt, hex ? 16 : 10);
                if (!digits.empty() && *stopAt == 0 && cp > 0 && cp <= 0x10FFFF) {
                    text_detail::appendUTF8(out, static_cast<uint32_t>(cp));
                    i = semi + 1;
                    continue;
                }
            } else if (auto it = attributeText.find(std::string(ref)); it != attributeText.end()) {
                out += it->second;
                i = semi + 1;
                continue;
            }
            out += c;
            ++i;
        }
        return out;
    }

    static void startElementNs(void* ctx, const xmlChar* localname, const xmlChar* prefix,
                               const xmlChar* URI, int nbNamespaces, const xmlChar** namespaces,
                               int nbAttributes, int /*nbDefaulted*/, const xmlChar** attributes) {
        Run* r = of(ctx);
        auto d = r->delegate();
        if (!d) return;
        NSXMLParser* p = r->parser;
        const bool ns = p->processNamespaces_;
        auto attrs = NSMutableDictionary::dictionary();
        if (!ns) {
            // Not namespace-aware: declarations are attributes like any other.
            for (int i = 0; i < nbNamespaces; ++i) {
                const xmlChar* nsPrefix = namespaces[2 * i];
                std::string key =
                    nsPrefix ? "xmlns:" + std::string(reinterpret_cast<const char*>(nsPrefix))
                             : std::string("xmlns");
                const xmlChar* uri = namespaces[2 * i + 1];
                attrs->setObject(uri ? text(uri) : Ref<NSString>(NSString::string()),
                                 NSString::fromUTF8(key));
            }
        }
        for (int i = 0; i < nbAttributes; ++i) {
            const xmlChar** a = attributes + 5 * i;
            std::string value = r->decodeAttribute(a[3], a[4]);
            attrs->setObject(NSString::fromUTF8(value), NSString::fromUTF8(qualified(a[1], a[0])));
        }
        auto qname = NSString::fromUTF8(qualified(prefix, localname));
        if (!ns) {
            d->parserDidStartElement(p, qname, nullptr, nullptr, attrs);
            return;
        }
        std::vector<Ref<NSString>> mapped;
        if (p->reportPrefixes_) {
            for (int i = 0; i < nbNamespaces; ++i) {
                Ref<NSString> nsPrefix =
                    namespaces[2 * i] ? text(namespaces[2 * i]) : Ref<NSString>(NSString::string());
                Ref<NSString> uri = namespaces[2 * i + 1] ? text(namespaces[2 * i + 1])
                                                          : Ref<NSString>(NSString::string());
                mapped.push_back(nsPrefix);
                d->parserDidStartMappingPrefix(p, nsPrefix, uri);
                if (r->stopped) return;
            }
        }
        r->prefixes.push_back(std::move(mapped));
        d->parserDidStartElement(p, text(localname), text(URI), qname, attrs);
    }

    static void endElementNs(void* ctx, const xmlChar* localname, const xmlChar* prefix,
                             const xmlChar* URI) {
        Run* r = of(ctx);
        auto d = r->delegate();
        if (!d) return;
        NSXMLParser* p = r->parser;
        auto qname = NSString::fromUTF8(qualified(prefix, localname));
        if (!p->processNamespaces_) {
            d->parserDidEndElement(p, qname, nullptr, nullptr);
            return;
        }
        d->parserDidEndElement(p, text(localname), text(URI), qname);
        if (r->prefixes.empty()) return;
        std::vector<Ref<NSString>> mapped = std::move(r->prefixes.back());
        r->prefixes.pop_back();
        for (auto& nsPrefix : mapped) {
            if (r->stopped) return;
            d->parserDidEndMappingPrefix(p, nsPrefix);
        }
    }

    static void characters(void* ctx, const xmlChar* ch, int len) {
        Run* r = of(ctx);
        if (len <= 0) return;
        if (auto d = r->delegate()) d->parserFoundCharacters(r->parser, text(ch, len));
    }

    static void ignorableWhitespace(void* ctx, const xmlChar* ch, int len) {
        Run* r = of(ctx);
        if (len <= 0) return;
        if (auto d = r->delegate()) d->parserFoundIgnorableWhitespace(r->parser, text(ch, len));
    }

    static void cdataBlock(void* ctx, const xmlChar* value, int len) {
        Run* r = of(ctx);
        if (auto d = r->delegate())
            d->parserFoundCDATA(r->parser,
                                NSData::dataWithBytes(value, static_cast<NSUInteger>(len)));
    }

    static void comment(void* ctx, const xmlChar* value) {
        Run* r = of(ctx);
        if (auto d = r->delegate()) d->parserFoundComment(r->parser, text(value));
    }

    static void processingInstruction(void* ctx, const xmlChar* target, const xmlChar* data) {
        Run* r = of(ctx);
        if (auto d = r->delegate())
            d->parserFoundProcessingInstruction(r->parser, text(target), text(data));
    }

    static void entityDecl(void* ctx, const xmlChar* name, int type, const xmlChar* /*publicId*/,
                           const xmlChar* systemId, xmlChar* /*content*/) {
        Run* r = of(ctx);
        if (type == XML_INTERNAL_PARAMETER_ENTITY || type == XML_EXTERNAL_PARAMETER_ENTITY) return;
        Declared decl;
        decl.type = type;
        if (systemId) {
            decl.hasSystemID = true;
            decl.systemID = reinterpret_cast<const char*>(systemId);
        }
        // The first declaration of a name is binding.
        r->declared.emplace(reinterpret_cast<const char*>(name), std::move(decl));
    }

    static void unparsedEntityDecl(void* ctx, const xmlChar* name, const xmlChar* publicId,
                                   const xmlChar* systemId, const xmlChar* /*notationName*/) {
        entityDecl(ctx, name, XML_EXTERNAL_GENERAL_UNPARSED_ENTITY, publicId, systemId, nullptr);
    }

    Synthetic& syntheticFor(const std::string& name) {
        auto& slot = synthetic[name];
        if (!slot) {
            slot = std::make_unique<Synthetic>();
            slot->name = name;
        }
        slot->entity = xmlEntity{};
        slot->entity.type = XML_ENTITY_DECL;
        slot->entity.name = reinterpret_cast<const xmlChar*>(slot->name.c_str());
        return *slot;
    }

    // libxml2 asks here for every entity that XML does not predefine. In content the answer is
    // a "predefined" entity whose text libxml2 passes on as characters; in an attribute value it
    // is a content-less entity whose reference libxml2 keeps, for decodeAttribute to replace.
    // nil leaves libxml2 to report the name as undeclared.
    static xmlEntityPtr getEntity(void* ctx, const xmlChar* xname) {
        Run* r = of(ctx);
        if (r->stopped || !r->ctxt) return nullptr;
        const int state = r->ctxt->instate;
        const bool inAttribute = state == XML_PARSER_ATTRIBUTE_VALUE;
        if (!inAttribute && state != XML_PARSER_CONTENT) return nullptr;
        std::string name = reinterpret_cast<const char*>(xname);
        Ref<NSData> answer;
        bool known = false;
        auto decl = r->declared.find(name);
        if (decl != r->declared.end()) {
            known = true;
            if (decl->second.type == XML_EXTERNAL_GENERAL_UNPARSED_ENTITY) {
                // Let libxml2 report the reference to an unparsed entity.
                Synthetic& s = r->syntheticFor(name);
                s.entity.etype = XML_EXTERNAL_GENERAL_UNPARSED_ENTITY;
                return &s.entity;
            }
            if (r->parser->resolveExternal_) {
                if (auto d = r->delegate()) {
                    answer = d->parserResolveExternalEntityName(
                        r->parser, NSString::fromUTF8(name),
                        decl->second.hasSystemID ? NSString::fromUTF8(decl->second.systemID)
                                                 : nullptr);
                }
            }
        } else if (auto d = r->delegate()) {
            answer =
                d->parserResolveExternalEntityName(r->parser, NSString::fromUTF8(name), nullptr);
        }
        if (r->stopped) return nullptr;
        if (!answer && !known) return nullptr;
        std::string content = answer ? std::string(answer->view()) : std::string();
        // libxml2 reads the text as a C string.
        content.erase(std::find(content.begin(), content.end(), '\0'), content.end());
        Synthetic& s = r->syntheticFor(name);
        if (inAttribute) {
            r->attributeText[name] = std::move(content);
            s.entity.etype = XML_INTERNAL_GENERAL_ENTITY;
        } else {
            s.content = std::move(content);
            s.entity.etype = XML_INTERNAL_PREDEFINED_ENTITY;
            s.entity.content = reinterpret_cast<xmlChar*>(s.content.data());
            s.entity.length = static_cast<int>(s.content.size());
        }
        return &s.entity;
    }

    static xmlEntityPtr getParameterEntity(void*, const xmlChar*) {
        // Parameter entities are never expanded.
        return nullptr;
    }

    static xmlParserInputPtr resolveEntity(void*, const xmlChar*, const xmlChar*) {
        // Nothing is ever loaded from outside the document.
        return nullptr;
    }

    static void structuredError(void* ctx, xmlErrorPtr e) {
        Run* r = of(ctx);
        if (!e || r->stopped || e->level < XML_ERR_ERROR) return;
        // Without namespace processing, namespace rules do not apply.
        if (e->domain == XML_FROM_NAMESPACE && !r->parser->processNamespaces_) return;
        r->fail(e->code, e->message ? e->message : "", e->line, e->int2);
    }
};

namespace {

void initLibxml() {
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
}

xmlSAXHandler makeHandler() {
    using R = NSXMLParser::Run;
    xmlSAXHandler sax;
    std::memset(&sax, 0, sizeof sax);
    sax.initialized = XML_SAX2_MAGIC;
    sax.startDocument = &R::guarded<&R::startDocument>;
    sax.endDocument = &R::guarded<&R::endDocument>;
    sax.startElementNs = &R::guarded<&R::startElementNs>;
    sax.endElementNs = &R::guarded<&R::endElementNs>;
    sax.characters = &R::guarded<&R::characters>;
    sax.ignorableWhitespace = &R::guarded<&R::ignorableWhitespace>;
    sax.cdataBlock = &R::guarded<&R::cdataBlock>;
    sax.comment = &R::guarded<&R::comment>;
    sax.processingInstruction = &R::guarded<&R::processingInstruction>;
    sax.entityDecl = &R::guarded<&R::entityDecl>;
    sax.unparsedEntityDecl = &R::guarded<&R::unparsedEntityDecl>;
    sax.getEntity = &R::guardedGetEntity;
    sax.getParameterEntity = &R::getParameterEntity;
    sax.resolveEntity = &R::resolveEntity;
    sax.serror = &R::structuredError;
    return sax;
}

}  // namespace

bool NSXMLParser::initWithData(NSData* data) {
    data_ = data;
    return data != nullptr;
}

bool NSXMLParser::initWithContentsOfURL(NSURL* url) {
    if (!url || !url->isFileURL()) return false;
    auto path = url->path();
    if (!path) return false;
    data_ = NSData::dataWithContentsOfFile(path);
    return data_ != nullptr;
}

bool NSXMLParser::parse() {
    if (run_) return false;  // already running: a callback asked again
    initLibxml();
    Ref<NSXMLParser> keepAlive(this);  // a delegate may drop its last reference mid-parse
    Ref<NSData> data = data_ ? data_ : NSData::data();
    error_ = nullptr;
    line_ = column_ = 0;

    Run run;
    run.parser = this;
    run_ = &run;
    xmlSAXHandler sax = makeHandler();
    const char* bytes = static_cast<const char*>(data->bytes());
    const size_t length = data->length();
    // The first bytes let libxml2 detect the encoding, except for UTF-16 without a byte order
    // mark that starts with anything but "<?", which it takes for UTF-8.
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    xmlCharEncoding forced = XML_CHAR_ENCODING_NONE;
    if (length >= 4 && length % 2 == 0) {
        if (b[0] != 0 && b[1] == 0 && b[2] != 0 && b[3] == 0) forced = XML_CHAR_ENCODING_UTF16LE;
        if (b[0] == 0 && b[1] != 0 && b[2] == 0 && b[3] != 0) forced = XML_CHAR_ENCODING_UTF16BE;
    }
    const size_t head = forced == XML_CHAR_ENCODING_NONE ? std::min<size_t>(length, 4) : 0;
    run.ctxt = xmlCreatePushParserCtxt(&sax, &run, bytes, static_cast<int>(head), nullptr);
    if (run.ctxt && forced != XML_CHAR_ENCODING_NONE) xmlSwitchEncoding(run.ctxt, forced);
    if (!run.ctxt) {
        run_ = nullptr;
        run.fail(NSXMLParserOutOfMemoryError, "Cannot create the parser", 0, 0);
    } else {
        xmlCtxtUseOptions(run.ctxt, XML_PARSE_NONET);
        run.ctxt->replaceEntities = 0;
        run.ctxt->loadsubset = 0;
        run.ctxt->validate = 0;
        size_t offset = head;
        while (!run.stopped && offset < length) {
            size_t n = std::min(kChunkSize, length - offset);
            xmlParseChunk(run.ctxt, bytes + offset, static_cast<int>(n), 0);
            offset += n;
        }
        if (!run.stopped) xmlParseChunk(run.ctxt, nullptr, 0, 1);
        if (!run.failed && !run.aborted && !run.ctxt->wellFormed) {
            // An error libxml2 did not pass to the handler.
            int code = run.ctxt->errNo ? run.ctxt->errNo : NSXMLParserInternalError;
            run.fail(code, "", xmlSAX2GetLineNumber(run.ctxt), xmlSAX2GetColumnNumber(run.ctxt));
        }
        if (run.failed || run.aborted) {
            line_ = run.errorLine;
            column_ = run.errorColumn;
        } else {
            line_ = xmlSAX2GetLineNumber(run.ctxt);
            column_ = xmlSAX2GetColumnNumber(run.ctxt);
        }
        // libxml2 keeps declarations in a document of its own even in SAX mode.
        if (run.ctxt->myDoc) xmlFreeDoc(run.ctxt->myDoc);
        xmlFreeParserCtxt(run.ctxt);
        run.ctxt = nullptr;
        run_ = nullptr;
    }
    if (run.pending) std::rethrow_exception(run.pending);
    if (!run.failed && !run.aborted) return true;

    NSInteger code = run.aborted ? NSXMLParserDelegateAbortedParseError : run.errorCode;
    auto info = NSMutableDictionary::dictionary();
    if (!run.aborted && !run.errorMessage.empty())
        info->setObject(NSString::fromUTF8(run.errorMessage), NSXMLParserErrorMessageKey);
    info->setObject(NSNumber::numberWithInt(line_), NSXMLParserErrorLineNumberKey);
    info->setObject(NSNumber::numberWithInt(column_), NSXMLParserErrorColumnKey);
    error_ = NSError::errorWithDomain(NSXMLParserErrorDomain, code, info);
    if (auto d = delegate_.lock()) d->parserParseErrorOccurred(this, error_);
    return false;
}

void NSXMLParser::abortParsing() {
    if (!run_ || run_->aborted || run_->failed) return;
    run_->aborted = true;
    if (run_->ctxt) {
        run_->errorLine = xmlSAX2GetLineNumber(run_->ctxt);
        run_->errorColumn = xmlSAX2GetColumnNumber(run_->ctxt);
    }
    run_->stop();
}

NSInteger NSXMLParser::lineNumber() {
    if (run_ && run_->ctxt)
        return run_->stopped ? run_->errorLine : xmlSAX2GetLineNumber(run_->ctxt);
    return line_;
}

NSInteger NSXMLParser::columnNumber() {
    if (run_ && run_->ctxt)
        return run_->stopped ? run_->errorColumn : xmlSAX2GetColumnNumber(run_->ctxt);
    return column_;
}
