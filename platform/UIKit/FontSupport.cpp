#include "UIKit/FontSupport.h"

#include <cairo-ft.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>
#include <unordered_map>

#include "UIKit/UIFont.h"

namespace UIFontSupport {
namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    for (auto& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool contains(const std::string& s, const char* part) {
    return s.find(part) != std::string::npos;
}

// The platform's own font names (and family names used as font names), by lower-case name.
struct KnownFont {
    const char* name;
    const char* family;
    FontClass fontClass;
    bool bold;
    bool italic;
};
constexpr FontClass kSans = FontClass::Sans;
constexpr FontClass kSerif = FontClass::Serif;
constexpr FontClass kMono = FontClass::Mono;
const KnownFont kKnownFonts[] = {
    {"Helvetica", "Helvetica", kSans, false, false},
    {"Helvetica-Bold", "Helvetica", kSans, true, false},
    {"Helvetica-Oblique", "Helvetica", kSans, false, true},
    {"Helvetica-BoldOblique", "Helvetica", kSans, true, true},
    {"Helvetica-Light", "Helvetica", kSans, false, false},
    {"Helvetica-LightOblique", "Helvetica", kSans, false, true},
    {"HelveticaNeue", "Helvetica Neue", kSans, false, false},
    {"HelveticaNeue-Bold", "Helvetica Neue", kSans, true, false},
    {"HelveticaNeue-Italic", "Helvetica Neue", kSans, false, true},
    {"HelveticaNeue-BoldItalic", "Helvetica Neue", kSans, true, true},
    {"HelveticaNeue-Light", "Helvetica Neue", kSans, false, false},
    {"HelveticaNeue-LightItalic", "Helvetica Neue", kSans, false, true},
    {"HelveticaNeue-Medium", "Helvetica Neue", kSans, false, false},
    {"HelveticaNeue-UltraLight", "Helvetica Neue", kSans, false, false},
    {"HelveticaNeue-CondensedBold", "Helvetica Neue", kSans, true, false},
    {"ArialMT", "Arial", kSans, false, false},
    {"Arial-BoldMT", "Arial", kSans, true, false},
    {"Arial-ItalicMT", "Arial", kSans, false, true},
    {"Arial-BoldItalicMT", "Arial", kSans, true, true},
    {"ArialRoundedMTBold", "Arial Rounded MT Bold", kSans, true, false},
    {"TrebuchetMS", "Trebuchet MS", kSans, false, false},
    {"TrebuchetMS-Bold", "Trebuchet MS", kSans, true, false},
    {"TrebuchetMS-Italic", "Trebuchet MS", kSans, false, true},
    {"Trebuchet-BoldItalic", "Trebuchet MS", kSans, true, true},
    {"Verdana", "Verdana", kSans, false, false},
    {"Verdana-Bold", "Verdana", kSans, true, false},
    {"Verdana-Italic", "Verdana", kSans, false, true},
    {"Verdana-BoldItalic", "Verdana", kSans, true, true},
    {"MarkerFelt-Thin", "Marker Felt", kSans, false, false},
    {"MarkerFelt-Wide", "Marker Felt", kSans, true, false},
    {"GillSans", "Gill Sans", kSans, false, false},
    {"GillSans-Bold", "Gill Sans", kSans, true, false},
    {"GillSans-Italic", "Gill Sans", kSans, false, true},
    {"GillSans-BoldItalic", "Gill Sans", kSans, true, true},
    {"Futura-Medium", "Futura", kSans, false, false},
    {"Futura-MediumItalic", "Futura", kSans, false, true},
    {"Futura-CondensedExtraBold", "Futura", kSans, true, false},
    {"Optima-Regular", "Optima", kSans, false, false},
    {"Optima-Bold", "Optima", kSans, true, false},
    {"Optima-Italic", "Optima", kSans, false, true},
    {"Optima-BoldItalic", "Optima", kSans, true, true},
    {"Georgia", "Georgia", kSerif, false, false},
    {"Georgia-Bold", "Georgia", kSerif, true, false},
    {"Georgia-Italic", "Georgia", kSerif, false, true},
    {"Georgia-BoldItalic", "Georgia", kSerif, true, true},
    {"TimesNewRomanPSMT", "Times New Roman", kSerif, false, false},
    {"TimesNewRomanPS-BoldMT", "Times New Roman", kSerif, true, false},
    {"TimesNewRomanPS-ItalicMT", "Times New Roman", kSerif, false, true},
    {"TimesNewRomanPS-BoldItalicMT", "Times New Roman", kSerif, true, true},
    {"Palatino-Roman", "Palatino", kSerif, false, false},
    {"Palatino-Bold", "Palatino", kSerif, true, false},
    {"Palatino-Italic", "Palatino", kSerif, false, true},
    {"Palatino-BoldItalic", "Palatino", kSerif, true, true},
    {"Baskerville", "Baskerville", kSerif, false, false},
    {"Baskerville-Bold", "Baskerville", kSerif, true, false},
    {"Baskerville-Italic", "Baskerville", kSerif, false, true},
    {"Baskerville-BoldItalic", "Baskerville", kSerif, true, true},
    {"AmericanTypewriter", "American Typewriter", kSerif, false, false},
    {"AmericanTypewriter-Bold", "American Typewriter", kSerif, true, false},
    {"Courier", "Courier", kMono, false, false},
    {"Courier-Bold", "Courier", kMono, true, false},
    {"Courier-Oblique", "Courier", kMono, false, true},
    {"Courier-BoldOblique", "Courier", kMono, true, true},
    {"CourierNewPSMT", "Courier New", kMono, false, false},
    {"CourierNewPS-BoldMT", "Courier New", kMono, true, false},
    {"CourierNewPS-ItalicMT", "Courier New", kMono, false, true},
    {"CourierNewPS-BoldItalicMT", "Courier New", kMono, true, true},
};

const KnownFont* knownFont(const std::string& lowerName) {
    for (auto& k : kKnownFonts)
        if (lower(k.name) == lowerName) return &k;
    // A family name stands for its first (regular) face.
    for (auto& k : kKnownFonts)
        if (lower(k.family) == lowerName) return &k;
    return nullptr;
}

// ---- Faces ----

struct Face {
    FT_Face measureFace = nullptr;  // advances and metrics, never scaled
    FT_Face drawFace = nullptr;     // owned by cairo's font face, which scales it as it likes
    cairo_font_face_t* cairoFace = nullptr;
    FaceDescription description;
    CGFloat unitsPerEm = 1000;
    CGFloat ascender = 0, descender = 0, height = 0, capHeight = 0, xHeight = 0;
    std::array<int32_t, 128> asciiAdvance{};  // -1: not read yet
    std::array<uint32_t, 128> asciiGlyph{};
    std::unordered_map<char32_t, std::pair<uint32_t, int32_t>> others;

    // Glyph index and advance in font units.
    std::pair<uint32_t, int32_t> glyph(char32_t c) {
        if (c < 128 && asciiAdvance[c] >= 0) return {asciiGlyph[c], asciiAdvance[c]};
        if (c >= 128)
            if (auto it = others.find(c); it != others.end()) return it->second;
        uint32_t g = FT_Get_Char_Index(measureFace, c);
        FT_Fixed adv = 0;
        if (FT_Get_Advance(measureFace, g, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING, &adv) != 0)
            adv = 0;
        std::pair<uint32_t, int32_t> r{g, static_cast<int32_t>(adv)};
        if (c < 128) {
            asciiGlyph[c] = g;
            asciiAdvance[c] = r.second;
        } else {
            others.emplace(c, r);
        }
        return r;
    }
};

// The face that draws a font of this name, with the styles the face lacks made up.
struct Resolved {
    Face* face = nullptr;
    bool bold = false;  // as the name asks
    bool italic = false;
    bool syntheticBold = false;
    bool syntheticItalic = false;
};

struct Library {
    std::mutex lock;
    FT_Library ft = nullptr;
    FcConfig* fonts = nullptr;  // the installed font folders, nil when none could be read
    std::map<std::string, std::unique_ptr<Face>> facesByFile;  // "file#index"
    // The faces found for font names, and for characters a face lacks (by character, bold,
    // italic); read and filled under the lock, like the faces.
    std::unordered_map<std::string, Resolved> resolvedByName;
    std::map<std::tuple<char32_t, bool, bool>, Face*> fallbackByCharacter;

    Library() {
        if (FT_Init_FreeType(&ft) != 0) ft = nullptr;
        // A configuration of our own over the system's font folders and caches: faces are
        // chosen by family here, so the user's matching rules have nothing to add, and reading
        // them costs time (and leaks in the library's rule parser).
        static const char* kConfig =
            "<?xml version=\"1.0\"?><fontconfig>"
            "<dir>/usr/share/fonts</dir><dir>/usr/local/share/fonts</dir>"
            "<cachedir>/var/cache/fontconfig</cachedir>"
            "<cachedir prefix=\"xdg\">fontconfig</cachedir>"
            "</fontconfig>";
        fonts = FcConfigCreate();
        if (fonts && (!FcConfigParseAndLoadFromMemory(
                          fonts, reinterpret_cast<const FcChar8*>(kConfig), FcFalse) ||
                      !FcConfigBuildFonts(fonts))) {
            FcConfigDestroy(fonts);
            fonts = nullptr;
        }
    }
};

Library& library() {
    // Kept for the life of the process (cairo's font faces hold on to the FreeType faces), and
    // with it its lock, which a thread may hold as the process ends.
    static Library* const lib = new Library();
    return *lib;
}

// Each class's families, nearest first: faces with the platform's metrics (Liberation's
// match Helvetica's, Times's and Courier's advances), then DejaVu, then whatever is generic.
std::vector<std::string> familiesForClass(FontClass c) {
    switch (c) {
        case FontClass::Serif:
            return {"Liberation Serif", "DejaVu Serif", "serif"};
        case FontClass::Mono:
            return {"Liberation Mono", "DejaVu Sans Mono", "monospace"};
        case FontClass::Sans:
            break;
    }
    return {"Liberation Sans", "DejaVu Sans", "sans-serif"};
}

Face* openFace(Library& lib, const std::string& file, int index) {
    std::string key = file + "#" + std::to_string(index);
    if (auto it = lib.facesByFile.find(key); it != lib.facesByFile.end()) return it->second.get();
    auto face = std::make_unique<Face>();
    if (!lib.ft || FT_New_Face(lib.ft, file.c_str(), index, &face->measureFace) != 0)
        return nullptr;
    if (FT_New_Face(lib.ft, file.c_str(), index, &face->drawFace) != 0) {
        FT_Done_Face(face->measureFace);
        return nullptr;
    }
    FT_Face f = face->measureFace;
    face->unitsPerEm = f->units_per_EM > 0 ? f->units_per_EM : 1000;
    // Faces of bitmaps alone (colour emoji) give their em only in the head table.
    if (f->units_per_EM == 0)
        if (auto* head = static_cast<TT_Header*>(FT_Get_Sfnt_Table(f, FT_SFNT_HEAD));
            head && head->Units_Per_EM > 0)
            face->unitsPerEm = head->Units_Per_EM;
    face->ascender = f->ascender;
    face->descender = f->descender;
    face->height = std::max<CGFloat>(f->height, f->ascender - f->descender);
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(f, FT_SFNT_OS2));
    if (os2 && os2->version >= 2 && os2->sCapHeight > 0) {
        face->capHeight = os2->sCapHeight;
        face->xHeight = os2->sxHeight;
    } else {
        // Older tables carry no cap or x height: measure the letters themselves.
        auto top = [&](char32_t c, CGFloat fallback) -> CGFloat {
            uint32_t g = FT_Get_Char_Index(f, c);
            if (g && FT_Load_Glyph(f, g, FT_LOAD_NO_SCALE) == 0)
                return static_cast<CGFloat>(f->glyph->metrics.horiBearingY);
            return fallback;
        };
        face->capHeight = top('H', face->ascender * 0.75f);
        face->xHeight = top('x', face->ascender * 0.55f);
    }
    face->asciiAdvance.fill(-1);
    face->cairoFace = cairo_ft_font_face_create_for_ft_face(face->drawFace, FT_LOAD_NO_HINTING);
    face->description.file = file;
    if (f->family_name) face->description.family = f->family_name;
    face->description.bold = (f->style_flags & FT_STYLE_FLAG_BOLD) != 0;
    face->description.italic = (f->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
    auto* raw = face.get();
    lib.facesByFile.emplace(key, std::move(face));
    return raw;
}

// The nearest installed face for a family (or a class's family and its generic fallback).
Face* matchFace(Library& lib, const std::vector<std::string>& families, bool bold, bool italic) {
    if (!lib.fonts) return nullptr;
    FcPattern* pattern = FcPatternCreate();
    for (auto& fam : families)
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(fam.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddInteger(pattern, FC_WIDTH, FC_WIDTH_NORMAL);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(lib.fonts, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) return nullptr;
    FcChar8* file = nullptr;
    int index = 0;
    Face* face = nullptr;
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file) {
        FcPatternGetInteger(match, FC_INDEX, 0, &index);
        face = openFace(lib, reinterpret_cast<const char*>(file), index);
    }
    FcPatternDestroy(match);
    return face;
}

// Whether fontconfig has a family of exactly this name (for names of installed families).
bool hasFamily(Library& lib, const std::string& name) {
    if (!lib.fonts) return false;
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
    FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, nullptr);
    FcFontSet* set = FcFontList(lib.fonts, pattern, objects);
    bool found = set && set->nfont > 0;
    if (set) FcFontSetDestroy(set);
    FcObjectSetDestroy(objects);
    FcPatternDestroy(pattern);
    return found;
}

Resolved resolve(const std::string& name) {
    auto& lib = library();
    auto& byName = lib.resolvedByName;
    if (auto it = byName.find(name); it != byName.end()) return it->second;
    FontTraits t = traitsForName(name);
    Resolved r;
    std::string base = name.substr(0, name.find('-'));
    if (!t.known && hasFamily(lib, base)) r.face = matchFace(lib, {base}, t.bold, t.italic);
    if (!r.face) r.face = matchFace(lib, familiesForClass(t.fontClass), t.bold, t.italic);
    r.bold = t.bold;
    r.italic = t.italic;
    if (r.face) {
        r.syntheticBold = t.bold && !r.face->description.bold;
        r.syntheticItalic = t.italic && !r.face->description.italic;
    }
    byName.emplace(name, r);
    return r;
}

Resolved resolveFont(UIFont* font) {
    if (!font) return {};
    auto name = font->fontName();
    return resolve(name ? name->utf8() : std::string());
}

// The face that draws a character the font's own face lacks: fontconfig's nearest face whose
// character set holds it, in the weight and slant asked for. Nil when no installed face has it
// (the own face's missing-glyph box is drawn then).
Face* fallbackFace(Library& lib, char32_t c, bool bold, bool italic) {
    auto& byCharacter = lib.fallbackByCharacter;
    auto key = std::make_tuple(c, bold, italic);
    if (auto it = byCharacter.find(key); it != byCharacter.end()) return it->second;
    Face* face = nullptr;
    if (lib.fonts) {
        FcPattern* pattern = FcPatternCreate();
        FcCharSet* chars = FcCharSetCreate();
        FcCharSetAddChar(chars, c);
        FcPatternAddCharSet(pattern, FC_CHARSET, chars);
        FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
        FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(lib.fonts, pattern, &result);
        FcPatternDestroy(pattern);
        FcCharSetDestroy(chars);
        FcCharSet* has = nullptr;
        FcChar8* file = nullptr;
        int index = 0;
        // The best match need not hold the character when no face does.
        if (match && FcPatternGetCharSet(match, FC_CHARSET, 0, &has) == FcResultMatch &&
            FcCharSetHasChar(has, c) &&
            FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file) {
            FcPatternGetInteger(match, FC_INDEX, 0, &index);
            face = openFace(lib, reinterpret_cast<const char*>(file), index);
            if (face && FT_Get_Char_Index(face->measureFace, c) == 0) face = nullptr;
        }
        if (match) FcPatternDestroy(match);
    }
    byCharacter.emplace(key, face);
    return face;
}

// One character as placed: the face that has it, its glyph and advance in points, and the
// styles made up for that face.
struct Placed {
    Face* face = nullptr;
    uint32_t glyph = 0;
    CGFloat advance = 0;
    bool syntheticBold = false;
    bool syntheticItalic = false;
};

Placed place(Library& lib, const Resolved& r, char32_t c, CGFloat size) {
    Placed p{r.face, 0, 0, r.syntheticBold, r.syntheticItalic};
    auto [g, units] = r.face->glyph(c);
    // Spaces and the like are the own face's, even where it has no glyph for them.
    if (g == 0 && c > u' ') {
        if (Face* other = fallbackFace(lib, c, r.bold, r.italic)) {
            p.face = other;
            p.syntheticBold = r.bold && !other->description.bold;
            p.syntheticItalic = r.italic && !other->description.italic;
            std::tie(g, units) = other->glyph(c);
        }
    }
    p.glyph = g;
    p.advance = static_cast<CGFloat>(units) * size / p.face->unitsPerEm;
    // Emboldening widens each glyph by a 24th of the em, as FreeType's does.
    if (p.syntheticBold && units > 0) p.advance += size / 24;
    return p;
}

// Code points of UTF-16 text; an unpaired surrogate reads as U+FFFD.
template <class F>
void forEachCodePoint(std::u16string_view s, F&& f) {
    for (size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
            s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        f(c);
    }
}

// Tabs and line breaks take a space's room; other control characters take none.
bool mapControl(char32_t& c) {
    if (c == u'\t' || c == u'\n' || c == u'\r' || c == 0x2028 || c == 0x2029) {
        c = u' ';
        return true;
    }
    return !(c < 0x20 || (c >= 0x7F && c < 0xA0));
}

}  // namespace

