// What a style chain may ask of the view it draws: its text, its image, or to draw a part
// itself. Every method is optional; the defaults answer nothing, and an implementer lists the
// ones it answers in its class description (c.implements), since styles ask before calling.
#pragma once

#include "Foundation/NSObject.h"

class DZStyle;
class DZStyleContext;
class NSString;
class UIImage;

class DZStyleDelegate {
public:
    virtual ~DZStyleDelegate() = default;
    // textForLayerWithStyle:
    virtual Ref<NSString> textForLayerWithStyle(DZStyle*) { return nullptr; }
    // imageForLayerWithStyle:
    virtual Ref<UIImage> imageForLayerWithStyle(DZStyle*) { return nullptr; }
    // drawLayer:withStyle: (named apart from the layer delegate's drawLayer).
    virtual void drawLayerWithStyle(DZStyleContext*, DZStyle*) {}
};
