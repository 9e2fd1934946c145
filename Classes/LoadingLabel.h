// The loading label the app's screens show while a page downloads: a black bezel with the text,
// sized to fit, across the whole width of the view at y 160, in front of everything, hidden
// until the download starts.
#pragma once

#include "Foundation/NSObject.h"

class NSString;
class UIView;

Ref<UIView> makeLoadingLabel(UIView* parent, NSString* text);