FontTraits traitsForName(std::string_view name) {
    FontTraits t;
    std::string lname = lower(name);
    if (auto* k = knownFont(lname)) {
        t.familyName = k->family;
        t.fontClass = k->fontClass;
        t.bold = k->bold;
        t.italic = k->italic;
        t.known = true;
        return t;
    }
    std::string base(name.substr(0, name.find('-')));
    std::string style = lname.size() > base.size() ? lname.substr(base.size() + 1) : std::string();
    t.familyName = base;
    t.bold = contains(lname, "bold") || contains(lname, "black") || contains(lname, "heavy") ||
             style == "wide";
    t.italic = contains(lname, "italic") || contains(lname, "oblique");
    std::string lbase = lower(base);
    if (contains(lbase, "courier") || contains(lbase, "mono") || contains(lbase, "menlo") ||
        contains(lbase, "monaco") || contains(lbase, "typewriter") || contains(lbase, "consol"))
        t.fontClass = FontClass::Mono;
    else if (contains(lbase, "georgia") || contains(lbase, "times") ||
             contains(lbase, "palatino") || contains(lbase, "baskerville") ||
             contains(lbase, "garamond") || contains(lbase, "didot") || contains(lbase, "bodoni") ||
             contains(lbase, "cochin") || contains(lbase, "hoefler") ||
             (contains(lbase, "serif") && !contains(lbase, "sans")))
        t.fontClass = FontClass::Serif;
    return t;
}

