#include "ads/ironvine/IVCommandHandler.h"

#include <cstring>

#include "Foundation/NSString.h"
#include "ads/ironvine/IVJSON.h"
#include "ads/ironvine/IVJavascriptBridge.h"

bool IVCommandHandler::initWithName(NSString* name) {
    if (!NSObject::init()) return false;
    name_ = name ? name->copy() : nullptr;
    return true;
}

void IVCommandHandler::setBridge(IVJavascriptBridge* bridge) {
    bridge_ = bridge;
}

Ref<NSString> IVCommandHandler::bridgeScript() {
    return IVJavascriptBridge::generateBridgeScript(name_.get(), this);
}

void IVCommandHandler::send(NSString* javascript) {
    if (auto b = bridge()) b->sendJavascriptCommand(javascript);
}

namespace {
// Where the first conversion directive for the value's kind starts and ends, or npos: "s" for
// text, "d", "i" or "u" for numbers.
std::pair<size_t, size_t> firstConversion(const std::string& f, const char* kinds) {
    for (size_t i = 0; i + 1 < f.size(); ++i) {
        if (f[i] != '%') continue;
        // "%%" is plain text: neither of its two signs starts a conversion.
        if (f[i + 1] == '%') {
            ++i;
            continue;
        }
        size_t j = i + 1;
        while (j < f.size() && std::strchr("-+ #0'", f[j]))
            ++j;
        while (j < f.size() && f[j] >= '0' && f[j] <= '9')
            ++j;
        if (j < f.size() && f[j] == '.') {
            ++j;
            while (j < f.size() && f[j] >= '0' && f[j] <= '9')
                ++j;
        }
        while (j < f.size() && std::strchr("hlqLzjt", f[j]))
            ++j;
        if (j < f.size() && std::strchr(kinds, f[j])) return {i, j + 1};
    }
    return {std::string::npos, std::string::npos};
}

Ref<NSString> fill(NSString* format, const std::string& value, const char* kinds) {
    if (!format) return NSString::string();
    std::string f = format->utf8();
    auto [start, end] = firstConversion(f, kinds);
    if (start == std::string::npos) return NSString::fromUTF8(f);
    return NSString::fromUTF8(f.substr(0, start) + value + f.substr(end));
}
}  // namespace

Ref<NSString> IVFillCallback(NSString* format, const std::string& utf8Text) {
    return fill(format, utf8Text, "s");
}

Ref<NSString> IVFillCallback(NSString* format, int64_t number) {
    return fill(format, std::to_string(number), "diu");
}

std::string IVQuotedForScript(NSString* text) {
    auto escaped = IVJSON::stringByEscapingCharacters(text ? text : NS(""));
    return "\"" + escaped->utf8() + "\"";
}
