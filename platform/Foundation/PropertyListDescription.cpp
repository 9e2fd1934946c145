#include "Foundation/PropertyListDescription.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSString.h"

namespace {
void appendIndent(std::u16string& out, NSUInteger level) {
    out.append(size_t{level} * 4, u' ');
}

bool isBareCharacter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}
}  // namespace

void collection_detail::appendPropertyListString(std::u16string& out, std::u16string_view s) {
    bool bare = !s.empty();
    for (char16_t c : s) {
        if (!isBareCharacter(c)) {
            bare = false;
            break;
        }
    }
    if (bare) {
        out.append(s);
        return;
    }
    static const char16_t kHex[] = u"0123456789abcdef";
    out.push_back(u'"');
    for (char16_t c : s) {
        switch (c) {
            case u'"':
                out.append(u"\\\"");
                break;
            case u'\\':
                out.append(u"\\\\");
                break;
            case u'\n':
                out.append(u"\\n");
                break;
            case u'\t':
                out.append(u"\\t");
                break;
            case u'\r':
                out.append(u"\\r");
                break;
            default:
                if (c >= 0x20 && c < 0x7F) {
                    out.push_back(c);
                } else {
                    out.append(u"\\U");
                    for (int shift = 12; shift >= 0; shift -= 4)
                        out.push_back(kHex[(c >> shift) & 0xF]);
                }
        }
    }
    out.push_back(u'"');
}

namespace {
// An array or a set: one element a line, separated by commas, indented one level deeper.
template <class Collection>
void appendList(std::u16string& out, Collection& c, std::u16string_view open,
                std::u16string_view close, NSUInteger indent) {
    out.append(open);
    out.push_back(u'\n');
    bool first = true;
    for (NSObject* e : c) {
        if (!first) out.append(u",\n");
        first = false;
        appendIndent(out, indent + 1);
        collection_detail::appendPropertyListDescription(out, e, indent + 1);
    }
    if (!first) out.push_back(u'\n');
    appendIndent(out, indent);
    out.append(close);
}
}  // namespace

void collection_detail::appendPropertyListDescription(std::u16string& out, NSObject* obj,
                                                      NSUInteger indent) {
    if (!obj) {
        out.append(u"(null)");
        return;
    }
    if (auto* s = dynamic_cast<NSString*>(obj)) {
        appendPropertyListString(out, s->u16());
        return;
    }
    if (auto* a = dynamic_cast<NSArray*>(obj)) {
        appendList(out, *a, u"(", u")", indent);
        return;
    }
    if (auto* d = dynamic_cast<NSDictionary*>(obj)) {
        out.append(u"{\n");
        NSDictionary::Access access(d);
        collection_detail::HashTable& t = d->table();
        for (size_t i = t.nextLive(0); i < t.size(); i = t.nextLive(i + 1)) {
            // Hold the entry: a description may run code that changes the dictionary.
            Ref<NSObject> key = t.at(i).key;
            Ref<NSObject> value = t.at(i).value;
            appendIndent(out, indent + 1);
            appendPropertyListDescription(out, key, indent + 1);
            out.append(u" = ");
            appendPropertyListDescription(out, value, indent + 1);
            out.append(u";\n");
        }
        appendIndent(out, indent);
        out.push_back(u'}');
        return;
    }
    if (auto* set = dynamic_cast<NSSet*>(obj)) {
        appendList(out, *set, u"{(", u")}", indent);
        return;
    }
    Ref<NSString> text = obj->description();
    out.append(text ? text->u16() : std::u16string(u"(null)"));
}

Ref<NSString> propertyListDescription(NSObject* obj, NSUInteger indent) {
    std::u16string out;
    collection_detail::appendPropertyListDescription(out, obj, indent);
    return NSString::fromUTF16(out);
}