std::optional<FaceDescription> faceForFont(UIFont* font) {
    std::lock_guard<std::mutex> guard(library().lock);
    Resolved r = resolveFont(font);
    if (!r.face) return std::nullopt;
    FaceDescription d = r.face->description;
    d.syntheticBold = r.syntheticBold;
    d.syntheticItalic = r.syntheticItalic;
    return d;
}

std::optional<CGFloat> widthOfText(std::u16string_view text, UIFont* font) {
    std::lock_guard<std::mutex> guard(library().lock);
    Resolved r = resolveFont(font);
    if (!r.face) return std::nullopt;
    CGFloat size = font->pointSize(), w = 0;
    forEachCodePoint(text, [&](char32_t c) {
        if (!mapControl(c)) return;
        w += place(library(), r, c, size).advance;
    });
    return w;
}

bool cumulativeAdvances(std::u16string_view text, UIFont* font, CGFloat* adv) {
    std::lock_guard<std::mutex> guard(library().lock);
    Resolved r = resolveFont(font);
    if (!r.face) return false;
    CGFloat size = font->pointSize();
    size_t i = 0;
    adv[0] = 0;
    forEachCodePoint(text, [&](char32_t c) {
        size_t units = c > 0xFFFF ? 2 : 1;
        CGFloat w = mapControl(c) ? place(library(), r, c, size).advance : 0;
        adv[i + 1] = adv[i] + w;
        if (units == 2) adv[i + 2] = adv[i + 1];
        i += units;
    });
    return true;
}

