#include "MobileCoreServices/UTType.h"

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "Foundation/NSString.h"

NSString* const kUTTagClassFilenameExtension = NS("public.filename-extension");
NSString* const kUTTagClassMIMEType = NS("public.mime-type");

namespace {

struct TypeInfo {
    const char* identifier;
    const char* parent;                   // the type it conforms to directly
    const char* mime;                     // preferred first
    std::vector<const char*> extensions;  // preferred first
    std::vector<const char*> otherMimes;
};

// The platform's declared types that the app and its libraries meet.
const std::vector<TypeInfo>& types() {
    static const std::vector<TypeInfo> table = {
        {"public.item", nullptr, nullptr, {}, {}},
        {"public.content", nullptr, nullptr, {}, {}},
        {"public.data", "public.item", "application/octet-stream", {"bin"}, {}},
        {"public.text", "public.data", nullptr, {}, {}},
        {"public.plain-text", "public.text", "text/plain", {"txt", "text"}, {}},
        {"public.utf8-plain-text", "public.plain-text", nullptr, {}, {}},
        {"public.html", "public.text", "text/html", {"html", "htm", "shtml"}, {}},
        {"public.xml", "public.text", "application/xml", {"xml"}, {"text/xml"}},
        {"public.css", "public.text", "text/css", {"css"}, {}},
        {"com.netscape.javascript-source",
         "public.text",
         "application/javascript",
         {"js"},
         {"text/javascript"}},
        {"public.json", "public.text", "application/json", {"json"}, {}},
        {"public.comma-separated-values-text", "public.text", "text/csv", {"csv"}, {}},
        {"public.rtf", "public.text", "text/rtf", {"rtf"}, {"application/rtf"}},
        {"public.vcard", "public.text", "text/vcard", {"vcf", "vcard"}, {"text/x-vcard"}},
        {"com.apple.ical.ics", "public.text", "text/calendar", {"ics"}, {}},
        {"com.apple.property-list", "public.data", "application/x-plist", {"plist"}, {}},
        {"public.image", "public.data", nullptr, {}, {}},
        {"public.jpeg", "public.image", "image/jpeg", {"jpeg", "jpg", "jpe"}, {"image/jpg"}},
        {"public.png", "public.image", "image/png", {"png"}, {}},
        {"com.compuserve.gif", "public.image", "image/gif", {"gif"}, {}},
        {"public.tiff", "public.image", "image/tiff", {"tiff", "tif"}, {}},
        {"com.microsoft.bmp", "public.image", "image/bmp", {"bmp"}, {}},
        {"com.microsoft.ico",
         "public.image",
         "image/vnd.microsoft.icon",
         {"ico"},
         {"image/x-icon"}},
        {"public.heic", "public.image", "image/heic", {"heic"}, {}},
        {"org.webmproject.webp", "public.image", "image/webp", {"webp"}, {}},
        {"public.svg-image", "public.image", "image/svg+xml", {"svg"}, {}},
        {"com.adobe.pdf", "public.data", "application/pdf", {"pdf"}, {}},
        {"com.microsoft.word.doc", "public.data", "application/msword", {"doc"}, {}},
        {"com.microsoft.excel.xls", "public.data", "application/vnd.ms-excel", {"xls"}, {}},
        {"public.archive", "public.data", nullptr, {}, {}},
        {"public.zip-archive", "public.archive", "application/zip", {"zip"}, {}},
        {"org.gnu.gnu-zip-archive",
         "public.archive",
         "application/x-gzip",
         {"gz", "gzip"},
         {"application/gzip"}},
        {"public.tar-archive", "public.archive", "application/x-tar", {"tar"}, {}},
        {"public.audiovisual-content", "public.data", nullptr, {}, {}},
        {"public.audio", "public.audiovisual-content", nullptr, {}, {}},
        {"public.mp3", "public.audio", "audio/mpeg", {"mp3"}, {"audio/mp3"}},
        {"com.apple.m4a-audio", "public.audio", "audio/mp4", {"m4a"}, {"audio/x-m4a"}},
        {"public.aac-audio", "public.audio", "audio/aac", {"aac"}, {}},
        {"com.microsoft.waveform-audio",
         "public.audio",
         "audio/vnd.wave",
         {"wav", "wave"},
         {"audio/wav", "audio/x-wav"}},
        {"public.movie", "public.audiovisual-content", nullptr, {}, {}},
        {"public.mpeg-4", "public.movie", "video/mp4", {"mp4", "mpeg4"}, {}},
        {"com.apple.quicktime-movie", "public.movie", "video/quicktime", {"mov", "qt"}, {}},
        {"com.apple.m4v-video", "public.movie", "video/x-m4v", {"m4v"}, {}},
        {"public.3gpp", "public.movie", "video/3gpp", {"3gp", "3gpp"}, {}},
    };
    return table;
}

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

const TypeInfo* byIdentifier(const std::string& uti) {
    std::string key = lower(uti);
    for (const auto& t : types()) {
        if (key == t.identifier) return &t;
    }
    return nullptr;
}

bool conformsTo(const TypeInfo* t, const std::string& ancestor) {
    for (const TypeInfo* p = t; p; p = p->parent ? byIdentifier(p->parent) : nullptr) {
        if (ancestor == p->identifier) return true;
    }
    return false;
}

// A stable identifier for a tag the table does not know.
std::string dynamicIdentifier(const std::string& tagClass, const std::string& tag) {
    std::string out = tagClass == "public.mime-type" ? "dyn.m" : "dyn.e";
    char hex[3];
    for (unsigned char c : tag) {
        std::snprintf(hex, sizeof hex, "%02x", c);
        out += hex;
    }
    return out;
}

}  // namespace

