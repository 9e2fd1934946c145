// Small pieces the result, item and favourites screens share: reading the posting time the
// listing pages write, the one-line body of a result row, and the black "Loading..." label the
// screens show over their content while a page loads.
#pragma once

#include "Foundation/NSString.h"

class NSDate;
class UIView;

// A posting time as the listing page writes it ("2012-02-28, 10:15AM EST"), read with the
// POSIX locale after trimming the white space the page leaves around it; nil when it does not
// read.
Ref<NSDate> parsePostingTime(NSString* time);
// The day of a posting time as "Oct 5"; empty for nil.
Ref<NSString> formatPostingDay(NSDate* date);
// A listing body on one line: tags become spaces, entities are decoded, the ends trimmed and
// every run of line ends one space. Nil for nil.
Ref<NSString> oneLineBody(NSString* detail);
// The black bezel label with the text, sized to fit and placed across the parent at y 160, in
// front of everything, hidden.
Ref<UIView> makeActivityLabel(NSString* text, UIView* parent);