std::optional<UIFontMetrics> metricsOfFont(UIFont* font) {
    std::lock_guard<std::mutex> guard(library().lock);
    Resolved r = resolveFont(font);
    if (!r.face) return std::nullopt;
    Face& f = *r.face;
    CGFloat scale = font->pointSize() / f.unitsPerEm;
    UIFontMetrics m;
    m.ascender = f.ascender * scale;
    m.descender = f.descender * scale;
    m.capHeight = f.capHeight * scale;
    m.xHeight = f.xHeight * scale;
    // Whole points, as text measures on the platform come out.
    m.lineHeight = std::ceil(f.height * scale - 0.001f);
    return m;
}

// Runs of glyphs from one face with one set of made-up styles, in order; a text never shares a
// run with another, so that each is shown by cairo as if alone. A run without a face is a break.
struct TextBatch::Parts {
    struct Run {
        cairo_font_face_t* face;
        CGFloat size;
        bool syntheticBold, syntheticItalic;
        size_t first, count;
    };
    std::vector<cairo_glyph_t> glyphs;
    std::vector<Run> runs;
    std::vector<cairo_glyph_t> shifted;  // a made-up bold's second showing
    // The last font placed and its face, so that words in one font resolve it once.
    Ref<UIFont> font;
    Resolved resolved;
};

