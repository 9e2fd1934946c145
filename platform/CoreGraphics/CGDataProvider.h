// Data providers: the bytes behind an image.
#pragma once

#include "CoreGraphics/CGBase.h"

using CGDataProviderReleaseDataCallback = void (*)(void* info, const void* data, size_t size);

class CGDataProvider : public NSObject {
    NS_OBJECT(CGDataProvider, NSObject)
    const uint8_t* bytes() { return bytes_; }
    size_t size() { return size_; }
    void dealloc() override;

private:
    friend Ref<CGDataProvider> CGDataProviderCreateWithData(void*, const void*, size_t,
                                                            CGDataProviderReleaseDataCallback);
    friend Ref<CGDataProvider> CGDataProviderCreateWithCFData(NSData*);
    const uint8_t* bytes_ = nullptr;
    size_t size_ = 0;
    Ref<NSData> owner_;
    void* info_ = nullptr;
    CGDataProviderReleaseDataCallback release_ = nullptr;
};

// The bytes are not copied: the callback (may be NULL) runs when the provider goes.
Ref<CGDataProvider> CGDataProviderCreateWithData(void* info, const void* data, size_t size,
                                                 CGDataProviderReleaseDataCallback releaseData);
// Keeps the data object.
Ref<CGDataProvider> CGDataProviderCreateWithCFData(NSData* data);
// A copy of the bytes.
Ref<NSData> CGDataProviderCopyData(CGDataProviderRef provider);
