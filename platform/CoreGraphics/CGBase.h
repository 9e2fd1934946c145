// The framework's C-level object model.
//
// Toll-free mapping. The platform's CoreGraphics types are reference-counted opaque objects
// reached through C functions; here each is an NSObject subclass and its Ref type a plain
// pointer to it:
//   CGContextRef    -> CGContext*       CGColorRef      -> CGColor*
//   CGColorSpaceRef -> CGColorSpace*    CGImageRef      -> CGImage*
//   CGPathRef       -> CGPath*          CGMutablePathRef -> CGMutablePath* (a CGPath)
//   CGGradientRef   -> CGGradient*      CGDataProviderRef -> CGDataProvider*
//   CGLayerRef      -> CGLayer*         CFArrayRef of colours -> NSArray* of CGColor
//   CFDataRef       -> NSData*          CFDictionaryRef -> NSDictionary* (unused options)
// Functions follow the platform's ownership rule in C++ terms: a "Create" or "Copy" function
// returns a Ref<> that the caller owns (dropping the Ref is the release); a "Get" function
// returns a plain value or a borrowed pointer. Arguments are borrowed for the call. A nil
// object argument makes a function do nothing and return zero values, as the platform does.
#pragma once

#include <cstddef>
#include <cstdint>

#include "CoreGraphics/CGAffineTransform.h"
#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSObject.h"

class NSArray;
class NSData;
class NSDictionary;

class CGColorSpace;
class CGColor;
class CGContext;
class CGDataProvider;
class CGGradient;
class CGImage;
class CGLayer;
class CGPath;
class CGMutablePath;

using CGColorSpaceRef = CGColorSpace*;
using CGColorRef = CGColor*;
using CGContextRef = CGContext*;
using CGDataProviderRef = CGDataProvider*;
using CGGradientRef = CGGradient*;
using CGImageRef = CGImage*;
using CGLayerRef = CGLayer*;
using CGPathRef = CGPath*;
using CGMutablePathRef = CGMutablePath*;