TextBatch::TextBatch() : parts_(std::make_unique<Parts>()) {}
TextBatch::~TextBatch() = default;

void TextBatch::addText(std::u16string_view text, UIFont* font, CGPoint origin) {
    if (!font) return;
    Parts& b = *parts_;
    CGFloat size = font->pointSize();
    auto& lib = library();
    std::lock_guard<std::mutex> guard(lib.lock);
    if (b.font.get() != font) {
        b.resolved = resolveFont(font);
        b.font = font;
    }
    const Resolved& r = b.resolved;
    if (!r.face || !r.face->cairoFace) return;
    double x = origin.x;
    bool newText = true;
    forEachCodePoint(text, [&](char32_t c) {
        if (!mapControl(c)) return;
        Placed p = place(lib, r, c, size);
        if (c != u' ' && p.face->cairoFace) {
            if (newText || b.runs.back().face != p.face->cairoFace ||
                b.runs.back().syntheticBold != p.syntheticBold ||
                b.runs.back().syntheticItalic != p.syntheticItalic)
                b.runs.push_back({p.face->cairoFace, size, p.syntheticBold, p.syntheticItalic,
                                  b.glyphs.size(), 0});
            newText = false;
            b.glyphs.push_back({p.glyph, x, static_cast<double>(origin.y)});
            ++b.runs.back().count;
        }
        x += p.advance;
    });
}

