// The faces behind UIFont: the platform's font names mapped to faces installed on the system
// (fontconfig), glyph advances and vertical metrics (FreeType), and glyphs shown with cairo
// from the FreeType faces. A character the font's face lacks is measured and drawn from the
// installed face fontconfig finds holding it (CJK, colour emoji); the line's vertical metrics
// stay the font's own.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "CoreGraphics/CGGeometry.h"
#include "UIKit/UIStringDrawing.h"

class UIFont;
struct _cairo;
using cairo_t = struct _cairo;

namespace UIFontSupport {

// The kind of face a name stands for; each maps to one installed family.
enum class FontClass { Sans, Serif, Mono };

// What a font name asks for, read from the name alone.
struct FontTraits {
    std::string familyName;  // the platform's family ("Marker Felt" for "MarkerFelt-Thin")
    FontClass fontClass = FontClass::Sans;
    bool bold = false;
    bool italic = false;
    bool known = false;  // one of the platform's font names
};
FontTraits traitsForName(std::string_view name);

// The face a font is drawn with.
struct FaceDescription {
    std::string file;
    std::string family;            // the installed family, e.g. "Liberation Serif"
    bool bold = false;             // the face itself is bold
    bool italic = false;           // the face itself is italic or oblique
    bool syntheticBold = false;    // bold asked for but not installed: emboldened when drawn
    bool syntheticItalic = false;  // italic asked for but not installed: slanted when drawn
};
// Nil when no face is installed at all.
std::optional<FaceDescription> faceForFont(UIFont* font);

// The one-line advance of the text in the font's face, without kerning, so that the width of
// a line is the sum of the widths of its parts. Nil without a face.
std::optional<CGFloat> widthOfText(std::u16string_view text, UIFont* font);
// adv[i] := the width of text[0, i) as `widthOfText` gives it (a surrogate pair's width at its
// first unit). False without a face.
bool cumulativeAdvances(std::u16string_view text, UIFont* font, CGFloat* adv);
// The face's vertical measures at the font's size. Nil without a face.
std::optional<UIFontMetrics> metricsOfFont(UIFont* font);

// Shows the text's glyphs on one line whose baseline starts at `origin` (user space, y down as
// UIKit draws), placed with the same advances as `widthOfText`, with the cairo context's source.
// Nothing is shown without a face.
void showText(cairo_t* cr, std::u16string_view text, UIFont* font, CGPoint origin);

// Texts placed one after another and shown later together, each exactly as `showText` shows it
// and in the order added, with one setting-up of cairo: for painting many words in one drawing
// call. Breaks between texts let the caller draw something else in its place in that order.
class TextBatch {
public:
    TextBatch();
    ~TextBatch();
    TextBatch(const TextBatch&) = delete;
    TextBatch& operator=(const TextBatch&) = delete;

    // Places the text as `showText` would.
    void addText(std::u16string_view text, UIFont* font, CGPoint origin);
    // A point between texts where `show` calls back.
    void addBreak();
    bool empty() const;
    // Shows everything added, with the cairo context's source, calling `atBreak` with each
    // break's number (from 0) in its place; it may draw with the context but leaves its font and
    // source as they were. The batch is left empty.
    void show(cairo_t* cr, const std::function<void(size_t)>& atBreak = nullptr);
    // Forgets everything added.
    void clear();

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

}  // namespace UIFontSupport
