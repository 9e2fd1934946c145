#include "CoreGraphics/CGDataProvider.h"

#include "Foundation/NSData.h"

void CGDataProvider::dealloc() {
    if (release_) release_(info_, bytes_, size_);
    release_ = nullptr;
    owner_ = nullptr;
    NSObject::dealloc();
}

Ref<CGDataProvider> CGDataProviderCreateWithData(void* info, const void* data, size_t size,
                                                 CGDataProviderReleaseDataCallback releaseData) {
    Ref<CGDataProvider> p = alloc<CGDataProvider>();
    p->bytes_ = static_cast<const uint8_t*>(data);
    p->size_ = data ? size : 0;
    p->info_ = info;
    p->release_ = releaseData;
    return p;
}

Ref<CGDataProvider> CGDataProviderCreateWithCFData(NSData* data) {
    if (!data) return nullptr;
    Ref<CGDataProvider> p = alloc<CGDataProvider>();
    p->owner_ = data;
    p->bytes_ = static_cast<const uint8_t*>(data->bytes());
    p->size_ = data->length();
    return p;
}

Ref<NSData> CGDataProviderCopyData(CGDataProviderRef provider) {
    if (!provider) return nullptr;
    return NSData::dataWithBytes(provider->bytes(), NSUInteger(provider->size()));
}