void TextBatch::addBreak() {
    parts_->runs.push_back({nullptr, 0, false, false, 0, 0});
}

bool TextBatch::empty() const {
    return parts_->runs.empty();
}

void TextBatch::clear() {
    parts_->runs.clear();
    parts_->glyphs.clear();
}

void TextBatch::show(cairo_t* cr, const std::function<void(size_t)>& atBreak) {
    Parts& b = *parts_;
    if (!cr || b.runs.empty()) {
        clear();
        return;
    }
    // The drawing faces belong to cairo alone, which locks them itself.
    cairo_save(cr);
    // Unhinted outlines at the measured advances, so that drawn text is as wide as measured.
    static cairo_font_options_t* const options = [] {
        cairo_font_options_t* o = cairo_font_options_create();
        cairo_font_options_set_hint_style(o, CAIRO_HINT_STYLE_NONE);
        cairo_font_options_set_hint_metrics(o, CAIRO_HINT_METRICS_OFF);
        cairo_font_options_set_antialias(o, CAIRO_ANTIALIAS_GRAY);
        return o;
    }();
    cairo_set_font_options(cr, options);
    cairo_font_face_t* face = nullptr;
    CGFloat size = 0;
    bool italic = false;
    size_t breaks = 0;
    for (const auto& run : b.runs) {
        if (!run.face) {
            if (atBreak) atBreak(breaks);
            ++breaks;
            continue;
        }
        if (run.face != face) {
            cairo_set_font_face(cr, run.face);
            face = run.face;
        }
        if (run.size != size || run.syntheticItalic != italic) {
            // A made-up italic leans the glyphs by a fifth of their height.
            cairo_matrix_t m;
            cairo_matrix_init(&m, run.size, 0, run.syntheticItalic ? -0.2 * run.size : 0, run.size,
                              0, 0);
            cairo_set_font_matrix(cr, &m);
            size = run.size;
            italic = run.syntheticItalic;
        }
        const cairo_glyph_t* glyphs = b.glyphs.data() + run.first;
        cairo_show_glyphs(cr, glyphs, static_cast<int>(run.count));
        if (run.syntheticBold) {
            // Without a bold face, the glyphs shown again a little to the right thicken the
            // strokes.
            b.shifted.assign(glyphs, glyphs + run.count);
            for (auto& g : b.shifted)
                g.x += run.size / 48;
            cairo_show_glyphs(cr, b.shifted.data(), static_cast<int>(run.count));
        }
    }
    cairo_restore(cr);
    clear();
}

void showText(cairo_t* cr, std::u16string_view text, UIFont* font, CGPoint origin) {
    if (!cr || !font) return;
    TextBatch batch;
    batch.addText(text, font, origin);
    batch.show(cr);
}

}  // namespace UIFontSupport