Ref<NSString> UTTypeCreatePreferredIdentifierForTag(NSString* inTagClass, NSString* inTag,
                                                    NSString* inConformingToUTI) {
    if (!inTagClass || !inTag) return nullptr;
    std::string tagClass = inTagClass->utf8();
    std::string tag = lower(inTag->utf8());
    std::string conforming = inConformingToUTI ? lower(inConformingToUTI->utf8()) : "";
    bool byExtension = tagClass == "public.filename-extension";
    bool byMime = tagClass == "public.mime-type";
    if (byExtension && !tag.empty() && tag[0] == '.') tag.erase(0, 1);
    for (const auto& t : types()) {
        bool hit = false;
        if (byExtension) {
            for (const char* e : t.extensions)
                hit = hit || tag == e;
        } else if (byMime) {
            hit = t.mime && tag == t.mime;
            for (const char* m : t.otherMimes)
                hit = hit || tag == m;
        }
        if (hit && (conforming.empty() || conformsTo(&t, conforming)))
            return NSString::fromUTF8(t.identifier);
    }
    return NSString::fromUTF8(dynamicIdentifier(tagClass, tag));
}

Ref<NSString> UTTypeCopyPreferredTagWithClass(NSString* inUTI, NSString* inTagClass) {
    if (!inUTI || !inTagClass) return nullptr;
    const TypeInfo* t = byIdentifier(inUTI->utf8());
    if (!t) return nullptr;
    if (inTagClass->isEqualToString(kUTTagClassMIMEType))
        return t->mime ? NSString::fromUTF8(t->mime) : nullptr;
    if (inTagClass->isEqualToString(kUTTagClassFilenameExtension))
        return t->extensions.empty() ? nullptr : NSString::fromUTF8(t->extensions.front());
    return nullptr;
}

bool UTTypeConformsTo(NSString* inUTI, NSString* inConformsToUTI) {
    if (!inUTI || !inConformsToUTI) return false;
    if (UTTypeEqual(inUTI, inConformsToUTI)) return true;
    const TypeInfo* t = byIdentifier(inUTI->utf8());
    return t && conformsTo(t, lower(inConformsToUTI->utf8()));
}

bool UTTypeEqual(NSString* inUTI1, NSString* inUTI2) {
    return inUTI1 && inUTI2 && lower(inUTI1->utf8()) == lower(inUTI2->utf8());
}

bool UTTypeIsDynamic(NSString* inUTI) {
    return inUTI && inUTI->hasPrefix(NS("dyn."));
}
