// What an image loader tells the one who waits for its image. Every method is optional; an
// implementer lists the ones it answers in its class description. The styled button's loads
// pass a nil view.
#pragma once

#include "Foundation/NSObject.h"

class DZImageView;
class NSError;
class UIImage;

class DZImageViewDelegate {
public:
    virtual ~DZImageViewDelegate() = default;
    // imageView:didLoadImage:
    virtual void imageViewDidLoadImage(DZImageView*, UIImage*) {}
    // imageViewDidStartLoad:
    virtual void imageViewDidStartLoad(DZImageView*) {}
    // imageView:didFailLoadWithError:
    virtual void imageViewDidFailLoadWithError(DZImageView*, NSError*) {}
};
