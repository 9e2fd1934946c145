#include "ads/pebble/PBLNumberUtilities.h"

#include <string>

#include "Foundation/NSString.h"

Ref<NSString> PBLNumberUtilities::stringWithFloat(float value) {
    std::string text = NSString::stringWithFormat(NS("%f"), static_cast<double>(value))->utf8();
    // Only a fraction loses its zeros: "%f" always writes one.
    if (text.find('.') != std::string::npos) {
        while (!text.empty() && text.back() == '0')
            text.pop_back();
        if (!text.empty() && text.back() == '.') text.pop_back();
    }
    return NSString::fromUTF8(text);
}
